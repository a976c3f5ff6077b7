// FPGA defaults, auto-cal and the PIN detector's correction registers on the simulated LT
// instrument (PIN detector, 40 kV tube), and its gain setup.

#include "fpgatest.h"
#include "logcapture.h"

#include <cstring>

using namespace fpgatest;

namespace {

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

template<typename Work>
auto onFactory(Work work)
{
    return FactoryTestEnv::get().onFactoryThread(work);
}

float floatRegister(xrf_hal::RegisterAddress address)
{
    const quint32 bits = registerValue(address);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

quint32 floatBits(float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

void setFirmware(const QString &version)
{
    onFactory([&] { worker()->hardwareConfig.setK60FirmwareVersion(version); });
}

QString saveDefaults()
{
    return onFactory([] {
        QString error;
        worker()->saveDefaultFpgaParams(&error);
        return error;
    });
}

QString enableAutoCal()
{
    return onFactory([] {
        QString error;
        return worker()->enableFpgaAutoCal(&error) ? QStringLiteral("ok") : error;
    });
}

// The default writes of the PIN detector, in order, with their failure texts.
const QVector<QPair<QString, QString>> &pinDefaultWrites()
{
    static const QVector<QPair<QString, QString>> writes = {
        {"setFpgaInputControl", "Failed to set fpga input control, err=%1"},
        {"setFpgaPulseHeightMin", "Failed to set fpga pulseHeightMin, err=%1"},
        {"setFpgaPulseHeightMax", "Failed to set fpga pulseHeightMax, err=%1"},
        {"setFpgaResetThreshold", "Failed to set fpga resetThreshold, err=%1"},
        {"setFpgaTotalPulseTime", "Failed to set fpga totalPulseTime, err=%1"},
        {"setFpgaGapTime", "Failed to set fpga gapTime, err=%1"},
        {"setFpgaAdcMin", "Failed to set fpga adcMin, err=%1"},
        {"setFpgaAdcMax", "Failed to set fpga adcMax, err=%1"},
        {"setFpgaAfterPulseResetThreshold", "Failed to set fpga afterPulseResetThreshold, err=%1"},
        {"setFpgaPileUpResetThreshold", "Failed to set fpga pileUpResetThreshold, err=%1"},
        {"setFpgaAutoCalSlopeCancellation",
         "Failed to set FpgaAutocalSlopeCancellation register, err=%1"},
        {"setFpgaAutoCalLeakageRampFilter",
         "Failed to set FpgaAutoCalLeakageRampFilter register, err=%1"},
        {"setFpgaAutoCalSlopeThreshold",
         "Failed to set FpgaAutoCalSlopeThreshold register, err=%1"},
        {"setFpgaSlopeCancellation", "Failed to set FpgaSlopeCancellation register, err=%1"},
        {"setFpgaLeakageRampFilter", "Failed to set FpgaLeakageRampFilter register, err=%1"},
        {"setFpgaSlopeThreshold", "Failed to set FpgaSlopeThreshold register, err=%1"},
        {"setFpgaPeakingTime", "Failed to set fpga peaking time, err=%1"},
        {"setFpgaSyncDelay", "Failed to set fpga sync delay, err=%1"},
        {"setFpgaThreshold", "Failed to set fpga threshold, err=%1"},
        {"setFpgaMaxFastPulseWidth", "Failed to set fpga max fast pulse width, err=%1"},
        {"setFpgaPulseDelay", "Failed to set fpga pulse delay, err=%1"},
        {"setFpgaResetWidth", "Failed to set fpga reset width, err=%1"},
        {"setFpgaGain", "Failed to set FPGa gain, err=%1"},
        {"saveToNv", "Failed to write FPGA settings to NV, err=%1"},
    };
    return writes;
}

} // namespace

class TstFpgaRegisters : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void gainSetupPassesOnPinDetector();
    void oldFirmwareCannotClearGainCorrection();
    void defaultsStopAtFirstFailure_data();
    void defaultsStopAtFirstFailure();
    void defaultsWriteThePinRegisters();
    void sddDefaultsUseBeforeAndAfterPulseDelays();
    void pinBlockNeedsFirmware170();
    void defaultsNeedDetectorTypeAndParams();
    void autoCalWritesCalibratesAndEnables();
    void autoCalFailures_data();
    void autoCalFailures();
    void gainCorrectionRegisters();
    void gainCorrectionCache();
    void gainCorrectionReappliedFromSettings();
    void temperatureCorrection();
    void temperatureCorrectionFailures();

private:
    std::unique_ptr<LogCapture> m_log;
};

void TstFpgaRegisters::initTestCase()
{
    m_log.reset(new LogCapture);
    FactoryTestEnv::Options options;
    options.model = QStringLiteral("LT");
    FactoryTestEnv::start(options);
    QVERIFY(seedModelData("LT"));
    waitForCooledDetector();
    reloadSetupData();
    QVERIFY(onFactory([] { return worker()->isPinDetector(); }));
}

// The last completed run still uploads its results: let that finish before the log capture goes.
void TstFpgaRegisters::cleanupTestCase()
{
    FactoryTestEnv::get().settleBeforeExit();
}

void TstFpgaRegisters::cleanup()
{
    faults().clear();
    reloadSetupData();
    m_log->clear();
}

void TstFpgaRegisters::gainSetupPassesOnPinDetector()
{
    QCOMPARE(engine()->setAutoCalGainCorrectionOffset(1.5f), 0);
    const GainSetupRun run = runGainSetup(modelGainParams());
    QVERIFY2(!run.step.hasFailed(), qPrintable(run.step.statusMsg()));
    QCOMPARE(run.iterations().size(), 2);
    // The earlier gain correction no longer applies to the new gain.
    QCOMPARE(floatRegister(xrf_hal::RegAutoCalGainCorrectionOffset), 0.0f);
    // 4 us peaking time: the register holds a quarter of the normalised gain.
    QCOMPARE(registerValue(xrf_hal::RegFpgaPeakingTime), 256u);
    const double newGain = run.iterations().at(0).toObject().value("newGain").toDouble();
    QCOMPARE(double(registerValue(xrf_hal::RegFpgaGain)), std::trunc(newGain * 64 / 256));
    QCOMPARE(registerValue(xrf_hal::RegFpgaAutoCalPeakingTime), 256u);
    QCOMPARE(registerValue(xrf_hal::RegFpgaAutoCalEnabled), 1u);
    // The 40 kV tube needs no cap: 2 W at 40 kV is 50 uA.
    QVERIFY(!m_log->contains("Tube max voltage:"));
    QCOMPARE(run.iterations()
                 .at(0)
                 .toObject()
                 .value("spectrum")
                 .toObject()
                 .value("tubeCurrentUa")
                 .toDouble(),
             50.0);
}

void TstFpgaRegisters::oldFirmwareCannotClearGainCorrection()
{
    setFirmware("1.7.2");
    const int gainWrites = faults().operationCalls("setFpgaGain");
    const int correctionWrites = faults().operationCalls("setAutoCalGainCorrectionOffset");
    const GainSetupRun run = runGainSetup(modelGainParams());
    QCOMPARE(run.step.statusMsg(),
             QStringLiteral("Failed to clear gain slope and offset correction registers."));
    QVERIFY(m_log->contains("Failed to set Offset, slope correction registers, K60 firmware "
                            "version must be >= 1.7.3.",
                            QtWarningMsg));
    QCOMPARE(faults().operationCalls("setFpgaGain"), gainWrites);
    QCOMPARE(faults().operationCalls("setAutoCalGainCorrectionOffset"), correctionWrites);
}

void TstFpgaRegisters::defaultsStopAtFirstFailure_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < pinDefaultWrites().size(); ++i)
        QTest::newRow(qPrintable(pinDefaultWrites().at(i).first)) << i;
}

void TstFpgaRegisters::defaultsStopAtFirstFailure()
{
    QFETCH(int, index);
    const auto &writes = pinDefaultWrites();
    const QString failing = writes.at(index).first;
    const QString next = index + 1 < writes.size() ? writes.at(index + 1).first : QString();
    const int nextCalls = next.isEmpty() ? 0 : faults().operationCalls(next);
    const int previousCalls = index > 0 ? faults().operationCalls(writes.at(index - 1).first) : 0;
    faults().failOperation(failing, -9);
    QCOMPARE(saveDefaults(), writes.at(index).second.arg(-9));
    QVERIFY(m_log->contains(writes.at(index).second.arg(-9), QtWarningMsg));
    if (index > 0)
        QCOMPARE(faults().operationCalls(writes.at(index - 1).first), previousCalls + 1);
    if (!next.isEmpty())
        QCOMPARE(faults().operationCalls(next), nextCalls);
}

void TstFpgaRegisters::defaultsWriteThePinRegisters()
{
    const int nvSaves = faults().operationCalls("saveToNv");
    QCOMPARE(saveDefaults(), QString());
    QCOMPARE(faults().operationCalls("saveToNv"), nvSaves + 1);
    QCOMPARE(registerValue(xrf_hal::RegFpgaInputControl), 3u);
    QCOMPARE(registerValue(xrf_hal::RegFpgaPulseHeightMin), 40u);
    QCOMPARE(registerValue(xrf_hal::RegFpgaLeakageRampFilter), 4096u);
    QCOMPARE(registerValue(xrf_hal::RegFpgaPeakingTime), 256u);
    // The PIN sync delay is the offset alone.
    QCOMPARE(registerValue(xrf_hal::RegFpgaSyncDelay), 40u);
    QCOMPARE(registerValue(xrf_hal::RegFpgaResetWidth), 64u);
    QCOMPARE(registerValue(xrf_hal::RegFpgaGain), 125000u);
    QVERIFY(m_log->contains("Writing default FPGA parameters for detector type 'XDET-20430' to k60",
                            QtInfoMsg));
}

void TstFpgaRegisters::sddDefaultsUseBeforeAndAfterPulseDelays()
{
    const quint32 pinPeaking = registerValue(xrf_hal::RegFpgaPeakingTime);
    const int pinWrites = faults().operationCalls("setFpgaPulseHeightMin");
    onFactory([] {
        worker()->hardwareConfig.setDetectorModel("XDET-25SDD");
        worker()->workOrder.insert("detectorType", "XDET-25SDD");
        QJsonObject fpga = worker()->defaultHwParams.value("fpga").toObject();
        fpga.insert("XDET-25SDD",
                    QJsonObject{{"inputControl", 1},
                                {"peakingTime_us", 1.5},
                                {"syncDelayOffset", 4},
                                {"fpgaScale1us", 1000000}});
        worker()->defaultHwParams.insert("fpga", fpga);
    });
    QCOMPARE(saveDefaults(), QString());
    QCOMPARE(registerValue(xrf_hal::RegFpgaBeforePulseDelay), 96u);
    QCOMPARE(registerValue(xrf_hal::RegFpgaAfterPulseDelay), 96u);
    QCOMPARE(registerValue(xrf_hal::RegFpgaSyncDelay), 100u);
    QCOMPARE(registerValue(xrf_hal::RegFpgaGain), 666666u);
    QCOMPARE(registerValue(xrf_hal::RegFpgaPeakingTime), pinPeaking);
    QCOMPARE(faults().operationCalls("setFpgaPulseHeightMin"), pinWrites);

    faults().failOperation("setFpgaAfterPulseDelay", -4);
    QCOMPARE(saveDefaults(), QStringLiteral("Failed to set fpga after pulse delay, err=-4"));
}

void TstFpgaRegisters::pinBlockNeedsFirmware170()
{
    setFirmware("1.6.9");
    const int pinWrites = faults().operationCalls("setFpgaPulseHeightMin");
    QCOMPARE(saveDefaults(), QString());
    QCOMPARE(faults().operationCalls("setFpgaPulseHeightMin"), pinWrites);
    setFirmware("1.7.0");
    QCOMPARE(saveDefaults(), QString());
    QCOMPARE(faults().operationCalls("setFpgaPulseHeightMin"), pinWrites + 1);
}

void TstFpgaRegisters::defaultsNeedDetectorTypeAndParams()
{
    QVERIFY(!onFactory([] { return worker()->saveDefaultFpgaParams(nullptr); }));
    onFactory([] { worker()->workOrder.insert("detectorType", "XDET-99"); });
    QCOMPARE(saveDefaults(),
             QStringLiteral("fpgaParams is empty, probably the detector type wasn't found in "
                            "factory_setup_data.json!"));
    QCOMPARE(enableAutoCal(),
             QStringLiteral("Enabling auto cal failed:\nAuto cal params missing in JSON"));
    onFactory([] { worker()->workOrder.insert("detectorType", ""); });
    QCOMPARE(saveDefaults(),
             QStringLiteral("FPGA gain setup failed. \n Failed tor read detector type from "
                            "workOrder"));
    QCOMPARE(enableAutoCal(),
             QStringLiteral("Enabling auto cal failed:\nFailed to read detector type from "
                            "workOrder"));
}

void TstFpgaRegisters::autoCalWritesCalibratesAndEnables()
{
    QCOMPARE(saveDefaults(), QString());
    QCOMPARE(onFactory([] {
                 QString error;
                 return worker()->disableFpgaAutoCal(&error);
             }),
             true);
    QCOMPARE(registerValue(xrf_hal::RegFpgaAutoCalEnabled), 0u);
    QCOMPARE(enableAutoCal(), QStringLiteral("ok"));
    QCOMPARE(registerValue(xrf_hal::RegFpgaAutoCalEnabled), 1u);
    QCOMPARE(registerValue(xrf_hal::RegFpgaAutoCalEnableAtStartup), 1u);
    QCOMPARE(registerValue(xrf_hal::RegFpgaAutoCalTime), 100u);
    QCOMPARE(registerValue(xrf_hal::RegFpgaAutoCalGain), 10000000u);
    QCOMPARE(registerValue(xrf_hal::RegFpgaAutoCalSyncDelay), 50u);
    QCOMPARE(registerValue(xrf_hal::RegFpgaAutoCalTotalPulseTime), 250u);
    QVERIFY(std::isfinite(floatRegister(xrf_hal::RegFpgaAutoCalRefPosition)));
    QVERIFY(floatRegister(xrf_hal::RegFpgaAutoCalRefPeakWidth) >= 1);

    // Defaults stand in for keys the setup data leaves out.
    onFactory([] {
        QJsonObject fpga = worker()->defaultHwParams.value("fpga").toObject();
        QJsonObject pin = fpga.value("XDET-20430").toObject();
        pin.remove("autoCalGain");
        pin.remove("autoCalSyncDelay");
        fpga.insert("XDET-20430", pin);
        worker()->defaultHwParams.insert("fpga", fpga);
    });
    QCOMPARE(engine()->setFpgaAutoCalGain(5), 0);
    QCOMPARE(enableAutoCal(), QStringLiteral("ok"));
    QCOMPARE(registerValue(xrf_hal::RegFpgaAutoCalGain), 10000000u);
}

void TstFpgaRegisters::autoCalFailures_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("message");
    QTest::newRow("gain") << "setFpgaAutoCalGain"
                          << "Command to set fpga auto cal gain failed, error code: -6";
    QTest::newRow("window") << "setFpgaAutoCalPosWindow"
                            << "Command to set fpga auto cal position window failed, error "
                               "code: -6";
    QTest::newRow("gap time") << "setFpgaAutoCalGapTime"
                              << "Command to set fpga auto cal gap time failed, error code: -6";
    QTest::newRow("calibrate") << "calibrateFpgaAutoCal"
                               << "Command to start auto-cal calibration failed, error code: -6";
    QTest::newRow("startup") << "setFpgaAutoCalEnableAtStartup"
                             << "Command to enable fpga autocal at startup failed, error code: "
                                "-6";
    QTest::newRow("nv") << "saveToNv"
                        << "K60 Failed to save auto-cal status to NV, -6";
    QTest::newRow("position") << "getAutoCalRefPosition"
                              << "Failed to read fpga autocal reference position from K60, Err:-6";
    QTest::newRow("width") << "getAutoCalRefPeakWidth"
                           << "Failed to read fpga autocal ref peak width from K60, Err:-6";
    QTest::newRow("not finite") << ""
                                << "FPGA autocal reference position is not finite, "
                                   "autoCalRefPos:nan";
    QTest::newRow("zero width") << ""
                                << "FPGA autocal ref peak width(resolution) is zero";
}

void TstFpgaRegisters::autoCalFailures()
{
    QFETCH(QString, operation);
    QFETCH(QString, message);
    if (!operation.isEmpty())
        faults().failOperation(operation, -6);
    else if (message.contains("finite"))
        faults().overrideRegister(xrf_hal::RegFpgaAutoCalRefPosition,
                                  floatBits(std::numeric_limits<float>::quiet_NaN()));
    else
        faults().overrideRegister(xrf_hal::RegFpgaAutoCalRefPeakWidth, floatBits(0.4f));
    QCOMPARE(enableAutoCal(), message);
}

void TstFpgaRegisters::gainCorrectionRegisters()
{
    const int nvSaves = faults().operationCalls("saveToNv");
    QVERIFY(
        onFactory([] { return worker()->writePinGainCorrectionRegisters(2.5f, -0.01f, 31.f); }));
    QCOMPARE(faults().operationCalls("saveToNv"), nvSaves + 1);
    float offset = 0, slope = 0, temperature = 0;
    QVERIFY(onFactory(
        [&] { return worker()->readPinGainCorrectionRegisters(&offset, &slope, &temperature); }));
    QCOMPARE(offset, 2.5f);
    QCOMPARE(slope, -0.01f);
    QCOMPARE(temperature, 31.f);
    QVERIFY(!onFactory(
        [&] { return worker()->readPinGainCorrectionRegisters(&offset, nullptr, &temperature); }));

    // All three writes are tried; a failure leaves NV alone.
    faults().failOperation("setAutoCalGainCorrectionSlope", -9);
    QVERIFY(!onFactory([] { return worker()->writePinGainCorrectionRegisters(1.f, 2.f, 3.f); }));
    QVERIFY(
        m_log->contains("Failed to set SlopeCorrectionOffset register, hwRet:-9", QtWarningMsg));
    QCOMPARE(floatRegister(xrf_hal::RegAutoCalTemperatureAtCal), 3.f);
    QCOMPARE(faults().operationCalls("saveToNv"), nvSaves + 1);

    setFirmware("1.7.2");
    QVERIFY(!onFactory(
        [&] { return worker()->readPinGainCorrectionRegisters(&offset, &slope, &temperature); }));
    QCOMPARE(offset, 0.f);
    QVERIFY(m_log->contains("Failed to get offset, slope correction registers, K60 firmware "
                            "version must be >= 1.7.3"));
}

void TstFpgaRegisters::gainCorrectionCache()
{
    QJsonObject fpga{{"gain", 500000}};
    XrfSettingsManager::instance()->setUniversalSetting("hardware.fpga", &fpga);
    QVERIFY(!onFactory([] { return worker()->savePinGainCorrectionValues(0.f, 1.f, 30.f, true); }));
    QVERIFY(m_log->contains("offsetCorrection OR temperatureAtGainCalibration is zero."));

    QVERIFY(
        onFactory([] { return worker()->savePinGainCorrectionValues(1.25f, 0.5f, 30.f, true); }));
    QCOMPARE(floatRegister(xrf_hal::RegAutoCalGainCorrectionOffset), 1.25f);
    QJsonObject cached = universalSetting("hardware.fpga");
    QCOMPARE(cached.value("gain").toInt(), 500000);
    QCOMPARE(cached.value("pinGainCorrectionParams").toObject(),
             (QJsonObject{{"offsetCorrection", 1.25},
                          {"slopeCorrection", 0.5},
                          {"temperatureAtGainCalibration", 30.0}}));

    // A failed register write still caches the values, for the next start to apply.
    faults().failOperation("setAutoCalGainCorrectionOffset", -9);
    QVERIFY(
        !onFactory([] { return worker()->savePinGainCorrectionValues(2.f, 0.5f, 30.f, true); }));
    QVERIFY(
        m_log->contains("Failed to write gain offset correction & slope correction registers."));
    cached = universalSetting("hardware.fpga");
    QCOMPARE(
        cached.value("pinGainCorrectionParams").toObject().value("offsetCorrection").toDouble(),
        2.0);
}

void TstFpgaRegisters::gainCorrectionReappliedFromSettings()
{
    QJsonObject fpga{{"pinGainCorrectionParams",
                      QJsonObject{{"offsetCorrection", 1.75},
                                  {"slopeCorrection", 0.25},
                                  {"temperatureAtGainCalibration", 28.0}}}};
    XrfSettingsManager::instance()->setUniversalSetting("hardware.fpga", &fpga);
    QCOMPARE(engine()->setAutoCalGainCorrectionOffset(0.f), 0);
    QVERIFY(onFactory([] { return worker()->applyPinGainCorrectionValuesFromSettings(); }));
    QCOMPARE(floatRegister(xrf_hal::RegAutoCalGainCorrectionOffset), 1.75f);
    QCOMPARE(floatRegister(xrf_hal::RegAutoCalTemperatureAtCal), 28.f);

    // Registers that already hold the cached values are left alone.
    const int writes = faults().operationCalls("setAutoCalGainCorrectionOffset");
    QVERIFY(onFactory([] { return worker()->applyPinGainCorrectionValuesFromSettings(); }));
    QCOMPARE(faults().operationCalls("setAutoCalGainCorrectionOffset"), writes);

    fpga = QJsonObject{{"pinGainCorrectionParams", 3}};
    XrfSettingsManager::instance()->setUniversalSetting("hardware.fpga", &fpga);
    QVERIFY(!onFactory([] { return worker()->applyPinGainCorrectionValuesFromSettings(); }));
    QVERIFY(m_log->contains("pinGainCorrectionParams is not a JSON object.", QtWarningMsg));

    onFactory([] { worker()->hardwareConfig.setDetectorModel("XDET-25SDD"); });
    QVERIFY(onFactory([] { return worker()->applyPinGainCorrectionValuesFromSettings(); }));
}

void TstFpgaRegisters::temperatureCorrection()
{
    const QJsonObject params{{"temperatureCorrectionEpsilon", 0.5},
                             {"temperatureCorrectionCoeff1", -0.002},
                             {"temperatureCorrectionCoeff2", 1.5e-5}};
    const int nvSaves = faults().operationCalls("saveToNv");
    onFactory([&] { worker()->setupPinDetectorTemperatureCorrection(params); });
    QCOMPARE(floatRegister(xrf_hal::RegDetectorTempCorrectionEpsilon), 0.5f);
    QCOMPARE(floatRegister(xrf_hal::RegDetectorTempCorrectionCoeff1), -0.002f);
    QCOMPARE(floatRegister(xrf_hal::RegDetectorTempCorrectionCoeff2), 1.5e-5f);
    QCOMPARE(faults().operationCalls("saveToNv"), nvSaves + 1);

    // Firmware without the registers: nothing written, nothing saved.
    setFirmware("1.9.7");
    onFactory([] {
        worker()->setupPinDetectorTemperatureCorrection(
            QJsonObject{{"temperatureCorrectionEpsilon", 9},
                        {"temperatureCorrectionCoeff1", 9},
                        {"temperatureCorrectionCoeff2", 9}});
    });
    QCOMPARE(floatRegister(xrf_hal::RegDetectorTempCorrectionEpsilon), 0.5f);
    QCOMPARE(faults().operationCalls("saveToNv"), nvSaves + 1);
    float epsilon = -1;
    QVERIFY(onFactory([&] {
        return worker()->readPinTemperatureCorrectionRegisters(&epsilon, nullptr, nullptr);
    }));
}

void TstFpgaRegisters::temperatureCorrectionFailures()
{
    const int nvSaves = faults().operationCalls("saveToNv");
    onFactory([] {
        worker()->setupPinDetectorTemperatureCorrection(
            QJsonObject{{"temperatureCorrectionEpsilon", 1}});
    });
    QVERIFY(m_log->contains("Cannot set PIN detector temperature correction registers. Setup "
                            "parameters are missing."));

    const QJsonObject params{{"temperatureCorrectionEpsilon", 0.5},
                             {"temperatureCorrectionCoeff1", 0.25},
                             {"temperatureCorrectionCoeff2", 0.125}};
    faults().overrideRegister(xrf_hal::RegDetectorTempCorrectionCoeff1, floatBits(0.3f));
    onFactory([&] { worker()->setupPinDetectorTemperatureCorrection(params); });
    QVERIFY(m_log->contains("PIN detector temperature correction register readback failed"));
    faults().clear();

    faults().failOperation("setDetectorTemperatureCorrectionCoeff2", -2);
    onFactory([&] { worker()->setupPinDetectorTemperatureCorrection(params); });
    QVERIFY(m_log->contains("Failed to write detector temp. correction coefficient 2: error = -2"));
    QVERIFY(
        m_log->contains("Failed to write PIN detector temperature correction registers to K60"));

    faults().failOperation("getDetectorTemperatureCorrectionEpsilon", -2);
    onFactory([&] { worker()->setupPinDetectorTemperatureCorrection(params); });
    QVERIFY(m_log->contains("Failed to read detector temp. correction epsilon: error = -2"));
    QVERIFY(
        m_log->contains("Could not read PIN detector temperature correction registers from K60"));
    QCOMPARE(faults().operationCalls("saveToNv"), nvSaves);
}

QTEST_GUILESS_MAIN(TstFpgaRegisters)
#include "tst_fpgaregisters.moc"
