#include "simexposure.h"

#include "simstate.h"
#include "xrftimescale.h"

#include <cmath>

namespace {
constexpr int kRampPollMs = 100;
// The middleware gives up on a tube whose high voltage is not up after 10 s of instrument time.
// The controller answers a few status polls before it reports the voltage up, so the ramp is
// polled at least that often, even at scale 0 where its time passes at once.
constexpr double kRampTimeoutMs = 10000;
constexpr int kMinRampPolls = 4;
constexpr int kTickMs = 1000;
constexpr qint64 kNsPerMs = 1000 * 1000;
constexpr double kSafeIcrLimit = 2.5e6;
constexpr float kTestStandVoltageKv = 40.0f;
constexpr unsigned short kTestStandFor50kVFlag = 0x0008;
} // namespace

SimExposureRunner::SimExposureRunner(SimState &state, XrfHardwareManager &publisher,
                                     std::mutex &delivery)
    : m_state(state), m_publisher(publisher), m_delivery(delivery), m_timer(this)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (instrumentNowMs() < m_dueMs) {
            armTimer();
            return;
        }
        if (m_phase == Phase::Ramping)
            onRampCheck();
        else if (m_phase == Phase::Exposing)
            onTick();
    });
}

double SimExposureRunner::instrumentNowMs()
{
    const auto lock = m_state.lock();
    return m_state.nowMs();
}

// The ramp checks and the exposure seconds fall due on the instrument's clock, the one the tube,
// the wheel and the detector follow. A Qt timer counts whole milliseconds: it sleeps through them
// and the event loop turns over for the rest, so that a tick never comes early at any scale.
void SimExposureRunner::waitFor(double instrumentMs)
{
    m_dueMs = instrumentNowMs() + instrumentMs;
    armTimer();
}

void SimExposureRunner::armTimer()
{
    const double left = m_dueMs - instrumentNowMs();
    m_timer.start(left > 0 ? int(XrfTimeScale::scaledNs(left) / kNsPerMs) : 0);
}

template<typename Emit>
void SimExposureRunner::publish(Emit emitSignal)
{
    std::lock_guard<std::mutex> lock(m_delivery);
    emitSignal(m_publisher);
}

void SimExposureRunner::start(const XrfExposureSettings &settings, int filterPosition,
                              unsigned int seed)
{
    m_settings = settings;
    m_random.seed(seed);
    double tubeOnSeconds = 0;
    {
        const auto lock = m_state.lock();
        tubeOnSeconds = m_state.tubeOnSeconds();
    }
    m_faults = m_state.faults().takeExposureFaults(tubeOnSeconds);
    m_silent = false;
    m_spectrumOverride = m_state.faults().spectrumOverride();
    m_realSeconds = m_liveSeconds = 0;
    m_inputCounts = m_outputCounts = 0;
    m_rampPolls = 0;
    m_rampStartMs = instrumentNowMs();
    {
        const auto lock = m_state.lock();
        m_state.tube().setVoltage(settings.tubeVoltageKv());
        m_state.tube().setCurrent(settings.tubeCurrentUa());
        // The manager programs the controller's set points, which the engine reads back.
        m_state.registers().setFloat(xrf_hal::RegTubeVoltageSet, settings.tubeVoltageKv());
        m_state.registers().setFloat(xrf_hal::RegTubeCurrentSet, settings.tubeCurrentUa());
        moveWheelFor(settings, filterPosition);
    }
    m_phase = Phase::Ramping;
    onRampCheck();
}

// A frozen filter stays where the previous exposure left it when that was the same position.
void SimExposureRunner::moveWheelFor(const XrfExposureSettings &settings, int filterPosition)
{
    SimFilterWheel &wheel = m_state.wheel();
    if (!wheel.assembly().motorized || filterPosition < 0)
        return;
    const unsigned short encoder = m_state.filterTable().at(filterPosition).encoder;
    if (settings.freezeFilterMode() && wheel.encoderSetPoint() == encoder)
        return;
    const unsigned short tolerance =
        (unsigned short)m_state.registers().raw(xrf_hal::RegFilterMoveTolerance);
    wheel.moveTo(encoder, tolerance, m_state.nowMs(), m_state.random());
    m_state.registers().setRaw(xrf_hal::RegFilterEncoderSetPoint, encoder);
}

bool SimExposureRunner::interlockBlocks()
{
    const SimEnvironment &env = m_state.environment();
    if (!env.interlockClosed)
        return true;
    const bool standRequired =
        m_state.registers().raw(xrf_hal::RegSafetyModeFlags) & kTestStandFor50kVFlag;
    const bool standClosed = env.testStandPresent && env.testStandLidClosed;
    return standRequired && m_settings.tubeVoltageKv() > kTestStandVoltageKv && !standClosed;
}

void SimExposureRunner::onRampCheck()
{
    int result;
    double now;
    {
        const auto lock = m_state.lock();
        now = m_state.nowMs();
        if (interlockBlocks()) {
            result = xrf_hal::EngineInterlockOpen;
        } else {
            result = m_state.tube().enable(now);
            // Counting starts once the filter has arrived (wheel() brings it up to now).
            if (result == xrf_hal::EngineOk
                && m_state.wheel().moveStatus() == xrf_hal::FilterMoving)
                result = xrf_hal::EngineTubeNotReady;
        }
    }
    const bool rampTimedOut =
        ++m_rampPolls >= kMinRampPolls && now - m_rampStartMs >= kRampTimeoutMs;
    if (result == xrf_hal::EngineTubeNotReady && !rampTimedOut) {
        waitFor(kRampPollMs);
        return;
    }
    if (result != xrf_hal::EngineOk) {
        finish(result == xrf_hal::EngineInterlockOpen ? XrfHardwareManager::EndInterlockOpened
                                                      : XrfHardwareManager::EndTubeFault,
               false);
        return;
    }
    beginExposing();
}

void SimExposureRunner::beginExposing()
{
    SimBeamSnapshot snapshot;
    {
        const auto lock = m_state.lock();
        snapshot = m_state.beamSnapshot();
        m_state.noteStrayRadiation();
        m_state.log(QStringLiteral("Exposure %1").arg(m_settings.toString()));
    }
    m_response = SimBeam::respond(m_state.detector(), snapshot, true);
    m_counts = QVector<quint32>(m_response.perSecond.size(), 0);
    m_phase = Phase::Exposing;
    publish([](XrfHardwareManager &hm) { emit hm.exposureStarted(); });
    if (applyDueFaults())
        return;
    waitFor(kTickMs);
}

void SimExposureRunner::onTick()
{
    const double liveFraction = m_response.icr > 0 ? m_response.ocr / m_response.icr : 1.0;
    double dt = 1.0;
    if (m_settings.useLiveTime())
        dt = std::min(1.0, (m_settings.maxTime() - m_liveSeconds) / liveFraction);
    else
        dt = std::min(1.0, m_settings.maxTime() - m_realSeconds);
    dt = std::max(dt, 0.0);
    m_realSeconds += dt;
    m_liveSeconds += dt * liveFraction;
    const unsigned int arrived = m_random(m_response.icr * dt);
    m_inputCounts += arrived;
    m_outputCounts += arrived - std::min(arrived, m_random(arrived * (1.0 - liveFraction)));
    accumulateCounts(m_response.perSecond, dt, m_random, &m_counts);
    if (m_spectrumOverride)
        m_counts = *m_spectrumOverride;
    if (!m_silent) {
        const XrfSpectrum spectrum = currentSpectrum();
        publish([&spectrum](XrfHardwareManager &hm) { emit hm.spectrum(spectrum); });
    }
    if (applyDueFaults())
        return;
    if (m_silent) {
        // The controller has gone quiet: nothing reaches the manager and the exposure does not
        // end by itself.
        waitFor(kTickMs);
        return;
    }
    if (m_response.icr > kSafeIcrLimit) {
        finish(XrfHardwareManager::EndCountRateTooHigh, false);
        return;
    }
    const double elapsed = m_settings.useLiveTime() ? m_liveSeconds : m_realSeconds;
    if (elapsed >= m_settings.maxTime() - 1.0e-9) {
        finish(XrfHardwareManager::EndNormal, false);
        return;
    }
    waitFor(kTickMs);
}

XrfSpectrum SimExposureRunner::currentSpectrum() const
{
    XrfSpectrum spectrum;
    QVector<quint32> counts = m_counts;
    if (m_spectrumOverride) {
        for (quint32 &count : counts)
            count = quint32(std::llround(count * m_realSeconds));
    }
    spectrum.setData(counts);
    spectrum.setRealTime(m_realSeconds);
    spectrum.setLiveTime(m_liveSeconds);
    spectrum.setLiveTimeFromHardware(m_liveSeconds);
    spectrum.setInputCountRate(m_realSeconds > 0 ? m_inputCounts / m_realSeconds : 0.0);
    spectrum.setOutputCountRate(m_realSeconds > 0 ? m_outputCounts / m_realSeconds : 0.0);
    spectrum.setTubeVoltageKv(m_settings.tubeVoltageKv());
    spectrum.setTubeCurrentUa(m_settings.tubeCurrentUa());
    spectrum.setEnergySlope(m_response.scale.slopeEv);
    spectrum.setEnergyOffset(m_response.scale.offsetEv);
    return spectrum;
}

bool SimExposureRunner::applyDueFaults()
{
    while (!m_faults.isEmpty() && m_faults.first().atSeconds <= m_realSeconds + 1.0e-9) {
        const SimFaults::ExposureFault fault = m_faults.takeFirst();
        if (fault.silences) {
            m_silent = true;
            continue;
        }
        if (fault.raisesError)
            publish([&fault](XrfHardwareManager &hm) { emit hm.hardwareError(fault.error); });
        if (!fault.raisesError || fault.endsExposure) {
            finish(fault.endCondition, fault.tubeStillOn);
            return true;
        }
    }
    return false;
}

void SimExposureRunner::stop()
{
    if (m_phase == Phase::Idle)
        return;
    finish(XrfHardwareManager::EndStoppedByUser, false);
}

void SimExposureRunner::finish(XrfHardwareManager::XrfExposureEndCondition condition,
                               bool tubeStillOn)
{
    m_timer.stop();
    m_phase = Phase::Idle;
    {
        const auto lock = m_state.lock();
        if (!tubeStillOn)
            m_state.tube().disable();
        m_state.setExposureActive(false);
        m_state.addTubeOnSeconds(m_realSeconds);
        m_state.log(QStringLiteral("Exposure ended, condition %1").arg(int(condition)));
    }
    publish([condition, tubeStillOn](XrfHardwareManager &hm) {
        emit hm.exposureStopped(condition, tubeStillOn);
    });
}

void SimExposureRunner::measureDarkRate(unsigned int samples)
{
    double rate;
    {
        const auto lock = m_state.lock();
        SimBeamSnapshot snapshot = m_state.beamSnapshot();
        snapshot.xraysOn = false;
        rate = SimBeam::respond(m_state.detector(), snapshot, false).icr;
    }
    const unsigned int seconds = std::max(1u, samples);
    const unsigned int darkRate = m_random(rate * seconds) / seconds;
    publish([darkRate](XrfHardwareManager &hm) { emit hm.darkRateUpdated(darkRate); });
}
