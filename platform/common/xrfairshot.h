#pragma once

// An air shot of one beam and the list of them.

#include "xrfjsonhelper.h"

#include <QList>

class XrfAirShot : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QString name MEMBER m_name)
    Q_PROPERTY(QJsonObject results MEMBER m_results)

public:
    QString name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    QJsonObject results() const { return m_results; }
    void setResults(const QJsonObject &results) { m_results = results; }

private:
    QString m_name;
    QJsonObject m_results;
};

class XrfAirShotList : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD

public:
    const QList<XrfAirShot> &airShots() const { return m_airShots; }
    void add(const XrfAirShot &shot) { m_airShots.append(shot); }
    void clear() { m_airShots.clear(); }

    // The shots travel as the array "airShots".
    QJsonObject toJsonObject() const override;

private:
    QList<XrfAirShot> m_airShots;
};

Q_DECLARE_METATYPE(XrfAirShot)
Q_DECLARE_METATYPE(XrfAirShotList)
