// The provisioning check: every finding, the result record and file, and what reaches the cloud.

#include "factorytestenv.h"
#include "logcapture.h"
#include "simcloudserver.h"
#include "simfaults.h"
#include "siminstrument.h"
#include "simnetworkmanager.h"
#include "simpresets.h"
#include "xrfhardwaremanager.h"
#include "xrfnetworkmanager.h"
#include "xrfsettingsmanager.h"

#include <QtTest>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

// The default simulated instrument as its work order describes it.
QJsonObject matchingWorkOrder()
{
    const SimModelPreset preset = SimModelPreset::byModel("default");
    return {{"deviceType", "TARVO-K100"},
            {"tubeSerialNumber", preset.tube.serialNumber},
            {"tubeType", preset.tube.model},
            {"detectorSerialNumber", preset.detector.serialNumber},
            {"detectorType", preset.detector.model},
            {"filterType", preset.wheelPartNumber},
            {"hasAimingCamera", true},
            {"hasSampleCamera", true},
            {"isUnCollimated", false}};
}

QJsonObject setupParams()
{
    const SimModelPreset preset = SimModelPreset::byModel("default");
    return {{"models",
             QJsonObject{{preset.tube.model + "_" + preset.detector.model,
                          QJsonObject{{"family", "default"}}}}},
            {"filter",
             QJsonObject{{preset.wheelPartNumber, QJsonObject{{"positions", QJsonArray()}}},
                         {"ASSY-20815",
                          QJsonObject{{"positions",
                                       QJsonArray{QJsonObject{{"diameterInMicrons", 2718},
                                                              {"approxEncoder", 0},
                                                              {"materialAtomicNumber", 13},
                                                              {"thicknessInMicrons", 25}}}}}}}}};
}

QStringList errorsOf(const QJsonObject &result)
{
    QStringList errors;
    for (const QJsonValue &error : result.value("data").toObject().value("errors").toArray())
        errors << error.toString();
    return errors;
}

} // namespace

class TstProvisioning : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void matchingHardwarePassesAndIsRecorded();
    void serialAndModelFindingsInOrder();
    void workOrderBlanksAreTrimmed();
    void cameraCombinations_data();
    void cameraCombinations();
    void filterFindings_data();
    void filterFindings();
    void missingFanNeverFails();
    void proximitySensorRequiredOnlyWhereFitted_data();
    void proximitySensorRequiredOnlyWhereFitted();
    void macChecks_data();
    void macChecks();
    void macFuseCommandsAreOnlyLogged();
    void settingsReceiveModelAndHardwareConfig();
    void withoutAWorkOrderTheCheckFailsAndWritesNoSetting();
    void unreadableWorkOrderFailsNamingFileAndKey_data();
    void unreadableWorkOrderFailsNamingFileAndKey();
    void resetToProvisioningOnlyWhenHardwareChanged();

private:
    Worker *worker() const { return FactoryTestEnv::get().worker(); }
    QJsonObject runCheck(const QJsonObject &workOrder);
    void amend(const std::function<void(SimModelPreset &)> &change)
    {
        FactoryTestEnv::get().instrument().amendHardware(change);
    }

    std::unique_ptr<LogCapture> m_log;
};

void TstProvisioning::initTestCase()
{
    m_log.reset(new LogCapture);
    FactoryTestEnv::start();
}

// The cloud's answers to the last requests must not arrive after the test log has closed.
void TstProvisioning::cleanupTestCase()
{
    FactoryTestEnv::get().settleBeforeExit();
}

void TstProvisioning::init()
{
    const SimModelPreset preset = SimModelPreset::byModel("default");
    amend([&](SimModelPreset &p) { p = preset; });
    QJsonObject empty;
    XrfSettingsManager::instance()->setUniversalSetting("hardware.config", &empty);
    FactoryTestEnv::get().onFactoryThread([&] {
        worker()->defaultHwParams = setupParams();
        worker()->currentStepId = XrfUtils::Provisioning;
    });
    m_log->clear();
}

QJsonObject TstProvisioning::runCheck(const QJsonObject &workOrder)
{
    auto &env = FactoryTestEnv::get();
    QSignalSpy complete(env.manager(), &XrfFactoryManager::provisioningCheckComplete);
    env.onFactoryThread([&] { env.manager()->startProvisioningCheck(workOrder); });
    if (complete.count() != 1)
        return QJsonObject();
    return complete.first().first().toJsonObject();
}

void TstProvisioning::matchingHardwarePassesAndIsRecorded()
{
    auto &env = FactoryTestEnv::get();
    const QString serial = XrfHardwareManager::instance()->hardwareConfig()->insSerialNumber();
    const int sentBefore = env.cloud().requestCount(XrfNetworkManager::PutProvisioningResult);
    QSignalSpy refresh(env.manager(), &XrfFactoryManager::updateHardwareConfig);
    const QJsonObject result = runCheck(matchingWorkOrder());
    const QJsonObject data = result.value("data").toObject();
    QCOMPARE(errorsOf(result), QStringList());
    QCOMPARE(data.value("status").toString(), QStringLiteral("pass"));
    QCOMPARE(result.value("serial").toString(), serial);
    QVERIFY(!result.value("startTime").toString().isEmpty());
    QVERIFY(!result.value("endTime").toString().isEmpty());
    for (const char *key :
         {"tubeSerialNumber", "tubePartNumber", "detectorSerialNumber", "detectorPartNumber",
          "digitalBoardSerialNumber", "filterWheelDetected", "filterType", "fanDetected",
          "proximitySensorDetected", "gpsDetected", "aimingCameraDetected", "sampleCameraDetected",
          "k60Version", "tubeFirmwareVersion"})
        QVERIFY2(data.contains(key), key);
    QCOMPARE(data.value("gpsDetected").toBool(), false);
    QCOMPARE(refresh.count(), 1);

    // The record, the result file and the cloud.
    const XrfFactoryStepInfo record = worker()->currentStepInfo;
    QCOMPARE(record.status(), int(XrfFactoryStepInfo::Passed));
    QVERIFY(
        QRegularExpression(
            "provisioningCheck/provisioningCheck_\\d+_\\d\\d-\\d\\d-\\d{4}_\\d\\d-\\d\\d\\.json$")
            .match(record.resultFile())
            .hasMatch());
    QJsonValue onDisk;
    QVERIFY(XrfUtils::readJsonFile(record.resultFile(), &onDisk));
    QCOMPARE(onDisk.toObject(), result);
    QJsonValue lastResult;
    QVERIFY(XrfUtils::readJsonFile(env.lastResultPath(), &lastResult));
    QCOMPARE(lastResult.toObject().value("provisioning").toObject().value("status").toInt(), 2);
    QTRY_COMPARE(env.cloud().requestCount(XrfNetworkManager::PutProvisioningResult),
                 sentBefore + 1);
    QTRY_COMPARE(env.cloud().stepStatuses(serial).value(XrfUtils::Provisioning), 2);
}

void TstProvisioning::serialAndModelFindingsInOrder()
{
    QJsonObject order = matchingWorkOrder();
    order["tubeSerialNumber"] = "T-1";
    order["tubeType"] = "XT-1";
    order["detectorSerialNumber"] = "D-1";
    order["detectorType"] = "XDET-1";
    const SimModelPreset p = SimModelPreset::byModel("default");
    const QJsonObject result = runCheck(order);
    QCOMPARE(errorsOf(result),
             QStringList({QString("Installed tube serial does not match with "
                                  "workorder.\nInstalled: %1\nExpected: T-1")
                              .arg(p.tube.serialNumber),
                          QString("Installed tube model does not match with workOrder.\nInstalled: "
                                  "%1\nExpected: XT-1")
                              .arg(p.tube.model),
                          QString("Installed detector serial does not match with "
                                  "workOrder.\nInstalled: %1\nExpected: D-1")
                              .arg(p.detector.serialNumber),
                          QString("Installed detector model does not match with "
                                  "workOrder.\nInstalled: %1\nExpected: XDET-1")
                              .arg(p.detector.model)}));
    QCOMPARE(result.value("data").toObject().value("status").toString(), QStringLiteral("fail"));
    QCOMPARE(worker()->currentStepInfo.status(), int(XrfFactoryStepInfo::Failed));
    QVERIFY(m_log->contains("Provisioning check failed, errors:", QtWarningMsg));

    // A swapped tube is found the same way.
    amend([](SimModelPreset &preset) { preset.tube.serialNumber = "T50-77777"; });
    QCOMPARE(errorsOf(runCheck(matchingWorkOrder())).size(), 1);
}

void TstProvisioning::workOrderBlanksAreTrimmed()
{
    QJsonObject order = matchingWorkOrder();
    order["tubeSerialNumber"] = "  " + order["tubeSerialNumber"].toString() + " \t";
    order["detectorType"] = order["detectorType"].toString() + "  ";
    QCOMPARE(errorsOf(runCheck(order)), QStringList());
}

void TstProvisioning::cameraCombinations_data()
{
    QTest::addColumn<int>("installed");
    QTest::addColumn<bool>("aimingOrdered");
    QTest::addColumn<bool>("sampleOrdered");
    QTest::addColumn<QStringList>("errors");
    const QString noAiming = "Failed to find Aiming(USB) camera.";
    const QString extraAiming = "Aiming(USB) camera is found on an instrument but it's not "
                                "supposed to have one as per the workorder.";
    const QString noSample = "Failed to find Sample(MIPI) camera.";
    const QString extraSample = "Sample(MIPI) camera is found on an instrument but it's not "
                                "supposed to have one as per the workorder.";
    QTest::newRow("none, none ordered") << 0 << false << false << QStringList();
    QTest::newRow("none, both ordered") << 0 << true << true << QStringList{noAiming, noSample};
    QTest::newRow("aiming, aiming ordered") << 1 << true << false << QStringList();
    QTest::newRow("aiming, sample ordered")
        << 1 << false << true << QStringList{extraAiming, noSample};
    QTest::newRow("sample, none ordered") << 2 << false << false << QStringList{extraSample};
    QTest::newRow("both, aiming ordered") << 3 << true << false << QStringList{extraSample};
}

void TstProvisioning::cameraCombinations()
{
    QFETCH(int, installed);
    QFETCH(bool, aimingOrdered);
    QFETCH(bool, sampleOrdered);
    QFETCH(QStringList, errors);
    amend([&](SimModelPreset &p) { p.installedCamera = installed; });
    QJsonObject order = matchingWorkOrder();
    order["hasAimingCamera"] = aimingOrdered;
    order["hasSampleCamera"] = sampleOrdered;
    const QJsonObject result = runCheck(order);
    QCOMPARE(errorsOf(result), errors);
    const QJsonObject data = result.value("data").toObject();
    QCOMPARE(data.value("aimingCameraDetected").toBool(), installed == 1 || installed == 3);
    QCOMPARE(data.value("sampleCameraDetected").toBool(), installed == 2 || installed == 3);
}

void TstProvisioning::filterFindings_data()
{
    QTest::addColumn<QString>("wheel");
    QTest::addColumn<QString>("filterType");
    QTest::addColumn<QStringList>("errors");
    const QString motorised = SimModelPreset::byModel("default").wheelPartNumber;
    QTest::newRow("wheel, wheel ordered") << motorised << motorised << QStringList();
    QTest::newRow("fixed, fixed ordered") << "ASSY-20815"
                                          << "ASSY-20815" << QStringList();
    QTest::newRow("wheel, fixed ordered")
        << motorised << "ASSY-20815"
        << QStringList{"Fixed Filter wheel detected in filter required device"};
    QTest::newRow("fixed, wheel ordered")
        << "ASSY-20815" << motorised
        << QStringList{"Non filter wheel detected in Fixed Filter device."};
    QTest::newRow("unknown part number")
        << motorised << "ASSY-00000"
        << QStringList{"Filter type/PN in the workorder 'ASSY-00000' does not match with any of "
                       "the available filter part numbers.\nMake sure workOrder in the "
                       "visual/cloud has right part number for filter."};
}

void TstProvisioning::filterFindings()
{
    QFETCH(QString, wheel);
    QFETCH(QString, filterType);
    QFETCH(QStringList, errors);
    amend([&](SimModelPreset &p) { p.wheelPartNumber = wheel; });
    QJsonObject order = matchingWorkOrder();
    order["filterType"] = filterType;
    const QJsonObject result = runCheck(order);
    QCOMPARE(errorsOf(result), errors);
    QCOMPARE(result.value("data").toObject().value("filterWheelDetected").toBool(),
             wheel == SimModelPreset::byModel("default").wheelPartNumber);
    QCOMPARE(result.value("data").toObject().value("filterType").toString(), filterType);
}

void TstProvisioning::missingFanNeverFails()
{
    amend([](SimModelPreset &p) { p.fanPresent = false; });
    const QJsonObject result = runCheck(matchingWorkOrder());
    QCOMPARE(errorsOf(result), QStringList());
    QCOMPARE(result.value("data").toObject().value("fanDetected").toBool(), true);
    QVERIFY(
        m_log->contains("****NOTE**** Fan not detected, but forcing fanDetected to true anyway"));
}

void TstProvisioning::proximitySensorRequiredOnlyWhereFitted_data()
{
    QTest::addColumn<QString>("deviceType");
    QTest::addColumn<bool>("required");
    QTest::newRow("default") << "TARVO-K100" << true;
    QTest::newRow("HD") << "TARVO-KHS" << false;
    QTest::newRow("Harrier") << "TARVO2-H100" << true;
    QTest::newRow("Harrier XXX") << "TARVO2-XXX" << false;
}

void TstProvisioning::proximitySensorRequiredOnlyWhereFitted()
{
    QFETCH(QString, deviceType);
    QFETCH(bool, required);
    amend([](SimModelPreset &p) { p.proximitySensorPresent = false; });
    QJsonObject order = matchingWorkOrder();
    order["deviceType"] = deviceType;
    const QStringList errors = errorsOf(runCheck(order));
    QCOMPARE(errors.contains("Failed to find proximity sensor"), required);
}

void TstProvisioning::macChecks_data()
{
    QTest::addColumn<QString>("boardSerial");
    QTest::addColumn<QString>("orderMac");
    QTest::addColumn<QString>("overrideMac");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("recorded");
    const SimModelPreset p = SimModelPreset::byModel("default");
    const QString board = "PCBA-1|" + p.xrfEngineSerialNumber;
    const QString mac = p.ethernetMac;
    QTest::newRow("match, lower case order") << board << mac.toLower() << ""
                                             << "" << mac.toLower();
    QTest::newRow("board serial differs")
        << "PCBA-1|DB-000000" << mac << ""
        << "Installed digital board SN does not match with workOrder.\nInstalled: "
            + p.xrfEngineSerialNumber + "\nExpected: DB-000000"
        << "";
    QTest::newRow("empty order MAC") << board << ""
                                     << ""
                                     << "MAC address is empty from the work order"
                                     << "";
    QTest::newRow("five parts")
        << board << "02:1A:7F:00:11"
        << ""
        << "MAC address in workorder format is invalid.\nMAC Address: 02:1A:7F:00:11"
        << "";
    QTest::newRow("not hex")
        << board << "02:1A:7F:00:11:ZZ"
        << ""
        << "MAC address in workorder format is invalid.\nMAC Address: 02:1A:7F:00:11:ZZ"
        << "";
    QTest::newRow("different MAC") << board << "02:1A:7F:00:99:98"
                                   << ""
                                   << "Trying to burn in the MAC address. Please logout and power "
                                      "cycle the unit.\nWO MAC: 02:1A:7F:00:99:98\nInstalled MAC: "
            + mac << "";
    QTest::newRow("override matches")
        << board << "02:1A:7F:00:99:98" << mac.toLower() << "" << mac.toLower();
    QTest::newRow("override differs")
        << board << mac << "02:1A:7F:00:99:97"
        << "Trying to apply override MAC address. Please logout and power cycle the unit.\nWO MAC: "
            + mac + "\nInstalled MAC: " + mac + "\nOverride MAC:02:1A:7F:00:99:97"
        << "";
    QTest::newRow("five-part override is ignored") << board << mac << "02:1A:7F:00:99"
                                                   << "" << mac;
}

void TstProvisioning::macChecks()
{
    QFETCH(QString, boardSerial);
    QFETCH(QString, orderMac);
    QFETCH(QString, overrideMac);
    QFETCH(QString, error);
    QFETCH(QString, recorded);
    QJsonObject config{{"digitalBoardMacAddressOverride", overrideMac}};
    XrfSettingsManager::instance()->setUniversalSetting("hardware.config", &config);
    QJsonObject order = matchingWorkOrder();
    order["deviceType"] = "TARVO-MCW";
    order["digitalBoardSerialNumber"] = boardSerial;
    order["digitalBoardMacAddress"] = orderMac;
    const QJsonObject result = runCheck(order);
    QStringList errors = errorsOf(result);
    errors.removeAll("Failed to find proximity sensor");
    QCOMPARE(errors, error.isEmpty() ? QStringList() : QStringList{error});
    QCOMPARE(result.value("data").toObject().value("digitalBoardMacAddress").toString(), recorded);
}

void TstProvisioning::macFuseCommandsAreOnlyLogged()
{
    const SimModelPreset p = SimModelPreset::byModel("default");
    QJsonObject order = matchingWorkOrder();
    order["deviceType"] = "TARVO-MMR";
    order["digitalBoardSerialNumber"] = p.xrfEngineSerialNumber;
    order["digitalBoardMacAddress"] = "0A:0B:0C:0D:0E:0F";
    runCheck(order);
    QVERIFY(m_log->contains("Writing MAC0  cmd: echo 0x0C0D0E0F > /sys/fsl_otp/HW_OCOTP_MAC0"));
    QVERIFY(m_log->contains("Writing MAC1  cmd: echo 0x0A0B > /sys/fsl_otp/HW_OCOTP_MAC1"));
}

void TstProvisioning::settingsReceiveModelAndHardwareConfig()
{
    QJsonObject order = matchingWorkOrder();
    order["deviceType"] = "TARVO-KTR";
    order["isUnCollimated"] = true;
    order["hasSampleCamera"] = false;
    runCheck(order);
    QJsonObject model;
    QCOMPARE(
        XrfSettingsManager::instance()->getUniversalSetting("hardware.instrumentModel", &model), 0);
    QCOMPARE(model.value("family").toString(), QStringLiteral("default"));
    QJsonObject config;
    XrfSettingsManager::instance()->getUniversalSetting("hardware.config", &config);
    QCOMPARE(config.value("instrumentModel").toString(), QStringLiteral("TARVO-KTR"));
    QCOMPARE(config.value("probeType").toString(), QStringLiteral("PIN"));
    QCOMPARE(config.value("collimationAllowed").toBool(), false);
    QCOMPARE(config.value("HasCollimation").toBool(), false);
    QCOMPARE(config.value("hasAimingCamera").toBool(), true);
    QCOMPARE(config.value("hasSampleCamera").toBool(), false);
    QVERIFY(XrfSettingsManager::instance()->isTarvoLitePin());
}

void TstProvisioning::withoutAWorkOrderTheCheckFailsAndWritesNoSetting()
{
    auto &env = FactoryTestEnv::get();
    QFile::remove(env.factoryDataPath() + "/workOrderInfo.json");
    env.onFactoryThread([&] { worker()->workOrder = QJsonObject(); });
    XrfSettingsManager *settings = XrfSettingsManager::instance();
    QJsonObject config{{"instrumentModel", "TARVO-K100"}, {"hasAimingCamera", true}};
    QJsonObject model{{"family", "earlier"}};
    settings->setUniversalSetting("hardware.config", &config);
    settings->setUniversalSetting("hardware.instrumentModel", &model);
    const int filterModeWrites = env.instrument().faults().operationCalls("setFilterType");

    const QJsonObject result = runCheck(QJsonObject());
    QCOMPARE(result.value("data").toObject().value("status").toString(), QStringLiteral("fail"));
    QCOMPARE(errorsOf(result),
             QStringList{"There is no work order to check the installed hardware against. Get "
                         "the work order from the cloud first."});
    QJsonObject stored;
    settings->getUniversalSetting("hardware.config", &stored);
    QCOMPARE(stored, config);
    settings->getUniversalSetting("hardware.instrumentModel", &stored);
    QCOMPARE(stored, model);
    QCOMPARE(env.instrument().faults().operationCalls("setFilterType"), filterModeWrites);
}

void TstProvisioning::unreadableWorkOrderFailsNamingFileAndKey_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("problem");
    QTest::newRow("malformed") << QByteArray("{\"workOrder\": {") << "Invalid JSON file %1, error:";
    QTest::newRow("not an object") << QByteArray("[1, 2]") << "%1 does not hold a JSON object";
    QTest::newRow("no workOrder") << QByteArray("{\"workorder\": {}}")
                                  << "%1 has no \"workOrder\" object";
}

// Not "Installed tube serial does not match ... Expected:" with nothing after it.
void TstProvisioning::unreadableWorkOrderFailsNamingFileAndKey()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, problem);
    auto &env = FactoryTestEnv::get();
    const QString path = env.factoryDataPath() + "/workOrderInfo.json";
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    file.close();
    // An order read earlier is not the one on file.
    env.onFactoryThread([&] { worker()->workOrder = matchingWorkOrder(); });

    const QStringList errors = errorsOf(runCheck(QJsonObject()));
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.first().startsWith("The work order cannot be read: " + problem.arg(path)),
             qPrintable(errors.first()));
    QVERIFY(errors.first().endsWith("Get the work order from the cloud again."));
    QFile::remove(path);
}

void TstProvisioning::resetToProvisioningOnlyWhenHardwareChanged()
{
    auto &env = FactoryTestEnv::get();
    env.onFactoryThread([&] { worker()->workOrder = matchingWorkOrder(); });
    QString error = "stale";
    QVERIFY(!env.onFactoryThread([&] { return worker()->resetToProvisioning(&error); }));
    QVERIFY(m_log->contains("Not resetting to virgin state"));
    QVERIFY(!env.onFactoryThread([&] { return worker()->resetToProvisioning(nullptr); }));
}

QTEST_GUILESS_MAIN(TstProvisioning)
#include "tst_provisioning.moc"
