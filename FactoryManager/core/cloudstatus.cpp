// The factory status exchanged with the cloud: step status reports, the device factory status
// request and its handling, and its copy in lastResult.json.

#include "xrffactorymanager_p.h"

#include "devicefactorystatus.h"
#include "xrfnetworkmanager.h"

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {
const QString kFactoryStepsStatusKey = QStringLiteral("factoryStepsStatus");
}

void Worker::putDeviceFactoryStepStatus(XrfUtils::FactoryStepId stepId,
                                        XrfFactoryStepInfo::StepStatus status)
{
    const DeviceFactoryStatusRequest request(stepId, status);
    const QJsonObject body{{QStringLiteral("serial"), hardwareConfig.insSerialNumber()},
                           {QStringLiteral("body"), request.toJsonObject()}};
    qDebug() << "putDeviceFactoryStepStatus request:" << body;
    listenForCloudResponse(&Worker::onPutDeviceFactoryStatusResponse);
    XrfNetworkManager::instance()->sendToCloud(XrfNetworkManager::PutDeviceFactoryStepStatus, body,
                                               nullptr);
}

void Worker::onPutDeviceFactoryStatusResponse(const XrfCloudResponse &response)
{
    if (!acceptCloudResponse(response, XrfNetworkManager::PutDeviceFactoryStepStatus,
                             &Worker::onPutDeviceFactoryStatusResponse))
        return;
    if (response.hasFailed()) {
        qWarning() << "PutDeviceFactoryStepStatus request failed, error:" << response.error();
        return;
    }
    DeviceFactoryStatusResponse status;
    if (response.isObject() && status.fromJsonObject(response.responseData().toObject()))
        saveDeviceFactoryStatusToLastResult(status);
}

void XrfFactoryManager::refreshWorkOrder()
{
    d->requestDeviceFactoryStatus();
}

void Worker::requestDeviceFactoryStatus()
{
    const DeviceFactoryStatusRequest request(
        currentStepId, currentStepInfo.status(), QStringLiteral("1.1"),
        workOrder.value(QStringLiteral("checkSum")).toString());
    QJsonObject body = request.toJsonObject();
    body.insert(QStringLiteral("instrumentSerialNumber"), hardwareConfig.insSerialNumber());
    listenForCloudResponse(&Worker::onGetDeviceFactoryStatusResponse);
    XrfNetworkManager::instance()->fetchFromCloud(XrfNetworkManager::GetDeviceFactoryStatus, body,
                                                  nullptr);
}

void Worker::onGetDeviceFactoryStatusResponse(const XrfCloudResponse &response)
{
    if (!acceptCloudResponse(response, XrfNetworkManager::GetDeviceFactoryStatus,
                             &Worker::onGetDeviceFactoryStatusResponse))
        return;
    qDebug() << "Processing deviceFactoryStatusResponse";
    if (response.hasFailed()) {
        qWarning() << "GetDeviceFactoryStatus request failed, error:" << response.error();
        emit q->refreshWorkOrderComplete();
        return;
    }
    DeviceFactoryStatusResponse status;
    QString parseError;
    if (!response.isObject()
        || !status.fromJsonObject(response.responseData().toObject(), &parseError)) {
        if (!parseError.isEmpty())
            qWarning() << "GetDeviceFactoryStatus answer is malformed:" << parseError;
        emit q->refreshWorkOrderComplete();
        return;
    }
    followDeviceFactoryStatus(status, response.responseData().toObject());
    saveDeviceFactoryStatusToLastResult(status);
    emit q->refreshWorkOrderComplete();
}

void Worker::followDeviceFactoryStatus(const DeviceFactoryStatusResponse &status,
                                       const QJsonObject &json)
{
    const int reported = status.stepId();
    if (status.hasWorkOrderChanged())
        saveWorkOrderFromStatus(status.workOrder());
    if (status.hasFactoryStepInvalidated()) {
        if (currentStepId > reported) {
            qInfo().noquote() << QStringLiteral("Device has been asked to reset to step: '%1'")
                                     .arg(XrfFactoryManager::factoryStepNameFromId(
                                         XrfUtils::FactoryStepId(reported)));
            emit q->deviceFactoryStatusChanged(json);
        }
        return;
    }
    if (reported < currentStepId || isMovingBackward)
        return;
    if (status.stepStatus(currentStepId) == XrfFactoryStepInfo::Passed) {
        const QString name =
            XrfFactoryManager::factoryStepNameFromId(XrfUtils::FactoryStepId(currentStepId));
        qInfo().noquote() << QStringLiteral("Marking factory step '%1' as done.").arg(name);
        emit q->markFactoryStepComplete(name);
        if (currentStepId == XrfUtils::Stability)
            applyPinGainCorrectionValuesFromSettings();
    }
}

void Worker::saveWorkOrderFromStatus(const QJsonObject &newWorkOrder)
{
    if (newWorkOrder.isEmpty()) {
        qDebug() << "In DeviceFactoryStatus response hasWorkorderChanged flag set but "
                    "'workOrder' is empty.";
        return;
    }
    QString error;
    if (!saveWorkOrderToFile(QJsonObject{{QStringLiteral("workOrder"), newWorkOrder}}, &error))
        qWarning() << "Failed to save new workorder to file, err:" << error;
}

bool Worker::saveDeviceFactoryStatusToLastResult(const DeviceFactoryStatusResponse &status)
{
    const QJsonObject json = status.toJsonObject();
    if (lastResult.isEmpty())
        loadFactorySetupLastResult(nullptr);
    if (XrfJsonHelper::compareJsonObjects(lastResult.value(kFactoryStepsStatusKey).toObject(), json)
        && lastResult.contains(kFactoryStepsStatusKey))
        return true;
    lastResult.insert(kFactoryStepsStatusKey, json);
    bool saved = false;
    {
        QMutexLocker lock(&lastResultMutex);
        saved = writeLastResultFile();
    }
    if (saved)
        qDebug() << "Device factory status saved to JSON file.";
    else
        qWarning() << "Failed to save devicedFactoryStatus to lastResult.json";
    return saved;
}

bool Worker::loadDeviceFactoryStatusFromLastResult(DeviceFactoryStatusResponse *status)
{
    if (!status)
        return false;
    if (lastResult.isEmpty())
        loadFactorySetupLastResult(nullptr);
    const QJsonValue stored = lastResult.value(kFactoryStepsStatusKey);
    if (!stored.isObject())
        return false;
    qDebug() << "factoryStepsStatus object found in lastResult.json";
    return status->fromJsonObject(stored.toObject());
}

void XrfFactoryManager::uploadFactoryStepResult(QString stepName)
{
    const XrfUtils::FactoryStepId id = factoryStepIdFromName(stepName);
    if (id != XrfUtils::Stability && id != XrfUtils::CollimatedStability)
        return;
    qDebug() << "uploadFactoryStepResult" << stepName;
    d->uploadStabilityStepResult(id);
}

void XrfFactoryManager::discardFactoryStepResult(QString setName)
{
    const XrfUtils::FactoryStepId id = factoryStepIdFromName(setName);
    if (id != XrfUtils::Stability && id != XrfUtils::CollimatedStability)
        return;
    qDebug() << "discardFactoryStepResult" << setName;
    d->discardStabilityStepResult(id);
}

void XrfFactoryManager::abortResultUpload() { }
