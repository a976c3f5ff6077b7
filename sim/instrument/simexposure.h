#pragma once

#include "simbeam.h"
#include "simfaults.h"
#include "simpoisson.h"
#include "xrfexposuresettings.h"
#include "xrfhardwaremanager.h"

#include <QObject>
#include <QTimer>

#include <mutex>

class SimState;

// One exposure at a time, run on the simulator's thread like the instrument middleware: the tube
// ramps, exposureStarted, a spectrum update for every exposure second, exposureStopped at the set
// time. Every wait runs on the instrument's clock (SimClock, through XrfTimeScale). The signals are
// the hardware manager's, emitted from this thread, so receivers on other threads get queued calls.
class SimExposureRunner : public QObject
{
    Q_OBJECT
public:
    // Signals go out through `publisher` while `delivery` is held (see SimHardwareManager).
    SimExposureRunner(SimState &state, XrfHardwareManager &publisher, std::mutex &delivery);

    // Called through queued invocations only, on the runner's thread.
    void start(const XrfExposureSettings &settings, int filterPosition, unsigned int seed);
    void stop();
    void measureDarkRate(unsigned int samples);

private:
    enum class Phase { Idle, Ramping, Exposing };

    void moveWheelFor(const XrfExposureSettings &settings, int filterPosition);
    double instrumentNowMs();
    void waitFor(double instrumentMs);
    void armTimer();
    void onRampCheck();
    void beginExposing();
    void onTick();
    XrfSpectrum currentSpectrum() const;
    bool applyDueFaults();
    void finish(XrfHardwareManager::XrfExposureEndCondition condition, bool tubeStillOn);
    bool interlockBlocks();
    template<typename Emit>
    void publish(Emit emitSignal);

    SimState &m_state;
    XrfHardwareManager &m_publisher;
    std::mutex &m_delivery;
    QTimer m_timer;
    SimPoisson m_random;
    Phase m_phase = Phase::Idle;
    XrfExposureSettings m_settings;
    QVector<SimFaults::ExposureFault> m_faults;
    std::optional<QVector<quint32>> m_spectrumOverride;
    SimDetectorResponse m_response;
    QVector<quint32> m_counts;
    double m_realSeconds = 0;
    double m_liveSeconds = 0;
    quint64 m_inputCounts = 0;
    quint64 m_outputCounts = 0;
    int m_rampPolls = 0;
    bool m_silent = false;
    double m_rampStartMs = 0;
    double m_dueMs = 0;
};
