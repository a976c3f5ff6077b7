// The beam and air shot records as they travel in lastResult.json, the result files and the
// setup data, the collimated twin of a beam and the calibration shot library.

#include "xrfairshotlist.h"
#include "xrfbeaminfolist.h"
#include "xrfcalibrationshot.h"
#include "xrfcalibrationutils.h"
#include "xrffilterpair.h"
#include "xrfhardwareconfig.h"
#include "xrfutils.h"

#include <QtTest>

namespace {

// A beam as the setup data gives it.
QJsonObject setupBeam(const QString &name, const QString &sample)
{
    return {{"beamName", name},
            {"targetSample", sample},
            {"tubeVoltageKv", 40},
            {"tubeCurrentUa", 60},
            {"filterPosition", 1},
            {"targetICR", 50000},
            {"icrTolerance", 2500},
            {"targetIcrDim", 30000},
            {"validationShotTimeMS", 2000},
            {"skipShotCheck", false},
            {"usageGroups",
             QJsonArray{QJsonObject{{"beamNo", 1}, {"methodName", "alloy"}},
                        QJsonObject{{"beamNo", 2}, {"methodName", "soil"}}}}};
}

XrfBeamInfo beamFrom(const QJsonObject &json)
{
    XrfBeamInfo beam;
    beam.fromJsonObject(json);
    return beam;
}

// An open hole, Al 100 um open and Al 100 um collimated, and their pair.
XrfHardwareConfig wheelConfig()
{
    XrfHardwareConfig config;
    config.setFilters({XrfFilterProperties(0, 0, 2718), XrfFilterProperties(13, 100, 2718),
                       XrfFilterProperties(13, 100, 482)});
    return config;
}

XrfFilterPairsList aluminiumPair(int collimatedPosition)
{
    XrfFilterPair pair;
    pair.setMaterialAtomicNumber(13);
    pair.setThickness(100);
    pair.setUnCollimatedPosition(1);
    pair.setCollimatedPosition(collimatedPosition);
    XrfFilterPairsList pairs;
    pairs.setFilterPair(pair);
    return pairs;
}

XrfExposureSettings exposureThrough(int z, double thickness, double diameter)
{
    XrfExposureSettings exposure;
    exposure.setTubeVoltageKv(40);
    exposure.setTubeCurrentUa(62.5f);
    exposure.setMaxTime(30);
    exposure.setFilterProperties(XrfFilterProperties(z, thickness, diameter));
    return exposure;
}

} // namespace

class TstShotRecords : public QObject
{
    Q_OBJECT

private slots:
    void beamReadsTheSetupDataAndKeepsItsResults();
    void malformedBeamsAreRefusedWithTheirKey();
    void beamListFindsWhatNeedsShooting();
    void updatingFromAStoredListTakesResultsOnly();
    void airShotJsonCarriesTheKeysOthersRead();
    void airShotListMatchesTheSameShotOnly();
    void collimatedBeamUsesThePairsCollimatedHole();
    void collimatedBeamFailures_data();
    void collimatedBeamFailures();
    void calibrationShotNamesItsFileSafely();
};

void TstShotRecords::beamReadsTheSetupDataAndKeepsItsResults()
{
    XrfBeamInfo beam = beamFrom(setupBeam("alloyMain", "SS316"));
    QCOMPARE(beam.filterPosition(), quint16(1));
    QCOMPARE(beam.usageGroupsId(), QStringLiteral("alloy~1,soil~2"));
    beam.setEnableDimmerTargetIcr();
    QCOMPARE(beam.targetICR(), 30000u);
    beam.iterationGroups() << BeamIterationGroup();
    const QJsonObject json = beam.toJsonObject();
    // The stored target stays the full one; the dimmer switch travels beside it.
    QCOMPARE(json.value("targetICR").toInt(), 50000);
    QCOMPARE(json.value("isUsingDimmerTargetIcr").toBool(), true);
    XrfBeamInfo copy;
    QVERIFY(copy.fromJsonObject(json));
    QCOMPARE(copy.toJsonObject(), json);
}

void TstShotRecords::malformedBeamsAreRefusedWithTheirKey()
{
    QJsonObject bad = setupBeam("alloyMain", "SS316");
    bad.insert("usageGroups", QJsonArray{QJsonObject{{"beamNo", "one"}}});
    XrfBeamInfo beam;
    QString error;
    QVERIFY(!beam.fromJsonObject(bad, &error));
    QVERIFY2(error.contains("usageGroups"), qPrintable(error));
    bad = setupBeam("alloyMain", "SS316");
    bad.insert("targetICR", "lots");
    QVERIFY(!beam.fromJsonObject(bad, &error));
    QVERIFY2(error.contains("targetICR"), qPrintable(error));

    XrfBeamInfoList list;
    QVERIFY(!list.fromJsonObject({{"beams", QJsonArray{1}}}, &error));
    QVERIFY(!list.fromJsonObject({{"beams", "none"}}, &error));
    QVERIFY(error.contains("beams"));
}

void TstShotRecords::beamListFindsWhatNeedsShooting()
{
    XrfBeamInfoList list;
    list.addBeams({beamFrom(setupBeam("a", "Cu")), beamFrom(setupBeam("b", "Cu")),
                   beamFrom(setupBeam("c", "SS316")), beamFrom(setupBeam("d", "SS316"))});
    QCOMPARE(list.findNextIncompleteBeam(QString())->beamName(), QStringLiteral("a"));

    list.getBeam("a")->setIsDone(true); // passed
    list.getBeam("b")->setIsDone(true); // failed at the current limit: not shot again
    list.getBeam("b")->setHasFailed(true);
    list.getBeam("b")->setIsCurrentLimitReached(true);
    list.getBeam("c")->setIsDone(true); // failed on an interlock: shot again
    list.getBeam("c")->setHasFailed(true);
    QCOMPARE(list.findNextIncompleteBeam(QString())->beamName(), QStringLiteral("c"));
    QCOMPARE(list.findNextIncompleteBeam("c")->beamName(), QStringLiteral("d"));
    QVERIFY(!list.findNextIncompleteBeam("d"));
    QCOMPARE(list.remainingBeams(), 3);
    QCOMPARE(list.failedBeams(), 2);
    QCOMPARE(list.attemptedBeams(), 3);

    QVERIFY(list.invalidateBeam("a"));
    QVERIFY(!list.getBeam("a")->isDone());
    QVERIFY(!list.invalidateBeam("nobody"));
    QVERIFY(!list.getBeam("nobody"));
}

void TstShotRecords::updatingFromAStoredListTakesResultsOnly()
{
    XrfBeamInfo stored = beamFrom(setupBeam("a", "Cu"));
    stored.setTargetICR(1);
    stored.setTubeCurrentUa(47.5f);
    stored.setIsDone(true);
    stored.setActualCps(17990);
    XrfBeamInfoList list;
    list.addBeams({beamFrom(setupBeam("a", "Cu"))});
    QVERIFY(list.updateBeamResults(stored));
    const XrfBeamInfo *beam = list.getBeam("a");
    QCOMPARE(beam->tubeCurrentUa(), 47.5f);
    QCOMPARE(beam->actualCps(), 17990u);
    // The target is the setup data's, not the stored one.
    QCOMPARE(beam->targetICR(), 50000u);
    // A stored beam that was never shot leaves the setup data's current alone.
    XrfBeamInfo unshot = beamFrom(setupBeam("a", "Cu"));
    unshot.setTubeCurrentUa(0);
    QVERIFY(list.updateBeamResults(unshot));
    QCOMPARE(list.getBeam("a")->tubeCurrentUa(), 47.5f);
    QVERIFY(!list.updateBeamResults(beamFrom(setupBeam("z", "Cu"))));
}

void TstShotRecords::airShotJsonCarriesTheKeysOthersRead()
{
    XrfAirShot shot;
    shot.setSampleName("Air");
    shot.setExposure(exposureThrough(13, 100, 2718));
    shot.setUsageGroups({BeamUsageGroup("alloy", 1)});
    shot.setCalculatedBackgoundRate(130.5);
    shot.setSpectrumData({0, 4, 9});
    shot.setSafeBackgroundRate(220, 270);
    const QJsonObject json = shot.toJsonObject();
    QCOMPARE(json.value("usage").toArray().at(0).toObject(),
             (QJsonObject{{"method", "alloy"}, {"beam", 1}}));
    QCOMPARE(json.value("exposureSettings").toObject().value("tubeCurrentUa").toDouble(), 62.5);
    QCOMPARE(json.value("calculatedBackgoundRate").toDouble(), 130.5);
    QCOMPARE(json.value("hasFailed").toBool(), false);
    QCOMPARE(json.value("safeBackgroundRateLimit").toDouble(), 270.0);
    XrfAirShot copy;
    QVERIFY(copy.fromJsonObject(json));
    QCOMPARE(copy.toJsonObject(), json);
    QCOMPARE(copy.safeBackGroundRateKey(0, "TARVO-K100"),
             QStringLiteral("TARVO-K100_40kV_13-100-2718"));
    QCOMPARE(copy.safeBackGroundRateKey(2, "M"), QStringLiteral("M_40kV_13-100-2718#2"));
    QString error;
    QVERIFY(!copy.fromJsonObject({{"usage", QJsonArray{QJsonObject{{"method", 1}}}}}, &error));
    QVERIFY(error.contains("usage"));
    QVERIFY(!copy.fromJsonObject({{"spectrumData", QJsonArray{-1}}}, &error));
    QVERIFY(error.contains("spectrumData"));
}

void TstShotRecords::airShotListMatchesTheSameShotOnly()
{
    XrfAirShot fresh;
    fresh.setExposure(exposureThrough(13, 100, 2718));
    fresh.setUsageGroups({BeamUsageGroup("alloy", 1)});
    XrfAirShotList list;
    list.add(fresh);

    XrfAirShot stored = fresh;
    stored.setIsDone(true);
    stored.setCalculatedBackgoundRate(131);
    // Shot at another current (the beam was measured again): not the same shot.
    XrfAirShot older = stored;
    XrfExposureSettings otherCurrent = stored.exposure();
    otherCurrent.setTubeCurrentUa(70);
    older.setExposure(otherCurrent);
    QVERIFY(!list.update(older));
    XrfAirShot collimated = stored;
    collimated.setIsCollimatedAirShot(true);
    QVERIFY(!list.update(collimated));
    QVERIFY(list.update(stored));
    QCOMPARE(list.airShots().first().calculatedBackgoundRate(), 131.0);
    QVERIFY(list.airShots().first().isDone());
    QCOMPARE(list.toJsonObject().value("airShots").toArray().size(), 1);
}

void TstShotRecords::collimatedBeamUsesThePairsCollimatedHole()
{
    const XrfExposureSettings open = exposureThrough(13, 100, 2718);
    XrfExposureSettings collimated;
    QString error;
    QVERIFY(XrfCalibrationUtils::getCollimatedBeam(open, wheelConfig(), aluminiumPair(2),
                                                   &collimated, &error));
    QCOMPARE(collimated.filter().diameterInMicrons(), 482.0);
    QCOMPARE(collimated.filter().position(), 2);
    QVERIFY(collimated.filter().hasCollimator());
    // The tube settings and time are the uncollimated beam's.
    QCOMPARE(collimated.tubeVoltageKv(), open.tubeVoltageKv());
    QCOMPARE(collimated.tubeCurrentUa(), open.tubeCurrentUa());
    QCOMPARE(collimated.maxTime(), open.maxTime());
}

void TstShotRecords::collimatedBeamFailures_data()
{
    QTest::addColumn<int>("collimatedPosition");
    QTest::addColumn<int>("filterZ");
    QTest::addColumn<QString>("error");
    QTest::newRow("no pair for the filter")
        << 2 << 29 << "no collimated filter pair for filter 29-100";
    QTest::newRow("position outside the table")
        << 7 << 13 << "collimated position 7 of filter pair 13-100 is not in the filter table";
    QTest::newRow("table holds another filter there")
        << 0 << 13 << "filter table position 0 does not hold filter 13-100";
}

void TstShotRecords::collimatedBeamFailures()
{
    QFETCH(int, collimatedPosition);
    QFETCH(int, filterZ);
    QFETCH(QString, error);
    XrfExposureSettings collimated;
    QString message;
    QVERIFY(!XrfCalibrationUtils::getCollimatedBeam(
        exposureThrough(filterZ, 100, 2718), wheelConfig(), aluminiumPair(collimatedPosition),
        &collimated, &message));
    QCOMPARE(message, error);
}

void TstShotRecords::calibrationShotNamesItsFileSafely()
{
    QTemporaryDir dir;
    XrfCalibrationShot shot;
    shot.setSampleID("Air");
    shot.setExposure(exposureThrough(13, 100, 2718));
    XrfSpectrum spectrum;
    spectrum.setData({3, 2, 1});
    shot.setSpectrum(spectrum);
    QString error;
    QVERIFY(shot.saveCalibrationShot(dir.path() + "/lib", &error));
    const QString file = dir.path() + "/lib/Air_40kV_62.50uA_13-100-2718.json";
    QJsonValue stored;
    QVERIFY(XrfUtils::readJsonFile(file, &stored));
    XrfCalibrationShot copy;
    QVERIFY(copy.fromJsonObject(stored.toObject()));
    QCOMPARE(copy.spectrum().data(), spectrum.data());

    for (const char *unsafe : {"../Air", "", "a/b", ".."}) {
        shot.setSampleID(unsafe);
        QVERIFY(!shot.saveCalibrationShot(dir.path() + "/lib", &error));
        QVERIFY(error.contains("cannot name a file"));
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{"lib"});
}

QTEST_GUILESS_MAIN(TstShotRecords)
#include "tst_shotrecords.moc"
