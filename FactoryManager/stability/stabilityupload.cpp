// Stability tests: the upload chain (summary, the cloud's evaluation polled with back-off, the
// spectra archive, the firmware log archive) and the discard of a run's data. One chain runs at a
// time; every step persists the run's record, so a restarted instrument resumes the chain.
#include "xrffactorymanager_p.h"

#include "xrflogging.h"
#include "xrftimescale.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

const char *kOfflineText = "device is not connected to internet. Wireless LAN: %1, Ethernet: %2";
const char *kSummaryFailedText = "Failed to upload stability summary, error:%1";
const char *kSpectraFailedText = "Failed to upload stability spectra, error:%1";
const char *kFirmwareLogsFailedText = "Failed to upload stability firmware logs, error:%1";
const int kInProgress = 1;
const int kProcessingFailed = 2;
const int kProcessed = 3;
const int kResultPassed = 4;
const int kResultFailed = 5;

QString linkText(bool connected)
{
    return connected ? QStringLiteral("Connected") : QStringLiteral("Not Connected");
}

void raiseAlarm(const QString &message)
{
    qWarning().noquote() << message;
    XrfAlarm(message).raise();
}

} // namespace

// The named step's data, unless a run is taking shots or another kind's upload runs: their files
// and record must stay where they are.
bool Worker::selectStabilityStepData(XrfUtils::FactoryStepId stepId)
{
    const StabilityTestType type =
        stepId == XrfUtils::CollimatedStability ? StabilityCollimated : StabilityPlain;
    if (stabilityRunning || (stabilityUploadPending && type != stabilityTestType)) {
        qWarning() << "A stability run or another stability upload is in progress; the data of"
                   << XrfFactoryManager::factoryStepNameFromId(stepId) << "is left as it is";
        return false;
    }
    selectStabilityType(type);
    return true;
}

void Worker::uploadStabilityStepResult(XrfUtils::FactoryStepId stepId)
{
    if (selectStabilityStepData(stepId))
        uploadStabilityData();
}

void Worker::discardStabilityStepResult(XrfUtils::FactoryStepId stepId)
{
    if (selectStabilityStepData(stepId))
        discardStabilityResults();
}

// The entry point from outside the chain: refused while a chain runs.
void Worker::uploadStabilityData()
{
    if (stabilityUploadPending) {
        qWarning() << "A stability upload is already in progress; not starting another";
        return;
    }
    continueStabilityUpload();
}

void Worker::continueStabilityUpload()
{
    if (!loadStabilityMetaInfoFromLastResult()) {
        const QString message = QStringLiteral("Failed to load stability test meta info from "
                                               "lastResult");
        qWarning().noquote() << message;
        onStabilityDataUploadComplete(false, message);
        return;
    }
    if (!isPendingStabilityUploads()) {
        onStabilityDataUploadComplete(true, QString());
        return;
    }
    stabilityUploadPending = true;
    emit q->uploadingFactoryStepResult(true);
    setCurrentTaskProgress(1);
    setCurrentTaskProgress(0);
    const XrfStabilityTestMetaInfo &meta = stabilityMetaInfo;
    auto pending = [](bool uploaded, const QString &path) {
        return !uploaded && QFileInfo(path).isFile();
    };
    QString error;
    bool started = false;
    if (pending(meta.summaryUploadStatus(), meta.summaryFilePath()))
        started = uploadStabilitySummary(&error);
    else if (pending(meta.spectraUploadStatus(), meta.spectraFilePath()))
        started = uploadStabilitySpectra(&error);
    else
        started = uploadStabilityFirmwareLogs(&error);
    if (!started)
        onStabilityDataUploadComplete(false, error);
}

bool Worker::checkStabilityUploadConnectivity(const QString &failureText, QString *error)
{
    error->clear();
    if (currentTaskProgress != 0)
        setCurrentTaskProgress(0);
    if (cloudConnected)
        return true;
    *error = failureText + QLatin1String(", ")
        + QString::fromLatin1(kOfflineText)
              .arg(linkText(wifiConnected), linkText(ethernetConnected));
    raiseAlarm(*error);
    return false;
}

bool Worker::uploadStabilitySummary(QString *error)
{
    if (!checkStabilityUploadConnectivity(QStringLiteral("Failed to upload stability summary"),
                                          error))
        return false;
    setCurrentTaskStatus(tr("Uploading Summary"));
    const QString path = stabilityMetaInfo.summaryFilePath();
    QJsonValue summary;
    QString readError;
    if (!isInsideStabilityCompletedFolder(path) || !loadJsonFromFile(path, &summary, &readError)
        || !summary.isObject()) {
        *error = QStringLiteral("Failed to send stability summary to cloud. Error reading "
                                "stability summary from file. error:%1")
                     .arg(readError.isEmpty() ? path : readError);
        return false;
    }
    XrfNetworkManager *network = XrfNetworkManager::instance();
    connect(network, &XrfNetworkManager::fileUploadProgress, this,
            &Worker::onStabilitySummaryUploadProgressChanged, Qt::UniqueConnection);
    listenForCloudResponse(&Worker::onStabilitySummaryUploadComplete);
    QString token;
    network->sendToCloud(XrfNetworkManager::PutStabilityTestResult,
                         QJsonObject{{QStringLiteral("body"), summary.toObject()}}, &token);
    stabilityMetaInfo.setSummaryRequestToken(token);
    saveStabilityTestInfoToLastResult();
    return true;
}

void Worker::onStabilitySummaryUploadProgressChanged(int progress)
{
    setCurrentTaskProgress(progress);
    setCurrentTaskStatus(tr("Uploading Summary, Progress:%1%").arg(progress));
}

void Worker::onStabilitySpectraUploadProgressChanged(int progress)
{
    setCurrentTaskProgress(progress);
    setCurrentTaskStatus(tr("Uploading Spectra, Progress:%1%").arg(progress));
}

void Worker::onStabilityFirmwareLogsUploadProgressChanged(int progress)
{
    setCurrentTaskProgress(progress);
    setCurrentTaskStatus(tr("Uploading Firmware logs, Progress:%1%").arg(progress));
}

void Worker::onStabilitySummaryUploadComplete(const XrfCloudResponse &response)
{
    if (!acceptCloudResponse(response, XrfNetworkManager::PutStabilityTestResult,
                             &Worker::onStabilitySummaryUploadComplete))
        return;
    disconnect(XrfNetworkManager::instance(), &XrfNetworkManager::fileUploadProgress, this,
               &Worker::onStabilitySummaryUploadProgressChanged);
    if (currentTaskProgress != 100)
        setCurrentTaskProgress(100);
    qDebug() << "PutStabilityTestResult response received";
    loadStabilityMetaInfoFromLastResult();
    QString error;
    if (response.hasFailed()) {
        error = response.error();
        raiseAlarm(QString::fromLatin1(kSummaryFailedText).arg(error));
    } else if (!response.isObject()) {
        qWarning() << "PutStabilityTestResult response is not a valid JSON object.";
        error = QStringLiteral("Stability summary response is not valid., response code:%1")
                    .arg(response.httpStatusCode());
    } else {
        stabilityResultGuid = response.responseData()
                                  .toObject()
                                  .value(QStringLiteral("stabilityResultGuid"))
                                  .toString();
        if (!stabilityResultGuid.isEmpty()) {
            listenForCloudResponse(&Worker::onStabilityTestQueryComplete);
            qDebug() << "Got a valid GUID from the cloud:" << stabilityResultGuid;
            stabilityQueryIntervalSeconds = 1;
            XrfNetworkManager::instance()->fetchFromCloud(
                XrfNetworkManager::GetStabilityTestRun,
                QJsonObject{{QStringLiteral("testQueryGuid"), stabilityResultGuid}});
            return;
        }
        error = QStringLiteral("Stability summary response does not contain a valid GUID");
        qWarning().noquote() << error;
    }
    onStabilityDataUploadComplete(false, error);
}

void Worker::onStabilityTestQueryComplete(const XrfCloudResponse &response)
{
    if (!acceptCloudResponse(response, XrfNetworkManager::GetStabilityTestRun,
                             &Worker::onStabilityTestQueryComplete))
        return;
    if (!stabilityUploadPending)
        return; // discarded meanwhile
    qDebug() << "Stability test query response received:" << response.responseData();
    QString error;
    bool passed = false;
    int uploadId = 0;
    bool accepted = false;
    if (response.hasFailed()) {
        error = response.error();
        raiseAlarm(QString::fromLatin1(kSummaryFailedText).arg(error));
    } else if (!response.isObject()) {
        qWarning() << "GetTestRun response is not a valid JSON object.";
        error = QStringLiteral("Stability test run query response is not valid, response code:%1")
                    .arg(response.httpStatusCode());
    } else {
        const QJsonObject answer = response.responseData().toObject();
        const int processing =
            answer.value(QStringLiteral("stabilityTestRunProcessingStatusId")).toInt(-1);
        qDebug() << "stability processing status id received from cloud: " << processing;
        if (processing == kInProgress) {
            qDebug() << "Stability processing still in progress. Scheduling another check in"
                     << stabilityQueryIntervalSeconds << "seconds";
            if (!stabilityQueryRetryTimer) {
                stabilityQueryRetryTimer = new QTimer(this);
                stabilityQueryRetryTimer->setSingleShot(true);
                connect(stabilityQueryRetryTimer, &QTimer::timeout, this,
                        &Worker::onStabilityQueryRetryTimerTimeout);
            }
            stabilityQueryRetryTimer->start(
                XrfTimeScale::scaledMs(qint64(stabilityQueryIntervalSeconds) * 1000));
            stabilityQueryIntervalSeconds =
                qMin(stabilityQueryIntervalSeconds * 2, stabilityQueryMaxIntervalSeconds);
            return;
        }
        if (processing == kProcessingFailed)
            error = QStringLiteral("Failure processing stability result in cloud.");
        else if (processing != kProcessed)
            error = QStringLiteral("Invalid stability processing status ID: %1").arg(processing);
        else
            accepted = readStabilityVerdict(answer, &passed, &uploadId, &error);
    }
    loadStabilityMetaInfoFromLastResult();
    stabilityMetaInfo.setHasPassed(passed);
    stabilityMetaInfo.setSpectraUploadId(uploadId);
    stabilityMetaInfo.setSummaryUploadStatus(accepted);
    saveStabilityTestInfoToLastResult();
    if (!accepted) {
        onStabilityDataUploadComplete(false, error);
        return;
    }
    removeStabilityFile(stabilityMetaInfo.summaryFilePath());
    continueStabilityUpload();
}

// The verdict of a processed run; true when the cloud accepted the summary (passed or failed).
bool Worker::readStabilityVerdict(const QJsonObject &answer, bool *passed, int *uploadId,
                                  QString *error)
{
    const QJsonValue status = answer.value(QStringLiteral("testResultStatusId"));
    const int result = status.isNull() ? kResultFailed : status.toInt(-1);
    qDebug() << "stability result status received from cloud:" << result;
    if (result != kResultPassed && result != kResultFailed) {
        *error = QStringLiteral("Stability test failure reported by cloud.");
        qDebug() << "Device stability status: "
                 << "Fail";
        return false;
    }
    const QJsonValue runId = answer.value(QStringLiteral("stabilityTestRunId"));
    if (runId.isNull() || runId.isUndefined()) {
        *error = QStringLiteral("No spectrum upload ID received from the cloud");
        return false;
    }
    const QString idText = runId.isString() ? runId.toString() : runId.toVariant().toString();
    qDebug() << "spectrum Upload id:" << idText;
    *uploadId = idText.toInt();
    if (*uploadId <= 0) {
        *error =
            QStringLiteral("spectrum upload id %1 received in the response is invalid").arg(idText);
        *uploadId = 0;
        return false;
    }
    *passed = result == kResultPassed;
    if (*passed && isPinDetector())
        applyStabilityGainCorrections(answer);
    qDebug() << "Device stability status: " << (*passed ? "Pass" : "Fail");
    return true;
}

void Worker::applyStabilityGainCorrections(const QJsonObject &answer)
{
    const double offset = answer.value(QStringLiteral("gainOffsetCorrection")).toDouble();
    const double slope = answer.value(QStringLiteral("gainSlopeCorrection")).toDouble();
    const double temperature = answer.value(QStringLiteral("temperatureAtCal")).toDouble();
    qInfo() << "Gain correction values received from cloud"
            << ", offsetCorrection:" << offset << ", slopeCorrection:" << slope
            << ", temperatureAtCal:" << temperature;
    if (!savePinGainCorrectionValues(float(offset), float(slope), float(temperature), true))
        qWarning() << "Failed to set gain slope and offset correction values.";
}

void Worker::onStabilityQueryRetryTimerTimeout()
{
    if (!stabilityUploadPending)
        return;
    listenForCloudResponse(&Worker::onStabilityTestQueryComplete);
    qDebug() << "Querying status of stability upload again. GUID:" << stabilityResultGuid;
    XrfNetworkManager::instance()->fetchFromCloud(
        XrfNetworkManager::GetStabilityTestRun,
        QJsonObject{{QStringLiteral("testQueryGuid"), stabilityResultGuid}});
}

bool Worker::uploadStabilitySpectra(QString *error)
{
    if (!checkStabilityUploadConnectivity(QStringLiteral("Failed to upload stability spectra"),
                                          error))
        return false;
    setCurrentTaskStatus(tr("Uploading Spectra"));
    const int uploadId = stabilityMetaInfo.spectraUploadId();
    const QString path = stabilityMetaInfo.spectraFilePath();
    if (uploadId <= 0) {
        *error = QStringLiteral("Spectrum upload id %1 is not valid.").arg(uploadId);
        return false;
    }
    if (!isInsideStabilityCompletedFolder(path) || !QFileInfo(path).isFile()) {
        *error = QStringLiteral("Spectrum file %1 does not exists.").arg(path);
        return false;
    }
    const QJsonObject body{{QStringLiteral("spectrumUploadId"), QString::number(uploadId)},
                           {QStringLiteral("spectrumFileName"), QFileInfo(path).fileName()},
                           {QStringLiteral("filePath"), QFileInfo(path).absoluteFilePath()}};
    XrfNetworkManager *network = XrfNetworkManager::instance();
    connect(network, &XrfNetworkManager::fileUploadComplete, this,
            &Worker::onStabilitySpectraUploadComplete, Qt::UniqueConnection);
    connect(network, &XrfNetworkManager::fileUploadProgress, this,
            &Worker::onStabilitySpectraUploadProgressChanged, Qt::UniqueConnection);
    QString token;
    network->uploadBinaryFileToCloud(XrfNetworkManager::UploadStabilitySpectra, body, &token);
    stabilityMetaInfo.setSpectraRequestToken(token);
    saveStabilityTestInfoToLastResult();
    return true;
}

bool Worker::uploadStabilityFirmwareLogs(QString *error)
{
    if (!stabilityMetaInfo.saveFirmwareLogs()) {
        qDebug() << "Entered uploadStabilityFirmwareLogs, when saveFirmwareLog param was disabled";
        stabilityMetaInfo.setFirmwareLogsUploadStatus(true);
        saveStabilityTestInfoToLastResult();
        QMetaObject::invokeMethod(
            this, [this] { continueStabilityUpload(); }, Qt::QueuedConnection);
        return true;
    }
    if (!checkStabilityUploadConnectivity(
            QStringLiteral("Failed to upload stability firmware logs"), error))
        return false;
    setCurrentTaskStatus(tr("Uploading firmware logs"));
    const QString path = stabilityMetaInfo.firmwareLogsFilePath();
    const QFileInfo file(path);
    if (!isInsideStabilityCompletedFolder(path) || !file.isFile()) {
        *error = QStringLiteral("Firmware logs file %1 does not exists.").arg(path);
        return false;
    }
    const QString checksum = XrfUtils::md5OfFile(path);
    if (checksum.isEmpty())
        qWarning() << "Error calculating checksum: " << path;
    const QJsonObject body{{QStringLiteral("serial"), hardwareConfig.insSerialNumber()},
                           {QStringLiteral("dateCreated"),
                            file.birthTime().isValid()
                                ? file.birthTime().toUTC().toString(Qt::ISODate)
                                : file.lastModified().toUTC().toString(Qt::ISODate)},
                           {QStringLiteral("name"), file.fileName()},
                           {QStringLiteral("size"), double(file.size())},
                           {QStringLiteral("checksum"), checksum},
                           {QStringLiteral("filePath"), file.absoluteFilePath()}};
    XrfNetworkManager *network = XrfNetworkManager::instance();
    connect(network, &XrfNetworkManager::fileUploadComplete, this,
            &Worker::onStabilityFirmwareLogsUploadComplete, Qt::UniqueConnection);
    connect(network, &XrfNetworkManager::fileUploadProgress, this,
            &Worker::onStabilityFirmwareLogsUploadProgressChanged, Qt::UniqueConnection);
    QString token;
    network->uploadBinaryFileToCloud(XrfNetworkManager::UploadStabilityFirmwareLogs, body, &token);
    stabilityMetaInfo.setFirmwareLogsRequestToken(token);
    saveStabilityTestInfoToLastResult();
    return true;
}

void Worker::disconnectStabilityUploadSignals()
{
    XrfNetworkManager *network = XrfNetworkManager::instance();
    disconnect(network, &XrfNetworkManager::fileUploadComplete, this,
               &Worker::onStabilitySpectraUploadComplete);
    disconnect(network, &XrfNetworkManager::fileUploadComplete, this,
               &Worker::onStabilityFirmwareLogsUploadComplete);
    disconnect(network, &XrfNetworkManager::fileUploadProgress, this,
               &Worker::onStabilitySpectraUploadProgressChanged);
    disconnect(network, &XrfNetworkManager::fileUploadProgress, this,
               &Worker::onStabilityFirmwareLogsUploadProgressChanged);
    disconnect(network, &XrfNetworkManager::fileUploadProgress, this,
               &Worker::onStabilitySummaryUploadProgressChanged);
    disconnect(network, &XrfNetworkManager::responseFromNetwork, this,
               &Worker::onStabilitySummaryUploadComplete);
    disconnect(network, &XrfNetworkManager::responseFromNetwork, this,
               &Worker::onStabilityTestQueryComplete);
}

void Worker::onStabilitySpectraUploadComplete(bool status, QString error)
{
    disconnectStabilityUploadSignals();
    if (currentTaskProgress != 100)
        setCurrentTaskProgress(100);
    loadStabilityMetaInfoFromLastResult();
    stabilityMetaInfo.setSpectraUploadStatus(status);
    stabilityMetaInfo.setSpectraRequestToken(QString());
    saveStabilityTestInfoToLastResult();
    if (!status) {
        const QString message = QString::fromLatin1(kSpectraFailedText).arg(error);
        raiseAlarm(message);
        onStabilityDataUploadComplete(false, message);
        return;
    }
    removeStabilityFile(stabilityMetaInfo.spectraFilePath());
    continueStabilityUpload();
}

void Worker::onStabilityFirmwareLogsUploadComplete(bool status, QString error)
{
    disconnectStabilityUploadSignals();
    if (currentTaskProgress != 100)
        setCurrentTaskProgress(100);
    loadStabilityMetaInfoFromLastResult();
    stabilityMetaInfo.setFirmwareLogsUploadStatus(status);
    stabilityMetaInfo.setFirmwareLogsRequestToken(QString());
    saveStabilityTestInfoToLastResult();
    if (!status) {
        const QString message = QString::fromLatin1(kFirmwareLogsFailedText).arg(error);
        raiseAlarm(message);
        onStabilityDataUploadComplete(false, message);
        return;
    }
    removeStabilityFile(stabilityMetaInfo.firmwareLogsFilePath());
    continueStabilityUpload();
}

void Worker::onStabilityDataUploadComplete(bool hasSucceeded, QString errorMsg)
{
    stabilityUploadPending = false;
    disconnectStabilityUploadSignals();
    if (stabilityQueryRetryTimer)
        stabilityQueryRetryTimer->stop();
    emit q->uploadingFactoryStepResult(false);
    if (hasSucceeded)
        onStabilityTestComplete(StabilityUploadFinished);
    else
        setCurrentTaskStatus(errorMsg);
    emit q->factoryStepResultUploadComplete(hasSucceeded, errorMsg);
}

// Removes the run's files (the completed folder's ones only), cancels its requests and the
// pending query, and ends a running chain.
void Worker::discardStabilityResults()
{
    qDebug() << "Entering discardStabilityResults";
    for (const QString &folder :
         {stabilityFolders.summary, stabilityFolders.spectra, stabilityFolders.firmwareLogs}) {
        if (QFileInfo(folder).isDir() && !QDir(folder).removeRecursively())
            qWarning().noquote() << QStringLiteral("Failed to delete files in %1").arg(folder);
    }
    QFile::remove(stabilityFolders.headerFile);
    if (stabilityQueryRetryTimer)
        stabilityQueryRetryTimer->stop();
    const bool chainRunning = stabilityUploadPending;
    stabilityUploadPending = false;
    disconnectStabilityUploadSignals();
    if (chainRunning)
        emit q->uploadingFactoryStepResult(false);
    if (loadStabilityMetaInfoFromLastResult()) {
        XrfStabilityTestMetaInfo &meta = stabilityMetaInfo;
        struct Part
        {
            QString (XrfStabilityTestMetaInfo::*path)() const;
            void (XrfStabilityTestMetaInfo::*setPath)(const QString &);
            QString (XrfStabilityTestMetaInfo::*token)() const;
            void (XrfStabilityTestMetaInfo::*setToken)(const QString &);
            const char *deletedText;
        };
        using M = XrfStabilityTestMetaInfo;
        const Part parts[] = {
            {&M::summaryFilePath, &M::setSummaryFilePath, &M::summaryRequestToken,
             &M::setSummaryRequestToken, "Deleted summary file:"},
            {&M::spectraFilePath, &M::setSpectraFilePath, &M::spectraRequestToken,
             &M::setSpectraRequestToken, "Deleted spectra file:"},
            {&M::firmwareLogsFilePath, &M::setFirmwareLogsFilePath, &M::firmwareLogsRequestToken,
             &M::setFirmwareLogsRequestToken, "Deleting firmware logs file:"},
        };
        bool deleted = false;
        for (const Part &part : parts) {
            const QString path = (meta.*part.path)();
            if (!path.isEmpty() && QFileInfo(path).isFile() && removeStabilityFile(path)) {
                qDebug() << part.deletedText << path;
                deleted = true;
            }
            (meta.*part.setPath)(QString());
            const QString token = (meta.*part.token)();
            if (!token.isEmpty()) {
                qDebug() << "Deleting network request" << token;
                XrfNetworkManager::instance()->discardNetworkRequest(token);
                (meta.*part.setToken)(QString());
            }
        }
        meta.setHasPassed(false);
        if (deleted) {
            meta.setErrorMsg(
                QStringLiteral("Failed to upload stability data, data discarded by the user."));
            onStabilityTestComplete(StabilityResultsDiscarded);
        }
        saveStabilityTestInfoToLastResult();
    }
    qDebug() << "Leaving discardStabilityResults";
}
