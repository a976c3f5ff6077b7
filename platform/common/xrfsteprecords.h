#pragma once

// Result records of the shot, calibration, survey and provisioning steps that the facade's signals
// and queries carry. Each holds what its step reads and writes so far; the steps that fill them
// add their fields here.

#include "xrfjsonhelper.h"

#include <QJsonArray>
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

class XrfBeamInfo : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QString name MEMBER m_name)
    Q_PROPERTY(double tubeCurrentUa MEMBER m_tubeCurrentUa)

public:
    QString name() const { return m_name; }
    double tubeCurrentUa() const { return m_tubeCurrentUa; }

private:
    QString m_name;
    double m_tubeCurrentUa = 0;
};

class XrfPrerequisiteShot : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QString sampleName MEMBER m_sampleName)
    Q_PROPERTY(int status MEMBER m_status)

public:
    QString sampleName() const { return m_sampleName; }
    int status() const { return m_status; }

private:
    QString m_sampleName;
    int m_status = 0;
};

class XrfPrerequisiteShotList : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD

public:
    const QList<XrfPrerequisiteShot> &shots() const { return m_shots; }

private:
    QList<XrfPrerequisiteShot> m_shots;
};

class XrfSyntheticShotSelectionCriteria : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QJsonObject criteria MEMBER m_criteria)

public:
    QJsonObject criteria() const { return m_criteria; }

private:
    QJsonObject m_criteria;
};

class XrfCalibrationStandard : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QString name MEMBER m_name)

public:
    QString name() const { return m_name; }

private:
    QString m_name;
};

class XrfFactorSetQCSummaryResults : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QString status MEMBER m_status)
    Q_PROPERTY(QJsonArray methodsStatus MEMBER m_methodsStatus)

public:
    // "notStarted", "inProgress", "pass" or "fail".
    QString status() const { return m_status; }
    void setStatus(const QString &status) { m_status = status; }
    QJsonArray methodsStatus() const { return m_methodsStatus; }

private:
    QString m_status = QStringLiteral("notStarted");
    QJsonArray m_methodsStatus;
};

class XrfRadiationSurveyResult : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(int status MEMBER m_status)
    Q_PROPERTY(QString statusMsg MEMBER m_statusMsg)
    Q_PROPERTY(double reading MEMBER m_reading)

public:
    int status() const { return m_status; }
    QString statusMsg() const { return m_statusMsg; }
    double reading() const { return m_reading; }

private:
    int m_status = 0;
    QString m_statusMsg;
    double m_reading = 0;
};

class XrfProvisioningData : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QJsonObject data MEMBER m_data)

public:
    QJsonObject data() const { return m_data; }

private:
    QJsonObject m_data;
};

Q_DECLARE_METATYPE(XrfAirShot)
Q_DECLARE_METATYPE(XrfAirShotList)
Q_DECLARE_METATYPE(XrfBeamInfo)
Q_DECLARE_METATYPE(XrfPrerequisiteShot)
Q_DECLARE_METATYPE(XrfPrerequisiteShotList)
Q_DECLARE_METATYPE(XrfSyntheticShotSelectionCriteria)
Q_DECLARE_METATYPE(XrfCalibrationStandard)
Q_DECLARE_METATYPE(XrfFactorSetQCSummaryResults)
Q_DECLARE_METATYPE(XrfRadiationSurveyResult)
Q_DECLARE_METATYPE(XrfProvisioningData)
