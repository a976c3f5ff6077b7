#pragma once

// The air shots of one kind (uncollimated or collimated) in the order they are shot.

#include "xrfairshot.h"

#include <QJsonDocument>

class XrfAirShotList : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD

public:
    const QList<XrfAirShot> &airShots() const { return m_airShots; }
    int size() const { return m_airShots.size(); }
    bool isEmpty() const { return m_airShots.isEmpty(); }
    void add(const XrfAirShot &shot) { m_airShots.append(shot); }
    void clear() { m_airShots.clear(); }
    // Takes the results of `stored` into the list's shot of the same beam use, collimation and
    // exposure; false when none matches.
    bool update(const XrfAirShot &stored);

    // The shots travel as the array "airShots".
    QJsonObject toJsonObject() const override;
    bool fromJsonObject(const QJsonObject &json, QString *errorMsg = nullptr) override;
    bool toJson(QString *json, QJsonDocument::JsonFormat format = QJsonDocument::Indented) const;
    // A JSON array of shot objects; false (naming the entry) when one is malformed.
    static bool shotsFromJson(const QJsonValue &json, QList<XrfAirShot> *shots,
                              QString *errorMsg = nullptr);
    QJsonArray shotsToJson() const;

private:
    QList<XrfAirShot> m_airShots;
};

Q_DECLARE_METATYPE(XrfAirShotList)
