// The radiation survey: its parameters per model and probe type, the exposure and how it ends,
// the evaluation of the operator's reading, the record in lastResult.json, the cloud request and
// the status signal.

#include "factorytestenv.h"
#include "logcapture.h"
#include "simcloudserver.h"
#include "simfaults.h"
#include "siminstrument.h"
#include "simnetworkmanager.h"
#include "xrfsettingsmanager.h"

#include <QtTest>

#include <cmath>
#include <limits>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;
using Survey = XrfRadiationSurveyResult;

namespace {

const QString kModel = QStringLiteral("TARVO-K100");

Worker *worker()
{
    return FactoryTestEnv::get().worker();
}

QJsonObject surveyParam(double blue, double yellow, double threshold, int maxTime = 2)
{
    return {{"instrumentModel", kModel},
            {"probeType", "SDD"},
            {"exposure",
             QJsonObject{{"tubeVoltageKv", 50}, {"tubeCurrentUa", 80}, {"maxTime", maxTime}}},
            {"blueMeterCorrectionFactor", blue},
            {"yellowMeterCorrectionFactor", yellow},
            {"milliRadPerHourThreshold", threshold}};
}

QJsonObject surveySetup(const QJsonObject &param)
{
    return {{"params", QJsonArray{param}}};
}

void setInstrumentModel(const QString &model)
{
    QJsonObject config;
    XrfSettingsManager::instance()->getUniversalSetting("hardware.config", &config);
    config.insert("instrumentModel", model);
    QCOMPARE(XrfSettingsManager::instance()->setUniversalSetting("hardware.config", &config), 0);
}

Survey workerRecord()
{
    return FactoryTestEnv::get().onFactoryThread([] { return worker()->radiationSurveyResult; });
}

QJsonObject storedRecord()
{
    QJsonValue value;
    XrfUtils::readJsonFile(FactoryTestEnv::get().lastResultPath(), &value);
    return value.toObject().value("radiationSurvey").toObject();
}

} // namespace

class TstRadiationSurvey : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void loadingTakesTheParamsOfTheModelAndProbeType();
    void loadingFailuresLeaveStatusOne_data();
    void loadingFailuresLeaveStatusOne();
    void passingSurveyIsStoredSentAndAnnounced();
    void readingIsCorrectedAndComparedInMicroRoentgen_data();
    void readingIsCorrectedAndComparedInMicroRoentgen();
    void callersRecordBringsOnlyTheReadingAndMeter();
    void readingBeforeANormalEndIsRefused();
    void stopByTheOperatorIsANormalEnd();
    void abnormalEndsFailWithTheirFaults_data();
    void abnormalEndsFailWithTheirFaults();
    void surveyWithoutParamsDoesNotStart();
    void storedSurveyIsRestored();

private:
    void writeSetupData(const QJsonValue &radiationSurvey);
    Survey load();
    // Starts the survey and returns the status it announces next.
    Survey startAndWait();
    Survey evaluate(const Survey &entered);
    Survey nextStatus();
    // A loaded survey whose exposure ended normally, waiting for the reading.
    void prepareAwaitingReading(const QJsonObject &param);

    std::unique_ptr<LogCapture> m_log;
    QObject m_receiver;
    QList<Survey> m_announced;
};

void TstRadiationSurvey::initTestCase()
{
    m_log.reset(new LogCapture);
    auto &env = FactoryTestEnv::start();
    QVERIFY(env.seedModelData("default"));
    env.network().setInstrumentSerial(
        XrfHardwareManager::instance()->hardwareConfig()->insSerialNumber());
    connect(env.manager(), &XrfFactoryManager::radiationSurveyStatusChanged, &m_receiver,
            [this](const Survey &result) { m_announced << result; });
}

void TstRadiationSurvey::cleanupTestCase()
{
    FactoryTestEnv::get().settleBeforeExit();
}

void TstRadiationSurvey::init()
{
    FactoryTestEnv::get().instrument().faults().clear();
    writeSetupData(surveySetup(surveyParam(1.0, 1.25, 0.2)));
    setInstrumentModel(kModel);
    QFile::remove(FactoryTestEnv::get().lastResultPath());
    m_announced.clear();
    m_log->clear();
}

// Puts `radiationSurvey` into the model's factory setup data; undefined removes it.
void TstRadiationSurvey::writeSetupData(const QJsonValue &radiationSurvey)
{
    const int model =
        FactoryTestEnv::get().onFactoryThread([] { return worker()->modelFilesIndex(); });
    const QString path = worker()->factorySetupDataFilePaths.value(model);
    QJsonValue data;
    QVERIFY(XrfUtils::readJsonFile(path, &data));
    QJsonObject root = data.toObject();
    QJsonObject info = root.value("factorySetupInfo").toObject();
    if (radiationSurvey.isUndefined())
        info.remove("radiationSurvey");
    else
        info.insert("radiationSurvey", radiationSurvey);
    root.insert("factorySetupInfo", info);
    QVERIFY(XrfUtils::writeJsonFile(path, QJsonDocument(root)));
}

Survey TstRadiationSurvey::load()
{
    return FactoryTestEnv::get().manager()->loadRadiationSurveyParams();
}

Survey TstRadiationSurvey::nextStatus()
{
    if (!QTest::qWaitFor([this] { return !m_announced.isEmpty(); }, 30000))
        return Survey();
    return m_announced.takeFirst();
}

Survey TstRadiationSurvey::startAndWait()
{
    QMetaObject::invokeMethod(FactoryTestEnv::get().manager(), "startRadiationSurvey",
                              Qt::QueuedConnection);
    return nextStatus();
}

Survey TstRadiationSurvey::evaluate(const Survey &entered)
{
    QMetaObject::invokeMethod(FactoryTestEnv::get().manager(), "evaluateRadiationSurveyResult",
                              Qt::QueuedConnection, Q_ARG(XrfRadiationSurveyResult, entered));
    return nextStatus();
}

void TstRadiationSurvey::prepareAwaitingReading(const QJsonObject &param)
{
    writeSetupData(surveySetup(param));
    QCOMPARE(load().status(), Survey::Ready);
    FactoryTestEnv::get().onFactoryThread(
        [] { worker()->radiationSurveyResult.setStatus(Survey::AwaitingReading); });
}

void TstRadiationSurvey::loadingTakesTheParamsOfTheModelAndProbeType()
{
    QJsonObject other = surveyParam(2.0, 2.0, 5.0);
    other.insert("probeType", "PIN");
    writeSetupData(QJsonObject{{"params", QJsonArray{other, surveyParam(1.0, 1.25, 0.2)}}});
    const Survey loaded = load();
    QCOMPARE(loaded.status(), Survey::Ready);
    QCOMPARE(loaded.statusMsg(), QString());
    QCOMPARE(loaded.instrumentModel(), kModel);
    QCOMPARE(loaded.probeType(), QStringLiteral("SDD"));
    QCOMPARE(loaded.instrumentSerial(),
             XrfHardwareManager::instance()->hardwareConfig()->insSerialNumber());
    QCOMPARE(loaded.params().yellowMeterCorrectionFactor(), 1.25);
    QCOMPARE(loaded.params().milliRadPerHourThreshold(), 0.2);
    QCOMPARE(loaded.params().exposure().tubeVoltageKv(), 50.0f);
    QVERIFY(m_log->contains("Loading radiation survey params......"));
}

void TstRadiationSurvey::loadingFailuresLeaveStatusOne_data()
{
    QTest::addColumn<QJsonValue>("setup");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QJsonValue>("stored");
    QTest::addColumn<QString>("message");

    const QJsonValue good = surveySetup(surveyParam(1.0, 1.25, 0.2));
    const QJsonValue none(QJsonValue::Undefined);
    QTest::newRow("no params") << none << kModel << none
                               << "Failed to load radition survey params. No params found in "
                                  "the file.";
    QTest::newRow("params not an object")
        << QJsonValue(QJsonArray{1}) << kModel << none
        << "Failed to load radiation survey params from factory_setup_data.json, params are not "
           "in expected format.";
    QTest::newRow("params of the wrong types")
        << QJsonValue(QJsonObject{{"params", "all"}}) << kModel << none
        << "Failed to radiation survey params, make sure factory_setup_data.json is at the "
           "latest version.";
    QTest::newRow("model unknown before provisioning")
        << good << QString() << none << "Failed to determine instrument model.";
    QTest::newRow("no entry for the model")
        << good << "TARVO-MCW" << none
        << "Failed to load radiation survey params, factory_setup_data.json has no "
           "'radiationSurvey' entry for instrument model TARVO-MCW and probe type SDD.";
    QTest::newRow("zero yellow factor")
        << QJsonValue(surveySetup(surveyParam(1.0, 0.0, 0.2))) << kModel << none
        << "Failed to load radiation survey params of instrument model TARVO-K100 and probe "
           "type SDD from factory_setup_data.json 'radiationSurvey': "
           "'yellowMeterCorrectionFactor' must be a positive number, found 0.";
    QTest::newRow("zero threshold")
        << QJsonValue(surveySetup(surveyParam(1.0, 1.2, 0.0))) << kModel << none
        << "Failed to load radiation survey params of instrument model TARVO-K100 and probe "
           "type SDD from factory_setup_data.json 'radiationSurvey': "
           "'milliRadPerHourThreshold' must be a positive number, found 0.";
    QTest::newRow("stored record not an object")
        << good << kModel << QJsonValue("passed")
        << "Failed to load radiation survey params from lastResult, the params is not in "
           "expected format.";
}

void TstRadiationSurvey::loadingFailuresLeaveStatusOne()
{
    QFETCH(QJsonValue, setup);
    QFETCH(QString, model);
    QFETCH(QJsonValue, stored);
    QFETCH(QString, message);
    writeSetupData(setup);
    setInstrumentModel(model);
    if (!stored.isUndefined())
        QVERIFY(XrfUtils::writeJsonFile(FactoryTestEnv::get().lastResultPath(),
                                        QJsonDocument(QJsonObject{{"radiationSurvey", stored}})));
    const Survey loaded = load();
    QCOMPARE(loaded.status(), Survey::ParamsLoadFailed);
    QCOMPARE(loaded.statusMsg(), message);
    QVERIFY(
        m_log->contains("Failed to load radiation survey params, error: " + message, QtWarningMsg));
}

void TstRadiationSurvey::passingSurveyIsStoredSentAndAnnounced()
{
    auto &env = FactoryTestEnv::get();
    const QString serial = XrfHardwareManager::instance()->hardwareConfig()->insSerialNumber();
    const int sent = env.cloud().requestCount(XrfNetworkManager::PutRadiationSurveyResult);
    QCOMPARE(load().status(), Survey::Ready);
    const Survey ended = startAndWait();
    QCOMPARE(ended.status(), Survey::AwaitingReading);
    QVERIFY(!ended.startTime().isEmpty());
    QCOMPARE(storedRecord().value("status").toInt(), int(Survey::AwaitingReading));
    // A reading is not sent before it is evaluated.
    QCOMPARE(env.cloud().requestCount(XrfNetworkManager::PutRadiationSurveyResult), sent);

    Survey entered;
    entered.setReading(0.05);
    entered.setMeterType(Survey::BlueMeter);
    entered.setMeterUnit(Survey::MilliRoentgenPerHour);
    const Survey verdict = evaluate(entered);
    QCOMPARE(verdict.status(), Survey::Passed);
    QCOMPARE(verdict.statusMsg(), QString());
    QCOMPARE(verdict.adjustedReading(), 0.05);
    QVERIFY(!verdict.endTime().isEmpty());
    QCOMPARE(storedRecord(), verdict.toJsonObject());
    QTRY_COMPARE(
        env.cloud().receivedResults(serial, XrfNetworkManager::PutRadiationSurveyResult).size(), 1);
    const QJsonObject body =
        env.cloud()
            .receivedResults(serial, XrfNetworkManager::PutRadiationSurveyResult)
            .last()
            .value("body")
            .toObject();
    QCOMPARE(body.value("status").toInt(), int(Survey::Passed));
    QCOMPARE(body.value("reading").toDouble(), 0.05);
    QVERIFY(m_announced.isEmpty());
}

void TstRadiationSurvey::readingIsCorrectedAndComparedInMicroRoentgen_data()
{
    QTest::addColumn<double>("reading");
    QTest::addColumn<int>("meterType");
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");

    const QString above = "Radiation survey failed, monitored reading: %1uR/hr is greater than "
                          "expected threshold: 200 uR/hr";
    const QString invalid = "Radiation survey failed, the reading %1 is not a valid dose rate.";
    const int passed = Survey::Passed;
    const int failed = Survey::Failed;
    QTest::newRow("190 uR/hr passes") << 0.19 << 1 << 0 << passed << QString();
    QTest::newRow("at the threshold fails") << 0.2 << 1 << 0 << failed << above.arg(200);
    QTest::newRow("yellow factor applies") << 0.17 << 0 << 0 << failed << above.arg(213);
    QTest::newRow("other types are yellow") << 0.17 << 7 << 0 << failed << above.arg(213);
    QTest::newRow("uR/hr as entered") << 150.0 << 1 << 1 << passed << QString();
    QTest::newRow("rounded to the threshold") << 199.6 << 1 << 1 << failed << above.arg(200);
    QTest::newRow("negative") << -0.01 << 1 << 0 << failed << invalid.arg(-0.01);
    QTest::newRow("not a number") << std::nan("") << 1 << 0 << failed << invalid.arg("nan");
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << 1 << 0 << failed
                              << invalid.arg("inf");
}

void TstRadiationSurvey::readingIsCorrectedAndComparedInMicroRoentgen()
{
    QFETCH(double, reading);
    QFETCH(int, meterType);
    QFETCH(int, unit);
    QFETCH(int, status);
    QFETCH(QString, message);
    prepareAwaitingReading(surveyParam(1.0, 1.25, 0.2));
    Survey entered;
    entered.setReading(reading);
    entered.setMeterType(meterType);
    entered.setMeterUnit(unit);
    const Survey verdict = evaluate(entered);
    QCOMPARE(int(verdict.status()), status);
    QCOMPARE(verdict.statusMsg(), message);
    QCOMPARE(storedRecord().value("status").toInt(), status);
}

void TstRadiationSurvey::callersRecordBringsOnlyTheReadingAndMeter()
{
    prepareAwaitingReading(surveyParam(1.0, 1.25, 0.2));
    Survey entered;
    entered.setReading(0.3);
    entered.setMeterType(Survey::BlueMeter);
    entered.setStatus(Survey::Passed);
    entered.setParams(XrfRadiationSurveyParam());
    entered.setInstrumentModel("forged");
    const Survey verdict = evaluate(entered);
    QCOMPARE(verdict.status(), Survey::Failed);
    QCOMPARE(verdict.instrumentModel(), kModel);
    QCOMPARE(verdict.params().milliRadPerHourThreshold(), 0.2);
}

void TstRadiationSurvey::readingBeforeANormalEndIsRefused()
{
    QCOMPARE(load().status(), Survey::Ready);
    Survey entered;
    entered.setReading(0.01);
    entered.setMeterType(Survey::BlueMeter);
    const Survey refused = evaluate(entered);
    QCOMPARE(refused.status(), Survey::Ready);
    QCOMPARE(refused.statusMsg(),
             QStringLiteral("Radiation survey reading cannot be evaluated, the survey exposure "
                            "has not ended normally."));
    QCOMPARE(workerRecord().status(), Survey::Ready);
    QVERIFY(storedRecord().isEmpty());
    // Only verdicts reach the cloud.
    FactoryTestEnv::get().waitForCloudRequests();
    const QString serial = XrfHardwareManager::instance()->hardwareConfig()->insSerialNumber();
    for (const QJsonObject &sent : FactoryTestEnv::get().cloud().receivedResults(
             serial, XrfNetworkManager::PutRadiationSurveyResult)) {
        const int status = sent.value("body").toObject().value("status").toInt();
        QVERIFY(status == Survey::Failed || status == Survey::Passed);
    }
}

void TstRadiationSurvey::stopByTheOperatorIsANormalEnd()
{
    writeSetupData(surveySetup(surveyParam(1.0, 1.25, 0.2, 3600)));
    QCOMPARE(load().status(), Survey::Ready);
    QMetaObject::invokeMethod(FactoryTestEnv::get().manager(), "startRadiationSurvey",
                              Qt::QueuedConnection);
    QTRY_VERIFY_WITH_TIMEOUT(
        FactoryTestEnv::get().instrument().strayRadiation().microRoentgenPerHour() > 0, 30000);
    // A second press of start leaves the running survey alone.
    QMetaObject::invokeMethod(FactoryTestEnv::get().manager(), "startRadiationSurvey",
                              Qt::QueuedConnection);
    QMetaObject::invokeMethod(FactoryTestEnv::get().manager(), "stopRadiationSurvey",
                              Qt::QueuedConnection);
    const Survey ended = nextStatus();
    QCOMPARE(ended.status(), Survey::AwaitingReading);
    QVERIFY(m_log->contains("Stopping radition survey..."));
    QVERIFY(m_log->contains("Radiation survey is already running, the start is ignored.",
                            QtWarningMsg));
    QTest::qWait(100);
    QVERIFY(m_announced.isEmpty());
}

void TstRadiationSurvey::abnormalEndsFailWithTheirFaults_data()
{
    QTest::addColumn<bool>("hardwareError");
    QTest::addColumn<QString>("message");
    using HM = XrfHardwareManager;
    QTest::newRow("interlock opened") << false
                                      << "Radition survey failed, exposure ended due to:"
            + HM::exposureEndConditionToString(HM::EndInterlockOpened);
    QTest::newRow("hardware error") << true
                                    << "Radition survey failed, exposure ended due to:"
            + HM::exposureEndConditionToString(HM::EndHardwareError)
            + ", faults:HV supply: arc counter 1";
}

// A hardware error ends the survey at once with its fault text; the exposure's own stop that
// follows is absorbed, so the failure is announced once.
void TstRadiationSurvey::abnormalEndsFailWithTheirFaults()
{
    QFETCH(bool, hardwareError);
    QFETCH(QString, message);
    SimFaults &faults = FactoryTestEnv::get().instrument().faults();
    if (hardwareError)
        faults.raiseHardwareErrorAfter(
            0.5, XrfErrorInfo(0x31, "Tube arc detected", "HV supply: arc counter 1"), true, 1);
    else
        faults.endExposureAfter(0.5, XrfHardwareManager::EndInterlockOpened, false, 1);
    QCOMPARE(load().status(), Survey::Ready);
    const Survey ended = startAndWait();
    QCOMPARE(ended.status(), Survey::ExposureFailed);
    QCOMPARE(ended.statusMsg(), message);
    QVERIFY(m_log->contains(message, QtWarningMsg));
    QCOMPARE(storedRecord().value("statusMsg").toString(), message);
    QTest::qWait(200);
    QVERIFY(m_announced.isEmpty());
    QCOMPARE(FactoryTestEnv::get().instrument().strayRadiation().microRoentgenPerHour(), 0.0);
}

void TstRadiationSurvey::surveyWithoutParamsDoesNotStart()
{
    setInstrumentModel(QString());
    QCOMPARE(load().status(), Survey::ParamsLoadFailed);
    const int shots = FactoryTestEnv::get().instrument().faults().operationCalls("startExposure");
    const Survey refused = startAndWait();
    QCOMPARE(refused.status(), Survey::ParamsLoadFailed);
    QCOMPARE(refused.statusMsg(), QStringLiteral("Failed to determine instrument model."));
    QCOMPARE(FactoryTestEnv::get().instrument().faults().operationCalls("startExposure"), shots);
}

void TstRadiationSurvey::storedSurveyIsRestored()
{
    prepareAwaitingReading(surveyParam(1.0, 1.25, 0.2));
    Survey entered;
    entered.setReading(0.1);
    entered.setMeterType(Survey::BlueMeter);
    QCOMPARE(evaluate(entered).status(), Survey::Passed);
    // The setup data may change; the restored record takes the current parameters.
    writeSetupData(surveySetup(surveyParam(1.0, 1.5, 0.3)));
    const Survey restored = load();
    QCOMPARE(restored.status(), Survey::Passed);
    QCOMPARE(restored.reading(), 0.1);
    QCOMPARE(restored.params().milliRadPerHourThreshold(), 0.3);
    QVERIFY(m_log->contains("Loading radiation survey params from lastResult..."));
}

QTEST_GUILESS_MAIN(TstRadiationSurvey)
#include "tst_radiationsurvey.moc"
