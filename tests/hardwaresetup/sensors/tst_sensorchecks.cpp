// Temperature, barometer, accelerometer and proximity sensor checks on the simulated default
// instrument.
#include "factorytestenv.h"
#include "logcapture.h"
#include "simfaults.h"
#include "siminstrument.h"
#include "simnetworkmanager.h"
#include "simscenarios.h"
#include "substeprun.h"
#include "xrfengine.h"

#include <QtTest>

#include <cstring>

namespace {

SimFaults &faults()
{
    return FactoryTestEnv::get().instrument().faults();
}

QString dataFile(const QString &model)
{
    const QString suffix = model == QLatin1String("default") ? QString() : model;
    return QStringLiteral(XRF_DATA_DIR "/%1/factoryData/factory_setup_data%2.json")
        .arg(model, suffix);
}

void overrideTemperatures(const QMap<QString, double> &values)
{
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        faults().overrideSensor(it.key(), it.value());
}

} // namespace

class TstSensorChecks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void everyCheckPassesOnEachModelsData_data();
    void everyCheckPassesOnEachModelsData();
    void temperatureChecksCompareWholeDegrees_data();
    void temperatureChecksCompareWholeDegrees();
    void temperatureCheckFanAndReadFailures_data();
    void temperatureCheckFanAndReadFailures();
    void variantsCompareTheirPairs_data();
    void variantsCompareTheirPairs();
    void pressureLimitsAreInclusive_data();
    void pressureLimitsAreInclusive();
    void barometerReadFailure();
    void accelerometerBoundsAreExclusive_data();
    void accelerometerBoundsAreExclusive();
    void accelerometerEngineFailures();
    void proximityLimits_data();
    void proximityLimits();
    void proximityEngineFailures();
    void sensorScenariosFailTheirChecks_data();
    void sensorScenariosFailTheirChecks();

private:
    std::unique_ptr<LogCapture> m_log;
};

void TstSensorChecks::initTestCase()
{
    m_log.reset(new LogCapture);
    auto &env = FactoryTestEnv::start();
    env.network().setForcedOffline(true);
    QTRY_VERIFY(!FactoryTestEnv::get().worker()->cloudConnected);
}

void TstSensorChecks::cleanupTestCase()
{
    FactoryTestEnv::get().settleBeforeExit();
}

void TstSensorChecks::init()
{
    faults().clear();
    m_log->clear();
}

// The sensors of the simulated instrument read within each model's limits. The LT and MP
// variants read the same engine getters, so the default instrument serves for all models' data.
void TstSensorChecks::everyCheckPassesOnEachModelsData_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("stepId");
    for (const QString model : {"default", "LT", "MP", "HD", "Harrier"}) {
        for (const QString stepId :
             {"temperatureChecks", "temperatureChecksLT", "temperatureChecksMP", "barometerSetup",
              "accelerometerSetup", "proximitySensorSetup"}) {
            if (!setupParamsFromFile(dataFile(model), stepId).isEmpty())
                QTest::addRow("%s %s", qPrintable(model), qPrintable(stepId)) << model << stepId;
        }
    }
}

void TstSensorChecks::everyCheckPassesOnEachModelsData()
{
    QFETCH(QString, model);
    QFETCH(QString, stepId);
    const XrfHardwareSetupStepInfo step =
        runSubStep(stepId, setupParamsFromFile(dataFile(model), stepId));
    QVERIFY(step.isDone());
    QVERIFY2(!step.hasFailed(), qPrintable(step.statusMsg()));
    QCOMPARE(FactoryTestEnv::get().worker()->currentTaskProgress, 100.0);
}

void TstSensorChecks::temperatureChecksCompareWholeDegrees_data()
{
    QTest::addColumn<double>("board");
    QTest::addColumn<double>("preamp");
    QTest::addColumn<QString>("message");
    // Barometer 30.0 C and probe 27.2 C, both tolerances 5.
    QTest::newRow("board at the tolerance") << 35.4 << 28.0 << QString();
    QTest::newRow("board over") << 35.6 << 28.0
                                << "System temp check failed. Digital board temp:36C is not within "
                                   "tolerance:5 of barometer temp:30C";
    QTest::newRow("preamp at the tolerance") << 31.0 << 22.4 << QString();
    QTest::newRow("preamp over") << 31.0 << 21.4
                                 << "System temp check failed. Preamp board temp:21C is not within "
                                    "tolerance:5 of probe temp:27C";
}

void TstSensorChecks::temperatureChecksCompareWholeDegrees()
{
    QFETCH(double, board);
    QFETCH(double, preamp);
    QFETCH(QString, message);
    overrideTemperatures({{"getBarometerTemperature", 30.0},
                          {"getDigitalBoardTemperature", board},
                          {"getProximityTemperature", 27.2},
                          {"getPreampTemperature", preamp}});
    const XrfHardwareSetupStepInfo step = runSubStep("temperatureChecks",
                                                     {{"minFanSpeed", 6000},
                                                      {"digitalboardTemperatureTolerance", 5},
                                                      {"preampTemperatureTolerance", 5}});
    QCOMPARE(step.hasFailed(), !message.isEmpty());
    QCOMPARE(step.statusMsg(), message);
    const QJsonObject results = step.results();
    QVERIFY(results.value("fanSpeed").toInt() > 6000);
    QCOMPARE(results.value("barometerTemperature").toDouble(), 30.0);
    QCOMPARE(results.value("digitalBoardTemperature").toDouble(), double(float(board)));
    if (message.isEmpty()) {
        QCOMPARE(results.value("probeTemperature").toDouble(), double(27.2f));
        QCOMPARE(results.value("preampTemperature").toDouble(), double(float(preamp)));
        QVERIFY(m_log->contains("Temperatures:: Barometer: 30, Digital Board: "));
    }
}

void TstSensorChecks::temperatureCheckFanAndReadFailures_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("message");
    QTest::newRow("set fan") << "setFanSpeed"
                             << "System temp check failed. Failed to set fan speed. ret:-30";
    QTest::newRow("read fan") << "getFanSpeed"
                              << "System temp check failed. Failed to read fan speed from K60, "
                                 "ret:-30";
    QTest::newRow("barometer") << "getBarometerTemperature"
                               << "System temp check failed. Failed to read barometer "
                                  "temperature, ret:-30";
    QTest::newRow("board") << "getDigitalBoardTemperature"
                           << "System temp check failed. Failed to read digital board temp, "
                              "ret:-30";
    QTest::newRow("probe") << "getProximityTemperature"
                           << "System temp check failed. Failed to read probe temp, ret:-30";
    QTest::newRow("preamp") << "getPreampTemperature"
                            << "System temp check failed. Failed to read preamp temperature, "
                               "ret:-30";
}

void TstSensorChecks::temperatureCheckFanAndReadFailures()
{
    QFETCH(QString, operation);
    QFETCH(QString, message);
    faults().failOperation(operation, xrf_hal::EngineCommunicationError);
    const XrfHardwareSetupStepInfo step = runSubStep("temperatureChecks",
                                                     {{"minFanSpeed", 6000},
                                                      {"digitalboardTemperatureTolerance", 5},
                                                      {"preampTemperatureTolerance", 5}});
    QVERIFY(step.hasFailed());
    QCOMPARE(step.statusMsg(), message);
}

void TstSensorChecks::variantsCompareTheirPairs_data()
{
    QTest::addColumn<QString>("stepId");
    QTest::addColumn<QString>("failing");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("resultKeys");
    const QStringList lt{"afeTemperature", "digitalBoardTemperature", "tubeTemperature",
                         "preampTemperature"};
    const QStringList mp{"barometerTemperature", "digitalBoardTemperature", "tubeTemperature",
                         "preampTemperature"};
    QTest::newRow("LT passes") << "temperatureChecksLT" << QString() << 0.0 << QString() << lt;
    QTest::newRow("LT board vs AFE")
        << "temperatureChecksLT"
        << "getDigitalBoardTemperature" << 36.6
        << "System temp check failed. Digital board temp:37C is not within tolerance:5 of AFE "
           "temp:31C"
        << QStringList{"afeTemperature", "digitalBoardTemperature"};
    QTest::newRow("LT preamp vs tube")
        << "temperatureChecksLT"
        << "getPreampTemperature" << 40.5
        << "System temp check failed. Preamp board temp:41C is not within tolerance:8 of probe "
           "temp:32C"
        << lt;
    QTest::newRow("MP passes") << "temperatureChecksMP" << QString() << 0.0 << QString() << mp;
    QTest::newRow("MP board vs barometer")
        << "temperatureChecksMP"
        << "getDigitalBoardTemperature" << 24.4
        << "System temp check failed. Digital board temp:24C is not within tolerance:5 of "
           "barometer temp:30C"
        << QStringList{"barometerTemperature", "digitalBoardTemperature"};
    QTest::newRow("MP preamp at the tolerance")
        << "temperatureChecksMP"
        << "getPreampTemperature" << 39.5 << QString() << mp;
}

void TstSensorChecks::variantsCompareTheirPairs()
{
    QFETCH(QString, stepId);
    QFETCH(QString, failing);
    QFETCH(double, value);
    QFETCH(QString, message);
    QFETCH(QStringList, resultKeys);
    overrideTemperatures({{"getAnalogFrontEndTemperature", 31.2},
                          {"getBarometerTemperature", 29.6},
                          {"getDigitalBoardTemperature", 33.0},
                          {"getTubeTemperature", 32},
                          {"getPreampTemperature", 30.0}});
    if (!failing.isEmpty())
        faults().overrideSensor(failing, value);
    const XrfHardwareSetupStepInfo step = runSubStep(stepId,
                                                     {{"digitalBoardVsAFEToleranceInC", 5},
                                                      {"digitalboardTemperatureTolerance", 5},
                                                      {"preampVsTubeToleranceInC", 8}});
    QCOMPARE(step.statusMsg(), message);
    QCOMPARE(step.hasFailed(), !message.isEmpty());
    QStringList keys = step.results().keys();
    keys.sort();
    resultKeys.sort();
    QCOMPARE(keys, resultKeys);
}

void TstSensorChecks::pressureLimitsAreInclusive_data()
{
    QTest::addColumn<double>("pressure");
    QTest::addColumn<QString>("message");
    QTest::newRow("at the minimum")
        << 700.0 << "Pressure 700 mbar is within expected range(700-1100)";
    QTest::newRow("at the maximum")
        << 1100.0 << "Pressure 1100 mbar is within expected range(700-1100)";
    QTest::newRow("below") << 699.5 << "Pressure out of range Min:700, Max:1100, Mon:699.5";
    QTest::newRow("above") << 1100.25 << "Pressure out of range Min:700, Max:1100, Mon:1100.25";
}

void TstSensorChecks::pressureLimitsAreInclusive()
{
    QFETCH(double, pressure);
    QFETCH(QString, message);
    faults().overrideSensor("getAmbientPressureMillibars", pressure);
    const XrfHardwareSetupStepInfo step = runSubStep(
        "barometerSetup", {{"minPressureInMilliBar", 700.0}, {"maxPressureInMilliBar", 1100.0}});
    const bool outOfRange = message.startsWith("Pressure out of range");
    QCOMPARE(step.statusMsg(), message);
    QCOMPARE(step.hasFailed(), outOfRange);
    const QJsonObject results = step.results();
    QCOMPARE(results.value("present").toBool(), true);
    QCOMPARE(results.value("pressure").toDouble(), pressure);
    QCOMPARE(results.value("isOutOfRange").toBool(), outOfRange);
    QCOMPARE(results.value("minPressure").toDouble(), 700.0);
    QCOMPARE(results.value("maxPressure").toDouble(), 1100.0);
    if (outOfRange)
        QVERIFY(m_log->contains(message, QtWarningMsg));
    else
        QVERIFY(m_log->contains(
            "Device has passed second range test| Max:1100.00  Min:700.00, Mon:", QtInfoMsg));
}

void TstSensorChecks::barometerReadFailure()
{
    faults().failOperation("getAmbientPressureMillibars", xrf_hal::EngineNotPresent);
    const XrfHardwareSetupStepInfo step = runSubStep(
        "barometerSetup", {{"minPressureInMilliBar", 700.0}, {"maxPressureInMilliBar", 1100.0}});
    QVERIFY(step.hasFailed());
    QCOMPARE(step.statusMsg(), QStringLiteral("Failed to read pressure from K60. ret code:-6"));
    QCOMPARE(step.results().value("present").toBool(true), false);
}

void TstSensorChecks::accelerometerBoundsAreExclusive_data()
{
    QTest::addColumn<QJsonObject>("params");
    QTest::addColumn<double>("z");
    QTest::addColumn<bool>("passes");
    const QJsonObject quarter{{"expectedMagnitude", 1.0}, {"magnitudeTolerance", 0.25}};
    QTest::newRow("at the lower bound") << quarter << -0.75 << false;
    QTest::newRow("inside the lower bound") << quarter << -0.7501 << true;
    QTest::newRow("at the upper bound") << quarter << -1.25 << false;
    QTest::newRow("inside the upper bound") << quarter << -1.2499 << true;
    QTest::newRow("default tolerance, inside") << QJsonObject() << -0.9001 << true;
    QTest::newRow("default tolerance, outside") << QJsonObject() << -0.8999 << false;
    QTest::newRow("default tolerance, high outside") << QJsonObject() << -1.1001 << false;
    QTest::newRow("other expected magnitude")
        << QJsonObject{{"expectedMagnitude", 2.0}} << -1.95 << true;
}

void TstSensorChecks::accelerometerBoundsAreExclusive()
{
    QFETCH(QJsonObject, params);
    QFETCH(double, z);
    QFETCH(bool, passes);
    faults().overrideSensor("getAccelerometerVector", QVector<double>{0, 0, z});
    const XrfHardwareSetupStepInfo step = runSubStep("accelerometerSetup", params);
    QCOMPARE(step.hasFailed(), !passes);
    QCOMPARE(step.results().value("pass").toBool(), passes);
    const QJsonArray vector = step.results().value("normalVector").toArray();
    QCOMPARE(vector.size(), 3);
    QCOMPARE(vector.at(2).toDouble(), double(float(z)));
    const QString head = QStringLiteral("Accelerometer vector: <0, 0, %1>").arg(float(z));
    if (passes)
        QCOMPARE(step.statusMsg(), head);
    else
        QVERIFY2(step.statusMsg().startsWith(head + "\nMagnitude: ")
                     && step.statusMsg().contains("\nExpected Magnitude: 1\nTolerance: "),
                 qPrintable(step.statusMsg()));
    quint32 bits = 0;
    xrf_hal::XrfEngine::instance()->readValue32(xrf_hal::RegAccelerometerNormalZ, &bits);
    float normalZ = 0;
    std::memcpy(&normalZ, &bits, sizeof normalZ);
    QCOMPARE(normalZ, -1.0f);
}

void TstSensorChecks::accelerometerEngineFailures()
{
    faults().failOperation("setAccelerometerNormal", xrf_hal::EngineCommunicationError);
    XrfHardwareSetupStepInfo step = runSubStep("accelerometerSetup", {});
    QCOMPARE(step.statusMsg(),
             QStringLiteral("Failed to set accelerometer normal, K60 return code: -30"));
    QVERIFY(m_log->contains("Failed to set accelerometer normal"));

    faults().failOperation("getAccelerometerVector", xrf_hal::EngineCommunicationError);
    step = runSubStep("accelerometerSetup", {});
    QVERIFY(step.hasFailed());
    QCOMPARE(step.statusMsg(),
             QStringLiteral("Failed to read accelerometer vector, K60 return code: -30"));
}

void TstSensorChecks::proximityLimits_data()
{
    QTest::addColumn<int>("highLimit");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("passes");
    QTest::newRow("at the threshold")
        << 4000 << 1000.0 << "Proximity sensor value 1000, >= minimum 1000" << true;
    QTest::newRow("at the high limit")
        << 4000 << 4000.0 << "Proximity sensor value 4000, >= minimum 1000" << true;
    QTest::newRow("below") << 4000 << 999.0 << "Proximity sensor value 999, expected at least 1000"
                           << false;
    QTest::newRow("over") << 4000 << 4001.0 << "Proximity sensor value 4001, over high limit 4000"
                          << false;
    QTest::newRow("no high limit")
        << 0 << 1850.0 << "Proximity sensor value 1850, over high limit 0" << false;
}

void TstSensorChecks::proximityLimits()
{
    QFETCH(int, highLimit);
    QFETCH(double, value);
    QFETCH(QString, message);
    QFETCH(bool, passes);
    faults().overrideSensor("getProximitySensorDistance", value);
    QJsonObject params{{"proximityThreshold", 1000}};
    if (highLimit)
        params.insert("proximityHighLimit", highLimit);
    const XrfHardwareSetupStepInfo step = runSubStep("proximitySensorSetup", params);
    QCOMPARE(step.statusMsg(), message);
    QCOMPARE(step.hasFailed(), !passes);
    QCOMPARE(step.results().value("proximityValue").toInt(), int(value));
    QCOMPARE(step.results().value("pass").toBool(), passes);
    unsigned short threshold = 0;
    xrf_hal::XrfEngine::instance()->readValue16(xrf_hal::RegProximityThreshold, &threshold);
    QCOMPARE(threshold, 1000);
}

void TstSensorChecks::proximityEngineFailures()
{
    faults().failOperation("setProximitySensorThreshold", xrf_hal::EngineNotPresent);
    XrfHardwareSetupStepInfo step = runSubStep("proximitySensorSetup", {});
    QCOMPARE(step.statusMsg(),
             QStringLiteral("K60 command to set proximity sensor threshold failed, ret code:-6"));
    faults().failOperation("getProximitySensorDistance", xrf_hal::EngineNotPresent);
    step = runSubStep("proximitySensorSetup", {});
    QCOMPARE(step.statusMsg(),
             QStringLiteral("K60 command to read proximity sensor value failed, ret code:-6"));
    QVERIFY(step.hasFailed());
}

void TstSensorChecks::sensorScenariosFailTheirChecks_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("stepId");
    QTest::addColumn<QString>("message");
    QTest::newRow("fan") << "fan-too-slow"
                         << "temperatureChecks"
                         << "System temp check failed. Monitored fan speed:4200 is less then "
                            "minimum fan speed:6000";
    QTest::newRow("pressure") << "pressure-out-of-range"
                              << "barometerSetup"
                              << "Pressure out of range Min:700, Max:1100, Mon:640";
    QTest::newRow("accelerometer") << "accelerometer-tilted"
                                   << "accelerometerSetup"
                                   << "Accelerometer vector: <0.31, -0.05, -0.78>\nMagnitude: ";
    QTest::newRow("proximity") << "proximity-over-limit"
                               << "proximitySensorSetup"
                               << "Proximity sensor value 4600, over high limit 4000";
}

void TstSensorChecks::sensorScenariosFailTheirChecks()
{
    QFETCH(QString, scenario);
    QFETCH(QString, stepId);
    QFETCH(QString, message);
    QVERIFY(!SimScenarios::describe(scenario).isEmpty());
    QVERIFY(SimScenarios::apply(scenario, FactoryTestEnv::get().instrument()));
    const XrfHardwareSetupStepInfo step =
        runSubStep(stepId, setupParamsFromFile(dataFile("default"), stepId));
    QVERIFY(step.hasFailed());
    QVERIFY2(step.statusMsg().startsWith(message), qPrintable(step.statusMsg()));
}

QTEST_GUILESS_MAIN(TstSensorChecks)
#include "tst_sensorchecks.moc"
