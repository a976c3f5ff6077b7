#include "simclock.h"

#include "xrftimescale.h"

namespace {
// At scale 0 each reading moves the clock by an hour, which ends any simulated process.
constexpr double kImmediateStepMs = 3600.0 * 1000.0;
} // namespace

SimClock::SimClock()
{
    m_timer.start();
}

double SimClock::nowMs()
{
    const qint64 realNs = m_timer.nsecsElapsed();
    const double realMs = double(realNs - m_lastRealNs) / 1.0e6;
    m_lastRealNs = realNs;
    const double scale = XrfTimeScale::scale();
    m_instrumentMs += scale > 0 ? realMs / scale : kImmediateStepMs;
    return m_instrumentMs;
}

bool SimClock::isImmediate()
{
    return XrfTimeScale::scale() <= 0;
}
