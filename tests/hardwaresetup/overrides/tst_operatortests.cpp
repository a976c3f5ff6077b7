// The real-time clock check, the instrument buttons and customer IO operator tests, and the
// button result of an instrument without the sub-step in its run.

#include "factorytestenv.h"
#include "logcapture.h"
#include "simcloudserver.h"
#include "siminstrument.h"
#include "simnetworkmanager.h"
#include "simrtc.h"
#include "simscenarios.h"
#include "substeprunner.h"
#include "xrfsettingsmanager.h"

#include <QtTest>

namespace {

const QString kButtons = QStringLiteral("instrumentButtonsTest");
const QString kCustomerIO = QStringLiteral("customerIOTest");

SimInstrument &instrument()
{
    return FactoryTestEnv::get().instrument();
}

SubStepRunner::Worker *worker()
{
    return FactoryTestEnv::get().worker();
}

void setInstrumentModel(const QString &model)
{
    QJsonObject config;
    XrfSettingsManager::instance()->getUniversalSetting("hardware.config", &config);
    config.insert("instrumentModel", model);
    XrfSettingsManager::instance()->setUniversalSetting("hardware.config", &config);
}

// The count once the uploads of earlier runs have arrived.
int settledRequestCount(int requestId)
{
    FactoryTestEnv::get().waitForCloudRequests();
    return FactoryTestEnv::get().cloud().requestCount(requestId);
}

} // namespace

class TstOperatorTests : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void clockToleranceBoundaries_data();
    void clockToleranceBoundaries();
    void clockProgramFailures_data();
    void clockProgramFailures();

    void buttonsTestWaitsForTheOperator();
    void stoppedClockFailsTheButtonsTest();
    void customerIOResult();
    void resultsOutsideHardwareSetupAreIgnored();
    void buttonResultOfAnInstrumentWithoutTheSubStep();

private:
    // A clock program that prints `output` and exits with `exitCode`.
    QString fakeClock(const QString &output, int exitCode = 0);

    std::unique_ptr<LogCapture> m_log;
    QTemporaryDir m_programs;
};

void TstOperatorTests::initTestCase()
{
    m_log.reset(new LogCapture);
    FactoryTestEnv::start();
    QVERIFY(m_programs.isValid());
    // Results travel wrapped in "body"; the cloud files them under the instrument's serial.
    FactoryTestEnv::get().network().setInstrumentSerial(
        XrfHardwareManager::instance()->hardwareConfig()->insSerialNumber());
}

void TstOperatorTests::cleanupTestCase()
{
    FactoryTestEnv::get().settleBeforeExit();
}

void TstOperatorTests::init()
{
    instrument().rtc().run();
    setInstrumentModel("TARVO-XRF");
    m_log->clear();
}

void TstOperatorTests::cleanup()
{
    XrfUtils::setHwClockProgram(instrument().rtc().programPath());
    FactoryTestEnv::get().onFactoryThread([] { worker()->operatorTestPending.clear(); });
}

QString TstOperatorTests::fakeClock(const QString &output, int exitCode)
{
    static int count = 0;
    const QString path = m_programs.filePath(QStringLiteral("clock%1").arg(++count));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(
        QStringLiteral("#!/bin/sh\nprintf '%1\\n'\nexit %2\n").arg(output).arg(exitCode).toUtf8());
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

void TstOperatorTests::clockToleranceBoundaries_data()
{
    QTest::addColumn<QString>("clock");
    QTest::addColumn<QTime>("now");
    QTest::addColumn<bool>("passes");

    const QString clock = QStringLiteral("2026-12-06 10:00:00.123456+00:00");
    QTest::newRow("equal") << clock << QTime(10, 0, 0) << true;
    QTest::newRow("ahead by the tolerance") << clock << QTime(10, 0, 10) << true;
    QTest::newRow("ahead one second beyond") << clock << QTime(10, 0, 11) << false;
    QTest::newRow("behind by the tolerance") << clock << QTime(9, 59, 50) << true;
    QTest::newRow("behind one second beyond") << clock << QTime(9, 59, 49) << false;
    QTest::newRow("across midnight")
        << QStringLiteral("2026-12-06 23:59:58.000000+00:00") << QTime(0, 0, 3) << true;
}

void TstOperatorTests::clockToleranceBoundaries()
{
    QFETCH(QString, clock);
    QFETCH(QTime, now);
    QFETCH(bool, passes);
    XrfUtils::setHwClockProgram(fakeClock(clock));
    const bool passed =
        FactoryTestEnv::get().onFactoryThread([&] { return worker()->doTimeCheck(now, 10); });
    QCOMPARE(passed, passes);
    QVERIFY(m_log->contains(passes ? "Passed Time check." : "Failed Time check."));
}

void TstOperatorTests::clockProgramFailures_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("missing");
    QTest::addColumn<QString>("warning");

    QTest::newRow("exit code") << "" << 3 << false << "command failed, exit code:3";
    QTest::newRow("no program") << "" << 0 << true << "command did not execute.";
    QTest::newRow("no time in the output")
        << "hwclock: cannot access the RTC" << 0 << false << "Failed to read the time from";
}

void TstOperatorTests::clockProgramFailures()
{
    QFETCH(QString, output);
    QFETCH(int, exitCode);
    QFETCH(bool, missing);
    QFETCH(QString, warning);
    const QString program =
        missing ? m_programs.filePath(QStringLiteral("absent")) : fakeClock(output, exitCode);
    XrfUtils::setHwClockProgram(program);
    const bool passed = FactoryTestEnv::get().onFactoryThread(
        [&] { return worker()->doTimeCheck(QTime::currentTime(), 10); });
    QVERIFY(!passed);
    QVERIFY(m_log->contains(warning, QtWarningMsg));
    QVERIFY(m_log->contains(program));
}

void TstOperatorTests::buttonsTestWaitsForTheOperator()
{
    auto &env = FactoryTestEnv::get();
    SubStepRunner::prepare(kButtons, {{"rtcClockTimeDiffToleranceInSec", 5}});
    SubStepRunner::start(kButtons);
    QVERIFY(!SubStepRunner::step(kButtons).isDone());
    QCOMPARE(env.onFactoryThread([] { return worker()->currentTaskStatus; }),
             QStringLiteral("Starting instrument buttons test..."));
    QVERIFY(m_log->contains("Passed Time check."));

    // A customer IO result does not answer the buttons test.
    env.onFactoryThread([] {
        worker()->onHardwareSetupCustomerIOTestComplete({{"status", true}});
    });
    QVERIFY(!SubStepRunner::step(kButtons).isDone());

    const QJsonObject result{
        {"status", true}, {"statusString", "All 4 buttons respond"}, {"buttons", 4}};
    env.onFactoryThread([&] { env.manager()->onHardwareSetupButtonTestComplete(result); });
    const XrfHardwareSetupStepInfo step = SubStepRunner::step(kButtons);
    QVERIFY(step.isDone());
    QVERIFY(!step.hasFailed());
    QCOMPARE(step.statusMsg(), QStringLiteral("All 4 buttons respond"));
    QCOMPARE(step.results(), result);
}

void TstOperatorTests::stoppedClockFailsTheButtonsTest()
{
    QVERIFY(SimScenarios::apply("rtc-stopped", instrument()));
    const XrfHardwareSetupStepInfo step = SubStepRunner::run(kButtons, QJsonObject());
    QVERIFY(step.hasFailed());
    QCOMPARE(step.statusMsg(),
             QStringLiteral("RTC not moving forward, try replacing digital board"));

    // A late operator result cannot turn the failed clock check into a pass.
    FactoryTestEnv::get().onFactoryThread([] {
        worker()->onHardwareSetupButtonTestComplete({{"status", true}, {"statusString", "ok"}});
    });
    QVERIFY(SubStepRunner::step(kButtons).hasFailed());
}

void TstOperatorTests::customerIOResult()
{
    auto &env = FactoryTestEnv::get();
    SubStepRunner::prepare(kCustomerIO, QJsonObject());
    SubStepRunner::start(kCustomerIO);
    QCOMPARE(env.onFactoryThread([] { return worker()->currentTaskStatus; }),
             QStringLiteral("Starting customer IO test..."));
    const QJsonObject result{{"status", false}, {"statusString", "Output line 2 stuck low"}};
    // After an abort the run does not go on, whatever the operator reports.
    env.onFactoryThread([&] {
        worker()->userAbort = true;
        env.manager()->onHardwareSetupCustomerIOTestComplete(result);
        worker()->userAbort = false;
    });
    QVERIFY(!SubStepRunner::step(kCustomerIO).isDone());
    env.onFactoryThread([&] { env.manager()->onHardwareSetupCustomerIOTestComplete(result); });
    const XrfHardwareSetupStepInfo step = SubStepRunner::step(kCustomerIO);
    QVERIFY(step.isDone());
    QVERIFY(step.hasFailed());
    QCOMPARE(step.statusMsg(), QStringLiteral("Output line 2 stuck low"));
    QCOMPARE(step.results(), result);
}

void TstOperatorTests::resultsOutsideHardwareSetupAreIgnored()
{
    auto &env = FactoryTestEnv::get();
    SubStepRunner::prepare(kCustomerIO, QJsonObject());
    SubStepRunner::start(kCustomerIO);
    const int sent = settledRequestCount(XrfNetworkManager::PutHardwareTestResult);
    env.onFactoryThread([] {
        worker()->currentStepId = XrfUtils::Stability;
        worker()->onHardwareSetupCustomerIOTestComplete({{"status", true}});
        worker()->onHardwareSetupButtonTestComplete({{"status", true}});
    });
    QVERIFY(!SubStepRunner::step(kCustomerIO).isDone());
    env.waitForCloudRequests();
    QCOMPARE(env.cloud().requestCount(XrfNetworkManager::PutHardwareTestResult), sent);
}

void TstOperatorTests::buttonResultOfAnInstrumentWithoutTheSubStep()
{
    auto &env = FactoryTestEnv::get();
    setInstrumentModel("TARVO-KHP");
    const QString serial = XrfHardwareManager::instance()->hardwareConfig()->insSerialNumber();
    const int sent = settledRequestCount(XrfNetworkManager::PutHardwareTestResult);
    const QJsonObject result{{"status", true}, {"statusString", "Buttons fine"}};
    const XrfFactoryStepInfo stabilityRecord = env.onFactoryThread([&] {
        worker()->currentStepId = XrfUtils::Stability;
        worker()->currentStepInfo = XrfFactoryStepInfo();
        worker()->currentStepInfo.setStepId(XrfUtils::Stability);
        worker()->currentStepInfo.setStepIdStr("stability");
        worker()->currentStepInfo.setResultFile(env.factoryDataPath() + "/stability.json");
        worker()->onHardwareSetupButtonTestComplete(result);
        return worker()->currentStepInfo;
    });
    QCOMPARE(stabilityRecord.stepIdStr(), QStringLiteral("stability"));
    QVERIFY(!QFile::exists(env.factoryDataPath() + "/stability.json"));
    QTRY_COMPARE(env.cloud().requestCount(XrfNetworkManager::PutHardwareTestResult), sent + 1);
    QTRY_VERIFY(!env.cloud().receivedResults(serial, 305).isEmpty());
    QJsonObject uploaded = env.cloud().receivedResults(serial, 305).last();
    if (uploaded.contains("body"))
        uploaded = uploaded.value("body").toObject();
    const QJsonObject buttons = uploaded.value(kButtons).toObject();
    QCOMPARE(buttons.value("statusString").toString(), QStringLiteral("Buttons fine"));
    QCOMPARE(buttons.value("status").toBool(), true);
}

QTEST_GUILESS_MAIN(TstOperatorTests)
#include "tst_operatortests.moc"
