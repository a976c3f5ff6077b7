// Air shots, factory step 8, on the simulated instrument: the shot lists, the background check
// against the safe rates, the result, the calibration shot library, the cal-check exposure, and
// the recovery of lost records.

#include "logcapture.h"
#include "shotstest.h"

using namespace shotstest;

namespace {

const QMap<QString, double> kCurrents{
    {"alloyMain", 62.2}, {"alloyHeavy", 47.7}, {"soilLight", 117.2}};

// What a test's run reported.
struct AirShotRun
{
    QList<XrfAirShot> shots;
    bool listBuilt = false;
    QJsonObject results;
};

AirShotRun runAirShots()
{
    AirShotRun run;
    QObject receiver;
    bool finished = false;
    XrfFactoryManager *manager = FactoryTestEnv::get().manager();
    QObject::connect(manager, &XrfFactoryManager::airShotSingleComplete, &receiver,
                     [&](const XrfAirShot &shot) { run.shots << shot; });
    QObject::connect(manager, &XrfFactoryManager::airShotAllComplete, &receiver,
                     [&](bool built, const QJsonObject &results) {
                         run.listBuilt = built;
                         run.results = results;
                         finished = true;
                     });
    QMetaObject::invokeMethod(manager, "startAirShot", Qt::QueuedConnection);
    if (!QTest::qWaitFor([&] { return finished; }, 60000))
        qWarning() << "The air shots did not finish";
    // The shot signals of a failed run come before the run's end: let them arrive.
    QCoreApplication::processEvents();
    return run;
}

// An air shot file of a run, with one uncollimated shot per default beam at `current` uA.
QJsonObject airShotFile(const QString &status, double current)
{
    QJsonArray shots;
    const QList<QPair<QString, QJsonArray>> uses = {
        {"alloyMain", QJsonArray{QJsonObject{{"method", "alloy"}, {"beam", 1}}}},
        {"alloyHeavy",
         QJsonArray{QJsonObject{{"method", "alloy"}, {"beam", 2}},
                    QJsonObject{{"method", "soil"}, {"beam", 2}}}},
        {"soilLight", QJsonArray{QJsonObject{{"method", "soil"}, {"beam", 1}}}}};
    for (const auto &use : uses)
        shots.append(QJsonObject{
            {"sampleName", "Air"},
            {"beamName", use.first},
            {"usage", use.second},
            {"isDone", true},
            {"calculatedBackgoundRate", 100},
            {"exposureSettings", QJsonObject{{"tubeVoltageKv", 40}, {"tubeCurrentUa", current}}}});
    return {{"serial", serial()},
            {"startTime", "2026-03-02T10:00:00Z"},
            {"status", status},
            {"data", QJsonObject{{"unCollimatedShots", shots}, {"collimatedShots", QJsonArray()}}}};
}

void writeAirShotFile(const QString &name, const QJsonObject &content, int ageSeconds)
{
    const QString path = FactoryTestEnv::get().factoryDataPath() + "/airShots/" + name;
    QDir().mkpath(QFileInfo(path).absolutePath());
    writeJson(path, content);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds),
                             QFileDevice::FileModificationTime));
}

} // namespace

class TstAirShots : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void listHoldsEveryPassedBeamWithoutAndWithTheCollimator();
    void passedRunIsRecordedEverywhere();
    void backgroundAboveTheSafeRateFailsTheRun();
    void missingSafeRateTableIsToldAndRecorded();
    void hardwareErrorAtTheNormalEndFailsTheShot();
    void noPassedBeamMeansNoRun();
    void recoveryUsesTheNewestPassingFile();
    void recoveryWithoutAPassingFileFails();

private:
    std::unique_ptr<LogCapture> m_log;
};

void TstAirShots::initTestCase()
{
    m_log.reset(new LogCapture);
    FactoryTestEnv::start();
    FactoryTestEnv::get().network().setInstrumentSerial(serial());
    QTRY_VERIFY(FactoryTestEnv::get().onFactoryThread([] { return worker()->cloudConnected; }));
}

void TstAirShots::cleanupTestCase()
{
    FactoryTestEnv::get().settleBeforeExit();
}

void TstAirShots::init()
{
    auto &env = FactoryTestEnv::get();
    faults().clear();
    seedDefaultModel();
    QFile::remove(env.lastResultPath());
    QDir(env.factoryDataPath() + "/airShots").removeRecursively();
    storePassedBeamsSetup(kCurrents);
    storeDefaultFilterPairs();
    env.instrument().loadSample("air");
    env.onFactoryThread([] {
        worker()->safeBackgroundRatesLoaded = false;
        worker()->lastResult = QJsonObject();
    });
    m_log->clear();
}

void TstAirShots::listHoldsEveryPassedBeamWithoutAndWithTheCollimator()
{
    storePassedBeamsSetup({{"alloyMain", 62.2}, {"soilLight", 117.2}});
    const XrfAirShotList shots = FactoryTestEnv::get().manager()->airShotList();
    QCOMPARE(shots.size(), 3);
    const XrfAirShot open = shots.airShots().at(1);
    const XrfAirShot collimated = shots.airShots().at(2);
    QCOMPARE(open.beamName(), QStringLiteral("alloyMain"));
    QVERIFY(!open.isCollimatedAirShot());
    QCOMPARE(open.exposure().tubeCurrentUa(), 62.2f);
    QCOMPARE(open.exposure().tubeVoltageKv(), 40.0f);
    QCOMPARE(open.exposure().maxTime(), 30);
    QCOMPARE(open.usageGroupsId(), QStringLiteral("alloy~1"));
    // The open filter of soilLight has no collimated twin; alloyMain's Al 100 um has.
    QVERIFY(collimated.isCollimatedAirShot());
    QCOMPARE(collimated.beamName(), QStringLiteral("alloyMain"));
    QCOMPARE(collimated.exposure().filter().diameterInMicrons(), 482.0);
    QCOMPARE(collimated.exposure().tubeCurrentUa(), 62.2f);
    QVERIFY(m_log->contains("Beam alloyHeavy has not passed the beams setup, it has no air shot"));
}

void TstAirShots::passedRunIsRecordedEverywhere()
{
    auto &env = FactoryTestEnv::get();
    setUniversalSetting(
        "factory.settings",
        QJsonObject{{"factoryStepsCompleted", 7}, {"factorySelectedMethod", "alloy"}});
    const AirShotRun run = runAirShots();
    QVERIFY(run.listBuilt);
    QCOMPARE(run.results.value("status").toString(), QStringLiteral("pass"));
    QCOMPARE(run.shots.size(), 5);
    for (const XrfAirShot &shot : run.shots) {
        QVERIFY(shot.isDone() && !shot.hasFailed());
        QVERIFY(shot.calculatedBackgoundRate() > 0);
        QVERIFY(shot.safeBackgroundRateChecked());
        QVERIFY(shot.calculatedBackgoundRate() <= shot.safeBackgroundRateLimit());
    }
    const QJsonObject data = run.results.value("data").toObject();
    QCOMPARE(data.value("unCollimatedShots").toArray().size(), 3);
    QCOMPARE(data.value("collimatedShots").toArray().size(), 2);
    QCOMPARE(lastResult().value("airShot").toObject(), run.results);
    const QStringList files = QDir(env.factoryDataPath() + "/airShots").entryList(QDir::Files);
    QCOMPARE(files.size(), 1);
    QVERIFY(files.first().startsWith("airShot_" + serial() + "_"));
    QCOMPARE(QDir(env.homePath() + "/profile/instrumentsettings/calibrationshotlib")
                 .entryList({"Air_*.json"}, QDir::Files)
                 .size(),
             5);
    QVERIFY(!universalSetting("factory.settings").contains("factorySelectedMethod"));

    // The cal check shoots the alloy beam 1 air shot's conditions through 2000 um of aluminium.
    const QJsonObject exposure = universalSetting("hardware.calCheck.exposure");
    const QJsonObject alloyShot = data.value("unCollimatedShots").toArray().at(2).toObject();
    QCOMPARE(exposure.value("tubeCurrentUa").toDouble(),
             alloyShot.value("exposureSettings").toObject().value("tubeCurrentUa").toDouble());
    QCOMPARE(exposure.value("backgroundRate"), alloyShot.value("calculatedBackgoundRate"));
    QCOMPARE(exposure.value("filter").toObject().value("thicknessInMicrons").toDouble(), 2000.0);
    QCOMPARE(exposure.value("maxTime").toInt(), 15);

    QTRY_COMPARE(env.cloud().stepStatuses(serial()).value(XrfUtils::AirShot), 2);
    QTRY_VERIFY(!env.cloud().receivedResults(serial(), 302).isEmpty());
    const QJsonObject uploaded = env.cloud().receivedResults(serial(), 302).last();
    QCOMPARE(uploaded.contains("body") ? uploaded.value("body").toObject() : uploaded, run.results);
}

void TstAirShots::backgroundAboveTheSafeRateFailsTheRun()
{
    const QJsonObject exposureBefore = universalSetting("hardware.calCheck.exposure");
    // soilLight's open beam: 100 cps plus the 50 cps floor; the first shot has no rate at all.
    writeJson(calibrationDefaultPath() + "/safeBackgroundRate.json",
              {{"TARVO-K100_15kV_0-0-2718", 100}});
    const AirShotRun run = runAirShots();
    QCOMPARE(run.results.value("status").toString(), QStringLiteral("fail"));
    // The run ends at the failed shot.
    QCOMPARE(run.shots.size(), 2);
    QVERIFY(!run.shots.first().hasFailed());
    QVERIFY(!run.shots.first().safeBackgroundRateChecked());
    const XrfAirShot shot = run.shots.last();
    QVERIFY(shot.hasFailed());
    QCOMPARE(shot.safeBackgroundRate(), 100.0);
    QCOMPARE(shot.safeBackgroundRateLimit(), 150.0);
    QVERIFY(shot.calculatedBackgoundRate() > 150);
    QVERIFY2(shot.errorMsg().startsWith("Airshot '15 kV, 117.2 uA, 30 s")
                 && shot.errorMsg().endsWith("failed, SafeBackGroundRate validation failed., "),
             qPrintable(shot.errorMsg()));
    QVERIFY(m_log->contains("AirShot validation failed - sampleName :", QtWarningMsg));
    QCOMPARE(run.results.value("data").toObject().value("unCollimatedShots").toArray().size(), 2);
    QTRY_COMPARE(FactoryTestEnv::get().cloud().stepStatuses(serial()).value(XrfUtils::AirShot), 3);
    // A failed run says nothing the cal check can use.
    QCOMPARE(universalSetting("hardware.calCheck.exposure"), exposureBefore);
}

void TstAirShots::missingSafeRateTableIsToldAndRecorded()
{
    QFile::remove(calibrationDefaultPath() + "/safeBackgroundRate.json");
    const AirShotRun run = runAirShots();
    QCOMPARE(run.results.value("status").toString(), QStringLiteral("pass"));
    QVERIFY(run.results.value("safeBackgroundRateCheck")
                .toString()
                .contains("the air shots are not checked against safe background rates"));
    for (const XrfAirShot &shot : run.shots)
        QVERIFY(!shot.safeBackgroundRateChecked());
    bool alarmed = false;
    for (const LogCapture::Record &record : m_log->records())
        alarmed |= record.category == "alarm" && record.type == QtCriticalMsg
            && record.message.contains("Safe background rates cannot be read");
    QVERIFY(alarmed);
}

void TstAirShots::hardwareErrorAtTheNormalEndFailsTheShot()
{
    // Reported at the end of the 30 s shot, which then ends normally.
    faults().raiseHardwareErrorAfter(
        30, XrfErrorInfo(0x31, "Tube arc detected", "HV arc counter 1"), false, 1);
    const AirShotRun run = runAirShots();
    QCOMPARE(run.results.value("status").toString(), QStringLiteral("fail"));
    QCOMPARE(run.shots.size(), 1);
    QVERIFY(run.shots.first().hasFailed());
    QCOMPARE(run.shots.first().errorMsg(), QStringLiteral("HV arc counter 1"));
    QVERIFY(m_log->contains("the exposure ran its time but reported a hardware error: Tube arc "
                            "detected",
                            QtWarningMsg));
}

void TstAirShots::noPassedBeamMeansNoRun()
{
    storePassedBeamsSetup({});
    const int shots = faults().operationCalls("startExposure");
    const AirShotRun run = runAirShots();
    QVERIFY(!run.listBuilt);
    QCOMPARE(run.results.value("status").toString(), QStringLiteral("fail"));
    QVERIFY(m_log->contains("Air shots test failed, air shot list empty", QtWarningMsg));
    QCOMPARE(faults().operationCalls("startExposure"), shots);
}

void TstAirShots::recoveryUsesTheNewestPassingFile()
{
    writeAirShotFile("airShot_old.json", airShotFile("pass", 50), 300);
    writeAirShotFile("airShot_newer.json", airShotFile("PASS", 62), 200);
    writeAirShotFile("airShot_newest_failed.json", airShotFile("fail", 99), 100);
    QJsonObject stored = lastResult();
    stored.remove("beamsSetup");
    writeJson(FactoryTestEnv::get().lastResultPath(), stored);

    FactoryTestEnv::get().onFactoryThread([] { worker()->q->recoverBeamSetupAirShot(); });
    const QJsonObject after = lastResult();
    QCOMPARE(after.value("airShot").toObject().value("status").toString(), QStringLiteral("PASS"));
    const QJsonObject record = after.value("beamsSetup").toObject();
    QCOMPARE(record.value("status").toInt(), int(XrfFactoryStepInfo::Passed));
    QCOMPARE(record.value("startTime").toString(), QStringLiteral("2026-03-02T09:59:40Z"));
    QCOMPARE(record.value("endTime").toString(), QStringLiteral("2026-03-02T09:59:50Z"));
    const QJsonArray beams = record.value("result").toObject().value("beams").toArray();
    QCOMPARE(beams.size(), 3);
    for (const QJsonValue &beam : beams) {
        QCOMPARE(beam.toObject().value("tubeCurrentUa").toDouble(), 62.0);
        QCOMPARE(beam.toObject().value("isDone").toBool(), true);
        QCOMPARE(beam.toObject().value("actualCps"), beam.toObject().value("targetICR"));
    }
    QVERIFY(m_log->contains("Air Shot/Beam Setup is missing.  Auto recovery was performed."));
}

void TstAirShots::recoveryWithoutAPassingFileFails()
{
    writeAirShotFile("airShot_failed.json", airShotFile("fail", 62), 100);
    QJsonObject stored = lastResult();
    stored.remove("beamsSetup");
    writeJson(FactoryTestEnv::get().lastResultPath(), stored);
    FactoryTestEnv::get().onFactoryThread([] { worker()->q->recoverBeamSetupAirShot(); });
    QVERIFY(!lastResult().contains("beamsSetup"));
    QVERIFY(!lastResult().contains("airShot"));
    bool alarmed = false;
    for (const LogCapture::Record &record : m_log->records())
        alarmed |= record.category == "alarm"
            && record.message.contains("code:-9998} Air Shot/Beam Setup is missing.  Auto "
                                       "recovery failed.");
    QVERIFY(alarmed);
}

QTEST_GUILESS_MAIN(TstAirShots)
#include "tst_airshots.moc"
