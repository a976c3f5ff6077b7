#pragma once

#include <QString>
#include <QVector>

// The X-ray tube of a model: anode, window and the limits its controller enforces.
struct SimTubeSpec
{
    QString model;
    QString serialNumber;
    int anodeZ = 45; // rhodium
    double beWindowUm = 125;
    unsigned char minKv = 8;
    unsigned char maxKv = 50;
    unsigned char minUa = 5;
    unsigned char maxUa = 200;
    unsigned char maxPowerW = 4;
    unsigned char firmwareVersion = 17;
    double rampMs = 600; // high-voltage ramp until the tube is ready
};

// A photon population leaving the tube (or reaching the detector): energy, photons per second
// and per uA, and an intrinsic Gaussian width (bin width of continuum rays, Doppler broadening).
struct SimRay
{
    double energyKeV = 0;
    double rate = 0;
    double sigmaKeV = 0;
};

// Kramers continuum of the anode plus its characteristic lines, after anode self-absorption and
// the beryllium window; the continuum comes as rays of kContinuumBinKeV.
QVector<SimRay> tubeEmission(const SimTubeSpec &tube, double kv);

// The tube's operating state: set points, high-voltage ramp, monitors. Times are instrument ms.
class SimTube
{
public:
    explicit SimTube(const SimTubeSpec &spec) : m_spec(spec) { }

    const SimTubeSpec &spec() const { return m_spec; }

    int setVoltage(float kv);
    int setCurrent(float ua);
    float voltageSet() const { return m_kv; }
    float currentSet() const { return m_ua; }

    // Starts the ramp on the first call; answers EngineTubeNotReady until it is done.
    int enable(double nowMs);
    void disable();
    bool isOn() const { return m_on; }
    bool isRamping() const { return m_enableRequested && !m_on; }
    unsigned int lastReadyTimeMs() const { return m_lastReadyTimeMs; }

    // What the monitor reads with the supply `sagKv` below its set point.
    float voltageMonitored(double noise, double sagKv = 0) const;
    float currentMonitored(double noise) const;
    double powerWatts() const { return m_on ? double(m_kv) * double(m_ua) / 1000.0 : 0.0; }

    unsigned short faultFlags() const { return m_faultFlags; }
    void setFaultFlags(unsigned short flags);
    void clearFaults() { m_faultFlags = 0; }

private:
    SimTubeSpec m_spec;
    float m_kv = 0;
    float m_ua = 0;
    bool m_enableRequested = false;
    bool m_on = false;
    int m_notReadyAnswers = 0;
    double m_rampStartMs = 0;
    unsigned int m_lastReadyTimeMs = 0;
    unsigned short m_faultFlags = 0;
};
