#include "factoryutils.h"

#include <QCoreApplication>

namespace FactoryUtils {

int stabilityRemainingMinutes(const QString &exposureType, int remainingShots, int hvSeconds,
                              int lvSeconds, int overheadSeconds)
{
    qint64 seconds = 0;
    if (exposureType == QLatin1String("HV"))
        seconds = qint64(remainingShots) * hvSeconds;
    else if (exposureType == QLatin1String("LV"))
        seconds = qint64(remainingShots) * lvSeconds;
    else if (exposureType == QLatin1String("BOTH"))
        seconds = qint64(hvSeconds + lvSeconds) * (remainingShots / 2);
    if (remainingShots % 2 != 0)
        seconds += lvSeconds;
    seconds += qint64(remainingShots) * overheadSeconds;
    return int(double(seconds) / 60.0);
}

QString stabilityTimeRemainingText(int minutes)
{
    if (minutes < 60)
        return QCoreApplication::translate("XrfFactoryManager", "Time remaining: %1 min")
            .arg(minutes);
    return QCoreApplication::translate("XrfFactoryManager", "Time remaining: %1 hrs %2 min")
        .arg(minutes / 60)
        .arg(minutes % 60);
}

QString stabilityStatusText(int currentTest, int repeats, int retry, int maxRetries,
                            const QString &timeText)
{
    if (retry > 0)
        return QCoreApplication::translate("XrfFactoryManager",
                                           "Running test %1 of %2, retry %3 of %4...\n%5")
            .arg(currentTest)
            .arg(repeats)
            .arg(retry)
            .arg(maxRetries)
            .arg(timeText);
    return QCoreApplication::translate("XrfFactoryManager", "Running test %1 of %2...\n%3")
        .arg(currentTest)
        .arg(repeats)
        .arg(timeText);
}

} // namespace FactoryUtils
