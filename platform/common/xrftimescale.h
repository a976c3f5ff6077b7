#pragma once

#include <QtGlobal>

// The process-wide time scale. Every wait of the library and every simulated exposure goes
// through it: 1.0 on an instrument, 0.001 runs a 60 s shot in 60 ms, 0 runs waits as zero-length.
class XrfTimeScale
{
public:
    static double scale();
    static void setScale(double scale);
    // A duration of the instrument's clock in milliseconds, as it passes on this process's clock.
    static int scaledMs(qint64 instrumentMs);
};
