#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QTime>

class XrfHardwareConfig;
namespace xrf_hal {
class XrfEngine;
}

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

// The instrument's identity at the head of a stability run's header: serial, software and firmware
// versions, the parts and their serials, the collimated flag, the filter move tolerance and the
// detector's target temperature and resolution.
QJsonObject stabilityHeaderIdentity(const XrfHardwareConfig &config, xrf_hal::XrfEngine *engine,
                                    bool collimated);

// Least-squares amplitude of a Gaussian of FWHM `width` (in bins) centred on `peakPosition`,
// fitted to the three bins around it; bin i spans [i, i + 1). 0 when the peak lies outside the
// data.
void calculateGaussianAmplitude(double peakPosition, double width, const QList<double> &data,
                                double *amplitude);

// The time of day in the output of the hardware clock program ("2026-12-06 09:15:00.123456+00:00":
// characters 11 to 18); invalid when the output holds none there.
QTime hwClockTimeOfDay(const QString &output);

} // namespace FactoryUtils
