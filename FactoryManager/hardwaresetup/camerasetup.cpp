// Camera collimation, factory step 4: one exposure while the camera's view of the spot is
// examined, recorded and reported like the hardware setup.
#include "xrffactorymanager_p.h"

#include "xrfengine.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QUuid>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {
const QString kPassedText = QStringLiteral("Camera collimation passed.");
// The open position, for an exposure that names no filter of its own.
constexpr quint16 kOpenFilterPosition = 0;
} // namespace

void XrfFactoryManager::startCameraCollimationSetup()
{
    d->startCameraCollimationSetup();
}

void Worker::initCameraSetup()
{
    QString error;
    if (setDetectorShutter(true, &error))
        qDebug() << "Shutter opened.";
    else
        qWarning().noquote() << "Failed to open detector shutter, Err:" << error;
}

void Worker::startCameraCollimationSetup()
{
    qDebug() << "Starting camera collimation setup";
    cameraSetupIsFactoryStep = currentStepId == XrfUtils::CameraSetup;
    cameraSetupResultFile = factoryDataPath
        + QStringLiteral("/cameraSetup/cameraSetup_%1_%2.json")
              .arg(hardwareConfig.insSerialNumber(),
                   QDateTime::currentDateTime().toString(QStringLiteral("MM-dd-yyyy_hh-mm")));
    if (cameraSetupIsFactoryStep) {
        currentStepInfo.setResultFile(cameraSetupResultFile);
        currentStepInfo.setEndTime(QString());
        currentStepInfo.setStatus(XrfFactoryStepInfo::InProgress);
        if (currentStepInfo.sessionId().isEmpty())
            currentStepInfo.setSessionId(QUuid::createUuid().toString());
    }
    setCurrentTaskStatus(tr("Starting camera collimation setup..."));
    setCurrentTaskProgress(-1);
    doCameraCollimationSetup();
}

void Worker::doCameraCollimationSetup()
{
    cameraExposure.reset();
    cameraSetupStartTime = XrfUtils::currentUtcIsoTime();
    if (!loadFactorySetupParamsFromFile())
        qWarning() << "Failed to load factory_setup_data.json";
    if (!loadWorkOrderInfoFromFile())
        qWarning() << "Failed to load workorder";
    QString name = XrfFactoryManager::factoryStepNameFromId(XrfUtils::CameraSetup);
    if (currentStepId == XrfUtils::CameraSetup) {
        currentStepInfo.setStartTime(cameraSetupStartTime);
        if (!currentStepInfo.stepIdStr().isEmpty())
            name = currentStepInfo.stepIdStr();
    }

    const QJsonValue setup = factorySetupInfo.value(name);
    if (!setup.isObject()) {
        onCameraCollimationSetupComplete(
            false,
            tr("Failed to find setup params for '%1' in factory_setup_data.json.").arg(name));
        return;
    }
    XrfExposureSettings exposure;
    const QJsonValue exposureJson = setup.toObject().value(QStringLiteral("exposure"));
    if (!exposureJson.isObject() || !exposure.fromJsonObject(exposureJson.toObject())) {
        onCameraCollimationSetupComplete(
            false, tr("Failed to load 'exposure' for %1 from factory_setup_data.json.").arg(name));
        return;
    }
    if (!exposure.filter().isValid())
        configureExposureFilterParams(kOpenFilterPosition, &exposure);
    cameraExposure.settings = exposure;

    takeExposureSignals({[this] { cameraExposure.onStarted(); },
                         [this](const XrfSpectrum &s) { cameraExposure.onSpectrum(s); },
                         [this](XrfHardwareManager::XrfExposureEndCondition end, bool tubeOn) {
                             onCameraCollimationSetupExposureStopped(end, tubeOn);
                         },
                         [this](const XrfErrorInfo &e) {
                             cameraExposure.onError(e);
                         }});
    qDebug().noquote() << "Starting camera collimation setup exposure:" << exposure.toString();
    if (const int code =
            XrfHardwareManager::instance()->startExposure(exposure, 0, 0, 0, 0, 0, 0)) {
        const QString message =
            QStringLiteral("Camera collimation failed, the exposure did not start, err:%1")
                .arg(code);
        qWarning().noquote() << message;
        onCameraCollimationSetupComplete(false, message);
    }
}

void Worker::onCameraCollimationSetupExposureStopped(
    XrfHardwareManager::XrfExposureEndCondition endCondition, bool)
{
    if (!cameraExposure.onStopped())
        return;
    const XrfErrorInfo &error = cameraExposure.lastError;
    if (endCondition == XrfHardwareManager::EndNormal && !error.hasError()) {
        onCameraCollimationSetupComplete(true, kPassedText);
        return;
    }
    QString message = QStringLiteral("Camera collimation failed.");
    const QString ended = endCondition == XrfHardwareManager::EndNormal
        ? QString()
        : XrfHardwareManager::exposureEndConditionToString(endCondition);
    if (!ended.isEmpty())
        message += QStringLiteral(", Exposure ended due to:%1").arg(ended);
    if (!error.extendedErrorInfo().isEmpty())
        message += QStringLiteral(", Faults:%1").arg(error.extendedErrorInfo());
    qWarning().noquote() << message;
    onCameraCollimationSetupComplete(false, message);
}

// The record of step 4 (when it is the current step), the result file, the cloud upload, the
// completion signal and the step status, as the hardware setup completes.
void Worker::onCameraCollimationSetupComplete(bool passed, const QString &message)
{
    releaseExposureSignals();
    const bool isStep = cameraSetupIsFactoryStep && currentStepId == XrfUtils::CameraSetup;
    QString status = message;
    if (isStep) {
        currentStepInfo.setEndTime(XrfUtils::currentUtcIsoTime());
        currentStepInfo.setStatus(passed ? XrfFactoryStepInfo::Passed : XrfFactoryStepInfo::Failed);
        currentStepInfo.setResultFromJsonObj(assembleCameraSetupResultsJson(passed, message));
        QString error;
        if (!saveFactoryStepToLastResult(currentStepInfo, &error)) {
            status = QStringLiteral("Failed to save '%1' result to lastResult.json, err:%2")
                         .arg(currentStepInfo.stepIdStr(), error);
            qWarning().noquote() << status;
            passed = false;
            currentStepInfo.setStatus(XrfFactoryStepInfo::Failed);
        }
    }
    setCurrentTaskProgress(passed ? 100 : 0);
    setCurrentTaskStatus(status);

    const QJsonObject results = assembleCameraSetupResultsJson(passed, status);
    QString error;
    if (!saveJsonDataToFile(cameraSetupResultFile, results, &error))
        qWarning() << "failed to save camera setup result JSON, error:" << error;
    listenForCloudResponse(&Worker::onCameraCollimationResultUploadComplete);
    XrfNetworkManager::instance()->sendToCloud(XrfNetworkManager::PutCameraCollimatorSetupResult,
                                               QJsonObject{{QStringLiteral("body"), results}});
    emit q->cameraCollimationSetupComplete(results);
    if (isStep) {
        putDeviceFactoryStepStatus(XrfUtils::CameraSetup,
                                   XrfFactoryStepInfo::StepStatus(currentStepInfo.status()));
        if (currentStepInfo.status() == XrfFactoryStepInfo::Passed)
            currentStepInfo.setSessionId(QString());
    }
}

QJsonObject Worker::assembleCameraSetupResultsJson(bool passed, const QString &message)
{
    const bool isStep = cameraSetupIsFactoryStep && currentStepId == XrfUtils::CameraSetup;
    const XrfSpectrum &spectrum = cameraExposure.lastSpectrum;
    return {
        {QStringLiteral("startTime"), cameraSetupStartTime},
        {QStringLiteral("endTime"), XrfUtils::currentUtcIsoTime()},
        {QStringLiteral("serial"), hardwareConfig.insSerialNumber()},
        {QStringLiteral("status"), passed ? QStringLiteral("pass") : QStringLiteral("fail")},
        {QStringLiteral("statusMsg"), message},
        {QStringLiteral("sessionId"), isStep ? currentStepInfo.sessionId() : QString()},
        {QStringLiteral("exposure"), cameraExposure.settings.toJsonObject()},
        {QStringLiteral("inputCountRate"), spectrum.inputCountRate()},
        {QStringLiteral("outputCountRate"), spectrum.outputCountRate()},
    };
}

void Worker::onCameraCollimationResultUploadComplete(const XrfCloudResponse &response)
{
    qDebug() << "cloudResponse, requestId:" << response.requestId();
    if (!acceptCloudResponse(response, XrfNetworkManager::PutCameraCollimatorSetupResult,
                             &Worker::onCameraCollimationResultUploadComplete))
        return;
    qDebug() << "processing putCameraCollimatorSetupResult response";
    if (!response.hasFailed())
        QFile::remove(cameraSetupResultFile);
    emit q->factoryStepResultUploadComplete(!response.hasFailed(), response.error());
}
