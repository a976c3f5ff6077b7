#include "xrfbeamgroups.h"

#include <QStringList>

QString BeamUsageGroup::groupsId(const QList<BeamUsageGroup> &groups)
{
    QStringList uses;
    for (const BeamUsageGroup &group : groups)
        uses << QStringLiteral("%1~%2").arg(group.methodName()).arg(group.beamNo());
    uses.sort();
    uses.removeDuplicates();
    return uses.join(QLatin1Char(','));
}
