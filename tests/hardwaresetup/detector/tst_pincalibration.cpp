// The PIN detector calibration on the simulated LT instrument.
#include "factorytestenv.h"
#include "detector_p.h"
#include "logcapture.h"
#include "simfaults.h"
#include "siminstrument.h"
#include "simnetworkmanager.h"
#include "simstate.h"
#include "substeprun.h"
#include "xrfengine.h"

#include <QtTest>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

const QString kDataFile = QStringLiteral(XRF_DATA_DIR "/LT/factoryData/factory_setup_dataLT.json");

SimFaults &faults()
{
    return FactoryTestEnv::get().instrument().faults();
}

xrf_hal::XrfEngine *engine()
{
    return xrf_hal::XrfEngine::instance();
}

QJsonObject pinParams()
{
    return setupParamsFromFile(kDataFile, QStringLiteral("pinDetectorCalibration"));
}

bool tubeIsOn()
{
    SimState &state = FactoryTestEnv::get().instrument().state();
    const auto lock = state.lock();
    return state.tube().isOn();
}

} // namespace

class TstPinCalibration : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void searchFindsTheWorkingPointUnderXrays();
    void calibrationIsStoredAndVerifiedInTheEeprom();
    void searchGivesUpAfterMaxIterations();
    void abortStopsTheSearch();
    void tubeThatCannotBeEnabled_data();
    void tubeThatCannotBeEnabled();
    void engineFailuresDuringTheSearch_data();
    void engineFailuresDuringTheSearch();
    void eepromFailures_data();
    void eepromFailures();
    void missingParameterFailsTheSubStep();

    // Need the default FPGA parameters of the FPGA area (saveDefaultFpgaParams).
    void subStepPassesOnTheDefaultDataAndTurnsTheTubeOff();
    void failedSearchTurnsTheTubeOff();

private:
    Worker *worker() const { return FactoryTestEnv::get().worker(); }
    bool startAndSearch(Worker::PinCalibration &run, QString *error);

    std::unique_ptr<LogCapture> m_log;
};

void TstPinCalibration::initTestCase()
{
    m_log.reset(new LogCapture);
    FactoryTestEnv::Options options;
    options.model = QStringLiteral("LT");
    auto &env = FactoryTestEnv::start(options);
    env.network().setForcedOffline(true);
    QTRY_VERIFY(!worker()->cloudConnected);
    // The default FPGA registers come from the model's work order and setup data.
    QVERIFY(env.seedModelData(QStringLiteral("LT")));
    QVERIFY(!pinParams().isEmpty());
}

void TstPinCalibration::cleanupTestCase()
{
    FactoryTestEnv::get().settleBeforeExit();
}

void TstPinCalibration::init()
{
    faults().clear();
    worker()->userAbort = false;
    m_log->clear();
}

void TstPinCalibration::cleanup()
{
    engine()->disableTube();
}

bool TstPinCalibration::startAndSearch(Worker::PinCalibration &run, QString *error)
{
    return FactoryTestEnv::get().onFactoryThread([&] {
        return worker()->readPinCalibrationParams(run, error)
            && worker()->startPinCalibrationHardware(run, error)
            && worker()->searchPinDacs(run, error);
    });
}

void TstPinCalibration::searchFindsTheWorkingPointUnderXrays()
{
    Worker::PinCalibration run;
    run.params = pinParams();
    QString error;
    QVERIFY2(startAndSearch(run, &error), qPrintable(error));
    QVERIFY(run.tubeOn);
    QVERIFY(run.dacs.widthPhase);
    QVERIFY(run.dacs.fetSub > run.params.value("initialFetSub").toInt());
    QVERIFY2(run.height >= 14201 && run.height <= 15800, qPrintable(QString::number(run.height)));
    QVERIFY(run.fastCounts >= 1000u);
    QVERIFY(run.windowSize >= run.params.value("minWindowSize").toInt());
    QVERIFY(run.iterations < run.params.value("maxIterations").toInt());
    unsigned short dac = 0;
    QCOMPARE(engine()->getDetectorDac(xrf_hal::DetectorDacFetSub, &dac), 0);
    QCOMPARE(int(dac), run.dacs.fetSub);
    QCOMPARE(engine()->getDetectorDac(xrf_hal::DetectorDacResetWidth, &dac), 0);
    QCOMPARE(int(dac), run.dacs.resetWidth);
    QVERIFY(worker()->currentTaskStatus.startsWith(
        QStringLiteral("F:%1, W:%2, H:").arg(run.dacs.fetSub).arg(run.dacs.resetWidth)));
    const QJsonObject results = run.results();
    for (const char *key :
         {"fetSubDacValue", "resetWidth", "fastCounts", "windowSize", "iterations"})
        QVERIFY2(results.contains(key), key);
}

void TstPinCalibration::calibrationIsStoredAndVerifiedInTheEeprom()
{
    Worker::PinCalibration run;
    run.dacs.fetSub = 2061;
    run.dacs.resetWidth = 288;
    run.height = 15000;
    run.resetClocks = 40;
    QString error;
    QVERIFY2(FactoryTestEnv::get().onFactoryThread(
                 [&] { return worker()->storePinCalibration(run, &error); }),
             qPrintable(error));
    unsigned short value = 0;
    QCOMPARE(engine()->getEepromFetSubInit(&value), 0);
    QCOMPARE(value, 2061);
    QCOMPARE(engine()->getEepromResetTimerInit(&value), 0);
    QCOMPARE(value, 288);
    QCOMPARE(engine()->getEepromResetClocks(&value), 0);
    QCOMPARE(value, 40);
    QCOMPARE(engine()->readValue16(xrf_hal::RegDetectorResetHeightTarget, &value), 0);
    QCOMPARE(value, 15000);
    QCOMPARE(worker()->currentTaskStatus, QStringLiteral("Verifying EEPROM"));
}

void TstPinCalibration::searchGivesUpAfterMaxIterations()
{
    Worker::PinCalibration run;
    run.params = pinParams();
    run.params.insert("maxIterations", 2);
    QString error;
    QVERIFY(!startAndSearch(run, &error));
    QCOMPARE(error,
             QStringLiteral("PIN detector calibration failed, height: false, counts: true, "
                            "window: %1, fetSub: %2, width: 300, even after 2 attempts.")
                 .arg(run.windowOk ? "true" : "false")
                 .arg(run.dacs.fetSub));
    QCOMPARE(run.iterations, 2);
}

void TstPinCalibration::abortStopsTheSearch()
{
    Worker::PinCalibration run;
    run.params = pinParams();
    QString error;
    QVERIFY(FactoryTestEnv::get().onFactoryThread([&] {
        return worker()->readPinCalibrationParams(run, &error)
            && worker()->startPinCalibrationHardware(run, &error);
    }));
    worker()->userAbort = true;
    QVERIFY(!FactoryTestEnv::get().onFactoryThread(
        [&] { return worker()->searchPinDacs(run, &error); }));
    QCOMPARE(error, QStringLiteral("PIN detector calibration failed, User abort."));
    QCOMPARE(run.iterations, 1);
}

void TstPinCalibration::tubeThatCannotBeEnabled_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("abort");
    QTest::addColumn<QString>("message");
    QTest::newRow("interlock open")
        << int(xrf_hal::EngineInterlockOpen) << false
        << "PIN detector calibration failed, K60 command to enable tube failed, HwRet:'-16'";
    QTest::newRow("never ready")
        << int(xrf_hal::EngineTubeNotReady) << false
        << "PIN detector calibration failed, K60 command to enable tube failed, HwRet:'-14'";
    QTest::newRow("abort while ramping")
        << int(xrf_hal::EngineTubeNotReady) << true << "User Abort";
}

void TstPinCalibration::tubeThatCannotBeEnabled()
{
    QFETCH(int, code);
    QFETCH(bool, abort);
    QFETCH(QString, message);
    faults().failOperation("enableTube", code, SimFaults::kAlways);
    worker()->userAbort = abort;
    Worker::PinCalibration run;
    run.params = pinParams();
    QString error;
    QVERIFY(!startAndSearch(run, &error));
    QCOMPARE(error, message);
    QVERIFY(!run.tubeOn);
}

void TstPinCalibration::engineFailuresDuringTheSearch_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("message");
    QTest::newRow("tube voltage") << "setTubeVoltage"
                                  << "K60 command to set tube parameters failed, HwRet:'-30'";
    QTest::newRow("tube current") << "setTubeCurrent"
                                  << "K60 command to set tube parameters failed, HwRet:'-30'";
    QTest::newRow("fet sub") << "setDetectorDac"
                             << "K60 command to set fet sub failed, HwRet:'-30'";
    QTest::newRow("height") << "getFpgaResetHeight"
                            << "K60 command to read reset height failed, HwRet:'-30'";
    QTest::newRow("fast counts") << "getAcquisitionStats"
                                 << "K60 command to read fast counts failed, HwRet:'-30'";
    QTest::newRow("histogram") << "getFpgaDiagnosticTrace"
                               << "K60 command to read ADC histogram failed, HwRet:'-30'";
}

void TstPinCalibration::engineFailuresDuringTheSearch()
{
    QFETCH(QString, operation);
    QFETCH(QString, message);
    faults().failOperation(operation, xrf_hal::EngineCommunicationError);
    Worker::PinCalibration run;
    run.params = pinParams();
    QString error;
    QVERIFY(!startAndSearch(run, &error));
    QCOMPARE(error, "PIN detector calibration failed, " + message);
}

void TstPinCalibration::eepromFailures_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<quint16>("register_");
    QTest::addColumn<QString>("message");
    QTest::newRow("timer init") << "setEepromResetTimerInit" << quint16(0)
                                << "K60 command to set eeprom reset timer init failed, HwRet:'-30'";
    QTest::newRow("fet sub") << "setEepromFetSubInit" << quint16(0)
                             << "K60 command to set eeprom fet sub init failed, HwRet:'-30'";
    QTest::newRow("clocks") << "setEepromResetClocks" << quint16(0)
                            << "K60 command to set eeprom reset clocks failed, HwRet:'-30'";
    QTest::newRow("save") << "saveDataToEeprom" << quint16(0)
                          << "Command to save data to eeprom failed, HwRet:-30";
    QTest::newRow("load") << "loadDataFromEeprom" << quint16(0)
                          << "Command to load data from eeprom failed, HwRet:-30";
    QTest::newRow("read fet sub")
        << "getEepromFetSubInit" << quint16(0)
        << "K60 command to read eeprom fet sub init value failed, HwRet:-30";
    QTest::newRow("width mismatch")
        << QString() << quint16(xrf_hal::RegEepromResetTimerInit)
        << "monitored reset width 77 does not match with set reset width 288";
    QTest::newRow("fet sub mismatch")
        << QString() << quint16(xrf_hal::RegEepromFetSubInit)
        << "monitored fet sub 77 does not match with set fet sub 2061";
    QTest::newRow("clocks mismatch")
        << QString() << quint16(xrf_hal::RegEepromResetClocks)
        << "monitored reset clock 77 does not match with set reset clock 40";
}

void TstPinCalibration::eepromFailures()
{
    QFETCH(QString, operation);
    QFETCH(quint16, register_);
    QFETCH(QString, message);
    if (!operation.isEmpty())
        faults().failOperation(operation, xrf_hal::EngineCommunicationError);
    if (register_)
        faults().overrideRegister(register_, 77);
    Worker::PinCalibration run;
    run.dacs.fetSub = 2061;
    run.dacs.resetWidth = 288;
    run.height = 15000;
    run.resetClocks = 40;
    QString error;
    QVERIFY(!FactoryTestEnv::get().onFactoryThread(
        [&] { return worker()->storePinCalibration(run, &error); }));
    QCOMPARE(error, "PIN detector calibration failed, " + message);
}

void TstPinCalibration::missingParameterFailsTheSubStep()
{
    QJsonObject params = pinParams();
    params.remove("temperatureCorrectionCoeff2");
    const XrfHardwareSetupStepInfo step = runSubStep("pinDetectorCalibration", params);
    QVERIFY(step.hasFailed());
    QCOMPARE(step.statusMsg(),
             QStringLiteral("PIN detector calibration failed. Failed to find one "
                            "or more required setup params."));
    QVERIFY(!tubeIsOn());
}

void TstPinCalibration::subStepPassesOnTheDefaultDataAndTurnsTheTubeOff()
{
    const XrfHardwareSetupStepInfo step = runSubStep("pinDetectorCalibration", pinParams());
    QVERIFY2(!step.hasFailed(), qPrintable(step.statusMsg()));
    QVERIFY(step.statusMsg().startsWith("DAC FET Sub: "));
    QVERIFY(!tubeIsOn());
    QVERIFY(m_log->contains("Setting PIN detector temperature correction coefficients"));
    unsigned short fetSub = 0;
    QCOMPARE(engine()->getEepromFetSubInit(&fetSub), 0);
    QCOMPARE(int(fetSub), step.results().value("fetSubDacValue").toInt());
}

void TstPinCalibration::failedSearchTurnsTheTubeOff()
{
    QJsonObject params = pinParams();
    params.insert("maxIterations", 1);
    const XrfHardwareSetupStepInfo step = runSubStep("pinDetectorCalibration", params);
    QVERIFY(step.hasFailed());
    QVERIFY(step.statusMsg().endsWith("even after 1 attempts."));
    QVERIFY(!tubeIsOn());
}

QTEST_GUILESS_MAIN(TstPinCalibration)
#include "tst_pincalibration.moc"
