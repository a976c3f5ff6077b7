#pragma once

// One beam condition of the beams setup: what the setup data asks for (voltage, filter, sample,
// target count rate) and what the count-rate loop found (current, count rate, shots).

#include "xrfbeamgroups.h"
#include "xrfspectrum.h"

class XrfBeamInfo : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    // What the setup data gives.
    Q_PROPERTY(QString beamName MEMBER m_beamName)
    Q_PROPERTY(QString targetSample MEMBER m_targetSample)
    Q_PROPERTY(double tubeVoltageKv MEMBER m_tubeVoltageKv)
    Q_PROPERTY(double tubeCurrentUa MEMBER m_tubeCurrentUa)
    Q_PROPERTY(int filterPosition MEMBER m_filterPosition)
    Q_PROPERTY(uint targetICR MEMBER m_targetIcr)
    Q_PROPERTY(uint icrTolerance MEMBER m_icrTolerance)
    Q_PROPERTY(uint targetIcrDim MEMBER m_targetIcrDim)
    Q_PROPERTY(int validationShotTimeMS MEMBER m_validationShotTimeMs)
    Q_PROPERTY(bool skipShotCheck MEMBER m_skipShotCheck)
    // What the count-rate loop found.
    Q_PROPERTY(bool isDone MEMBER m_isDone)
    Q_PROPERTY(bool hasFailed MEMBER m_hasFailed)
    Q_PROPERTY(bool isMaxAttemptsReached MEMBER m_isMaxAttemptsReached)
    Q_PROPERTY(bool isCurrentLimitReached MEMBER m_isCurrentLimitReached)
    Q_PROPERTY(bool isUsingDimmerTargetIcr MEMBER m_isUsingDimmerTargetIcr)
    Q_PROPERTY(uint actualCps MEMBER m_actualCps)
    Q_PROPERTY(QString errorMsg MEMBER m_errorMsg)
    Q_PROPERTY(QString startTime MEMBER m_startTime)
    Q_PROPERTY(QString endTime MEMBER m_endTime)
    Q_PROPERTY(double peak1 MEMBER m_peak1)
    Q_PROPERTY(double peak2 MEMBER m_peak2)
    Q_PROPERTY(double resolution MEMBER m_resolution)

public:
    QString beamName() const { return m_beamName; }
    void setBeamName(const QString &name) { m_beamName = name; }
    QString targetSample() const { return m_targetSample; }
    void setTargetSample(const QString &sample) { m_targetSample = sample; }
    float tubeVoltageKv() const { return float(m_tubeVoltageKv); }
    void setTubeVoltageKv(float kv) { m_tubeVoltageKv = kv; }
    float tubeCurrentUa() const { return float(m_tubeCurrentUa); }
    void setTubeCurrentUa(float ua) { m_tubeCurrentUa = ua; }
    // A negative position in the setup data names no position of any wheel.
    quint16 filterPosition() const
    {
        return m_filterPosition < 0 ? quint16(0xFFFF) : quint16(m_filterPosition);
    }
    void setFilterPosition(int position) { m_filterPosition = position; }

    // The count rate the loop aims at: the dimmer target once the beam has switched to it.
    uint targetICR() const { return m_isUsingDimmerTargetIcr ? m_targetIcrDim : m_targetIcr; }
    void setTargetICR(uint cps) { m_targetIcr = cps; }
    uint icrTolerance() const { return m_icrTolerance; }
    void setIcrTolerance(uint cps) { m_icrTolerance = cps; }
    uint targetIcrDim() const { return m_targetIcrDim; }
    void setTargetIcrDim(uint cps) { m_targetIcrDim = cps; }
    bool hasTargetIcrDim() const { return m_targetIcrDim > 0; }
    bool isUsingDimmerTargetIcr() const { return m_isUsingDimmerTargetIcr; }
    void setEnableDimmerTargetIcr() { m_isUsingDimmerTargetIcr = hasTargetIcrDim(); }
    // Back to the full target, for a new count-rate loop.
    void clearDimmerTargetIcr() { m_isUsingDimmerTargetIcr = false; }
    int validationShotTimeMS() const { return m_validationShotTimeMs; }
    void setValidationShotTimeMS(int ms) { m_validationShotTimeMs = ms; }
    bool skipShotCheck() const { return m_skipShotCheck; }
    void setSkipShotCheck(bool skip) { m_skipShotCheck = skip; }

    bool isDone() const { return m_isDone; }
    void setIsDone(bool done) { m_isDone = done; }
    bool hasFailed() const { return m_hasFailed; }
    void setHasFailed(bool failed) { m_hasFailed = failed; }
    bool isMaxAttemptsReached() const { return m_isMaxAttemptsReached; }
    void setIsMaxAttemptsReached(bool reached) { m_isMaxAttemptsReached = reached; }
    bool isCurrentLimitReached() const { return m_isCurrentLimitReached; }
    void setIsCurrentLimitReached(bool reached) { m_isCurrentLimitReached = reached; }
    // Done and failed at a limit: shooting again would find the same.
    bool hasFailedAtALimit() const
    {
        return m_isDone && m_hasFailed && (m_isMaxAttemptsReached || m_isCurrentLimitReached);
    }
    // Done and not failed.
    bool hasPassed() const { return m_isDone && !m_hasFailed; }
    uint actualCps() const { return m_actualCps; }
    void setActualCps(uint cps) { m_actualCps = cps; }
    QString errorMsg() const { return m_errorMsg; }
    void setErrorMsg(const QString &message) { m_errorMsg = message; }
    QString startTime() const { return m_startTime; }
    void setStartTime(const QString &time) { m_startTime = time; }
    QString endTime() const { return m_endTime; }
    void setEndTime(const QString &time) { m_endTime = time; }
    double peak1() const { return m_peak1; }
    void setPeak1(double channel) { m_peak1 = channel; }
    double peak2() const { return m_peak2; }
    void setPeak2(double channel) { m_peak2 = channel; }
    double resolution() const { return m_resolution; }
    void setResolution(double ev) { m_resolution = ev; }

    const XrfSpectrum &spectrum() const { return m_spectrum; }
    void setSpectrum(const XrfSpectrum &spectrum) { m_spectrum = spectrum; }
    QList<BeamIterationGroup> &iterationGroups() { return m_iterationGroups; }
    const QList<BeamIterationGroup> &iterationGroups() const { return m_iterationGroups; }
    QList<BeamUsageGroup> &usageGroups() { return m_usageGroups; }
    const QList<BeamUsageGroup> &usageGroups() const { return m_usageGroups; }
    QString usageGroupsId() const { return BeamUsageGroup::groupsId(m_usageGroups); }

    // Forgets what the count-rate loop found; the setup data's part stays.
    void clearResults();
    // Takes what the count-rate loop found from `other`, the current included.
    void copyResultsFrom(const XrfBeamInfo &other);

    // "usageGroups", "iterationGroups" and "spectrum" travel as nested JSON.
    QJsonObject toJsonObject() const override;
    bool fromJsonObject(const QJsonObject &json, QString *errorMsg = nullptr) override;

private:
    QString m_beamName;
    QString m_targetSample;
    double m_tubeVoltageKv = 0;
    double m_tubeCurrentUa = 0;
    int m_filterPosition = 0;
    uint m_targetIcr = 0;
    uint m_icrTolerance = 0;
    uint m_targetIcrDim = 0;
    int m_validationShotTimeMs = 0;
    bool m_skipShotCheck = false;

    bool m_isDone = false;
    bool m_hasFailed = false;
    bool m_isMaxAttemptsReached = false;
    bool m_isCurrentLimitReached = false;
    bool m_isUsingDimmerTargetIcr = false;
    uint m_actualCps = 0;
    QString m_errorMsg;
    QString m_startTime;
    QString m_endTime;
    double m_peak1 = 0;
    double m_peak2 = 0;
    double m_resolution = 0;
    XrfSpectrum m_spectrum;
    QList<BeamIterationGroup> m_iterationGroups;
    QList<BeamUsageGroup> m_usageGroups;
};

Q_DECLARE_METATYPE(XrfBeamInfo)
