// Entering factory steps, the completed-steps count, invalidation, the reset to an earlier step
// and the jump back to calibration.

#include "factorytestenv.h"
#include "factoryutils.h"
#include "logcapture.h"
#include "simnetworkmanager.h"
#include "xrfmethod.h"
#include "xrfsettingsmanager.h"

#include <QtTest>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

void writeJson(const QString &path, const QJsonObject &object)
{
    QVERIFY(XrfUtils::writeJsonFile(path, QJsonDocument(object)));
}

QJsonObject readJson(const QString &path)
{
    QJsonValue value;
    XrfUtils::readJsonFile(path, &value);
    return value.toObject();
}

QJsonObject factorySettings()
{
    QJsonObject settings;
    XrfSettingsManager::instance()->getUniversalSetting("factory.settings", &settings);
    return settings;
}

void setFactorySettings(const QJsonObject &settings)
{
    QJsonObject copy = settings;
    QCOMPARE(XrfSettingsManager::instance()->setUniversalSetting("factory.settings", &copy), 0);
}

QJsonObject stepRecord(int stepId, int status)
{
    return {
        {"stepId", stepId},
        {"stepIdStr", XrfFactoryManager::factoryStepNameFromId(XrfUtils::FactoryStepId(stepId))},
        {"status", status},
        {"sessionId", "s1"}};
}

} // namespace

class TstFactorySteps : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void stepNamesAndIds();
    void unknownStepNamesChangeNothing_data();
    void unknownStepNamesChangeNothing();
    void reenteringTheCurrentStepDoesNothing();
    void workOrderIsReloadedOnlyAroundLaterSteps();
    void storedRecordIsKeptAndAbsentOneIsFresh();
    void completedSequenceSkipsTheResetPolicy();
    void offlineEntryMarksAStepTheCloudCountedDone();
    void offlineEntryMovingBackwardMarksNothing();

    void completedCountNeedsTheKey();
    void completedCountRefusesNegativeAndSkipsUnchanged();
    void invalidationRemovesOnlyValidSteps();
    void resetInvalidatesCloudMarkedStepsAndLowersTheCount();
    void resetToPrerequisiteShotsKeepsItsOwnResult();
    void statusResetFromTheApplicationEmitsCompletion();
    void jumpBackToCalibrationAllReset();
    void jumpBackToCalibrationKeepsTheSelectedMethod_data();
    void jumpBackToCalibrationKeepsTheSelectedMethod();
    void noJumpBackModeChangesNothing();

    void stabilityRemainingTime();

private:
    Worker *worker() const { return FactoryTestEnv::get().worker(); }
    template<typename Work>
    auto onFactoryThread(Work work) const
    {
        return FactoryTestEnv::get().onFactoryThread(work);
    }
    void enter(const QString &step) const
    {
        onFactoryThread([&] { worker()->doStepInit(step); });
    }
    void resetStepTo(int stepId) const
    {
        onFactoryThread([&] { worker()->currentStepId = stepId; });
    }

    std::unique_ptr<LogCapture> m_log;
};

void TstFactorySteps::initTestCase()
{
    m_log.reset(new LogCapture);
    auto &env = FactoryTestEnv::start();
    env.network().setForcedOffline(true);
    env.drainFactoryThread();
    QTRY_VERIFY(!worker()->cloudConnected);
}

void TstFactorySteps::init()
{
    auto &env = FactoryTestEnv::get();
    QFile::remove(env.lastResultPath());
    QFile::remove(env.factoryDataPath() + "/workOrderInfo.json");
    setFactorySettings(QJsonObject{{"factoryStepsCompleted", 0}});
    onFactoryThread([this] {
        worker()->lastResult = QJsonObject();
        worker()->currentStepId = XrfUtils::None;
        worker()->isMovingBackward = false;
    });
    m_log->clear();
}

void TstFactorySteps::stepNamesAndIds()
{
    const QStringList names = {
        "none",        "softwareUpdate",    "provisioning",        "hardwareSetup",
        "cameraSetup", "stability",         "collimatedStability", "beamsSetup",
        "airShot",     "prerequisiteShots", "calibrationShot",     "factorSet"};
    for (int id = 0; id < names.size(); ++id) {
        QCOMPARE(XrfFactoryManager::factoryStepNameFromId(XrfUtils::FactoryStepId(id)), names[id]);
        QCOMPARE(int(XrfFactoryManager::factoryStepIdFromName(names[id])), id);
    }
    QCOMPARE(XrfFactoryManager::factoryStepNameFromId(XrfUtils::FactoryStepId(12)), QString());
    QCOMPARE(int(XrfFactoryManager::factoryStepIdFromName("HardwareSetup")), 0);
}

void TstFactorySteps::unknownStepNamesChangeNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("none") << "none";
    QTest::newRow("unknown") << "qualityCheck";
    QTest::newRow("wrong case") << "Provisioning";
}

void TstFactorySteps::unknownStepNamesChangeNothing()
{
    QFETCH(QString, name);
    resetStepTo(XrfUtils::HardwareSetup);
    QSignalSpy changed(FactoryTestEnv::get().manager(),
                       &XrfFactoryManager::currentFactoryStepChanged);
    enter(name);
    QVERIFY(m_log->contains("FactoryStep init failed to find step with the name: ", QtWarningMsg));
    QCOMPARE(worker()->currentStepId, int(XrfUtils::HardwareSetup));
    QCOMPARE(changed.count(), 0);
}

void TstFactorySteps::reenteringTheCurrentStepDoesNothing()
{
    auto *manager = FactoryTestEnv::get().manager();
    QSignalSpy changed(manager, &XrfFactoryManager::currentFactoryStepChanged);
    enter("provisioning");
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().value(2).toInt(), int(XrfUtils::Provisioning));
    m_log->clear();
    enter("provisioning");
    QCOMPARE(changed.count(), 1);
    QVERIFY(!m_log->contains("Initializing factory step:"));
}

void TstFactorySteps::workOrderIsReloadedOnlyAroundLaterSteps()
{
    writeJson(FactoryTestEnv::get().factoryDataPath() + "/workOrderInfo.json",
              QJsonObject{{"workOrder", QJsonObject{{"deviceType", "TARVO-K100"}}}});
    enter("provisioning");
    m_log->clear();
    enter("softwareUpdate");
    QVERIFY(!m_log->contains("Workorder:"));
    QVERIFY(worker()->isMovingBackward);
    enter("hardwareSetup");
    QVERIFY(m_log->contains("Workorder:"));
    QVERIFY(!worker()->isMovingBackward);
    QCOMPARE(worker()->workOrder.value("deviceType").toString(), QStringLiteral("TARVO-K100"));
}

void TstFactorySteps::storedRecordIsKeptAndAbsentOneIsFresh()
{
    writeJson(FactoryTestEnv::get().lastResultPath(),
              QJsonObject{{"hardwareSetup", stepRecord(XrfUtils::HardwareSetup, 3)}});
    enter("hardwareSetup");
    QCOMPARE(worker()->currentStepInfo.status(), int(XrfFactoryStepInfo::Failed));
    QCOMPARE(worker()->currentStepInfo.sessionId(), QStringLiteral("s1"));

    enter("cameraSetup");
    QCOMPARE(worker()->currentStepInfo.stepId(), int(XrfUtils::CameraSetup));
    QCOMPARE(worker()->currentStepInfo.stepIdStr(), QStringLiteral("cameraSetup"));
    QCOMPARE(worker()->currentStepInfo.status(), int(XrfFactoryStepInfo::None));
}

void TstFactorySteps::completedSequenceSkipsTheResetPolicy()
{
    setFactorySettings(QJsonObject{{"factoryStepsCompleted", 12}});
    enter("beamsSetup");
    QVERIFY(m_log->contains("Factory step 'beamsSetup' is invoked from user app, skipping reset "
                            "policy check.",
                            QtInfoMsg));
}

void TstFactorySteps::offlineEntryMarksAStepTheCloudCountedDone()
{
    const QJsonObject status{{"stepId", 4},
                             {"stepStatus",
                              QJsonArray{QJsonObject{{"stepId", 4}, {"statusId", 5}},
                                         QJsonObject{{"stepId", 4}, {"statusId", 2}}}}};
    writeJson(FactoryTestEnv::get().lastResultPath(), QJsonObject{{"factoryStepsStatus", status}});
    QSignalSpy marked(FactoryTestEnv::get().manager(), &XrfFactoryManager::markFactoryStepComplete);
    enter("cameraSetup");
    QCOMPARE(marked.count(), 1);
    QCOMPARE(marked.first().first().toString(), QStringLiteral("cameraSetup"));
}

void TstFactorySteps::offlineEntryMovingBackwardMarksNothing()
{
    const QJsonObject status{
        {"stepId", 4}, {"stepStatus", QJsonArray{QJsonObject{{"stepId", 3}, {"statusId", 2}}}}};
    writeJson(FactoryTestEnv::get().lastResultPath(), QJsonObject{{"factoryStepsStatus", status}});
    resetStepTo(XrfUtils::CameraSetup);
    QSignalSpy marked(FactoryTestEnv::get().manager(), &XrfFactoryManager::markFactoryStepComplete);
    enter("hardwareSetup");
    QCOMPARE(marked.count(), 0);
}

void TstFactorySteps::completedCountNeedsTheKey()
{
    setFactorySettings(QJsonObject{{"factorySelectedMethod", "Alloy"}});
    qint32 count = -1;
    QString error;
    QVERIFY(!worker()->getFactoryStepsCompleted(&count, &error));
    QCOMPARE(error,
             QStringLiteral("Failed to find 'factoryStepsCompleted' key in "
                            "'factory.settings' object in universalSettings.json"));
    QVERIFY(!worker()->getFactoryStepsCompleted(nullptr, &error));
    QVERIFY(!worker()->setFactoryStepsCompleted(3, &error));
    QVERIFY(error.startsWith("Failed to get factoryStepsCompleted from universalSettings, error:"));
}

void TstFactorySteps::completedCountRefusesNegativeAndSkipsUnchanged()
{
    auto &env = FactoryTestEnv::get();
    setFactorySettings(
        QJsonObject{{"factoryStepsCompleted", 4}, {"factorySelectedMethod", "Alloy"}});
    QSignalSpy changed(env.manager(), &XrfFactoryManager::factoryStepsCompletedChanged);
    QString error;
    QVERIFY(!onFactoryThread([&] { return worker()->setFactoryStepsCompleted(-1, &error); }));
    QCOMPARE(error, QStringLiteral("-1 is not valid value"));

    const QString settingsFile = XrfSettingsManager::instance()->universalSettingsFilePath();
    const QDateTime before = QFileInfo(settingsFile).lastModified();
    QFile::setPermissions(settingsFile, QFile::ReadOwner); // any write would now be visible
    QVERIFY(onFactoryThread([&] { return worker()->setFactoryStepsCompleted(4, &error); }));
    QFile::setPermissions(settingsFile, QFile::ReadOwner | QFile::WriteOwner);
    QCOMPARE(QFileInfo(settingsFile).lastModified(), before);
    QCOMPARE(changed.count(), 0);

    QVERIFY(onFactoryThread([&] { return worker()->setFactoryStepsCompleted(6, &error); }));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().first().toUInt(), 6u);
    QCOMPARE(factorySettings().value("factoryStepsCompleted").toInt(), 6);
    QCOMPARE(factorySettings().value("factorySelectedMethod").toString(), QStringLiteral("Alloy"));
}

void TstFactorySteps::invalidationRemovesOnlyValidSteps()
{
    auto &env = FactoryTestEnv::get();
    writeJson(env.lastResultPath(),
              QJsonObject{{"beamsSetup", stepRecord(7, 2)}, {"airShot", stepRecord(8, 2)}});
    QString error;
    for (int invalid : {0, 12}) {
        QVERIFY(!onFactoryThread([&] {
            return worker()->invalidateFactoryStep(XrfUtils::FactoryStepId(invalid), &error, false);
        }));
        QCOMPARE(error, QStringLiteral("%1 is not a valid factory step.").arg(invalid));
    }
    QVERIFY(onFactoryThread(
        [&] { return worker()->invalidateFactoryStep(XrfUtils::BeamsSetup, &error, false); }));
    QVERIFY(m_log->contains("Deleting results for factory step:"));
    const QJsonObject stored = readJson(env.lastResultPath());
    QVERIFY(!stored.contains("beamsSetup"));
    QVERIFY(stored.contains("airShot"));
    QVERIFY(onFactoryThread(
        [&] { return worker()->invalidateFactoryStep(XrfUtils::Stability, &error, false); }));
}

void TstFactorySteps::resetInvalidatesCloudMarkedStepsAndLowersTheCount()
{
    auto &env = FactoryTestEnv::get();
    writeJson(env.lastResultPath(),
              QJsonObject{{"beamsSetup", stepRecord(7, 2)},
                          {"airShot", stepRecord(8, 2)},
                          {"stability", stepRecord(5, 2)}});
    setFactorySettings(QJsonObject{{"factoryStepsCompleted", 9}});
    QString error;
    QVERIFY(!onFactoryThread(
        [&] { return worker()->resetToFactoryStep(XrfUtils::FactoryStepId(0), {}, &error); }));
    QCOMPARE(error, QStringLiteral("Invalid factory step: 0"));

    const QList<StepStatus> statuses = {StepStatus(7, 4), StepStatus(8, 4), StepStatus(5, 2)};
    QVERIFY(onFactoryThread(
        [&] { return worker()->resetToFactoryStep(XrfUtils::BeamsSetup, statuses, &error); }));
    const QJsonObject stored = readJson(env.lastResultPath());
    QVERIFY(!stored.contains("beamsSetup"));
    QVERIFY(!stored.contains("airShot"));
    QVERIFY(stored.contains("stability"));
    QCOMPARE(factorySettings().value("factoryStepsCompleted").toInt(), 6);
}

void TstFactorySteps::resetToPrerequisiteShotsKeepsItsOwnResult()
{
    auto &env = FactoryTestEnv::get();
    writeJson(env.lastResultPath(),
              QJsonObject{{"prerequisiteShots", stepRecord(9, 2)},
                          {"calibrationShot", stepRecord(10, 2)}});
    setFactorySettings(QJsonObject{{"factoryStepsCompleted", 10}});
    QString error;
    QVERIFY(onFactoryThread([&] {
        return worker()->resetToFactoryStep(XrfUtils::PrerequisiteShots,
                                            {StepStatus(9, 4), StepStatus(10, 4)}, &error);
    }));
    const QJsonObject stored = readJson(env.lastResultPath());
    QVERIFY(stored.contains("prerequisiteShots"));
    QVERIFY(!stored.contains("calibrationShot"));
    QVERIFY(m_log->contains("ModelMethod Changed (resetToFactoryStep) "));
    QCOMPARE(factorySettings().value("factoryStepsCompleted").toInt(), 8);
}

void TstFactorySteps::statusResetFromTheApplicationEmitsCompletion()
{
    auto &env = FactoryTestEnv::get();
    setFactorySettings(QJsonObject{{"factoryStepsCompleted", 5}});
    QSignalSpy done(env.manager(), &XrfFactoryManager::resetToFactoryStepComplete);
    const QJsonObject status{
        {"stepId", 3},
        {"hasFactoryStepInvalidated", true},
        {"stepStatus", QJsonArray{QJsonObject{{"stepId", 3}, {"statusId", 4}}}}};
    onFactoryThread([&] { env.manager()->resetDeviceFactoryStatus(status); });
    QCOMPARE(done.count(), 1);
    QCOMPARE(done.first().first().toUInt(), 3u);
    QCOMPARE(factorySettings().value("factoryStepsCompleted").toInt(), 2);

    onFactoryThread([&] { env.manager()->resetDeviceFactoryStatus(QJsonObject{{"stepId", 0}}); });
    QCOMPARE(done.count(), 1);
    QVERIFY(m_log->contains("Failed to reset to factory step:", QtWarningMsg));
}

void TstFactorySteps::jumpBackToCalibrationAllReset()
{
    auto &env = FactoryTestEnv::get();
    writeJson(env.lastResultPath(),
              QJsonObject{{"calibrationShot", stepRecord(10, 2)},
                          {"factorSet", QJsonObject{{"status", "pass"}}},
                          {"qcSummary", QJsonObject{{"status", "pass"}}},
                          {"airShot", stepRecord(8, 2)}});
    setFactorySettings(QJsonObject{{"factoryStepsCompleted", 11},
                                   {"factorySelectedMethod", "Alloy"},
                                   {"jumpBackToCalibrationMode", "ALL_RESET"}});
    onFactoryThread([&] { worker()->doJumpBackToCalibrationCheck(); });
    QVERIFY(m_log->contains("Jump back to calibration flow detected......"));
    QVERIFY(m_log->contains("'calibrationShot' result deleted from lastResult.json"));
    const QJsonObject stored = readJson(env.lastResultPath());
    QVERIFY(!stored.contains("calibrationShot"));
    QVERIFY(stored.contains("airShot"));
    // No factor set exists any more: the step must not look present.
    QVERIFY(!stored.contains("factorSet"));
    QVERIFY(!stored.contains("qcSummary"));
    const QJsonObject settings = factorySettings();
    QVERIFY(!settings.contains("jumpBackToCalibrationMode"));
    QCOMPARE(settings.value("factorySelectedMethod").toString(), QStringLiteral("Alloy"));
    QCOMPARE(worker()->factorySelectedMethod, QStringLiteral("Alloy"));
}

void TstFactorySteps::jumpBackToCalibrationKeepsTheSelectedMethod_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("selectedDone");
    QTest::addColumn<QString>("status");
    QTest::newRow("current") << "CURRENT" << true << "pass";
    QTest::newRow("current reset") << "CURRENT_RESET" << false << "notStarted";
}

// The selected method's installed file is factor-set; the other method's result goes either way,
// and with a reset the selected method starts over too.
void TstFactorySteps::jumpBackToCalibrationKeepsTheSelectedMethod()
{
    QFETCH(QString, mode);
    QFETCH(bool, selectedDone);
    QFETCH(QString, status);
    auto &env = FactoryTestEnv::get();
    const QString methodFile =
        XrfMethod::methodFilePath(worker()->profilePath, QStringLiteral("Alloy"));
    QVERIFY(QDir().mkpath(QFileInfo(methodFile).path()));
    writeJson(methodFile, QJsonObject{{"id", "Alloy"}, {"isFactorSet", true}});
    const QJsonObject done{{"isDone", true}, {"hasFailed", false}, {"statusRequestId", 7}};
    QJsonObject alloy = done;
    alloy.insert("methodName", "Alloy");
    QJsonObject soil = done;
    soil.insert("methodName", "Soil");
    const QJsonObject results{{"status", "pass"}, {"methodsStatus", QJsonArray{alloy, soil}}};
    writeJson(env.lastResultPath(), QJsonObject{{"factorSet", results}, {"qcSummary", results}});
    setFactorySettings(
        QJsonObject{{"factorySelectedMethod", "Alloy"}, {"jumpBackToCalibrationMode", mode}});
    onFactoryThread([&] {
        worker()->factorySelectedMethod.clear();
        worker()->doJumpBackToCalibrationCheck();
    });
    const QJsonObject factorSet = readJson(env.lastResultPath()).value("factorSet").toObject();
    const QJsonArray methods = factorSet.value("methodsStatus").toArray();
    QCOMPARE(methods.size(), 1);
    QCOMPARE(methods.first().toObject().value("methodName").toString(), QStringLiteral("Alloy"));
    QCOMPARE(methods.first().toObject().value("isDone").toBool(), selectedDone);
    QCOMPARE(factorSet.value("status").toString(), status);
    QVERIFY(!factorySettings().contains("jumpBackToCalibrationMode"));
    QDir(QFileInfo(methodFile).path()).removeRecursively();
}

void TstFactorySteps::noJumpBackModeChangesNothing()
{
    auto &env = FactoryTestEnv::get();
    const QJsonObject image{{"calibrationShot", stepRecord(10, 2)}};
    writeJson(env.lastResultPath(), image);
    onFactoryThread([&] { worker()->doJumpBackToCalibrationCheck(); });
    QCOMPARE(readJson(env.lastResultPath()), image);
    QVERIFY(!m_log->contains("Jump back to calibration flow detected"));
}

void TstFactorySteps::stabilityRemainingTime()
{
    const int minutes = FactoryUtils::stabilityRemainingMinutes("BOTH", 5, 60, 30, 1);
    QCOMPARE(minutes, 3);
    QCOMPARE(FactoryUtils::stabilityTimeRemainingText(minutes),
             QStringLiteral("Time remaining: 3 min"));
    QCOMPARE(FactoryUtils::stabilityTimeRemainingText(125),
             QStringLiteral("Time remaining: 2 hrs 5 min"));
    QCOMPARE(FactoryUtils::stabilityRemainingMinutes("HV", 4, 60, 30, 0), 4);
    QCOMPARE(FactoryUtils::stabilityRemainingMinutes("both", 4, 60, 30, 0), 0);
    QCOMPARE(FactoryUtils::stabilityStatusText(2, 10, 1, 3, "Time remaining: 3 min"),
             QStringLiteral("Running test 2 of 10, retry 1 of 3...\nTime remaining: 3 min"));
    QCOMPARE(FactoryUtils::stabilityStatusText(2, 10, 0, 3, "Time remaining: 3 min"),
             QStringLiteral("Running test 2 of 10...\nTime remaining: 3 min"));
}

QTEST_GUILESS_MAIN(TstFactorySteps)
#include "tst_factorysteps.moc"
