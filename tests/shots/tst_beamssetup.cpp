// Beams setup, factory step 7, on the simulated instrument: the beam list, the count-rate loop,
// the sample check, the record, result file and upload, the cal-check count rate, and the
// invalidation of a beam.

#include "logcapture.h"
#include "shotstest.h"

using namespace shotstest;

class TstBeamsSetup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void beamsAreGroupedBySample();
    void everyBeamReachesItsTarget();
    void wrongSampleStopsTheBeamOnce();
    void hardwareErrorAtTheNormalEndFailsTheBeam();
    void limitFailuresGoOnAndTheStepClosesOnce();
    void invalidatingABeamInvalidatesWhatWasMeasuredWithIt();

private:
    std::unique_ptr<LogCapture> m_log;
};

void TstBeamsSetup::initTestCase()
{
    m_log.reset(new LogCapture);
    FactoryTestEnv::start();
    FactoryTestEnv::get().network().setInstrumentSerial(serial());
    QTRY_VERIFY(FactoryTestEnv::get().onFactoryThread([] { return worker()->cloudConnected; }));
}

void TstBeamsSetup::cleanupTestCase()
{
    FactoryTestEnv::get().settleBeforeExit();
}

void TstBeamsSetup::init()
{
    faults().clear();
    seedDefaultModel();
    QFile::remove(FactoryTestEnv::get().lastResultPath());
    m_log->clear();
}

void TstBeamsSetup::beamsAreGroupedBySample()
{
    QJsonObject a = defaultBeam("alloyHeavy");
    a.insert("beamName", "copperA");
    QJsonObject b = a;
    b.insert("beamName", "copperB");
    writeBeams({defaultBeam("alloyMain"), a, defaultBeam("soilLight"), b});
    QSignalSpy lists(FactoryTestEnv::get().manager(),
                     &XrfFactoryManager::beamsSetupBeamListChanged);
    QSignalSpy samples(FactoryTestEnv::get().manager(), &XrfFactoryManager::beamSetupSampleChanged);
    enterBeamsSetup();
    QTRY_COMPARE(lists.size(), 1);
    QStringList order;
    for (const QJsonValue &beam : lists.first().first().toJsonObject().value("beams").toArray())
        order << beam.toObject().value("beamName").toString();
    // Samples in order; beams of one sample in the reverse of the setup data's order.
    QCOMPARE(order, (QStringList{"copperB", "copperA", "soilLight", "alloyMain"}));
    QTRY_COMPARE(samples.size(), 1);
    QCOMPARE(samples.first().first().toString(), QStringLiteral("Cu"));
}

void TstBeamsSetup::everyBeamReachesItsTarget()
{
    auto &env = FactoryTestEnv::get();
    QJsonObject stored = lastResult();
    stored.insert("calibrationShot", QJsonObject{{"methodList", QJsonArray()}});
    writeJson(env.lastResultPath(), stored);
    const int uploads = env.cloud().requestCount(XrfNetworkManager::PutBeamsSetupResult);
    enterBeamsSetup();
    BeamsTechnician technician;
    QCOMPARE(technician.run(), QStringLiteral("Passed"));
    QCOMPARE(technician.statuses, QStringList{"Passed"});
    QCOMPARE(technician.requestedSamples, (QStringList{"Cu", "SiO2", "SS316", ""}));

    QCOMPARE(technician.readyBeams.size(), 3);
    for (const XrfBeamInfo &beam : technician.readyBeams) {
        QVERIFY2(!beam.hasFailed(), qPrintable(beam.errorMsg()));
        QVERIFY(qAbs(int(beam.actualCps()) - int(beam.targetICR())) < int(beam.icrTolerance()));
        // The count rate follows the current: a shot or two after the first at 20 uA.
        QVERIFY(beam.iterationGroups().size() >= 1 && beam.iterationGroups().size() <= 3);
        QCOMPARE(beam.iterationGroups().first().iterCurrent(), 20.0f);
    }
    const QJsonObject record = lastResult().value("beamsSetup").toObject();
    QCOMPARE(record.value("status").toInt(), int(XrfFactoryStepInfo::Passed));
    QCOMPARE(record.value("result").toObject().value("beams").toArray().size(), 3);
    // A new beams setup makes stored calibration shots stale.
    QTRY_VERIFY(!lastResult().contains("calibrationShot"));
    // The cal check's target count rate is the alloy beam 1's output count rate.
    QVERIFY(universalSetting("hardware.calCheck.calculation").value("maxCountRate").toDouble() > 0);

    QTRY_COMPARE(env.cloud().requestCount(XrfNetworkManager::PutBeamsSetupResult), uploads + 1);
    QTRY_VERIFY(!env.cloud().receivedResults(serial(), 303).isEmpty());
    const QJsonObject uploaded = env.cloud().receivedResults(serial(), 303).last();
    const QJsonObject body =
        uploaded.contains("body") ? uploaded.value("body").toObject() : uploaded;
    QCOMPARE(body.value("status").toString(), QStringLiteral("Passed"));
    QCOMPARE(body.value("data").toArray().size(), 3);
    QCOMPARE(body.value("serial").toString(), serial());
    QTRY_COMPARE(env.cloud().stepStatuses(serial()).value(XrfUtils::BeamsSetup), 2);
    // An accepted upload removes the result file and its name from the record.
    QTRY_VERIFY(
        lastResult().value("beamsSetup").toObject().value("resultFile").toString().isEmpty());
    QCOMPARE(QDir(env.factoryDataPath() + "/beamsSetup").entryList(QDir::Files).size(), 0);
}

void TstBeamsSetup::wrongSampleStopsTheBeamOnce()
{
    writeBeams({defaultBeam("soilLight"), defaultBeam("alloyMain")});
    enterBeamsSetup();
    BeamsTechnician technician;
    technician.mixUps.insert("SiO2", "Cu");
    // The step waits for the technician, with the stainless steel beam still to shoot.
    QCOMPARE(technician.run(), QStringLiteral("InProgress"));
    QCOMPARE(technician.readyBeams.size(), 1);
    const XrfBeamInfo beam = technician.readyBeams.first();
    QVERIFY(beam.hasFailed());
    QVERIFY(!beam.isCurrentLimitReached() && !beam.isMaxAttemptsReached());
    QCOMPARE(beam.errorMsg(),
             QStringLiteral("Beam setup failed for: soilLight \nError: "
                            "Validation failed"));
    QVERIFY(m_log->contains("BeamsSetup validation failed - ", QtWarningMsg));
    QVERIFY(m_log->contains("Shot validation failed for SiO2", QtWarningMsg));
    // The later updates and the stop of the shot complete nothing more.
    QTest::qWait(200);
    QCOMPARE(technician.readyBeams.size(), 1);

    // With the right sample the failed beam is shot again, and the step goes on.
    technician.mixUps.clear();
    QCOMPARE(technician.run(), QStringLiteral("Passed"));
    QCOMPARE(technician.readyBeams.size(), 3);
    QCOMPARE(technician.readyBeams.at(1).beamName(), QStringLiteral("soilLight"));
    QVERIFY(!technician.readyBeams.at(1).hasFailed());
}

void TstBeamsSetup::hardwareErrorAtTheNormalEndFailsTheBeam()
{
    writeBeams({defaultBeam("alloyHeavy")});
    // Reported at the very end of the 15 s shot, which then ends normally.
    faults().raiseHardwareErrorAfter(
        15, XrfErrorInfo(0x31, "Tube arc detected", "HV arc counter 1"), false, 1);
    enterBeamsSetup();
    BeamsTechnician technician;
    technician.run();
    QTRY_COMPARE(technician.readyBeams.size(), 1);
    const XrfBeamInfo beam = technician.readyBeams.first();
    QVERIFY(beam.hasFailed());
    QVERIFY2(beam.errorMsg().startsWith("Beam setup failed for: alloyHeavy \nError: HV arc counter "
                                        "1 \nEnd condition: "),
             qPrintable(beam.errorMsg()));
}

void TstBeamsSetup::limitFailuresGoOnAndTheStepClosesOnce()
{
    auto &env = FactoryTestEnv::get();
    writeBeams({defaultBeam("alloyHeavy"), defaultBeam("alloyMain")});
    // The tube over-emits: even at its least current every beam stays above its target.
    faults().setTubeEmissionFactor(25);
    const int uploads = env.cloud().requestCount(XrfNetworkManager::PutBeamsSetupResult);
    enterBeamsSetup();
    BeamsTechnician technician;
    QCOMPARE(technician.run(), QStringLiteral("Failed"));
    QCOMPARE(technician.readyBeams.size(), 2);
    for (const XrfBeamInfo &beam : technician.readyBeams) {
        QVERIFY(beam.isCurrentLimitReached());
        QCOMPARE(beam.tubeCurrentUa(), 5.0f);
        QVERIFY2(beam.errorMsg().endsWith("despite current being at 5uA"),
                 qPrintable(beam.errorMsg()));
    }
    // The step closed once: one status, one record, one result file and upload.
    QTest::qWait(200);
    QCOMPARE(technician.statuses, QStringList{"Failed"});
    QCOMPARE(m_log->count("Beam setup Complete, status:"), 1);
    QTRY_VERIFY(env.cloud().requestCount(XrfNetworkManager::PutBeamsSetupResult) > uploads);
    QCOMPARE(lastResult().value("beamsSetup").toObject().value("status").toInt(),
             int(XrfFactoryStepInfo::Failed));
    // Failed at a limit, the beams are not offered again.
    QCOMPARE(technician.run(), QStringLiteral("Failed"));
    QCOMPARE(technician.readyBeams.size(), 2);
}

void TstBeamsSetup::invalidatingABeamInvalidatesWhatWasMeasuredWithIt()
{
    auto &env = FactoryTestEnv::get();
    writeBeams({defaultBeam("alloyMain")});
    enterBeamsSetup();
    BeamsTechnician technician;
    QCOMPARE(technician.run(), QStringLiteral("Passed"));
    QJsonObject stored = lastResult();
    for (const char *step : {"airShot", "prerequisiteShots", "calibrationShot", "factorSet"})
        stored.insert(step, QJsonObject{{"status", 2}});
    writeJson(env.lastResultPath(), stored);
    QJsonObject factory = universalSetting("factory.settings");
    factory.insert("factoryStepsCompleted", 8);
    setUniversalSetting("factory.settings", factory);

    env.onFactoryThread([] { worker()->q->invalidateBeamSetupShot("alloyMain"); });
    const QJsonObject after = lastResult();
    for (const char *step : {"airShot", "prerequisiteShots", "calibrationShot", "factorSet"})
        QVERIFY2(!after.contains(step), step);
    const QJsonObject beam = after.value("beamsSetup")
                                 .toObject()
                                 .value("result")
                                 .toObject()
                                 .value("beams")
                                 .toArray()
                                 .first()
                                 .toObject();
    QCOMPARE(beam.value("isDone").toBool(), false);
    QCOMPARE(universalSetting("factory.settings").value("factoryStepsCompleted").toInt(), 6);
    QTRY_COMPARE(env.cloud().stepStatuses(serial()).value(XrfUtils::FactorSet),
                 int(XrfFactoryStepInfo::NotStarted));
    QCOMPARE(env.cloud().stepStatuses(serial()).value(XrfUtils::AirShot),
             int(XrfFactoryStepInfo::NotStarted));

    // An unknown beam changes nothing.
    env.onFactoryThread([] { worker()->q->invalidateBeamSetupShot("nobody"); });
    QVERIFY(m_log->contains("Failed to invalidate beam setup shot, no beam named:", QtWarningMsg));
    QCOMPARE(universalSetting("factory.settings").value("factoryStepsCompleted").toInt(), 6);
}

QTEST_GUILESS_MAIN(TstBeamsSetup)
#include "tst_beamssetup.moc"
