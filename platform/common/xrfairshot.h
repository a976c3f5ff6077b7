#pragma once

// An air shot: one beam shot with nothing at the window, without or with the collimator, and the
// background count rate it measured.

#include "xrfbeamgroups.h"
#include "xrfexposuresettings.h"

class XrfAirShot : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QString sampleName MEMBER m_sampleName)
    Q_PROPERTY(QString beamName MEMBER m_beamName)
    Q_PROPERTY(double calculatedBackgoundRate MEMBER m_backgroundRate)
    Q_PROPERTY(bool isDone MEMBER m_isDone)
    Q_PROPERTY(bool hasFailed MEMBER m_hasFailed)
    Q_PROPERTY(bool isCollimatedAirShot MEMBER m_isCollimated)
    Q_PROPERTY(QString errorMsg MEMBER m_errorMsg)
    Q_PROPERTY(double energyOffset MEMBER m_energyOffset)
    Q_PROPERTY(double energySlope MEMBER m_energySlope)
    // The safe background rate the shot was compared with, and the limit (rate plus tolerance);
    // `safeBackgroundRateChecked` is false when the table gave no rate for the shot.
    Q_PROPERTY(bool safeBackgroundRateChecked MEMBER m_safeRateChecked)
    Q_PROPERTY(double safeBackgroundRate MEMBER m_safeRate)
    Q_PROPERTY(double safeBackgroundRateLimit MEMBER m_safeRateLimit)

public:
    QString sampleName() const { return m_sampleName; }
    void setSampleName(const QString &name) { m_sampleName = name; }
    QString beamName() const { return m_beamName; }
    void setBeamName(const QString &name) { m_beamName = name; }
    const XrfExposureSettings &exposure() const { return m_exposure; }
    void setExposure(const XrfExposureSettings &exposure) { m_exposure = exposure; }
    double calculatedBackgoundRate() const { return m_backgroundRate; }
    void setCalculatedBackgoundRate(double cps) { m_backgroundRate = cps; }
    bool isDone() const { return m_isDone; }
    void setIsDone(bool done) { m_isDone = done; }
    bool hasFailed() const { return m_hasFailed; }
    void setHasFailed(bool failed) { m_hasFailed = failed; }
    bool isCollimatedAirShot() const { return m_isCollimated; }
    void setIsCollimatedAirShot(bool collimated) { m_isCollimated = collimated; }
    QString errorMsg() const { return m_errorMsg; }
    void setErrorMsg(const QString &message) { m_errorMsg = message; }
    const QList<uint> &spectrumData() const { return m_spectrumData; }
    void setSpectrumData(const QList<uint> &counts) { m_spectrumData = counts; }
    const QList<BeamUsageGroup> &usageGroups() const { return m_usageGroups; }
    void setUsageGroups(const QList<BeamUsageGroup> &groups) { m_usageGroups = groups; }
    double energyOffset() const { return m_energyOffset; }
    void setEnergyOffset(double ev) { m_energyOffset = ev; }
    double energySlope() const { return m_energySlope; }
    void setEnergySlope(double evPerChannel) { m_energySlope = evPerChannel; }
    bool safeBackgroundRateChecked() const { return m_safeRateChecked; }
    double safeBackgroundRate() const { return m_safeRate; }
    double safeBackgroundRateLimit() const { return m_safeRateLimit; }
    void setSafeBackgroundRate(double rate, double limit)
    {
        m_safeRateChecked = true;
        m_safeRate = rate;
        m_safeRateLimit = limit;
    }
    void clearSafeBackgroundRate()
    {
        m_safeRateChecked = false;
        m_safeRate = 0;
        m_safeRateLimit = 0;
    }

    // The methods and beam numbers that use the shot, as one text.
    QString usageGroupsId() const { return BeamUsageGroup::groupsId(m_usageGroups); }
    // The key of the shot in the safe background rate table:
    // "<model>_<kV>kV_<filter Z>-<thickness um>-<diameter um>", with "#<index>" after it for an
    // index above 0.
    QString safeBackGroundRateKey(int index, const QString &model) const;
    // Takes the results of `stored` (rate, flags, spectrum, energy scale, safe rate).
    void copyResultsFrom(const XrfAirShot &stored);
    // Same beam use, the same collimation and the same exposure.
    bool isSameShotAs(const XrfAirShot &other) const;

    // "exposureSettings", "usage" ([{"method", "beam"}]) and "spectrumData" travel as nested JSON.
    QJsonObject toJsonObject() const override;
    bool fromJsonObject(const QJsonObject &json, QString *errorMsg = nullptr) override;

private:
    QString m_sampleName;
    QString m_beamName;
    XrfExposureSettings m_exposure;
    double m_backgroundRate = 0;
    bool m_isDone = false;
    bool m_hasFailed = false;
    bool m_isCollimated = false;
    QString m_errorMsg;
    QList<uint> m_spectrumData;
    QList<BeamUsageGroup> m_usageGroups;
    double m_energyOffset = 0;
    double m_energySlope = 0;
    bool m_safeRateChecked = false;
    double m_safeRate = 0;
    double m_safeRateLimit = 0;
};

Q_DECLARE_METATYPE(XrfAirShot)
