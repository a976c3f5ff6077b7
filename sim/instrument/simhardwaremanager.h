#pragma once

#include "xrfhardwaremanager.h"

#include <QEventLoop>

#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

class SimState;
class SimExposureRunner;

// The simulated hardware manager: exposures on its own thread ("SimInstrument Thread"), events as
// signals emitted there, so receivers on other threads get queued calls, as from the middleware.
//
// ThreadSanitizer: Qt 5 as packaged is not instrumented and synchronises its event queues with
// futexes that TSan cannot see. So the thread is a std::thread with an event loop (joined, not
// QThread::wait()ed), requests travel through a std::mutex-guarded queue, and every signal is
// emitted while holding deliveryMutex(): a receiver on another thread that locks it on entry has
// a happens-before edge TSan can see to everything the emitter wrote, payload copies included.
class SimHardwareManager : public XrfHardwareManager, private XrfWatchDog
{
    Q_OBJECT
public:
    explicit SimHardwareManager(SimState &state, QObject *parent = nullptr);
    ~SimHardwareManager() override;

    QSharedPointer<const XrfHardwareConfig> hardwareConfig() const override;
    // Returns at once; 0 when the exposure was accepted, otherwise an xrf_hal::EngineReturnCode
    // (busy, settings outside the tube limits, filter not in the controller's table).
    int startExposure(const XrfExposureSettings &settings, int, int, int, int, int, int) override;
    int stopExposure(bool abort) override;
    XrfVersion firmwareVersion(int component) const override;
    void getDarkRate(unsigned int samples) override;
    bool getFirmwareLog(QString *log) override;
    void setFanEnabled(bool enabled, bool force) override;
    bool batteryStatus(XrfPwrBatteryInfo *info) override;
    double socTemperature() override;
    // Counts the alerts and notes them in the firmware log.
    void factoryPlayAlertSound() override;
    int alertSoundsPlayed() const;
    XrfWatchDog *watchDogInstance() override;

    // Seeds each exposure's counting noise from the instrument seed and the exposure's number.
    void setSeed(unsigned int seed);
    std::mutex &deliveryMutex() { return m_deliveryMutex; }
    // Takes a new snapshot of the configuration from the instrument state.
    void refreshConfig();

public slots:
    void onUpdateHardwareConfig() override;

private:
    void resetWatchdogInterlockState() override;

    using Request = std::function<void(SimExposureRunner &)>;

    int acceptExposure(const XrfExposureSettings &settings, int *filterPosition);
    void runThread(std::promise<void> *started);
    void post(Request request);
    void runPendingRequests();

    SimState &m_state;
    std::thread m_thread;
    QEventLoop *m_loop = nullptr; // lives on m_thread
    SimExposureRunner *m_runner = nullptr; // lives on m_thread
    QObject *m_requestSink = nullptr; // lives on m_thread
    std::mutex m_requestMutex;
    std::deque<Request> m_requests;
    std::mutex m_deliveryMutex;
    mutable std::mutex m_mutex;
    QSharedPointer<const XrfHardwareConfig> m_config;
    unsigned int m_seed = 1;
    unsigned int m_exposureCount = 0;
    int m_alertSounds = 0;
};
