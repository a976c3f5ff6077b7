#include "exposurerelay.h"
#include "simfaults.h"
#include "simhardwaremanager.h"
#include "simscenarios.h"
#include "spectrumprobe.h"
#include "xrftimescale.h"
#include "xrfutils.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace xrf_hal;
using HM = XrfHardwareManager;

namespace {
XrfExposureSettings exposure(const SimInstrument &instrument, int seconds)
{
    XrfExposureSettings settings;
    settings.setTubeVoltageKv(40);
    settings.setTubeCurrentUa(50);
    settings.setMaxTime(seconds);
    settings.setFilter(instrument.hardwareManager()->hardwareConfig()->filters().at(0));
    return settings;
}
} // namespace

// Every fault hook of SimFaults and the named scenarios that bundle them.
class TestSimFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void operationFailsOnceThenRecovers();
    void operationFailsNTimes();
    void operationFailsAlwaysUntilCleared();
    void sensorOverridesReplaceReadings();
    void registerOverrideAnswersRawAndTypedReads();
    void exposureEndsEarlyWithTheChosenCondition();
    void hardwareErrorIsRaisedAfterItsTime();
    void hardwareErrorCanLeaveTheExposureRunning();
    void spectrumOverrideReplacesThePhysics();
    void startExposureCanBeRefused();
    void failingCoolerLeavesTheDetectorWarmAndNotReady();
    void jammedWheelEndsMovesInFailure();
    void extraDarkRateShowsWithTheTubeOff();
    void scenariosAreListedDescribedAndApplied();
    void clearRemovesEveryFault();

private:
    QTemporaryDir m_root;
    std::unique_ptr<SimInstrument> m_instrument;
    SimHardwareManager *m_manager = nullptr;
    std::unique_ptr<ExposureRelay> m_relay;
    SimEngine *m_engine = nullptr;
};

void TestSimFaults::initTestCase()
{
    QVERIFY(m_root.isValid());
    XrfUtils::setInstrumentRoot(m_root.path());
    m_instrument.reset(new SimInstrument(QStringLiteral("default")));
    m_manager = m_instrument->hardwareManager();
    m_relay.reset(new ExposureRelay(m_manager));
    m_engine = m_instrument->engine();
}

void TestSimFaults::init()
{
    XrfTimeScale::setScale(0.001);
    m_instrument->faults().clear();
}

void TestSimFaults::operationFailsOnceThenRecovers()
{
    m_instrument->faults().failOperation(QStringLiteral("saveToNv"), EngineNvWriteFailed);
    QCOMPARE(m_engine->saveToNv(), int(EngineNvWriteFailed));
    QCOMPARE(m_engine->saveToNv(), 0);
    QCOMPARE(m_instrument->faults().operationCalls(QStringLiteral("saveToNv")), 2);
}

void TestSimFaults::operationFailsNTimes()
{
    m_instrument->faults().failOperation(QStringLiteral("getFpgaGain"), -42, 3);
    quint32 gain = 0;
    for (int i = 0; i < 3; ++i)
        QCOMPARE(m_engine->getFpgaGain(&gain), -42);
    QCOMPARE(m_engine->getFpgaGain(&gain), 0);
    QVERIFY(gain > 0);
}

void TestSimFaults::operationFailsAlwaysUntilCleared()
{
    m_instrument->faults().failOperation(QStringLiteral("moveFilterWheelPos"), EngineTimeout,
                                         SimFaults::kAlways);
    for (int i = 0; i < 10; ++i)
        QCOMPARE(m_engine->moveFilterWheelPos(1), int(EngineTimeout));
    m_instrument->faults().clearOperation(QStringLiteral("moveFilterWheelPos"));
    QCOMPARE(m_engine->moveFilterWheelPos(1), 0);
}

void TestSimFaults::sensorOverridesReplaceReadings()
{
    float pressure = 0;
    QCOMPARE(m_engine->getAmbientPressureMillibars(&pressure), 0);
    QVERIFY(std::abs(pressure - 1013.25f) < 3);
    m_instrument->faults().overrideSensor(QStringLiteral("getAmbientPressureMillibars"), 650.0);
    QCOMPARE(m_engine->getAmbientPressureMillibars(&pressure), 0);
    QCOMPARE(pressure, 650.0f);
    m_instrument->faults().overrideSensor(QStringLiteral("getAccelerometerVector"),
                                          {0.0, 0.5, -0.5});
    float x = 1, y = 1, z = 1;
    QCOMPARE(m_engine->getAccelerometerVector(&x, &y, &z), 0);
    QCOMPARE(x, 0.0f);
    QCOMPARE(y, 0.5f);
    QCOMPARE(z, -0.5f);
    m_instrument->faults().overrideSensor(QStringLiteral("getFanSpeed"), 1200);
    unsigned short rpm = 0;
    QCOMPARE(m_engine->getFanSpeed(&rpm), 0);
    QCOMPARE(rpm, 1200);
}

void TestSimFaults::registerOverrideAnswersRawAndTypedReads()
{
    m_instrument->faults().overrideRegister(RegDetectorStatus, 0x0001);
    unsigned short status = 0xffff;
    QCOMPARE(m_engine->readValue16(RegDetectorStatus, &status), 0);
    QCOMPARE(status, 0x0001);
    m_instrument->faults().overrideRegister(RegFilterMoveStatus, FilterMoveFailed);
    unsigned char moveStatus = 0;
    QCOMPARE(m_engine->getFilterMoveStatus(&moveStatus), 0);
    QCOMPARE(moveStatus, (unsigned char)FilterMoveFailed);
}

void TestSimFaults::exposureEndsEarlyWithTheChosenCondition()
{
    m_instrument->faults().endExposureAfter(2, HM::EndInterlockOpened, false, 1);
    QSignalSpy spectra(m_relay.get(), &ExposureRelay::spectrum);
    QSignalSpy stopped(m_relay.get(), &ExposureRelay::exposureStopped);
    QCOMPARE(m_manager->startExposure(exposure(*m_instrument, 5), 0, 0, 0, 0, 0, 0), 0);
    QTRY_COMPARE(stopped.count(), 1);
    QCOMPARE(stopped.first().at(0).value<HM::XrfExposureEndCondition>(), HM::EndInterlockOpened);
    QCOMPARE(spectra.count(), 2);
    QCOMPARE(m_manager->startExposure(exposure(*m_instrument, 3), 0, 0, 0, 0, 0, 0), 0);
    QTRY_COMPARE(stopped.count(), 2);
    QCOMPARE(stopped.last().at(0).value<HM::XrfExposureEndCondition>(), HM::EndNormal);
}

void TestSimFaults::hardwareErrorIsRaisedAfterItsTime()
{
    m_instrument->faults().raiseHardwareErrorAfter(
        1, XrfErrorInfo(0x31, QStringLiteral("arc"), QStringLiteral("HV tripped")));
    QSignalSpy errors(m_relay.get(), &ExposureRelay::hardwareError);
    QSignalSpy stopped(m_relay.get(), &ExposureRelay::exposureStopped);
    QCOMPARE(m_manager->startExposure(exposure(*m_instrument, 5), 0, 0, 0, 0, 0, 0), 0);
    QTRY_COMPARE(stopped.count(), 1);
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.first().at(0).value<XrfErrorInfo>().errorCode(), 0x31);
    QCOMPARE(errors.first().at(0).value<XrfErrorInfo>().extendedErrorInfo(),
             QStringLiteral("HV tripped"));
    QCOMPARE(stopped.first().at(0).value<HM::XrfExposureEndCondition>(), HM::EndHardwareError);
}

void TestSimFaults::hardwareErrorCanLeaveTheExposureRunning()
{
    m_instrument->faults().raiseHardwareErrorAfter(1, XrfErrorInfo(7, QStringLiteral("warning")),
                                                   false, 1);
    QSignalSpy errors(m_relay.get(), &ExposureRelay::hardwareError);
    QSignalSpy spectra(m_relay.get(), &ExposureRelay::spectrum);
    QSignalSpy stopped(m_relay.get(), &ExposureRelay::exposureStopped);
    QCOMPARE(m_manager->startExposure(exposure(*m_instrument, 3), 0, 0, 0, 0, 0, 0), 0);
    QTRY_COMPARE(stopped.count(), 1);
    QCOMPARE(errors.count(), 1);
    QCOMPARE(spectra.count(), 3);
    QCOMPARE(stopped.first().at(0).value<HM::XrfExposureEndCondition>(), HM::EndNormal);
}

void TestSimFaults::spectrumOverrideReplacesThePhysics()
{
    QVector<quint32> perSecond(2048, 0);
    perSecond[500] = 100;
    m_instrument->faults().overrideSpectrum(perSecond);
    QSignalSpy spectra(m_relay.get(), &ExposureRelay::spectrum);
    QSignalSpy stopped(m_relay.get(), &ExposureRelay::exposureStopped);
    QCOMPARE(m_manager->startExposure(exposure(*m_instrument, 3), 0, 0, 0, 0, 0, 0), 0);
    QTRY_COMPARE(stopped.count(), 1);
    const XrfSpectrum last = spectra.last().at(0).value<XrfSpectrum>();
    QCOMPARE(last.data().at(500), 300u);
    QCOMPARE(last.sumCountsInRegion(0, 2047), quint64(300));
}

void TestSimFaults::startExposureCanBeRefused()
{
    m_instrument->faults().failOperation(QStringLiteral("startExposure"), EngineCommunicationError);
    QCOMPARE(m_manager->startExposure(exposure(*m_instrument, 1), 0, 0, 0, 0, 0, 0),
             int(EngineCommunicationError));
}

void TestSimFaults::failingCoolerLeavesTheDetectorWarmAndNotReady()
{
    SimInstrument instrument(QStringLiteral("MP"));
    instrument.faults().setCoolerMaxDeltaC(15.0);
    unsigned short status = 0;
    float temperature = 0;
    XrfUtils::activeSleep(100000); // many cooling time constants
    QCOMPARE(instrument.engine()->readValue16(RegDetectorStatus, &status), 0);
    QCOMPARE(instrument.engine()->getDetectorMonitorTemperature(&temperature), 0);
    QVERIFY(!(status & 0x2));
    QVERIFY(std::abs(temperature - (23.5f - 15.0f)) < 0.5f);
    const SimDetector &detector = instrument.state().detector();
    QVERIFY(detector.fwhmEv(5900, 1.0, temperature) > detector.fwhmEv(5900, 1.0, -25) + 10);
    instrument.faults().setCoolerMaxDeltaC(std::nullopt);
    QTRY_VERIFY(instrument.engine()->readValue16(RegDetectorStatus, &status) == 0
                && (status & 0x2));
}

void TestSimFaults::jammedWheelEndsMovesInFailure()
{
    m_instrument->faults().setFilterWheelJammed(true);
    QCOMPARE(m_engine->moveFilterWheelPos(4), 0);
    unsigned char status = 0;
    QCOMPARE(m_engine->getFilterMoveStatus(&status), 0);
    QCOMPARE(status, (unsigned char)FilterMoving);
    QTRY_VERIFY(m_engine->getFilterMoveStatus(&status) == 0 && status == FilterMoveFailed);
    m_instrument->faults().setFilterWheelJammed(false);
    QCOMPARE(m_engine->moveFilterWheelPos(0), 0);
    QTRY_VERIFY(m_engine->getFilterMoveStatus(&status) == 0 && status == FilterMoveInPosition);
}

void TestSimFaults::extraDarkRateShowsWithTheTubeOff()
{
    m_instrument->faults().setExtraDarkRate(500);
    QCOMPARE(m_engine->disableTube(), 0);
    QCOMPARE(m_engine->startMCA(), 0);
    XrfUtils::activeSleep(2000);
    QCOMPARE(m_engine->stopMCA(), 0);
    AcquisitionStats stats;
    QCOMPARE(m_engine->getAcquisitionStats(&stats), 0);
    const double darkRate = stats.inputCounts / (stats.realTimeUs / 1.0e6);
    QVERIFY(darkRate > 300 && darkRate < 800);
}

void TestSimFaults::scenariosAreListedDescribedAndApplied()
{
    const QStringList names = SimScenarios::names();
    for (const char *required : {"tube-not-ready", "exposure-interlock", "hardware-error",
                                 "hot-detector", "nv-save-fails", "eeprom-timeout"})
        QVERIFY2(names.contains(QLatin1String(required)), required);
    for (const QString &name : names)
        QVERIFY(!SimScenarios::describe(name).isEmpty());
    QVERIFY(SimScenarios::describe(QStringLiteral("no-such-scenario")).isEmpty());
    QVERIFY(!SimScenarios::apply(QStringLiteral("no-such-scenario"), *m_instrument));

    QVERIFY(SimScenarios::apply(QStringLiteral("tube-not-ready"), *m_instrument));
    QCOMPARE(m_engine->setTubeVoltage(40), 0);
    QCOMPARE(m_engine->setTubeCurrent(50), 0);
    for (int attempt = 0; attempt < 50; ++attempt)
        QCOMPARE(m_engine->enableTube(), int(EngineTubeNotReady));
    m_instrument->faults().clear();

    QVERIFY(SimScenarios::apply(QStringLiteral("nv-save-fails"), *m_instrument));
    QCOMPARE(m_engine->saveToNv(), int(EngineNvWriteFailed));
    m_instrument->faults().clear();

    QVERIFY(SimScenarios::apply(QStringLiteral("eeprom-timeout"), *m_instrument));
    QCOMPARE(m_engine->saveDataToEeprom(), 0);
    unsigned char status = 1;
    for (int poll = 0; poll < 40; ++poll) {
        QCOMPARE(m_engine->eepromSaveStatus(&status), 0);
        QCOMPARE(status, (unsigned char)EepromBusy);
    }
    m_instrument->faults().clear();

    QVERIFY(SimScenarios::apply(QStringLiteral("exposure-interlock"), *m_instrument));
    QSignalSpy stopped(m_relay.get(), &ExposureRelay::exposureStopped);
    QCOMPARE(m_manager->startExposure(exposure(*m_instrument, 5), 0, 0, 0, 0, 0, 0), 0);
    QTRY_COMPARE(stopped.count(), 1);
    QCOMPARE(stopped.first().at(0).value<HM::XrfExposureEndCondition>(), HM::EndInterlockOpened);
}

void TestSimFaults::clearRemovesEveryFault()
{
    for (const QString &name : SimScenarios::names())
        QVERIFY(SimScenarios::apply(name, *m_instrument));
    QVERIFY(!m_instrument->faults().describe().isEmpty());
    m_instrument->faults().clear();
    m_instrument->setTestStand(true, true);
    QVERIFY(m_instrument->faults().describe().isEmpty());
    QCOMPARE(m_engine->saveToNv(), 0);
}

QTEST_GUILESS_MAIN(TestSimFaults)
#include "tst_simfaults.moc"
