#include "simfaults.h"
#include "spectrumprobe.h"
#include "xrftimescale.h"
#include "xrfutils.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace xrf_hal;

namespace {
constexpr double kFeKalphaEv = 6400.0;
constexpr double kMoKalphaEv = 17440.0;
constexpr double kMnKalphaEv = 5895.0;
} // namespace

// The simulated physics: where peaks land, how wide they are, how the count rates behave.
class TestSimPhysics : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void peaksLandAtTheirEnergyOverTheSlope();
    void gainRegisterMovesPeaksProportionally();
    void resolutionNearSixKeVIsThatOfAnSdd();
    void outputRateStaysBelowInputRateAndSaturates();
    void airShotHasScatterBackground();
    void tungstenPositionBlocksTheBeam();
    void collimatedHolePassesAThirdOfTheOpenHole();
    void wheelAssembliesDifferAtF3F5F7();

private:
    QTemporaryDir m_root;
    std::unique_ptr<SimInstrument> m_instrument;
};

void TestSimPhysics::initTestCase()
{
    QVERIFY(m_root.isValid());
    XrfUtils::setInstrumentRoot(m_root.path());
    XrfTimeScale::setScale(0.001);
    m_instrument.reset(new SimInstrument(QStringLiteral("default")));
    QVERIFY(m_instrument->loadSample(QStringLiteral("SS316")));
    // The detector's noise depends on its temperature: let the cooler bring it to its set point.
    unsigned short status = 0;
    QTRY_VERIFY_WITH_TIMEOUT(m_instrument->engine()->readValue16(RegDetectorStatus, &status) == 0
                                 && (status & 0x2),
                             5000);
}

void TestSimPhysics::peaksLandAtTheirEnergyOverTheSlope()
{
    const SimDetectorResponse response = SpectrumProbe::expected(*m_instrument, 40, 100, 0);
    const SimEnergyScale scale = response.scale;
    const double fe = SpectrumProbe::centroid(response.perSecond, scale.channel(kFeKalphaEv), 8);
    const double mo = SpectrumProbe::centroid(response.perSecond, scale.channel(kMoKalphaEv), 10);
    qInfo(
        "slope %.3f eV/ch, offset %.1f eV: Fe at %.2f (expected %.2f), Mo at %.2f (expected %.2f)",
        scale.slopeEv, scale.offsetEv, fe, scale.channel(kFeKalphaEv), mo,
        scale.channel(kMoKalphaEv));
    QVERIFY(std::abs(fe - scale.channel(kFeKalphaEv)) < 0.5);
    QVERIFY(std::abs(mo - scale.channel(kMoKalphaEv)) < 0.7);
}

void TestSimPhysics::gainRegisterMovesPeaksProportionally()
{
    SimEngine &engine = *m_instrument->engine();
    quint32 gain = 0;
    QCOMPARE(engine.getFpgaGain(&gain), 0);
    const SimDetectorResponse before = SpectrumProbe::expected(*m_instrument, 40, 100, 0);
    QCOMPARE(engine.setFpgaGain(quint32(gain * 1.1)), 0);
    const SimDetectorResponse after = SpectrumProbe::expected(*m_instrument, 40, 100, 0);
    QCOMPARE(engine.setFpgaGain(gain), 0);
    const double feBefore =
        SpectrumProbe::centroid(before.perSecond, before.scale.channel(kFeKalphaEv), 8);
    const double feAfter =
        SpectrumProbe::centroid(after.perSecond, after.scale.channel(kFeKalphaEv), 8);
    const double moBefore =
        SpectrumProbe::centroid(before.perSecond, before.scale.channel(kMoKalphaEv), 10);
    const double moAfter =
        SpectrumProbe::centroid(after.perSecond, after.scale.channel(kMoKalphaEv), 10);
    qInfo("gain %u: Fe %.2f Mo %.2f; gain %u: Fe %.2f Mo %.2f", gain, feBefore, moBefore,
          quint32(gain * 1.1), feAfter, moAfter);
    const double offsetChannels = before.scale.offsetEv / before.scale.slopeEv;
    QVERIFY(std::abs((feAfter + offsetChannels * 1.1) / (feBefore + offsetChannels) - 1.1) < 0.003);
    QVERIFY(std::abs((moAfter + offsetChannels * 1.1) / (moBefore + offsetChannels) - 1.1) < 0.003);
}

void TestSimPhysics::resolutionNearSixKeVIsThatOfAnSdd()
{
    // Pure manganese: no neighbour under its K-alpha (in SS316 the Cr K-beta sits 48 eV away).
    QVERIFY(m_instrument->loadSample(QStringLiteral("Mn")));
    const SimDetectorResponse manganese = SpectrumProbe::expected(*m_instrument, 40, 20, 0);
    QVERIFY(m_instrument->loadSample(QStringLiteral("SS316")));
    const SimDetectorResponse steel = SpectrumProbe::expected(*m_instrument, 40, 100, 0);
    const double mn =
        SpectrumProbe::fwhmChannels(manganese.perSecond, manganese.scale.channel(kMnKalphaEv), 8)
        * manganese.scale.slopeEv;
    const double fe =
        SpectrumProbe::fwhmChannels(steel.perSecond, steel.scale.channel(kFeKalphaEv), 8)
        * steel.scale.slopeEv;
    qInfo("FWHM: Mn K-alpha %.1f eV, Fe K-alpha (SS316) %.1f eV", mn, fe);
    QVERIFY(mn > 130 && mn < 160);
    QVERIFY(fe > 130 && fe < 160);
    QVERIFY(fe > mn);
}

void TestSimPhysics::outputRateStaysBelowInputRateAndSaturates()
{
    const SimDetectorResponse nominal = SpectrumProbe::expected(*m_instrument, 40, 100, 0);
    qInfo("SS316 40 kV 100 uA open: ICR %.0f OCR %.0f", nominal.icr, nominal.ocr);
    QVERIFY(nominal.ocr < nominal.icr);
    QVERIFY(nominal.icr > 50000 && nominal.icr < 400000);
    const SimDetectorResponse low = SpectrumProbe::expected(*m_instrument, 40, 10, 0);
    QVERIFY(std::abs(low.icr / nominal.icr - 0.1) < 0.001);
    // Paralyzable dead time: past 1/tau the processed rate falls as the input rate grows.
    const double peakInput = 1.0e6 / nominal.deadTimeUs;
    const double ocrAtPeak = peakInput * std::exp(-1.0);
    QVERIFY(nominal.ocr < ocrAtPeak);
    const double doubled = 2 * peakInput * std::exp(-2.0);
    QVERIFY(doubled < ocrAtPeak);
}

void TestSimPhysics::airShotHasScatterBackground()
{
    QVERIFY(m_instrument->loadSample(QStringLiteral("air")));
    const SimDetectorResponse air = SpectrumProbe::expected(*m_instrument, 40, 100, 0);
    QVERIFY(m_instrument->loadSample(QStringLiteral("SS316")));
    qInfo("air 40 kV 100 uA open: ICR %.0f cps", air.icr);
    QVERIFY(air.icr > 10);
    QVERIFY(air.icr < 20000);
}

void TestSimPhysics::tungstenPositionBlocksTheBeam()
{
    const SimDetectorResponse open = SpectrumProbe::expected(*m_instrument, 40, 100, 0);
    const SimDetectorResponse tungsten = SpectrumProbe::expected(*m_instrument, 40, 100, 7);
    qInfo("F0 open %.0f cps, F7 tungsten %.2f cps", open.icr, tungsten.icr);
    QVERIFY(tungsten.icr < 5);
}

void TestSimPhysics::collimatedHolePassesAThirdOfTheOpenHole()
{
    const double open = SpectrumProbe::expected(*m_instrument, 40, 100, 1).icr;
    const double collimated = SpectrumProbe::expected(*m_instrument, 40, 100, 2).icr;
    qInfo("Al 100 um: open %.0f cps, collimated %.0f cps, ratio %.2f", open, collimated,
          open / collimated);
    QVERIFY(open / collimated > 2.5 && open / collimated < 3.5);
}

void TestSimPhysics::wheelAssembliesDifferAtF3F5F7()
{
    struct Expectation
    {
        QString model;
        int f3VsF5;
        bool f7Open;
    };
    const QList<Expectation> expectations = {{QStringLiteral("default"), +1, false},
                                             {QStringLiteral("MP"), -1, false},
                                             {QStringLiteral("HD"), -1, false},
                                             {QStringLiteral("Harrier"), +1, true}};
    for (const Expectation &e : expectations) {
        SimInstrument instrument(e.model);
        instrument.loadSample(QStringLiteral("SS316"));
        const double f3 = SpectrumProbe::expected(instrument, 40, 50, 3).icr;
        const double f5 = SpectrumProbe::expected(instrument, 40, 50, 5).icr;
        const double f7 = SpectrumProbe::expected(instrument, 40, 50, 7).icr;
        qInfo("%s: F3 %.0f F5 %.0f F7 %.1f cps", qPrintable(e.model), f3, f5, f7);
        QCOMPARE(f3 > f5 ? +1 : -1, e.f3VsF5);
        QCOMPARE(f7 > 100, e.f7Open);
    }
}

QTEST_GUILESS_MAIN(TestSimPhysics)
#include "tst_simphysics.moc"
