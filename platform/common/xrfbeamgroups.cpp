#include "xrfbeamgroups.h"

#include <QJsonArray>
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

bool BeamUsageGroup::listFromJson(const QJsonValue &json, QList<BeamUsageGroup> *groups,
                                  QString *errorMsg)
{
    if (json.isUndefined() || json.isNull()) {
        groups->clear();
        return true;
    }
    if (!json.isArray()) {
        if (errorMsg)
            *errorMsg = QStringLiteral("JSON key 'usageGroups' is not an array");
        return false;
    }
    QList<BeamUsageGroup> parsed;
    for (const QJsonValue &entry : json.toArray()) {
        BeamUsageGroup group;
        QString error;
        if (!entry.isObject() || !group.fromJsonObject(entry.toObject(), &error)) {
            if (errorMsg)
                *errorMsg =
                    QStringLiteral("JSON key 'usageGroups' holds a malformed entry %1").arg(error);
            return false;
        }
        parsed.append(group);
    }
    *groups = parsed;
    return true;
}

QJsonArray BeamUsageGroup::listToJson(const QList<BeamUsageGroup> &groups)
{
    QJsonArray array;
    for (const BeamUsageGroup &group : groups)
        array.append(group.toJsonObject());
    return array;
}
