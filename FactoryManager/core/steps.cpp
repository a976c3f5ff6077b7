// Factory steps: entering a step, the completed-steps count, invalidation, the reset to an
// earlier step, the jump back to calibration and the detector shutter.

#include "xrffactorymanager_p.h"

#include "devicefactorystatus.h"
#include "xrfengine.h"
#include "xrfsettingsmanager.h"

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {
const QString kFactorySettings = QStringLiteral("factory.settings");
const QString kStepsCompletedKey = QStringLiteral("factoryStepsCompleted");
const QString kJumpBackModeKey = QStringLiteral("jumpBackToCalibrationMode");
const QString kSelectedMethodKey = QStringLiteral("factorySelectedMethod");
const int kStepsInSequence = 12;

bool isResettableStep(int stepId)
{
    return stepId >= XrfUtils::SoftwareUpdate && stepId <= XrfUtils::FactorSet;
}

QString stepName(int stepId)
{
    return XrfFactoryManager::factoryStepNameFromId(XrfUtils::FactoryStepId(stepId));
}

// What a step needs prepared before the application starts it.
void prepareStep(Worker &worker, XrfUtils::FactoryStepId id)
{
    switch (id) {
    case XrfUtils::CameraSetup:
        worker.initCameraSetup();
        break;
    case XrfUtils::Stability:
        worker.initStability(Worker::StabilityPlain);
        break;
    case XrfUtils::CollimatedStability:
        worker.initStability(Worker::StabilityCollimated);
        break;
    case XrfUtils::BeamsSetup:
        worker.initBeamsSetup();
        break;
    case XrfUtils::AirShot:
        worker.setFactoryPageSafetySettings(false);
        break;
    case XrfUtils::PrerequisiteShots:
        worker.populatePrerequisiteShotList(true, false);
        break;
    default:
        break;
    }
}

// The factory pages shoot without the test stand rules of normal use, except at 50 kV.
void applyStepSafetySettings(Worker &worker, XrfUtils::FactoryStepId id)
{
    if (XrfSettingsManager::instance()->isTarvoLiteSdd())
        worker.setFactoryPageSafetySettings(false);
    else if (id != XrfUtils::AirShot)
        worker.setFactoryPageSafetySettings(true);
}
} // namespace

void XrfFactoryManager::initFactoryStep(QString stepId)
{
    d->doStepInit(stepId);
}

void XrfFactoryManager::resetDeviceFactoryStatus(QJsonObject newStatus)
{
    d->doFactoryStatusReset(newStatus);
}

void Worker::doStepInit(const QString &stepName)
{
    qDebug() << "Entering doStepInit()" << stepName;
    const XrfUtils::FactoryStepId id = XrfFactoryManager::factoryStepIdFromName(stepName);
    if (id == XrfUtils::None)
        qWarning() << "FactoryStep init failed to find step with the name: " << stepName;
    else if (id != currentStepId)
        enterStep(id, stepName);
    qDebug() << "Leaving doStepInit()";
}

void Worker::enterStep(XrfUtils::FactoryStepId id, const QString &name)
{
    qDebug() << "Initializing factory step:" << name;
    isMovingBackward = id < currentStepId;
    qDebug() << "isMovingBackward:" << isMovingBackward;
    if (id > XrfUtils::Provisioning || currentStepId > XrfUtils::Provisioning)
        loadWorkOrderInfoFromFile();
    loadFactorySetupLastResult(nullptr);
    currentStepId = id;
    emit q->currentFactoryStepChanged(0, kStepsInSequence, id);

    loadCurrentStepInfo(id, name);
    qDebug() << "Initialized Factory Step:" << currentStepInfo.toJsonObject();

    qint32 completed = 0;
    QString error;
    if (!getFactoryStepsCompleted(&completed, &error)) {
        qWarning() << "Failed to get factory steps completed, error:" << error;
        completed = 0;
    }
    if (completed >= kStepsInSequence)
        qInfo().noquote() << QStringLiteral("Factory step '%1' is invoked from user app, skipping "
                                            "reset policy check.")
                                 .arg(name);
    else
        checkResetPolicy();

    if (!setDetectorShutter(false, &error))
        qWarning() << "Failed to close detector shutter, Err:" << error;

    prepareStep(*this, id);
    applyStepSafetySettings(*this, id);
}

void Worker::loadCurrentStepInfo(XrfUtils::FactoryStepId id, const QString &name)
{
    currentStepInfo = XrfFactoryStepInfo();
    XrfUtils::FactoryStepId lookup = id;
    QString error;
    XrfFactoryStepInfo stored;
    if (isFactoryStepInLastResult(lookup) && loadFactoryStepFromLastResult(id, &stored, &error)) {
        currentStepInfo = stored;
        return;
    }
    loadFactorySetupParamsFromFile();
    currentStepInfo.setStepId(id);
    currentStepInfo.setStepIdStr(name);
}

void Worker::checkResetPolicy()
{
    if (cloudConnected) {
        if (hardwareConfig.insSerialNumber() != QLatin1String("0"))
            requestDeviceFactoryStatus();
        return;
    }
    if (isMovingBackward)
        return;
    DeviceFactoryStatusResponse stored;
    if (!loadDeviceFactoryStatusFromLastResult(&stored))
        return;
    const int status = stored.stepStatus(currentStepId);
    qDebug() << "cstep:" << currentStepId << "cstatus:" << status;
    if (status == XrfFactoryStepInfo::Passed) {
        const QString name = stepName(currentStepId);
        qDebug() << "Marking factory step " << name << "as done.";
        emit q->markFactoryStepComplete(name);
    }
}

bool Worker::getFactoryStepsCompleted(qint32 *stepsCompleted, QString *errorMsg)
{
    if (!stepsCompleted || !errorMsg)
        return false;
    errorMsg->clear();
    QJsonObject settings;
    const int code =
        XrfSettingsManager::instance()->getUniversalSetting(kFactorySettings, &settings);
    if (code != 0) {
        *errorMsg = QStringLiteral("Failed to read 'factory.settings' from universalSettings.json, "
                                   "err code:%1")
                        .arg(code);
        return false;
    }
    if (!settings.contains(kStepsCompletedKey)) {
        *errorMsg = QStringLiteral("Failed to find 'factoryStepsCompleted' key in "
                                   "'factory.settings' object in universalSettings.json");
        return false;
    }
    const QJsonValue stored = settings.value(kStepsCompletedKey);
    if (!stored.isDouble()) {
        *errorMsg = QStringLiteral("'factoryStepsCompleted' in 'factory.settings' of %1 is %2, "
                                   "not a number")
                        .arg(XrfSettingsManager::instance()->universalSettingsFilePath(),
                             QString::fromUtf8(
                                 QJsonDocument(QJsonArray{stored}).toJson(QJsonDocument::Compact))
                                 .mid(1)
                                 .chopped(1));
        qWarning().noquote() << *errorMsg;
        return false;
    }
    *stepsCompleted = stored.toInt(0);
    return true;
}

bool Worker::setFactoryStepsCompleted(qint32 stepsCompleted, QString *errorMsg)
{
    if (!errorMsg)
        return false;
    errorMsg->clear();
    if (stepsCompleted < 0) {
        *errorMsg = QStringLiteral("%1 is not valid value").arg(stepsCompleted);
        return false;
    }
    qint32 current = 0;
    QString readError;
    if (!getFactoryStepsCompleted(&current, &readError)) {
        *errorMsg = QStringLiteral("Failed to get factoryStepsCompleted from universalSettings, "
                                   "error:%1")
                        .arg(readError);
        return false;
    }
    if (current == stepsCompleted)
        return true;
    XrfSettingsManager *settingsManager = XrfSettingsManager::instance();
    QJsonObject settings;
    settingsManager->getUniversalSetting(kFactorySettings, &settings);
    settings.insert(kStepsCompletedKey, stepsCompleted);
    const int code = settingsManager->setUniversalSetting(kFactorySettings, &settings);
    if (code != 0) {
        *errorMsg = QStringLiteral("Failed to set factoryStepsCompleted in universalSettings.json, "
                                   "err code:%1")
                        .arg(code);
        return false;
    }
    qDebug() << "++++ ---- ++++ ---- Factory steps completed changed to:" << stepsCompleted;
    emit q->factoryStepsCompletedChanged(uint(stepsCompleted));
    return true;
}

bool Worker::invalidateFactoryStep(XrfUtils::FactoryStepId stepId, QString *errorMsg,
                                   const bool &postStatus)
{
    if (!errorMsg)
        return false;
    errorMsg->clear();
    loadFactorySetupLastResult(nullptr);
    if (!isResettableStep(stepId)) {
        *errorMsg = QStringLiteral("%1 is not a valid factory step.").arg(int(stepId));
        return false;
    }
    const QString name = stepName(stepId);
    if (lastResult.contains(name)) {
        qDebug() << "Deleting results for factory step:" << name;
        lastResult.remove(name);
        if (!saveFactorySetupLastResult()) {
            *errorMsg = QStringLiteral("Failed to save result to lastResult.json.");
            return false;
        }
    }
    if (postStatus)
        putDeviceFactoryStepStatus(stepId, XrfFactoryStepInfo::NotStarted);
    return true;
}

void Worker::doFactoryStatusReset(const QJsonObject &newStatus)
{
    DeviceFactoryStatusResponse response;
    QString parseError;
    if (!response.fromJsonObject(newStatus, &parseError))
        qWarning() << "doFactoryStatusReset, malformed status:" << parseError;
    qDebug() << "doFactoryStatusReset, newStatus:" << newStatus;
    QString error;
    const auto stepId = XrfUtils::FactoryStepId(response.stepId());
    if (!resetToFactoryStep(stepId, response.stepStatuses(), &error)) {
        qWarning() << "Failed to reset to factory step:" << stepName(stepId) << "error:" << error;
        return;
    }
    emit q->resetToFactoryStepComplete(uint(response.stepId()));
}

bool Worker::resetToFactoryStep(XrfUtils::FactoryStepId stepId, QList<StepStatus> stepStatuses,
                                QString *errorMsg)
{
    if (!errorMsg)
        return false;
    errorMsg->clear();
    qDebug() << "Reset to factory step:" << stepName(stepId);
    if (!isResettableStep(stepId)) {
        *errorMsg = QStringLiteral("Invalid factory step: %1").arg(int(stepId));
        return false;
    }
    loadFactorySetupLastResult(nullptr);
    invalidateStepsMarkedByCloud(stepId, stepStatuses);
    if (stepId == XrfUtils::PrerequisiteShots) {
        qDebug() << "ModelMethod Changed (resetToFactoryStep) ";
        doMethodModalChange();
        populatePrerequisiteShotList(false, false);
    }
    qDebug() << "Performing step specific reset actions";
    if (stepId == XrfUtils::Provisioning && !resetProvisioningForStepReset(errorMsg))
        return false;
    return setFactoryStepsCompleted(stepId - 1, errorMsg);
}

bool Worker::resetProvisioningForStepReset(QString *errorMsg)
{
    // An instrument whose tube and detector still match the work order has nothing to reset;
    // only a reset that was needed and failed stops the step reset.
    QString resetError;
    if (resetToProvisioning(&resetError) || resetError.isEmpty())
        return true;
    *errorMsg =
        QStringLiteral("Failed to perform step specific reset actions, Error=%1").arg(resetError);
    return false;
}

void Worker::invalidateStepsMarkedByCloud(XrfUtils::FactoryStepId stepId,
                                          const QList<StepStatus> &stepStatuses)
{
    for (const StepStatus &status : stepStatuses) {
        if (status.statusId() != XrfFactoryStepInfo::InvalidatedByCloud)
            continue;
        qDebug() << "resetToFactoryStep xxx " << int(stepId) << status.stepId();
        // The prerequisite shots rebuild their own list on a reset to themselves.
        if (stepId == XrfUtils::PrerequisiteShots && status.stepId() == XrfUtils::PrerequisiteShots)
            continue;
        qDebug() << "resetToFactoryStep  invalidateFactoryStep";
        QString error;
        if (!invalidateFactoryStep(XrfUtils::FactoryStepId(status.stepId()), &error, true))
            qWarning().noquote() << QStringLiteral(
                                        "Failed to invalidate factory step: '%1', err:%2")
                                        .arg(stepName(status.stepId()), error);
    }
}

void Worker::doJumpBackToCalibrationCheck()
{
    qDebug() << "doJumpBackToCalibrationCheck()......";
    XrfSettingsManager *settingsManager = XrfSettingsManager::instance();
    QJsonObject settings;
    settingsManager->getUniversalSetting(kFactorySettings, &settings);
    if (factorySelectedMethod.isEmpty())
        factorySelectedMethod = settings.value(kSelectedMethodKey).toString();
    const QString mode = settings.value(kJumpBackModeKey).toString();
    if (mode.isEmpty())
        return;
    qInfo() << "Jump back to calibration flow detected......"
            << ", selected mode:" << mode << ", selected method:" << factorySelectedMethod;
    loadFactorySetupLastResult(nullptr);
    const bool factorSetLoaded = loadFactorSetStatusFromLastResult();

    QString error;
    if (!invalidateFactoryStep(XrfUtils::CalibrationShot, &error, false))
        qWarning() << "Failed to delete calibrationshots from lastResult during jump back to "
                      "calibration, err:"
                   << error;
    else
        qDebug().noquote() << QStringLiteral("'%1' result deleted from lastResult.json")
                                  .arg(stepName(XrfUtils::CalibrationShot));
    // The results follow the installed method files first, so that the reset below is not undone
    // by a method file that still says it is factor-set.
    factorSetResults.updateStatusBasedOnMethodFileStatus(profilePath);
    if (factorSetLoaded)
        resetFactorSetResultsForJumpBack(mode);
    factorSetResults.updateStatusFromMethods();
    saveFactorSetStatusToLastResult();
    settings.remove(kJumpBackModeKey);
    settingsManager->setUniversalSetting(kFactorySettings, &settings);
}

void Worker::resetFactorSetResultsForJumpBack(const QString &mode)
{
    if (mode == QLatin1String("ALL_RESET")) {
        qDebug() << "Factory Selected method is set to all methods, deleting existing factorSet "
                    "results...";
        QString error;
        if (!invalidateFactoryStep(XrfUtils::FactorSet, &error, false)) {
            qWarning() << "Failed to delete factorSet results from lastResult during jump back to "
                          "calibration, err:"
                       << error;
            return;
        }
        // Empty results are not written back, so the step does not reappear in lastResult.json.
        factorSetResults = XrfFactorSetQCSummaryResults();
        qcSummaryResults = XrfFactorSetQCSummaryResults();
        qDebug().noquote() << QStringLiteral("%1 result deleted from lastResult.json")
                                  .arg(stepName(XrfUtils::FactorSet));
    } else if (mode == QLatin1String("CURRENT_RESET")) {
        qDebug() << "Factory selected method is set to one method:" << factorySelectedMethod;
        qDebug() << "Deleting factor set result for method:" << factorySelectedMethod;
        factorSetResults.followMethodList({factorySelectedMethod});
        invalidateFactorSetQCSummaryResultForMethod(factorySelectedMethod, false);
        invalidateFactorSetQCSummaryResultForMethod(factorySelectedMethod, true);
    } else if (mode == QLatin1String("CURRENT")) {
        qDebug() << "Deleting factor set result for method:" << factorySelectedMethod;
        factorSetResults.followMethodList({factorySelectedMethod});
    } else {
        qDebug() << "Sync factor set result with current work order/clone method";
        QList<ModelMethod> methods;
        QString error;
        if (!getMethodsList(&methods, &error, false, true))
            qWarning() << "Failed to build the method list from the work order:" << error;
        QStringList ids;
        for (const ModelMethod &method : qAsConst(methods))
            ids << method.id();
        factorSetResults.followMethodList(ids);
    }
}

bool Worker::setDetectorShutter(bool open, QString *errorMsg)
{
    if (!errorMsg)
        return false;
    const int result = xrf_hal::XrfEngine::instance()->setShutterStatus(
        open ? xrf_hal::ShutterOpen : xrf_hal::ShutterClosed);
    if (result == 0)
        return true;
    *errorMsg = QStringLiteral("Command to %1 detector shutter failed, hwErr:%2")
                    .arg(open ? QStringLiteral("open") : QStringLiteral("close"))
                    .arg(result);
    return false;
}
