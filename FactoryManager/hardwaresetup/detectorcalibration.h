#pragma once

#include <QVector>
#include <QtGlobal>

// The search rules of the detector calibrations, free of the instrument so that each rule can be
// checked on its own.
namespace DetectorCalibration {

// Reset width search (SDD): a height within target +- tolerance (bounds included) is in range.
bool isResetHeightInRange(int height, int target, int tolerance);

// The reset-width DAC step for a height outside the range: the further off, the larger the step
// (34, 21, 13, 8, 5, 2, 1 as the distance exceeds 64, 32, 16, 8, 4, 2, 1 tolerances).
int resetWidthStep(int height, int target, int tolerance);

// The next reset width: up by the step while the height is below the target, down while above,
// kept inside the 12-bit DAC range.
int nextResetWidth(int width, int height, int target, int tolerance);

// The settling delay multiplier doubles while the height does not change, up to four times.
int nextDelayFactor(int factor, int height, int previousHeight);

// Width of the ADC window in ADC codes: 256 codes for every histogram bin that holds more than
// the highest bin / 1.33.
int adcWindowSize(const QVector<quint32> &histogram);

// PIN detector search: the FET subtraction value rises until the reset height passes 16000, then
// only the reset width moves until the height lies in 14201..15800.
struct PinDacState
{
    int fetSub = 0;
    int resetWidth = 0;
    bool widthPhase = false;
    int lastWidthStep = 0;
    bool heightOk = false;
};

struct PinDacChange
{
    bool writeFetSub = false;
    bool writeResetWidth = false;
    bool widthExhausted = false; // the width reached 0: the search cannot go on
};

constexpr int kDacMax = 4095;
constexpr int kFetSubCeiling = 4094;
constexpr int kWidthPhaseHeight = 16000;

PinDacChange adjustPinDacs(PinDacState *state, int height, int maxResetHeight);

} // namespace DetectorCalibration
