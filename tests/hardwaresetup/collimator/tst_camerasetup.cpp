// Camera collimation, factory step 4: the exposure, the step record, the result file, the cloud
// request, the completion signal and the step status.

#include "factorytestenv.h"
#include "logcapture.h"
#include "simcloudserver.h"
#include "simfaults.h"
#include "siminstrument.h"
#include "simnetworkmanager.h"
#include "xrfengine.h"

#include <QtTest>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

Worker *worker()
{
    return FactoryTestEnv::get().worker();
}

void writeJson(const QString &path, const QJsonObject &object)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QVERIFY(XrfUtils::writeJsonFile(path, QJsonDocument(object)));
}

QJsonObject readJson(const QString &path)
{
    QJsonValue value;
    XrfUtils::readJsonFile(path, &value);
    return value.toObject();
}

QString endText(XrfHardwareManager::XrfExposureEndCondition condition)
{
    return XrfHardwareManager::exposureEndConditionToString(condition);
}

} // namespace

class TstCameraSetup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void passRecordsTheStep();
    void passIsReportedToTheCloud();
    void failureTexts_data();
    void failureTexts();
    void setupDataMissing_data();
    void setupDataMissing();
    void enteringTheStepOpensTheShutter();

private:
    void writeSetupData(const QJsonObject &factorySetupInfo);
    // Starts step 4 and waits for its completion signal.
    QJsonObject runStep();

    std::unique_ptr<LogCapture> m_log;
    QObject m_receiver;
    QList<QJsonObject> m_completed;
};

void TstCameraSetup::initTestCase()
{
    m_log.reset(new LogCapture);
    auto &env = FactoryTestEnv::start();
    // Results travel wrapped in "body"; the cloud files them under the instrument's serial.
    FactoryTestEnv::get().network().setInstrumentSerial(
        XrfHardwareManager::instance()->hardwareConfig()->insSerialNumber());
    connect(env.manager(), &XrfFactoryManager::cameraCollimationSetupComplete, &m_receiver,
            [this](const QJsonObject &results) { m_completed << results; });
}

void TstCameraSetup::cleanupTestCase()
{
    FactoryTestEnv::get().settleBeforeExit();
}

void TstCameraSetup::init()
{
    FactoryTestEnv::get().instrument().faults().clear();
    FactoryTestEnv::get().network().setForcedOffline(false);
    const QJsonObject exposure{{"tubeVoltageKv", 40},
                               {"tubeCurrentUa", 5},
                               {"maxTime", 2},
                               {"useLiveTime", false},
                               {"enabled", true}};
    writeSetupData({{"cameraSetup", QJsonObject{{"exposure", exposure}}}});
    m_completed.clear();
    m_log->clear();
}

void TstCameraSetup::writeSetupData(const QJsonObject &factorySetupInfo)
{
    const int model =
        FactoryTestEnv::get().onFactoryThread([] { return worker()->modelFilesIndex(); });
    writeJson(worker()->factorySetupDataFilePaths.value(model),
              {{"version", 1},
               {"factorySetupInfo", factorySetupInfo},
               {"defaultHwParams", QJsonObject()}});
    writeJson(worker()->methodPartMapFilePaths.value(model),
              {{"methods", QJsonObject()}, {"beamSettings", QJsonObject()}});
}

QJsonObject TstCameraSetup::runStep()
{
    auto &env = FactoryTestEnv::get();
    env.onFactoryThread([&] {
        worker()->currentStepId = XrfUtils::CameraSetup;
        worker()->currentStepInfo = XrfFactoryStepInfo();
        worker()->currentStepInfo.setStepId(XrfUtils::CameraSetup);
        worker()->currentStepInfo.setStepIdStr("cameraSetup");
        env.manager()->startCameraCollimationSetup();
    });
    if (!QTest::qWaitFor([this] { return !m_completed.isEmpty(); }, 30000))
        return QJsonObject();
    return m_completed.takeFirst();
}

void TstCameraSetup::passRecordsTheStep()
{
    FactoryTestEnv::get().network().setForcedOffline(true);
    const QJsonObject results = runStep();
    QCOMPARE(results.value("status").toString(), QStringLiteral("pass"));
    QCOMPARE(results.value("statusMsg").toString(), QStringLiteral("Camera collimation passed."));
    QVERIFY(results.value("inputCountRate").toDouble() > 0);

    const XrfFactoryStepInfo record = worker()->currentStepInfo;
    QCOMPARE(record.status(), int(XrfFactoryStepInfo::Passed));
    QVERIFY(!record.startTime().isEmpty());
    QVERIFY(!record.endTime().isEmpty());
    QVERIFY(QRegularExpression("/cameraSetup/cameraSetup_\\d+_\\d\\d-\\d\\d-\\d{4}_\\d\\d-\\d\\d"
                               "\\.json$")
                .match(record.resultFile())
                .hasMatch());
    QCOMPARE(readJson(record.resultFile()), results);
    const QJsonObject stored =
        readJson(FactoryTestEnv::get().lastResultPath()).value("cameraSetup").toObject();
    QCOMPARE(stored.value("status").toInt(), 2);
    QCOMPARE(FactoryTestEnv::get().onFactoryThread([] { return worker()->currentTaskProgress; }),
             100.0);
}

void TstCameraSetup::passIsReportedToTheCloud()
{
    auto &env = FactoryTestEnv::get();
    QTRY_VERIFY(env.onFactoryThread([] { return worker()->cloudConnected; }));
    const QString serial = XrfHardwareManager::instance()->hardwareConfig()->insSerialNumber();
    const int sent = env.cloud().requestCount(XrfNetworkManager::PutCameraCollimatorSetupResult);
    const QJsonObject results = runStep();
    QCOMPARE(results.value("status").toString(), QStringLiteral("pass"));
    QTRY_COMPARE(env.cloud().requestCount(XrfNetworkManager::PutCameraCollimatorSetupResult),
                 sent + 1);
    QTRY_VERIFY(!env.cloud().receivedResults(serial, 309).isEmpty());
    QJsonObject uploaded = env.cloud().receivedResults(serial, 309).last();
    if (uploaded.contains("body"))
        uploaded = uploaded.value("body").toObject();
    QCOMPARE(uploaded, results);
    QTRY_COMPARE(env.cloud().stepStatuses(serial).value(XrfUtils::CameraSetup), 2);
    // An accepted upload removes the result file.
    const QString file = worker()->currentStepInfo.resultFile();
    QTRY_VERIFY(!QFile::exists(file));
}

void TstCameraSetup::failureTexts_data()
{
    QTest::addColumn<bool>("hardwareError");
    QTest::addColumn<QString>("message");

    using HM = XrfHardwareManager;
    QTest::newRow("interlock") << false
                               << "Camera collimation failed., Exposure ended due to:"
            + endText(HM::EndInterlockOpened);
    QTest::newRow("hardware error") << true
                                    << "Camera collimation failed., Exposure ended due to:"
            + endText(HM::EndHardwareError) + ", Faults:HV supply: arc counter 1";
}

void TstCameraSetup::failureTexts()
{
    QFETCH(bool, hardwareError);
    QFETCH(QString, message);
    SimFaults &faults = FactoryTestEnv::get().instrument().faults();
    if (hardwareError)
        faults.raiseHardwareErrorAfter(
            0.5, XrfErrorInfo(0x31, "Tube arc detected", "HV supply: arc counter 1"), true, 1);
    else
        faults.endExposureAfter(0.5, XrfHardwareManager::EndInterlockOpened, false, 1);
    const QJsonObject results = runStep();
    QCOMPARE(results.value("status").toString(), QStringLiteral("fail"));
    QCOMPARE(results.value("statusMsg").toString(), message);
    QVERIFY(m_log->contains(message, QtWarningMsg));
    QCOMPARE(worker()->currentStepInfo.status(), int(XrfFactoryStepInfo::Failed));
}

void TstCameraSetup::setupDataMissing_data()
{
    QTest::addColumn<QJsonObject>("setupInfo");
    QTest::addColumn<QString>("message");
    QTest::newRow("no cameraSetup")
        << QJsonObject{{"other", QJsonObject()}}
        << "Failed to find setup params for 'cameraSetup' in factory_setup_data.json.";
    QTest::newRow("exposure of the wrong type")
        << QJsonObject{{"cameraSetup", QJsonObject{{"exposure", QJsonObject{{"maxTime", "x"}}}}}}
        << "Failed to load 'exposure' for cameraSetup from factory_setup_data.json.";
}

void TstCameraSetup::setupDataMissing()
{
    QFETCH(QJsonObject, setupInfo);
    QFETCH(QString, message);
    writeSetupData(setupInfo);
    const int shots = FactoryTestEnv::get().instrument().faults().operationCalls("startExposure");
    const QJsonObject results = runStep();
    QCOMPARE(results.value("statusMsg").toString(), message);
    QCOMPARE(results.value("status").toString(), QStringLiteral("fail"));
    QCOMPARE(FactoryTestEnv::get().instrument().faults().operationCalls("startExposure"), shots);
}

void TstCameraSetup::enteringTheStepOpensTheShutter()
{
    auto &env = FactoryTestEnv::get();
    env.onFactoryThread([] { worker()->currentStepId = XrfUtils::Provisioning; });
    env.onFactoryThread([&] { env.manager()->initFactoryStep("cameraSetup"); });
    xrf_hal::ShutterStatus status = xrf_hal::ShutterClosed;
    QCOMPARE(xrf_hal::XrfEngine::instance()->getShutterStatus(&status), 0);
    QCOMPARE(status, xrf_hal::ShutterOpen);
    QVERIFY(m_log->contains("Shutter opened."));
}

QTEST_GUILESS_MAIN(TstCameraSetup)
#include "tst_camerasetup.moc"
