#pragma once

#include <QElapsedTimer>

// The instrument's own clock. It advances with the process clock divided by the time scale
// (XrfTimeScale), so simulated processes (tube ramp, wheel moves, detector cooling) take their
// instrument time at any scale. At scale 0 every process completes at once. Not thread-safe: the
// instrument state owns one and reads it under its mutex.
class SimClock
{
public:
    SimClock();

    // Instrument milliseconds since the clock started.
    double nowMs();
    // True when the time scale is 0, so that durations cannot be measured.
    static bool isImmediate();

private:
    QElapsedTimer m_timer;
    qint64 m_lastRealNs = 0;
    double m_instrumentMs = 0;
};
