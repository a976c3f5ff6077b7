// The provisioning check: the installed hardware against the work order.

#include "xrffactorymanager_p.h"

#include "xrfcameracontroller.h"
#include "xrfengine.h"
#include "xrfhardwaremanager.h"
#include "xrfnetworkinterfaces.h"
#include "xrfsettingsmanager.h"

#include <QDateTime>
#include <QDir>
#include <QRegularExpression>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

const QStringList kFixedFilterPartNumbers = {QStringLiteral("ASSY-20815"),
                                             QStringLiteral("10-048392-00")};

const char *const kNoWorkOrder = "There is no work order to check the installed hardware against. "
                                 "Get the work order from the cloud first.";
const char *const kUnreadableWorkOrder = "The work order cannot be read: %1. Get the work order "
                                         "from the cloud again.";

QString utcNow()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
}

QString trimmedText(const QJsonObject &object, const char *key)
{
    return object.value(QLatin1String(key)).toString().trimmed();
}

// Six colon-separated pairs of hex digits.
QStringList macParts(const QString &mac)
{
    const QStringList parts = mac.trimmed().split(QLatin1Char(':'));
    static const QRegularExpression hexPair(QStringLiteral("^[0-9A-Fa-f]{2}$"));
    if (parts.size() != 6)
        return {};
    for (const QString &part : parts) {
        if (!hexPair.match(part).hasMatch())
            return {};
    }
    return parts;
}

} // namespace

// The findings of one provisioning check.
struct Worker::ProvisioningRun
{
    XrfHardwareConfig installed;
    QJsonObject data;
    QStringList errors;

    void fail(const QString &error, const char *logPrefix = nullptr)
    {
        if (logPrefix)
            qWarning().noquote() << QLatin1String(logPrefix) << error;
        errors.append(error);
    }
};

void XrfFactoryManager::startProvisioningCheck(QJsonObject provisioningData)
{
    d->startProvisioningCheck(provisioningData);
}

void Worker::startProvisioningCheck(const QJsonObject &provisioningData)
{
    currentStepInfo.setStepId(XrfUtils::Provisioning);
    currentStepInfo.setStepIdStr(XrfFactoryManager::factoryStepNameFromId(XrfUtils::Provisioning));
    currentStepInfo.setStatus(XrfFactoryStepInfo::InProgress);
    if (!provisioningData.isEmpty())
        workOrder = provisioningData;
    else if (!loadWorkOrderInfoFromFile())
        workOrder = QJsonObject(); // an earlier order in memory is not the one on file
    unsigned int serial = 0;
    xrf_hal::XrfEngine::instance()->getInstrumentSerialNumber(&serial);
    QDir().mkpath(provisioningResultDirPath);
    currentStepInfo.setResultFile(
        provisioningResultDirPath
        + QStringLiteral("provisioningCheck_%1_%2.json")
              .arg(serial)
              .arg(QDateTime::currentDateTime().toString(QStringLiteral("MM-dd-yyyy_hh-mm"))));
    qInfo() << "Starting provisioning check";
    doProvisioningCheck();
}

void Worker::doProvisioningCheck()
{
    ProvisioningRun run;
    if (const auto config = XrfHardwareManager::instance()->hardwareConfig())
        run.installed = *config;
    QJsonObject result;
    const QString startTime = utcNow();
    result.insert(QStringLiteral("startTime"), startTime);
    currentStepInfo.setStartTime(startTime);
    result.insert(QStringLiteral("serial"), run.installed.insSerialNumber());
    // Every check below compares with the work order, and some write what they derive from it
    // into the settings and the controller: without one the check ends here.
    if (workOrder.isEmpty()) {
        run.fail(workOrderProblem.isEmpty()
                     ? QString::fromLatin1(kNoWorkOrder)
                     : QString::fromLatin1(kUnreadableWorkOrder).arg(workOrderProblem),
                 "Provisioning failed\n");
        finishProvisioningCheck(run, result);
        return;
    }

    checkSerialsAndModels(run);
    storeInstrumentModel(run);
    if (isTarvoMPDeviceType())
        checkMacAddress(run);
    checkFilterMode(run);
    checkFilterPartNumber(run);
    checkFanAndSensors(run);
    checkCameras(run);
    updateHardwareConfigSetting();
    recordFirmwareVersions(run);
    finishProvisioningCheck(run, result);
}

void Worker::checkSerialsAndModels(ProvisioningRun &run)
{
    const XrfHardwareConfig &installed = run.installed;
    struct Check
    {
        const char *dataKey;
        QString installedValue;
        const char *workOrderKey;
        const char *text;
        const char *logPrefix;
    };
    const Check checks[] = {
        {"tubeSerialNumber", installed.tubeSerialNumber(), "tubeSerialNumber",
         "Installed tube serial does not match with workorder.\nInstalled: %1\nExpected: %2",
         "Provisioning failed \n"},
        {"tubePartNumber", installed.tubeModel(), "tubeType",
         "Installed tube model does not match with workOrder.\nInstalled: %1\nExpected: %2",
         "Provisioning failed \n"},
        {"detectorSerialNumber", installed.detectorSerialNumber(), "detectorSerialNumber",
         "Installed detector serial does not match with workOrder.\nInstalled: %1\nExpected: %2",
         "Provisioning failed\n"},
        {"detectorPartNumber", installed.detectorModel(), "detectorType",
         "Installed detector model does not match with workOrder.\nInstalled: %1\nExpected: %2",
         "Provisioning failed\n"},
    };
    for (const Check &check : checks) {
        run.data.insert(QLatin1String(check.dataKey), check.installedValue);
        const QString expected = trimmedText(workOrder, check.workOrderKey);
        if (check.installedValue != expected)
            run.fail(QString::fromLatin1(check.text).arg(check.installedValue, expected),
                     check.logPrefix);
    }
    run.data.insert(QStringLiteral("digitalBoardSerialNumber"), installed.xrfEngineSerialNumber());
}

void Worker::storeInstrumentModel(ProvisioningRun &run)
{
    const QString key =
        run.installed.tubeModel() + QLatin1Char('_') + run.installed.detectorModel();
    QJsonObject model =
        defaultHwParams.value(QStringLiteral("models")).toObject().value(key).toObject();
    const int code = XrfSettingsManager::instance()->setUniversalSetting(
        QStringLiteral("hardware.instrumentModel"), &model);
    if (code != 0)
        run.fail(QStringLiteral("Failed to save device model info to universal settings., Err:%1")
                     .arg(code));
}

void Worker::checkMacAddress(ProvisioningRun &run)
{
    const QString installedMac =
        XrfNetworkInterfaces::instance()->hardwareAddress(QStringLiteral("eth0"));
    if (installedMac.isEmpty()) {
        run.fail(QStringLiteral("There is no ethernet device"));
        return;
    }
    QJsonObject config;
    XrfSettingsManager::instance()->getUniversalSetting(QStringLiteral("hardware.config"), &config);
    const QString overrideMac =
        config.value(QStringLiteral("digitalBoardMacAddressOverride")).toString().trimmed();
    if (macParts(overrideMac).isEmpty())
        checkWorkOrderMac(run, installedMac);
    else
        checkOverrideMac(run, installedMac, overrideMac);
}

void Worker::checkWorkOrderMac(ProvisioningRun &run, const QString &installedMac)
{
    const QStringList serialParts = trimmedText(workOrder, "digitalBoardSerialNumber")
                                        .split(QLatin1Char('|'), Qt::SkipEmptyParts);
    const QString expectedSerial = serialParts.isEmpty() ? QString() : serialParts.last().trimmed();
    const QString workOrderMac = trimmedText(workOrder, "digitalBoardMacAddress");
    const QString installedSerial = run.installed.xrfEngineSerialNumber();
    const QStringList parts = macParts(workOrderMac);
    if (installedSerial != expectedSerial) {
        run.fail(QStringLiteral("Installed digital board SN does not match with workOrder.\n"
                                "Installed: %1\nExpected: %2")
                     .arg(installedSerial, expectedSerial));
    } else if (workOrderMac.isEmpty()) {
        run.fail(QStringLiteral("MAC address is empty from the work order"));
    } else if (parts.isEmpty()) {
        run.fail(QStringLiteral("MAC address in workorder format is invalid.\nMAC Address: %1")
                     .arg(workOrderMac));
    } else if (installedMac.compare(workOrderMac, Qt::CaseInsensitive) == 0) {
        qInfo().noquote() << QStringLiteral("Mac Address matched.  WO MAC: %1  Installed MAC:%2")
                                 .arg(workOrderMac, installedMac);
        run.data.insert(QStringLiteral("digitalBoardMacAddress"), workOrderMac);
    } else {
        logMacFuseCommands(parts);
        run.fail(QStringLiteral("Trying to burn in the MAC address. Please logout and power cycle "
                                "the unit.\nWO MAC: %1\nInstalled MAC: %2")
                     .arg(workOrderMac, installedMac));
    }
}

void Worker::logMacFuseCommands(const QStringList &parts)
{
    // The one-time-programmable fuses take the low four and the high two bytes; burning them is
    // left to the technician's power cycle, the library only forms the commands.
    const QString mac0 = QStringLiteral("echo %1 > /sys/fsl_otp/HW_OCOTP_MAC0")
                             .arg(QStringLiteral("0x") + parts.mid(2).join(QString()));
    const QString mac1 = QStringLiteral("echo %1 > /sys/fsl_otp/HW_OCOTP_MAC1")
                             .arg(QStringLiteral("0x") + parts.mid(0, 2).join(QString()));
    qDebug().noquote() << QStringLiteral("Writing MAC0  cmd: %1").arg(mac0);
    qDebug().noquote() << QStringLiteral("Writing MAC1  cmd: %1").arg(mac1);
}

void Worker::checkOverrideMac(ProvisioningRun &run, const QString &installedMac,
                              const QString &overrideMac)
{
    const QString workOrderMac = trimmedText(workOrder, "digitalBoardMacAddress");
    if (installedMac.compare(overrideMac, Qt::CaseInsensitive) == 0) {
        qInfo().noquote() << QStringLiteral("Override Mac Address matched.  WO MAC: %1  Installed "
                                            "MAC:%2  Override MAC:%3")
                                 .arg(workOrderMac, installedMac, overrideMac);
        run.data.insert(QStringLiteral("digitalBoardMacAddress"), overrideMac);
        return;
    }
    run.fail(QStringLiteral("Trying to apply override MAC address. Please logout and power cycle "
                            "the unit.\nWO MAC: %1\nInstalled MAC: %2\nOverride MAC:%3")
                 .arg(workOrderMac, installedMac, overrideMac));
}

void Worker::checkFilterMode(ProvisioningRun &run)
{
    const QString filterType = trimmedText(workOrder, "filterType");
    const bool fixedFilterOrder = kFixedFilterPartNumbers.contains(filterType);
    const bool wheelPresent = run.installed.filterWheelMotorPresent();
    QString error;
    if (wheelPresent && fixedFilterOrder) {
        run.fail(QStringLiteral("Fixed Filter wheel detected in filter required device"),
                 "Provisioning failed\n");
    } else if (wheelPresent) {
        if (!setFixedFilterMode(&error, false))
            run.fail(
                QStringLiteral("Failed to reset fixed filter mode register, err:%1").arg(error));
        else
            qDebug() << "Fixed filter mode register is reset.";
    } else if (fixedFilterOrder) {
        if (!setFixedFilterMode(&error, true))
            run.fail(QStringLiteral("Failed to set fixed filter mode, err:%1").arg(error));
        if (!writeDefaultFilterParamsToK60())
            run.fail(QStringLiteral("Failed to write default filter params to K60"));
    } else {
        run.fail(QStringLiteral("Non filter wheel detected in Fixed Filter device."),
                 "Provisioning failed\n");
    }
    run.data.insert(QStringLiteral("filterWheelDetected"), wheelPresent);
}

void Worker::checkFilterPartNumber(ProvisioningRun &run)
{
    const QString filterType = trimmedText(workOrder, "filterType");
    const QStringList available = defaultHwParams.value(QStringLiteral("filter")).toObject().keys();
    if (available.isEmpty())
        run.fail(QStringLiteral("Failed to read available filter part numbers in "
                                "factory_setup_data.json."),
                 "Provisioning Failed\n");
    else if (!available.contains(filterType))
        run.fail(QStringLiteral("Filter type/PN in the workorder '%1' does not match with any of "
                                "the available filter part numbers.\nMake sure workOrder in the "
                                "visual/cloud has right part number for filter.")
                     .arg(filterType),
                 "Provisioning Failed\n");
    run.data.insert(QStringLiteral("filterType"), filterType);
}

void Worker::checkFanAndSensors(ProvisioningRun &run)
{
    if (!run.installed.fanPresent())
        qDebug() << "****NOTE**** Fan not detected, but forcing fanDetected to true anyway";
    run.data.insert(QStringLiteral("fanDetected"), true);

    const QString deviceType = workOrder.value(QStringLiteral("deviceType")).toString();
    const bool proximityRequired =
        !(isTarvoLTDeviceType() || isTarvoMPDeviceType() || isTarvoHDDeviceType()
          || (isHarrierDeviceType() && deviceType.contains(QLatin1String("XXX"))));
    const bool proximityPresent = run.installed.proximitySensorPresent();
    if (proximityRequired && !proximityPresent)
        run.fail(QStringLiteral("Failed to find proximity sensor"));
    run.data.insert(QStringLiteral("proximitySensorDetected"), proximityPresent);
    run.data.insert(QStringLiteral("gpsDetected"), false);
}

void Worker::checkCameras(ProvisioningRun &run)
{
    const int cameras = XrfCameraController::instance()->installedCamera();
    qDebug() << "Installed camera type:" << cameras;
    const bool aiming = cameras == XrfCameraController::AimingCamera
        || cameras == XrfCameraController::AimingAndSampleCamera;
    const bool sample = cameras == XrfCameraController::SampleCamera
        || cameras == XrfCameraController::AimingAndSampleCamera;
    const bool aimingExpected = workOrder.value(QStringLiteral("hasAimingCamera")).toBool();
    const bool sampleExpected = workOrder.value(QStringLiteral("hasSampleCamera")).toBool();
    if (aimingExpected && !aiming)
        run.fail(QStringLiteral("Failed to find Aiming(USB) camera."));
    else if (!aimingExpected && aiming)
        run.fail(QStringLiteral("Aiming(USB) camera is found on an instrument but it's not "
                                "supposed to have one as per the workorder."));
    if (sampleExpected && !sample)
        run.fail(QStringLiteral("Failed to find Sample(MIPI) camera."));
    else if (!sampleExpected && sample)
        run.fail(QStringLiteral("Sample(MIPI) camera is found on an instrument but it's not "
                                "supposed to have one as per the workorder."));
    run.data.insert(QStringLiteral("aimingCameraDetected"), aiming);
    run.data.insert(QStringLiteral("sampleCameraDetected"), sample);
}

void Worker::updateHardwareConfigSetting()
{
    XrfSettingsManager *settings = XrfSettingsManager::instance();
    QJsonObject config;
    settings->getUniversalSetting(QStringLiteral("hardware.config"), &config);
    const bool collimated = !workOrder.value(QStringLiteral("isUnCollimated")).toBool();
    const QString deviceType = workOrder.value(QStringLiteral("deviceType")).toString();
    config.insert(QStringLiteral("collimationAllowed"), collimated);
    config.insert(QStringLiteral("HasCollimation"), collimated);
    config.insert(QStringLiteral("instrumentModel"), deviceType);
    config.insert(QStringLiteral("probeType"),
                  XrfHardwareConfig::getProbeTypeFromInstrumentModel(deviceType));
    config.insert(QStringLiteral("hasAimingCamera"),
                  workOrder.value(QStringLiteral("hasAimingCamera")).toBool());
    config.insert(QStringLiteral("hasSampleCamera"),
                  workOrder.value(QStringLiteral("hasSampleCamera")).toBool());
    settings->setUniversalSetting(QStringLiteral("hardware.config"), &config);
}

void Worker::recordFirmwareVersions(ProvisioningRun &run)
{
    run.data.insert(QStringLiteral("k60Version"),
                    XrfHardwareManager::instance()->firmwareVersion(0).toString());
    unsigned char tubeFirmware = 0;
    if (xrf_hal::XrfEngine::instance()->getTubeFirmwareVersion(&tubeFirmware) != 0)
        tubeFirmware = 0;
    run.data.insert(QStringLiteral("tubeFirmwareVersion"), QString::number(tubeFirmware));
}

void Worker::finishProvisioningCheck(ProvisioningRun &run, QJsonObject &result)
{
    const bool passed = run.errors.isEmpty();
    if (passed) {
        qInfo() << "Provisoning check complete.";
    } else {
        QStringList simplified;
        for (const QString &error : qAsConst(run.errors))
            simplified << error.simplified();
        qWarning().noquote() << "Provisioning check failed, errors:"
                             << simplified.join(QStringLiteral(", "));
    }
    recordProvisioningOutcome(run, result);
    // A check whose outcome cannot be stored has not passed: the failed record is stored where
    // it can be, and what could not be saved is reported.
    QString saveError;
    if (!storeProvisioningResult(result, &saveError) && passed) {
        run.errors.append(saveError);
        recordProvisioningOutcome(run, result);
        storeProvisioningResult(result, &saveError);
    }
    reportProvisioningResult(result);
}

void Worker::recordProvisioningOutcome(ProvisioningRun &run, QJsonObject &result)
{
    const bool passed = run.errors.isEmpty();
    run.data.insert(QStringLiteral("status"),
                    passed ? QStringLiteral("pass") : QStringLiteral("fail"));
    run.data.insert(QStringLiteral("errors"), QJsonArray::fromStringList(run.errors));
    result.insert(QStringLiteral("data"), run.data);
    if (!result.contains(QStringLiteral("endTime")))
        result.insert(QStringLiteral("endTime"), utcNow());
    currentStepInfo.setEndTime(result.value(QStringLiteral("endTime")).toString());
    currentStepInfo.setStatus(passed ? XrfFactoryStepInfo::Passed : XrfFactoryStepInfo::Failed);
    currentStepInfo.setResultFromJsonObj(result);
}

bool Worker::storeProvisioningResult(const QJsonObject &result, QString *errorMsg)
{
    QString error;
    errorMsg->clear();
    if (!saveJsonDataToFile(currentStepInfo.resultFile(), result, &error,
                            QJsonDocument::Indented)) {
        qWarning() << "Failed to write the provisioning result file:" << error;
        errorMsg->append(error);
    }
    error.clear();
    if (!saveFactoryStepToLastResult(currentStepInfo, &error)) {
        const QString message =
            QStringLiteral("Failed to save provisioning result to lastResult.json, error:%1")
                .arg(error);
        qWarning().noquote() << message;
        errorMsg->append(errorMsg->isEmpty() ? message : QStringLiteral("; ") + message);
    }
    return errorMsg->isEmpty();
}

void Worker::reportProvisioningResult(const QJsonObject &result)
{
    emit q->updateHardwareConfig();
    emit q->provisioningCheckComplete(result);
    XrfNetworkManager::instance()->sendToCloud(XrfNetworkManager::PutProvisioningResult,
                                               QJsonObject{{QStringLiteral("body"), result}});
    putDeviceFactoryStepStatus(XrfUtils::Provisioning,
                               XrfFactoryStepInfo::StepStatus(currentStepInfo.status()));
}

bool Worker::resetToProvisioning(QString *errorMsg)
{
    if (!errorMsg)
        return false;
    QStringList differences;
    const auto config = XrfHardwareManager::instance()->hardwareConfig();
    const QString detector = config ? config->detectorSerialNumber() : QString();
    const QString tube = config ? config->tubeSerialNumber() : QString();
    const QString orderDetector = trimmedText(currentWorkOrder(), "detectorSerialNumber");
    const QString orderTube = trimmedText(currentWorkOrder(), "tubeSerialNumber");
    if (detector != orderDetector)
        differences << QStringLiteral("Installed detector serial number '%1' does notmatch with "
                                      "detector serial number '%2' in the WO.")
                           .arg(detector, orderDetector);
    if (tube != orderTube)
        differences << QStringLiteral("Installed tube serial number '%1' does not matchwith tube "
                                      "serial number '%2' in the WO.")
                           .arg(tube, orderTube);
    if (differences.isEmpty()) {
        qDebug() << "Not resetting to virgin state";
        return false;
    }
    qInfo().noquote() << "Resetting instrument to virgin state,"
                      << differences.join(QStringLiteral(", "));
    return resetInstrumentToVirginState(errorMsg);
}
