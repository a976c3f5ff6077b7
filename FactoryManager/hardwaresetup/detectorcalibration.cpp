#include "detectorcalibration.h"

#include <algorithm>
#include <cstdlib>

namespace DetectorCalibration {

namespace {

constexpr int kMaxDelayFactor = 4;
constexpr int kFetStepNoReset = 50; // no reset seen yet: the FET value is far off
constexpr int kFetStep = 5;
constexpr int kNoResetHeight = 100;
constexpr int kWidthStepWhenSaturated = 20;
constexpr int kHeightOkLow = 14201;
constexpr int kHeightOkHigh = 15800;
constexpr int kWidthStepHigh = 5;
constexpr int kWidthStepNear = 2;

void adjustFetSub(PinDacState *state, int height, PinDacChange *change)
{
    const int step = height <= kNoResetHeight ? kFetStepNoReset : kFetStep;
    if (state->fetSub > kFetSubCeiling || state->fetSub + step > kFetSubCeiling) {
        // The FET subtraction is at its end: widen the reset instead.
        state->resetWidth = std::min(state->resetWidth + kWidthStepWhenSaturated, kDacMax);
        state->fetSub = kDacMax;
        change->writeResetWidth = true;
    } else {
        state->fetSub += step;
    }
    change->writeFetSub = true;
}

void adjustResetWidth(PinDacState *state, int height, int maxResetHeight, PinDacChange *change)
{
    int step = 0;
    if (height > maxResetHeight) {
        step = kWidthStepHigh;
    } else if (height > kHeightOkHigh) {
        step = kWidthStepNear;
    } else if (height >= kHeightOkLow) {
        state->heightOk = true;
        return;
    } else {
        step = state->lastWidthStep;
    }
    state->lastWidthStep = step;
    state->resetWidth = std::max(state->resetWidth - step, 0);
    if (state->resetWidth == 0)
        change->widthExhausted = true;
    else
        change->writeResetWidth = true;
}

} // namespace

bool isResetHeightInRange(int height, int target, int tolerance)
{
    return height >= target - tolerance && height <= target + tolerance;
}

int resetWidthStep(int height, int target, int tolerance)
{
    const qint64 distance = std::llabs(qint64(target) - height);
    const qint64 t = tolerance;
    if (distance > 64 * t)
        return 34;
    if (distance > 32 * t)
        return 21;
    if (distance > 16 * t)
        return 13;
    if (distance > 8 * t)
        return 8;
    if (distance > 4 * t)
        return 5;
    if (distance > 2 * t)
        return 2;
    if (distance > t)
        return 1;
    return 0;
}

int nextResetWidth(int width, int height, int target, int tolerance)
{
    if (isResetHeightInRange(height, target, tolerance))
        return width;
    const int step = resetWidthStep(height, target, tolerance);
    return std::clamp(height < target ? width + step : width - step, 0, kDacMax);
}

int nextDelayFactor(int factor, int height, int previousHeight)
{
    if (height == previousHeight && factor < kMaxDelayFactor)
        return factor * 2;
    return factor;
}

int adcWindowSize(const QVector<quint32> &histogram)
{
    if (histogram.isEmpty())
        return 0;
    const double highest = *std::max_element(histogram.cbegin(), histogram.cend());
    const double floor = highest / 1.33;
    const auto bins = std::count_if(histogram.cbegin(), histogram.cend(),
                                    [floor](quint32 count) { return count > floor; });
    return int(256 * bins);
}

PinDacChange adjustPinDacs(PinDacState *state, int height, int maxResetHeight)
{
    PinDacChange change;
    if (!state->widthPhase && height <= kWidthPhaseHeight) {
        adjustFetSub(state, height, &change);
        return change;
    }
    state->widthPhase = true;
    adjustResetWidth(state, height, maxResetHeight, &change);
    return change;
}

} // namespace DetectorCalibration
