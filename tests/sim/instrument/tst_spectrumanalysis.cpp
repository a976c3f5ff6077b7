// Peak finding and resolution on hand-made spectra and on spectra of the simulated instrument.

#include "simengine.h"
#include "siminstrument.h"
#include "spectrumprobe.h"
#include "xrfspectrum.h"
#include "xrftimescale.h"
#include "xrfutils.h"

#include <QtTest>

#include <cmath>

namespace {

// A Gaussian peak of `area` counts on a background that slopes from 50 to 20 counts.
XrfSpectrum gaussianSpectrum(int channels, const QVector<QPair<double, double>> &peaks, double fwhm,
                             double area = 50000)
{
    QVector<quint32> counts(channels);
    const double sigma = fwhm / (2.0 * std::sqrt(2.0 * std::log(2.0)));
    for (int c = 0; c < channels; ++c) {
        double value = 50.0 - 30.0 * c / channels;
        for (const auto &peak : peaks)
            value += peak.second * area / (sigma * std::sqrt(2 * M_PI))
                * std::exp(-0.5 * std::pow((c - peak.first) / sigma, 2));
        counts[c] = quint32(std::lround(value));
    }
    XrfSpectrum spectrum;
    spectrum.setData(counts);
    return spectrum;
}

XrfSpectrum simulatedSpectrum(SimInstrument &instrument, double seconds)
{
    const SimDetectorResponse response = SpectrumProbe::expected(instrument, 40, 100, 0);
    QVector<quint32> counts;
    for (double rate : response.perSecond)
        counts.append(quint32(std::lround(rate * seconds)));
    XrfSpectrum spectrum;
    spectrum.setData(counts);
    spectrum.setEnergySlope(response.scale.slopeEv);
    spectrum.setEnergyOffset(response.scale.offsetEv);
    spectrum.setLiveTime(seconds);
    return spectrum;
}

const double kFeKaEv = 6403.8;
const double kMoKaEv = 17479.3;

} // namespace

class TstSpectrumAnalysis : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void maxBinTakesTheFirstOfEqualCounts();
    void peakCentreAndWidthOnASlopingBackground_data();
    void peakCentreAndWidthOnASlopingBackground();
    void noPeakInAFlatOrTinyWindow();
    void resolutionFromTwoHandMadePeaks();
    void energyRegionsAndBackgroundRate();
    void simulatedSs316PeaksFollowTheGain();

private:
    QTemporaryDir m_root;
};

void TstSpectrumAnalysis::initTestCase()
{
    XrfUtils::setInstrumentRoot(m_root.path());
    XrfTimeScale::setScale(0.001);
}

void TstSpectrumAnalysis::maxBinTakesTheFirstOfEqualCounts()
{
    XrfSpectrum spectrum;
    spectrum.setData({1, 9, 3, 9, 2});
    int index = -1;
    int count = -1;
    QVERIFY(spectrum.findMaxBin(&index, &count, 0));
    QCOMPARE(index, 1);
    QCOMPARE(count, 9);
    QVERIFY(spectrum.findMaxBin(&index, &count, 2));
    QCOMPARE(index, 3);
    QVERIFY(!spectrum.findMaxBin(&index, &count, 5));
    QVERIFY(!XrfSpectrum().findMaxBin(&index, &count, 0));
}

void TstSpectrumAnalysis::peakCentreAndWidthOnASlopingBackground_data()
{
    QTest::addColumn<double>("centre");
    QTest::addColumn<double>("fwhm");
    QTest::newRow("narrow") << 500.3 << 7.0;
    QTest::newRow("wide, off the search start") << 1203.7 << 16.0;
}

void TstSpectrumAnalysis::peakCentreAndWidthOnASlopingBackground()
{
    QFETCH(double, centre);
    QFETCH(double, fwhm);
    const XrfSpectrum spectrum = gaussianSpectrum(2048, {{centre, 1.0}}, fwhm);
    double found = 0;
    double width = 0;
    QVector<int> channels;
    QVERIFY(spectrum.findPeak(int(centre) + 4, 3 * int(fwhm), &found, &width, &channels));
    QVERIFY2(std::abs(found - centre) < 0.1, qPrintable(QString::number(found)));
    QVERIFY2(std::abs(width - fwhm) < 0.03 * fwhm, qPrintable(QString::number(width)));
    QVERIFY(!channels.isEmpty());
    QVERIFY(channels.first() >= centre - fwhm && channels.last() <= centre + fwhm);
}

void TstSpectrumAnalysis::noPeakInAFlatOrTinyWindow()
{
    XrfSpectrum flat;
    flat.setData(QVector<quint32>(100, 7));
    double centre = -1;
    double width = -1;
    QVERIFY(!flat.findPeak(50, 10, &centre, &width));
    QVERIFY(!flat.findPeak(0, 1, &centre, &width));
    QVERIFY(!XrfSpectrum().findPeak(0, 10, &centre, &width));
}

void TstSpectrumAnalysis::resolutionFromTwoHandMadePeaks()
{
    // 10 eV per channel, no offset: Fe at channel 640.38 and Mo at 1747.93, 14 channels wide.
    XrfSpectrum spectrum = gaussianSpectrum(2048, {{kFeKaEv / 10, 1.0}, {kMoKaEv / 10, 0.5}}, 14.0);
    spectrum.setEnergySlope(10.2); // a slightly wrong scale only guides the search
    double ch1 = -1;
    double ch2 = -1;
    const double resolution = spectrum.calculateResolution(kFeKaEv, kMoKaEv, &ch1, &ch2);
    QVERIFY2(std::abs(resolution - 140.0) < 4.0, qPrintable(QString::number(resolution)));
    QVERIFY(std::abs(ch1 - kFeKaEv / 10) < 0.2);
    QVERIFY(std::abs(ch2 - kMoKaEv / 10) < 0.2);

    double slope = 0;
    double offset = 1;
    QVERIFY(spectrum.calculateSlopeAndOffset(kFeKaEv / 1000, kMoKaEv / 1000, &slope, &offset));
    QVERIFY(std::abs(slope - 0.010) < 0.0001);
    QVERIFY(std::abs(offset) < 0.01);

    // Without any energy scale and no positions given there is nothing to search from.
    XrfSpectrum unscaled = gaussianSpectrum(2048, {{640, 1.0}}, 14.0);
    double none1 = -1;
    double none2 = -1;
    QCOMPARE(unscaled.calculateResolution(kFeKaEv, kMoKaEv, &none1, &none2), -1.0);
}

void TstSpectrumAnalysis::energyRegionsAndBackgroundRate()
{
    XrfSpectrum spectrum;
    spectrum.setData({10, 20, 30, 40, 50});
    QCOMPARE(spectrum.sumCountsInRegion(100, 300, 0.0, 100.0), quint64(20 + 30 + 40));
    QCOMPARE(spectrum.sumCountsInRegion(100, 300, 0.0, 0.0), quint64(0));
    QCOMPARE(spectrum.calculateBackgroundRate(), 0.0);
    spectrum.setRealTime(4);
    QCOMPARE(spectrum.calculateBackgroundRate(), 37.5);
    spectrum.setLiveTime(3);
    QCOMPARE(spectrum.calculateBackgroundRate(), 50.0);
}

void TstSpectrumAnalysis::simulatedSs316PeaksFollowTheGain()
{
    SimInstrument instrument("default");
    QVERIFY(instrument.loadSample("SS316"));
    // The resolution is that of a detector at its set temperature: let the cooler get there.
    unsigned short status = 0;
    QTRY_VERIFY_WITH_TIMEOUT(instrument.engine()->readValue16(xrf_hal::RegDetectorStatus, &status)
                                     == 0
                                 && (status & 0x2),
                             5000);
    const XrfSpectrum before = simulatedSpectrum(instrument, 10);
    double fe = -1;
    double mo = -1;
    const double resolution = before.calculateResolution(kFeKaEv, kMoKaEv, &fe, &mo);
    QVERIFY2(resolution > 130 && resolution < 165, qPrintable(QString::number(resolution)));
    QVERIFY(std::abs(fe - (kFeKaEv - before.energyOffset()) / before.energySlope()) < 1.5);
    // Mo K-alpha is a doublet 105 eV apart: its half-maximum centre lies between the two lines.
    const double moKa2 = (17374.3 - before.energyOffset()) / before.energySlope();
    const double moKa1 = (kMoKaEv - before.energyOffset()) / before.energySlope();
    QVERIFY2(mo > moKa2 && mo < moKa1 + 0.5, qPrintable(QString::number(mo)));

    // A pulse processor's gain stretches the energy scale: 10 % less gain, 10 % lower channels.
    quint32 gain = 0;
    QCOMPARE(instrument.engine()->getFpgaGain(&gain), 0);
    QCOMPARE(instrument.engine()->setFpgaGain(quint32(gain * 0.9)), 0);
    const XrfSpectrum after = simulatedSpectrum(instrument, 10);
    double fe2 = -1;
    double mo2 = -1;
    QVERIFY(after.calculateResolution(kFeKaEv, kMoKaEv, &fe2, &mo2) > 0);
    QVERIFY2(std::abs((mo2 - fe2) / (mo - fe) - 0.9) < 0.01,
             qPrintable(QStringLiteral("%1 %2 %3 %4").arg(fe).arg(mo).arg(fe2).arg(mo2)));
}

QTEST_GUILESS_MAIN(TstSpectrumAnalysis)
#include "tst_spectrumanalysis.moc"
