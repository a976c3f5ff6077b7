#pragma once

// The radiation survey: its parameters per instrument model and probe type, and its outcome.

#include "xrfexposuresettings.h"

#include <QList>

// The survey of one instrument model and probe type: the exposure that runs while the operator
// measures the stray radiation beside the instrument, the survey meters' correction factors and
// the highest dose rate allowed. An entry of the factory setup data's "radiationSurvey"."params".
class XrfRadiationSurveyParam : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QString instrumentModel MEMBER m_instrumentModel)
    Q_PROPERTY(QString probeType MEMBER m_probeType)
    Q_PROPERTY(double blueMeterCorrectionFactor MEMBER m_blueMeterCorrectionFactor)
    Q_PROPERTY(double yellowMeterCorrectionFactor MEMBER m_yellowMeterCorrectionFactor)
    Q_PROPERTY(double milliRadPerHourThreshold MEMBER m_milliRadPerHourThreshold)

public:
    QString instrumentModel() const { return m_instrumentModel; }
    void setInstrumentModel(const QString &model) { m_instrumentModel = model; }
    QString probeType() const { return m_probeType; }
    void setProbeType(const QString &probeType) { m_probeType = probeType; }
    const XrfExposureSettings &exposure() const { return m_exposure; }
    void setExposure(const XrfExposureSettings &exposure) { m_exposure = exposure; }
    double blueMeterCorrectionFactor() const { return m_blueMeterCorrectionFactor; }
    void setBlueMeterCorrectionFactor(double factor) { m_blueMeterCorrectionFactor = factor; }
    double yellowMeterCorrectionFactor() const { return m_yellowMeterCorrectionFactor; }
    void setYellowMeterCorrectionFactor(double factor) { m_yellowMeterCorrectionFactor = factor; }
    // The highest dose rate allowed, in mR/hr.
    double milliRadPerHourThreshold() const { return m_milliRadPerHourThreshold; }
    void setMilliRadPerHourThreshold(double threshold) { m_milliRadPerHourThreshold = threshold; }

    // False, with a text naming the key, when a factor, the threshold or the exposure's tube
    // voltage, current or time is not a positive finite number: such a survey would pass any
    // reading.
    bool validate(QString *errorMsg) const;

    // The exposure travels as the nested object "exposure".
    QJsonObject toJsonObject() const override;
    bool fromJsonObject(const QJsonObject &json, QString *errorMsg = nullptr) override;

private:
    QString m_instrumentModel;
    QString m_probeType;
    XrfExposureSettings m_exposure;
    double m_blueMeterCorrectionFactor = 0;
    double m_yellowMeterCorrectionFactor = 0;
    double m_milliRadPerHourThreshold = 0;
};

// Every survey of the factory setup data's "radiationSurvey" object:
// {"params": [{"instrumentModel", "probeType", "exposure", ...}, ...]}.
class XrfRadiationSurveyParams
{
public:
    // False, leaving the list unchanged, when "params" is missing or not an array, or an entry
    // is not an object, has the wrong types or names no model or probe type.
    bool fromJsonObject(const QJsonObject &json, QString *errorMsg = nullptr);
    QJsonObject toJsonObject() const;

    bool contains(const QString &model, const QString &probeType) const;
    // The entry of the model and probe type; an empty one (all zero) when there is none.
    XrfRadiationSurveyParam param(const QString &model, const QString &probeType) const;
    const QList<XrfRadiationSurveyParam> &params() const { return m_params; }

private:
    QList<XrfRadiationSurveyParam> m_params;
};

// The outcome of a radiation survey, kept by the library and stored in lastResult.json as
// "radiationSurvey". The application fills in the reading, the meter type and the unit for the
// evaluation.
class XrfRadiationSurveyResult : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(int status MEMBER m_status)
    Q_PROPERTY(QString statusMsg MEMBER m_statusMsg)
    Q_PROPERTY(QString startTime MEMBER m_startTime)
    Q_PROPERTY(QString endTime MEMBER m_endTime)
    Q_PROPERTY(QString instrumentModel MEMBER m_instrumentModel)
    Q_PROPERTY(QString probeType MEMBER m_probeType)
    Q_PROPERTY(QString instrumentSerial MEMBER m_instrumentSerial)
    Q_PROPERTY(double reading MEMBER m_reading)
    Q_PROPERTY(int meterType MEMBER m_meterType)
    Q_PROPERTY(int meterUnit MEMBER m_meterUnit)
    Q_PROPERTY(double adjustedReading MEMBER m_adjustedReading)

public:
    enum Status : int {
        NotLoaded = 0,
        ParamsLoadFailed = 1,
        Ready = 2,
        ExposureFailed = 3,
        AwaitingReading = 4,
        Failed = 5,
        Passed = 6,
    };
    Q_ENUM(Status)
    // The survey meters: the blue one, and any other (the yellow one).
    enum MeterType : int { YellowMeter = 0, BlueMeter = 1 };
    Q_ENUM(MeterType)
    // The unit of the reading: 0 is mR/hr, anything else uR/hr.
    enum MeterUnit : int { MilliRoentgenPerHour = 0, MicroRoentgenPerHour = 1 };
    Q_ENUM(MeterUnit)

    const XrfRadiationSurveyParam &params() const { return m_params; }
    void setParams(const XrfRadiationSurveyParam &params) { m_params = params; }
    Status status() const { return Status(m_status); }
    void setStatus(Status status) { m_status = status; }
    QString statusMsg() const { return m_statusMsg; }
    void setStatusMsg(const QString &message) { m_statusMsg = message; }
    QString startTime() const { return m_startTime; }
    void setStartTime(const QString &time) { m_startTime = time; }
    QString endTime() const { return m_endTime; }
    void setEndTime(const QString &time) { m_endTime = time; }
    QString instrumentModel() const { return m_instrumentModel; }
    void setInstrumentModel(const QString &model) { m_instrumentModel = model; }
    QString probeType() const { return m_probeType; }
    void setProbeType(const QString &probeType) { m_probeType = probeType; }
    QString instrumentSerial() const { return m_instrumentSerial; }
    void setInstrumentSerial(const QString &serial) { m_instrumentSerial = serial; }
    // The reading as entered, in the meter's unit.
    double reading() const { return m_reading; }
    void setReading(double reading) { m_reading = reading; }
    int meterType() const { return m_meterType; }
    void setMeterType(int type) { m_meterType = type; }
    int meterUnit() const { return m_meterUnit; }
    void setMeterUnit(int unit) { m_meterUnit = unit; }
    // The reading times the meter's correction factor, in the meter's unit.
    double adjustedReading() const { return m_adjustedReading; }
    void setAdjustedReading(double reading) { m_adjustedReading = reading; }

    // The parameters travel as the nested object "params".
    QJsonObject toJsonObject() const override;
    bool fromJsonObject(const QJsonObject &json, QString *errorMsg = nullptr) override;

private:
    XrfRadiationSurveyParam m_params;
    int m_status = NotLoaded;
    QString m_statusMsg;
    QString m_startTime;
    QString m_endTime;
    QString m_instrumentModel;
    QString m_probeType;
    QString m_instrumentSerial;
    double m_reading = 0;
    int m_meterType = YellowMeter;
    int m_meterUnit = MilliRoentgenPerHour;
    double m_adjustedReading = 0;
};

Q_DECLARE_METATYPE(XrfRadiationSurveyResult)
