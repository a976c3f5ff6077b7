#pragma once

#include "xrfexposuresettings.h"

// The parameters of a stability run, read from the factory setup data ("stabilityOptions" or
// "collimatedStability"); absent keys keep their defaults. The exposures travel as the nested
// objects "exposureHv" and "exposureLv". The run kind, the detector and filter types and the
// FPGA energy scale are set by the library, not read.
class XrfFactoryStabilityParams : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QString exposureType MEMBER m_exposureType)
    Q_PROPERTY(int repeats MEMBER m_repeats)
    Q_PROPERTY(int miniRepeats MEMBER m_miniRepeats)
    Q_PROPERTY(int minRepeats MEMBER m_minRepeats)
    Q_PROPERTY(int intraShotDelay MEMBER m_intraShotDelay)
    Q_PROPERTY(bool saveFirmwareLogs MEMBER m_saveFirmwareLogs)
    Q_PROPERTY(int detectorReadyWaitTime MEMBER m_detectorReadyWaitTime)
    Q_PROPERTY(double darkRateMax MEMBER m_darkRateMax)
    Q_PROPERTY(bool soundEffectsEnabled MEMBER m_soundEffectsEnabled)
    Q_PROPERTY(double icrMinThreshold MEMBER m_icrMinThreshold)
    Q_PROPERTY(double targetBinsize MEMBER m_targetBinsize)
    Q_PROPERTY(double binsizeTolerance MEMBER m_binsizeTolerance)
    Q_PROPERTY(int energyPeak1RegionBegin MEMBER m_energyPeak1RegionBegin)
    Q_PROPERTY(int energyPeak1RegionEnd MEMBER m_energyPeak1RegionEnd)
    Q_PROPERTY(int energyPeak2RegionBegin MEMBER m_energyPeak2RegionBegin)
    Q_PROPERTY(int energyPeak2RegionEnd MEMBER m_energyPeak2RegionEnd)
    Q_PROPERTY(int energyCuRegionStart MEMBER m_energyCuRegionStart)
    Q_PROPERTY(int energyCuRegionEnd MEMBER m_energyCuRegionEnd)
    Q_PROPERTY(int energyBrRegionStart MEMBER m_energyBrRegionStart)
    Q_PROPERTY(int energyBrRegionEnd MEMBER m_energyBrRegionEnd)
    Q_PROPERTY(double minBrToCuRatioTestAvg MEMBER m_minBrToCuRatioTestAvg)
    Q_PROPERTY(double maxBrToCuRatioTestAvg MEMBER m_maxBrToCuRatioTestAvg)
    Q_PROPERTY(double minBrCuRatioTestRSD MEMBER m_minBrCuRatioTestRSD)
    Q_PROPERTY(double maxBrCuRatioTestRSD MEMBER m_maxBrCuRatioTestRSD)
    Q_PROPERTY(bool isMiniStability MEMBER m_isMiniStability)
    Q_PROPERTY(bool isCollimatedStability MEMBER m_isCollimatedStability)
    Q_PROPERTY(QString detectorType MEMBER m_detectorType)
    Q_PROPERTY(QString filterType MEMBER m_filterType)
    Q_PROPERTY(double fpgaOffsetInEv MEMBER m_fpgaOffsetInEv)
    Q_PROPERTY(double fpgaSlopeInEvPerBin MEMBER m_fpgaSlopeInEvPerBin)

public:
    XrfExposureSettings &exposureHv() { return m_exposureHv; }
    const XrfExposureSettings &exposureHv() const { return m_exposureHv; }
    XrfExposureSettings &exposureLv() { return m_exposureLv; }
    const XrfExposureSettings &exposureLv() const { return m_exposureLv; }
    // "HV", "LV" or "BOTH" (HV on odd shots, LV on even ones).
    QString exposureType() const { return m_exposureType; }
    // Shots in this run: the mini count for a mini run, the full count otherwise.
    int repeatsToUse() const { return m_isMiniStability ? m_miniRepeats : m_repeats; }
    int repeats() const { return m_repeats; }
    int miniRepeats() const { return m_miniRepeats; }
    int minRepeats() const { return m_minRepeats; }
    // Seconds between shots.
    int intraShotDelay() const { return m_intraShotDelay; }
    bool saveFirmwareLogs() const { return m_saveFirmwareLogs; }
    // Seconds to wait for the detector's ready flag before the run.
    int detectorReadyWaitTime() const { return m_detectorReadyWaitTime; }
    // cps with the tube off.
    double darkRateMax() const { return m_darkRateMax; }
    bool soundEffectsEnabled() const { return m_soundEffectsEnabled; }

    // First-shot checks: input count rate (cps) and the bin size (eV per channel) of the peaks.
    double icrMinThreshold() const { return m_icrMinThreshold; }
    double targetBinsize() const { return m_targetBinsize; }
    double binsizeTolerance() const { return m_binsizeTolerance; }
    // Regions in eV.
    int energyPeak1RegionBegin() const { return m_energyPeak1RegionBegin; }
    int energyPeak1RegionEnd() const { return m_energyPeak1RegionEnd; }
    int energyPeak2RegionBegin() const { return m_energyPeak2RegionBegin; }
    int energyPeak2RegionEnd() const { return m_energyPeak2RegionEnd; }
    int energyCuRegionStart() const { return m_energyCuRegionStart; }
    int energyCuRegionEnd() const { return m_energyCuRegionEnd; }
    int energyBrRegionStart() const { return m_energyBrRegionStart; }
    int energyBrRegionEnd() const { return m_energyBrRegionEnd; }
    // Br/Cu verdict of the collimated kind: the mean and the RSD (a fraction) of the ratios.
    double minBrToCuRatioTestAvg() const { return m_minBrToCuRatioTestAvg; }
    double maxBrToCuRatioTestAvg() const { return m_maxBrToCuRatioTestAvg; }
    double minBrCuRatioTestRSD() const { return m_minBrCuRatioTestRSD; }
    double maxBrCuRatioTestRSD() const { return m_maxBrCuRatioTestRSD; }

    bool isMiniStability() const { return m_isMiniStability; }
    void setIsMiniStability(bool mini) { m_isMiniStability = mini; }
    bool isCollimatedStability() const { return m_isCollimatedStability; }
    void setIsCollimatedStability(const bool &collimated) { m_isCollimatedStability = collimated; }
    QString detectorType() const { return m_detectorType; }
    void setDetectorType(const QString &type) { m_detectorType = type; }
    QString filterType() const { return m_filterType; }
    void setFilterType(const QString &type) { m_filterType = type; }
    double fpgaOffsetInEv() const { return m_fpgaOffsetInEv; }
    void setFpgaOffsetInEv(double &offset) { m_fpgaOffsetInEv = offset; }
    double fpgaSlopeInEvPerBin() const { return m_fpgaSlopeInEvPerBin; }
    void setFpgaSlopeInEvPerBin(double &slope) { m_fpgaSlopeInEvPerBin = slope; }

    QJsonObject toJsonObject() const override;
    void toJsonObject(QJsonObject *json) const
    {
        if (json)
            *json = toJsonObject();
    }
    // False, with the record unchanged, when a key holds a value of the wrong type.
    bool fromJsonObject(const QJsonObject &json, QString *errorMsg = nullptr) override;

private:
    XrfExposureSettings m_exposureHv;
    XrfExposureSettings m_exposureLv;
    QString m_exposureType = QStringLiteral("HV");
    int m_repeats = 0;
    int m_miniRepeats = 0;
    int m_minRepeats = 0;
    int m_intraShotDelay = 0;
    bool m_saveFirmwareLogs = false;
    int m_detectorReadyWaitTime = 0;
    double m_darkRateMax = 0;
    bool m_soundEffectsEnabled = false;
    double m_icrMinThreshold = 0;
    double m_targetBinsize = 0;
    double m_binsizeTolerance = 0;
    int m_energyPeak1RegionBegin = 0;
    int m_energyPeak1RegionEnd = 0;
    int m_energyPeak2RegionBegin = 0;
    int m_energyPeak2RegionEnd = 0;
    int m_energyCuRegionStart = 0;
    int m_energyCuRegionEnd = 0;
    int m_energyBrRegionStart = 0;
    int m_energyBrRegionEnd = 0;
    double m_minBrToCuRatioTestAvg = 0;
    double m_maxBrToCuRatioTestAvg = 0;
    double m_minBrCuRatioTestRSD = 0;
    double m_maxBrCuRatioTestRSD = 0;
    bool m_isMiniStability = false;
    bool m_isCollimatedStability = false;
    QString m_detectorType;
    QString m_filterType;
    double m_fpgaOffsetInEv = 0;
    double m_fpgaSlopeInEvPerBin = 0;
};
