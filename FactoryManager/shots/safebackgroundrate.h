#pragma once

// The safe background rate of an air shot: the rate that the calibration defaults allow for a
// beam on a model, with a tolerance that is a percentage of it but never below a floor.

#include <QJsonValue>

struct SafeBackgroundRate
{
    // Percent of the safe rate, 0 to 100; anything else in the setup data counts as 0.
    int percentTolerance = 0;
    // The least tolerance, in cps.
    int minTolerance = 0;

    static SafeBackgroundRate fromSetupData(const QJsonValue &percentTolerance,
                                            const QJsonValue &minTolerance);
    // The tolerance above `safeRate`: the percentage of it (truncated), or the floor when the
    // percentage does not exceed it.
    int tolerance(double safeRate) const;
    // The highest background that passes.
    double limit(double safeRate) const { return safeRate + tolerance(safeRate); }
    bool passes(double background, double safeRate) const { return background <= limit(safeRate); }
};
