#include "simdetector.h"

#include "simphysics.h"

#include <xraylib.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kTableStepKeV = 0.01;
constexpr double kTableMaxKeV = 80.0;
constexpr double kReferenceAreaMm2 = 25.0;
constexpr double kFano = 0.115;
constexpr double kPairEnergyEv = 3.64;
constexpr double kFwhmPerSigma = 2.3548;
constexpr double kSiKalphaKeV = 1.74;
constexpr double kSiKEdgeKeV = 1.839;
constexpr double kTriggerNoiseKeV = 0.15;
constexpr double kGaussianReach = 5.0;
constexpr double kMinPeakingUs = 0.05;
constexpr double kSiDensity = 2.33;

double tableValue(const QVector<double> &table, double energyKeV)
{
    const int index = int(energyKeV / kTableStepKeV);
    if (index < 0 || index >= table.size())
        return 0;
    return table.at(index);
}

double siliconEscape(double energyKeV)
{
    if (energyKeV <= kSiKEdgeKeV)
        return 0;
    const double yield = SimPhysics::fluorescenceYield(14, K_SHELL);
    const double jump = SimPhysics::jumpFactor(14, K_SHELL);
    const double muEscape = SimPhysics::photoCrossSection(14, kSiKalphaKeV);
    const double muIncident = SimPhysics::photoCrossSection(14, energyKeV);
    if (muIncident <= 0 || jump <= 1)
        return 0;
    const double ratio = muEscape / muIncident;
    return 0.5 * yield * (1.0 - 1.0 / jump) * (1.0 - ratio * std::log(1.0 + 1.0 / ratio));
}

} // namespace

SimDetector::SimDetector(const SimDetectorSpec &spec) : m_spec(spec)
{
    const SimMaterial window = SimMaterial::element(4, spec.beWindowUm);
    SimMaterial air = SimMaterial::fromFractions(
        QStringLiteral("air"), {{7, 0.7553}, {8, 0.2318}, {18, 0.0128}}, 0.001205, spec.airGapUm);
    const int steps = int(kTableMaxKeV / kTableStepKeV);
    m_efficiency.resize(steps);
    m_escape.resize(steps);
    for (int i = 1; i < steps; ++i) {
        const double e = i * kTableStepKeV;
        const double absorbed = 1.0
            - std::exp(-SimPhysics::photoCrossSection(14, e) * kSiDensity * spec.siThicknessUm
                       * 1.0e-4);
        m_efficiency[i] = window.transmission(e) * air.transmission(e) * absorbed;
        m_escape[i] = siliconEscape(e);
    }
}

double SimDetector::peakingUs(const SimPulseSettings &pulse) const
{
    return std::max(pulse.peakingTicks / 64.0, kMinPeakingUs);
}

SimEnergyScale SimDetector::energyScale(const SimPulseSettings &pulse) const
{
    SimEnergyScale scale;
    const double normalisedGain = double(pulse.gain) * pulse.peakingTicks / 64.0 * m_spec.unitGain;
    scale.slopeEv = normalisedGain > 0 ? SimEnergyScale::kScaleEv / normalisedGain : 1.0e9;
    scale.offsetEv = m_spec.offsetEv;
    return scale;
}

double SimDetector::fwhmEv(double energyEv, double peakingUs, double temperatureC) const
{
    const double leakage =
        std::pow(2.0, (temperatureC - m_spec.noiseRefTempC) / m_spec.leakageDoublingC);
    const double noise2 = m_spec.seriesNoise2 / peakingUs
        + m_spec.parallelNoise2 * peakingUs * leakage + m_spec.flickerNoise2;
    const double statistics =
        kFwhmPerSigma * kFwhmPerSigma * kFano * kPairEnergyEv * std::max(energyEv, 0.0);
    return std::sqrt(noise2 + statistics);
}

double SimDetector::deadTimeUs(double peakingUs) const
{
    return 2.0 * peakingUs + m_spec.deadTimeBaseUs;
}

double SimDetector::efficiency(double energyKeV) const
{
    return tableValue(m_efficiency, energyKeV);
}

double SimDetector::escapeFraction(double energyKeV) const
{
    return tableValue(m_escape, energyKeV);
}

double SimDetector::triggerProbability(double energyKeV) const
{
    return 0.5
        * (1.0 + std::erf((energyKeV - m_spec.thresholdKeV) / (std::sqrt(2.0) * kTriggerNoiseKeV)));
}

void SimDetector::addPeak(QVector<double> *spectrum, const SimEnergyScale &scale, double energyEv,
                          double sigmaEv, double rate) const
{
    const double centre = scale.channel(energyEv);
    const double sigma = std::max(sigmaEv / scale.slopeEv, 1.0e-3);
    const int first = std::max(0, int(std::floor(centre - kGaussianReach * sigma)));
    const int last =
        std::min(spectrum->size() - 1, int(std::ceil(centre + kGaussianReach * sigma)));
    if (first > last)
        return;
    const double norm = 1.0 / (std::sqrt(2.0) * sigma);
    double lower = std::erf((first - 0.5 - centre) * norm);
    for (int channel = first; channel <= last; ++channel) {
        const double upper = std::erf((channel + 0.5 - centre) * norm);
        (*spectrum)[channel] += 0.5 * rate * (upper - lower);
        lower = upper;
    }
}

SimDetectorResponse SimDetector::respond(const QVector<SimRay> &rays, const SimPulseSettings &pulse,
                                         double temperatureC, double darkRateCps,
                                         bool withSpectrum) const
{
    SimDetectorResponse response;
    response.scale = energyScale(pulse);
    const double peaking = peakingUs(pulse);
    response.deadTimeUs = deadTimeUs(peaking);
    const double areaScale = m_spec.areaMm2 / kReferenceAreaMm2;
    QVector<double> shape(withSpectrum ? m_spec.channels : 0, 0.0);
    double icr = darkRateCps;
    for (const SimRay &ray : rays) {
        const double rate =
            ray.rate * areaScale * efficiency(ray.energyKeV) * triggerProbability(ray.energyKeV);
        if (rate <= 0)
            continue;
        icr += rate;
        if (!withSpectrum)
            continue;
        const double escape = escapeFraction(ray.energyKeV);
        const double energyEv = ray.energyKeV * 1000.0;
        const double sigma = std::hypot(fwhmEv(energyEv, peaking, temperatureC) / kFwhmPerSigma,
                                        ray.sigmaKeV * 1000.0);
        addPeak(&shape, response.scale, energyEv, sigma, rate * (1.0 - escape));
        if (escape > 0)
            addPeak(&shape, response.scale, energyEv - kSiKalphaKeV * 1000.0, sigma, rate * escape);
    }
    response.icr = icr;
    response.ocr = icr * std::exp(-icr * response.deadTimeUs * 1.0e-6);
    if (withSpectrum) {
        const double processedFraction = icr > 0 ? response.ocr / icr : 0.0;
        const double darkPerChannel = darkRateCps / std::max(1, m_spec.channels);
        for (double &value : shape)
            value = (value + darkPerChannel) * processedFraction;
        response.perSecond = shape;
    }
    return response;
}

double SimDetector::resetHeight(double resetWidthDac, double fetSubDac) const
{
    if (m_spec.isPin) {
        const double height = m_spec.pinFetSlope * (fetSubDac - m_spec.pinFetZero)
            + m_spec.pinWidthSlope * (resetWidthDac - m_spec.pinWidthZero);
        return std::clamp(height, 0.0, 65535.0);
    }
    const double height = m_spec.resetHeightFullScale
        / (1.0 + std::exp(-(resetWidthDac - m_spec.resetWidthMidpoint) / m_spec.resetWidthSpread));
    return std::clamp(height, 0.0, 65535.0);
}
