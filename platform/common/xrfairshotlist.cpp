#include "xrfairshotlist.h"

#include <QJsonArray>

namespace {
const QString kAirShots = QStringLiteral("airShots");
} // namespace

bool XrfAirShotList::update(const XrfAirShot &stored)
{
    for (XrfAirShot &shot : m_airShots) {
        if (shot.isSameShotAs(stored)) {
            shot.copyResultsFrom(stored);
            return true;
        }
    }
    return false;
}

QJsonArray XrfAirShotList::shotsToJson() const
{
    QJsonArray shots;
    for (const XrfAirShot &shot : m_airShots)
        shots.append(shot.toJsonObject());
    return shots;
}

QJsonObject XrfAirShotList::toJsonObject() const
{
    return QJsonObject{{kAirShots, shotsToJson()}};
}

bool XrfAirShotList::shotsFromJson(const QJsonValue &json, QList<XrfAirShot> *shots,
                                   QString *errorMsg)
{
    if (!json.isArray()) {
        if (errorMsg)
            *errorMsg = QStringLiteral("the air shots are not an array");
        return false;
    }
    QList<XrfAirShot> parsed;
    int index = 0;
    for (const QJsonValue &entry : json.toArray()) {
        XrfAirShot shot;
        QString error;
        if (!entry.isObject() || !shot.fromJsonObject(entry.toObject(), &error)) {
            if (errorMsg)
                *errorMsg = QStringLiteral("air shot %1 is malformed %2").arg(index).arg(error);
            return false;
        }
        parsed.append(shot);
        ++index;
    }
    *shots = parsed;
    return true;
}

bool XrfAirShotList::fromJsonObject(const QJsonObject &json, QString *errorMsg)
{
    QList<XrfAirShot> shots;
    if (!shotsFromJson(json.value(kAirShots), &shots, errorMsg))
        return false;
    m_airShots = shots;
    return true;
}

bool XrfAirShotList::toJson(QString *json, QJsonDocument::JsonFormat format) const
{
    if (!json)
        return false;
    *json = QString::fromUtf8(QJsonDocument(toJsonObject()).toJson(format));
    return true;
}
