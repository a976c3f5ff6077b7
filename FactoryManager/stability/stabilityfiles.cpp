// Stability tests: the run's header and per-shot files, what an earlier run left behind, and the
// guard that keeps file removals inside the step's completed folder.
#include "xrffactorymanager_p.h"

#include "factoryutils.h"
#include "xrfengine.h"
#include "xrfnetworkmanager.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

int regularFileCount(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot).size();
}

// The "afeTemperature" of the gain setup sub-step, wherever its results hold it.
double afeTemperatureAtGainSetup(const QJsonObject &lastResult)
{
    const QJsonArray steps = lastResult.value(QStringLiteral("hardwareSetup"))
                                 .toObject()
                                 .value(QStringLiteral("result"))
                                 .toObject()
                                 .value(QStringLiteral("hardwareSetupSteps"))
                                 .toArray();
    for (const QJsonValue &value : steps) {
        const QJsonObject step = value.toObject();
        if (step.value(QStringLiteral("stepId")).toString() != QLatin1String("fpgaGainSetup"))
            continue;
        const QJsonObject results = step.value(QStringLiteral("results")).toObject();
        if (results.contains(QStringLiteral("afeTemperature")))
            return results.value(QStringLiteral("afeTemperature")).toDouble();
        double temperature = 0;
        for (const QJsonValue &iteration : results.value(QStringLiteral("iterations")).toArray()) {
            const QJsonValue afe = iteration.toObject().value(QStringLiteral("afeTemperature"));
            if (afe.isDouble())
                temperature = afe.toDouble();
        }
        return temperature;
    }
    return 0;
}

// The tenant travels as a number when it is one.
QJsonValue tenantValue()
{
    const QString tenant = XrfNetworkManager::instance()->tenantId();
    bool isNumber = false;
    const int number = tenant.toInt(&isNumber);
    return isNumber ? QJsonValue(number) : QJsonValue(tenant);
}

} // namespace

bool Worker::saveStabilityResult(StabilityResultType type, const QJsonObject &data, QString *error)
{
    if (!error)
        return false;
    if (type == StabilityFirmwareLog) {
        const QString name =
            QStringLiteral("firmwareLog_%1_%2_shot%3_retry%4.txt")
                .arg(hardwareConfig.insSerialNumber(),
                     QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_hhmm")))
                .arg(stabilityShotNumber)
                .arg(stabilityRetryCount);
        if (writeFirmwareLog(stabilityFolders.firmwareLogs, name))
            return true;
        qWarning() << "writeFirmwareLog returned false";
        error->append(QStringLiteral("Failed to write firmware log %1").arg(name));
        return false;
    }
    const bool summary = type == StabilitySummary;
    const QString folder = summary ? stabilityFolders.summary : stabilityFolders.spectra;
    if (folder.isEmpty()) {
        error->append(QStringLiteral("Failed to determine destination folder to write stability "
                                     "result for shot %1")
                          .arg(stabilityShotNumber));
        return false;
    }
    const QString path = QStringLiteral("%1/%2.json").arg(folder).arg(stabilityShotNumber);
    QString writeError;
    if (saveJsonDataToFile(path, data, &writeError, QJsonDocument::Compact))
        return true;
    const QString message =
        QStringLiteral("Failed to save stability %1 for iteration #%2 to %3, "
                       "error:%4")
            .arg(summary ? QStringLiteral("summary") : QStringLiteral("spectrum"))
            .arg(stabilityShotNumber)
            .arg(path, writeError);
    qWarning().noquote() << message;
    error->append(message);
    return false;
}

void Worker::saveStabilityTestHeader()
{
    xrf_hal::XrfEngine *engine = xrf_hal::XrfEngine::instance();
    QJsonObject header = FactoryUtils::stabilityHeaderIdentity(
        hardwareConfig, engine, stabilityTestType == StabilityCollimated);
    const QString type = stabilityParams.exposureType();
    const bool hv = type != QLatin1String("LV");
    const bool lv = type == QLatin1String("LV") || type == QLatin1String("BOTH");
    const XrfExposureSettings &hvExposure = stabilityParams.exposureHv();
    const XrfExposureSettings &lvExposure = stabilityParams.exposureLv();
    header.insert(QStringLiteral("startTime"), XrfUtils::currentUtcIsoTime());
    header.insert(QStringLiteral("endTime"), QString());
    header.insert(QStringLiteral("data"), QJsonArray());
    header.insert(QStringLiteral("intendedCycles"), stabilityParams.repeatsToUse());
    header.insert(QStringLiteral("testExposureType"), type);
    header.insert(QStringLiteral("intendedTubeVoltageLv"), lv ? lvExposure.tubeVoltageKv() : 0.0);
    header.insert(QStringLiteral("intendedTubeVoltageHv"), hv ? hvExposure.tubeVoltageKv() : 0.0);
    header.insert(QStringLiteral("intendedTubeCurrentLv"), lv ? lvExposure.tubeCurrentUa() : 0.0);
    header.insert(QStringLiteral("intendedTubeCurrentHv"), hv ? hvExposure.tubeCurrentUa() : 0.0);
    header.insert(QStringLiteral("intendedExposureTimeLv"), lv ? lvExposure.maxTime() : 0);
    header.insert(QStringLiteral("intendedExposureTimeHv"), hv ? hvExposure.maxTime() : 0);
    header.insert(QStringLiteral("afeTemperatureAtGainSetup"),
                  afeTemperatureAtGainSetup(lastResult));
    float offsetCorrection = 0;
    float slopeCorrection = 0;
    float temperatureAtCal = 0;
    if (isPinDetector()
        && !readPinGainCorrectionRegisters(&offsetCorrection, &slopeCorrection, &temperatureAtCal))
        offsetCorrection = slopeCorrection = temperatureAtCal = 0;
    header.insert(QStringLiteral("gainOffsetCorrection"), double(offsetCorrection));
    header.insert(QStringLiteral("gainSlopeCorrection"), double(slopeCorrection));
    header.insert(QStringLiteral("temperatureAtCal"), double(temperatureAtCal));
    header.insert(QStringLiteral("stabilityType"),
                  stabilityParams.isMiniStability() ? QStringLiteral("Short")
                                                    : QStringLiteral("Full"));
    header.insert(QStringLiteral("tenantId"), tenantValue());
    stabilityHeader = header;
    QString error;
    if (!saveJsonDataToFile(stabilityFolders.headerFile, header, &error))
        qWarning().noquote() << "Failed to save stability header:" << error;
}

bool Worker::isUnProcessedStabilityResults(qint32 *summaryCount)
{
    const int summaries = regularFileCount(stabilityFolders.summary);
    const int spectra = regularFileCount(stabilityFolders.spectra);
    const int firmwareLogs = regularFileCount(stabilityFolders.firmwareLogs);
    qDebug() << "Unprocessed Summary files found?" << summaries;
    qDebug() << "Unprocessed Spectra files found?" << spectra;
    qDebug() << "Unprocessed firmware logs found?" << firmwareLogs;
    if (summaryCount)
        *summaryCount = summaries;
    const bool found = summaries || spectra || firmwareLogs;
    if (found)
        qInfo().noquote() << QStringLiteral("Unprocessed stability data found, summary:%1, "
                                            "spectra:%2, fwLogs:%3")
                                 .arg(summaries)
                                 .arg(spectra)
                                 .arg(firmwareLogs);
    return found;
}

bool Worker::isPendingStabilityUploads()
{
    if (!loadStabilityMetaInfoFromLastResult())
        return false;
    const XrfStabilityTestMetaInfo &meta = stabilityMetaInfo;
    auto pending = [](bool uploaded, const QString &path) {
        return !uploaded && !path.isEmpty() && QFileInfo(path).isFile();
    };
    const bool summary = pending(meta.summaryUploadStatus(), meta.summaryFilePath());
    const bool spectra = pending(meta.spectraUploadStatus(), meta.spectraFilePath());
    const bool firmwareLogs = meta.saveFirmwareLogs()
        && pending(meta.firmwareLogsUploadStatus(), meta.firmwareLogsFilePath());
    qDebug() << "summary uploads pending?" << summary;
    qDebug() << "spectra uploads pending?" << spectra;
    qDebug() << "firmware logs uploads pending?:" << firmwareLogs;
    const bool any = summary || spectra || firmwareLogs;
    qDebug() << "Are pending stability uploads?" << any;
    return any;
}

// Paths come from lastResult.json; the library removes and uploads only its own files.
bool Worker::isInsideStabilityCompletedFolder(const QString &path) const
{
    if (path.isEmpty() || stabilityFolders.completed.isEmpty())
        return false;
    const QString folder = QDir::cleanPath(QFileInfo(stabilityFolders.completed).absoluteFilePath())
        + QLatin1Char('/');
    const QFileInfo file(path);
    if (file.isSymLink())
        return false;
    const QString cleanPath = QDir::cleanPath(file.absoluteFilePath());
    return cleanPath.startsWith(folder) && !cleanPath.mid(folder.size()).contains(QLatin1Char('/'));
}

bool Worker::removeStabilityFile(const QString &path)
{
    if (!isInsideStabilityCompletedFolder(path)) {
        qWarning() << "Refusing to delete" << path << "outside" << stabilityFolders.completed;
        return false;
    }
    return QFile::remove(path);
}
