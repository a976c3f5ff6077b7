// The hardware setup sequencer: the sub-step list, the order in which sub-steps run, the pauses
// around the accelerometer, completion, the results file and its upload, invalidation and abort.

#include "factorytestenv.h"
#include "logcapture.h"
#include "simcloudserver.h"
#include "simfaults.h"
#include "siminstrument.h"
#include "xrfhardwaremanager.h"
#include "xrfnetworkmanager.h"
#include "xrfsettingsmanager.h"

#include <QtTest>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

// Sub-steps without a handler that the setup data marks wait for the operator to confirm them.
QJsonObject operatorStep(const QString &id)
{
    return {{"stepId", id},
            {"displayName", id + " check"},
            {"setupParams", QJsonObject{{"operatorConfirms", true}}}};
}

QJsonObject setupInfoWith(const QJsonArray &steps)
{
    return {{"hardwareSetup", QJsonObject{{"hardwareSetupSteps", steps}}}};
}

QString serial()
{
    return XrfHardwareManager::instance()->hardwareConfig()->insSerialNumber();
}

} // namespace

class TstHwSequencer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void listKeepsStoredOutcomesWithNewParameters();
    void listDropsSubStepsTheInstrumentDoesNotHave();
    void passedSubStepWhoseSettingsAreGoneRunsAgain();
    void missingSetupDataLeavesTheListEmpty();
    void confirmedSubStepsRunInOrderAndComplete();
    void resultsAreStoredUploadedAndTheFileRemoved();
    void failedUploadKeepsTheResultsFile();
    void everythingPassedCompletesAtOnce();
    void unknownStartIdStartsAtFirstPending();
    void pausesBeforeAndAfterTheAccelerometer();
    void failedSubStepStopsTheRun();
    void badSetupDataFailsTheSubStepNamingFileAndKey_data();
    void badSetupDataFailsTheSubStepNamingFileAndKey();
    void invalidationReopensTheRest();
    void abortStopsAndIsReported();
    void startOutsideTheStepIsRefused();
    void firmwareLogIsWrittenOrReported();

private:
    Worker *worker() const { return FactoryTestEnv::get().worker(); }
    void useSteps(const QJsonArray &steps);
    void start(const QString &stepId = QString());
    void confirm(const QString &stepId);
    QJsonObject storedSteps() const;
    QStringList ids() const;

    std::unique_ptr<LogCapture> m_log;
};

void TstHwSequencer::initTestCase()
{
    m_log.reset(new LogCapture);
    FactoryTestEnv::start();
    qRegisterMetaType<XrfHardwareSetupStepInfo>();
}

void TstHwSequencer::cleanupTestCase()
{
    FactoryTestEnv::get().settleBeforeExit();
}

// Each case enters factory step 3 afresh, with no stored result.
void TstHwSequencer::init()
{
    auto &env = FactoryTestEnv::get();
    env.cloud().clearScripts();
    env.onFactoryThread([&] {
        worker()->lastResult = QJsonObject();
        QFile::remove(env.lastResultPath());
        XrfFactoryStepInfo record;
        record.setStepId(XrfUtils::HardwareSetup);
        record.setStepIdStr("hardwareSetup");
        worker()->currentStepInfo = record;
        worker()->currentStepId = XrfUtils::HardwareSetup;
        worker()->hardwareSetupSteps.clearItems();
        worker()->userAbort = false;
    });
    m_log->clear();
}

// A completed run's upload answer must not reach the next case, whose results file it would
// take for its own.
void TstHwSequencer::cleanup()
{
    if (m_log->contains("Entering onHardwareSetupComplete"))
        QTRY_VERIFY(m_log->contains("processing putHardwareTestResult response"));
    FactoryTestEnv::get().drainFactoryThread();
}

void TstHwSequencer::useSteps(const QJsonArray &steps)
{
    FactoryTestEnv::get().onFactoryThread([&] {
        worker()->factorySetupInfo = setupInfoWith(steps);
        worker()->getHardwareSetupStepsList();
        // The run reloads the setup data from disk; keep the cases' own list there too.
        worker()->factorySetupInfo = setupInfoWith(steps);
    });
}

void TstHwSequencer::start(const QString &stepId)
{
    FactoryTestEnv::get().onFactoryThread([&] { worker()->startHardwareSetup(stepId); });
}

void TstHwSequencer::confirm(const QString &stepId)
{
    FactoryTestEnv::get().onFactoryThread(
        [&] { FactoryTestEnv::get().manager()->markHardwareSetupStepComplete(stepId); });
}

QJsonObject TstHwSequencer::storedSteps() const
{
    QJsonValue lastResult;
    XrfUtils::readJsonFile(FactoryTestEnv::get().lastResultPath(), &lastResult);
    return lastResult.toObject().value("hardwareSetup").toObject().value("result").toObject();
}

QStringList TstHwSequencer::ids() const
{
    return FactoryTestEnv::get().onFactoryThread([&] {
        QStringList list;
        for (const XrfHardwareSetupStepInfo &step : worker()->hardwareSetupSteps.list())
            list << step.stepId();
        return list;
    });
}

void TstHwSequencer::listKeepsStoredOutcomesWithNewParameters()
{
    auto &env = FactoryTestEnv::get();
    // An earlier run passed "visual" and ran "retired", which the setup data no longer has.
    XrfHardwareSetupStepsList earlier;
    XrfHardwareSetupStepInfo visual;
    visual.fromJsonObject(operatorStep("visual"));
    visual.setSetupParams({{"limit", 1}});
    visual.setIsDone(true);
    visual.setStatusMsg("looked fine");
    visual.setResults({{"scratches", 0}});
    visual.setSessionId("{earlier}");
    earlier.append(visual);
    XrfHardwareSetupStepInfo retired;
    retired.fromJsonObject(operatorStep("retired"));
    earlier.append(retired);
    env.onFactoryThread([&] {
        worker()->currentStepInfo.setResultFromJsonObj(earlier.toJsonObject());
        QString error;
        QVERIFY(worker()->saveFactoryStepToLastResult(worker()->currentStepInfo, &error));
    });

    QSignalSpy listChanged(env.manager(), &XrfFactoryManager::hardwareSetupStepsListChanged);
    QSignalSpy current(env.manager(), &XrfFactoryManager::hardwareSetupCurrentStepChanged);
    QJsonObject newVisual = operatorStep("visual");
    newVisual["setupParams"] = QJsonObject{{"limit", 2}};
    useSteps({newVisual, operatorStep("labels")});

    QCOMPARE(ids(), QStringList({"visual", "labels"}));
    QCOMPARE(listChanged.count(), 1);
    QVERIFY(m_log->contains("Reading hardware setup steps list from last result"));
    env.onFactoryThread([&] {
        const XrfHardwareSetupStepInfo *kept =
            worker()->hardwareSetupSteps.getHardwareSetupStep("visual");
        QVERIFY(kept);
        QVERIFY(kept->isDone());
        QCOMPARE(kept->statusMsg(), QStringLiteral("looked fine"));
        QCOMPARE(kept->results().value("scratches").toInt(), 0);
        QCOMPARE(kept->setupParams().value("limit").toInt(), 2);
        QCOMPARE(worker()->hardwareSetupCurrentStepId, QStringLiteral("labels"));
    });
    QVERIFY(!current.isEmpty());
    QCOMPARE(current.last().first().toString(), QStringLiteral("labels"));
}

void TstHwSequencer::listDropsSubStepsTheInstrumentDoesNotHave()
{
    // The default instrument has an SDD detector and a motorised wheel.
    useSteps({operatorStep("detectorMicroReset"), operatorStep("pinDetectorCalibration"),
              operatorStep("filterScan"), operatorStep("instrumentButtonsTest")});
    QCOMPARE(ids(), QStringList({"detectorMicroReset", "filterScan", "instrumentButtonsTest"}));
}

// universalSettings.json deleted or kept aside: the energy scale the FPGA gain setup stored is
// gone, and the sub-step must not count as passed.
void TstHwSequencer::passedSubStepWhoseSettingsAreGoneRunsAgain()
{
    auto &env = FactoryTestEnv::get();
    XrfHardwareSetupStepsList earlier;
    XrfHardwareSetupStepInfo fpga;
    fpga.fromJsonObject(operatorStep("fpgaGainSetup"));
    fpga.setIsDone(true);
    earlier.append(fpga);
    env.onFactoryThread([&] {
        worker()->currentStepInfo.setResultFromJsonObj(earlier.toJsonObject());
        QString error;
        QVERIFY(worker()->saveFactoryStepToLastResult(worker()->currentStepInfo, &error));
    });
    XrfSettingsManager *settings = XrfSettingsManager::instance();
    QJsonObject scale{{"slope", 0.02}, {"offset", 0.0}};
    settings->setUniversalSetting("hardware.fpga", &scale);
    useSteps({operatorStep("fpgaGainSetup")});
    QVERIFY(env.onFactoryThread([&] {
        return worker()->hardwareSetupSteps.getHardwareSetupStep("fpgaGainSetup")->isDone();
    }));

    QJsonObject gone;
    settings->setUniversalSetting("hardware.fpga", &gone);
    useSteps({operatorStep("fpgaGainSetup")});
    QVERIFY(!env.onFactoryThread([&] {
        return worker()->hardwareSetupSteps.getHardwareSetupStep("fpgaGainSetup")->isDone();
    }));
    QVERIFY(m_log->contains("Hardware setup sub-step 'fpgaGainSetup' passed earlier, but "
                            "\"hardware.fpga\" key \"slope\" is missing from "
                                + settings->universalSettingsFilePath(),
                            QtWarningMsg));
}

void TstHwSequencer::missingSetupDataLeavesTheListEmpty()
{
    auto &env = FactoryTestEnv::get();
    QSignalSpy listChanged(env.manager(), &XrfFactoryManager::hardwareSetupStepsListChanged);
    QSignalSpy complete(env.manager(), &XrfFactoryManager::hardwareSetupComplete);
    env.onFactoryThread([&] {
        worker()->factorySetupInfo = QJsonObject{{"cameraSetup", QJsonObject{{"x", 1}}}};
        worker()->getHardwareSetupStepsList();
    });
    QCOMPARE(listChanged.count(), 0);
    QVERIFY(m_log->contains("Failed to read factory setup parameters from factory_setup_data.json",
                            QtWarningMsg));
    QVERIFY(ids().isEmpty());
    // A run on an empty list has nothing to do.
    start();
    QCOMPARE(complete.count(), 1);
    QCOMPARE(complete.first().first().toJsonObject().value("status").toString(),
             QStringLiteral("Passed"));
}

void TstHwSequencer::confirmedSubStepsRunInOrderAndComplete()
{
    auto &env = FactoryTestEnv::get();
    useSteps({operatorStep("visual"), operatorStep("labels")});
    QSignalSpy stepDone(env.manager(), &XrfFactoryManager::hardwareSetupStepComplete);
    QSignalSpy complete(env.manager(), &XrfFactoryManager::hardwareSetupComplete);
    start();
    QCOMPARE(worker()->currentStepInfo.status(), int(XrfFactoryStepInfo::InProgress));
    QVERIFY(worker()->currentStepInfo.sessionId().startsWith('{'));
    QCOMPARE(stepDone.count(), 0);

    confirm("labels"); // not the current sub-step: ignored
    QCOMPARE(stepDone.count(), 0);
    confirm("visual");
    QCOMPARE(stepDone.count(), 1);
    const auto first = stepDone.first().first().value<XrfHardwareSetupStepInfo>();
    QCOMPARE(first.stepId(), QStringLiteral("visual"));
    QVERIFY(first.isDone() && !first.hasFailed());
    // The outcome is in lastResult.json before the next sub-step starts.
    XrfHardwareSetupStepsList stored;
    QVERIFY(stored.fromJsonObject(storedSteps()));
    QVERIFY(stored.getHardwareSetupStep("visual")->isDone());
    QVERIFY(!stored.getHardwareSetupStep("labels")->isDone());

    confirm("labels");
    QCOMPARE(complete.count(), 1);
    QCOMPARE(worker()->currentStepInfo.status(), int(XrfFactoryStepInfo::Passed));
    QCOMPARE(worker()->currentTaskStatus, QStringLiteral("Hardware setup complete"));
    QCOMPARE(worker()->currentTaskProgress, 100.0);
}

void TstHwSequencer::resultsAreStoredUploadedAndTheFileRemoved()
{
    auto &env = FactoryTestEnv::get();
    QJsonObject model{{"instrumentModel", "TARVO-K100"}};
    XrfSettingsManager::instance()->setUniversalSetting("hardware.config", &model);
    useSteps({operatorStep("visual")});
    QSignalSpy complete(env.manager(), &XrfFactoryManager::hardwareSetupComplete);
    start();
    const QString session = worker()->currentStepInfo.sessionId();
    const QString resultFile = worker()->currentStepInfo.resultFile();
    QVERIFY(QRegularExpression("hardwareSetup/hardwareSetup_\\d+_\\d\\d-\\d\\d-\\d{4}_\\d\\d:\\d\\d"
                               "\\.json$")
                .match(resultFile)
                .hasMatch());
    confirm("visual");
    QCOMPARE(complete.count(), 1);

    const QJsonObject results = complete.first().first().toJsonObject();
    QCOMPARE(results.value("status").toString(), QStringLiteral("Passed"));
    QCOMPARE(results.value("serial").toString(), serial());
    QCOMPARE(results.value("sessionId").toString(), session);
    const QJsonObject visual = results.value("visual").toObject();
    QCOMPARE(visual.value("status").toString(), QStringLiteral("pass"));
    QVERIFY(!visual.value("endTime").toString().isEmpty());

    // The cloud receives the same object and reports the step passed; then the file goes.
    const auto uploadOfThisRun = [&] {
        for (const QJsonObject &received : env.cloud().receivedResults(serial(), 305)) {
            const QJsonObject body = received.value("body").toObject();
            if (body.value("sessionId").toString() == session)
                return body;
        }
        return QJsonObject();
    };
    QTRY_VERIFY(!uploadOfThisRun().isEmpty());
    QCOMPARE(uploadOfThisRun().value("visual").toObject(), visual);
    QTRY_COMPARE(env.cloud().stepStatuses(serial()).value(XrfUtils::HardwareSetup), 2);
    QTRY_VERIFY(!QFile::exists(resultFile));

    // A passed run closes its session, and the settings are prepared for the next steps.
    QVERIFY(worker()->currentStepInfo.sessionId().isEmpty());
    QJsonObject config, calCheck;
    XrfSettingsManager::instance()->getUniversalSetting("hardware.config", &config);
    XrfSettingsManager::instance()->getUniversalSetting("hardware.calCheck", &calCheck);
    QCOMPARE(config.value("instrumentModel").toString(), QStringLiteral("TARVO-K100"));
    QCOMPARE(config.value("detectorModel").toString(),
             XrfHardwareManager::instance()->hardwareConfig()->detectorModel());
    QCOMPARE(calCheck.value("firstCalCheckComplete"), QJsonValue(false));
}

void TstHwSequencer::failedUploadKeepsTheResultsFile()
{
    auto &env = FactoryTestEnv::get();
    env.cloud().scriptFailure(XrfNetworkManager::PutHardwareTestResult, 503, "maintenance");
    useSteps({operatorStep("visual")});
    start();
    const QString resultFile = worker()->currentStepInfo.resultFile();
    confirm("visual");
    QTRY_VERIFY(m_log->contains("processing putHardwareTestResult response"));
    env.drainFactoryThread();
    QVERIFY(QFile::exists(resultFile));
    QFile::remove(resultFile);
}

void TstHwSequencer::everythingPassedCompletesAtOnce()
{
    auto &env = FactoryTestEnv::get();
    useSteps({operatorStep("visual")});
    start();
    confirm("visual");
    QSignalSpy complete(env.manager(), &XrfFactoryManager::hardwareSetupComplete);
    QSignalSpy stepDone(env.manager(), &XrfFactoryManager::hardwareSetupStepComplete);
    useSteps({operatorStep("visual")}); // rebuilt from the stored result
    start("visual");
    QCOMPARE(stepDone.count(), 0);
    QCOMPARE(complete.count(), 1);
    QCOMPARE(complete.first().first().toJsonObject().value("status").toString(),
             QStringLiteral("Passed"));
}

void TstHwSequencer::unknownStartIdStartsAtFirstPending()
{
    auto &env = FactoryTestEnv::get();
    useSteps({operatorStep("visual"), operatorStep("labels")});
    QSignalSpy current(env.manager(), &XrfFactoryManager::hardwareSetupCurrentStepChanged);
    start("noSuchStep");
    QCOMPARE(worker()->hardwareSetupCurrentStepId, QStringLiteral("visual"));
    confirm("visual");
    QCOMPARE(worker()->hardwareSetupCurrentStepId, QStringLiteral("labels"));
    QCOMPARE(current.last().first().toString(), QStringLiteral("labels"));
}

void TstHwSequencer::pausesBeforeAndAfterTheAccelerometer()
{
    auto &env = FactoryTestEnv::get();
    const QJsonObject accelerometer{
        {"stepId", "accelerometerSetup"},
        {"displayName", "Accelerometer"},
        {"setupParams", QJsonObject{{"expectedMagnitude", 1.0}, {"magnitudeTolerance", 0.1}}}};
    useSteps({operatorStep("visual"), accelerometer, operatorStep("labels")});
    QSignalSpy stepDone(env.manager(), &XrfFactoryManager::hardwareSetupStepComplete);
    QSignalSpy complete(env.manager(), &XrfFactoryManager::hardwareSetupComplete);
    start();
    confirm("visual");
    // Paused before: the accelerometer has not run.
    QCOMPARE(stepDone.count(), 1);
    QVERIFY(m_log->contains("Next step is acclerometerSetup"));
    QCOMPARE(worker()->currentStepInfo.status(), int(XrfFactoryStepInfo::InProgress));

    start();
    QCOMPARE(stepDone.count(), 2);
    const auto accel = stepDone.last().first().value<XrfHardwareSetupStepInfo>();
    QCOMPARE(accel.stepId(), QStringLiteral("accelerometerSetup"));
    QVERIFY2(!accel.hasFailed(), qPrintable(accel.statusMsg()));
    // Paused after: "labels" waits for the next start.
    QVERIFY(m_log->contains("Accelerometer setup done, pausing hardware setup"));
    QCOMPARE(complete.count(), 0);

    start();
    confirm("labels");
    QCOMPARE(complete.count(), 1);
}

void TstHwSequencer::failedSubStepStopsTheRun()
{
    auto &env = FactoryTestEnv::get();
    const QJsonObject barometer{
        {"stepId", "barometerSetup"},
        {"displayName", "Barometer"},
        {"setupParams",
         QJsonObject{{"minPressureInMilliBar", 5000.0}, {"maxPressureInMilliBar", 6000.0}}}};
    useSteps({barometer, operatorStep("labels")});
    QSignalSpy complete(env.manager(), &XrfFactoryManager::hardwareSetupComplete);
    start();
    QCOMPARE(complete.count(), 1);
    const QJsonObject results = complete.first().first().toJsonObject();
    QCOMPARE(results.value("status").toString(), QStringLiteral("Failed"));
    QCOMPARE(results.value("barometerSetup").toObject().value("status").toString(),
             QStringLiteral("fail"));
    QVERIFY(!results.contains("labels"));
    QCOMPARE(worker()->currentTaskStatus, QStringLiteral("Hardware setup failed"));
    env.onFactoryThread([&] {
        QVERIFY(!worker()->hardwareSetupSteps.getHardwareSetupStep("labels")->isDone());
        // A failed run keeps its session for the retry.
        QVERIFY(!worker()->currentStepInfo.sessionId().isEmpty());
    });
    // Requests travel in parallel, so an earlier case's report may land later: look for this one.
    const auto reportedFailed = [&] {
        for (const QJsonObject &sent : env.cloud().receivedResults(serial(), 307)) {
            const QJsonObject body = sent.value("body").toObject();
            if (body.value("stepId").toInt() == XrfUtils::HardwareSetup
                && body.value("status").toInt() == 3)
                return true;
        }
        return false;
    };
    QTRY_VERIFY(reportedFailed());
}

void TstHwSequencer::badSetupDataFailsTheSubStepNamingFileAndKey_data()
{
    QTest::addColumn<QJsonObject>("subStep");
    QTest::addColumn<QString>("message");
    QJsonObject typo = operatorStep("barometerSetpu");
    typo["setupParams"] = QJsonObject();
    QTest::newRow("unknown id, never confirmed")
        << typo
        << "Unknown hardware setup sub-step 'barometerSetpu' in \"hardwareSetupSteps\" of "
           "%1: no procedure runs it and \"operatorConfirms\" is not set";
    QTest::newRow("number given as text")
        << QJsonObject{{"stepId", "barometerSetup"},
                       {"displayName", "Barometer"},
                       {"setupParams",
                        QJsonObject{{"minPressureInMilliBar", "900"},
                                    {"maxPressureInMilliBar", 1100.0}}}}
        << "Setup parameter \"minPressureInMilliBar\" of hardware setup sub-step "
           "'barometerSetup' in %1 is the text \"900\"; it must be a number";
}

// Neither waits for a confirmation that never comes nor runs with a 0 for the number.
void TstHwSequencer::badSetupDataFailsTheSubStepNamingFileAndKey()
{
    QFETCH(QJsonObject, subStep);
    QFETCH(QString, message);
    auto &env = FactoryTestEnv::get();
    useSteps({subStep, operatorStep("labels")});
    QSignalSpy stepDone(env.manager(), &XrfFactoryManager::hardwareSetupStepComplete);
    QSignalSpy complete(env.manager(), &XrfFactoryManager::hardwareSetupComplete);
    start();
    QCOMPARE(stepDone.count(), 1);
    const auto step = stepDone.first().first().value<XrfHardwareSetupStepInfo>();
    QVERIFY(step.hasFailed());
    QCOMPARE(step.statusMsg(), message.arg(env.factoryDataPath() + "/factory_setup_data.json"));
    QCOMPARE(complete.count(), 1);
    QCOMPARE(complete.first().first().toJsonObject().value("status").toString(),
             QStringLiteral("Failed"));
}

void TstHwSequencer::invalidationReopensTheRest()
{
    auto &env = FactoryTestEnv::get();
    useSteps({operatorStep("visual"), operatorStep("labels"), operatorStep("seal")});
    start();
    confirm("visual");
    confirm("labels");
    QSignalSpy listChanged(env.manager(), &XrfFactoryManager::hardwareSetupStepsListChanged);
    QSignalSpy current(env.manager(), &XrfFactoryManager::hardwareSetupCurrentStepChanged);
    env.onFactoryThread([&] { worker()->invalidateHardwareSetupResults("labels"); });
    QCOMPARE(listChanged.count(), 1);
    QCOMPARE(current.last().first().toString(), QStringLiteral("labels"));
    XrfHardwareSetupStepsList stored;
    QVERIFY(stored.fromJsonObject(storedSteps()));
    QVERIFY(stored.getHardwareSetupStep("visual")->isDone());
    for (const char *id : {"labels", "seal"}) {
        QVERIFY(!stored.getHardwareSetupStep(id)->isDone());
        QVERIFY(stored.getHardwareSetupStep(id)->hasFailed());
        QVERIFY(stored.getHardwareSetupStep(id)->results().isEmpty());
    }
    // An unknown id changes nothing.
    env.onFactoryThread([&] { worker()->invalidateHardwareSetupResults("noSuchStep"); });
    QCOMPARE(listChanged.count(), 1);
}

void TstHwSequencer::abortStopsAndIsReported()
{
    auto &env = FactoryTestEnv::get();
    useSteps({operatorStep("visual")});
    start();
    QSignalSpy progress(env.manager(), &XrfFactoryManager::currentTaskProgressChanged);
    // The application may abort from its own thread.
    env.manager()->abortHardwareSetup();
    QVERIFY(env.manager()->isUserAbort());
    QTRY_COMPARE(env.manager()->currentTaskStatus(), QStringLiteral("HW setup aborted"));
    QCOMPARE(env.manager()->currentTaskProgress(), 0.0);
    QVERIFY(m_log->contains("FactoryManager:: HW setup aborted."));
    // A finished slot that arrives after the abort does nothing.
    QSignalSpy stepDone(env.manager(), &XrfFactoryManager::hardwareSetupStepComplete);
    env.onFactoryThread([&] { worker()->onBarometerSetupFinished(); });
    QCOMPARE(stepDone.count(), 0);
    // Starting again clears the flag.
    start();
    QVERIFY(!env.manager()->isUserAbort());
}

void TstHwSequencer::startOutsideTheStepIsRefused()
{
    auto &env = FactoryTestEnv::get();
    useSteps({operatorStep("visual")});
    env.onFactoryThread([&] { worker()->currentStepId = XrfUtils::Provisioning; });
    QSignalSpy current(env.manager(), &XrfFactoryManager::hardwareSetupCurrentStepChanged);
    start();
    QCOMPARE(current.count(), 0);
    QCOMPARE(worker()->currentStepInfo.status(), int(XrfFactoryStepInfo::None));
    QVERIFY(m_log->contains("enter the hardwareSetup step first", QtWarningMsg));
}

void TstHwSequencer::firmwareLogIsWrittenOrReported()
{
    auto &env = FactoryTestEnv::get();
    QTemporaryDir folder;
    const bool written = env.onFactoryThread([&] {
        return worker()->writeFirmwareLog(folder.path() + "/logs/", "hardwareSetup_x.txt");
    });
    QVERIFY(written);
    QFile file(folder.path() + "/logs/hardwareSetup_x.txt");
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("K60 boot"));

    env.instrument().faults().failOperation("getFirmwareLog", -30, 1);
    QVERIFY(!env.onFactoryThread(
        [&] { return worker()->writeFirmwareLog(folder.path(), "hardwareSetup_y.txt"); }));
    QVERIFY(!QFile::exists(folder.path() + "/hardwareSetup_y.txt"));
}

QTEST_GUILESS_MAIN(TstHwSequencer)
#include "tst_hwsequencer.moc"
