#pragma once

#include "simphysics.h"
#include "xrferrorinfo.h"
#include "xrfhardwaremanager.h"
#include "xrfspectrum.h"

#include <QHash>
#include <QMap>
#include <QStringList>
#include <QVector>

#include <mutex>
#include <optional>

// Fault injection into the simulated instrument, a feature of the simulator rather than a test
// hack: the CLI's scenarios and the tests use it alike. Thread-safe.
//
// Engine operations are named as in xrf_hal::XrfEngine ("saveToNv"); sensor overrides use the
// name of the getter ("getAmbientPressureMillibars").
class SimFaults
{
public:
    static constexpr int kAlways = -1;

    struct ExposureFault
    {
        double atSeconds = 0;
        bool raisesError = false;
        XrfHardwareManager::XrfExposureEndCondition endCondition = XrfHardwareManager::EndNormal;
        bool tubeStillOn = false;
        XrfErrorInfo error;
        bool endsExposure = true;
        // The controller stops sending spectrum updates at atSeconds; the exposure runs on
        // until it is stopped.
        bool silences = false;
        // Takes effect once the tube has been on this long in total (instrument seconds).
        double afterTubeOnSeconds = 0;
    };

    // The next `times` calls of the operation (kAlways: every call) return `code`.
    void failOperation(const QString &operation, int code, int times = 1);
    void clearOperation(const QString &operation);
    // Called by every engine operation: the injected code, or 0. Counts the call.
    int takeOperationCode(const char *operation);
    int operationCalls(const QString &operation) const;

    // The next `times` exposures end after `seconds` of exposure with the end condition.
    void endExposureAfter(double seconds, XrfHardwareManager::XrfExposureEndCondition condition,
                          bool tubeStillOn = false, int times = kAlways);
    // The next `times` exposures raise hardwareError after `seconds`; the exposure then stops
    // with EndHardwareError unless `endsExposure` is false.
    void raiseHardwareErrorAfter(double seconds, const XrfErrorInfo &error,
                                 bool endsExposure = true, int times = kAlways);
    // Any of the above, or an exposure that goes silent, as a whole record.
    void addExposureFault(const ExposureFault &fault, int times = kAlways);
    // The faults of an exposure that starts now with the tube's total on-time so far, sorted by
    // time (consumes counted ones; faults whose on-time has not come stay).
    QVector<ExposureFault> takeExposureFaults(double tubeOnSeconds = 0);

    void overrideSensor(const QString &getter, double value);
    void overrideSensor(const QString &getter, const QVector<double> &values);
    void clearSensorOverride(const QString &getter);
    std::optional<QVector<double>> sensorOverride(const char *getter) const;

    // Exposures deliver this spectrum (counts per exposure second) instead of the physics.
    void overrideSpectrum(const QVector<quint32> &countsPerSecond);
    void clearSpectrumOverride();
    std::optional<QVector<quint32>> spectrumOverride() const;

    // Reads of the register (raw access and the typed getters built on it) answer `value`.
    void overrideRegister(quint16 address, quint32 value);
    void clearRegisterOverride(quint16 address);
    std::optional<quint32> registerOverride(quint16 address) const;

    // Component faults that the physics reads.
    void setCoolerMaxDeltaC(std::optional<double> maxDeltaC); // a failing Peltier cooler
    std::optional<double> coolerMaxDeltaC() const;
    void setFilterWheelJammed(bool jammed);
    bool filterWheelJammed() const;
    void setExtraDarkRate(double cps); // detector noise counts
    double extraDarkRate() const;
    // FPGA gain writes that are acknowledged but never latched (the gain keeps its value), and a
    // tube whose emission current runs at `factor` times its set point (monitors read the set
    // point).
    void setFpgaGainWritesLost(bool lost);
    bool fpgaGainWritesLost() const;
    void setTubeEmissionFactor(double factor);
    double tubeEmissionFactor() const;
    // A gap in the shielding that lets this fraction (0..1) of the stray radiation out
    // unattenuated.
    void setShieldingGap(double fraction);
    double shieldingGap() const;
    // A tube whose emission sags as it heats: the output falls by up to `fraction` with the time
    // constant (instrument seconds of tube on-time).
    void setTubeOutputSag(double fraction, double timeConstantSeconds);
    // The emission factor after `tubeOnSeconds` of tube on-time.
    double tubeOutputSagFactor(double tubeOnSeconds) const;
    // A focal spot that wanders as the tube heats: the beam spot at the sample moves this many
    // micrometres per minute of tube on-time.
    void setFocalSpotDrift(double micronsPerMinute);
    double focalSpotDriftMicrons(double tubeOnSeconds) const;
    // A filter wheel servo that, once the tube has been on for `afterTubeOnSeconds` (the
    // instrument has warmed), lands `factor` times farther from its set point than a good one
    // (within `factor` times its tolerance).
    void setFilterWheelLandingJitter(double factor, double afterTubeOnSeconds = 0);
    double filterWheelLandingJitter(double tubeOnSeconds) const;

    // Engine operations called so far, all names together.
    int totalOperationCalls() const;
    // A film left on the measurement window. With nothing but air at the window the film is all
    // the beam meets; a solid sample outshines it.
    void setWindowResidue(const SimMaterial &film);
    std::optional<SimMaterial> windowResidue() const;
    // A tube high-voltage supply that delivers `kv` less than its set point while the tube is on;
    // the voltage monitor reads what is delivered.
    void setTubeVoltageSagKv(double kv);
    double tubeVoltageSagKv() const;
    // A pinion working loose on the wheel motor's shaft: once the wheel has made `afterLongMoves`
    // moves across more than half its travel, every `every`-th such move slips (the motor turns,
    // the wheel stays) until the controller gives the move up. `every` 0: no slip.
    struct PinionSlip
    {
        int afterLongMoves = 0;
        int every = 0;
    };
    void setWheelPinionSlip(const PinionSlip &slip);
    PinionSlip wheelPinionSlip() const;

    void clear();
    QStringList describe() const;

private:
    struct OperationFault
    {
        int code = 0;
        int remaining = 0;
    };
    struct CountedExposureFault
    {
        ExposureFault fault;
        int remaining = kAlways;
    };

    mutable std::mutex m_mutex;
    QHash<QString, OperationFault> m_operations;
    QHash<QString, int> m_calls;
    QVector<CountedExposureFault> m_exposureFaults;
    QHash<QString, QVector<double>> m_sensors;
    std::optional<QVector<quint32>> m_spectrum;
    QMap<quint16, quint32> m_registers;
    std::optional<double> m_coolerMaxDeltaC;
    bool m_wheelJammed = false;
    double m_extraDarkRate = 0;
    bool m_fpgaGainWritesLost = false;
    double m_tubeEmissionFactor = 1.0;
    double m_shieldingGap = 0;
    double m_sagFraction = 0;
    double m_sagTimeConstantSeconds = 1;
    double m_focalSpotDriftPerMinute = 0;
    double m_wheelLandingJitter = 1.0;
    double m_wheelJitterAfterSeconds = 0;
    std::optional<SimMaterial> m_windowResidue;
    double m_tubeVoltageSagKv = 0;
    PinionSlip m_pinionSlip;
};
