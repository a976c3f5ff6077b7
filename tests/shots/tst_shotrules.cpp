// The rules of the beams setup and the air shots on their own: the count-rate loop's current rule
// and limits, the sample's peak check and the safe background rate.

#include "beamcurrentrule.h"
#include "beampeakcheck.h"
#include "safebackgroundrate.h"
#include "xrfutils.h"

#include <QtTest>

#include <cmath>

namespace {

XrfBeamInfo beam(uint target, uint tolerance, uint dimmer = 0)
{
    XrfBeamInfo b;
    b.setBeamName("alloyMain");
    b.setTargetICR(target);
    b.setIcrTolerance(tolerance);
    b.setTargetIcrDim(dimmer);
    return b;
}

// The tube of the default instrument at 40 kV: 5 to 100 uA (4 W).
const BeamCurrentLimits kLimits{5, 100};

// A spectrum with one Gaussian line per (energy in eV, height) on a flat floor, with the energy
// scale in eV and eV per channel.
XrfSpectrum spectrumWith(const QList<QPair<double, double>> &lines, double slopeEv = 20,
                         double offsetEv = 0, int channels = 1024)
{
    QVector<quint32> counts(channels, 20);
    for (const auto &line : lines) {
        const double centre = (line.first - offsetEv) / slopeEv;
        const double sigma = 150.0 / 2.355 / slopeEv;
        for (int c = 0; c < channels; ++c)
            counts[c] += quint32(line.second * std::exp(-0.5 * std::pow((c - centre) / sigma, 2)));
    }
    XrfSpectrum spectrum;
    spectrum.setData(counts);
    spectrum.setEnergySlope(slopeEv);
    spectrum.setEnergyOffset(offsetEv);
    spectrum.setRealTime(3);
    return spectrum;
}

double kev(const char *symbol)
{
    return 1000 * XrfUtils::emissionLineEnergy(XrfUtils::atomicNumber(symbol), XrfUtils::KAlpha);
}

} // namespace

class TstShotRules : public QObject
{
    Q_OBJECT

private slots:
    void elementsComeFromXraylib();
    void toleranceIsStrict();
    void currentScalesToTheTarget();
    void powerLimitsTheMaximumCurrent();
    void atMaximumCurrentAboveTargetRetriesLower();
    void atMaximumCurrentBelowTargetWithoutDimmerFails();
    void dimmerTargetGetsOneReshoot();
    void atMinimumCurrent();
    void everyRetryCountsAgainstTheIterationLimit_data();
    void everyRetryCountsAgainstTheIterationLimit();

    void peakCheckFindsTheSamplesLine_data();
    void peakCheckFindsTheSamplesLine();
    void peakCheckNeedsAnEnergyScale();
    void samplesWithoutACheck();

    void safeRateTolerance_data();
    void safeRateTolerance();
};

void TstShotRules::elementsComeFromXraylib()
{
    QCOMPARE(XrfUtils::atomicNumber("Fe"), 26);
    QCOMPARE(XrfUtils::atomicNumber("Xx"), 0);
    QCOMPARE(XrfUtils::atomicNumber(""), 0);
    QCOMPARE(XrfUtils::elementSymbol(14), QStringLiteral("Si"));
    QVERIFY(XrfUtils::elementSymbol(0).isEmpty());
    QVERIFY(qAbs(XrfUtils::emissionLineEnergy(26, XrfUtils::KAlpha) - 6.40) < 0.01);
    QVERIFY(qAbs(XrfUtils::emissionLineEnergy(13, XrfUtils::KAlpha) - 1.49) < 0.01);
    QCOMPARE(XrfUtils::emissionLineEnergy(200, XrfUtils::KAlpha), 0.0);
}

void TstShotRules::toleranceIsStrict()
{
    const XrfBeamInfo b = beam(50000, 2500);
    QCOMPARE(decideBeamCurrent(b, 52499, 50, kLimits, 0, 5).action, BeamShotDecision::Success);
    QCOMPARE(decideBeamCurrent(b, 52500, 50, kLimits, 0, 5).action, BeamShotDecision::Retry);
    QCOMPARE(decideBeamCurrent(b, 47500, 50, kLimits, 0, 5).action, BeamShotDecision::Retry);
}

void TstShotRules::currentScalesToTheTarget()
{
    // Twice the target at 20 uA: half the current.
    BeamShotDecision d = decideBeamCurrent(beam(50000, 2500), 100000, 20, kLimits, 0, 5);
    QCOMPARE(d.action, BeamShotDecision::Retry);
    QCOMPARE(d.currentUa, 10.0f);
    // Clamped to the limits.
    QCOMPARE(decideBeamCurrent(beam(50000, 2500), 1000, 20, kLimits, 0, 5).currentUa, 100.0f);
    QCOMPARE(decideBeamCurrent(beam(50000, 2500), 1e6, 20, kLimits, 0, 5).currentUa, 5.0f);
    // Nothing counted at all: the most current the tube allows.
    QCOMPARE(decideBeamCurrent(beam(50000, 2500), 0, 20, kLimits, 0, 5).currentUa, 100.0f);
}

void TstShotRules::powerLimitsTheMaximumCurrent()
{
    // An unread power limit counts as 4 W: 100 uA at 40 kV below the 200 uA limit.
    BeamCurrentLimits limits = BeamCurrentLimits::fromTube(0, 5, 200, 40, 4);
    QCOMPARE(limits.maxUa, 100.0f);
    QCOMPARE(limits.minUa, 5.0f);
    QCOMPARE(BeamCurrentLimits::fromTube(4, 5, 200, 15, 4).maxUa, 200.0f);
    QCOMPARE(BeamCurrentLimits::fromTube(2, 5, 100, 30, 4).maxUa, 66.0f);
}

void TstShotRules::atMaximumCurrentAboveTargetRetriesLower()
{
    const BeamShotDecision d = decideBeamCurrent(beam(50000, 2500), 60000, 100, kLimits, 1, 5);
    QCOMPARE(d.action, BeamShotDecision::Retry);
    QVERIFY(qAbs(d.currentUa - 83.3333f) < 0.01f);
    QVERIFY(d.notes.join(' ').contains("ICR above target at max current.  Retrying...  "
                                       "icr:60000 icrTolerance:2500 targetICR:50000"));
}

void TstShotRules::atMaximumCurrentBelowTargetWithoutDimmerFails()
{
    const BeamShotDecision d = decideBeamCurrent(beam(50000, 2500), 20000.5, 100, kLimits, 1, 5);
    QCOMPARE(d.action, BeamShotDecision::CurrentLimitReached);
    QCOMPARE(d.currentUa, 100.0f);
    QCOMPARE(d.message,
             QStringLiteral("alloyMain: ICR 20000.5cps still not within 2500cps "
                            "tolerance of 50000cps targetIcr value despite current being "
                            "at 100uA. targetIcrDim is not set."));
}

void TstShotRules::dimmerTargetGetsOneReshoot()
{
    XrfBeamInfo b = beam(50000, 2500, 30000);
    BeamShotDecision d = decideBeamCurrent(b, 20000, 100, kLimits, 3, 5);
    QCOMPARE(d.action, BeamShotDecision::Retry);
    QVERIFY(d.switchToDimmerTarget);
    QVERIFY(d.restartIterations);
    QCOMPARE(d.currentUa, 100.0f);
    QVERIFY(d.notes.join(' ').contains("Re-shooting the beam 'alloyMain' for targetIcrDim: 30000. "
                                       "Original targerIcr:50000"));
    // Even at the iteration limit the re-shoot happens once.
    QCOMPARE(decideBeamCurrent(b, 20000, 100, kLimits, 5, 5).action, BeamShotDecision::Retry);

    // Within the dimmer target's tolerance at full current: found, on the dimmer target.
    d = decideBeamCurrent(b, 29000, 100, kLimits, 2, 5);
    QCOMPARE(d.action, BeamShotDecision::Success);
    QVERIFY(d.switchToDimmerTarget);

    b.setEnableDimmerTargetIcr();
    QCOMPARE(b.targetICR(), 30000u);
    d = decideBeamCurrent(b, 20000, 100, kLimits, 0, 5);
    QCOMPARE(d.action, BeamShotDecision::CurrentLimitReached);
    QCOMPARE(d.message,
             QStringLiteral("alloyMain: ICR 20000cps still not within 2500cps tolerance "
                            "of 30000cps targetIcrDim value despite current being at "
                            "100uA."));
}

void TstShotRules::atMinimumCurrent()
{
    BeamShotDecision d = decideBeamCurrent(beam(18000, 900), 47669.5, 5, kLimits, 1, 5);
    QCOMPARE(d.action, BeamShotDecision::CurrentLimitReached);
    QCOMPARE(d.message,
             QStringLiteral("alloyMain:  ICR 47669.5cps still not within 900cps "
                            "tolerance of 18000cps target value despite current being "
                            "at 5uA"));
    d = decideBeamCurrent(beam(18000, 900), 9000, 5, kLimits, 1, 5);
    QCOMPARE(d.action, BeamShotDecision::Retry);
    QCOMPARE(d.currentUa, 10.0f);
    QVERIFY(d.notes.join(' ').contains("ICR below target at min current.  Retrying..."));
}

void TstShotRules::everyRetryCountsAgainstTheIterationLimit_data()
{
    QTest::addColumn<double>("icr");
    QTest::addColumn<float>("current");
    // A count rate that does not follow the current would otherwise bounce between the limits.
    QTest::newRow("between the limits") << 30000.0 << 50.0f;
    QTest::newRow("above target at the maximum") << 60000.0 << 100.0f;
    QTest::newRow("below target at the minimum") << 10000.0 << 5.0f;
}

void TstShotRules::everyRetryCountsAgainstTheIterationLimit()
{
    QFETCH(double, icr);
    QFETCH(float, current);
    const XrfBeamInfo b = beam(50000, 2500);
    QCOMPARE(decideBeamCurrent(b, icr, current, kLimits, 4, 5).action, BeamShotDecision::Retry);
    const BeamShotDecision d = decideBeamCurrent(b, icr, current, kLimits, 5, 5);
    QCOMPARE(d.action, BeamShotDecision::MaxAttemptsReached);
    QCOMPARE(d.currentUa, current);
    QVERIFY2(d.message.endsWith("target value after 5 iterations"), qPrintable(d.message));
}

void TstShotRules::peakCheckFindsTheSamplesLine_data()
{
    QTest::addColumn<QString>("sample");
    QTest::addColumn<float>("kv");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("passes");
    QTest::newRow("SS316 shows iron") << "SS316" << 40.0f << QStringList{"Fe", "Cr"} << true;
    QTest::newRow("copper for SS316") << "SS316" << 40.0f << QStringList{"Cu"} << false;
    QTest::newRow("iron, but not the highest peak")
        << "ss316 disc" << 40.0f << QStringList{"Fe", "Cu", "Cu"} << false;
    QTest::newRow("aluminium") << "Al" << 15.0f << QStringList{"Al"} << true;
    QTest::newRow("SiO2 at 15 kV shows silicon") << "SiO2" << 15.0f << QStringList{"Si"} << true;
    QTest::newRow("SiO2 at 15.1 kV must not show iron")
        << "SiO2" << 15.1f << QStringList{"Fe"} << false;
    QTest::newRow("SiO2 at 15.1 kV without iron") << "SiO2" << 15.1f << QStringList{"Si"} << true;
}

void TstShotRules::peakCheckFindsTheSamplesLine()
{
    QFETCH(QString, sample);
    QFETCH(float, kv);
    QFETCH(QStringList, lines);
    QFETCH(bool, passes);
    // The first line is the strongest; a line named twice is twice as high.
    QList<QPair<double, double>> peaks;
    for (const QString &line : lines)
        peaks << qMakePair(kev(qPrintable(line)), peaks.isEmpty() ? 3000.0 : 2000.0);
    BeamPeakCheck check = BeamPeakCheck::forSample(sample, kv);
    QVERIFY(check.isNeeded());
    // The energy scale is in eV: 19.98 eV per channel from -14 eV.
    QCOMPARE(check.run(spectrumWith(peaks, 19.98, -14)), passes);
    QVERIFY(check.error.isEmpty());
    QVERIFY(check.describe().startsWith("BeamsSetup validation - peakSearchPostionInt : "));
    QVERIFY(check.describe().contains(QString("checkResultCombine : %1").arg(passes ? 1 : 0)));
}

void TstShotRules::peakCheckNeedsAnEnergyScale()
{
    BeamPeakCheck check = BeamPeakCheck::forSample("SS316", 40);
    QVERIFY(!check.run(spectrumWith({{kev("Fe"), 3000}}, 0)));
    QCOMPARE(check.error,
             QStringLiteral("the spectrum has no energy scale (energy slope 0 eV per channel)"));
}

void TstShotRules::samplesWithoutACheck()
{
    QVERIFY(!BeamPeakCheck::forSample("Cu", 50).isNeeded());
    QCOMPARE(BeamPeakCheck::forSample("SS316", 40).symbol, QStringLiteral("Fe"));
    QCOMPARE(BeamPeakCheck::forSample("SiO2", 15).symbol, QStringLiteral("Si"));
    QVERIFY(!BeamPeakCheck::forSample("SiO2", 20).positive);
}

void TstShotRules::safeRateTolerance_data()
{
    QTest::addColumn<QJsonValue>("percent");
    QTest::addColumn<int>("floor");
    QTest::addColumn<double>("safeRate");
    QTest::addColumn<double>("limit");
    QTest::newRow("percentage above the floor") << QJsonValue(10) << 50 << 1000.0 << 1100.0;
    QTest::newRow("floor above the percentage") << QJsonValue(10) << 50 << 100.0 << 150.0;
    QTest::newRow("percentage over 100 counts as 0") << QJsonValue(150) << 50 << 1000.0 << 1050.0;
    QTest::newRow("negative percentage counts as 0") << QJsonValue(-5) << 0 << 1000.0 << 1000.0;
    QTest::newRow("percentage truncated") << QJsonValue(15) << 0 << 333.0 << 382.0;
}

void TstShotRules::safeRateTolerance()
{
    QFETCH(QJsonValue, percent);
    QFETCH(int, floor);
    QFETCH(double, safeRate);
    QFETCH(double, limit);
    const SafeBackgroundRate rule = SafeBackgroundRate::fromSetupData(percent, floor);
    QCOMPARE(rule.limit(safeRate), limit);
    QVERIFY(rule.passes(limit, safeRate));
    QVERIFY(!rule.passes(limit + 0.01, safeRate));
}

QTEST_GUILESS_MAIN(TstShotRules)
#include "tst_shotrules.moc"
