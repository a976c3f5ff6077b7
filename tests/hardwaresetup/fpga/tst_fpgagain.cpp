// FPGA gain setup on the simulated default instrument (50 kV tube, SDD detector): exposures on
// the stainless steel target, the peak search, the one gain correction and its verification, the
// stored energy scale, the count-rate ceiling and the failure messages.

#include "fpgatest.h"
#include "logcapture.h"
#include "simscenarios.h"

using namespace fpgatest;

namespace {

constexpr int kChannels = 2048;

QJsonObject withParam(QJsonObject params, const QString &key, const QJsonValue &value)
{
    params.insert(key, value);
    return params;
}

QJsonObject iterationSpectrum(const QJsonObject &iteration)
{
    return iteration.value("spectrum").toObject();
}

} // namespace

class TstFpgaGain : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void correctsOnceAndVerifiesAt40kV();
    void withinToleranceKeepsTheGain();
    void correctionThatDoesNotTakeFailsAfterTwoIterations();
    void countRateCeilingRestartsAtLowerCurrent();
    void noCeilingMeansNoRestart();
    void currentFromPowerIsLimitedByMaxCurrent();
    void defaultPeakEnergiesWithoutSetupData();
    void handMadeSpectrumGivesExactScale();
    void peak1TooHighFailsBeforePeak2Search();
    void peak2MissingFails();
    void feMoRatioAndOffsetLimits_data();
    void feMoRatioAndOffsetLimits();
    void countRateLimits_data();
    void countRateLimits();
    void exposureFaultsEndTheSubStepOnce();
    void engineFailuresGiveTheirMessages_data();
    void engineFailuresGiveTheirMessages();
    void missingFilterPositionFails();
    void newSetupDataWritesTheDefaultRegisters();

private:
    std::unique_ptr<LogCapture> m_log;
    QJsonObject m_params;
};

void TstFpgaGain::initTestCase()
{
    m_log.reset(new LogCapture);
    FactoryTestEnv::start();
    QVERIFY(seedModelData("default"));
    reloadSetupData();
    waitForCooledDetector();
    m_params = modelGainParams();
    QVERIFY(!m_params.isEmpty());
}

// The last completed run still uploads its results: let that finish before the log capture goes.
void TstFpgaGain::cleanupTestCase()
{
    FactoryTestEnv::get().settleBeforeExit();
}

void TstFpgaGain::cleanup()
{
    faults().clear();
    reloadSetupData();
    m_log->clear();
}

void TstFpgaGain::correctsOnceAndVerifiesAt40kV()
{
    const GainSetupRun run = runGainSetup(m_params);
    QVERIFY2(run.step.isDone() && !run.step.hasFailed(), qPrintable(run.step.statusMsg()));
    QCOMPARE(run.completions, 1);
    QVERIFY(run.step.statusMsg().startsWith("Succeeded: old gain "));

    // The 50 kV tube runs at 40 kV and 4 W / 40 kV = 100 uA, and the 50 kV target applies.
    QVERIFY(m_log->contains("Tube max voltage: 50kV is greater than max voltage allowed for Gain "
                            "setup 40kV, adjusted gain setup exposure tube voltage to: 40kV"));
    const QJsonArray iterations = run.iterations();
    QCOMPARE(iterations.size(), 2);
    const QJsonObject first = iterations.at(0).toObject();
    const QJsonObject second = iterations.at(1).toObject();
    QCOMPARE(iterationSpectrum(first).value("tubeVoltageKv").toDouble(), 40.0);
    QCOMPARE(iterationSpectrum(first).value("tubeCurrentUa").toDouble(), 100.0);
    QCOMPARE(first.value("index").toInt(), 0);
    QCOMPARE(second.value("index").toInt(), 1);

    // The unit's gain misses 20 eV/ch by a few percent; one correction brings it within 0.2.
    const double tolerance = m_params.value("evPerBin_tolerance").toDouble();
    const double target = m_params.value("target50kV_evPerBin").toDouble();
    QVERIFY(qAbs(first.value("oldBinSize").toDouble() - target) > tolerance);
    QVERIFY(qAbs(second.value("oldBinSize").toDouble() - target) <= tolerance);
    QVERIFY(first.contains("afeTemperature"));
    QVERIFY(!second.contains("afeTemperature"));
    QVERIFY(first.value("newGain").toDouble() != first.value("oldGain").toDouble());
    QCOMPARE(second.value("oldGain").toDouble(), first.value("newGain").toDouble());
    QCOMPARE(second.value("newGain").toDouble(), second.value("oldGain").toDouble());
    // 1 us peaking time: the register holds the normalised gain.
    QCOMPARE(double(registerValue(xrf_hal::RegFpgaGain)), first.value("newGain").toDouble());

    const QJsonObject fpga = universalSetting("hardware.fpga");
    QStringList keys = fpga.keys();
    keys.sort();
    QCOMPARE(keys, (QStringList{"gain", "offset", "peak1", "peak2", "slope"}));
    QCOMPARE(fpga.value("peak1").toDouble(), second.value("peak1").toDouble());
    QCOMPARE(fpga.value("slope").toDouble(), second.value("oldBinSize").toDouble() / 1000);
    QCOMPARE(fpga.value("offset").toDouble(), second.value("oldOffset").toDouble() / 1000);
    QCOMPARE(fpga.value("gain").toDouble(), second.value("oldGain").toDouble());
    QVERIFY(qAbs(fpga.value("offset").toDouble()) < m_params.value("offsetTolerance").toDouble());
    // A cooled SDD resolves Fe K-alpha to well under 200 eV.
    const double resolution =
        universalSetting("hardware.calCheck.calculation").value("resolution").toDouble();
    QVERIFY2(resolution > 100 && resolution < 200, qPrintable(QString::number(resolution)));

    // Auto-cal took its reference at the new scale and tracks from start-up.
    QCOMPARE(registerValue(xrf_hal::RegFpgaAutoCalEnabled), 1u);
    QCOMPARE(registerValue(xrf_hal::RegFpgaAutoCalEnableAtStartup), 1u);
    QVERIFY(m_log->contains("FPGA auto-cal calibrated and enabled."));
}

void TstFpgaGain::withinToleranceKeepsTheGain()
{
    const int gainWrites = faults().operationCalls("setFpgaGain");
    const int exposures = faults().operationCalls("startExposure");
    const GainSetupRun run = runGainSetup(withParam(m_params, "evPerBin_tolerance", 2.0));
    QVERIFY2(!run.step.hasFailed(), qPrintable(run.step.statusMsg()));
    QCOMPARE(run.iterations().size(), 1);
    const QJsonObject only = run.iterations().at(0).toObject();
    QCOMPARE(only.value("newGain").toDouble(), only.value("oldGain").toDouble());
    QVERIFY(!only.contains("afeTemperature"));
    // Only the defaults wrote the gain, and one exposure was enough.
    QCOMPARE(faults().operationCalls("setFpgaGain"), gainWrites + 1);
    QCOMPARE(faults().operationCalls("startExposure"), exposures + 1);
    const QString gain = QString::number(only.value("oldGain").toDouble());
    QVERIFY(run.step.statusMsg().startsWith(
        QStringLiteral("Succeeded: old gain %1, new gain %1, slope ").arg(gain)));
}

void TstFpgaGain::correctionThatDoesNotTakeFailsAfterTwoIterations()
{
    // The FPGA keeps a gain well off target: its gain writes never latch.
    QCOMPARE(engine()->setFpgaGain(600000), 0);
    QVERIFY(SimScenarios::apply("gain-will-not-converge", FactoryTestEnv::get().instrument()));
    const GainSetupRun run = runGainSetup(m_params);
    QVERIFY(run.step.hasFailed());
    QCOMPARE(run.completions, 1);
    const QString message = run.step.statusMsg();
    QVERIFY2(message.startsWith("FPGA gain setup failed.\nFinal bin size error "),
             qPrintable(message));
    QVERIFY2(message.endsWith("eV/bin is greater than the 0.2eV/bin threshold after 2 iterations"),
             qPrintable(message));
    QCOMPARE(run.iterations().size(), 2);
    // Nothing of a failed setup reaches the settings; auto-cal stays off.
    QCOMPARE(registerValue(xrf_hal::RegFpgaAutoCalEnabled), 0u);
}

void TstFpgaGain::countRateCeilingRestartsAtLowerCurrent()
{
    QVERIFY(SimScenarios::apply("count-rate-ceiling", FactoryTestEnv::get().instrument()));
    const GainSetupRun run = runGainSetup(m_params);
    QVERIFY2(!run.step.hasFailed(), qPrintable(run.step.statusMsg()));
    QVERIFY(m_log->contains("exceeded desired ceiling"));
    QVERIFY(m_log->contains("Restarting FPGA Gain setup exposure with new current: "));
    // The restart is no iteration: one measurement and one verification.
    QCOMPARE(run.iterations().size(), 2);
    const QJsonObject spectrum = iterationSpectrum(run.iterations().at(0).toObject());
    QVERIFY(spectrum.value("tubeCurrentUa").toDouble() < 100);
    QVERIFY(spectrum.value("inputCountRate").toDouble()
            <= m_params.value("maxGainSetupICR").toDouble());
}

void TstFpgaGain::noCeilingMeansNoRestart()
{
    QJsonObject params = m_params;
    params.remove("maxGainSetupICR");
    const GainSetupRun run = runGainSetup(params);
    QVERIFY2(!run.step.hasFailed(), qPrintable(run.step.statusMsg()));
    QVERIFY(!m_log->contains("Restarting FPGA Gain setup exposure"));
}

void TstFpgaGain::currentFromPowerIsLimitedByMaxCurrent()
{
    faults().overrideSensor("getTubeMaxCurrentLimit", 60);
    GainSetupRun run = runGainSetup(withParam(m_params, "evPerBin_tolerance", 2.0));
    QVERIFY2(!run.step.hasFailed(), qPrintable(run.step.statusMsg()));
    QCOMPARE(iterationSpectrum(run.iterations().at(0).toObject()).value("tubeCurrentUa").toDouble(),
             60.0);

    // 3 W at 40 kV is 75 uA, truncated like any current.
    faults().overrideSensor("getTubeMaxCurrentLimit", 200);
    faults().overrideSensor("getTubeMaxPower", 3);
    run = runGainSetup(withParam(m_params, "evPerBin_tolerance", 2.0));
    QCOMPARE(iterationSpectrum(run.iterations().at(0).toObject()).value("tubeCurrentUa").toDouble(),
             75.0);
}

void TstFpgaGain::defaultPeakEnergiesWithoutSetupData()
{
    FactoryTestEnv::get().onFactoryThread(
        [] { worker()->factorySetupInfo.remove("peakEnergies"); });
    const GainSetupRun run = runGainSetup(m_params);
    QVERIFY2(!run.step.hasFailed(), qPrintable(run.step.statusMsg()));
    QVERIFY(m_log->contains("Could not load energies from peakEnergies key in setup data!",
                            QtWarningMsg));
    const QJsonObject last = run.iterations().last().toObject();
    const double expected =
        (17441 - 6399) / (last.value("peak2").toDouble() - last.value("peak1").toDouble());
    QCOMPARE(last.value("oldBinSize").toDouble(), expected);
}

void TstFpgaGain::handMadeSpectrumGivesExactScale()
{
    // Fe at channel 320 and Mo at 874: (17480 - 6400) / 554 = 20 eV/ch, offset 0.
    faults().overrideSpectrum(handMadeSpectrum(kChannels, {{320, 1000}, {874, 100}}));
    const GainSetupRun run = runGainSetup(m_params);
    QVERIFY2(!run.step.hasFailed(), qPrintable(run.step.statusMsg()));
    QCOMPARE(run.iterations().size(), 1);
    const QJsonObject fpga = universalSetting("hardware.fpga");
    QVERIFY(qAbs(fpga.value("peak1").toDouble() - 320) < 0.01);
    QVERIFY(qAbs(fpga.value("peak2").toDouble() - 874) < 0.01);
    QVERIFY(qAbs(fpga.value("slope").toDouble() - 0.020) < 1e-6);
    QVERIFY(qAbs(fpga.value("offset").toDouble()) < 1e-3);
    // (1000 + 2) / (100 + 2) counts, as an integer quotient.
    QVERIFY(m_log->contains("ss316 Fe/Mo = 9 passes, is less than maximum 60 requirement"));
}

void TstFpgaGain::peak1TooHighFailsBeforePeak2Search()
{
    // 0.3485 x 2048 = 713.7: a peak at 720 leaves no room for Mo.
    faults().overrideSpectrum(handMadeSpectrum(kChannels, {{720, 1000}, {1900, 50}}));
    const GainSetupRun run = runGainSetup(m_params);
    QCOMPARE(run.step.statusMsg(),
             QStringLiteral("FPGA gain setup failed\nFe peak @ch720 implies Mo peak close to "
                            "falling/has fallen out of spectrum"));
    QVERIFY(!m_log->contains("Searching upwards for peak 2"));
    QCOMPARE(run.iterations().size(), 1);
    QVERIFY(run.iterations().at(0).toObject().contains("peak1"));
    QVERIFY(!run.iterations().at(0).toObject().contains("peak2"));
}

void TstFpgaGain::peak2MissingFails()
{
    faults().overrideSpectrum(handMadeSpectrum(kChannels, {{320, 1000}}));
    const GainSetupRun run = runGainSetup(m_params);
    QVERIFY2(run.step.statusMsg().startsWith("FPGA gain setup failed--peak 2 value unreasonable\n"
                                             "peak1@ch320, peak2@ch"),
             qPrintable(run.step.statusMsg()));
    QCOMPARE(run.iterations().size(), 1);
}

void TstFpgaGain::feMoRatioAndOffsetLimits_data()
{
    QTest::addColumn<double>("peak1");
    QTest::addColumn<double>("peak2");
    QTest::addColumn<double>("moHeight");
    QTest::addColumn<QString>("message");
    QTest::newRow("Fe/Mo above maximum")
        << 320.0 << 874.0 << 10.0
        << "FPGA gain setup failed.\nFe/Mo = 83 greater than maximum expected 60";
    // 20 eV/ch with the Fe peak 10 channels high: offset -200 eV.
    QTest::newRow("offset above maximum")
        << 330.0 << 884.0 << 100.0
        << "FPGA gain setup failed.\nEOffset magnitude -0.2eV greater than maximum allowed 0.1eV "
           "after 2 iterations";
}

void TstFpgaGain::feMoRatioAndOffsetLimits()
{
    QFETCH(double, peak1);
    QFETCH(double, peak2);
    QFETCH(double, moHeight);
    QFETCH(QString, message);
    faults().overrideSpectrum(handMadeSpectrum(kChannels, {{peak1, 1000}, {peak2, moHeight}}));
    const GainSetupRun run = runGainSetup(m_params);
    QCOMPARE(run.step.statusMsg(), message);
    QCOMPARE(run.completions, 1);
}

void TstFpgaGain::countRateLimits_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("messageStart");
    QTest::newRow("below minimum") << "minGainSetupICR" << 5e6 << "FPGA gain setup failed\nICR = ";
    QTest::newRow("dead time") << "icrToOcrRatioMax" << 1.0 << "FPGA gain setup failed\nICR/OCR = ";
}

void TstFpgaGain::countRateLimits()
{
    QFETCH(QString, key);
    QFETCH(double, value);
    QFETCH(QString, messageStart);
    QJsonObject params = withParam(m_params, key, value);
    params.insert("maxGainSetupICR", 1e7);
    const GainSetupRun run = runGainSetup(params);
    QVERIFY(run.step.hasFailed());
    QVERIFY2(run.step.statusMsg().startsWith(messageStart), qPrintable(run.step.statusMsg()));
    QVERIFY(run.step.statusMsg().endsWith(key == "minGainSetupICR" ? " below minimum expected 5e+06"
                                                                   : " is greater than maximum "
                                                                     "allowed 1"));
}

void TstFpgaGain::exposureFaultsEndTheSubStepOnce()
{
    faults().endExposureAfter(2, XrfHardwareManager::EndInterlockOpened, false, 1);
    GainSetupRun run = runGainSetup(m_params);
    QCOMPARE(run.step.statusMsg(),
             "Exposure fault, error: "
                 + XrfHardwareManager::exposureEndConditionToString(
                     XrfHardwareManager::EndInterlockOpened));
    QCOMPARE(run.completions, 1);

    // A hardware error ends the exposure as stopped; the manager's own stop ends nothing more.
    faults().raiseHardwareErrorAfter(2, XrfErrorInfo(0x31, "Tube arc", "arc counter 1"), true, 1);
    run = runGainSetup(m_params);
    QCOMPARE(run.step.statusMsg(),
             "Exposure fault, error: "
                 + XrfHardwareManager::exposureEndConditionToString(
                     XrfHardwareManager::EndStoppedByUser));
    QCOMPARE(run.completions, 1);
    QVERIFY(m_log->contains("Fpga Gain setup error:arc counter 1", QtWarningMsg));
}

void TstFpgaGain::engineFailuresGiveTheirMessages_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("message");
    QTest::newRow("disable auto-cal") << "disableAutoCal"
                                      << "Failed to disable auto cal, error code:-7";
    QTest::newRow("tube voltage") << "getTubeMaxVoltageLimit"
                                  << "FPGA gain setup failed.\nFailed to read tube max voltage\n"
                                     "limit from K60, -7";
    QTest::newRow("tube current") << "getTubeMaxCurrentLimit"
                                  << "FPGA gain setup failed.\nFailed to read tube max current\n"
                                     "limit from K60, -7";
    QTest::newRow("tube power") << "getTubeMaxPower"
                                << "FPGA gain setup failed.\nFailed to read tube max power\n"
                                   "limit from K60, -7";
    QTest::newRow("defaults") << "setFpgaThreshold"
                              << "Failed to set fpga threshold, err=-7";
    QTest::newRow("peaking time") << "getFpgaBeforePulseDelay"
                                  << "Failed to read before Pulse Delay from FPGA";
    QTest::newRow("afe temperature") << "getAnalogFrontEndTemperature"
                                     << "FPGA gain setup failed. Failed to read AFE temperature "
                                        "from K60";
    QTest::newRow("auto-cal") << "calibrateFpgaAutoCal"
                              << "Command to start auto-cal calibration failed, error code: -7";
    QTest::newRow("exposure") << "startExposure"
                              << "FPGA gain setup failed.\nFailed to start gain setup exposure, "
                                 "-7";
}

void TstFpgaGain::engineFailuresGiveTheirMessages()
{
    QFETCH(QString, operation);
    QFETCH(QString, message);
    faults().failOperation(operation, -7, SimFaults::kAlways);
    const GainSetupRun run = runGainSetup(m_params);
    QVERIFY(run.step.hasFailed());
    QCOMPARE(run.step.statusMsg(), message);
    QCOMPARE(run.completions, 1);
}

void TstFpgaGain::missingFilterPositionFails()
{
    const GainSetupRun run =
        runGainSetup(withParam(m_params, "filterPositions", QJsonObject{{"ASSY-OTHER", 1}}));
    QCOMPARE(run.step.statusMsg(),
             QStringLiteral("FPGA gain setup failed.\nNo filter position for filter type "
                            "'ASSY-20853' in the gain setup parameters"));
}

namespace {
int stepsCompleted()
{
    QJsonObject factory;
    XrfSettingsManager::instance()->getUniversalSetting("factory.settings", &factory);
    return factory.value("factoryStepsCompleted").toInt();
}
} // namespace

// Saving new setup data restarts the factory sequence only once the detector's default
// registers are in the controller.
void TstFpgaGain::newSetupDataWritesTheDefaultRegisters()
{
    auto &env = FactoryTestEnv::get();
    QJsonValue data;
    QVERIFY(XrfUtils::readJsonFile(
        QStringLiteral(XRF_DATA_DIR "/default/factoryData/factory_setup_data.json"), &data));
    QJsonObject setupData = data.toObject();
    QJsonObject hwParams = setupData.value("defaultHwParams").toObject();
    QJsonObject fpga = hwParams.value("fpga").toObject();
    QJsonObject sdd = fpga.value("XDET-25SDD").toObject();
    sdd["fpgaScale1us"] = 480000;
    fpga["XDET-25SDD"] = sdd;
    hwParams["fpga"] = fpga;
    setupData["defaultHwParams"] = hwParams;
    QCOMPARE(engine()->setFpgaGain(1), 0);
    QJsonObject factory{{"factoryStepsCompleted", 5}};
    XrfSettingsManager::instance()->setUniversalSetting("factory.settings", &factory);
    env.onFactoryThread([&] { worker()->doSaveFactorySetupData(setupData); });
    QCOMPARE(registerValue(xrf_hal::RegFpgaGain), 480000u);
    QCOMPARE(stepsCompleted(), 1);

    // Without the detector's parameters nothing is invalidated.
    fpga.remove("XDET-25SDD");
    hwParams["fpga"] = fpga;
    setupData["defaultHwParams"] = hwParams;
    m_log->clear();
    XrfSettingsManager::instance()->setUniversalSetting("factory.settings", &factory);
    env.onFactoryThread([&] { worker()->doSaveFactorySetupData(setupData); });
    QVERIFY(m_log->contains("Failed to write default FPGA params, err:", QtWarningMsg));
    QCOMPARE(stepsCompleted(), 5);
    QVERIFY(seedModelData("default"));
}

QTEST_GUILESS_MAIN(TstFpgaGain)
#include "tst_fpgagain.moc"
