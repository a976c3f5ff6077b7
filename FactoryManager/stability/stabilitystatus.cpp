// Stability tests: the status machine that ties a run to its assembly, upload and verdict, and
// the run's record in lastResult.json.
#include "xrffactorymanager_p.h"

#include "xrfengine.h"
#include "xrfsettingsmanager.h"
#include "xrftimescale.h"

#include <QDebug>
#include <QTimer>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {
const QString kMetaInfoKey = QStringLiteral("stabilityTestMetaInfo");
const QString kShotsComplete = QStringLiteral("shotsComplete");
const QString kAborted = QStringLiteral("aborted");
const int kFreezeFilterRerunDelayMs = 5000;
const char *kAssemblyFailedText = "Failed to assemble unprocessed stability results, error:%1";
const char *kIncompleteRunText = "The stability run did not complete its shots; the cloud's "
                                 "verdict on the shots taken does not pass it.";
} // namespace

QString Worker::stabilityStatusText(StabilityTestStatus status)
{
    switch (status) {
    case StabilityReady:
        return QStringLiteral("ready");
    case StabilityError:
        return QStringLiteral("error");
    case StabilityAborted:
        return QStringLiteral("aborted");
    case StabilityShotsComplete:
        return QStringLiteral("shotsComplete");
    case StabilityProcessingResults:
        return QStringLiteral("processingResults");
    case StabilityWaitingForCloudResponse:
        return QStringLiteral("waitingForCloudResponse");
    case StabilityCloudResponseReceived:
        return QStringLiteral("cloudResponseReceived");
    case StabilityRunAgainInFreezeFilterMode:
        return QStringLiteral("runAgainInFreezeFilterMode");
    case StabilityResultsDiscarded:
    case StabilityUploadFinished:
        break;
    }
    return QString();
}

void Worker::onStabilityTestComplete(StabilityTestStatus status)
{
    xrf_hal::XrfEngine::instance()->setGlobalLogLevel(xrf_hal::LogLevelInfo);
    switch (status) {
    case StabilityError:
    case StabilityAborted:
    case StabilityShotsComplete:
        finishStabilityShots(status);
        break;
    case StabilityResultsDiscarded:
        setStabilityStatus(stabilityAbortRequested ? StabilityAborted : StabilityError);
        break;
    case StabilityUploadFinished:
        finishStabilityEvaluation();
        break;
    default:
        break;
    }
}

// Assembles what the shots left and starts their upload.
void Worker::finishStabilityShots(StabilityTestStatus status)
{
    qint32 summaryCount = 0;
    if (!isUnProcessedStabilityResults(&summaryCount)) {
        setStabilityStatus(status);
        return;
    }
    setStabilityStatus(StabilityProcessingResults);
    qint32 processed = 0;
    QString error;
    if (!processStabilityResults(summaryCount, &processed, &error)) {
        stabilityMetaInfo.setErrorMsg(stabilityMetaInfo.errorMsg()
                                      + QString::fromLatin1(kAssemblyFailedText).arg(error));
        qWarning().noquote() << stabilityMetaInfo.errorMsg();
        setStabilityStatus(StabilityError);
        return;
    }
    if (processed == 0) {
        setStabilityStatus(status);
        return;
    }
    StabilityTestStatus next = status;
    if (stabilityTestType == StabilityPlain)
        next = status == StabilityError ? StabilityError : StabilityWaitingForCloudResponse;
    else if (status == StabilityShotsComplete)
        next = StabilityWaitingForCloudResponse;
    setStabilityStatus(next);
    uploadStabilityData();
}

// The upload and the cloud's evaluation are done. Only a run that took all its shots can pass;
// a collimated run is judged on its Br/Cu ratio as well and reports its status once.
void Worker::finishStabilityEvaluation()
{
    if (stabilityMetaInfo.status() != stabilityStatusText(StabilityWaitingForCloudResponse))
        return;
    const QString outcome = stabilityMetaInfo.runOutcome();
    if (outcome != kShotsComplete) {
        stabilityMetaInfo.setHasPassed(false);
        if (stabilityMetaInfo.errorMsg().isEmpty())
            stabilityMetaInfo.setErrorMsg(QString::fromLatin1(kIncompleteRunText));
        setStabilityStatus(outcome == kAborted ? StabilityAborted : StabilityError);
        return;
    }
    if (stabilityTestType == StabilityPlain || !stabilityMetaInfo.hasPassed()) {
        setStabilityStatus(StabilityCloudResponseReceived);
        return;
    }
    setStabilityStatus(StabilityCloudResponseReceived, false);
    bool runAgain = false;
    if (checkCollimatedStabilityMeanAndRSD(&runAgain)) {
        qDebug() << "Both mean and RSD are within range";
        setStabilityStatus(StabilityCloudResponseReceived);
        return;
    }
    if (!runAgain) {
        setStabilityStatus(StabilityError);
        return;
    }
    setStabilityStatus(StabilityRunAgainInFreezeFilterMode);
    stabilityMetaInfo.setIsFreezeFilterMode(true);
    saveStabilityTestInfoToLastResult();
    initStability(stabilityTestType);
    if (stabilityMetaInfo.status() == stabilityStatusText(StabilityError))
        return;
    const int run = stabilityRunNumber;
    QTimer::singleShot(XrfTimeScale::scaledMs(kFreezeFilterRerunDelayMs), this, [this, run] {
        if (run == stabilityRunNumber)
            doStability(false, true);
    });
}

void Worker::setStabilityStatus(StabilityTestStatus status, bool reportStep)
{
    stabilityMetaInfo.setStatus(stabilityStatusText(status));
    if (!saveStabilityTestInfoToLastResult())
        qWarning() << "Failed to save stabilityTestMetaInfo to lastResult.json";
    emit q->stabilityTestComplete(stabilityMetaInfo.toJsonObject());
    const bool final = status == StabilityError || status == StabilityAborted
        || status == StabilityCloudResponseReceived;
    if (!reportStep || !final)
        return;
    const bool passed = status == StabilityCloudResponseReceived && stabilityMetaInfo.hasPassed();
    if (!passed && !stabilityMetaInfo.errorMsg().isEmpty())
        setCurrentTaskStatus(stabilityMetaInfo.errorMsg());
    putDeviceFactoryStepStatus(stabilityStepId(),
                               passed ? XrfFactoryStepInfo::Passed : XrfFactoryStepInfo::Failed);
}

bool Worker::loadStabilityMetaInfoFromLastResult()
{
    loadFactorySetupLastResult(nullptr);
    const QJsonValue stored = lastResult.value(stabilityStepName()).toObject().value(kMetaInfoKey);
    XrfStabilityTestMetaInfo record;
    QString error;
    if (!stored.isObject() || !record.fromJsonObject(stored.toObject(), &error)) {
        if (!error.isEmpty())
            qWarning().noquote() << QStringLiteral("'%1' of '%2' in lastResult.json: %3")
                                        .arg(kMetaInfoKey, stabilityStepName(), error);
        return false;
    }
    stabilityMetaInfo = record;
    return true;
}

// The run's record goes under the step's key, beside the step's own status: in progress while
// the shots run, passed or failed once the run has its final status.
bool Worker::saveStabilityTestInfoToLastResult()
{
    const XrfStabilityTestMetaInfo &meta = stabilityMetaInfo;
    if (meta.startTimeUTC().isEmpty() && meta.endTimeUTC().isEmpty() && meta.status().isEmpty()) {
        qDebug() << "Stability meta info is empty, not writing it to the last result file";
        return true;
    }
    loadFactorySetupLastResult(nullptr);
    const QString name = stabilityStepName();
    QJsonObject step = lastResult.value(name).toObject();
    step.insert(kMetaInfoKey, meta.toJsonObject());
    step.insert(QStringLiteral("stepId"), int(stabilityStepId()));
    step.insert(QStringLiteral("stepIdStr"), name);
    const QString status = meta.status();
    int stepStatus = -1;
    if (status.isEmpty() && !meta.startTimeUTC().isEmpty())
        stepStatus = XrfFactoryStepInfo::InProgress;
    else if (status == stabilityStatusText(StabilityCloudResponseReceived))
        stepStatus = meta.hasPassed() ? XrfFactoryStepInfo::Passed : XrfFactoryStepInfo::Failed;
    else if (status == stabilityStatusText(StabilityError)
             || status == stabilityStatusText(StabilityAborted))
        stepStatus = XrfFactoryStepInfo::Failed;
    if (stepStatus >= 0) {
        step.insert(QStringLiteral("status"), stepStatus);
        step.insert(QStringLiteral("startTime"), meta.startTimeUTC());
        step.insert(QStringLiteral("endTime"), meta.endTimeUTC());
    }
    lastResult.insert(name, step);
    return saveFactorySetupLastResult();
}

// Keys written into "hardware.config" join what is there (provisioning's part stays).
void Worker::mergeIntoHardwareConfigSetting(const QJsonObject &values)
{
    XrfSettingsManager *settings = XrfSettingsManager::instance();
    QJsonObject config;
    if (const int code =
            settings->getUniversalSetting(QStringLiteral("hardware.config"), &config)) {
        qWarning() << "Failed to read 'hardware.config' from universalSettings.json, code:" << code;
        return;
    }
    for (auto it = values.begin(); it != values.end(); ++it)
        config.insert(it.key(), it.value());
    if (const int code = settings->setUniversalSetting(QStringLiteral("hardware.config"), &config))
        qWarning() << "Failed to write 'hardware.config' to universalSettings.json, code:" << code;
}
