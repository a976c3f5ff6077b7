// The filter move exercise, as a hardware setup sub-step and as the filter wheel test: runs of
// clean moves, failed and jammed moves, the abort, bad parameters and the test's entry points.

#include "factorytestenv.h"
#include "logcapture.h"
#include "simfaults.h"
#include "siminstrument.h"
#include "simscenarios.h"
#include "xrfengine.h"

#include <QtTest>

#include <thread>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

const QString kExercise = QStringLiteral("filterMoveExercise");

QJsonObject exerciseParams(int maxCount, int minSucceedCount)
{
    return {{"filterMovementSequence", QJsonArray{0, 9, 1, 8}},
            {"minSucceedCount", minSucceedCount},
            {"maxCount", maxCount},
            {"movementTimeoutInMs", 1000},
            {"pollIntervalInMs", 20},
            {"waitTimeBetweenMoveInMs", 0}};
}

void seedDefaultData()
{
    QVERIFY(FactoryTestEnv::get().seedModelData(QStringLiteral("default")));
}

SimFaults &faults()
{
    return FactoryTestEnv::get().instrument().faults();
}

QJsonObject readJson(const QString &path)
{
    QJsonValue value;
    XrfUtils::readJsonFile(path, &value);
    return value.toObject();
}

} // namespace

class TstFilterMoveExercise : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void cleanRunPasses();
    void longestRunDecides_data();
    void longestRunDecides();
    void jammedWheelFailsEveryMove();
    void abortedExerciseFails();
    void badSetupFails_data();
    void badSetupFails();
    void controllerReadFailures_data();
    void controllerReadFailures();

    void filterWheelTestEntryPoints();
    void filterWheelTestNeedsTheExerciseInTheSetupData();
    void stopFilterWheelTestFromAnotherThread();

private:
    Worker *worker() const { return FactoryTestEnv::get().worker(); }
    XrfHardwareSetupStepInfo runExercise(const QJsonObject &params);
    QString setupDataPath() const;
    void writeSetupData(const std::function<void(QJsonArray &steps)> &change);

    std::unique_ptr<LogCapture> m_log;
    QJsonObject m_originalSetupData;
};

void TstFilterMoveExercise::initTestCase()
{
    m_log.reset(new LogCapture);
    FactoryTestEnv::start();
    seedDefaultData();
    m_originalSetupData = readJson(setupDataPath());
    QVERIFY(!m_originalSetupData.isEmpty());
}

void TstFilterMoveExercise::cleanupTestCase()
{
    FactoryTestEnv::get().settleBeforeExit();
}

void TstFilterMoveExercise::init()
{
    m_log->clear();
}

void TstFilterMoveExercise::cleanup()
{
    faults().clear();
    QVERIFY(XrfUtils::writeJsonFile(setupDataPath(), QJsonDocument(m_originalSetupData)));
    FactoryTestEnv::get().onFactoryThread([this] {
        worker()->userAbort = false;
        worker()->factorySetupInfo = QJsonObject();
    });
}

QString TstFilterMoveExercise::setupDataPath() const
{
    return FactoryTestEnv::get().onFactoryThread(
        [this] { return worker()->factorySetupDataFilePaths.value(worker()->modelFilesIndex()); });
}

void TstFilterMoveExercise::writeSetupData(const std::function<void(QJsonArray &)> &change)
{
    QJsonObject data = m_originalSetupData;
    QJsonObject info = data.value("factorySetupInfo").toObject();
    QJsonObject hardwareSetup = info.value("hardwareSetup").toObject();
    QJsonArray steps = hardwareSetup.value("hardwareSetupSteps").toArray();
    change(steps);
    hardwareSetup["hardwareSetupSteps"] = steps;
    info["hardwareSetup"] = hardwareSetup;
    data["factorySetupInfo"] = info;
    QVERIFY(XrfUtils::writeJsonFile(setupDataPath(), QJsonDocument(data)));
}

XrfHardwareSetupStepInfo TstFilterMoveExercise::runExercise(const QJsonObject &params)
{
    auto &env = FactoryTestEnv::get();
    return env.onFactoryThread([&] {
        XrfHardwareSetupStepsList steps;
        steps.fromJsonObject({{"hardwareSetupSteps",
                               QJsonArray{QJsonObject{{"stepId", kExercise},
                                                      {"displayName", "Filter wheel move exercise"},
                                                      {"setupParams", params}}}}});
        worker()->hardwareSetupSteps = steps;
        worker()->currentStepId = XrfUtils::HardwareSetup;
        worker()->doFilterMoveExercise(true);
        return *worker()->hardwareSetupSteps.getHardwareSetupStep(kExercise);
    });
}

void TstFilterMoveExercise::cleanRunPasses()
{
    QSignalSpy complete(FactoryTestEnv::get().manager(),
                        &XrfFactoryManager::hardwareSetupStepComplete);
    const XrfHardwareSetupStepInfo step = runExercise(exerciseParams(12, 10));
    QVERIFY2(!step.hasFailed(), qPrintable(step.statusMsg()));
    QCOMPARE(step.statusMsg(), QString("Filter move exercise - Completed Sucessfully"));
    QCOMPARE(complete.count(), 1);
    const QJsonObject results = step.results();
    QCOMPARE(results.value("moveCount").toInt(), 12);
    QCOMPARE(results.value("succeedCount").toInt(), 12);
    QCOMPARE(results.value("succeedCountMax").toInt(), 12);
    QCOMPARE(results.value("faultCount").toInt(), 0);
    QCOMPARE(results.value("succeedCountSeq").toArray(), QJsonArray{12});
    QVERIFY(results.value("elaspedMinSucceedInMs").toInt() >= 0);
    QVERIFY(results.value("elaspedTimeInMs").toInt()
            >= results.value("elaspedMinSucceedInMs").toInt());
    QVERIFY(m_log->contains("Move 12 Succeed 12 Max 12"));
    QVERIFY(m_log->contains("Filter move exercise check on move 2, PosSet 9, PosMon 9"));
    QCOMPARE(FactoryTestEnv::get().onFactoryThread([this] { return worker()->currentTaskStatus; }),
             QString("Hardware setup complete"));
}

// The first move fails, then every move is clean: the runs are 0 and maxCount - 1.
void TstFilterMoveExercise::longestRunDecides_data()
{
    QTest::addColumn<int>("minSucceedCount");
    QTest::addColumn<bool>("passes");
    QTest::newRow("longest run equals the minimum") << 5 << true;
    QTest::newRow("longest run one short") << 6 << false;
}

void TstFilterMoveExercise::longestRunDecides()
{
    QFETCH(int, minSucceedCount);
    QFETCH(bool, passes);
    faults().failOperation("moveFilterWheelPos", xrf_hal::EngineOutOfRange, 1);
    const XrfHardwareSetupStepInfo step = runExercise(exerciseParams(6, minSucceedCount));
    QCOMPARE(step.hasFailed(), !passes);
    QCOMPARE(step.statusMsg(),
             passes ? QString("Filter move exercise - Completed Sucessfully")
                    : QString("Filter move exercise - Failed"));
    const QJsonObject results = step.results();
    QCOMPARE(results.value("succeedCountSeq").toArray(), (QJsonArray{0, 5}));
    QCOMPARE(results.value("faultCount").toInt(), 1);
    QCOMPARE(results.value("succeedCountMax").toInt(), 5);
    QCOMPARE(results.value("elaspedMinSucceedInMs").toInt() >= 0, passes);
    QVERIFY(m_log->contains("Filter move exercise failed on move 1 to position 0", QtWarningMsg));
}

void TstFilterMoveExercise::jammedWheelFailsEveryMove()
{
    QVERIFY(SimScenarios::apply("filter-wheel-jam", FactoryTestEnv::get().instrument()));
    QJsonObject params = exerciseParams(3, 1);
    params["movementTimeoutInMs"] = 200;
    const XrfHardwareSetupStepInfo step = runExercise(params);
    QVERIFY(step.hasFailed());
    QCOMPARE(step.statusMsg(), QString("Filter move exercise - Failed"));
    QCOMPARE(step.results().value("faultCount").toInt(), 3);
    QCOMPARE(step.results().value("succeedCountMax").toInt(), 0);
    QCOMPARE(step.results().value("succeedCountSeq").toArray(), (QJsonArray{0, 0, 0, 0}));
}

// An abort stops the exercise at once and fails the sub-step even after a long clean run, so that
// the sequencer does not go on.
void TstFilterMoveExercise::abortedExerciseFails()
{
    QSignalSpy complete(FactoryTestEnv::get().manager(),
                        &XrfFactoryManager::hardwareSetupStepComplete);
    const XrfHardwareSetupStepInfo step = FactoryTestEnv::get().onFactoryThread([this] {
        QTimer::singleShot(20, worker(), [this] { worker()->stopFilterWheelTest(); });
        XrfHardwareSetupStepsList steps;
        steps.fromJsonObject(
            {{"hardwareSetupSteps",
              QJsonArray{QJsonObject{{"stepId", kExercise},
                                     {"setupParams", exerciseParams(100000, 1)}}}}});
        worker()->hardwareSetupSteps = steps;
        worker()->doFilterMoveExercise(true);
        return *worker()->hardwareSetupSteps.getHardwareSetupStep(kExercise);
    });
    QVERIFY(step.hasFailed());
    QCOMPARE(step.statusMsg(), QString("User Aborted"));
    QVERIFY(step.results().value("moveCount").toInt() < 100000);
    QCOMPARE(complete.count(), 1);
}

void TstFilterMoveExercise::badSetupFails_data()
{
    QTest::addColumn<QJsonObject>("params");
    QTest::addColumn<QString>("message");
    QJsonObject empty = exerciseParams(5, 1);
    empty["filterMovementSequence"] = QJsonArray();
    QTest::newRow("empty sequence") << empty << "Filter move exercise failed - Empty move sequence";
    QTest::newRow("no sequence") << QJsonObject{{"maxCount", 5}}
                                 << "Filter move exercise failed - Empty move sequence";
    QJsonObject outOfRange = exerciseParams(5, 1);
    outOfRange["filterMovementSequence"] = QJsonArray{0, 10};
    QTest::newRow("position beyond the wheel")
        << outOfRange << "Invalid position 10 in move sequence";
    QJsonObject wrongType = exerciseParams(5, 1);
    wrongType["maxCount"] = "5";
    QTest::newRow("wrong type") << wrongType
                                << "Bad move exercise parameters, JSON key 'maxCount' has the "
                                   "wrong type for int";
}

void TstFilterMoveExercise::badSetupFails()
{
    QFETCH(QJsonObject, params);
    QFETCH(QString, message);
    const XrfHardwareSetupStepInfo step = runExercise(params);
    QVERIFY(step.hasFailed());
    QCOMPARE(step.statusMsg(), message);
    QVERIFY(m_log->contains(message.startsWith("Filter move exercise failed - ")
                                ? message
                                : "Filter move exercise failed - " + message,
                            QtWarningMsg));
}

void TstFilterMoveExercise::controllerReadFailures_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("message");
    QTest::newRow("max position") << "getMaxFilterPosition"
                                  << "Failed to read filters from K60, err=-3";
    QTest::newRow("filter table") << "getFilterData"
                                  << "Failed to read filter positions from K60, err=-3";
}

void TstFilterMoveExercise::controllerReadFailures()
{
    QFETCH(QString, operation);
    QFETCH(QString, message);
    faults().failOperation(operation, -3, 1);
    const XrfHardwareSetupStepInfo step = runExercise(exerciseParams(5, 1));
    QVERIFY(step.hasFailed());
    QCOMPARE(step.statusMsg(), message);
    QVERIFY(m_log->contains("Filter move exercise failed - " + message, QtWarningMsg));
}

void TstFilterMoveExercise::filterWheelTestEntryPoints()
{
    writeSetupData([](QJsonArray &steps) {
        for (int i = 0; i < steps.size(); ++i) {
            QJsonObject step = steps.at(i).toObject();
            if (step.value("stepId") == kExercise)
                step["setupParams"] = exerciseParams(8, 8);
            steps[i] = step;
        }
    });
    auto &env = FactoryTestEnv::get();
    QSignalSpy complete(env.manager(), &XrfFactoryManager::hardwareSetupStepComplete);
    QVERIFY(env.onFactoryThread([&] { return env.manager()->getFilterWheelTestStepsList(); }));
    const QString status = env.onFactoryThread([&] {
        worker()->userAbort = true; // left over from an earlier abort
        env.manager()->startFilterWheelTest();
        return worker()->currentTaskStatus;
    });
    // The test records nothing: its outcome is the task status.
    QCOMPARE(status, QString("Filter move exercise - Completed Sucessfully"));
    QCOMPARE(complete.count(), 0);
    QVERIFY(m_log->contains("Move 8 Succeed 8 Max 8"));
    QVERIFY(!m_log->contains("Move 9 "));
}

void TstFilterMoveExercise::filterWheelTestNeedsTheExerciseInTheSetupData()
{
    writeSetupData([](QJsonArray &steps) {
        for (int i = steps.size() - 1; i >= 0; --i)
            if (steps.at(i).toObject().value("stepId") == kExercise)
                steps.removeAt(i);
    });
    auto &env = FactoryTestEnv::get();
    const QString status = env.onFactoryThread([&] {
        worker()->factorySetupInfo = QJsonObject();
        if (env.manager()->getFilterWheelTestStepsList())
            return QString("listed");
        env.manager()->startFilterWheelTest();
        return worker()->currentTaskStatus;
    });
    QCOMPARE(status, QString("Failed to load setup"));
    QVERIFY(!m_log->contains("Starting filter move exercise"));
}

void TstFilterMoveExercise::stopFilterWheelTestFromAnotherThread()
{
    writeSetupData([](QJsonArray &steps) {
        for (int i = 0; i < steps.size(); ++i) {
            QJsonObject step = steps.at(i).toObject();
            if (step.value("stepId") == kExercise)
                step["setupParams"] = exerciseParams(100000, 100000);
            steps[i] = step;
        }
    });
    auto &env = FactoryTestEnv::get();
    QMetaObject::invokeMethod(env.manager(), &XrfFactoryManager::startFilterWheelTest,
                              Qt::QueuedConnection);
    QTRY_VERIFY(m_log->contains("Move 20 Succeed 20"));
    env.manager()->stopFilterWheelTest();
    QTRY_VERIFY(m_log->contains("User Aborted"));
    env.drainFactoryThread();
    QCOMPARE(env.onFactoryThread([this] { return worker()->currentTaskStatus; }),
             QString("User Aborted"));
    QVERIFY(m_log->contains("FactoryManager:: Filter Wheel Test aborted."));
}

QTEST_GUILESS_MAIN(TstFilterMoveExercise)
#include "tst_filtermoveexercise.moc"
