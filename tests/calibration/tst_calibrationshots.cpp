// The calibration shots on the simulated instrument, from step lists of the test's own: the order
// in which standards are offered, the remaining time as shots complete, the 50 kV rule with the
// test stand lid closed and open, the checks of a shot's spectrum, the custom-window background of
// a beam 0 or a missing beam, and invalidation and status updates of single steps.

#include "factorytestenv.h"
#include "logcapture.h"
#include "simcloudserver.h"
#include "siminstrument.h"
#include "simnetworkmanager.h"
#include "xrfcalibrationutils.h"
#include "xrfmethod.h"

#include <QtTest>

namespace {

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

Worker *worker()
{
    return FactoryTestEnv::get().worker();
}

QString serial()
{
    return XrfHardwareManager::instance()->hardwareConfig()->insSerialNumber();
}

// A step the simulated instrument can shoot: a filter of its wheel, `kv` at 20 uA.
XrfCalibrationStep step(const QString &sample, int order, float kv, int seconds,
                        const QString &status = XrfCalibrationStep::kNotStarted,
                        const QString &method = QStringLiteral("alloy-ISC"))
{
    XrfExposureSettings exposure;
    exposure.setTubeVoltageKv(kv);
    exposure.setTubeCurrentUa(20);
    exposure.setMaxTime(seconds);
    exposure.setFilter(XrfHardwareManager::instance()->hardwareConfig()->filters().value(1));
    XrfCalibrationStep s;
    s.setSampleID(sample);
    s.setShootOrder(order);
    s.setBeamNumber(order);
    s.setExposure(exposure);
    s.addMethodUse(XrfCalibrationMethodUse(method, order));
    s.setIsDone(status != XrfCalibrationStep::kNotStarted);
    s.setHasFailed(status == XrfCalibrationStep::kFailed);
    return s;
}

// SS304: 10 s at 40 kV, 20 s at 50 kV, 30 s at 40 kV; 2205: 5 s at 40 kV, 8 s at 50 kV.
XrfCalibrationStepList twoStandards()
{
    XrfCalibrationStepList steps;
    steps.append(step("SS304", 1, 40, 10));
    steps.append(step("SS304", 2, 50, 20));
    steps.append(step("SS304", 3, 40, 30));
    steps.append(step("2205", 1, 40, 5));
    steps.append(step("2205", 2, 50, 8));
    return steps;
}

void install(const XrfCalibrationStepList &steps)
{
    FactoryTestEnv::get().onFactoryThread([&] {
        worker()->calibrationStepList = steps;
        worker()->indexCalibrationStandards();
        worker()->currentCalibrationStandard.clear();
        worker()->calibrationMethodsWithSteps.clear();
    });
}

QString next(const QString &current)
{
    return FactoryTestEnv::get().onFactoryThread(
        [&] { return worker()->findNextStandard(current); });
}

QStringList statuses()
{
    return FactoryTestEnv::get().onFactoryThread([] {
        QStringList list;
        for (const XrfCalibrationStep &s : worker()->calibrationStepList.list())
            list << s.statusText();
        return list;
    });
}

QJsonObject readJson(const QString &path)
{
    QJsonValue value;
    XrfUtils::readJsonFile(path, &value);
    return value.toObject();
}

// What one pass over a standard told the technician, received on the test's thread.
struct Pass
{
    QList<int> remaining;
    QStringList offered;
    QStringList setAside;
    int completed = 0;
    QString status;
};

// Shoots `standard` and waits until the next standard is offered or the calibration completes.
Pass shoot(const QString &standard)
{
    Pass pass;
    QObject receiver;
    XrfFactoryManager *manager = FactoryTestEnv::get().manager();
    QObject::connect(manager, &XrfFactoryManager::currentTaskTimeRemainingInSecondsChanged,
                     &receiver, [&](int seconds) { pass.remaining << seconds; });
    QObject::connect(manager, &XrfFactoryManager::calibrationCurrentSampleChanged, &receiver,
                     [&](const QString &name) { pass.offered << name; });
    QObject::connect(manager, &XrfFactoryManager::calibrationStandardShotsComplete, &receiver,
                     [&](const XrfCalibrationStandard &s) {
                         if (s.isOnly50KvRemaining())
                             pass.setAside << s.name();
                     });
    QObject::connect(manager, &XrfFactoryManager::calibrationComplete, &receiver,
                     [&](bool, const QJsonObject &) { ++pass.completed; });
    QMetaObject::invokeMethod(
        manager, [manager, standard] { manager->shootCalibrationSample(standard); },
        Qt::QueuedConnection);
    if (!QTest::qWaitFor([&] { return !pass.offered.isEmpty() || pass.completed > 0; }, 60000))
        qWarning() << "The pass over" << standard << "did not end";
    pass.status = manager->currentTaskStatus();
    return pass;
}

} // namespace

class TstCalibrationShots : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void incompleteStandardsAreOfferedInListOrderWrappingOnce();
    void remainingTimeFallsAsShotsCompleteWithTheLidClosed();
    void withTheLidOpenOnly50kVStandardsWaitForTheClosedLid();
    void measuredTimeWithinOneUpdateIntervalPasses();
    void customWindowBackgroundOfBeamZeroOrMissingBeamIsRefused();
    void invalidationResetsTheSelectedMethodsStandards();
    void statusUpdateFromTheApplicationReopensAStandard();

private:
    std::unique_ptr<LogCapture> m_log;
};

void TstCalibrationShots::initTestCase()
{
    m_log.reset(new LogCapture);
    FactoryTestEnv &env = FactoryTestEnv::start();
    QVERIFY(env.seedModelData("default"));
    const QString map = env.homePath() + "/calibrationdefault/methodsPartIdMap.json";
    QDir().mkpath(QFileInfo(map).path());
    QVERIFY(QFile::copy(XRF_DATA_DIR "/default/calibrationdefault/methodsPartIdMap.json", map));
    env.reloadFactoryData();
    env.network().setInstrumentSerial(serial());
    QTRY_VERIFY(env.onFactoryThread([] { return worker()->cloudConnected; }));
    env.instrument().loadSample("SS304");
}

void TstCalibrationShots::cleanupTestCase()
{
    FactoryTestEnv::get().settleBeforeExit();
}

void TstCalibrationShots::init()
{
    m_log->clear();
    FactoryTestEnv::get().instrument().setTestStand(true, true);
    FactoryTestEnv::get().onFactoryThread([] {
        worker()->calibrationRemainingSeconds = -1;
        worker()->setCurrentTaskTimeRemainingInSeconds(-1);
    });
}

void TstCalibrationShots::incompleteStandardsAreOfferedInListOrderWrappingOnce()
{
    const QString passed = XrfCalibrationStep::kPassed;
    XrfCalibrationStepList steps;
    steps.append(step("A", 1, 40, 10, passed));
    steps.append(step("B", 1, 40, 10));
    steps.append(step("B", 2, 50, 10, passed));
    steps.append(step("C", 1, 40, 10, XrfCalibrationStep::kFailed));
    steps.append(step("D", 1, 40, 10, passed));
    steps.append(step("E", 1, 40, 10, passed));
    steps.append(step("E", 2, 50, 10));
    install(steps);
    QCOMPARE(next(QString()), QString("B"));
    QCOMPARE(next("B"), QString("C"));
    // From the last standard the walk wraps once to the start.
    QCOMPARE(next("D"), QString("E"));
    QCOMPARE(next("E"), QString("E"));
    // Without the closed test stand, E has nothing to shoot: it is not offered.
    FactoryTestEnv::get().instrument().setTestStand(false, false);
    QCOMPARE(next("D"), QString("B"));
    QCOMPARE(next("C"), QString("B"));
    for (int i = 0; i < steps.size(); ++i)
        steps[i].setIsDone(true), steps[i].setHasFailed(false);
    install(steps);
    QCOMPARE(next(QString()), QString());
    QCOMPARE(next("E"), QString());
    FactoryTestEnv::get().onFactoryThread([] { worker()->setNoCalShotStepList(); });
    install(FactoryTestEnv::get().onFactoryThread([] { return worker()->calibrationStepList; }));
    QCOMPARE(next(QString()), QString());
}

void TstCalibrationShots::remainingTimeFallsAsShotsCompleteWithTheLidClosed()
{
    install(twoStandards());
    const Pass pass = shoot("SS304");
    QCOMPARE(pass.offered, QStringList{"2205"});
    QCOMPARE(pass.remaining, QList<int>({60, 50, 30, 0, 13}));
    QCOMPARE(pass.status, QString("Place 2205 at window."));
    QCOMPARE(statuses(), QStringList({"passed", "passed", "passed", "notStarted", "notStarted"}));
    // Every shot is in the calibration shot library.
    const QString library =
        FactoryTestEnv::get().onFactoryThread([] { return worker()->calibrationShotLibDirPath; });
    for (int i = 0; i < 3; ++i) {
        const XrfCalibrationStep s = twoStandards().at(i);
        QVERIFY2(QFileInfo::exists(library + "/" + s.calibrationShotFileName()),
                 qPrintable(s.calibrationShotFileName()));
    }
}

void TstCalibrationShots::withTheLidOpenOnly50kVStandardsWaitForTheClosedLid()
{
    FactoryTestEnv &env = FactoryTestEnv::get();
    const QString closeLid =
        QStringLiteral("Close the test stand lid to shoot the 50 kV steps of SS304, 2205.");
    env.instrument().setTestStand(true, false);
    install(twoStandards());
    Pass pass = shoot("SS304");
    // The 50 kV steps' time is left out, also of the next standard's.
    QCOMPARE(pass.remaining, QList<int>({40, 30, 0, 5}));
    QCOMPARE(pass.setAside, QStringList{"SS304"});
    pass = shoot("2205");
    QCOMPARE(pass.completed, 0);
    QCOMPARE(pass.offered, QStringList{"SS304"});
    QCOMPARE(pass.status, closeLid);
    const QStringList only50kVLeft{"passed", "notStarted", "passed", "passed", "notStarted"};
    QCOMPARE(statuses(), only50kVLeft);
    // Nothing is left to shoot with the lid open, from anywhere in the list, also after the
    // standards are indexed again (as a status update does).
    QCOMPARE(next("2205"), QString());
    QCOMPARE(next("SS304"), QString());
    env.onFactoryThread([] { worker()->indexCalibrationStandards(); });
    QCOMPARE(next(QString()), QString());
    // The list restored from lastResult.json is not taken for a finished calibration.
    int completed = 0;
    QObject receiver;
    connect(env.manager(), &XrfFactoryManager::calibrationComplete, &receiver,
            [&] { ++completed; });
    QVERIFY(env.onFactoryThread([] { return worker()->populateCalibrationStepList(); }));
    QCOMPARE(statuses(), only50kVLeft);
    QCOMPARE(env.manager()->currentTaskStatus(), closeLid);
    QCoreApplication::processEvents();
    QCOMPARE(completed, 0);

    env.instrument().setTestStand(true, true);
    QCOMPARE(next(QString()), QString("SS304"));
    pass = shoot("SS304");
    QCOMPARE(pass.remaining, QList<int>({20, 0, 8}));
    QCOMPARE(pass.offered, QStringList{"2205"});
    pass = shoot("2205");
    QCOMPARE(pass.completed, 1);
    QCOMPARE(statuses(), QStringList({"passed", "passed", "passed", "passed", "passed"}));
}

void TstCalibrationShots::measuredTimeWithinOneUpdateIntervalPasses()
{
    XrfCalibrationStep live = step("SS304", 1, 40, 10);
    XrfExposureSettings exposure = live.exposure();
    exposure.setUseLiveTime(true);
    live.setExposure(exposure);
    const auto problem = [&live](double measured, bool withCounts = true) {
        return FactoryTestEnv::get().onFactoryThread([&] {
            XrfSpectrum spectrum;
            spectrum.setData(QVector<quint32>(1024, withCounts ? 5 : 0));
            spectrum.setLiveTime(measured);
            spectrum.setRealTime(measured + 3);
            worker()->calibrationExposure.lastSpectrum = spectrum;
            return worker()->calibrationShotProblem(&live);
        });
    };
    QCOMPARE(problem(9.3), QString());
    QCOMPARE(problem(10), QString());
    QCOMPARE(problem(9),
             QString("Exposure did not run for the set time. Exposure Set Time:10, Time exposure "
                     "ran for:9"));
    QVERIFY(problem(11.2).startsWith("Exposure did not run for the set time."));
    QCOMPARE(problem(10, false), QString("No counts in the spectrum. "));
    // A real-time exposure is judged by its real time.
    exposure.setUseLiveTime(false);
    live.setExposure(exposure);
    QCOMPARE(problem(7), QString());
    QVERIFY(!problem(4.5).isEmpty());
}

void TstCalibrationShots::customWindowBackgroundOfBeamZeroOrMissingBeamIsRefused()
{
    FactoryTestEnv &env = FactoryTestEnv::get();
    const QString profile = env.onFactoryThread([] { return worker()->profilePath; });
    const QString tmpl = XrfCalibrationUtils::methodTemplateFile(profile, "alloy");
    QJsonObject beams{{"beamNumber", 1}, {"shotTimeSeconds", 10}};
    QVERIFY(XrfUtils::writeJsonFile(
        tmpl,
        QJsonDocument(QJsonObject{
            {"templateName", "alloy"},
            {"displayName", "Alloy"},
            {"beams", QJsonArray{beams, QJsonObject{{"beamNumber", 2}, {"shotTimeSeconds", 10}}}},
            {"standards",
             QJsonArray{QJsonObject{{"sampleID", "SS304"}, {"beams", QJsonArray{1, 2}}}}}})));
    QString error;
    const XrfExposureSettings e = step("air", 1, 40, 10).exposure();
    QVERIFY2(XrfCalibrationUtils::createCalibrationWorkspaceFactory(
                 profile, "MTH-CW", tmpl, {e, e}, {"Cu"}, QString(), QString(), &error),
             qPrintable(error));
    XrfCalibrationStep air = step("air", 1, 40, 10, XrfCalibrationStep::kPassed, "MTH-CW");
    air.setCustomWindow("Cu~1");
    air.setMethodUses({XrfCalibrationMethodUse("MTH-CW", 0), XrfCalibrationMethodUse("MTH-CW", 3),
                       XrfCalibrationMethodUse("MTH-CW", 2)});
    env.onFactoryThread([&] {
        XrfSpectrum spectrum;
        spectrum.setData(QVector<quint32>(2048, 7));
        spectrum.setRealTime(10);
        spectrum.setLiveTime(10);
        worker()->calibrationExposure.lastSpectrum = spectrum;
        worker()->applyCustomWindowBackground(air);
    });
    QCOMPARE(env.manager()->currentTaskStatus(),
             QString("Custom window background of air beam 1 (40 kV) refused: method MTH-CW "
                     "names beam 0, beams are numbered from 1"));
    QVERIFY(m_log->contains("has no beam 3", QtWarningMsg));
    const QJsonArray stored = readJson(XrfCalibrationUtils::calibrationStepsFile(profile, "MTH-CW"))
                                  .value("beams")
                                  .toArray();
    QCOMPARE(stored.size(), 2);
    QVERIFY(stored.at(1).toObject().value("roiBackgroundRate").toDouble() > 0);
    QCOMPARE(stored.at(0).toObject().value("roiBackgroundRate").toDouble(), 0.0);
    // The collimated method file has no beam 3 either: refused, the file kept.
    const XrfExposureSettings collimated = [&] {
        XrfExposureSettings c = e;
        XrfFilterProperties filter = c.filter();
        filter.setDiameterInMicrons(482);
        c.setFilter(filter);
        return c;
    }();
    air.setExposure(collimated);
    air.setMethodUses({XrfCalibrationMethodUse("MTH-CW", 3)});
    m_log->clear();
    env.onFactoryThread([&] { worker()->applyCustomWindowBackground(air); });
    QVERIFY(m_log->contains("Failed to store the custom window background in", QtWarningMsg));
    QVERIFY(QFileInfo::exists(XrfMethod::methodFilePath(profile, "MTH-CW")));
    QVERIFY(QDir(XrfMethod::methodFolder(profile, "MTH-CW")).removeRecursively());
}

void TstCalibrationShots::invalidationResetsTheSelectedMethodsStandards()
{
    const QString passed = XrfCalibrationStep::kPassed;
    XrfCalibrationStepList steps;
    steps.append(step("SS304", 1, 40, 10, passed));
    steps.append(step("SS304", 2, 50, 10, XrfCalibrationStep::kFailed));
    steps.append(step("2205", 1, 40, 10, passed));
    steps.append(step("Ti64", 1, 40, 10, passed, "MTH-UNLISTED"));
    install(steps);
    FactoryTestEnv &env = FactoryTestEnv::get();
    QSignalSpy changed(env.manager(), &XrfFactoryManager::calibrationStepListChanged);
    env.onFactoryThread([] { worker()->invalidateCalibrationShots("SS304"); });
    QCOMPARE(statuses(), QStringList({"notStarted", "notStarted", "passed", "passed"}));
    QTRY_COMPARE(changed.count(), 1);
    env.waitForCloudRequests();
    // Every standard of the selected methods; a step of a method not selected keeps its shot.
    env.onFactoryThread([] { worker()->invalidateCalibrationShots(QString()); });
    QCOMPARE(statuses(), QStringList({"notStarted", "notStarted", "notStarted", "passed"}));
    const QJsonArray stored =
        readJson(env.lastResultPath()).value("calibrationShot").toObject().value("steps").toArray();
    QCOMPARE(stored.size(), 4);
    QCOMPARE(stored.at(2).toObject().value("status").toString(), QString("notStarted"));
    QCOMPARE(stored.at(3).toObject().value("status").toString(), QString("passed"));
    QCOMPARE(next(QString()), QString("SS304"));
}

void TstCalibrationShots::statusUpdateFromTheApplicationReopensAStandard()
{
    const QString passed = XrfCalibrationStep::kPassed;
    XrfCalibrationStepList steps;
    steps.append(step("SS304", 1, 40, 10, passed));
    steps.append(step("2205", 1, 40, 10, passed));
    steps.append(step("2205", 2, 40, 15, passed));
    install(steps);
    FactoryTestEnv &env = FactoryTestEnv::get();
    QCOMPARE(next(QString()), QString());
    XrfCalibrationStep failed = steps.at(2);
    failed.setHasFailed(true);
    failed.setErrorMsg("Wrong sample");
    env.onFactoryThread([&] { worker()->onUpdateCalibrationShotStatus(failed.toJsonObject()); });
    QCOMPARE(statuses(), QStringList({"passed", "passed", "failed"}));
    QCOMPARE(next(QString()), QString("2205"));
    const XrfCalibrationStandard standard = env.onFactoryThread([] {
        XrfCalibrationStandard s;
        worker()->calibrationStandardList.getStandard("2205", &s);
        return s;
    });
    QCOMPARE(standard.timeRemainingInSeconds(), 15);
    QCOMPARE(readJson(env.lastResultPath())
                 .value("calibrationShot")
                 .toObject()
                 .value("steps")
                 .toArray()
                 .at(2)
                 .toObject()
                 .value("errorMsg")
                 .toString(),
             QString("Wrong sample"));
    // A step the list does not hold, and a malformed one, change nothing.
    XrfCalibrationStep unknown = step("Ti64", 1, 40, 10, passed);
    env.onFactoryThread([&] {
        worker()->onUpdateCalibrationShotStatus(unknown.toJsonObject());
        worker()->onUpdateCalibrationShotStatus(QJsonObject{{"methodUses", "alloy-ISC"}});
    });
    QVERIFY(m_log->contains("No calibration step matches the status update", QtWarningMsg));
    QVERIFY(m_log->contains("Calibration step status refused:", QtWarningMsg));
    QCOMPARE(statuses(), QStringList({"passed", "passed", "failed"}));
}

QTEST_GUILESS_MAIN(TstCalibrationShots)
#include "tst_calibrationshots.moc"
