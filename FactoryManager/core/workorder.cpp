// The work order, the per-model factory setup data and method part maps, and the cloud requests
// for both.

#include "xrffactorymanager_p.h"

#include "xrfcalibrationutils.h"
#include "xrfhardwaremanager.h"
#include "xrfnetworkmanager.h"
#include "xrfsettingsmanager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {
const QString kWorkOrderKey = QStringLiteral("workOrder");

// The setup data and method part map files by model, in the order of the path lists.
enum ModelFiles { DefaultFiles = 0, LtFiles = 1, MpFiles = 2, HdFiles = 3, HarrierFiles = 4 };

bool deviceTypeContains(const QJsonObject &workOrder, std::initializer_list<const char *> parts)
{
    const QString deviceType = workOrder.value(QStringLiteral("deviceType")).toString();
    for (const char *part : parts) {
        if (deviceType.contains(QLatin1String(part)))
            return true;
    }
    return false;
}
} // namespace

// ---- Work order file ----

bool Worker::loadWorkOrderInfoFromFile()
{
    QJsonValue value;
    QString error;
    workOrderProblem.clear();
    const auto fail = [&](const QString &reason, const QString &problem) {
        qWarning().noquote() << QStringLiteral("Failed to load workorder from %1, error:%2")
                                    .arg(workOrderFilePath, reason);
        if (QFileInfo::exists(workOrderFilePath))
            workOrderProblem = problem;
        return false;
    };
    if (!loadJsonFromFile(workOrderFilePath, &value, &error))
        return fail(error, error);
    if (!value.isObject())
        return fail(QStringLiteral("File is not valid JSON object"),
                    QStringLiteral("%1 does not hold a JSON object").arg(workOrderFilePath));
    const QJsonValue stored = value.toObject().value(kWorkOrderKey);
    if (!stored.isObject())
        return fail(
            QStringLiteral("File does not have 'workOrder' JSON object in it."),
            QStringLiteral("%1 has no \"%2\" object").arg(workOrderFilePath, kWorkOrderKey));
    workOrder = stored.toObject();
    if (!modelMethodsLoaded) {
        modelMethods = workOrder.value(QStringLiteral("modelMethod")).toArray();
        modelMethodsLoaded = true;
    }
    qDebug() << "Workorder:" << workOrder;
    return true;
}

bool Worker::saveWorkOrderToFile(const QJsonObject &workOrderInfo, QString *errorMsg)
{
    if (!errorMsg)
        return false;
    errorMsg->clear();
    const QJsonObject newWorkOrder = workOrderInfo.value(kWorkOrderKey).toObject();
    if (newWorkOrder.isEmpty()) {
        errorMsg->append(QStringLiteral("New workorder does not have 'workOrder' object"));
        return false;
    }
    loadWorkOrderInfoFromFile();
    if (XrfJsonHelper::compareJsonObjects(newWorkOrder, workOrder))
        return true;
    modelMethods = newWorkOrder.value(QStringLiteral("modelMethod")).toArray();
    qDebug() << "Saving new workorder: " << newWorkOrder << ", to file:" << workOrderFilePath;
    if (!writeWorkOrderFile(workOrderInfo, errorMsg))
        return false;
    workOrder = newWorkOrder;
    qInfo() << "Device workorder updated.";
    return true;
}

bool Worker::writeWorkOrderFile(const QJsonObject &workOrderInfo, QString *errorMsg)
{
    QString error;
    if (!XrfUtils::setAsideUnreadableJsonFile(workOrderFilePath, &error)) {
        if (errorMsg)
            errorMsg->append(error);
        return false;
    }
    return saveJsonDataToFile(workOrderFilePath, workOrderInfo, errorMsg, QJsonDocument::Indented);
}

void XrfFactoryManager::saveProvisioningData(QJsonObject workOrderInfo)
{
    QString error;
    if (!d->saveWorkOrderToFile(workOrderInfo, &error))
        qWarning() << "Failed to save workorder to file, err:" << error;
}

void XrfFactoryManager::getWorkOrderInfo()
{
    qDebug() << "Factory manager is reading work order info";
    if (d->workOrder.isEmpty())
        d->loadWorkOrderInfoFromFile();
    if (d->workOrder.isEmpty()) {
        qWarning() << "Failed to read work order";
        return;
    }
    emit workOrderInfoChanged(d->workOrder);
}

// ---- Model selection ----

bool Worker::isTarvoLTDeviceType()
{
    return deviceTypeContains(currentWorkOrder(), {"TARVO-KTR", "TARVO-KTS"});
}

bool Worker::isTarvoMPDeviceType()
{
    return deviceTypeContains(currentWorkOrder(), {"TARVO-MCW", "TARVO-MMR"});
}

bool Worker::isTarvoHDDeviceType()
{
    return deviceTypeContains(currentWorkOrder(), {"TARVO-KHP", "TARVO-KHS"});
}

bool Worker::isHarrierDeviceType()
{
    return deviceTypeContains(currentWorkOrder(), {"TARVO2-"});
}

QJsonObject Worker::currentWorkOrder()
{
    if (workOrder.isEmpty())
        loadWorkOrderInfoFromFile();
    return workOrder;
}

int Worker::modelFilesIndex()
{
    if (isTarvoLTDeviceType())
        return LtFiles;
    if (isTarvoMPDeviceType())
        return MpFiles;
    if (isTarvoHDDeviceType())
        return HdFiles;
    if (isHarrierDeviceType())
        return HarrierFiles;
    return DefaultFiles;
}

QString Worker::generateInstrumentTypeCode()
{
    if (isTarvoLTDeviceType())
        return QStringLiteral("927LT");
    if (isTarvoHDDeviceType())
        return QStringLiteral("927HD");
    if (isTarvoMPDeviceType())
        return QStringLiteral("927MP");
    if (isHarrierDeviceType())
        return QStringLiteral("927H");
    return QStringLiteral("927");
}

QString Worker::generateInstrumetTypeString()
{
    const auto config = XrfHardwareManager::instance()->hardwareConfig();
    const QString type = config
        ? QStringLiteral("%1_%2").arg(config->tubeModel(), config->detectorModel())
        : QString();
    qDebug() << "Generated instrumentType:" << type;
    return type;
}

// ---- Factory setup data ----

bool Worker::loadFactorySetupParamsFromFile()
{
    const int model = modelFilesIndex();
    const QString setupPath = factorySetupDataFilePaths.value(model);
    const QString mapPath = methodPartMapFilePaths.value(model);
    qDebug() << "loadFactorySetupParamsFromFile " << setupPath;
    qDebug() << "loadFactorySetupParamsFromFile " << mapPath;
    if (!loadFactorySetupDataFile(setupPath) || !loadMethodPartMapFile(mapPath))
        return false;
    applyCalibrationOverride();
    return true;
}

bool Worker::loadFactorySetupDataFile(const QString &path)
{
    QJsonValue value;
    QString error;
    if (!loadJsonFromFile(path, &value, &error))
        qWarning().noquote() << QStringLiteral("Failed to load factory setup params file: '%1', "
                                               "error: '%2'")
                                    .arg(path, error);
    const QJsonObject data = value.toObject();
    if (!data.value(QStringLiteral("factorySetupInfo")).isObject()
        || !data.value(QStringLiteral("defaultHwParams")).isObject()) {
        qWarning() << "Failed to load factory setup params file. File is not in expected format.";
        return false;
    }
    factorySetupInfo = data.value(QStringLiteral("factorySetupInfo")).toObject();
    defaultHwParams = data.value(QStringLiteral("defaultHwParams")).toObject();
    factorySetupDataVersion = data.value(QStringLiteral("version")).toInt(0);
    qDebug() << "Factory setup data file loaded, version:" << factorySetupDataVersion;
    return true;
}

bool Worker::loadMethodPartMapFile(const QString &path)
{
    QJsonValue value;
    QString error;
    if (!loadJsonFromFile(path, &value, &error)) {
        qWarning() << "Failed to load methods part IP map json file from:" << path
                   << ", error:" << error;
        return false;
    }
    if (!value.isObject()) {
        qWarning().noquote() << QStringLiteral("Failed to load 'methods partId map' and "
                                               "'beamSettings' from file %1, file is not in "
                                               "expected format.")
                                    .arg(path);
        return false;
    }
    for (const char *key : {"methods", "beamSettings"})
        defaultHwParams.insert(QLatin1String(key), value.toObject().value(QLatin1String(key)));
    qDebug() << "Methods partID map and beamSettings have been loaded from methodPartId map file";
    return true;
}

void Worker::applyCalibrationOverride()
{
    QJsonValue value;
    QString error;
    if (calibrationOverrideFilePath.isEmpty() || !QFile::exists(calibrationOverrideFilePath)
        || !loadJsonFromFile(calibrationOverrideFilePath, &value, &error))
        return;
    const QJsonObject overrides =
        value.toObject().value(QStringLiteral("syntheticOverride")).toObject();
    for (auto it = overrides.begin(); it != overrides.end(); ++it) {
        const QString path = QStringLiteral("methods.default.") + it.key();
        if (!XrfJsonHelper::getJsonValueFromPath(defaultHwParams, path).isObject())
            continue;
        const QJsonObject entry = it.value().toObject();
        overrideMethodKey(path, entry.value(QStringLiteral("syntheticShotSelectionParameter")),
                          QStringLiteral("syntheticShotSelectionParameter"), QJsonValue::String);
        overrideMethodKey(path, entry.value(QStringLiteral("isSyntheticMethod")),
                          QStringLiteral("isSyntheticMethod"), QJsonValue::Bool);
    }
}

void Worker::overrideMethodKey(const QString &methodPath, const QJsonValue &value,
                               const QString &key, QJsonValue::Type type)
{
    if (value.type() != type)
        return;
    const QString path = methodPath + QLatin1Char('.') + key;
    XrfJsonHelper::setJsonValueFromPath(defaultHwParams, path, value);
    qInfo() << "CalibrationOverride setting " << path << " -> " << value;
}

void XrfFactoryManager::saveFactorySetupData(QJsonObject factorySetupData)
{
    d->doSaveFactorySetupData(factorySetupData);
}

void Worker::doSaveFactorySetupData(const QJsonObject &data)
{
    QString error;
    const QString setupDataPath = factorySetupDataFilePaths.value(modelFilesIndex());
    if (!saveJsonDataToFile(setupDataPath, data, &error, QJsonDocument::Indented))
        return;
    loadFactorySetupParamsFromFile();
    if (defaultHwParams.isEmpty()) {
        qWarning() << "failed to read 'defultHwParams' from factory_setup_data.json: empty object";
        return;
    }
    if (!saveDefaultFpgaParams(&error)) {
        qWarning() << "Failed to write default FPGA params, err:" << error;
        return;
    }
    // New setup data restarts the sequence after provisioning.
    for (int step = XrfUtils::Provisioning; step <= XrfUtils::FactorSet; ++step) {
        if (!invalidateFactoryStep(XrfUtils::FactoryStepId(step), &error, true))
            qWarning() << error;
    }
    if (!setFactoryStepsCompleted(1, &error))
        qWarning() << error;
    const QString passwordFile = XrfUtils::factoryPasswordFilePath();
    if (QFile::exists(passwordFile) && !QFile::remove(passwordFile))
        qWarning() << "Failed to delete factory password";
    QString resetError;
    resetToProvisioning(&resetError);
    // A reset archives and removes the factory data folder: the new setup data goes back in.
    if (!QFileInfo::exists(setupDataPath)
        && !saveJsonDataToFile(setupDataPath, data, &error, QJsonDocument::Indented))
        qWarning().noquote() << "Failed to keep the new factory setup data after the reset, err:"
                             << error;
    if (!calibrationShotLibDirPath.isEmpty() && QFileInfo::exists(calibrationShotLibDirPath)
        && !QDir(calibrationShotLibDirPath).removeRecursively())
        qWarning() << "Failed to delete calibrationShotLib at:" << calibrationShotLibDirPath;
    if (!XrfCalibrationUtils::removeAllMethods(profilePath, &error))
        qWarning().noquote() << error;
    XrfUtils::removeDirectoryContents(factoryDataPath, false, true);
}

// ---- Cloud requests ----

void XrfFactoryManager::getWorkOrderFromCloud()
{
    d->requestWorkOrderFromCloud();
}

void Worker::requestWorkOrderFromCloud()
{
    const QJsonObject request{
        {QStringLiteral("tubeSerialNumber"), hardwareConfig.tubeSerialNumber()},
        {QStringLiteral("detectorSerialNumber"), hardwareConfig.detectorSerialNumber()},
        {QStringLiteral("fpgaDna"), hardwareConfig.fpgaDna().toLower()},
    };
    listenForCloudResponse(&Worker::onGetWorkorderResponseReceived);
    XrfNetworkManager::instance()->fetchFromCloud(XrfNetworkManager::GetWorkOrder, request,
                                                  nullptr);
}

void Worker::onGetWorkorderResponseReceived(const XrfCloudResponse &response)
{
    if (!acceptCloudResponse(response, XrfNetworkManager::GetWorkOrder,
                             &Worker::onGetWorkorderResponseReceived))
        return;
    const QJsonArray orders = response.responseData().toArray();
    if (!response.hasFailed() && !orders.isEmpty())
        storeWorkOrderFromCloud(orders.first().toObject());
    if (currentStepId == XrfUtils::Provisioning)
        emit q->getWorkOrderFromCloudComplete(cloudResponseToJson(response));
}

void Worker::storeWorkOrderFromCloud(const QJsonObject &received)
{
    if (received == workOrder) {
        qDebug() << "Received work order is same as the one on the device.";
        return;
    }
    QString error;
    if (writeWorkOrderFile(QJsonObject{{kWorkOrderKey, received}}, &error))
        loadWorkOrderInfoFromFile();
    else
        qWarning() << "Failed to save updated work order";
}

void XrfFactoryManager::getFactoryDefaultsFromCloud()
{
    d->requestFactoryDefaultsFromCloud();
}

void Worker::requestFactoryDefaultsFromCloud()
{
    const QJsonObject request{
        {QStringLiteral("instrumentTypeCode"), generateInstrumentTypeCode()},
        {QStringLiteral("tubeSerialNumber"), hardwareConfig.tubeSerialNumber()},
        {QStringLiteral("detectorSerialNumber"), hardwareConfig.detectorSerialNumber()},
    };
    listenForCloudResponse(&Worker::onGetFactorySetupDefaultsResponseRecevied);
    XrfNetworkManager::instance()->fetchFromCloud(XrfNetworkManager::GetFactoryDefaults, request,
                                                  nullptr);
}

void Worker::onGetFactorySetupDefaultsResponseRecevied(const XrfCloudResponse &response)
{
    if (!acceptCloudResponse(response, XrfNetworkManager::GetFactoryDefaults,
                             &Worker::onGetFactorySetupDefaultsResponseRecevied))
        return;
    if (currentStepId == XrfUtils::Provisioning)
        emit q->getFactoryDefaultsFromCloudComplete(cloudResponseToJson(response));
}

QJsonObject Worker::cloudResponseToJson(const XrfCloudResponse &response)
{
    return {
        {QStringLiteral("requestId"), response.requestId()},
        {QStringLiteral("hasFailed"), response.hasFailed()},
        {QStringLiteral("error"), response.error()},
        {QStringLiteral("httpStatusCode"), response.httpStatusCode()},
        {QStringLiteral("responseData"), response.responseData()},
    };
}

// ---- Provisioning data and versions ----

QJsonObject XrfFactoryManager::provisioningData() const
{
    const auto config = XrfHardwareManager::instance()->hardwareConfig();
    if (!config)
        return QJsonObject();
    return {
        {QStringLiteral("tubePartNumber"), config->tubeModel()},
        {QStringLiteral("tubeSerialNumber"), config->tubeSerialNumber()},
        {QStringLiteral("detectorPartNumber"), config->detectorModel()},
        {QStringLiteral("detectorSerialNumber"), config->detectorSerialNumber()},
        {QStringLiteral("digitalBoardSerialNumber"), config->xrfEngineSerialNumber()},
    };
}

QString XrfFactoryManager::getFactorySetupDataVersion() const
{
    return d->factorySetupDataVersion == 0 ? QString()
                                           : QString::number(d->factorySetupDataVersion);
}

QString XrfFactoryManager::getFinalQcTemplateVersion() const
{
    return d->versionOfFile(d->batchTemplatesDirPath + QStringLiteral("/version.json"),
                            QStringLiteral("Failed to get final QC files version, error:"));
}

QString XrfFactoryManager::getWrongShotCriteriaVersion() const
{
    return d->versionOfFile(XrfCalibrationUtils::calDiagnosticsCriteriaDir()
                                + QStringLiteral("/version.json"),
                            QStringLiteral("Failed to read wrong shot criteria version, error:"));
}

QString XrfFactoryManager::getMethodsPartIdMapFileVersion() const
{
    const int model =
        XrfSettingsManager::instance()->isTarvoLitePinOrSdd() ? LtFiles : DefaultFiles;
    return d->versionOfFile(d->methodPartMapFilePaths.value(model),
                            QStringLiteral("Failed to read version of method partId map file, "
                                           "error:"));
}

QString Worker::versionOfFile(const QString &path, const QString &failureText) const
{
    QString version;
    QString error;
    if (!XrfUtils::getJsonFileVersion(path, &version, &error)) {
        qWarning().noquote() << failureText << error;
        return QString();
    }
    return version;
}
