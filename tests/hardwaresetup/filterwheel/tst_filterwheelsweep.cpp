// The filter scan sub-step through the simulated instrument: the sweep finds the built wheel's
// holes and writes them to the controller; a wrong wheel, a slipped encoder, dark rates, engine
// errors, hardware errors and an abort fail it with their messages.

#include "factorytestenv.h"
#include "filterwheelsetup.h"
#include "logcapture.h"
#include "simfaults.h"
#include "siminstrument.h"
#include "simpresets.h"
#include "simscenarios.h"
#include "xrfengine.h"

#include <QtTest>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

const QString kFilterScan = QStringLiteral("filterScan");

QJsonObject defaultScanParams()
{
    QJsonObject params;
    FactoryTestEnv::get().onFactoryThread([&] {
        XrfHardwareSetupStepsList steps;
        steps.fromJsonObject(
            FactoryTestEnv::get().worker()->factorySetupInfo.value("hardwareSetup").toObject());
        if (const XrfHardwareSetupStepInfo *step = steps.getHardwareSetupStep(kFilterScan))
            params = step->setupParams();
    });
    return params;
}

void seedDefaultData()
{
    QVERIFY(FactoryTestEnv::get().seedModelData(QStringLiteral("default")));
}

SimFaults &faults()
{
    return FactoryTestEnv::get().instrument().faults();
}

QVector<xrf_hal::FilterParams> controllerTable()
{
    return FactoryTestEnv::get().onFactoryThread([] {
        QVector<xrf_hal::FilterParams> table(10);
        xrf_hal::XrfEngine::instance()->getFilterData(table.data(), 10);
        return table;
    });
}

// What one run of the sub-step left behind.
struct ScanOutcome
{
    XrfHardwareSetupStepInfo step;
    int completions = 0;
    int configRefreshes = 0;
    xrf_hal::ShutterStatus shutter = xrf_hal::ShutterOpen;
    QVector<double> progress;

    QJsonObject results() const { return step.results(); }
    QString message() const { return step.statusMsg(); }
};

} // namespace

class TstFilterWheelSweep : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void sweepFindsTheBuiltWheel();
    void wrongWheelAssembly_data();
    void wrongWheelAssembly();
    void slippedEncoderFailsTheOffsetCheck();
    void longDwellOnTheLowerHolesOfAssy20854();
    void everyModelsWheelPasses_data();
    void everyModelsWheelPasses();
    void darkRateBeforeTubeOn();
    void darkRangeAfterTheSweep_data();
    void darkRangeAfterTheSweep();
    void engineFailures_data();
    void engineFailures();
    void encoderLimitsFallBackToTheSetupFile();
    void failedTableWriteNamesTheLowestEncoder();
    void hardwareErrorDuringTheScan();
    void abortEndsTheScan();
    void badParameters();

private:
    Worker *worker() const { return FactoryTestEnv::get().worker(); }
    // Runs the sub-step; `beforeScan` runs on the factory thread just before it.
    ScanOutcome runScan(const QJsonObject &params, const std::function<void()> &beforeScan = {});
    ScanOutcome runScan() { return runScan(defaultScanParams()); }

    std::unique_ptr<LogCapture> m_log;
    SimModelPreset m_preset;
};

void TstFilterWheelSweep::initTestCase()
{
    m_log.reset(new LogCapture);
    FactoryTestEnv::start();
    seedDefaultData();
    m_preset = FactoryTestEnv::get().instrument().preset();
    FactoryTestEnv::get().instrument().setSeed(7);
}

void TstFilterWheelSweep::cleanupTestCase()
{
    FactoryTestEnv::get().settleBeforeExit();
}

void TstFilterWheelSweep::init()
{
    m_log->clear();
}

void TstFilterWheelSweep::cleanup()
{
    faults().clear();
    const SimModelPreset preset = m_preset;
    FactoryTestEnv::get().instrument().amendHardware([&](SimModelPreset &p) { p = preset; });
    FactoryTestEnv::get().onFactoryThread([this] { worker()->userAbort = false; });
}

ScanOutcome TstFilterWheelSweep::runScan(const QJsonObject &params,
                                         const std::function<void()> &beforeScan)
{
    auto &env = FactoryTestEnv::get();
    QSignalSpy complete(env.manager(), &XrfFactoryManager::hardwareSetupStepComplete);
    QSignalSpy refresh(env.manager(), &XrfFactoryManager::updateHardwareConfig);
    QSignalSpy progress(env.manager(), &XrfFactoryManager::currentTaskProgressChanged);
    ScanOutcome outcome;
    env.onFactoryThread([&] {
        XrfHardwareSetupStepsList steps;
        steps.fromJsonObject({{"hardwareSetupSteps",
                               QJsonArray{QJsonObject{{"stepId", kFilterScan},
                                                      {"displayName", "Filter wheel scan"},
                                                      {"setupParams", params}}}}});
        worker()->hardwareSetupSteps = steps;
        worker()->currentStepId = XrfUtils::HardwareSetup;
        xrf_hal::XrfEngine::instance()->setShutterStatus(xrf_hal::ShutterOpen);
        worker()->setCurrentTaskProgress(0);
        if (beforeScan)
            beforeScan();
        worker()->doFilterWheelSetup();
        outcome.step = *worker()->hardwareSetupSteps.getHardwareSetupStep(kFilterScan);
        xrf_hal::XrfEngine::instance()->getShutterStatus(&outcome.shutter);
    });
    outcome.completions = complete.count();
    outcome.configRefreshes = refresh.count();
    for (const QList<QVariant> &args : qAsConst(progress))
        outcome.progress.append(args.first().toDouble());
    return outcome;
}

void TstFilterWheelSweep::sweepFindsTheBuiltWheel()
{
    const SimWheelAssembly wheel =
        SimWheelAssembly::byPartNumber(m_preset.wheelPartNumber, m_preset.wheelUnitShiftTicks);
    QElapsedTimer clock;
    clock.start();
    const ScanOutcome outcome = runScan();
    QVERIFY2(clock.elapsed() < 30000, "a sweep at time scale 0.001 takes seconds");
    QVERIFY2(!outcome.step.hasFailed(), qPrintable(outcome.message()));
    QVERIFY(outcome.step.isDone());
    QCOMPARE(outcome.completions, 1);
    QCOMPARE(outcome.configRefreshes, 1);

    const QJsonObject results = outcome.results();
    QCOMPARE(results.value("filterType").toString(), m_preset.wheelPartNumber);
    QCOMPARE(results.value("present").toBool(), true);
    QCOMPARE(results.value("encoderMin").toInt(), int(wheel.encoderMin));
    QCOMPARE(results.value("encoderMax").toInt(), int(wheel.encoderMax));
    QVERIFY(!results.contains("errorMsg"));
    const int steps = results.value("setEncoders").toArray().size();
    const int step = defaultScanParams().value("encoderStep").toInt();
    QCOMPARE(steps, (wheel.encoderMax - wheel.encoderMin) / step);
    for (const char *key :
         {"monitoredEncoders", "icr", "ocr", "realTime", "liveTime", "scannedPositions"})
        QCOMPARE(results.value(key).toArray().size(), steps);
    // Started at 5 uA, the current was raised towards the open position's target rate.
    QVERIFY(results.value("sweepCurrent").toInt() > 5);

    // Every searched hole, the last one included, is found within about a sweep step of where the
    // built wheel has it; tungsten is interpolated from its neighbours.
    const QJsonArray positions = results.value("filterScanResults").toArray();
    QCOMPARE(positions.size(), wheel.holes.size());
    const QVector<xrf_hal::FilterParams> table = controllerTable();
    for (int p = 0; p < positions.size(); ++p) {
        const QJsonObject entry = positions.at(p).toObject();
        const int encoder = entry.value("encoder").toInt();
        QCOMPARE(int(table.at(p).encoder), encoder);
        QVERIFY2(qAbs(encoder - wheel.trueEncoder(p)) <= 25,
                 qPrintable(QString("F%1 at %2").arg(p).arg(encoder)));
        if (wheel.holes.at(p).materialAtomicNumber == 74)
            QVERIFY2(entry.value("icr").toDouble() < 200, "tungsten blocks the beam");
    }
    QCOMPARE(positions.at(0).toObject().value("icrPercent").toDouble(), 100.0);
    QVERIFY(positions.at(0).toObject().value("gaussianAmplitude").toDouble() > 0);

    const double offset = results.value("linearFitOffset").toDouble();
    qWarning().noquote() << m_log->first("Filter Encoders:").message
                         << QString("fit offset %1 slope %2 R2 %3, sweep current %4 uA")
                                .arg(offset)
                                .arg(results.value("linearFitSlope").toDouble())
                                .arg(results.value("linearFitRSquared").toDouble(), 0, 'f', 6)
                                .arg(results.value("sweepCurrent").toInt());
    QVERIFY2(qAbs(offset - (250 + m_preset.wheelUnitShiftTicks)) <= 10,
             qPrintable(QString::number(offset)));
    QVERIFY(qAbs(results.value("linearFitSlope").toDouble() - 320) < 3);
    QVERIFY(results.value("linearFitRSquared").toDouble() >= 0.999);
    QVERIFY(m_log->contains("Filter sweep complete, refreshing hardware config to read new "
                            "filters from K60"));
    QVERIFY(m_log->contains("Filter Encoders: ["));
    // -1 until the mini-sweep, up to 10 during it, then up to 100 with the sweep.
    const int start = outcome.progress.indexOf(-1.0);
    QVERIFY(start >= 0);
    QVERIFY(outcome.progress.indexOf(10.0) > start + 1);
    for (int i = start + 1; i < outcome.progress.size() - 1; ++i)
        QVERIFY(outcome.progress.at(i) > outcome.progress.at(i - 1));
    QVERIFY(outcome.progress.at(outcome.progress.size() - 2) > 99);
}

void TstFilterWheelSweep::wrongWheelAssembly_data()
{
    QTest::addColumn<QString>("fitted");
    QTest::addColumn<QString>("prefix");
    QTest::newRow("scenario") << QString() << "Filter scan FAILED.\nAt 40kV 10uA, ICR@F3 ";
    QTest::newRow("ASSY-20772 fitted") << "ASSY-20772"
                                       << "Filter scan FAILED.\nICR@F7 ";
}

void TstFilterWheelSweep::wrongWheelAssembly()
{
    QFETCH(QString, fitted);
    QFETCH(QString, prefix);
    if (fitted.isEmpty())
        QVERIFY(SimScenarios::apply("wrong-wheel-assembly", FactoryTestEnv::get().instrument()));
    else
        FactoryTestEnv::get().instrument().amendHardware(
            [&](SimModelPreset &p) { p.wheelPartNumber = fitted; });
    const ScanOutcome outcome = runScan();
    QVERIFY(outcome.step.hasFailed());
    QVERIFY2(outcome.message().startsWith(prefix), qPrintable(outcome.message()));
    const QString suffix = fitted.isEmpty()
        ? "indicates you don't have a ASSY-20853 as indicated by your work order"
        : "w/ 40kV 10uA indicates you have an ASSY-20772 when your work order says you have a "
          "ASSY-20853";
    QVERIFY2(outcome.message().endsWith(suffix), qPrintable(outcome.message()));
    QCOMPARE(outcome.results().value("errorMsg").toString(), outcome.message());
    QCOMPARE(outcome.shutter, xrf_hal::ShutterClosed);
    QCOMPARE(outcome.configRefreshes, 0);
    // Refused before the sweep.
    QVERIFY(!outcome.results().contains("setEncoders"));
}

void TstFilterWheelSweep::slippedEncoderFailsTheOffsetCheck()
{
    const QVector<xrf_hal::FilterParams> before = controllerTable();
    QVERIFY(SimScenarios::apply("bad-encoder", FactoryTestEnv::get().instrument()));
    const ScanOutcome outcome = runScan();
    QVERIFY(outcome.step.hasFailed());
    QVERIFY2(outcome.message().startsWith("Filter scan FAILED.\nFitted encoder offset "),
             qPrintable(outcome.message()));
    QVERIFY(outcome.message().endsWith(" more than 40 ticks away from expected 250."));
    // The table is in the controller before the fit is checked.
    QVERIFY(controllerTable().at(1).encoder != before.at(1).encoder);
    QVERIFY(outcome.results().value("linearFitOffset").toDouble() > 290);
}

// The ASSY-20854 wheel, its default table and its work order, through the static scan.
void TstFilterWheelSweep::longDwellOnTheLowerHolesOfAssy20854()
{
    FactoryTestEnv::get().instrument().amendHardware(
        [](SimModelPreset &p) { p.wheelPartNumber = "ASSY-20854"; });
    QJsonArray positions;
    for (const xrf_hal::FilterParams &f :
         SimWheelAssembly::byPartNumber("ASSY-20854", 0).nominalTable())
        positions.append(QJsonObject{{"approxEncoder", f.encoder},
                                     {"materialAtomicNumber", f.materialAtomicNumber},
                                     {"thicknessInMicrons", f.thicknessInMicrons},
                                     {"diameterInMicrons", f.diameterInMicrons}});
    const QJsonObject hwParams{
        {"filter", QJsonObject{{"ASSY-20854", QJsonObject{{"positions", positions}}}}}};
    const QJsonObject workOrder{{"filterType", "ASSY-20854"}};
    QJsonObject params = defaultScanParams();
    params["dwellTimeInms"] = 2000; // 2 ms and 20 ms at time scale 0.001
    QJsonObject results;
    const bool passed = FactoryTestEnv::get().onFactoryThread([&] {
        return FilterWheelSetup::doFilterWheelSweep(xrf_hal::XrfEngine::instance(), &params,
                                                    &workOrder, &hwParams, &results,
                                                    worker()->filterWheelHardwareError);
    });
    QVERIFY2(passed, qPrintable(results.value("errorMsg").toString()));
    const QJsonArray encoders = results.value("setEncoders").toArray();
    const QJsonArray realTimes = results.value("realTime").toArray();
    // The shortest counts of each range: a count never ends early, but a busy machine can hold
    // one up for seconds of instrument time.
    double shortestBelow = 1e12, shortestAbove = 1e12;
    int belowCount = 0;
    for (int i = 0; i < encoders.size(); ++i) {
        const double realTime = realTimes.at(i).toDouble();
        if (encoders.at(i).toInt() <= 1499) {
            ++belowCount;
            shortestBelow = qMin(shortestBelow, realTime);
        } else {
            shortestAbove = qMin(shortestAbove, realTime);
        }
    }
    QCOMPARE(belowCount, (1500 - 100) / params.value("encoderStep").toInt());
    QVERIFY2(shortestBelow > 5 * shortestAbove,
             qPrintable(QString("%1 ms vs %2 ms").arg(shortestBelow).arg(shortestAbove)));
    QVERIFY(shortestBelow >= 10 * 2000 * 0.8);
    QVERIFY(shortestAbove >= 2000 * 0.8);
}

void TstFilterWheelSweep::everyModelsWheelPasses_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("file");
    QTest::newRow("MP") << "MP"
                        << "factory_setup_dataMP.json";
    QTest::newRow("HD") << "HD"
                        << "factory_setup_dataHD.json";
    QTest::newRow("Harrier") << "Harrier"
                             << "factory_setup_dataHarrier.json";
}

// The model's wheel with the model's own setup data and work order, through the static scan.
void TstFilterWheelSweep::everyModelsWheelPasses()
{
    QFETCH(QString, model);
    QFETCH(QString, file);
    const QString dir = QStringLiteral(XRF_DATA_DIR "/") + model + "/factoryData/";
    QJsonValue setupData, order;
    QVERIFY(XrfUtils::readJsonFile(dir + file, &setupData));
    QVERIFY(XrfUtils::readJsonFile(dir + "workOrderInfo.json", &order));
    const SimModelPreset preset = SimModelPreset::byModel(model);
    FactoryTestEnv::get().instrument().amendHardware([&](SimModelPreset &p) {
        p.wheelPartNumber = preset.wheelPartNumber;
        p.wheelUnitShiftTicks = preset.wheelUnitShiftTicks;
    });
    const QJsonObject hwParams = setupData.toObject().value("defaultHwParams").toObject();
    const QJsonObject workOrder = order.toObject().value("workOrder").toObject();
    QCOMPARE(workOrder.value("filterType").toString(), preset.wheelPartNumber);
    XrfHardwareSetupStepsList steps;
    steps.fromJsonObject(setupData.toObject()
                             .value("factorySetupInfo")
                             .toObject()
                             .value("hardwareSetup")
                             .toObject());
    QVERIFY(steps.getHardwareSetupStep(kFilterScan));
    QJsonObject params = steps.getHardwareSetupStep(kFilterScan)->setupParams();
    QJsonObject results;
    const bool passed = FactoryTestEnv::get().onFactoryThread([&] {
        return FilterWheelSetup::doFilterWheelSweep(xrf_hal::XrfEngine::instance(), &params,
                                                    &workOrder, &hwParams, &results,
                                                    worker()->filterWheelHardwareError);
    });
    QVERIFY2(passed, qPrintable(results.value("errorMsg").toString()));
    QVERIFY(qAbs(results.value("linearFitOffset").toDouble() - (250 + preset.wheelUnitShiftTicks))
            <= 12);
}

void TstFilterWheelSweep::darkRateBeforeTubeOn()
{
    QVERIFY(SimScenarios::apply("high-dark-rate", FactoryTestEnv::get().instrument()));
    const ScanOutcome outcome = runScan();
    QVERIFY(outcome.step.hasFailed());
    const QString prefix = "Filter scan FAILED checking dark rate before tube turn-on.\nDark rate ";
    QVERIFY2(outcome.message().startsWith(prefix), qPrintable(outcome.message()));
    QVERIFY(outcome.message().endsWith("cps exceeds threshold 200cps"));
    const double rate = outcome.message().mid(prefix.size()).section("cps", 0, 0).toDouble();
    QVERIFY2(rate > 300 && rate < 800, qPrintable(QString::number(rate)));
    QCOMPARE(outcome.shutter, xrf_hal::ShutterClosed);
}

void TstFilterWheelSweep::darkRangeAfterTheSweep_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("message");
    // Around the open position the rate is far above the threshold.
    QTest::newRow("open position")
        << 200 << 320 << "Filter scan failed.\nFor encoder range of 200 to 320, minICR ";
    // Beyond the sweep nothing is counted.
    QTest::newRow("outside the sweep")
        << 5000 << 6000
        << "Filter scan failed.\nFor encoder range of 5000 to 6000 ICR has never been above zero.";
}

void TstFilterWheelSweep::darkRangeAfterTheSweep()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, message);
    QJsonObject params = defaultScanParams();
    params["darkRateCheckRangeEncoderMin"] = from;
    params["darkRateCheckRangeEncoderMax"] = to;
    const ScanOutcome outcome = runScan(params);
    QVERIFY(outcome.step.hasFailed());
    QVERIFY2(outcome.message().startsWith(message), qPrintable(outcome.message()));
    if (from == 200)
        QVERIFY(outcome.message().endsWith(" is no less than darkRateMaxAllowable:200."));
    QVERIFY(!outcome.results().contains("filterScanResults"));
}

void TstFilterWheelSweep::engineFailures_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("message");
    QTest::newRow("motor status")
        << "isFilterWheelMotorPresent"
        << "Filter scan error.\nFailed to get filter wheel \nmotor status "
           "from K60,  -3";
    QTest::newRow("max position")
        << "getMaxFilterPosition"
        << "Filter scan FAILED.\nFailed to get max filter position from K60,  -3";
    QTest::newRow("scan tolerance") << "setFilterScanTolerance"
                                    << "Failed to set filter tolerance in K60 NV, -3";
    QTest::newRow("dark rate MCA start")
        << "startMCA"
        << "Filter scan FAILED checking dark rate before tube turn-on 1.\nFailed to start MCA, -3";
    QTest::newRow("wheel check voltage")
        << "setTubeVoltage"
        << "Filter scan FAILED.\nFailed to set tube voltage for filter wheel check, -3";
    QTest::newRow("wheel check enable")
        << "enableTube"
        << "Filter scan FAILED.\nFailed to enable tube for wheel check, -3";
    QTest::newRow("F7 move")
        << "moveFilterWheel"
        << "Filter scan FAILED.\nFailed to get ICR@F7 for wheel check, Filter scan FAILED.\nFailed "
           "to move filter wheel, -3";
    QTest::newRow("tolerance read")
        << "getFilterTolerance"
        << "Filter scan FAILED.\nFailed to get ICR@F7 for wheel check, Filter scan Failed.\nFailed "
           "to read filter tolerance parameter value from K60, error code-3";
}

void TstFilterWheelSweep::engineFailures()
{
    QFETCH(QString, operation);
    QFETCH(QString, message);
    faults().failOperation(operation, -3, SimFaults::kAlways);
    const ScanOutcome outcome = runScan();
    QVERIFY(outcome.step.hasFailed());
    QCOMPARE(outcome.message(), message);
    QCOMPARE(outcome.results().value("errorMsg").toString(), message);
    QVERIFY(m_log->contains(message, QtWarningMsg));
}

void TstFilterWheelSweep::encoderLimitsFallBackToTheSetupFile()
{
    faults().failOperation("getFilterEncoderMax", -4, SimFaults::kAlways);
    faults().failOperation("getFilterEncoderMin", -4, SimFaults::kAlways);
    QJsonObject params = defaultScanParams();
    params["encoderEnd"] = 3600;
    params["encoderStart"] = 120;
    // Stop right after the limits: no motor-independent failure is needed, the dark-rate MCA
    // start fails.
    faults().failOperation("startMCA", -3, SimFaults::kAlways);
    const ScanOutcome outcome = runScan(params);
    QCOMPARE(outcome.results().value("encoderMax").toInt(), 3600);
    QCOMPARE(outcome.results().value("encoderMin").toInt(), 120);
    QVERIFY(m_log->contains("Failed to read filter encoder max from K60, Err:-4. Using value:3600 "
                            "from setup file.",
                            QtWarningMsg));
    QVERIFY(
        m_log->contains("Filter sweep: Failed to read filter encoder min from K60, Err:-4.Using "
                        "value 120 from setup file",
                        QtWarningMsg));
}

void TstFilterWheelSweep::failedTableWriteNamesTheLowestEncoder()
{
    faults().failOperation("setFilterData", -5, SimFaults::kAlways);
    const ScanOutcome outcome = runScan();
    QVERIFY(outcome.step.hasFailed());
    const int first = outcome.results()
                          .value("filterScanResults")
                          .toArray()
                          .at(0)
                          .toObject()
                          .value("encoder")
                          .toInt();
    QCOMPARE(outcome.message(),
             QString("Filter scan FAILED.\nFailed to write encoder values to "
                     "K60, -5\n\nmin enc %1 @F0, min safe enc 100\n")
                 .arg(first));
}

// A hardware error signalled while the scan waits is seen at its next checkpoint.
void TstFilterWheelSweep::hardwareErrorDuringTheScan()
{
    const ScanOutcome outcome = runScan(defaultScanParams(), [this] {
        QTimer::singleShot(0, worker(), [] {
            emit XrfHardwareManager::instance()->hardwareError(XrfErrorInfo(7, "tube arc"));
        });
    });
    QVERIFY(outcome.step.hasFailed());
    QCOMPARE(outcome.message(), QString("Filter scan Failed, err:tube arc, code:7"));
    QCOMPARE(outcome.shutter, xrf_hal::ShutterClosed);
}

void TstFilterWheelSweep::abortEndsTheScan()
{
    const ScanOutcome outcome = runScan(defaultScanParams(), [this] {
        QTimer::singleShot(0, worker(), [this] { worker()->userAbort = true; });
    });
    QVERIFY(outcome.step.hasFailed());
    QCOMPARE(outcome.message(), QString("Filter scan aborted by user"));
    QVERIFY(m_log->contains("filter sweep detected user abort"));
}

void TstFilterWheelSweep::badParameters()
{
    QJsonObject params = defaultScanParams();
    params["encoderStep"] = 0;
    ScanOutcome outcome = runScan(params);
    QCOMPARE(outcome.message(), QString("Filter scan failed. encoderStep 0 must be above 0"));
    params["encoderStep"] = "20";
    outcome = runScan(params);
    QVERIFY2(outcome.message().startsWith("Filter scan failed. Bad filter scan parameters, "
                                          "error:JSON key 'encoderStep'"),
             qPrintable(outcome.message()));
    QCOMPARE(outcome.shutter, xrf_hal::ShutterClosed);
}

QTEST_GUILESS_MAIN(TstFilterWheelSweep)
#include "tst_filterwheelsweep.moc"
