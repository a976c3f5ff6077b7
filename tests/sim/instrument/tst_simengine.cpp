#include "simfaults.h"
#include "simhardwaremanager.h"
#include "spectrumprobe.h"
#include "xrftimescale.h"
#include "xrfutils.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

using namespace xrf_hal;

// The register engine as the factory steps drive it: tube, filter wheel, MCA, detector, sensors,
// raw access.
class TestSimEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void tubeAnswersNotReadyWhileRampingThenRuns();
    void tubeRefusesSettingsBeyondItsLimits();
    void wheelMovesTakeTimeAndLandWithinTolerance();
    void wheelRejectsEncodersOutsideItsRange();
    void sweepCountRatePeaksAtTheHoleAndIsDarkBetweenHoles();
    void fixedFilterInstrumentHasNoMotor();
    void resetHeightRisesWithTheResetWidthDacAndSettles();
    void pinResetHeightAndAdcWindowFollowTheDacs();
    void detectorCoolsTowardsItsSetPoint();
    void sensorsReadPlausibleValues();
    void autoCalReferenceExistsOnlyAfterCalibration();
    void rawRegistersAndCommandFrames();

private:
    QTemporaryDir m_root;
    std::unique_ptr<SimInstrument> m_instrument;
    SimEngine *m_engine = nullptr;
};

void TestSimEngine::initTestCase()
{
    QVERIFY(m_root.isValid());
    XrfUtils::setInstrumentRoot(m_root.path());
    XrfTimeScale::setScale(0.001);
    m_instrument.reset(new SimInstrument(QStringLiteral("default")));
    m_instrument->setSeed(99);
    m_engine = m_instrument->engine();
}

void TestSimEngine::init()
{
    XrfTimeScale::setScale(0.001);
    m_instrument->faults().clear();
    m_instrument->loadSample(QStringLiteral("SS316"));
}

void TestSimEngine::tubeAnswersNotReadyWhileRampingThenRuns()
{
    QCOMPARE(m_engine->setTubeVoltage(40), 0);
    QCOMPARE(m_engine->setTubeCurrent(80), 0);
    int notReady = 0;
    int result = EngineTubeNotReady;
    while (result == EngineTubeNotReady && notReady < 50) {
        result = m_engine->enableTube();
        if (result == EngineTubeNotReady) {
            ++notReady;
            XrfUtils::activeSleep(200);
        }
    }
    QCOMPARE(result, 0);
    QVERIFY(notReady >= 2);
    float kv = 0, ua = 0, setUa = 0;
    QCOMPARE(m_engine->getTubeVoltageMonitored(&kv), 0);
    QCOMPARE(m_engine->getTubeCurrentMonitored(&ua), 0);
    QCOMPARE(m_engine->getTubeCurrentSet(&setUa), 0);
    QVERIFY(std::abs(kv - 40) < 0.5);
    QVERIFY(std::abs(ua - 80) < 2);
    QCOMPARE(setUa, 80.0f);
    unsigned int readyMs = 0;
    QCOMPARE(m_engine->getTubeReadyTime(&readyMs), 0);
    QVERIFY(readyMs >= 600);
    QCOMPARE(m_engine->disableTube(), 0);
    QCOMPARE(m_engine->getTubeVoltageMonitored(&kv), 0);
    QVERIFY(kv < 1);
}

void TestSimEngine::tubeRefusesSettingsBeyondItsLimits()
{
    unsigned char maxKv = 0, minKv = 0, maxUa = 0, minUa = 0, watts = 0;
    QCOMPARE(m_engine->getTubeMaxVoltageLimit(&maxKv), 0);
    QCOMPARE(m_engine->getTubeMinVoltageLimit(&minKv), 0);
    QCOMPARE(m_engine->getTubeMaxCurrentLimit(&maxUa), 0);
    QCOMPARE(m_engine->getTubeMinCurrentLimit(&minUa), 0);
    QCOMPARE(m_engine->getTubeMaxPower(&watts), 0);
    QCOMPARE(int(maxKv), 50);
    QCOMPARE(int(maxUa), 200);
    QCOMPARE(int(watts), 4);
    QVERIFY(minKv > 0 && minUa > 0);
    QCOMPARE(m_engine->setTubeVoltage(maxKv + 1), int(EngineOutOfRange));
    QCOMPARE(m_engine->setTubeCurrent(maxUa + 1), int(EngineOutOfRange));
    QCOMPARE(m_engine->setTubeVoltage(50), 0);
    QCOMPARE(m_engine->setTubeCurrent(200), 0); // 10 W: more than the tube may dissipate
    QCOMPARE(m_engine->enableTube(), int(EngineOutOfRange));
}

void TestSimEngine::wheelMovesTakeTimeAndLandWithinTolerance()
{
    FilterParams table[10];
    QCOMPARE(m_engine->getFilterData(table, 10), 0);
    unsigned char maxPosition = 0;
    QCOMPARE(m_engine->getMaxFilterPosition(&maxPosition), 0);
    QCOMPARE(int(maxPosition), 9);
    QCOMPARE(m_engine->setFilterMoveTolerance(8), 0);
    QCOMPARE(m_engine->moveFilterWheelPos(9), 0);
    unsigned char status = 0;
    QCOMPARE(m_engine->getFilterMoveStatus(&status), 0);
    QCOMPARE(status, (unsigned char)FilterMoving);
    QTRY_VERIFY(m_engine->getFilterMoveStatus(&status) == 0 && status == FilterMoveInPosition);
    unsigned short monitored = 0, setPoint = 0, position = 0;
    QCOMPARE(m_engine->getFilterEncoderMonitored(&monitored), 0);
    QCOMPARE(m_engine->getFilterEncoderSetPoint(&setPoint), 0);
    QCOMPARE(m_engine->getFilterPositionMonitored(&position), 0);
    QCOMPARE(setPoint, table[9].encoder);
    QVERIFY(std::abs(int(monitored) - int(setPoint)) <= 8);
    QCOMPARE(int(position), 9);
    unsigned int moveMs = 0;
    QCOMPARE(m_engine->getFilterMoveTime(&moveMs), 0);
    QVERIFY(moveMs > 100);
    QCOMPARE(m_engine->moveFilterWheelPos(10), int(EngineOutOfRange));
}

void TestSimEngine::wheelRejectsEncodersOutsideItsRange()
{
    unsigned short low = 0, high = 0;
    QCOMPARE(m_engine->getFilterEncoderMin(&low), 0);
    QCOMPARE(m_engine->getFilterEncoderMax(&high), 0);
    QVERIFY(low < high);
    QCOMPARE(m_engine->moveFilterWheel(high + 1), int(EngineOutOfRange));
    QCOMPARE(m_engine->moveFilterWheel(low - 1), int(EngineOutOfRange));
}

// Counts for `dwellMs` with the wheel at `encoder`, as the filter scan does.
static double icrAt(SimEngine &engine, unsigned short encoder, int dwellMs)
{
    unsigned char status = FilterMoving;
    engine.moveFilterWheel(encoder);
    for (int poll = 0; poll < 200 && status == FilterMoving; ++poll) {
        XrfUtils::activeSleep(20);
        engine.getFilterMoveStatus(&status);
    }
    engine.startMCA();
    XrfUtils::activeSleep(dwellMs);
    engine.stopMCA();
    AcquisitionStats stats;
    engine.getAcquisitionStats(&stats);
    return stats.inputCounts / (stats.realTimeUs / 1.0e6);
}

void TestSimEngine::sweepCountRatePeaksAtTheHoleAndIsDarkBetweenHoles()
{
    QCOMPARE(m_engine->setTubeVoltage(40), 0);
    QCOMPARE(m_engine->setTubeCurrent(20), 0);
    int result = EngineTubeNotReady;
    for (int i = 0; i < 50 && result == EngineTubeNotReady; ++i) {
        result = m_engine->enableTube();
        XrfUtils::activeSleep(200);
    }
    QCOMPARE(result, 0);
    const SimWheelAssembly &assembly = m_instrument->state().wheel().assembly();
    const int hole = assembly.trueEncoder(2); // Al 100 um behind the 482 um collimator
    double best = 0;
    int bestEncoder = 0;
    for (int encoder = hole - 100; encoder <= hole + 100; encoder += 10) {
        const double icr = icrAt(*m_engine, (unsigned short)encoder, 200);
        if (icr > best) {
            best = icr;
            bestEncoder = encoder;
        }
    }
    const double gap = icrAt(*m_engine, (unsigned short)(hole + 160), 200);
    qInfo("hole at %d: best %.0f cps at %d, gap %.1f cps", hole, best, bestEncoder, gap);
    QVERIFY(std::abs(bestEncoder - hole) <= 10);
    QVERIFY(gap < 5);
    AcquisitionStats stats;
    icrAt(*m_engine, (unsigned short)hole, 500);
    QCOMPARE(m_engine->getAcquisitionStats(&stats), 0);
    QVERIFY(stats.outputCounts < stats.inputCounts);
    QVERIFY(stats.liveTimeUs < stats.realTimeUs);
    QVERIFY(stats.realTimeUs >= 500000);
    QCOMPARE(m_engine->disableTube(), 0);
}

void TestSimEngine::fixedFilterInstrumentHasNoMotor()
{
    SimInstrument lite(QStringLiteral("LT"));
    unsigned char present = 1;
    QCOMPARE(lite.engine()->isFilterWheelMotorPresent(&present), 0);
    QCOMPARE(int(present), 0);
    QCOMPARE(lite.engine()->moveFilterWheelPos(0), int(EngineNotPresent));
    QVERIFY(!lite.hardwareManager()->hardwareConfig()->filterWheelMotorPresent());
    QCOMPARE(lite.hardwareManager()->hardwareConfig()->detectorModel(),
             QStringLiteral("XDET-20430"));
}

void TestSimEngine::resetHeightRisesWithTheResetWidthDacAndSettles()
{
    unsigned short previous = 0;
    for (unsigned short width = 1200; width <= 2000; width += 100) {
        QCOMPARE(m_engine->setDetectorDac(DetectorDacResetWidth, width), 0);
        XrfUtils::activeSleep(300);
        unsigned short height = 0;
        QCOMPARE(m_engine->getFpgaResetHeight(&height), 0);
        QVERIFY2(height > previous + 100,
                 qPrintable(QStringLiteral("width %1 height %2").arg(width).arg(height)));
        previous = height;
    }
    // Read straight after a change, the height still lags behind (25 ms to settle, at scale 1).
    XrfTimeScale::setScale(1.0);
    QCOMPARE(m_engine->setDetectorDac(DetectorDacResetWidth, 200), 0);
    unsigned short early = 0;
    QCOMPARE(m_engine->getFpgaResetHeight(&early), 0);
    QVERIFY(early > previous - 500);
    QCOMPARE(m_engine->setDetectorDac(DetectorDacResetWidth, 4096), int(EngineOutOfRange));
}

void TestSimEngine::pinResetHeightAndAdcWindowFollowTheDacs()
{
    SimInstrument pin(QStringLiteral("LT"));
    SimEngine &engine = *pin.engine();
    QCOMPARE(engine.setDetectorDac(DetectorDacResetWidth, 300), 0);
    unsigned short lastHeight = 0;
    for (unsigned short fet = 2000; fet <= 2080; fet += 20) {
        QCOMPARE(engine.setDetectorDac(DetectorDacFetSub, fet), 0);
        XrfUtils::activeSleep(300);
        unsigned short height = 0;
        QCOMPARE(engine.getFpgaResetHeight(&height), 0);
        QVERIFY(height > lastHeight);
        lastHeight = height;
    }
    QVector<quint32> histogram;
    QCOMPARE(engine.getFpgaDiagnosticTrace(FpgaTraceAdcHistogram, &histogram), 0);
    QCOMPARE(histogram.size(), 256);
    const quint32 highest = *std::max_element(histogram.cbegin(), histogram.cend());
    const int window = 256
        * int(std::count_if(histogram.cbegin(), histogram.cend(),
                            [highest](quint32 b) { return b > highest / 1.33; }));
    QVERIFY(std::abs(window - int(lastHeight)) < 1024);
}

void TestSimEngine::detectorCoolsTowardsItsSetPoint()
{
    // Read at scale 1, so that a busy machine cannot let the detector cool before the first look.
    XrfTimeScale::setScale(1.0);
    SimInstrument fresh(QStringLiteral("Harrier"));
    signed char setPoint = 0;
    float first = 0;
    QCOMPARE(fresh.engine()->getDetectorSetTemperature(&setPoint), 0);
    QCOMPARE(fresh.engine()->getDetectorMonitorTemperature(&first), 0);
    QCOMPARE(int(setPoint), -25);
    QVERIFY(first > 15);
    XrfTimeScale::setScale(0.01);
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            float t = 0;
            fresh.engine()->getDetectorMonitorTemperature(&t);
            return std::abs(t - setPoint) < 0.5;
        }(),
        5000);
    unsigned short status = 0;
    QCOMPARE(fresh.engine()->readValue16(RegDetectorStatus, &status), 0);
    QCOMPARE(status & 0x3, 0x3);
}

void TestSimEngine::sensorsReadPlausibleValues()
{
    float x = 0, y = 0, z = 0;
    QCOMPARE(m_engine->getAccelerometerVector(&x, &y, &z), 0);
    QVERIFY(std::abs(std::sqrt(x * x + y * y + z * z) - 1.0f) < 0.05f);
    float pressure = 0, board = 0, barometer = 0, probe = 0, preamp = 0, volts = 0, cap = 0;
    QCOMPARE(m_engine->getAmbientPressureMillibars(&pressure), 0);
    QCOMPARE(m_engine->getDigitalBoardTemperature(&board), 0);
    QCOMPARE(m_engine->getBarometerTemperature(&barometer), 0);
    QCOMPARE(m_engine->getProximityTemperature(&probe), 0);
    QCOMPARE(m_engine->getPreampTemperature(&preamp), 0);
    QCOMPARE(m_engine->getSupplyVoltage(&volts), 0);
    QCOMPARE(m_engine->getSupercapVoltage(&cap), 0);
    QVERIFY(std::abs(pressure - 1013.25f) < 2);
    QVERIFY(std::abs(board - barometer) < 3);
    QVERIFY(std::abs(probe - preamp) < 3);
    QVERIFY(volts > 11 && volts < 13);
    QVERIFY(cap > 5 && cap < 5.7f);
    unsigned short rpm = 0;
    QCOMPARE(m_engine->setFanSpeed(255), 0);
    QCOMPARE(m_engine->getFanSpeed(&rpm), 0);
    QVERIFY(rpm > 8500);
    unsigned short withSample = 0, withAir = 0;
    QCOMPARE(m_engine->getProximitySensorDistance(&withSample), 0);
    m_instrument->loadSample(QStringLiteral("air"));
    QCOMPARE(m_engine->getProximitySensorDistance(&withAir), 0);
    QVERIFY(withSample > 1000 && withAir < 100);
    signed char tube = 0;
    QCOMPARE(m_engine->getTubeTemperature(&tube), 0);
    QVERIFY(tube > 20 && tube < 50);
    const SimBatteryReading battery = m_instrument->batteryStatus();
    QVERIFY(battery.voltageMv > 7000 && battery.voltageMv < 8500);
    QVERIFY(battery.stateOfCharge > 0 && battery.stateOfCharge <= 100);
    QVERIFY(m_instrument->socTemperature() > 30);
}

void TestSimEngine::autoCalReferenceExistsOnlyAfterCalibration()
{
    SimInstrument fresh(QStringLiteral("MP"));
    SimEngine &engine = *fresh.engine();
    float reference = 0;
    QCOMPARE(engine.getAutoCalRefPosition(&reference), 0);
    QVERIFY(!std::isfinite(reference));
    QCOMPARE(engine.calibrateFpgaAutoCal(), int(EngineNotReady));
    QCOMPARE(engine.setFpgaAutoCalGain(10000000), 0);
    QCOMPARE(engine.setFpgaAutoCalTime(100), 0);
    QCOMPARE(engine.calibrateFpgaAutoCal(), 0);
    float width = 0;
    QCOMPARE(engine.getAutoCalRefPosition(&reference), 0);
    QCOMPARE(engine.getAutoCalRefPeakWidth(&width), 0);
    QVERIFY(std::isfinite(reference) && reference > 100);
    QVERIFY(width > 5);
}

void TestSimEngine::rawRegistersAndCommandFrames()
{
    QCOMPARE(m_engine->writeValue32(RegisterAddress(0x0c00), quint32(qint32(-2))), 0);
    quint32 raw = 0;
    QCOMPARE(m_engine->readValue32(RegisterAddress(0x0c00), &raw), 0);
    QCOMPARE(qint32(raw), -2);
    QCOMPARE(m_engine->writeValue8(RegFpgaThreshold, 0x7f), 0);
    unsigned short threshold = 0;
    QCOMPARE(m_engine->readValue16(RegFpgaThreshold, &threshold), 0);
    QCOMPARE(threshold, 0x7f);
    QCOMPARE(m_engine->writeValue16(RegDetectorStatus, 1), int(EngineInvalidArgument));
    QCOMPARE(m_engine->writeValue16(RegisterAddress(0x2000), 1), int(EngineOutOfRange));
    QCOMPARE(m_engine->writeValue32(RegTubeVoltageSet, 0x42200000u), 0); // 40.0f
    float kv = 0;
    QCOMPARE(m_engine->getTubeVoltageSet(&kv), 0);
    QCOMPARE(kv, 40.0f);

    const unsigned char frame[] = {0x20, 0x01, 0x00, 0x00, 4, 0, 0x5a, 1, 2, 3};
    unsigned char response[1023] = {};
    QCOMPARE(m_engine->sendCommandBuffer(frame, sizeof frame, response, sizeof response), 0);
    QCOMPARE(int(response[1]), 0x5a);
    const unsigned char shortFrame[] = {0x20, 0x01, 0x00, 0x00, 9, 0, 0x5a};
    QCOMPARE(m_engine->sendCommandBuffer(shortFrame, sizeof shortFrame, response, sizeof response),
             int(EngineInvalidArgument));
}

QTEST_GUILESS_MAIN(TestSimEngine)
#include "tst_simengine.moc"
