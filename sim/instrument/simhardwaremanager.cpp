#include "simhardwaremanager.h"

#include "simexposure.h"
#include "simfaults.h"
#include "simstate.h"

using namespace xrf_hal;

namespace {
constexpr float kPowerMargin = 1.001f;

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
    m_thread.setObjectName(QStringLiteral("SimInstrument Thread"));
    m_runner = new SimExposureRunner(state, *this);
    m_runner->moveToThread(&m_thread);
    m_thread.start();
}

SimHardwareManager::~SimHardwareManager()
{
    m_thread.quit();
    m_thread.wait();
    delete m_runner;
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
    *filterPosition = m_state.findFilterPosition(filter.materialAtomicNumber(),
                                                 qRound(filter.thicknessInMicrons()),
                                                 qRound(filter.diameterInMicrons()),
                                                 filter.position());
    if (*filterPosition < 0 && m_state.wheel().assembly().motorized)
        return EngineInvalidArgument;
    m_state.setExposureActive(true);
    return EngineOk;
}

int SimHardwareManager::startExposure(const XrfExposureSettings &settings, int, int, int, int, int, int)
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
    QMetaObject::invokeMethod(
            m_runner, [runner = m_runner, settings, filterPosition, seed] {
                runner->start(settings, filterPosition, seed);
            },
            Qt::QueuedConnection);
    return EngineOk;
}

int SimHardwareManager::stopExposure(bool)
{
    if (const int injected = m_state.faults().takeOperationCode("stopExposure"))
        return injected;
    QMetaObject::invokeMethod(m_runner, [runner = m_runner] { runner->stop(); }, Qt::QueuedConnection);
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
    QMetaObject::invokeMethod(
            m_runner, [runner = m_runner, samples] { runner->measureDarkRate(samples); },
            Qt::QueuedConnection);
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
    emit hardwareConfigUpdated(*hardwareConfig());
}
