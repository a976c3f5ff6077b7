#pragma once

#include <QElapsedTimer>
#include <QtGlobal>

// The process-wide time scale. Every wait of the library and every simulated exposure goes
// through it: 1.0 on an instrument, 0.001 runs a 60 s shot in 60 ms, 0 runs waits as zero-length.
// There is no floor: at 0.0001 a 20 ms poll lasts 2 us, so the line runs at the speed of the CPU.
class XrfTimeScale
{
public:
    static double scale();
    static void setScale(double scale);
    // A duration of the instrument's clock in milliseconds, as it passes on this process's clock,
    // to the nearest millisecond (less than half a millisecond is 0). For Qt timers, which count
    // whole milliseconds; a wait that must last its whole time uses scaledNs.
    static int scaledMs(qint64 instrumentMs);
    // The same duration to the nanosecond.
    static qint64 scaledNs(double instrumentMs);
    // The instrument milliseconds that `processNs` of this process's clock stand for; infinite at
    // scale 0, where any process of the instrument completes at once.
    static double instrumentMs(qint64 processNs);
    // The timeout of a watchdog that detects a silent instrument or cloud: the scaled time, but
    // never less than `floorMs` of process time, so that a busy machine does not trip it.
    static int watchdogMs(qint64 instrumentMs, int floorMs);
};

// Instrument time since start(), measured on the process clock through the time scale. Polls of an
// instrument process (a wheel move, cooling, a tube ramp) are bounded with it, so that they give
// up on the instrument's time at any scale, never after a count of polls that may take no time.
class XrfInstrumentTimer
{
public:
    void start();
    // Instrument milliseconds since start(); 0 at scale 0, where durations cannot be measured.
    qint64 elapsedMs() const;
    // True once `instrumentMs` have passed; always true at scale 0.
    bool hasExpired(qint64 instrumentMs) const;

private:
    QElapsedTimer m_timer;
};

// Bounds the polling of an instrument process (a wheel move, cooling, a tube ramp) on the
// instrument's clock: polling ends once `instrumentMs` of instrument time have passed since the
// bound was made and the process was asked at least `minPolls` times. Controllers answer a few
// status polls before they report a change, even at scale 0, where the time passes at once. The
// last poll is always one made after the time was up: at small scales a thread held up for a
// millisecond by a busy machine between a poll and its look at the clock misses seconds of
// instrument time, in which the process may have finished.
class XrfPollBound
{
public:
    explicit XrfPollBound(qint64 instrumentMs, int minPolls = 1);
    // Counts one poll that found the process still under way; true while another one is due.
    bool pollAgain();

private:
    XrfInstrumentTimer m_timer;
    qint64 m_boundMs;
    int m_minPolls;
    int m_polls = 0;
    bool m_timeUp = false;
};
