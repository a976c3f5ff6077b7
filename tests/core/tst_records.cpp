// Records as JSON: the generic property conversion and the records with nested data.

#include "xrfexposuresettings.h"
#include "xrffactorystepinfo.h"
#include "xrfhardwareconfig.h"
#include "xrfspectrum.h"
#include "xrfsteprecords.h"
#include "xrfutils.h"

#include <QtTest>

class TstRecords : public QObject
{
    Q_OBJECT

private slots:
    void propertiesAreTheJsonKeys();
    void wrongTypesAreRefusedAndLeaveTheRecordUnchanged();
    void missingKeysKeepTheirValues();
    void nestedRecordsRoundTrip();
    void dottedPathsReadAndWriteNestedObjects();
    void compareNamesTheKeysThatDiffer();
    void spectrumRegionsAreClipped();
    void numbersOutOfRangeAreRefused_data();
    void numbersOutOfRangeAreRefused();
};

void TstRecords::propertiesAreTheJsonKeys()
{
    XrfFactoryStepInfo info;
    info.setStepId(XrfUtils::HardwareSetup);
    info.setStepIdStr("hardwareSetup");
    info.setStatus(XrfFactoryStepInfo::InProgress);
    const QJsonObject json = info.toJsonObject();
    QStringList keys = json.keys();
    QCOMPARE(keys,
             QStringList({"endTime", "result", "resultFile", "sessionId", "startTime", "status",
                          "stepId", "stepIdStr"}));
    QCOMPARE(json.value("stepId").toInt(), 3);
    QCOMPARE(json.value("status").toInt(), 5);
    QCOMPARE(info.statusStr(), QStringLiteral("InProgress"));
}

void TstRecords::wrongTypesAreRefusedAndLeaveTheRecordUnchanged()
{
    XrfFactoryStepInfo info;
    info.setSessionId("before");
    QString error;
    QVERIFY(!info.fromJsonObject(QJsonObject{{"sessionId", "after"}, {"status", "2"}}, &error));
    QVERIFY2(error.contains("status"), qPrintable(error));
    QCOMPARE(info.sessionId(), QStringLiteral("before"));

    XrfHardwareConfig config;
    QVERIFY(!config.fromJsonObject(QJsonObject{{"filters", QJsonArray{1}}}, &error));
    QVERIFY(!error.isEmpty());
    XrfSpectrum spectrum;
    QVERIFY(!spectrum.fromJsonObject(QJsonObject{{"data", QJsonArray{1, -4}}}, &error));
    QVERIFY(!spectrum.fromJsonObject(QJsonObject{{"realTime", "ten"}}, &error));
}

void TstRecords::missingKeysKeepTheirValues()
{
    XrfExposureSettings exposure;
    exposure.setTubeVoltageKv(40);
    exposure.setMaxTime(30);
    QVERIFY(
        exposure.fromJsonObject(QJsonObject{{"tubeCurrentUa", 25.5}, {"maxTime", QJsonValue()}}));
    QCOMPARE(exposure.tubeVoltageKv(), 40.0f);
    QCOMPARE(exposure.tubeCurrentUa(), 25.5f);
    QCOMPARE(exposure.maxTime(), 30);
}

void TstRecords::nestedRecordsRoundTrip()
{
    XrfExposureSettings exposure;
    exposure.setTubeVoltageKv(50);
    exposure.setFilter(XrfFilterProperties(29, 250, 482));
    XrfExposureSettings copy;
    QVERIFY(copy.fromJsonObject(exposure.toJsonObject()));
    QCOMPARE(copy.filter().materialAtomicNumber(), 29);
    QCOMPARE(copy.filter().diameterInMicrons(), 482.0);
    QVERIFY(exposure.toString().contains("50 kV"));

    XrfHardwareConfig config;
    config.setTubeModel("XT-50");
    config.setFilterWheelMotorPresent(true);
    config.setFilters({XrfFilterProperties(13, 100, 2718), XrfFilterProperties(74, 500, 0)});
    XrfHardwareConfig configCopy;
    QVERIFY(configCopy.fromJsonObject(config.toJsonObject()));
    QCOMPARE(configCopy.toJsonObject(), config.toJsonObject());
    QCOMPARE(configCopy.filters().size(), 2);

    XrfSpectrum spectrum;
    spectrum.setData({0, 5, 10, 5, 0});
    spectrum.setEnergySlope(20);
    XrfSpectrum spectrumCopy;
    QVERIFY(spectrumCopy.fromJsonObject(spectrum.toJsonObject()));
    QCOMPARE(spectrumCopy.data(), spectrum.data());
    QCOMPARE(spectrumCopy.energySlope(), 20.0);

    XrfAirShotList shots;
    XrfAirShot shot;
    shot.setSampleName("Air");
    shots.add(shot);
    QCOMPARE(shots.toJsonObject().value("airShots").toArray().size(), 1);
}

void TstRecords::dottedPathsReadAndWriteNestedObjects()
{
    QJsonObject json{{"hardware", QJsonObject{{"fpga", QJsonObject{{"gain", 1.5}}}}}};
    QCOMPARE(XrfJsonHelper::getJsonValueFromPath(json, "hardware.fpga.gain").toDouble(), 1.5);
    QVERIFY(XrfJsonHelper::getJsonValueFromPath(json, "hardware.nothing.gain").isUndefined());
    QVERIFY(XrfJsonHelper::setJsonValueFromPath(json, "hardware.fpga.offset", -3));
    QVERIFY(XrfJsonHelper::setJsonValueFromPath(json, "methods.default.Alloy", true));
    QCOMPARE(XrfJsonHelper::getJsonValueFromPath(json, "hardware.fpga.gain").toDouble(), 1.5);
    QCOMPARE(XrfJsonHelper::getJsonValueFromPath(json, "hardware.fpga.offset").toInt(), -3);
    QCOMPARE(XrfJsonHelper::getJsonValueFromPath(json, "methods.default.Alloy").toBool(), true);
    // A value in the way of the path is not replaced by an object.
    QVERIFY(!XrfJsonHelper::setJsonValueFromPath(json, "hardware.fpga.gain.x", 1));
    QCOMPARE(XrfJsonHelper::getJsonValueFromPath(json, "hardware.fpga.gain").toDouble(), 1.5);
    QVERIFY(!XrfJsonHelper::setJsonValueFromPath(json, "", 1));
}

void TstRecords::compareNamesTheKeysThatDiffer()
{
    const QJsonObject a{{"stepId", 3}, {"status", 2}, {"only", 1}};
    const QJsonObject b{{"stepId", 3}, {"status", 5}};
    QStringList differences;
    QVERIFY(!XrfJsonHelper::compareJsonObjects(a, b, &differences));
    QCOMPARE(differences, QStringList({"only", "status"}));
    QVERIFY(XrfJsonHelper::compareJsonObjects(a, a));
}

void TstRecords::spectrumRegionsAreClipped()
{
    XrfSpectrum spectrum;
    QVERIFY(spectrum.isEmptySpectrum());
    spectrum.setData({1, 2, 3, 4});
    QVERIFY(!spectrum.isEmptySpectrum());
    QCOMPARE(spectrum.sumCountsInRegion(1, 2), quint64(5));
    QCOMPARE(spectrum.sumCountsInRegion(-10, 100), quint64(10));
    QCOMPARE(spectrum.sumCountsInRegion(3, 1), quint64(0));
}

void TstRecords::numbersOutOfRangeAreRefused_data()
{
    QTest::addColumn<QJsonObject>("json");
    QTest::addColumn<QString>("key");
    QTest::newRow("int") << QJsonObject{{"status", 1e300}} << "status";
    QTest::newRow("negative into an int") << QJsonObject{{"stepId", -3e9}} << "stepId";
    QTest::newRow("count beyond 32 bits")
        << QJsonObject{{"data", QJsonArray{1, 4294967296.0}}} << "data";
}

// A conversion of such a value to an integer would be undefined: it is refused with its key.
void TstRecords::numbersOutOfRangeAreRefused()
{
    QFETCH(QJsonObject, json);
    QFETCH(QString, key);
    QString error;
    if (key == "data") {
        XrfSpectrum spectrum;
        QVERIFY(!spectrum.fromJsonObject(json, &error));
    } else {
        XrfFactoryStepInfo info;
        const int before = info.status();
        QVERIFY(!info.fromJsonObject(json, &error));
        QCOMPARE(info.status(), before);
    }
    QVERIFY2(error.contains("'" + key + "'"), qPrintable(error));
    XrfSpectrum scaled;
    scaled.setData({1, 2, 3});
    // A slope near zero puts the region far beyond the channels: clipped, not converted wildly.
    QCOMPARE(scaled.sumCountsInRegion(0, 1000000, 0.0, 1e-300), quint64(6));
}

QTEST_GUILESS_MAIN(TstRecords)
#include "tst_records.moc"
