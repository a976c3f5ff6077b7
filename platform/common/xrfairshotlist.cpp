#include "xrfairshotlist.h"

#include "xrfjsonlist.h"

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
    return recordsToJson(m_airShots);
}

QJsonObject XrfAirShotList::toJsonObject() const
{
    return QJsonObject{{kAirShots, shotsToJson()}};
}

bool XrfAirShotList::shotsFromJson(const QJsonValue &json, QList<XrfAirShot> *shots,
                                   QString *errorMsg)
{
    // Stored shots are an array, even an empty one.
    if (!json.isArray()) {
        if (errorMsg)
            *errorMsg = QStringLiteral("the air shots are not an array");
        return false;
    }
    return recordsFromJson(json, QStringLiteral("airShots"), shots, errorMsg);
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
