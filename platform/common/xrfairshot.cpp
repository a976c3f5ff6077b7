#include "xrfairshot.h"

QJsonObject XrfAirShotList::toJsonObject() const
{
    QJsonArray shots;
    for (const XrfAirShot &shot : m_airShots)
        shots.append(shot.toJsonObject());
    return QJsonObject{{QStringLiteral("airShots"), shots}};
}
