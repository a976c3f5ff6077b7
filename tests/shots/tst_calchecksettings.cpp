// The cal-check settings: one layout for the gain setup, the beams setup and the air shots, the
// migration of a settings file written with the old one, the exposure, the target count rate,
// the expected resolution and energy scale; and the cleanup of calibration workspaces.

#include "logcapture.h"
#include "shotstest.h"

using namespace shotstest;

namespace {

const QString kCalculation = QStringLiteral("hardware.calCheck.calculation");
const QString kExposure = QStringLiteral("hardware.calCheck.exposure");

QJsonObject airShot(double kv, double current, double background, const QJsonArray &usage)
{
    return {{"usage", usage},
            {"calculatedBackgoundRate", background},
            {"exposureSettings", QJsonObject{{"tubeVoltageKv", kv}, {"tubeCurrentUa", current}}}};
}

QJsonArray use(const QString &method, int beam)
{
    return {QJsonObject{{"method", method}, {"beam", beam}}};
}

bool populateCountRate(double outputCountRate, QString *error)
{
    XrfSpectrum spectrum;
    spectrum.setOutputCountRate(outputCountRate);
    return FactoryTestEnv::get().onFactoryThread(
        [&] { return worker()->populateCalCheckTargetCountRate(spectrum, error); });
}

void populateExposureFrom(const QJsonArray &unCollimatedShots)
{
    FactoryTestEnv::get().onFactoryThread([&] {
        worker()->airShotResults =
            QJsonObject{{"data", QJsonObject{{"unCollimatedShots", unCollimatedShots}}}};
        worker()->populateCalCheckExposureSettings();
    });
}

QByteArray settingsFileContent()
{
    QFile file(XrfSettingsManager::instance()->universalSettingsFilePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TstCalCheckSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void oldLayoutIsMigrated();
    void unreadableSettingsAreLeftAlone();
    void targetCountRateNeedsTheCalculationSettings();
    void exposureCopiesTheAlloyBeamOneAirShot_data();
    void exposureCopiesTheAlloyBeamOneAirShot();
    void resolutionAndEnergyScaleFromTheStabilityRun();
    void workspaceCleanupNeverRemovesEveryMethod();

private:
    std::unique_ptr<LogCapture> m_log;
};

void TstCalCheckSettings::initTestCase()
{
    m_log.reset(new LogCapture);
    FactoryTestEnv::start();
}

void TstCalCheckSettings::cleanupTestCase()
{
    FactoryTestEnv::get().settleBeforeExit();
}

void TstCalCheckSettings::init()
{
    seedDefaultModel();
    QFile::remove(FactoryTestEnv::get().lastResultPath());
    FactoryTestEnv::get().onFactoryThread([] { worker()->lastResult = QJsonObject(); });
    m_log->clear();
}

void TstCalCheckSettings::oldLayoutIsMigrated()
{
    setUniversalSetting("hardware.calCheck",
                        {{"firstCalCheckComplete", true},
                         {"calculation", QJsonObject{{"resolution", 140.5}, {"offsetMax", 0.1}}},
                         {"exposure", QJsonObject{{"tubeVoltageKv", 35}}}});
    QString error;
    QVERIFY(populateCountRate(71234, &error));
    // What the earlier software measured replaces the seeded defaults; the rest stays.
    const QJsonObject calculation = universalSetting(kCalculation);
    QCOMPARE(calculation.value("resolution").toDouble(), 140.5);
    QCOMPARE(calculation.value("offsetMax").toDouble(), 0.1);
    QCOMPARE(calculation.value("maxCountRate").toDouble(), 71234.0);
    QCOMPARE(universalSetting(kExposure).value("tubeVoltageKv").toInt(), 35);
    QCOMPARE(universalSetting(kExposure).value("maxTime").toInt(), 15);
    QCOMPARE(universalSetting("hardware.calCheck"), (QJsonObject{{"firstCalCheckComplete", true}}));
    QVERIFY(m_log->contains("Cal check settings moved from 'hardware.calCheck'"));

    // Once migrated, nothing moves again.
    m_log->clear();
    QVERIFY(populateCountRate(70000, &error));
    QVERIFY(!m_log->contains("Cal check settings moved"));
    QCOMPARE(universalSetting(kCalculation).value("resolution").toDouble(), 140.5);
}

void TstCalCheckSettings::unreadableSettingsAreLeftAlone()
{
    const QString path = XrfSettingsManager::instance()->universalSettingsFilePath();
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("{\"hardware.calCheck\": {\"calculation\": ");
    file.close();
    const QByteArray before = settingsFileContent();
    QString error;
    QVERIFY(!populateCountRate(70000, &error));
    QCOMPARE(error,
             QStringLiteral("Cannot populate cal check target count rate. Cal check "
                            "calculation settings do not exist."));
    QCOMPARE(settingsFileContent(), before);
}

void TstCalCheckSettings::targetCountRateNeedsTheCalculationSettings()
{
    setUniversalSetting(kCalculation, QJsonObject());
    QString error;
    QVERIFY(!populateCountRate(70000, &error));
    QCOMPARE(error,
             QStringLiteral("Cannot populate cal check target count rate. Cal check "
                            "calculation settings do not exist."));
    QVERIFY(m_log->contains("**CRITICAL** Cannot populate cal check target count rate.",
                            QtCriticalMsg));
    QVERIFY(universalSetting(kCalculation).isEmpty());
}

void TstCalCheckSettings::exposureCopiesTheAlloyBeamOneAirShot_data()
{
    QTest::addColumn<QJsonArray>("shots");
    QTest::addColumn<double>("current");
    QTest::addColumn<QString>("critical");
    QTest::newRow("the later alloy beam 1 shot")
        << QJsonArray{airShot(40, 50, 120, use("alloy", 1)),
                      airShot(40, 60, 130, use("preciousMetal", 1)),
                      airShot(40, 70, 140, use("alloyPlus", 1))}
        << 70.0 << QString();
    QTest::newRow("precious metal when no alloy uses beam 1")
        << QJsonArray{airShot(50, 40, 10, use("alloy", 2)),
                      airShot(40, 65, 130, use("preciousMetal", 1))}
        << 65.0 << QString();
    QTest::newRow("no beam 1 of either")
        << QJsonArray{airShot(50, 40, 10, use("alloy", 2)), airShot(15, 120, 260, use("soil", 1))}
        << 20.0
        << "COULD NOT FIND ALLOY BEAM 1 AIR SHOT. CAL CHECK EXPOSURE SETTINGS CANNOT BE SET";
    QTest::newRow("no shots") << QJsonArray() << 20.0
                              << "AIR SHOTS ARRAY EMPTY. CAL CHECK EXPOSURE SETTINGS CANNOT BE SET";
}

void TstCalCheckSettings::exposureCopiesTheAlloyBeamOneAirShot()
{
    QFETCH(QJsonArray, shots);
    QFETCH(double, current);
    QFETCH(QString, critical);
    populateExposureFrom(shots);
    const QJsonObject exposure = universalSetting(kExposure);
    QCOMPARE(exposure.value("tubeCurrentUa").toDouble(), current);
    if (!critical.isEmpty()) {
        QVERIFY(m_log->contains(critical, QtCriticalMsg));
        return;
    }
    QCOMPARE(exposure.value("enabled").toBool(), true);
    QCOMPARE(exposure.value("useLiveTime").toBool(), false);
    QCOMPARE(exposure.value("backgroundRate").toDouble(), current * 2);
    const QJsonObject filter = exposure.value("filter").toObject();
    QCOMPARE(filter.value("materialAtomicNumber").toInt(), 13);
    QCOMPARE(filter.value("thicknessInMicrons").toDouble(), 2000.0);
    QCOMPARE(filter.value("diameterInMicrons").toDouble(), 2718.0);
    QCOMPARE(filter.value("hasCollimator").toBool(), false);
}

void TstCalCheckSettings::resolutionAndEnergyScaleFromTheStabilityRun()
{
    writeJson(FactoryTestEnv::get().lastResultPath(),
              {{"stability",
                QJsonObject{{"stabilityTestMetaInfo",
                             QJsonObject{{"averageResolution", 141.5},
                                         {"averageSlope", 0.02},
                                         {"averageOffset", -0.012}}}}}});
    setUniversalSetting("hardware.fpga", {{"slope", 0.02}});
    FactoryTestEnv::get().onFactoryThread(
        [] { worker()->populateCalCheckResolutionAndEnergyScale(); });
    QJsonObject calculation = universalSetting(kCalculation);
    QCOMPARE(calculation.value("resolution").toDouble(), 141.5);
    QCOMPARE(calculation.value("slope").toDouble(), 0.02);
    QCOMPARE(calculation.value("offset").toDouble(), -0.012);
    QVERIFY(m_log->contains("Cal check expected resolution, slope, and offset updated"));

    setUniversalSetting("hardware.fpga", QJsonObject());
    setUniversalSetting(kCalculation, {{"resolution", 1}});
    FactoryTestEnv::get().onFactoryThread(
        [] { worker()->populateCalCheckResolutionAndEnergyScale(); });
    QVERIFY(
        m_log->contains("Cannot populate cal check resolution, slope and offset.", QtCriticalMsg));
    QCOMPARE(universalSetting(kCalculation), (QJsonObject{{"resolution", 1}}));
}

void TstCalCheckSettings::workspaceCleanupNeverRemovesEveryMethod()
{
    const QString methods =
        FactoryTestEnv::get().homePath() + "/profile/instrumentsettings/methods";
    for (const char *method : {"alloy", "soil"}) {
        QVERIFY(QDir().mkpath(methods + "/" + method));
        writeJson(methods + "/" + method + "/CalcMethod_" + method + ".json", {{"id", method}});
    }
    writeJson(FactoryTestEnv::get().lastResultPath(),
              {{"calibrationShot", QJsonObject{{"methodList", QJsonArray()}}},
               {"airShot", QJsonObject{{"status", "pass"}}}});
    FactoryTestEnv::get().onFactoryThread([] { worker()->cleanupCalibrationWorkspace(QString()); });
    QVERIFY(QFileInfo::exists(methods + "/alloy/CalcMethod_alloy.json"));
    QVERIFY(QFileInfo::exists(methods + "/soil/CalcMethod_soil.json"));
    QVERIFY(!lastResult().contains("calibrationShot"));
    QVERIFY(lastResult().contains("airShot"));

    FactoryTestEnv::get().onFactoryThread(
        [] { worker()->cleanupCalibrationWorkspace(QStringLiteral("..")); });
    QVERIFY(QFileInfo::exists(methods + "/alloy"));
    QVERIFY(m_log->contains("Calibration workspace cleanup refused"));
    FactoryTestEnv::get().onFactoryThread(
        [] { worker()->cleanupCalibrationWorkspace(QStringLiteral("alloy")); });
    QVERIFY(!QFileInfo::exists(methods + "/alloy"));
    QVERIFY(QFileInfo::exists(methods + "/soil/CalcMethod_soil.json"));
}

QTEST_GUILESS_MAIN(TstCalCheckSettings)
#include "tst_calchecksettings.moc"
