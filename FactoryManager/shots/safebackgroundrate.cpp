#include "safebackgroundrate.h"

#include <cmath>

namespace {
constexpr int kMaxPercent = 100;
} // namespace

SafeBackgroundRate SafeBackgroundRate::fromSetupData(const QJsonValue &percentTolerance,
                                                     const QJsonValue &minTolerance)
{
    SafeBackgroundRate rate;
    const int percent = percentTolerance.toInt(0);
    rate.percentTolerance = percent >= 0 && percent <= kMaxPercent ? percent : 0;
    rate.minTolerance = minTolerance.toInt(0);
    return rate;
}

int SafeBackgroundRate::tolerance(double safeRate) const
{
    const double share = percentTolerance / 100.0 * safeRate;
    if (share <= minTolerance)
        return minTolerance;
    return int(std::trunc(share));
}
