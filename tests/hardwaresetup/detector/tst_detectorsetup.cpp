// Detector cooling and the SDD reset width calibration on the simulated default instrument.
#include "factorytestenv.h"
#include "detector_p.h"
#include "logcapture.h"
#include "simengine.h"
#include "simfaults.h"
#include "siminstrument.h"
#include "simnetworkmanager.h"
#include "simscenarios.h"
#include "substeprun.h"
#include "xrfengine.h"

#include <QtTest>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

const QString kDataFile =
    QStringLiteral(XRF_DATA_DIR "/default/factoryData/factory_setup_data.json");

SimFaults &faults()
{
    return FactoryTestEnv::get().instrument().faults();
}

xrf_hal::XrfEngine *engine()
{
    return xrf_hal::XrfEngine::instance();
}

QJsonObject coolingParams(double tolerance, int timeoutSecs)
{
    return {{"temperatureCorrectionEpsilon", 0.002},
            {"temperatureTolerance", tolerance},
            {"timeoutSecs", timeoutSecs}};
}

QJsonObject resetParams(int maxIterations, int delayMs = 50)
{
    return {{"targetResetHeight", 12000},
            {"initialResetWidth", 1500},
            {"targetResetHeightTolerance", 150},
            {"maxIterations", maxIterations},
            {"dacSetDelayInMilliSeconds", delayMs}};
}

QList<int> toInts(const QJsonValue &array)
{
    QList<int> values;
    for (const QJsonValue &value : array.toArray())
        values.append(value.toInt());
    return values;
}

} // namespace

class TstDetectorSetup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void alreadyCoolDetectorPassesOnTheFirstRead();
    void zeroTimeoutFailsUnlessWithinTolerance_data();
    void zeroTimeoutFailsUnlessWithinTolerance();
    void detectorCoolsFromAmbient();
    void detectorThatNeverCoolsTimesOut();
    void failedTemperatureReadsNeverPass();
    void abortEndsTheWait();

    void searchReachesTheTargetAndStoresTheWidth();
    void heightAtTheUpperBoundIsInRange();
    void differenceOfExactly64ToleranceStepsBy21();
    void unchangedHeightDoublesTheDelayAtMostTwice();
    void searchEngineFailures_data();
    void searchEngineFailures();
    void abortStopsTheSearch();
    void eepromFailuresAreReported_data();
    void eepromFailuresAreReported();
    void missingParametersFailTheSubStep();
    void resetHeightOutOfReachScenario();
    void everySddModelReachesTheTargetOfItsData_data();
    void everySddModelReachesTheTargetOfItsData();

    // Needs the default FPGA parameters of the FPGA area (saveDefaultFpgaParams).
    void dacCalibrationSubStepPassesOnTheDefaultData();

private:
    Worker *worker() const { return FactoryTestEnv::get().worker(); }
    bool search(Worker::ResetWidthSearch &run, QString *error, bool store = false);

    std::unique_ptr<LogCapture> m_log;
};

void TstDetectorSetup::initTestCase()
{
    m_log.reset(new LogCapture);
    auto &env = FactoryTestEnv::start();
    env.network().setForcedOffline(true);
    QTRY_VERIFY(!worker()->cloudConnected);
    // The default FPGA registers come from the model's work order and setup data.
    QVERIFY(env.seedModelData(QStringLiteral("default")));
}

void TstDetectorSetup::cleanupTestCase()
{
    FactoryTestEnv::get().settleBeforeExit();
}

void TstDetectorSetup::init()
{
    faults().clear();
    worker()->userAbort = false;
    m_log->clear();
}

bool TstDetectorSetup::search(Worker::ResetWidthSearch &run, QString *error, bool store)
{
    return FactoryTestEnv::get().onFactoryThread([&] {
        return worker()->searchResetWidth(run, error)
            && (!store || worker()->storeResetWidth(run, error));
    });
}

void TstDetectorSetup::alreadyCoolDetectorPassesOnTheFirstRead()
{
    faults().overrideSensor("getDetectorMonitorTemperature", -24.7);
    const int reads = faults().operationCalls("getDetectorMonitorTemperature");
    const XrfHardwareSetupStepInfo step = runSubStep("detectorSetup", coolingParams(0.5, 120));
    QVERIFY(step.isDone());
    QVERIFY(!step.hasFailed());
    QCOMPARE(step.statusMsg(), QString());
    QCOMPARE(faults().operationCalls("getDetectorMonitorTemperature") - reads, 1);
    QCOMPARE(step.results().value("temperatureSetpoint").toInt(), -25);
    QCOMPARE(step.results().value("temperatureMon").toDouble(), double(-24.7f));
    QCOMPARE(step.results().value("temperatureCorrectionEpsilon").toDouble(), 0.002);
    QVERIFY(m_log->contains("Detector temp is: -24.70", QtInfoMsg));
    float epsilon = 0;
    QCOMPARE(engine()->getDetectorTemperatureCorrectionEpsilon(&epsilon), 0);
    QCOMPARE(epsilon, 0.002f);
    QCOMPARE(worker()->currentTaskProgress, 100.0);
}

void TstDetectorSetup::zeroTimeoutFailsUnlessWithinTolerance_data()
{
    QTest::addColumn<double>("monitored");
    QTest::addColumn<bool>("passes");
    QTest::newRow("within") << -24.75 << true;
    QTest::newRow("at the tolerance") << -24.5 << false;
    QTest::newRow("warm") << 3.25 << false;
}

void TstDetectorSetup::zeroTimeoutFailsUnlessWithinTolerance()
{
    QFETCH(double, monitored);
    QFETCH(bool, passes);
    faults().overrideSensor("getDetectorMonitorTemperature", monitored);
    const int reads = faults().operationCalls("getDetectorMonitorTemperature");
    const XrfHardwareSetupStepInfo step = runSubStep("detectorSetup", coolingParams(0.5, 0));
    QCOMPARE(step.hasFailed(), !passes);
    QCOMPARE(faults().operationCalls("getDetectorMonitorTemperature") - reads, 1);
    if (!passes)
        QCOMPARE(step.statusMsg(),
                 QStringLiteral("Detector cooling failed\nExpected temp:-25; monitored temp:%1")
                     .arg(monitored, 0, 'f', 2));
}

void TstDetectorSetup::detectorCoolsFromAmbient()
{
    engine()->setDetectorSetTemperature(-20);
    const XrfHardwareSetupStepInfo step = runSubStep("detectorSetup", coolingParams(0.5, 120));
    engine()->setDetectorSetTemperature(-25);
    QVERIFY2(!step.hasFailed(), qPrintable(step.statusMsg()));
    QVERIFY(std::abs(step.results().value("temperatureMon").toDouble() + 20) < 0.5);
    QCOMPARE(step.results().value("temperatureSetpoint").toInt(), -20);
}

void TstDetectorSetup::detectorThatNeverCoolsTimesOut()
{
    QVERIFY(SimScenarios::apply("detector-never-cools", FactoryTestEnv::get().instrument()));
    QElapsedTimer timer;
    timer.start();
    const XrfHardwareSetupStepInfo step = runSubStep("detectorSetup", coolingParams(0.5, 20));
    QVERIFY(step.hasFailed());
    QVERIFY(step.statusMsg().startsWith("Detector cooling failed\nExpected temp:-25; monitored "
                                        "temp:2"));
    // 20 s of instrument time at the test's time scale.
    QVERIFY(timer.elapsed() < 5000);
}

void TstDetectorSetup::failedTemperatureReadsNeverPass()
{
    // Zeroed outputs of a failed read would agree perfectly; they must not count.
    faults().failOperation("getDetectorSetTemperature", xrf_hal::EngineCommunicationError,
                           SimFaults::kAlways);
    faults().failOperation("getDetectorMonitorTemperature", xrf_hal::EngineCommunicationError,
                           SimFaults::kAlways);
    const XrfHardwareSetupStepInfo step = runSubStep("detectorSetup", coolingParams(100, 1));
    QVERIFY(step.hasFailed());
    QVERIFY(step.statusMsg().startsWith("Detector cooling failed"));
    // The reads go on without a pause; the failure is logged once, not for every read.
    QCOMPARE(m_log->count("Failed to read the detector temperatures"), 1);
}

void TstDetectorSetup::abortEndsTheWait()
{
    faults().overrideSensor("getDetectorMonitorTemperature", 20.0);
    worker()->userAbort = true;
    const XrfHardwareSetupStepInfo step = runSubStep("detectorSetup", coolingParams(0.5, 100000));
    QVERIFY(step.hasFailed());
    QCOMPARE(step.statusMsg(),
             QStringLiteral("Detector cooling failed\nExpected temp:-25; monitored temp:20.00"));
}

void TstDetectorSetup::searchReachesTheTargetAndStoresTheWidth()
{
    Worker::ResetWidthSearch run;
    run.target = 12000;
    run.tolerance = 150;
    run.width = 1500;
    run.maxIterations = 40;
    run.delayMs = 50;
    run.resetClocks = 40;
    QString error;
    QVERIFY2(search(run, &error, true), qPrintable(error));
    QVERIFY(std::abs(run.height - 12000) <= 150);
    const QList<int> heights = toInts(run.results().value("resetHeight"));
    const QList<int> widths = toInts(run.results().value("resetWidth"));
    QCOMPARE(heights.size(), widths.size());
    QVERIFY(heights.size() > 1);
    QCOMPARE(heights.last(), run.height);
    QCOMPARE(widths.last(), run.width);
    unsigned short stored = 0;
    QCOMPARE(engine()->getEepromResetTimerInit(&stored), 0);
    QCOMPARE(int(stored), run.width);
    QCOMPARE(engine()->getEepromResetClocks(&stored), 0);
    QCOMPARE(stored, 40);
    QCOMPARE(engine()->getDetectorDac(xrf_hal::DetectorDacResetWidth, &stored), 0);
    QCOMPARE(int(stored), run.width);
}

void TstDetectorSetup::heightAtTheUpperBoundIsInRange()
{
    faults().overrideRegister(xrf_hal::RegFpgaResetHeight, 12150);
    Worker::ResetWidthSearch run;
    run.target = 12000;
    run.tolerance = 150;
    run.width = 1500;
    run.maxIterations = 5;
    QString error;
    QVERIFY2(search(run, &error), qPrintable(error));
    QCOMPARE(toInts(run.results().value("resetWidth")), QList<int>{1500});
    QVERIFY(m_log->contains("isResetHeightInRange:  true"));

    faults().overrideRegister(xrf_hal::RegFpgaResetHeight, 12151);
    run = Worker::ResetWidthSearch();
    run.target = 12000;
    run.tolerance = 150;
    run.width = 1500;
    run.maxIterations = 1;
    QVERIFY(!search(run, &error));
    QCOMPARE(toInts(run.results().value("resetWidth")), QList<int>{1499});
    QCOMPARE(error,
             QStringLiteral("Failed to get reset height in expected range(11850, 12150) "
                            "even after 1 attempts."));
}

void TstDetectorSetup::differenceOfExactly64ToleranceStepsBy21()
{
    faults().overrideRegister(xrf_hal::RegFpgaResetHeight, 12000 - 64 * 150);
    Worker::ResetWidthSearch run;
    run.target = 12000;
    run.tolerance = 150;
    run.width = 1500;
    run.maxIterations = 2;
    QString error;
    QVERIFY(!search(run, &error));
    QCOMPARE(toInts(run.results().value("resetWidth")), (QList<int>{1521, 1542}));
    QCOMPARE(toInts(run.results().value("resetHeight")), (QList<int>{2400, 2400}));
    QCOMPARE(worker()->currentTaskStatus, QStringLiteral("RH:2400, RW:1542, Iter:1"));
}

void TstDetectorSetup::unchangedHeightDoublesTheDelayAtMostTwice()
{
    faults().overrideRegister(xrf_hal::RegFpgaResetHeight, 30000);
    Worker::ResetWidthSearch run;
    run.target = 12000;
    run.tolerance = 150;
    run.width = 3000;
    run.maxIterations = 6;
    run.delayMs = 10;
    QString error;
    QVERIFY(!search(run, &error));
    QCOMPARE(m_log->count("did not change"), 2);
    QVERIFY(m_log->contains("resetHeight:30000 did not change, increasing "
                            "dacSetDelayInMilliSeconds:20"));
    QVERIFY(m_log->contains("resetHeight:30000 did not change, increasing "
                            "dacSetDelayInMilliSeconds:40"));
}

void TstDetectorSetup::searchEngineFailures_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("message");
    QTest::newRow("set DAC") << "setDetectorDac"
                             << "Dac calibration failed, K60 command to set resetWidth failed, "
                                "HwRet:'-30'";
    QTest::newRow("read height") << "getFpgaResetHeight"
                                 << "Detector dac calibration failed, failed to read fpga reset "
                                    "height from K60. HwRet: '-30'";
}

void TstDetectorSetup::searchEngineFailures()
{
    QFETCH(QString, operation);
    QFETCH(QString, message);
    faults().failOperation(operation, xrf_hal::EngineCommunicationError);
    Worker::ResetWidthSearch run;
    run.target = 12000;
    run.tolerance = 150;
    run.width = 1500;
    run.maxIterations = 10;
    QString error;
    QVERIFY(!search(run, &error));
    QCOMPARE(error, message);
}

void TstDetectorSetup::abortStopsTheSearch()
{
    faults().overrideRegister(xrf_hal::RegFpgaResetHeight, 5000);
    worker()->userAbort = true;
    Worker::ResetWidthSearch run;
    run.target = 12000;
    run.tolerance = 150;
    run.width = 1500;
    run.maxIterations = 10;
    QString error;
    QVERIFY(!search(run, &error));
    QCOMPARE(error, QStringLiteral("Dac calibration failed, User abort."));
    QCOMPARE(run.heights.size(), 1);
}

void TstDetectorSetup::eepromFailuresAreReported_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<quint16>("register_");
    QTest::addColumn<QString>("message");
    QTest::newRow("set timer init")
        << "setEepromResetTimerInit" << quint16(0)
        << "K60 command to set eeprom reset timer init failed, HwRet:'-30'";
    QTest::newRow("set clocks") << "setEepromResetClocks" << quint16(0)
                                << "K60 command to set eeprom reset clocks failed, HwRet: '-30'";
    QTest::newRow("save") << "saveDataToEeprom" << quint16(0)
                          << "Command to save data to eeprom failed, HwRet:-30";
    QTest::newRow("width read back")
        << QString() << quint16(xrf_hal::RegEepromResetTimerInit)
        << "Monitored reset width 77 does not match with set reset width 1500";
    QTest::newRow("clocks read back")
        << QString() << quint16(xrf_hal::RegEepromResetClocks)
        << "Monitored reset clocks 77 does not match with set reset clocks 40";
}

void TstDetectorSetup::eepromFailuresAreReported()
{
    QFETCH(QString, operation);
    QFETCH(quint16, register_);
    QFETCH(QString, message);
    if (!operation.isEmpty())
        faults().failOperation(operation, xrf_hal::EngineCommunicationError);
    if (register_)
        faults().overrideRegister(register_, 77);
    Worker::ResetWidthSearch run;
    run.width = 1500;
    run.height = 12000;
    run.resetClocks = 40;
    QString error;
    QVERIFY(!FactoryTestEnv::get().onFactoryThread(
        [&] { return worker()->storeResetWidth(run, &error); }));
    QCOMPARE(error, message);
}

void TstDetectorSetup::missingParametersFailTheSubStep()
{
    for (const char *key :
         {"targetResetHeight", "initialResetWidth", "targetResetHeightTolerance"}) {
        QJsonObject params = resetParams(40);
        params.remove(key);
        const XrfHardwareSetupStepInfo step = runSubStep("detectorMicroReset", params);
        QVERIFY(step.hasFailed());
        QCOMPARE(step.statusMsg(),
                 QStringLiteral("Detector dac calibration failed. Failed to find targetResetWidth, "
                                "initialResetWidth in setup params"));
    }
}

void TstDetectorSetup::resetHeightOutOfReachScenario()
{
    QVERIFY(SimScenarios::apply("reset-height-out-of-reach", FactoryTestEnv::get().instrument()));
    Worker::ResetWidthSearch run;
    run.target = 12000;
    run.tolerance = 150;
    run.width = 1500;
    run.maxIterations = 40;
    run.delayMs = 50;
    QString error;
    QVERIFY(!search(run, &error));
    QCOMPARE(error,
             QStringLiteral("Failed to get reset height in expected range(11850, 12150) "
                            "even after 40 attempts."));
    QCOMPARE(run.heights.size(), 40);
}

void TstDetectorSetup::everySddModelReachesTheTargetOfItsData_data()
{
    QTest::addColumn<QString>("model");
    for (const char *model : {"default", "MP", "HD", "Harrier"})
        QTest::newRow(model) << QString::fromLatin1(model);
}

// Each unit's reset height curve differs; the search of the data must find every one's width.
void TstDetectorSetup::everySddModelReachesTheTargetOfItsData()
{
    QFETCH(QString, model);
    const QString file = model == "default"
        ? kDataFile
        : QStringLiteral(XRF_DATA_DIR "/%1/factoryData/factory_setup_data%1.json").arg(model);
    const QJsonObject params = setupParamsFromFile(file, "detectorMicroReset");
    const int target = params.value("targetResetHeight").toInt();
    const int tolerance = params.value("targetResetHeightTolerance").toInt();
    int width = params.value("initialResetWidth").toInt();
    SimInstrument instrument(model);
    SimEngine &sim = *instrument.engine();
    for (int i = 0; i < params.value("maxIterations").toInt(); ++i) {
        QCOMPARE(sim.setDetectorDac(xrf_hal::DetectorDacResetWidth, (unsigned short)width), 0);
        XrfUtils::activeSleep(params.value("dacSetDelayInMilliSeconds").toInt());
        unsigned short height = 0;
        QCOMPARE(sim.getFpgaResetHeight(&height), 0);
        if (DetectorCalibration::isResetHeightInRange(height, target, tolerance))
            return;
        width = DetectorCalibration::nextResetWidth(width, height, target, tolerance);
    }
    QFAIL("the reset height never came within the target's tolerance");
}

void TstDetectorSetup::dacCalibrationSubStepPassesOnTheDefaultData()
{
    const XrfHardwareSetupStepInfo step =
        runSubStep("detectorMicroReset", setupParamsFromFile(kDataFile, "detectorMicroReset"));
    QVERIFY2(!step.hasFailed(), qPrintable(step.statusMsg()));
    QVERIFY(step.statusMsg().startsWith("DAC Reset width: '"));
    QVERIFY(step.results().value("resetHeight").isArray());
    QVERIFY(step.results().value("resetWidth").isArray());
}

QTEST_GUILESS_MAIN(TstDetectorSetup)
#include "tst_detectorsetup.moc"
