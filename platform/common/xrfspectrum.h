#pragma once

#include "xrfjsonhelper.h"

#include <QVector>

// One spectrum update or result of an exposure.
class XrfSpectrum : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(double realTime MEMBER m_realTime)
    Q_PROPERTY(double liveTime MEMBER m_liveTime)
    Q_PROPERTY(double liveTimeFromHardware MEMBER m_liveTimeFromHardware)
    Q_PROPERTY(double inputCountRate MEMBER m_inputCountRate)
    Q_PROPERTY(double outputCountRate MEMBER m_outputCountRate)
    Q_PROPERTY(double tubeVoltageKv MEMBER m_tubeVoltageKv)
    Q_PROPERTY(double tubeCurrentUa MEMBER m_tubeCurrentUa)
    Q_PROPERTY(double energySlope MEMBER m_energySlope)
    Q_PROPERTY(double energyOffset MEMBER m_energyOffset)

public:
    const QVector<quint32> &data() const { return m_data; }
    void setData(const QVector<quint32> &counts) { m_data = counts; }
    int channelCount() const { return m_data.size(); }

    double realTime() const { return m_realTime; }
    void setRealTime(double seconds) { m_realTime = seconds; }
    double liveTime() const { return m_liveTime; }
    void setLiveTime(double seconds) { m_liveTime = seconds; }
    double liveTimeFromHardware() const { return m_liveTimeFromHardware; }
    void setLiveTimeFromHardware(double seconds) { m_liveTimeFromHardware = seconds; }
    double inputCountRate() const { return m_inputCountRate; }
    void setInputCountRate(double cps) { m_inputCountRate = cps; }
    double outputCountRate() const { return m_outputCountRate; }
    void setOutputCountRate(double cps) { m_outputCountRate = cps; }
    double tubeVoltageKv() const { return m_tubeVoltageKv; }
    void setTubeVoltageKv(double kv) { m_tubeVoltageKv = kv; }
    double tubeCurrentUa() const { return m_tubeCurrentUa; }
    void setTubeCurrentUa(double ua) { m_tubeCurrentUa = ua; }
    // eV per channel and eV at channel 0.
    double energySlope() const { return m_energySlope; }
    void setEnergySlope(double evPerChannel) { m_energySlope = evPerChannel; }
    double energyOffset() const { return m_energyOffset; }
    void setEnergyOffset(double ev) { m_energyOffset = ev; }

    bool isEmptySpectrum() const;
    // Sum of the counts of channels first..last, both included and clipped to the spectrum.
    quint64 sumCountsInRegion(int first, int last) const;
    // The same for an energy region in eV, with the energy scale given in eV and eV per channel.
    quint64 sumCountsInRegion(int beginEv, int endEv, double offsetEv, double slopeEvPerBin) const;

    // Analysis (xrfspectrumanalysis.cpp).
    // The highest channel at or after `startChannel` (the first one on ties) and its count;
    // false for an empty spectrum.
    bool findMaxBin(int *index, int *count, int startChannel) const;
    // The peak within `halfWindow` channels of `startChannel`: its centre (centroid of the counts
    // above half maximum, background removed) and its full width at half maximum, in channels.
    // `channels` receives the channels that make up the peak. False when there is no peak.
    bool findPeak(int startChannel, int halfWindow, double *centre, double *width,
                  QVector<int> *channels = nullptr) const;
    // The FWHM in eV of the peak at energy `e1` (eV), with the energy scale from the peaks of
    // `e1` and `e2`. A positive `*ch1` / `*ch2` is where to look for each peak; otherwise the
    // spectrum's own energy scale says. Both receive the found centres. -1 when a peak is missing.
    double calculateResolution(double e1, double e2, double *ch1, double *ch2) const;
    // keV per channel and keV at channel 0 from the peaks of two energies in keV.
    bool calculateSlopeAndOffset(double e1Kev, double e2Kev, double *slope, double *offset) const;
    // Counts per second over the whole spectrum, per second of live time (real time when the
    // live time is unknown); 0 for a spectrum without time.
    double calculateBackgroundRate() const;

    // The counts travel as the array "data".
    QJsonObject toJsonObject() const override;
    bool fromJsonObject(const QJsonObject &json, QString *errorMsg = nullptr) override;

private:
    QVector<quint32> m_data;
    double m_realTime = 0;
    double m_liveTime = 0;
    double m_liveTimeFromHardware = 0;
    double m_inputCountRate = 0;
    double m_outputCountRate = 0;
    double m_tubeVoltageKv = 0;
    double m_tubeCurrentUa = 0;
    double m_energySlope = 0;
    double m_energyOffset = 0;
};

Q_DECLARE_METATYPE(XrfSpectrum)
