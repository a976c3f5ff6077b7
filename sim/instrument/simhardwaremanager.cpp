#include "simhardwaremanager.h"

#include "simexposure.h"
#include "simfaults.h"
#include "simstate.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

using namespace xrf_hal;

namespace {
constexpr float kPowerMargin = 1.001f;

// Wakes the simulator thread to run the queued requests. An event rather than a functor
// invocation: Qt deletes it on the receiving thread only, so no reference count that TSan cannot
// see is shared between the threads.
class RunRequestsEvent : public QEvent
{
public:
    static QEvent::Type eventType()
    {
        static const int type = QEvent::registerEventType();
        return QEvent::Type(type);
    }
    RunRequestsEvent() : QEvent(eventType()) { }
};

// Takes the poster's mutex before it looks at an event, so that the event's construction on the
// posting thread happens before its use here as TSan sees it.
class RequestSink : public QObject
{
public:
    RequestSink(std::mutex &postMutex, std::function<void()> run)
        : m_postMutex(postMutex), m_run(std::move(run))
    { }
    bool event(QEvent *event) override
    {
        {
            std::lock_guard<std::mutex> acquire(m_postMutex);
        }
        if (event->type() != RunRequestsEvent::eventType())
            return QObject::event(event);
        m_run();
        return true;
    }

private:
    std::mutex &m_postMutex;
    std::function<void()> m_run;
};

void registerMetaTypes()
{
    qRegisterMetaType<XrfSpectrum>("XrfSpectrum");
    qRegisterMetaType<XrfErrorInfo>("XrfErrorInfo");
    qRegisterMetaType<XrfHardwareConfig>("XrfHardwareConfig");
    qRegisterMetaType<XrfExposureSettings>("XrfExposureSettings");
    qRegisterMetaType<XrfHardwareManager::XrfExposureEndCondition>(
        "XrfHardwareManager::XrfExposureEndCondition");
}
} // namespace

SimHardwareManager::SimHardwareManager(SimState &state, QObject *parent)
    : XrfHardwareManager(parent), m_state(state)
{
    registerMetaTypes();
    refreshConfig();
    std::promise<void> started;
    m_thread = std::thread(&SimHardwareManager::runThread, this, &started);
    started.get_future().wait();
}

SimHardwareManager::~SimHardwareManager()
{
    post([loop = m_loop](SimExposureRunner &) { loop->quit(); });
    m_thread.join();
}

void SimHardwareManager::runThread(std::promise<void> *started)
{
    QThread::currentThread()->setObjectName(QStringLiteral("SimInstrument Thread"));
    QEventLoop loop;
    SimExposureRunner runner(m_state, *this, m_deliveryMutex);
    RequestSink sink(m_requestMutex, [this] { runPendingRequests(); });
    m_loop = &loop;
    m_runner = &runner;
    m_requestSink = &sink;
    started->set_value();
    loop.exec();
}

// The event is made and posted under the request mutex, which the simulator thread takes before
// it runs the requests: everything written here happens before, as TSan sees it.
void SimHardwareManager::post(Request request)
{
    std::lock_guard<std::mutex> lock(m_requestMutex);
    m_requests.push_back(std::move(request));
    QCoreApplication::postEvent(m_requestSink, new RunRequestsEvent);
}

void SimHardwareManager::runPendingRequests()
{
    for (;;) {
        Request request;
        {
            std::lock_guard<std::mutex> lock(m_requestMutex);
            if (m_requests.empty())
                return;
            request = std::move(m_requests.front());
            m_requests.pop_front();
        }
        request(*m_runner);
    }
}

QSharedPointer<const XrfHardwareConfig> SimHardwareManager::hardwareConfig() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_config;
}

int SimHardwareManager::acceptExposure(const XrfExposureSettings &settings, int *filterPosition)
{
    const auto lock = m_state.lock();
    const SimTubeSpec &tube = m_state.tube().spec();
    const float kv = settings.tubeVoltageKv();
    const float ua = settings.tubeCurrentUa();
    if (m_state.exposureActive())
        return EngineBusy;
    if (settings.maxTime() <= 0 || kv < tube.minKv || kv > tube.maxKv || ua <= 0 || ua > tube.maxUa
        || kv * ua > tube.maxPowerW * 1000.0f * kPowerMargin)
        return EngineOutOfRange;
    const XrfFilterProperties &filter = settings.filter();
    *filterPosition = m_state.findFilterPosition(
        filter.materialAtomicNumber(), qRound(filter.thicknessInMicrons()),
        qRound(filter.diameterInMicrons()), filter.position());
    if (*filterPosition < 0 && m_state.wheel().assembly().motorized)
        return EngineInvalidArgument;
    m_state.setExposureActive(true);
    return EngineOk;
}

int SimHardwareManager::startExposure(const XrfExposureSettings &settings, int, int, int, int, int,
                                      int)
{
    if (const int injected = m_state.faults().takeOperationCode("startExposure"))
        return injected;
    int filterPosition = -1;
    if (const int refused = acceptExposure(settings, &filterPosition))
        return refused;
    unsigned int seed;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        seed = m_seed * 7919u + ++m_exposureCount;
    }
    post([settings, filterPosition, seed](SimExposureRunner &runner) {
        runner.start(settings, filterPosition, seed);
    });
    return EngineOk;
}

int SimHardwareManager::stopExposure(bool)
{
    if (const int injected = m_state.faults().takeOperationCode("stopExposure"))
        return injected;
    post([](SimExposureRunner &runner) { runner.stop(); });
    return EngineOk;
}

XrfVersion SimHardwareManager::firmwareVersion(int component) const
{
    const SimModelPreset &preset = m_state.preset();
    if (component == 1)
        return XrfVersion::fromString(preset.fpgaFirmwareVersion);
    if (component == 2)
        return XrfVersion(preset.tube.firmwareVersion / 10, preset.tube.firmwareVersion % 10);
    return XrfVersion::fromString(preset.k60FirmwareVersion);
}

void SimHardwareManager::getDarkRate(unsigned int samples)
{
    post([samples](SimExposureRunner &runner) { runner.measureDarkRate(samples); });
}

bool SimHardwareManager::getFirmwareLog(QString *log)
{
    if (!log || m_state.faults().takeOperationCode("getFirmwareLog"))
        return false;
    const auto lock = m_state.lock();
    *log = m_state.firmwareLog().join(QLatin1Char('\n')) + QLatin1Char('\n');
    return true;
}

void SimHardwareManager::setFanEnabled(bool enabled, bool force)
{
    const auto lock = m_state.lock();
    m_state.log(QStringLiteral("Fan %1%2").arg(enabled ? "on" : "off", force ? " (forced)" : ""));
}

bool SimHardwareManager::batteryStatus(XrfPwrBatteryInfo *info)
{
    if (!info || m_state.faults().takeOperationCode("batteryStatus"))
        return false;
    const auto lock = m_state.lock();
    const SimBatteryReading reading = m_state.sensors().battery(m_state.environment());
    info->voltage = reading.voltageMv;
    info->current = reading.currentMa;
    info->stateOfCharge = reading.stateOfCharge;
    info->remainingCapacity = reading.remainingMah;
    return true;
}

double SimHardwareManager::socTemperature()
{
    const auto lock = m_state.lock();
    return m_state.sensors().socC(m_state.environment());
}

void SimHardwareManager::factoryPlayAlertSound()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_alertSounds;
    }
    const auto lock = m_state.lock();
    m_state.log(QStringLiteral("Alert sound"));
}

int SimHardwareManager::alertSoundsPlayed() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_alertSounds;
}

XrfWatchDog *SimHardwareManager::watchDogInstance()
{
    return this;
}

void SimHardwareManager::resetWatchdogInterlockState()
{
    const auto lock = m_state.lock();
    m_state.log(QStringLiteral("Interlock watchdog reset"));
}

void SimHardwareManager::setSeed(unsigned int seed)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_seed = seed;
    m_exposureCount = 0;
}

void SimHardwareManager::refreshConfig()
{
    XrfHardwareConfig config;
    {
        const auto lock = m_state.lock();
        config = m_state.hardwareConfig();
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_config = QSharedPointer<const XrfHardwareConfig>::create(config);
}

void SimHardwareManager::onUpdateHardwareConfig()
{
    refreshConfig();
    const XrfHardwareConfig config = *hardwareConfig();
    std::lock_guard<std::mutex> lock(m_deliveryMutex);
    emit hardwareConfigUpdated(config);
}
