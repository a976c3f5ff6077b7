#pragma once

#include <QList>
#include <QString>

// Numeric helpers and texts shared by the factory steps.
namespace FactoryUtils {

// Whole minutes (truncated) left in a stability run: `exposureType` "HV", "LV" or "BOTH" (a pair
// of one HV and one LV shot), plus `overheadSeconds` for every remaining shot.
int stabilityRemainingMinutes(const QString &exposureType, int remainingShots, int hvSeconds,
                              int lvSeconds, int overheadSeconds);
// "Time remaining: 3 min" or "Time remaining: 2 hrs 5 min".
QString stabilityTimeRemainingText(int minutes);
// The stability task status; `retry` above 0 names the retry in progress.
QString stabilityStatusText(int currentTest, int repeats, int retry, int maxRetries,
                            const QString &timeText);

// Least-squares amplitude of a Gaussian of FWHM `width` (in bins) centred on `peakPosition`,
// fitted to the three bins around it; bin i spans [i, i + 1). 0 when the peak lies outside the
// data.
void calculateGaussianAmplitude(double peakPosition, double width, const QList<double> &data,
                                double *amplitude);

} // namespace FactoryUtils
