#include "xrftimescale.h"

#include <QtMath>

#include <atomic>
#include <limits>

namespace {
std::atomic<double> g_scale{1.0};
}

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
    if (instrumentMs <= 0)
        return 0;
    const double scaled = qCeil(double(instrumentMs) * scale());
    return scaled >= std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                                     : int(scaled);
}
