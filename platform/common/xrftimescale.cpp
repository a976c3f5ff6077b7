#include "xrftimescale.h"

#include <cmath>

#include <algorithm>
#include <atomic>
#include <limits>

namespace {
std::atomic<double> g_scale{1.0};

constexpr double kNsPerMs = 1.0e6;

// Rounds a non-negative count into the range of T.
template<typename T>
T saturated(double value)
{
    const double rounded = std::round(value);
    if (!(rounded > 0))
        return 0;
    return rounded >= double(std::numeric_limits<T>::max()) ? std::numeric_limits<T>::max()
                                                            : T(rounded);
}
} // namespace

double XrfTimeScale::scale()
{
    return g_scale.load(std::memory_order_relaxed);
}

void XrfTimeScale::setScale(double scale)
{
    g_scale.store(scale < 0 ? 0.0 : scale, std::memory_order_relaxed);
}

int XrfTimeScale::scaledMs(qint64 instrumentMs)
{
    return saturated<int>(double(instrumentMs) * scale());
}

qint64 XrfTimeScale::scaledNs(double instrumentMs)
{
    return saturated<qint64>(instrumentMs * scale() * kNsPerMs);
}

double XrfTimeScale::instrumentMs(qint64 processNs)
{
    const double current = scale();
    if (current <= 0)
        return std::numeric_limits<double>::infinity();
    return double(processNs) / kNsPerMs / current;
}

int XrfTimeScale::watchdogMs(qint64 instrumentMs, int floorMs)
{
    return std::max(scaledMs(instrumentMs), floorMs);
}

void XrfInstrumentTimer::start()
{
    m_timer.start();
}

qint64 XrfInstrumentTimer::elapsedMs() const
{
    const double elapsed = XrfTimeScale::instrumentMs(m_timer.nsecsElapsed());
    return std::isinf(elapsed) ? 0 : saturated<qint64>(elapsed);
}

bool XrfInstrumentTimer::hasExpired(qint64 instrumentMs) const
{
    return XrfTimeScale::instrumentMs(m_timer.nsecsElapsed()) >= double(instrumentMs);
}

XrfPollBound::XrfPollBound(qint64 instrumentMs, int minPolls)
    : m_boundMs(instrumentMs), m_minPolls(minPolls)
{
    m_timer.start();
    m_timeUp = m_timer.hasExpired(m_boundMs);
}

// The poll just made began after the previous look at the clock: when the time was up then, that
// poll was the last look the process needed.
bool XrfPollBound::pollAgain()
{
    const bool polledAfterTimeUp = m_timeUp;
    m_timeUp = m_timer.hasExpired(m_boundMs);
    return ++m_polls < m_minPolls || !polledAfterTimeUp;
}
