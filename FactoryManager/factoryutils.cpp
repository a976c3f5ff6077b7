#include "factoryutils.h"

#include "xrfengine.h"
#include "xrfhardwareconfig.h"
#include "xrfsoftwareversioninfo.h"

#include <QCoreApplication>
#include <QDebug>

#include <cmath>

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

QJsonObject stabilityHeaderIdentity(const XrfHardwareConfig &config, xrf_hal::XrfEngine *engine,
                                    bool collimated)
{
    XrfSoftwareVersionInfo versions;
    QString error;
    if (!versions.readVersionInfoFromFile(QStringLiteral("/version.json"), &error))
        qWarning().noquote() << "Failed to read software versions:" << error;
    unsigned short tolerance = 0;
    if (engine->getFilterMoveTolerance(&tolerance) != 0)
        tolerance = 0;
    signed char detectorTemperature = 0;
    if (engine->getDetectorSetTemperature(&detectorTemperature) != 0)
        detectorTemperature = 0;
    return {
        {QStringLiteral("serial"), config.insSerialNumber()},
        {QStringLiteral("stabilityRunNumber"), 1},
        {QStringLiteral("kernelVersion"), versions.rootFsVersion()},
        {QStringLiteral("kernelPatchVersion"), versions.rootFsPatchVersion()},
        {QStringLiteral("softwareVersion"), versions.appVersion()},
        {QStringLiteral("k60Version"), config.k60FirmwareVersion()},
        {QStringLiteral("fpgaVersion"), config.fpgaFirmwareVersion()},
        {QStringLiteral("detectorPartNumber"), config.detectorModel()},
        {QStringLiteral("tubePartNumber"), config.tubeModel()},
        {QStringLiteral("detectorSerialNumber"), config.detectorSerialNumber()},
        {QStringLiteral("detectorPreampSerialNumber"), config.detectorPreampSerialNumber()},
        {QStringLiteral("detectorAssemblySerialNumber"), config.detectorAssemblySerialNumber()},
        {QStringLiteral("tubeSerialNumber"), config.tubeSerialNumber()},
        {QStringLiteral("tubeFirmwareVersion"), config.tubeFirmware()},
        {QStringLiteral("digitalBoardSerialNumber"), config.xrfEngineSerialNumber()},
        {QStringLiteral("powerBoardSerialNumber"), config.powerPcbSerial()},
        {QStringLiteral("collimatedTest"), collimated},
        {QStringLiteral("filterEncoderTolerance"), int(tolerance)},
        {QStringLiteral("targetDetectorTemp"), int(detectorTemperature)},
        {QStringLiteral("targetDetectorResolution"), 130},
    };
}

void calculateGaussianAmplitude(double peakPosition, double width, const QList<double> &data,
                                double *amplitude)
{
    if (!amplitude)
        return;
    qDebug() << "calculating Gaussian amplitude using"
             << "peakGuess:" << peakPosition << "width:" << width;
    *amplitude = 0;
    const double centre = std::floor(peakPosition);
    if (!(width > 0) || !std::isfinite(centre) || centre < 0 || centre >= data.size())
        return;
    const int c = int(centre);
    double weighted = 0;
    double norm = 0;
    double value = 0;
    for (int i = c - 1; i <= c + 1; ++i) {
        const double d = i - (peakPosition - 0.5);
        const double g = std::exp(-d * d / (2 * width / 2.355));
        // A bin beyond either end repeats the last value seen.
        if (i >= 0 && i < data.size())
            value = data.at(i);
        weighted += g * value;
        norm += g * g;
    }
    *amplitude = norm > 0 ? weighted / norm : 0;
}

QTime hwClockTimeOfDay(const QString &output)
{
    return QTime::fromString(output.mid(11, 8), QStringLiteral("HH:mm:ss"));
}

} // namespace FactoryUtils
