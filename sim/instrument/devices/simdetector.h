#pragma once

#include "simtube.h"

#include <QVector>

// The X-ray detector of a model: sensor, electronics noise, energy scale of its pulse processor,
// cooling and reset behaviour. Units: eV, keV where named, microseconds, degrees C.
struct SimDetectorSpec
{
    QString model;
    QString serialNumber;
    bool isPin = false;
    double areaMm2 = 25;
    double siThicknessUm = 450;
    double beWindowUm = 12.5;
    double airGapUm = 5000; // sample to detector window
    // Equivalent noise charge in eV^2: series / peaking time, parallel * peaking time (doubling
    // every leakageDoublingC above noiseRefTempC), and 1/f.
    double seriesNoise2 = 4000;
    double parallelNoise2 = 400;
    double flickerNoise2 = 1200;
    double noiseRefTempC = -25;
    double leakageDoublingC = 8;
    double thresholdKeV = 0.8; // fast channel trigger
    double deadTimeBaseUs = 0.3; // dead time = 2 x peaking time + base (paralyzable)
    double unitGain = 1.0; // this unit's charge gain relative to nominal
    double offsetEv = 0; // energy at channel 0
    int channels = 2048;
    double defaultSetTemperatureC = -25;
    double coolerMaxDeltaC = 60;
    double coolingTauMs = 8000;
    // Reset height against the reset-width DAC W (SDD): a longer reset pulse lets the preamplifier
    // ramp further, until its output saturates at the full scale:
    // fullScale / (1 + exp(-(W - midpoint) / spread)). Each unit has its own midpoint.
    double resetHeightFullScale = 22000;
    double resetWidthMidpoint = 1560;
    double resetWidthSpread = 150;
    // PIN preamplifier: height = fetSlope * (fet - fetZero) + widthSlope * (W - widthZero).
    double pinFetZero = 1950;
    double pinFetSlope = 160;
    double pinWidthZero = 300;
    double pinWidthSlope = 60;
};

// eV per channel = kScaleEv / (gain normalised to a 1 us peaking time x unit gain), where the
// normalised gain is the FPGA gain register x peaking ticks / 64: a gain of 1,000,000 at 1 us
// gives 10 eV per channel on a nominal detector.
struct SimEnergyScale
{
    static constexpr double kScaleEv = 1.0e7;
    double slopeEv = 10;
    double offsetEv = 0;

    double channel(double energyEv) const { return (energyEv - offsetEv) / slopeEv; }
    double energyEv(double channel) const { return offsetEv + slopeEv * channel; }
};

struct SimPulseSettings
{
    quint32 gain = 0;
    quint16 peakingTicks = 64; // SDD: before-pulse delay; PIN: peaking time register
};

struct SimDetectorResponse
{
    QVector<double> perSecond; // expected processed counts per channel and second
    double icr = 0; // true input rate above the trigger threshold, cps
    double ocr = 0; // processed rate, cps
    double deadTimeUs = 0;
    SimEnergyScale scale;
};

class SimDetector
{
public:
    explicit SimDetector(const SimDetectorSpec &spec);

    const SimDetectorSpec &spec() const { return m_spec; }

    SimEnergyScale energyScale(const SimPulseSettings &pulse) const;
    double peakingUs(const SimPulseSettings &pulse) const;
    double fwhmEv(double energyEv, double peakingUs, double temperatureC) const;
    double deadTimeUs(double peakingUs) const;
    double efficiency(double energyKeV) const;

    // The detector's answer to photons arriving at its window (rates per second). The spectrum
    // is built only when `withSpectrum` is set; the count rates always.
    SimDetectorResponse respond(const QVector<SimRay> &rays, const SimPulseSettings &pulse,
                                double temperatureC, double darkRateCps, bool withSpectrum) const;

    // Preamplifier reset height for the DAC values (reset width, FET subtraction).
    double resetHeight(double resetWidthDac, double fetSubDac) const;

private:
    double triggerProbability(double energyKeV) const;
    double escapeFraction(double energyKeV) const;
    void addPeak(QVector<double> *spectrum, const SimEnergyScale &scale, double energyEv,
                 double sigmaEv, double rate) const;

    SimDetectorSpec m_spec;
    QVector<double> m_efficiency; // by 10 eV step
    QVector<double> m_escape;
};
