#include "simfactorsetfit.h"

#include "xrfspectrum.h"

#include <QJsonArray>

#include <xraylib.h>

#include <cmath>

// The spectrum side of the factor set: which line of an element is measured, where its peak and
// background windows lie, and its net intensity with the overlaps of other elements taken off.

namespace SimFactorSetFit {

namespace {
// Two line energies closer than this are the same line.
constexpr double kSameLineKeV = 0.001;
// The highest line energy the windows keep clear of.
constexpr double kHighestLineKeV = 40.0;
} // namespace

// `lines` without the one at `energyKeV`.
QVector<double> otherLines(const QVector<double> &lines, double energyKeV)
{
    QVector<double> others;
    for (double energy : lines) {
        if (std::abs(energy - energyKeV) > kSameLineKeV)
            others.append(energy);
    }
    return others;
}

bool LineWindows::hasBackground() const
{
    return leftHighEv > leftLowEv && rightHighEv > rightLowEv;
}

double LineWindows::lowestEv() const
{
    return hasBackground() ? leftLowEv : peakLowEv;
}

double LineWindows::highestEv() const
{
    return hasBackground() ? rightHighEv : peakHighEv;
}

QJsonObject LineWindows::toJson() const
{
    QJsonObject json{{QStringLiteral("peak"), QJsonArray{peakLowEv, peakHighEv}}};
    if (hasBackground()) {
        json.insert(QStringLiteral("left"), QJsonArray{leftLowEv, leftHighEv});
        json.insert(QStringLiteral("right"), QJsonArray{rightLowEv, rightHighEv});
    }
    return json;
}

bool LineWindows::fromJson(const QJsonObject &json)
{
    const auto region = [&json](const char *key, double *low, double *high) {
        const QJsonArray pair = json.value(QLatin1String(key)).toArray();
        *low = pair.at(0).toDouble(-1);
        *high = pair.at(1).toDouble(-1);
        return pair.size() == 2 && *low >= 0 && *high > *low;
    };
    if (!region("peak", &peakLowEv, &peakHighEv))
        return false;
    if (!json.contains(QStringLiteral("left")) && !json.contains(QStringLiteral("right"))) {
        leftLowEv = leftHighEv = rightLowEv = rightHighEv = 0;
        return true;
    }
    return region("left", &leftLowEv, &leftHighEv) && region("right", &rightLowEv, &rightHighEv)
        && leftHighEv <= peakLowEv && rightLowEv >= peakHighEv;
}

namespace {

// First and last channel of an energy region, both included.
void channelRange(const XrfSpectrum &spectrum, double lowEv, double highEv, int *first, int *last)
{
    *first = int(std::ceil((lowEv - spectrum.energyOffset()) / spectrum.energySlope()));
    *last = int(std::floor((highEv - spectrum.energyOffset()) / spectrum.energySlope()));
}

// Mean counts per channel of a region and its mean channel.
bool regionMean(const XrfSpectrum &spectrum, double lowEv, double highEv, double *perChannel,
                double *centreChannel)
{
    int first = 0, last = 0;
    channelRange(spectrum, lowEv, highEv, &first, &last);
    if (first < 0 || last >= spectrum.channelCount() || last < first)
        return false;
    *perChannel = double(spectrum.sumCountsInRegion(first, last)) / (last - first + 1);
    *centreChannel = 0.5 * (first + last);
    return true;
}

// The line of `lines` within `reachEv` of [lowEv, highEv], or 0.
double lineInRegion(double lowEv, double highEv, const QVector<double> &lines, double reachEv)
{
    for (double energy : lines) {
        const double ev = energy * 1000.0;
        if (ev + reachEv > lowEv && ev - reachEv < highEv)
            return ev;
    }
    return 0;
}

// A side window `direction` (-1 left, +1 right) of the peak region that starts `kBackgroundGapEv`
// out and moves past the lines it would sit on; it stays beside the peak when nothing clear is
// near enough.
void placeSideWindow(double edgeEv, int direction, const QVector<double> &lines, double clearanceEv,
                     double *lowEv, double *highEv)
{
    double inner = edgeEv + direction * kBackgroundGapEv;
    const double firstInner = inner;
    for (;;) {
        const double outer = inner + direction * kBackgroundWidthEv;
        const double line =
            lineInRegion(std::min(inner, outer), std::max(inner, outer), lines, clearanceEv);
        if (line == 0)
            break;
        inner = line + direction * (clearanceEv + 1.0);
        if (std::abs(inner - edgeEv) > kMaxBackgroundOffsetEv || inner < 0) {
            inner = firstInner;
            break;
        }
    }
    const double outer = inner + direction * kBackgroundWidthEv;
    *lowEv = std::min(inner, outer);
    *highEv = std::max(inner, outer);
}

} // namespace

LineWindows lineWindows(double lineEnergyKeV, const QVector<double> &otherLinesKeV,
                        double clearanceEv)
{
    const double centre = lineEnergyKeV * 1000.0;
    LineWindows w;
    w.peakLowEv = centre - kPeakHalfWidthEv;
    w.peakHighEv = centre + kPeakHalfWidthEv;
    placeSideWindow(w.peakLowEv, -1, otherLinesKeV, clearanceEv, &w.leftLowEv, &w.leftHighEv);
    placeSideWindow(w.peakHighEv, +1, otherLinesKeV, clearanceEv, &w.rightLowEv, &w.rightHighEv);
    return w;
}

QVector<double> spectrumLines(const QVector<int> &atomicNumbers, int anodeZ)
{
    QVector<int> elements = atomicNumbers;
    elements << kArgonZ;
    if (anodeZ > 0)
        elements << anodeZ;
    QVector<double> lines;
    for (int z : qAsConst(elements)) {
        for (XrfUtils::EmissionLine line :
             {XrfUtils::KAlpha, XrfUtils::KBeta, XrfUtils::LAlpha, XrfUtils::LBeta}) {
            const double energy = XrfUtils::emissionLineEnergy(z, line);
            if (energy > 0 && energy < kHighestLineKeV
                && (z != kArgonZ || line == XrfUtils::KAlpha))
                lines.append(energy);
        }
    }
    return lines;
}

ChosenLine fittedLine(int atomicNumber)
{
    const XrfUtils::EmissionLine line =
        atomicNumber <= kHeaviestKLineZ ? XrfUtils::KAlpha : XrfUtils::LAlpha;
    return ChosenLine{line, XrfUtils::emissionLineEnergy(atomicNumber, line)};
}

QVector<ChosenLine> candidateLines(int atomicNumber, const QVector<double> &lines)
{
    const auto overlapped = [&lines](const ChosenLine &candidate) {
        const double ev = candidate.energyKeV * 1000.0;
        return lineInRegion(ev - kPeakHalfWidthEv, ev + kPeakHalfWidthEv,
                            otherLines(lines, candidate.energyKeV), kPeakHalfWidthEv)
            != 0;
    };
    const ChosenLine alpha = fittedLine(atomicNumber);
    const XrfUtils::EmissionLine betaLine =
        alpha.line == XrfUtils::KAlpha ? XrfUtils::KBeta : XrfUtils::LBeta;
    const ChosenLine beta{betaLine, XrfUtils::emissionLineEnergy(atomicNumber, betaLine)};
    if (overlapped(alpha) && beta.energyKeV > 0 && !overlapped(beta))
        return {alpha, beta};
    return {alpha};
}

QString lineName(XrfUtils::EmissionLine line)
{
    switch (line) {
    case XrfUtils::KAlpha:
        break;
    case XrfUtils::KBeta:
        return QStringLiteral("KB");
    case XrfUtils::LAlpha:
        return QStringLiteral("LA");
    case XrfUtils::LBeta:
        return QStringLiteral("LB");
    }
    return QStringLiteral("KA");
}

bool netLineIntensity(const XrfSpectrum &spectrum, double lineEnergyKeV, double *cps,
                      QString *errorMsg)
{
    return netLineIntensity(spectrum, lineWindows(lineEnergyKeV), cps, errorMsg);
}

bool netLineIntensity(const XrfSpectrum &spectrum, const LineWindows &w, double *cps,
                      QString *errorMsg)
{
    const auto fail = [errorMsg](const QString &text) {
        if (errorMsg)
            *errorMsg = text;
        return false;
    };
    if (spectrum.energySlope() <= 0)
        return fail(QStringLiteral("the spectrum has no energy scale"));
    if (spectrum.liveTime() <= 0)
        return fail(QStringLiteral("the spectrum has no live time"));
    double left = 0, leftChannel = 0, right = 0, rightChannel = 1;
    int first = 0, last = 0;
    channelRange(spectrum, w.peakLowEv, w.peakHighEv, &first, &last);
    if (first < 0 || last >= spectrum.channelCount() || last < first
        || (w.hasBackground()
            && (!regionMean(spectrum, w.leftLowEv, w.leftHighEv, &left, &leftChannel)
                || !regionMean(spectrum, w.rightLowEv, w.rightHighEv, &right, &rightChannel))))
        return fail(QStringLiteral("the windows of the line at %1 keV fall outside the spectrum")
                        .arg(0.5 * (w.peakLowEv + w.peakHighEv) / 1000.0));
    // The background line through both windows, summed over the peak channels: its value at
    // their mean channel times their number (none without side windows).
    const double peakCentre = 0.5 * (first + last);
    const double perChannel =
        left + (right - left) * (peakCentre - leftChannel) / (rightChannel - leftChannel);
    const double net =
        double(spectrum.sumCountsInRegion(first, last)) - perChannel * (last - first + 1);
    *cps = net / spectrum.liveTime();
    return true;
}

namespace {

// The Gaussian sigma of a peak at `energyEv` at the nominal resolution (electronic noise plus
// Fano statistics in silicon: 3.85 eV per pair, Fano factor 0.115).
double peakSigmaEv(double energyEv)
{
    constexpr double kFanoEv = 0.115 * 3.85;
    constexpr double kFwhmToSigma = 2.3548;
    constexpr double kReferenceEv = 5898.0;
    const double reference = kNominalFwhmEv / kFwhmToSigma;
    const double noise = reference * reference - kFanoEv * kReferenceEv;
    return std::sqrt(std::max(0.0, noise) + kFanoEv * energyEv);
}

// The share of a peak at `energyEv` inside [lowEv, highEv].
double peakShare(double energyEv, double lowEv, double highEv)
{
    const double scale = peakSigmaEv(energyEv) * std::sqrt(2.0);
    return 0.5 * (std::erf((highEv - energyEv) / scale) - std::erf((lowEv - energyEv) / scale));
}

// The share of the photons of `energyKeV` absorbed in the silicon detector whose silicon K-alpha
// escapes it (the standard escape-peak estimate for a thick detector under normal incidence).
double siliconEscapeFraction(double energyKeV)
{
    constexpr int kSilicon = 14;
    const double edge = EdgeEnergy(kSilicon, K_SHELL, nullptr);
    if (energyKeV <= edge)
        return 0;
    const double yield = FluorYield(kSilicon, K_SHELL, nullptr);
    const double jump = JumpFactor(kSilicon, K_SHELL, nullptr);
    const double muEscape = CS_Photo(kSilicon, kSiliconEscapeKeV, nullptr);
    const double muIncident = CS_Photo(kSilicon, energyKeV, nullptr);
    if (muIncident <= 0 || jump <= 1)
        return 0;
    const double ratio = muEscape / muIncident;
    return 0.5 * yield * (1.0 - 1.0 / jump) * (1.0 - ratio * std::log(1.0 + 1.0 / ratio));
}

double betaToAlphaRatio(int z)
{
    const double alpha = RadRate(z, KA_LINE, nullptr);
    return alpha > 0 ? RadRate(z, KB_LINE, nullptr) / alpha : 0;
}

} // namespace

QJsonObject OverlapCorrection::toJson() const
{
    return QJsonObject{{QStringLiteral("element"), element},
                       {QStringLiteral("energyKeV"), energyKeV},
                       {QStringLiteral("windowsEv"), windows.toJson()},
                       {QStringLiteral("factor"), factor}};
}

bool OverlapCorrection::fromJson(const QJsonObject &json)
{
    element = json.value(QStringLiteral("element")).toString();
    energyKeV = json.value(QStringLiteral("energyKeV")).toDouble();
    factor = json.value(QStringLiteral("factor")).toDouble(-1);
    return XrfUtils::atomicNumber(element) > 0 && energyKeV > 0 && factor >= 0
        && windows.fromJson(json.value(QStringLiteral("windowsEv")).toObject());
}

QVector<OverlapCorrection> overlapCorrections(const LineWindows &windows, int ownZ,
                                              const QVector<int> &atomicNumbers,
                                              const QVector<double> &lines)
{
    QVector<OverlapCorrection> corrections;
    for (int z : atomicNumbers) {
        if (z == ownZ || z < 1 || z > kHeaviestKLineZ)
            continue;
        const double alpha = XrfUtils::emissionLineEnergy(z, XrfUtils::KAlpha);
        const double beta = XrfUtils::emissionLineEnergy(z, XrfUtils::KBeta);
        const double betaRatio = betaToAlphaRatio(z);
        // Per count of the K-alpha peak: the K-beta peak and the escape peaks of both.
        const QVector<QPair<double, double>> peaks = {
            {beta, betaRatio},
            {alpha - kSiliconEscapeKeV, siliconEscapeFraction(alpha)},
            {beta - kSiliconEscapeKeV, betaRatio * siliconEscapeFraction(beta)}};
        double factor = 0;
        for (const auto &peak : peaks)
            factor +=
                peak.second * peakShare(peak.first * 1000.0, windows.peakLowEv, windows.peakHighEv);
        if (factor < kMinOverlapFactor)
            continue;
        corrections.append(OverlapCorrection{XrfUtils::elementSymbol(z), alpha,
                                             lineWindows(alpha, otherLines(lines, alpha)), factor});
    }
    return corrections;
}

bool elementIntensity(const XrfSpectrum &spectrum, const LineWindows &windows,
                      const QVector<OverlapCorrection> &overlaps, double *cps, QString *errorMsg)
{
    if (!netLineIntensity(spectrum, windows, cps, errorMsg))
        return false;
    for (const OverlapCorrection &overlap : overlaps) {
        double interferer = 0;
        if (!netLineIntensity(spectrum, overlap.windows, &interferer, errorMsg))
            return false;
        *cps -= overlap.factor * interferer;
    }
    return true;
}

bool measuredConcentration(const XrfSpectrum &spectrum, const QJsonObject &element,
                           double *massFraction, QString *errorMsg)
{
    ElementFit fit;
    double cps = 0;
    if (!fit.fromJson(element, errorMsg)
        || !elementIntensity(spectrum, fit.windows, fit.overlaps, &cps, errorMsg))
        return false;
    *massFraction = fit.intercept + fit.slope * cps;
    return true;
}

} // namespace SimFactorSetFit
