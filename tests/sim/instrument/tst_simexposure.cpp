#include "exposurerelay.h"
#include "simfaults.h"
#include "simhardwaremanager.h"
#include "spectrumprobe.h"
#include "xrftimescale.h"
#include "xrfutils.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace xrf_hal;
using HM = XrfHardwareManager;

namespace {
constexpr double kFeKalphaEv = 6400.0;
constexpr double kMoKalphaEv = 17440.0;

XrfExposureSettings exposure(float kv, float ua, int seconds, int position = 0)
{
    XrfExposureSettings settings;
    settings.setTubeVoltageKv(kv);
    settings.setTubeCurrentUa(ua);
    settings.setMaxTime(seconds);
    const XrfHardwareConfig config = *XrfHardwareManager::instance()->hardwareConfig();
    settings.setFilter(config.filters().at(position));
    return settings;
}
} // namespace

// Exposures on the simulator's thread: the signal sequence, early stops, refusals, time scale.
class TestSimExposure : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void exposureRunsItsTimeWithOneSpectrumPerSecond();
    void signalsComeFromTheSimulatorThread();
    void ss316PeaksFollowTheGainRegister();
    void stopExposureEndsEarlyWithStoppedByUser();
    void secondExposureWhileBusyIsRefused();
    void settingsOutsideTheTubeLimitsAreRefused();
    void timeScaleZeroRunsAtOnce();
    void liveTimeExposureRunsUntilTheLiveTimeIsReached();
    void openInterlockEndsTheExposure();
    void fiftyKvNeedsAClosedTestStandWhenTheRuleIsSet();
    void darkRateArrivesBySignal();
    void hardwareConfigIsReReadOnRequest();

private:
    void waitForStop(QSignalSpy &stopped, int timeoutMs = 10000);

    QTemporaryDir m_root;
    std::unique_ptr<SimInstrument> m_instrument;
    SimHardwareManager *m_manager = nullptr;
    std::unique_ptr<ExposureRelay> m_relay;
};

void TestSimExposure::initTestCase()
{
    QVERIFY(m_root.isValid());
    XrfUtils::setInstrumentRoot(m_root.path());
    m_instrument.reset(new SimInstrument(QStringLiteral("default")));
    m_instrument->install();
    m_instrument->setSeed(1234);
    m_manager = m_instrument->hardwareManager();
    m_relay.reset(new ExposureRelay(m_manager));
}

void TestSimExposure::init()
{
    XrfTimeScale::setScale(0.001);
    m_instrument->faults().clear();
    m_instrument->loadSample(QStringLiteral("SS316"));
    m_instrument->setInterlockClosed(true);
    m_instrument->setTestStand(true, true);
}

void TestSimExposure::waitForStop(QSignalSpy &stopped, int timeoutMs)
{
    QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, timeoutMs);
}

void TestSimExposure::exposureRunsItsTimeWithOneSpectrumPerSecond()
{
    QSignalSpy started(m_relay.get(), &ExposureRelay::exposureStarted);
    QSignalSpy spectra(m_relay.get(), &ExposureRelay::spectrum);
    QSignalSpy stopped(m_relay.get(), &ExposureRelay::exposureStopped);
    QElapsedTimer wall;
    wall.start();
    QCOMPARE(m_manager->startExposure(exposure(40, 50, 5), 0, 0, 0, 0, 0, 0), 0);
    QCOMPARE(started.count() + spectra.count() + stopped.count(),
             0); // returns before anything happens
    waitForStop(stopped);
    // The seconds fall due on the instrument's clock, never early: 5 s are 5 ms at 0.001.
    QVERIFY(wall.nsecsElapsed() >= 5 * 1000 * 1000);
    QCOMPARE(started.count(), 1);
    QCOMPARE(spectra.count(), 5);
    QCOMPARE(stopped.first().at(0).value<HM::XrfExposureEndCondition>(), HM::EndNormal);
    QCOMPARE(stopped.first().at(1).toBool(), false);
    for (int i = 0; i < spectra.count(); ++i)
        QCOMPARE(spectra.at(i).at(0).value<XrfSpectrum>().realTime(), double(i + 1));
    const XrfSpectrum last = spectra.last().at(0).value<XrfSpectrum>();
    QVERIFY(last.outputCountRate() > 0);
    QVERIFY(last.outputCountRate() < last.inputCountRate());
    QVERIFY(last.liveTime() < last.realTime());
    QCOMPARE(last.channelCount(), 2048);
    QCOMPARE(last.tubeVoltageKv(), 40.0);
}

void TestSimExposure::signalsComeFromTheSimulatorThread()
{
    QString emittingThread;
    const QMetaObject::Connection connection = connect(
        m_manager, &HM::exposureStarted, m_manager,
        [&emittingThread] { emittingThread = QThread::currentThread()->objectName(); },
        Qt::DirectConnection);
    QSignalSpy stopped(m_relay.get(), &ExposureRelay::exposureStopped);
    QCOMPARE(m_manager->startExposure(exposure(40, 50, 1), 0, 0, 0, 0, 0, 0), 0);
    waitForStop(stopped);
    disconnect(connection);
    QCOMPARE(emittingThread, QStringLiteral("SimInstrument Thread"));
}

void TestSimExposure::ss316PeaksFollowTheGainRegister()
{
    quint32 gain = 0;
    QCOMPARE(m_instrument->engine()->getFpgaGain(&gain), 0);
    QList<double> fe;
    QList<double> mo;
    QList<double> slopes;
    for (const quint32 setting : {gain, quint32(gain * 0.9)}) {
        QCOMPARE(m_instrument->engine()->setFpgaGain(setting), 0);
        QSignalSpy spectra(m_relay.get(), &ExposureRelay::spectrum);
        QSignalSpy stopped(m_relay.get(), &ExposureRelay::exposureStopped);
        QCOMPARE(m_manager->startExposure(exposure(40, 100, 10), 0, 0, 0, 0, 0, 0), 0);
        waitForStop(stopped);
        const XrfSpectrum spectrum = spectra.last().at(0).value<XrfSpectrum>();
        const QVector<double> counts = SpectrumProbe::toDouble(spectrum.data());
        const SimEnergyScale scale{spectrum.energySlope(), spectrum.energyOffset()};
        fe.append(SpectrumProbe::centroid(counts, scale.channel(kFeKalphaEv), 8));
        mo.append(SpectrumProbe::centroid(counts, scale.channel(kMoKalphaEv), 10));
        slopes.append(spectrum.energySlope());
        qInfo("gain %u: %.3f eV/ch, Fe K-alpha at channel %.2f (E/slope %.2f), Mo K-alpha at %.2f "
              "(E/slope %.2f), ICR %.0f cps",
              setting, scale.slopeEv, fe.last(), scale.channel(kFeKalphaEv), mo.last(),
              scale.channel(kMoKalphaEv), spectrum.inputCountRate());
        QVERIFY(std::abs(fe.last() - scale.channel(kFeKalphaEv)) < 1.0);
        QVERIFY(std::abs(mo.last() - scale.channel(kMoKalphaEv)) < 1.5);
    }
    QCOMPARE(m_instrument->engine()->setFpgaGain(gain), 0);
    QVERIFY(fe.at(1) < fe.at(0) * 0.92 && fe.at(1) > fe.at(0) * 0.88);
    QVERIFY(mo.at(1) < mo.at(0) * 0.91 && mo.at(1) > mo.at(0) * 0.89);
    QVERIFY(std::abs(slopes.at(1) / slopes.at(0) - 1 / 0.9) < 1.0e-3);
}

void TestSimExposure::stopExposureEndsEarlyWithStoppedByUser()
{
    QSignalSpy spectra(m_relay.get(), &ExposureRelay::spectrum);
    QSignalSpy stopped(m_relay.get(), &ExposureRelay::exposureStopped);
    QCOMPARE(m_manager->startExposure(exposure(40, 50, 600), 0, 0, 0, 0, 0, 0), 0);
    QTRY_VERIFY(spectra.count() >= 1);
    QCOMPARE(m_manager->stopExposure(true), 0);
    waitForStop(stopped);
    QCOMPARE(stopped.first().at(0).value<HM::XrfExposureEndCondition>(), HM::EndStoppedByUser);
    QVERIFY(spectra.count() < 600);
    XrfUtils::activeSleep(3000); // three exposure seconds
    QCOMPARE(stopped.count(), 1);
}

void TestSimExposure::secondExposureWhileBusyIsRefused()
{
    QSignalSpy stopped(m_relay.get(), &ExposureRelay::exposureStopped);
    QCOMPARE(m_manager->startExposure(exposure(40, 50, 600), 0, 0, 0, 0, 0, 0), 0);
    QCOMPARE(m_manager->startExposure(exposure(40, 50, 1), 0, 0, 0, 0, 0, 0), int(EngineBusy));
    QCOMPARE(m_manager->stopExposure(true), 0);
    waitForStop(stopped);
}

void TestSimExposure::settingsOutsideTheTubeLimitsAreRefused()
{
    QCOMPARE(m_manager->startExposure(exposure(55, 50, 1), 0, 0, 0, 0, 0, 0),
             int(EngineOutOfRange));
    QCOMPARE(m_manager->startExposure(exposure(40, 150, 1), 0, 0, 0, 0, 0, 0),
             int(EngineOutOfRange));
    XrfExposureSettings unknownFilter = exposure(40, 50, 1);
    unknownFilter.setFilter(XrfFilterProperties(50, 123, 2718));
    QCOMPARE(m_manager->startExposure(unknownFilter, 0, 0, 0, 0, 0, 0), int(EngineInvalidArgument));
}

void TestSimExposure::timeScaleZeroRunsAtOnce()
{
    XrfTimeScale::setScale(0);
    QSignalSpy spectra(m_relay.get(), &ExposureRelay::spectrum);
    QSignalSpy stopped(m_relay.get(), &ExposureRelay::exposureStopped);
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(m_manager->startExposure(exposure(40, 50, 60), 0, 0, 0, 0, 0, 0), 0);
    waitForStop(stopped);
    QVERIFY(timer.elapsed() < 5000);
    QCOMPARE(spectra.count(), 60);
    QCOMPARE(spectra.last().at(0).value<XrfSpectrum>().realTime(), 60.0);
}

void TestSimExposure::liveTimeExposureRunsUntilTheLiveTimeIsReached()
{
    XrfExposureSettings settings = exposure(40, 100, 5);
    settings.setUseLiveTime(true);
    QSignalSpy spectra(m_relay.get(), &ExposureRelay::spectrum);
    QSignalSpy stopped(m_relay.get(), &ExposureRelay::exposureStopped);
    QCOMPARE(m_manager->startExposure(settings, 0, 0, 0, 0, 0, 0), 0);
    waitForStop(stopped);
    const XrfSpectrum last = spectra.last().at(0).value<XrfSpectrum>();
    QVERIFY(std::abs(last.liveTime() - 5.0) < 1.0e-6);
    QVERIFY(last.realTime() > 6.0);
}

void TestSimExposure::openInterlockEndsTheExposure()
{
    m_instrument->setInterlockClosed(false);
    QSignalSpy started(m_relay.get(), &ExposureRelay::exposureStarted);
    QSignalSpy stopped(m_relay.get(), &ExposureRelay::exposureStopped);
    QCOMPARE(m_manager->startExposure(exposure(40, 50, 5), 0, 0, 0, 0, 0, 0), 0);
    waitForStop(stopped);
    QCOMPARE(started.count(), 0);
    QCOMPARE(stopped.first().at(0).value<HM::XrfExposureEndCondition>(), HM::EndInterlockOpened);
}

void TestSimExposure::fiftyKvNeedsAClosedTestStandWhenTheRuleIsSet()
{
    QCOMPARE(m_instrument->engine()->setSafetyModeFlags(0x0008), 0);
    m_instrument->setTestStand(true, false);
    QSignalSpy stopped(m_relay.get(), &ExposureRelay::exposureStopped);
    QCOMPARE(m_manager->startExposure(exposure(50, 40, 2), 0, 0, 0, 0, 0, 0), 0);
    waitForStop(stopped);
    QCOMPARE(stopped.first().at(0).value<HM::XrfExposureEndCondition>(), HM::EndInterlockOpened);
    m_instrument->setTestStand(true, true);
    QSignalSpy stoppedAgain(m_relay.get(), &ExposureRelay::exposureStopped);
    QCOMPARE(m_manager->startExposure(exposure(50, 40, 2), 0, 0, 0, 0, 0, 0), 0);
    waitForStop(stoppedAgain);
    QCOMPARE(stoppedAgain.first().at(0).value<HM::XrfExposureEndCondition>(), HM::EndNormal);
    QCOMPARE(m_instrument->engine()->setSafetyModeFlags(0), 0);
}

void TestSimExposure::darkRateArrivesBySignal()
{
    QSignalSpy darkRate(m_relay.get(), &ExposureRelay::darkRateUpdated);
    m_manager->getDarkRate(10);
    QTRY_COMPARE(darkRate.count(), 1);
    QVERIFY(darkRate.first().at(0).toUInt() < 5);
    m_instrument->faults().setExtraDarkRate(300);
    m_manager->getDarkRate(10);
    QTRY_COMPARE(darkRate.count(), 2);
    QVERIFY(darkRate.last().at(0).toUInt() > 250);
}

void TestSimExposure::hardwareConfigIsReReadOnRequest()
{
    const QSharedPointer<const XrfHardwareConfig> before = m_manager->hardwareConfig();
    QCOMPARE(before->insSerialNumber(), QStringLiteral("800123"));
    QCOMPARE(before->filters().size(), 10);
    QVERIFY(before->filterWheelMotorPresent());
    QCOMPARE(m_instrument->engine()->setInstrumentSerialNumber(800999), 0);
    QSignalSpy updated(m_relay.get(), &ExposureRelay::hardwareConfigUpdated);
    m_manager->onUpdateHardwareConfig();
    QTRY_COMPARE(updated.count(), 1);
    QCOMPARE(updated.first().at(0).value<XrfHardwareConfig>().insSerialNumber(),
             QStringLiteral("800999"));
    QCOMPARE(before->insSerialNumber(), QStringLiteral("800123")); // a snapshot handed out stays
    QCOMPARE(m_instrument->engine()->setInstrumentSerialNumber(800123), 0);
    m_manager->onUpdateHardwareConfig();
}

QTEST_GUILESS_MAIN(TestSimExposure)
#include "tst_simexposure.moc"
