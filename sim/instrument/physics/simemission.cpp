#include "simemission.h"

#include <QHash>
#include <QMap>

#include <cmath>
#include <mutex>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegree = kPi / 180.0;
// Doppler broadening of Compton scatter, as a fraction of the scattered energy (1 sigma).
constexpr double kComptonDopplerFraction = 0.008;
// Overall solid angle and collimation of the nose, tuned so that an SDD sees about 150 kcps
// on SS316 at 40 kV and 100 uA through the open aperture.
constexpr double kGeometryScale = 111.0;

struct LineKey
{
    int z;
    int line;
    bool operator<(const LineKey &o) const { return z != o.z ? z < o.z : line < o.line; }
};

double thicknessFactor(const SimMaterial &sample, double chi)
{
    if (sample.thicknessUm <= 0)
        return 1.0;
    return 1.0 - std::exp(-chi * sample.density * sample.thicknessUm * 1.0e-4);
}

void addFluorescence(const SimRay &ray, const SimMaterial &sample, double mu0,
                     QMap<LineKey, SimRay> *lines)
{
    const double sin1 = std::sin(SimEmission::kIncidenceDeg * kDegree);
    const double sin2 = std::sin(SimEmission::kTakeoffDeg * kDegree);
    for (const auto &element : sample.massFractions) {
        for (const SimPhysics::EmissionLine &line : SimPhysics::fluorescenceLines(element.first)) {
            if (line.energyKeV >= ray.energyKeV)
                continue;
            const double tau =
                SimPhysics::fluorescenceCrossSection(element.first, line.line, ray.energyKeV);
            if (tau <= 0)
                continue;
            const double chi = mu0 / sin1 + sample.massAttenuation(line.energyKeV) / sin2;
            const double rate = ray.rate * element.second * tau / sin1
                * thicknessFactor(sample, chi) / chi / (4 * kPi);
            SimRay &out = (*lines)[{element.first, line.line}];
            out.energyKeV = line.energyKeV;
            out.rate += rate;
        }
    }
}

void addScatter(const SimRay &ray, const SimMaterial &sample, double mu0, QVector<SimRay> *out)
{
    const double theta = SimEmission::kScatterDeg * kDegree;
    const double sin1 = std::sin(SimEmission::kIncidenceDeg * kDegree);
    const double sin2 = std::sin(SimEmission::kTakeoffDeg * kDegree);
    double rayleigh = 0;
    double compton = 0;
    for (const auto &element : sample.massFractions) {
        rayleigh +=
            element.second * SimPhysics::rayleighDifferential(element.first, ray.energyKeV, theta);
        compton +=
            element.second * SimPhysics::comptonDifferential(element.first, ray.energyKeV, theta);
    }
    const double chiRayleigh = mu0 / sin1 + mu0 / sin2;
    out->append({ray.energyKeV,
                 ray.rate * rayleigh / sin1 * thicknessFactor(sample, chiRayleigh) / chiRayleigh,
                 ray.sigmaKeV});
    const double shifted = SimPhysics::comptonEnergyKeV(ray.energyKeV, theta);
    const double chiCompton = mu0 / sin1 + sample.massAttenuation(shifted) / sin2;
    const double doppler = kComptonDopplerFraction * shifted;
    out->append({shifted,
                 ray.rate * compton / sin1 * thicknessFactor(sample, chiCompton) / chiCompton,
                 std::sqrt(ray.sigmaKeV * ray.sigmaKeV + doppler * doppler)});
}

} // namespace

namespace SimEmission {

QVector<SimRay> filtered(const QVector<SimRay> &rays, const SimMaterial &filter)
{
    QVector<SimRay> out = rays;
    for (SimRay &ray : out)
        ray.rate *= filter.transmission(ray.energyKeV);
    return out;
}

QVector<SimRay> fromSample(const QVector<SimRay> &incident, const SimMaterial &sample)
{
    QMap<LineKey, SimRay> lines;
    QVector<SimRay> out;
    for (const SimRay &ray : incident) {
        if (ray.rate <= 0)
            continue;
        const double mu0 = sample.massAttenuation(ray.energyKeV);
        addFluorescence(ray, sample, mu0, &lines);
        addScatter(ray, sample, mu0, &out);
    }
    for (const SimRay &line : qAsConst(lines))
        out.append(line);
    for (SimRay &ray : out)
        ray.rate *= kGeometryScale;
    return out;
}

QVector<SimRay> atDetector(const SimTubeSpec &tube, double kv, const SimMaterial &filter,
                           const SimMaterial &sample)
{
    static std::mutex mutex;
    static QHash<QString, QVector<SimRay>> cache;
    const QString key = QStringLiteral("%1/%2/%3/%4/%5")
                            .arg(tube.anodeZ)
                            .arg(tube.beWindowUm)
                            .arg(qRound(kv * 100))
                            .arg(filter.cacheKey(), sample.cacheKey());
    {
        std::lock_guard<std::mutex> lock(mutex);
        const auto it = cache.constFind(key);
        if (it != cache.constEnd())
            return it.value();
    }
    const QVector<SimRay> rays = fromSample(filtered(tubeEmission(tube, kv), filter), sample);
    std::lock_guard<std::mutex> lock(mutex);
    cache.insert(key, rays);
    return rays;
}

} // namespace SimEmission
