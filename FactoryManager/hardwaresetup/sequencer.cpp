// Hardware setup (factory step 3): the sub-step list, its dispatch and completion, the results
// file and its upload.
#include "xrffactorymanager_p.h"

#include "substepchecks.h"
#include "xrflogging.h"
#include "xrfsettingsmanager.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QUuid>

#include <functional>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

const QString kStepsKey = QStringLiteral("hardwareSetupSteps");
const QString kAccelerometerSetup = QStringLiteral("accelerometerSetup");
const QString kPinDetector = QStringLiteral("XDET-20430");

using Handler = std::function<void(Worker &)>;

// The handlers in the order in which the dispatcher tests the ids.
const QVector<QPair<QString, Handler>> &hardwareSetupHandlers()
{
    static const QVector<QPair<QString, Handler>> handlers = {
        {QStringLiteral("doOverrides"), &Worker::doOverrides},
        {QStringLiteral("instrumentButtonsTest"), &Worker::doHardwareButtonsTest},
        {QStringLiteral("customerIOTest"), &Worker::doHardwareCustomerIOTest},
        {kAccelerometerSetup, &Worker::doAccelerometerCalibration},
        {QStringLiteral("barometerSetup"), &Worker::doBarometerCheck},
        {QStringLiteral("proximitySensorSetup"), &Worker::doProximitySensorSetup},
        {QStringLiteral("detectorSetup"), &Worker::doDetectorSetup},
        {QStringLiteral("detectorMicroReset"), &Worker::doDetectorDacCalibration},
        {QStringLiteral("pinDetectorCalibration"), &Worker::doPinDetectorCalibration},
        {QStringLiteral("temperatureChecks"), &Worker::doSystemTemperatureChecks},
        {QStringLiteral("temperatureChecksLT"), &Worker::doSystemTemperatureChecksLT},
        {QStringLiteral("temperatureChecksMP"), &Worker::doSystemTemperatureChecksMP},
        {QStringLiteral("filterScan"), &Worker::doFilterWheelSetup},
        {QStringLiteral("fpgaGainSetup"), &Worker::doFpgaSetup},
        {QStringLiteral("collimatorRatioSetup"), &Worker::doCollimatorRatioSetup},
        // The exercise records its results when the sequencer runs it.
        {QStringLiteral("filterMoveExercise"),
         [](Worker &w) {
             w.doFilterMoveExercise(true);
         }},
    };
    return handlers;
}

bool hasHardwareSetupHandler(const QString &stepId)
{
    for (const auto &handler : hardwareSetupHandlers()) {
        if (handler.first == stepId)
            return true;
    }
    return false;
}

QString subStepStatus(const XrfHardwareSetupStepInfo &step)
{
    if (!step.isDone())
        return QString();
    return step.hasFailed() ? QStringLiteral("fail") : QStringLiteral("pass");
}

// The collimator pairs travel to the cloud as an array, each pair carrying its id.
QJsonObject withPairArray(QJsonObject results)
{
    const QJsonValue pairs = results.value(QStringLiteral("filterPairs"));
    if (!pairs.isObject())
        return results;
    QJsonArray array;
    const QJsonObject byId = pairs.toObject();
    for (auto it = byId.begin(); it != byId.end(); ++it) {
        QJsonObject pair = it.value().toObject();
        pair.insert(QStringLiteral("pairId"), it.key());
        array.append(pair);
    }
    results.insert(QStringLiteral("filterPairs"), array);
    return results;
}

} // namespace

void XrfFactoryManager::getHardwareSetupStepsList()
{
    d->getHardwareSetupStepsList();
}

void XrfFactoryManager::startHardwareSetup(QString stepId)
{
    d->startHardwareSetup(stepId);
}

void XrfFactoryManager::abortHardwareSetup()
{
    d->abortHardwareSetup();
}

void XrfFactoryManager::markHardwareSetupStepComplete(const QString &stepId)
{
    d->markHardwareSetupStepComplete(stepId);
}

void XrfFactoryManager::invalidateHardwareSetupResults(QString stepId)
{
    d->invalidateHardwareSetupResults(stepId);
}

void Worker::getHardwareSetupStepsList()
{
    if (populateHardwareSetupSteps())
        emit q->hardwareSetupStepsListChanged(hardwareSetupSteps.toJsonObject());
}

void Worker::startHardwareSetup(const QString &stepId)
{
    qDebug() << "Starting HW setup";
    userAbort = false;
    if (currentStepId != XrfUtils::HardwareSetup) {
        // The run writes factory step 3's record; started from another step it would
        // overwrite that step's record instead.
        qWarning() << "Hardware setup started while the current factory step is" << currentStepId
                   << "- enter the hardwareSetup step first";
        setCurrentTaskStatus(tr("Hardware setup FAILED"));
        return;
    }
    factorySetupInfo = QJsonObject();
    workOrder = QJsonObject();
    defaultHwParams = QJsonObject();
    if (!loadWorkOrderInfoFromFile())
        qWarning() << "Failed to load workorder";
    if (!loadFactorySetupParamsFromFile())
        qWarning() << "Failed to load factory_setup_data.json";

    currentStepInfo.setResultFile(
        hardwareSetupResultDirPath
        + QStringLiteral("hardwareSetup_%1_%2.json")
              .arg(hardwareConfig.insSerialNumber(),
                   QDateTime::currentDateTime().toString(QStringLiteral("MM-dd-yyyy_hh:mm"))));
    currentStepInfo.setStartTime(XrfUtils::currentUtcIsoTime());
    currentStepInfo.setEndTime(QString());
    currentStepInfo.setStatus(XrfFactoryStepInfo::InProgress);
    if (currentStepInfo.sessionId().isEmpty())
        currentStepInfo.setSessionId(QUuid::createUuid().toString());

    emit q->hardwareSetupCurrentStepChanged(hardwareSetupCurrentStepId);
    doHardwareSetup(stepId);
}

bool Worker::populateHardwareSetupSteps()
{
    hardwareSetupSteps.clearItems();
    XrfHardwareSetupStepsList stored;
    XrfFactoryStepInfo storedStep;
    QString loadError;
    if (loadFactoryStepFromLastResult(XrfUtils::HardwareSetup, &storedStep, &loadError)
        && storedStep.resultToJsonObj().contains(kStepsKey)) {
        qDebug() << "Reading hardware setup steps list from last result";
        QString error;
        if (!stored.fromJsonObject(storedStep.resultToJsonObj(), &error))
            qWarning() << "Ignoring the stored hardware setup steps:" << error;
    }

    if (factorySetupInfo.isEmpty())
        loadFactorySetupParamsFromFile();
    const QJsonObject setupData =
        factorySetupInfo.value(QStringLiteral("hardwareSetup")).toObject();
    qDebug() << "Reading hardware setup steps list from FactorySetupData";
    XrfHardwareSetupStepsList fromSetupData;
    QString error;
    if (setupData.isEmpty() || !fromSetupData.fromJsonObject(setupData, &error)) {
        qWarning() << "Failed to read factory setup parameters from factory_setup_data.json"
                   << error;
        return false;
    }

    for (const XrfHardwareSetupStepInfo &step : fromSetupData.list()) {
        const XrfHardwareSetupStepInfo *storedSubStep = stored.getHardwareSetupStep(step.stepId());
        if (!storedSubStep) {
            hardwareSetupSteps.append(step);
            continue;
        }
        XrfHardwareSetupStepInfo merged = *storedSubStep;
        merged.setSetupParams(step.setupParams());
        const QString lost = SubStepChecks::lostSetting(merged);
        if (!lost.isEmpty()) {
            qWarning().noquote() << lost;
            XrfAlarm(lost).raise();
            merged.setIsDone(false);
            merged.setStatusMsg(lost);
        }
        hardwareSetupSteps.append(merged);
    }
    hardwareSetupSteps.regenerateMap();
    removeHardwareSetupStepsByInstrument();

    if (!hardwareSetupSteps.isEmpty()) {
        hardwareSetupCurrentStepId = getNextHardwareSetupStep();
        emit q->hardwareSetupCurrentStepChanged(hardwareSetupCurrentStepId);
    }
    return true;
}

void Worker::removeHardwareSetupStepsByInstrument()
{
    XrfSettingsManager *settings = XrfSettingsManager::instance();
    QStringList removed;
    if (isFixedFilterInstrument())
        removed << QStringLiteral("filterScan") << QStringLiteral("collimatorRatioSetup")
                << QStringLiteral("filterMoveExercise");
    if (settings->isTarvoLitePin())
        removed << QStringLiteral("barometerSetup") << QStringLiteral("filterScan")
                << QStringLiteral("filterMoveExercise");
    if (hardwareConfig.detectorModel() == kPinDetector)
        removed << QStringLiteral("detectorMicroReset");
    else
        removed << QStringLiteral("pinDetectorCalibration");
    if (settings->isHarrier()) {
        if (currentWorkOrder()
                .value(QStringLiteral("deviceType"))
                .toString()
                .contains(QStringLiteral("XXX")))
            removed << QStringLiteral("temperatureChecks")
                    << QStringLiteral("proximitySensorSetup");
        else
            removed << QStringLiteral("temperatureChecksLT");
    }
    if (settings->isTarvoHD())
        removed << QStringLiteral("instrumentButtonsTest");
    for (const QString &stepId : qAsConst(removed))
        hardwareSetupSteps.removeByStepId(stepId);
}

void Worker::doHardwareSetup(const QString &stepId)
{
    qDebug() << "Entering doHardwareSetup";
    hardwareSetupCurrentStepId = stepId;
    const XrfHardwareSetupStepInfo *step = hardwareSetupSteps.getHardwareSetupStep(stepId);
    if (!step || (step->isDone() && !step->hasFailed())) {
        hardwareSetupCurrentStepId = getNextHardwareSetupStep();
        if (hardwareSetupCurrentStepId.isEmpty())
            onHardwareSetupComplete(true, tr("Hardware setup complete"));
        else
            doHardwareSetup(hardwareSetupCurrentStepId);
    } else {
        qInfo().noquote()
            << QStringLiteral("Doing hardware setup step: '%1'").arg(step->displayName());
        const QString refusal =
            SubStepChecks::refusal(*step, hasHardwareSetupHandler(stepId),
                                   factorySetupDataFilePaths.value(modelFilesIndex()));
        const bool handled = refusal.isEmpty() && runHardwareSetupHandler(stepId);
        if (!handled)
            beginHardwareSetupStep(stepId);
        emit q->hardwareSetupCurrentStepChanged(hardwareSetupCurrentStepId);
        if (!refusal.isEmpty()) {
            qWarning().noquote() << refusal;
            onHardwareSetupStepComplete(false, refusal);
        }
    }
    qDebug() << "Leaving doHardwareSetup";
}

bool Worker::runHardwareSetupHandler(const QString &stepId)
{
    for (const auto &handler : hardwareSetupHandlers()) {
        if (handler.first == stepId) {
            handler.second(*this);
            return true;
        }
    }
    return false;
}

bool Worker::beginHardwareSetupStep(const QString &stepId)
{
    const XrfHardwareSetupStepInfo *step = hardwareSetupSteps.getHardwareSetupStep(stepId);
    hardwareSetupCurrentStep = step ? *step : XrfHardwareSetupStepInfo();
    hardwareSetupCurrentStep.setStepId(stepId);
    hardwareSetupCurrentStep.setStartTime(XrfUtils::currentUtcIsoTime());
    hardwareSetupCurrentStep.setSessionId(currentStepInfo.sessionId());
    hardwareSetupCurrentStepId = stepId;
    return step != nullptr;
}

QString Worker::getNextHardwareSetupStep()
{
    for (const XrfHardwareSetupStepInfo &step : hardwareSetupSteps.list()) {
        if (!step.isDone() || step.hasFailed()) {
            emit q->hardwareSetupCurrentStepChanged(step.stepId());
            return step.stepId();
        }
    }
    return QString();
}

void Worker::onHardwareSetupStepComplete(bool passed, QString statusMessage)
{
    qDebug() << "Entering onHardwareSetupStepComplete";
    qDebug() << "Hardware setup step complete:" << hardwareSetupCurrentStepId;
    XrfHardwareSetupStepInfo &step = hardwareSetupCurrentStep;
    step.setEndTime(XrfUtils::currentUtcIsoTime());
    step.setHasFailed(!passed);
    step.setIsDone(true);
    step.setStatusMsg(statusMessage);
    hardwareSetupSteps.setHardwareSetupStep(step);

    QString error;
    if (!saveHwSetupStepResultToLastResult(&error)) {
        step.setStatusMsg(QStringLiteral("Failed to save %1 step result to lastResult.json, err:%2")
                              .arg(currentStepInfo.stepIdStr(), error));
        step.setHasFailed(true);
        step.setIsDone(true);
        hardwareSetupSteps.setHardwareSetupStep(step);
        qWarning().noquote() << step.statusMsg();
    }

    const QString stepId = step.stepId();
    if (stepId == QStringLiteral("detectorMicroReset")
        || stepId == QStringLiteral("pinDetectorCalibration")
        || stepId == QStringLiteral("fpgaGainSetup"))
        writeFirmwareLog(XrfUtils::FirmwareLogFilesPath(),
                         QStringLiteral("hardwareSetup_%1.txt").arg(step.displayName()));

    qDebug() << "Emitting Hardawre setup step complete";
    emit q->hardwareSetupStepComplete(step);

    if (!step.isDone() || step.hasFailed()) {
        onHardwareSetupComplete(false, tr("Hardware setup failed"));
    } else if (stepId == kAccelerometerSetup) {
        qDebug() << "Accelerometer setup done, pausing hardware setup";
        return;
    } else {
        hardwareSetupCurrentStepId = getNextHardwareSetupStep();
        if (hardwareSetupCurrentStepId.isEmpty()) {
            qDebug() << "All hardware setup steps complete";
            onHardwareSetupComplete(true, tr("Hardware setup complete"));
        } else if (hardwareSetupCurrentStepId == kAccelerometerSetup) {
            qDebug() << "Next step is acclerometerSetup, Pausing hardare setup so that user can "
                        "align intrument";
            return;
        } else {
            doHardwareSetup(hardwareSetupCurrentStepId);
        }
    }
    qDebug() << "Leaving onHardwareSetupStepComplete";
}

bool Worker::saveHwSetupStepResultToLastResult(QString *error)
{
    currentStepInfo.setResultFromJsonObj(hardwareSetupSteps.toJsonObject());
    return saveFactoryStepToLastResult(currentStepInfo, error);
}

bool Worker::writeFirmwareLog(QString folder, const QString &fileName)
{
    if (folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    const QString path = folder + QLatin1Char('/') + fileName;
    QString log;
    if (!XrfHardwareManager::instance()->getFirmwareLog(&log)) {
        qWarning() << "failed to read the controller's firmware log for" << fileName;
        return false;
    }
    QDir().mkpath(folder);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)
        || file.write(log.toLatin1()) < 0) {
        qWarning() << "failed to write firmware log to file" << path;
        return false;
    }
    return true;
}

void Worker::onHardwareSetupComplete(bool passed, const QString &message)
{
    qDebug() << "Entering onHardwareSetupComplete";
    currentStepInfo.setEndTime(XrfUtils::currentUtcIsoTime());
    currentStepInfo.setStatus(passed ? XrfFactoryStepInfo::Passed : XrfFactoryStepInfo::Failed);
    currentStepInfo.setResultFromJsonObj(hardwareSetupSteps.toJsonObject());
    QString error;
    if (!saveFactoryStepToLastResult(currentStepInfo, &error)) {
        qWarning().noquote() << QStringLiteral(
                                    "Failed to save '%1' result to lastResult.json, err:%2")
                                    .arg(currentStepInfo.stepIdStr(), error);
        currentStepInfo.setStatus(XrfFactoryStepInfo::Failed);
        setCurrentTaskProgress(0);
        setCurrentTaskStatus(QStringLiteral("Hardware setup FAILED"));
    } else {
        setCurrentTaskProgress(passed ? 100 : 0);
        setCurrentTaskStatus(message);
    }

    QJsonObject results;
    assembleHardwareSetupResultsJson(&results);
    listenForCloudResponse(&Worker::onHardwareSetupResultUploadComplete);
    sendHardwareSetupResults(results);
    emit q->hardwareSetupComplete(results);
    putDeviceFactoryStepStatus(XrfUtils::HardwareSetup,
                               XrfFactoryStepInfo::StepStatus(currentStepInfo.status()));

    QList<XrfHardwareSetupStepInfo> steps = hardwareSetupSteps.list();
    for (XrfHardwareSetupStepInfo &step : steps) {
        step.setSessionId(QString());
        hardwareSetupSteps.setHardwareSetupStep(step);
    }
    if (currentStepInfo.status() == XrfFactoryStepInfo::Passed)
        currentStepInfo.setSessionId(QString());

    storeHardwareSetupSettings();
    qDebug() << "Leaving onHardwareSetupComplete";
}

// The detected hardware joins the stored configuration (which also holds what provisioning
// derived from the work order), and the first calibration check must run again.
void Worker::storeHardwareSetupSettings()
{
    XrfSettingsManager *settings = XrfSettingsManager::instance();
    QJsonObject config;
    settings->getUniversalSetting(QStringLiteral("hardware.config"), &config);
    if (const auto detected = XrfHardwareManager::instance()->hardwareConfig()) {
        const QJsonObject json = detected->toJsonObject();
        for (auto it = json.begin(); it != json.end(); ++it)
            config.insert(it.key(), it.value());
    }
    settings->setUniversalSetting(QStringLiteral("hardware.config"), &config);

    QJsonObject calCheck;
    settings->getUniversalSetting(QStringLiteral("hardware.calCheck"), &calCheck);
    calCheck.insert(QStringLiteral("firstCalCheckComplete"), false);
    settings->setUniversalSetting(QStringLiteral("hardware.calCheck"), &calCheck);
}

void Worker::sendHardwareSetupResults(const QJsonObject &results)
{
    XrfNetworkManager::instance()->sendToCloud(XrfNetworkManager::PutHardwareTestResult,
                                               QJsonObject{{QStringLiteral("body"), results}});
}

void Worker::assembleHardwareSetupResultsJson(QJsonObject *out)
{
    if (!out)
        return;
    QJsonObject results{
        {QStringLiteral("startTime"), currentStepInfo.startTime()},
        {QStringLiteral("endTime"), currentStepInfo.endTime()},
        {QStringLiteral("serial"), hardwareConfig.insSerialNumber()},
        {QStringLiteral("status"), currentStepInfo.statusStr()},
        {QStringLiteral("sessionId"), currentStepInfo.sessionId()},
    };
    XrfHardwareSetupStepsList stored;
    stored.fromJsonObject(currentStepInfo.resultToJsonObj());
    for (const XrfHardwareSetupStepInfo &step : stored.list()) {
        if (step.sessionId() != currentStepInfo.sessionId())
            continue;
        QJsonObject subStep{
            {QStringLiteral("startTime"), step.startTime()},
            {QStringLiteral("endTime"), step.endTime()},
            {QStringLiteral("status"), subStepStatus(step)},
            {QStringLiteral("statusMsg"), step.statusMsg()},
        };
        const QJsonObject stepResults = withPairArray(step.results());
        for (auto it = stepResults.begin(); it != stepResults.end(); ++it)
            subStep.insert(it.key(), it.value());
        results.insert(step.stepId(), subStep);
    }
    *out = results;
    QString error;
    if (!saveJsonDataToFile(currentStepInfo.resultFile(), results, &error))
        qWarning() << "failed to save hardware setup result JSON, error:" << error;
}

void Worker::onHardwareSetupResultUploadComplete(const XrfCloudResponse &response)
{
    qDebug() << "cloudResponse, requestId:" << response.requestId();
    if (!acceptCloudResponse(response, XrfNetworkManager::PutHardwareTestResult,
                             &Worker::onHardwareSetupResultUploadComplete))
        return;
    qDebug() << "processing putHardwareTestResult response";
    if (!response.hasFailed()) {
        XrfFactoryStepInfo stored;
        QString loadError;
        if (loadFactoryStepFromLastResult(XrfUtils::HardwareSetup, &stored, &loadError))
            QFile::remove(stored.resultFile());
        else
            qWarning() << "Failed to delete hardware setup results file." << loadError;
    }
    // The application learns that the upload is over, and may move on or shut down.
    emit q->factoryStepResultUploadComplete(!response.hasFailed(), response.error());
}

void Worker::markHardwareSetupStepComplete(const QString &stepId)
{
    qDebug() << "Marking hardware setup step complete" << stepId;
    if (!stepId.isEmpty() && stepId == hardwareSetupCurrentStepId)
        onHardwareSetupStepComplete(true, QString());
}

void Worker::invalidateHardwareSetupResults(const QString &stepId)
{
    qDebug() << "Invalidating Hw setup Step" << stepId;
    const int index = hardwareSetupSteps.getStepIdIndex(stepId);
    qDebug() << "step found, stepIndex = " << index;
    if (index < 0)
        return;
    const QList<XrfHardwareSetupStepInfo> steps = hardwareSetupSteps.list();
    for (int i = index; i < steps.size(); ++i) {
        XrfHardwareSetupStepInfo step = steps.at(i);
        step.setIsDone(false);
        step.setHasFailed(true);
        step.setResults(QJsonObject());
        hardwareSetupSteps.setHardwareSetupStep(step);
    }
    QString error;
    if (!saveHwSetupStepResultToLastResult(&error))
        qWarning() << "Hw setup step invalidated but failed update lastResult.json, err:" << error;
    hardwareSetupCurrentStepId = steps.at(index).stepId();
    emit q->hardwareSetupStepsListChanged(hardwareSetupSteps.toJsonObject());
    emit q->hardwareSetupCurrentStepChanged(hardwareSetupCurrentStepId);
}

// May be called from any thread: the flag and the stop act at once, the task texts are set on
// the factory thread.
void Worker::abortHardwareSetup()
{
    qDebug() << "FactoryManager:: HW setup aborted.";
    userAbort = true;
    XrfHardwareManager::instance()->stopExposure(true);
    QMetaObject::invokeMethod(this, [this] {
        setCurrentTaskStatus(tr("HW setup aborted"));
        setCurrentTaskProgress(0);
    });
}

void Worker::finishAsyncHardwareSetupStep(const QString &logText, double progress)
{
    if (userAbort)
        return;
    qDebug().noquote() << logText;
    setCurrentTaskProgress(progress);
    onHardwareSetupStepComplete(true, QString());
}

void Worker::onAccelerometerSetupFinished()
{
    if (!userAbort)
        setCurrentTaskStatus(currentTaskStatus + tr("\nDone"));
    finishAsyncHardwareSetupStep(QStringLiteral("Finished calibrating accelerometer"),
                                 16.666666666666668);
}

void Worker::onBarometerSetupFinished()
{
    finishAsyncHardwareSetupStep(QStringLiteral("Finished checking barometer"), 33.333333333333336);
}

void Worker::onFilterWheelSetupFinished()
{
    finishAsyncHardwareSetupStep(QStringLiteral("Finished configuring filter wheel"), 50);
}

void Worker::onDetectorSetupFinished()
{
    finishAsyncHardwareSetupStep(QStringLiteral("Finished configuring detector"),
                                 66.66666666666667);
}

void Worker::onCameraSetupFinished()
{
    finishAsyncHardwareSetupStep(QStringLiteral("Hardware setup complete"), currentTaskProgress);
}
