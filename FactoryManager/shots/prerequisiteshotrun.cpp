// Prerequisite shots: one shot after the other, a prompt for each change of sample, the record
// after every shot, and the end of the run (upload, and the synthetic shots or the step status).

#include "xrffactorymanager_p.h"

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {
const QString kShotFailed = QStringLiteral("Prerequisiteshot failed");
const QString kNoExposure = QStringLiteral("Prerequisite shot '%1' has no exposure to shoot");
const QString kNotStarted = QStringLiteral("the exposure did not start, err:%1");
} // namespace

void Worker::startPrerequisiteShot(const QString &shotId)
{
    qDebug() << "Starting prerequisite shots.....";
    takeExposureSignals({[this] { onPrerequisiteShotExposureStarted(); },
                         [this](const XrfSpectrum &s) { onPrerequisiteShotSpectrum(s); },
                         [this](XrfHardwareManager::XrfExposureEndCondition end, bool tubeOn) {
                             onPrerequisiteShotExposureStopped(end, tubeOn);
                         },
                         [this](const XrfErrorInfo &e) {
                             onPrerequisiteShotError(e);
                         }});
    userAbort = false;
    doPrerequisiteShots(shotId);
}

void Worker::doPrerequisiteShots(QString shotId)
{
    qDebug() << "Entering:"
             << "doPrerequisiteShots";
    XrfPrerequisiteShotList &list = prerequisiteStepInfo.shotsList();
    XrfPrerequisiteShot *shot =
        shotId.isEmpty() ? list.findNextIncompleteShot() : list.prerequisiteShot(shotId);
    if (shot && !shotId.isEmpty())
        currentPrerequisiteShot.setTargetSample(shot->targetSample());
    if (!shot) {
        qDebug() << "No prerequisite shot to shoot";
        onPrerequisiteShotAllComplete();
    } else if (!shot->isDone() || shot->hasFailed()) {
        qDebug() << "Found next incomplete shot:" << shot->id();
        if (shot->targetSample() != currentPrerequisiteShot.targetSample()) {
            qDebug() << "Prereuisite shots target Sample changed to:" << shot->targetSample();
            currentPrerequisiteShot.setTargetSample(shot->targetSample());
            // The technician places the sample and starts the shots again.
            releaseExposureSignals();
            emit q->prerequisiteShotCurrentSampleChanged(shot->targetSample());
        } else {
            list.setSelectionCriteriaStatus(false);
            currentPrerequisiteShot = *shot;
            prerequisiteExposure.reset();
            prerequisiteExposure.settings = shot->exposure();
            qInfo() << "Shooting prerequisite shot:" << shot->id();
            if (shot->exposure().maxTime() <= 0) {
                onPrerequisiteShotComplete(false, kNoExposure.arg(shot->id()));
            } else if (const int code = XrfHardwareManager::instance()->startExposure(
                           prerequisiteExposure.settings, 0, 0, 0, 0, 0, 0)) {
                prerequisiteExposure.state = StepExposure::Stopped;
                onPrerequisiteShotComplete(
                    false, kShotFailed + QStringLiteral(", ") + kNotStarted.arg(code));
            }
        }
    }
    qDebug() << "Leaving:"
             << "doPrerequisiteShots";
}

void Worker::onPrerequisiteShotExposureStarted()
{
    prerequisiteExposure.onStarted();
    if (prerequisiteExposure.state != StepExposure::Started)
        return;
    setCurrentTaskProgress(0);
    const XrfExposureSettings &exposure = currentPrerequisiteShot.exposure();
    setCurrentTaskStatus(tr("Shooting %1 @ %2kV, %3uA\u2026")
                             .arg(currentPrerequisiteShot.targetSample())
                             .arg(double(exposure.tubeVoltageKv()))
                             .arg(double(exposure.tubeCurrentUa())));
}

void Worker::onPrerequisiteShotSpectrum(const XrfSpectrum &spectrum)
{
    prerequisiteExposure.onSpectrum(spectrum);
    const int maxTime = currentPrerequisiteShot.exposure().maxTime();
    if (maxTime > 0)
        setCurrentTaskProgress(spectrum.realTime() * 100.0 / maxTime);
}

void Worker::onPrerequisiteShotError(const XrfErrorInfo &error)
{
    prerequisiteExposure.onError(error);
}

void Worker::onPrerequisiteShotExposureStopped(
    XrfHardwareManager::XrfExposureEndCondition endCondition, bool)
{
    if (!prerequisiteExposure.onStopped())
        return;
    const XrfErrorInfo &error = prerequisiteExposure.lastError;
    if (endCondition == XrfHardwareManager::EndNormal && !error.hasError()) {
        onPrerequisiteShotComplete(true, QString());
        return;
    }
    QStringList texts{kShotFailed};
    if (endCondition != XrfHardwareManager::EndNormal)
        texts << QStringLiteral(", %1").arg(
            XrfHardwareManager::exposureEndConditionToString(endCondition));
    if (error.hasError())
        texts << QStringLiteral(", %1").arg(error.errorString());
    setCurrentTaskProgress(0);
    setCurrentTaskTimeRemainingInSeconds(0);
    onPrerequisiteShotComplete(false, texts.join(QLatin1Char(',')));
}

void Worker::onPrerequisiteShotComplete(bool passed, QString error)
{
    qDebug() << "Entering:"
             << "onPrerequisiteShotComplete";
    currentPrerequisiteShot.setHasFailed(!passed);
    currentPrerequisiteShot.setStatusMsg(error);
    currentPrerequisiteShot.setIsDone(true);
    currentPrerequisiteShot.setSpectrum(prerequisiteExposure.lastSpectrum);
    prerequisiteStepInfo.shotsList().updateShot(currentPrerequisiteShot);
    QString saveError;
    if (!savePrerequisiteStepToLastResult(&saveError))
        qWarning() << "Failed to save prerequisite shot result, error:" << saveError;
    qDebug() << "onPrerequisiteShotComplete, hasSucceeded:" << passed << ", error:" << error;
    if (!passed) {
        qWarning().noquote() << error;
        setCurrentTaskStatus(error);
        releaseExposureSignals();
        putDeviceFactoryStepStatus(XrfUtils::PrerequisiteShots, XrfFactoryStepInfo::Failed);
    }
    emit q->preRequisiteShotComplete(currentPrerequisiteShot);
    if (passed)
        doPrerequisiteShots(QString());
    qDebug() << "Leaving:"
             << "onPrerequisiteShotComplete";
}

void Worker::onPrerequisiteShotAllComplete()
{
    XrfPrerequisiteShotList &list = prerequisiteStepInfo.shotsList();
    if (!list.isAllShotsCompleteAndUpdateStatus())
        return;
    releaseExposureSignals();
    prerequisiteStepInfo.setEndTime(XrfUtils::currentUtcIsoTime());
    QString error;
    if (!savePrerequisiteStepToLastResult(&error))
        qWarning() << "Failed to save prerequisite shot result, error:" << error;
    XrfNetworkManager::instance()->sendToCloud(
        XrfNetworkManager::PutPrerequisiteShotResult,
        QJsonObject{{QStringLiteral("body"),
                     QJsonObject{{QStringLiteral("data"), prerequisiteStepInfo.toJsonObject()}}}});
    // A work order whose methods cannot be listed has nothing to calibrate: the step fails.
    QList<ModelMethod> methods;
    if (!getMethodsList(&methods, &error, true, false)) {
        finishSyntheticShotSelection(prerequisiteStepInfo.selectionCriteria(), false, error);
        return;
    }
    if (hasSyntheticPackage) {
        emit q->preRequisiteShotAllComplete(list);
        return;
    }
    noSynthetiePackageComplete();
    const bool passed = list.selectionCriteriaStatus();
    putDeviceFactoryStepStatus(XrfUtils::PrerequisiteShots,
                               passed ? XrfFactoryStepInfo::Passed : XrfFactoryStepInfo::Failed);
    // The application learns the step's end as it does after a selection.
    emit q->syntheticShotSelectionComplete(prerequisiteStepInfo.selectionCriteria());
}

void Worker::noSynthetiePackageComplete()
{
    prerequisiteStepInfo.shotsList().setSelectionCriteriaStatus(true);
    prerequisiteStepInfo.selectionCriteria().setStatus(true);
    QString error;
    if (!savePrerequisiteStepToLastResult(&error))
        qWarning() << "Failed to save prerequisite step to lastResult, error:" << error;
}
