// The stability run: parameters and preflight checks, tube limits, the shot loop with its
// retries and watchdog, abort, and the status machine up to the cloud's verdict.

#include "stabilitytest.h"
#include "xrftimescale.h"

#include <QScopeGuard>

using namespace stabilitytest;

class TstStabilityRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void passingRunIsAssembledUploadedAndJudged();
    void collimatedRunIsJudgedOnItsBrCuRatioAndReportedOnce();
    void setupDataFailures_data();
    void setupDataFailures();
    void preflightFailures_data();
    void preflightFailures();
    void detectorThatNeverGetsReadyFailsTheStep();
    void exposuresAreClampedToTheTube();
    void unreadableTubeLimitsFailTheRun();
    void failedAttemptsAreRetriedThenCounted_data();
    void failedAttemptsAreRetriedThenCounted();
    void silentControllerIsStoppedAndItsStopAbsorbed();
    void bothAlternatesHvAndLv();
    void abortBeforeTheMinimumDiscardsTheShots();
    void abortAfterTheMinimumUploadsButDoesNotPass();
    void failedFirstShotDoesNotPassThroughTheCloud();
    void hardwareConfigIsMergedNotReplaced();

private:
    void abortRunAfter(int shots, int minRepeats);

    std::unique_ptr<LogCapture> m_log;
    std::unique_ptr<Recorder> m_recorder;
};

void TstStabilityRun::initTestCase()
{
    m_log.reset(new LogCapture);
    FactoryTestEnv::start();
    env().network().setInstrumentSerial(serial());
    m_recorder.reset(new Recorder);
    writeSetupData();
    prepareInstrument();
    QTRY_VERIFY_WITH_TIMEOUT(env().onFactoryThread([] { return worker()->cloudConnected; }), 20000);
}

void TstStabilityRun::cleanupTestCase()
{
    env().settleBeforeExit();
}

void TstStabilityRun::init()
{
    faults().clear();
    env().cloud().setStabilityEvaluation(1);
    env().instrument().loadSample("SS316");
    writeSetupData();
    m_recorder->clear();
    m_log->clear();
    // Each case counts the cloud requests of its own run only.
    env().waitForCloudRequests();
}

void TstStabilityRun::passingRunIsAssembledUploadedAndJudged()
{
    // The tube monitors are read while X-rays are on; at the fixture's scale a 3 s shot lasts 3 ms,
    // less than a loaded machine may take to hear of it.
    const double fixtureScale = XrfTimeScale::scale();
    XrfTimeScale::setScale(0.05);
    const auto restoreScale = qScopeGuard([fixtureScale] { XrfTimeScale::setScale(fixtureScale); });
    const int summaries = env().cloud().requestCount(XrfNetworkManager::PutStabilityTestResult);
    enterStep("stability");
    QCOMPARE(m_recorder->lastStatus(), QStringLiteral("ready"));
    startRun();
    QVERIFY(waitForFinal(*m_recorder));
    QCOMPARE(
        m_recorder->statuses().mid(1),
        QStringList({"processingResults", "waitingForCloudResponse", "cloudResponseReceived"}));
    const QJsonObject record = m_recorder->last();
    const SimStabilityEvaluation evaluation = env().cloud().stabilityEvaluations(serial()).last();
    QVERIFY2(record.value("hasPassed").toBool(), qPrintable(evaluation.failures.join("; ")));
    QCOMPARE(evaluation.shots, 3);
    QVERIFY(evaluation.countRateRsd < 0.01);
    QCOMPARE(record.value("shotsTaken").toInt(), 3);
    QCOMPARE(record.value("runOutcome").toString(), QStringLiteral("shotsComplete"));
    // Running statistics of the shots.
    QVERIFY(record.value("minInputCountRate").toDouble() > 10000);
    QVERIFY(record.value("minInputCountRate").toDouble()
            <= record.value("averageInputCountRate").toDouble());
    QVERIFY(record.value("averageInputCountRate").toDouble()
            <= record.value("maxInputCountRate").toDouble());
    QVERIFY(record.value("averageResolution").toDouble() > 100);

    // The shots' display copies, in order.
    QCOMPARE(m_recorder->shots.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const QJsonObject shot = m_recorder->shots.at(i);
        QCOMPARE(shot.value("iteration").toInt(), i + 1);
        QVERIFY(
            QRegularExpression("^\\d+\\.\\d\\d$").match(shot.value("icr").toString()).hasMatch());
        QCOMPARE(shot.value("spectrum").toArray().size(), 2048);
        QVERIFY(shot.value("fpgaResetCount").isString());
    }

    // The summary reached the cloud with its header and every shot; the files went after their
    // upload, and the folders of the run are empty.
    QCOMPARE(env().cloud().requestCount(XrfNetworkManager::PutStabilityTestResult), summaries + 1);
    const QJsonObject summary =
        env()
            .cloud()
            .receivedResults(serial(), XrfNetworkManager::PutStabilityTestResult)
            .last()
            .value("body")
            .toObject();
    QCOMPARE(summary.value("serial").toString(), serial());
    QCOMPARE(summary.value("stabilityType").toString(), QStringLiteral("Full"));
    QCOMPARE(summary.value("intendedCycles").toInt(), 3);
    QCOMPARE(summary.value("collimatedTest").toBool(), false);
    QVERIFY(!summary.value("endTime").toString().isEmpty());
    QCOMPARE(summary.value("softwareVersion").toString(), QStringLiteral("3.18.2"));
    const QJsonArray data = summary.value("data").toArray();
    QCOMPARE(data.size(), 3);
    for (const char *key :
         {"iteration", "faults", "exposureRetries", "exposureEndConditions", "tubeVoltageMonitor",
          "batteryVoltage", "socTemperature", "fpgaResetHeight", "spectrumResolution",
          "spectrumPeak1Channel", "debugVar7", "exposureType"})
        QVERIFY2(data.at(0).toObject().contains(key), key);
    QVERIFY(data.at(0).toObject().value("tubeVoltageMonitor").toDouble() > 39);
    QCOMPARE(data.at(2).toObject().value("iteration").toInt(), 3);
    const QString completed = stabilityFolder("stability") + "/completed";
    QTRY_VERIFY(QDir(completed).entryList(QDir::Files).isEmpty());
    QVERIFY(!QFileInfo::exists(stabilityFolder("stability") + "/inProgress/header.json"));
    QVERIFY(QDir(stabilityFolder("stability") + "/inProgress")
                .entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)
                .isEmpty());

    QStringList names;
    for (const SimCloudFile &file : env().cloud().uploadedFiles(serial()))
        names << file.name;
    QVERIFY(names.filter(QRegularExpression("^stabSpectra_\\d+_\\d{8}_\\d{4}\\.zip$")).size() >= 1);
    QVERIFY(names.filter(QRegularExpression("^firmwareLogs_\\d+_\\d{8}_\\d{4}\\.zip$")).size()
            >= 1);
    QTRY_COMPARE(env().cloud().stepStatuses(serial()).value(XrfUtils::Stability), 2);
    const QJsonObject stored = readJson(env().lastResultPath()).value("stability").toObject();
    QCOMPARE(stored.value("status").toInt(), 2);
    QCOMPARE(stored.value("stabilityTestMetaInfo").toObject().value("status").toString(),
             QStringLiteral("cloudResponseReceived"));
}

void TstStabilityRun::collimatedRunIsJudgedOnItsBrCuRatioAndReportedOnce()
{
    env().instrument().loadSample("BrCu");
    const int reports = env().cloud().requestCount(XrfNetworkManager::PutDeviceFactoryStepStatus);
    enterStep("collimatedStability");
    startRun();
    QVERIFY(waitForFinal(*m_recorder));
    const QJsonObject record = m_recorder->last();
    QVERIFY2(record.value("status").toString() == "cloudResponseReceived",
             qPrintable(record.value("errorMsg").toString()));
    QVERIFY2(record.value("hasPassed").toBool(), qPrintable(record.value("errorMsg").toString()));
    QVERIFY(record.value("collimatedMeanBrOverCu").toDouble() > 0.6);
    QVERIFY(record.value("collimatedRSDBrOverCu").toDouble() < 0.2);
    const QJsonObject summary =
        env()
            .cloud()
            .receivedResults(serial(), XrfNetworkManager::PutStabilityTestResult)
            .last()
            .value("body")
            .toObject();
    QCOMPARE(summary.value("collimatedTest").toBool(), true);
    QVERIFY(summary.contains("collimatedRSDBrOverCu"));
    QVERIFY(summary.value("data").toArray().at(0).toObject().contains("collimatedBrCounts"));
    // One report of the step's status, after the Br/Cu verdict.
    env().waitForCloudRequests();
    QCOMPARE(env().cloud().requestCount(XrfNetworkManager::PutDeviceFactoryStepStatus),
             reports + 1);
    QCOMPARE(env().cloud().stepStatuses(serial()).value(XrfUtils::CollimatedStability), 2);
}

void TstStabilityRun::setupDataFailures_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<QJsonObject>("plain");
    QTest::addColumn<QJsonObject>("collimated");
    QTest::addColumn<bool>("clearFpgaScale");
    QTest::addColumn<QString>("message");
    QJsonObject fewRepeats = plainOptions();
    fewRepeats.insert("repeats", 5);
    fewRepeats.insert("minRepeats", 0);
    QJsonObject wrongType = plainOptions();
    wrongType.insert("repeats", "many");
    QTest::newRow("no options") << "stability" << QJsonObject() << collimatedOptions() << false
                                << "Failed to find stability test params in factory file.";
    QTest::newRow("wrong type") << "stability" << wrongType << collimatedOptions() << false
                                << "Failed to read test exposure parameters from factory file.";
    QTest::newRow("minRepeats 0 means 10")
        << "stability" << fewRepeats << collimatedOptions() << false
        << "Invalid stability params found, 'repeats'(5) can not be less than 'minRepeats'(10)";
    QTest::newRow("no collimated options")
        << "collimatedStability" << plainOptions() << QJsonObject() << false
        << "Failed to find collimated stability test params in factory file.";
    QTest::newRow("no energy scale")
        << "collimatedStability" << plainOptions() << collimatedOptions() << true
        << "Collimated stability init failed, Error: offset(eV):0 OR slope(eV/bin):0 read "
           "fromuniversalSettings.json is zero";
}

void TstStabilityRun::setupDataFailures()
{
    QFETCH(QString, step);
    QFETCH(QJsonObject, plain);
    QFETCH(QJsonObject, collimated);
    QFETCH(bool, clearFpgaScale);
    QFETCH(QString, message);
    writeSetupData(plain, collimated);
    if (clearFpgaScale) {
        QJsonObject fpga;
        XrfSettingsManager::instance()->setUniversalSetting("hardware.fpga", &fpga);
    }
    const int exposures = faults().operationCalls("startExposure");
    enterStep(step);
    m_recorder->clear();
    startRun();
    QTRY_COMPARE(m_recorder->lastStatus(), QStringLiteral("error"));
    QCOMPARE(m_recorder->last().value("errorMsg").toString(), message);
    QVERIFY(m_log->contains(message, QtWarningMsg));
    QCOMPARE(faults().operationCalls("startExposure"), exposures);
    QCOMPARE(storedMeta(step).value("errorMsg").toString(), message);
}

void TstStabilityRun::preflightFailures_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("message");
    QTest::newRow("dark rate") << 0 << "Stability preflight check failed, dark rate:";
    QTest::newRow("reset height out of range")
        << 1
        << "Stability preflight check failed, FPGA reset height is not within range, min:11000, "
           "set:10400, max:13000";
    QTest::newRow("reset height unreadable")
        << 2 << "Stability preflight check failed, failed to read FPGA resetH, HwErr:-30";
}

void TstStabilityRun::preflightFailures()
{
    QFETCH(int, fault);
    QFETCH(QString, message);
    if (fault == 0)
        faults().setExtraDarkRate(80);
    else if (fault == 1)
        faults().overrideRegister(xrf_hal::RegFpgaResetHeight, 10400);
    else
        faults().failOperation("getFpgaResetHeight", xrf_hal::EngineCommunicationError);
    enterStep("stability");
    m_recorder->clear();
    startRun();
    QTRY_COMPARE(m_recorder->lastStatus(), QStringLiteral("error"));
    QVERIFY2(m_recorder->last().value("errorMsg").toString().startsWith(message),
             qPrintable(m_recorder->last().value("errorMsg").toString()));
    QTRY_COMPARE(env().cloud().stepStatuses(serial()).value(XrfUtils::Stability), 3);
}

void TstStabilityRun::detectorThatNeverGetsReadyFailsTheStep()
{
    faults().overrideRegister(xrf_hal::RegDetectorStatus, 0x0001);
    enterStep("stability");
    QCOMPARE(m_recorder->lastStatus(), QStringLiteral("error"));
    QCOMPARE(m_recorder->last().value("errorMsg").toString(),
             QStringLiteral("Instrument is not ready for stability. Detector is not ready even "
                            "after waiting for 5 seconds."));
}

void TstStabilityRun::exposuresAreClampedToTheTube()
{
    QJsonObject options = plainOptions();
    options.insert("exposureHv", exposure(60, 500, 2718));
    QJsonObject lv = exposure(2, 500, 2718);
    options.insert("exposureLv", lv);
    writeSetupData(options, collimatedOptions());
    enterStep("stability");
    startRun();
    QVERIFY(waitForFinal(*m_recorder));
    QVERIFY(m_log->contains("Adjusted HV stability voltage to max tube voltage: 50kV"));
    // 4 W at 50 kV: 80 uA, below the 200 uA limit.
    QVERIFY(m_log->contains(
        "Adjusted HV stability current to max possible current: 80uA at voltage: 50kV"));
    QVERIFY(m_log->contains("Adjusted LV stability voltage to minimum tube voltage: 8kV"));
    QVERIFY(m_log->contains(
        "Adjusted LV stability current to max possible current: 200uA at voltage: 8kV"));
    QCOMPARE(m_recorder->shots.first().value("tubeVoltageSetpoint").toString(),
             QStringLiteral("50.00"));
}

void TstStabilityRun::unreadableTubeLimitsFailTheRun()
{
    faults().overrideRegister(0, 0); // keeps the override list non-empty; the fault is below
    faults().failOperation("getTubeMaxPower", xrf_hal::EngineCommunicationError);
    enterStep("stability");
    m_recorder->clear();
    startRun();
    QTRY_COMPARE(m_recorder->lastStatus(), QStringLiteral("error"));
    QVERIFY(m_recorder->last()
                .value("errorMsg")
                .toString()
                .startsWith(
                    "Stability test failed, the tube limits could not be read or are not usable"));
    QVERIFY(m_recorder->last().value("errorMsg").toString().endsWith("ret:-30"));
}

void TstStabilityRun::failedAttemptsAreRetriedThenCounted_data()
{
    QTest::addColumn<int>("failures");
    QTest::addColumn<int>("retries");
    QTest::addColumn<int>("errorsCount");
    QTest::newRow("two failures") << 2 << 2 << 2;
    QTest::newRow("retries exhausted") << 4 << 3 << 3;
}

void TstStabilityRun::failedAttemptsAreRetriedThenCounted()
{
    QFETCH(int, failures);
    QFETCH(int, retries);
    QFETCH(int, errorsCount);
    faults().endExposureAfter(1, XrfHardwareManager::EndInterlockOpened, false, failures);
    enterStep("stability");
    startRun();
    QVERIFY(waitForFinal(*m_recorder));
    const QJsonObject first = m_recorder->shots.first();
    QCOMPARE(first.value("exposureRetries").toInt(), retries);
    QCOMPARE(first.value("exposureEndConditions").toArray().size(), retries + 1);
    QCOMPARE(first.value("exposureEndConditions").toArray().first().toInt(),
             int(XrfHardwareManager::EndInterlockOpened));
    QCOMPARE(m_recorder->shots.last().value("stabilityErrorsCount").toInt(), errorsCount);
    QCOMPARE(m_recorder->shots.size(), 3);
    QCOMPARE(m_log->contains("Retry count exceeded for shot 1, proceeding to next shot"),
             failures > 3);
    QCOMPARE(m_log->count("endCondition was not TimeElapsed, retrying..."), retries);
}

void TstStabilityRun::silentControllerIsStoppedAndItsStopAbsorbed()
{
    SimFaults::ExposureFault silence;
    silence.atSeconds = 1;
    silence.silences = true;
    faults().addExposureFault(silence, 1);
    enterStep("stability");
    startRun();
    QVERIFY(waitForFinal(*m_recorder));
    QVERIFY(m_log->contains("Inactivity timer triggered, software failed to hear back from K60.",
                            QtWarningMsg));
    // One attempt ended by the watchdog: one retry, not two, whenever the controller's own stop
    // of that attempt arrives.
    QCOMPARE(m_recorder->shots.size(), 3);
    QCOMPARE(m_recorder->shots.first().value("exposureRetries").toInt(), 1);
    QCOMPARE(
        m_recorder->shots.first().value("faults").toArray().first().toArray().first().toString(),
        QStringLiteral("Inactivity timer triggered"));
    QCOMPARE(m_recorder->last().value("stabilityErrorsCount").toInt(), 1);
}

void TstStabilityRun::bothAlternatesHvAndLv()
{
    QJsonObject options = plainOptions();
    options.insert("exposureType", "BOTH");
    options.insert("repeats", 5);
    writeSetupData(options, collimatedOptions());
    enterStep("stability");
    startRun();
    QVERIFY(waitForFinal(*m_recorder));
    QStringList types;
    for (const QJsonObject &shot : m_recorder->shots)
        types << shot.value("exposureType").toString();
    QCOMPARE(types, QStringList({"HV", "LV", "HV", "LV", "HV"}));
}

// A run of four 60 s shots, which the technician aborts after `shots` of them.
void TstStabilityRun::abortRunAfter(int shots, int minRepeats)
{
    QJsonObject options = plainOptions();
    options.insert("repeats", 4);
    options.insert("minRepeats", minRepeats);
    QJsonObject shot = exposure(40, 40, 2718);
    shot.insert("maxTime", 60); // long enough for the abort to meet a running shot
    options.insert("exposureHv", shot);
    writeSetupData(options, collimatedOptions());
    enterStep("stability");
    const auto abort = abortAfterShots(shots, m_recorder.get());
    startRun();
    QVERIFY(waitForFinal(*m_recorder));
    QObject::disconnect(abort);
    QCOMPARE(m_recorder->shots.size(), shots);
}

void TstStabilityRun::abortBeforeTheMinimumDiscardsTheShots()
{
    const int summaries = env().cloud().requestCount(XrfNetworkManager::PutStabilityTestResult);
    abortRunAfter(1, 3);
    QCOMPARE(m_recorder->lastStatus(), QStringLiteral("aborted"));
    QCOMPARE(m_recorder->last().value("errorMsg").toString(), QStringLiteral("User Abort"));
    QVERIFY(m_log->contains("Ignoring stability result as stability shots taken"));
    QVERIFY(QDir(stabilityFolder("stability") + "/inProgress")
                .entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)
                .isEmpty());
    QCOMPARE(env().cloud().requestCount(XrfNetworkManager::PutStabilityTestResult), summaries);
}

void TstStabilityRun::abortAfterTheMinimumUploadsButDoesNotPass()
{
    const int summaries = env().cloud().requestCount(XrfNetworkManager::PutStabilityTestResult);
    abortRunAfter(2, 2);
    // The shots taken are judged by the cloud (which passes them), but the run does not pass.
    QCOMPARE(env().cloud().requestCount(XrfNetworkManager::PutStabilityTestResult), summaries + 1);
    QVERIFY(m_recorder->statuses().contains("waitingForCloudResponse"));
    QCOMPARE(m_recorder->lastStatus(), QStringLiteral("aborted"));
    QCOMPARE(m_recorder->last().value("hasPassed").toBool(), false);
    QTRY_COMPARE(env().cloud().stepStatuses(serial()).value(XrfUtils::Stability), 3);
}

void TstStabilityRun::failedFirstShotDoesNotPassThroughTheCloud()
{
    QJsonObject options = plainOptions();
    options.insert("icrMinThreshold", 5e6);
    writeSetupData(options, collimatedOptions());
    const int summaries = env().cloud().requestCount(XrfNetworkManager::PutStabilityTestResult);
    enterStep("stability");
    startRun();
    QVERIFY(waitForFinal(*m_recorder));
    const QString message = m_recorder->last().value("errorMsg").toString();
    QVERIFY2(QRegularExpression("^icr:[0-9.]+ is less than set threshold:5e\\+06$")
                 .match(message)
                 .hasMatch(),
             qPrintable(message));
    QCOMPARE(m_recorder->lastStatus(), QStringLiteral("error"));
    QCOMPARE(m_recorder->last().value("hasPassed").toBool(), false);
    // The single shot is still assembled and sent.
    QCOMPARE(env().cloud().requestCount(XrfNetworkManager::PutStabilityTestResult), summaries + 1);
    QCOMPARE(env()
                 .cloud()
                 .receivedResults(serial(), XrfNetworkManager::PutStabilityTestResult)
                 .last()
                 .value("body")
                 .toObject()
                 .value("data")
                 .toArray()
                 .size(),
             1);
    QVERIFY(env().instrument().hardwareManager()->alertSoundsPlayed() > 0);
}

void TstStabilityRun::hardwareConfigIsMergedNotReplaced()
{
    QJsonObject config{{"instrumentModel", "TARVO-K100"}, {"collimationAllowed", true}};
    XrfSettingsManager::instance()->setUniversalSetting("hardware.config", &config);
    enterStep("stability");
    startRun();
    QVERIFY(waitForFinal(*m_recorder));
    QJsonObject stored;
    XrfSettingsManager::instance()->getUniversalSetting("hardware.config", &stored);
    QCOMPARE(stored.value("instrumentModel").toString(), QStringLiteral("TARVO-K100"));
    QCOMPARE(stored.value("insSerialNumber").toString(), serial());
}

QTEST_GUILESS_MAIN(TstStabilityRun)
#include "tst_stabilityrun.moc"
