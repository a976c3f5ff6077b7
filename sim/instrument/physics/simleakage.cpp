#include "simleakage.h"

#include "simphysics.h"

#include <cmath>

namespace {

// Kramers: bremsstrahlung efficiency = k x Z x V, k in 1/V.
constexpr double kKramersEfficiencyPerVolt = 1.1e-9;
// Of the X-ray power leaving the anode, the part the collimator passes into the beam, and of the
// beam, the part the sample and the stand scatter per steradian towards the survey position.
constexpr double kBeamFraction = 0.01;
constexpr double kScatterPerSteradian = 0.01;
constexpr double kSurveyDistanceM = 0.05;
// 1 R of exposure deposits 8.76 mGy of kerma in air.
constexpr double kGrayPerRoentgen = 8.76e-3;
constexpr double kSecondsPerHour = 3600.0;
constexpr double kMicro = 1.0e6;
// cm2/g to m2/kg.
constexpr double kSquareCmPerGramToSi = 0.1;
constexpr int kLeadZ = 82;

const SimMaterial &air()
{
    static const SimMaterial material = SimMaterial::fromFractions(
        QStringLiteral("air"), {{7, 0.755}, {8, 0.232}, {18, 0.013}}, 1.205e-3);
    return material;
}

// Polycarbonate, C16H14O3.
SimMaterial caseMaterial(double thicknessUm)
{
    return SimMaterial::fromFractions(QStringLiteral("polycarbonate"),
                                      {{1, 0.0555}, {6, 0.7558}, {8, 0.1887}}, 1.2, thicknessUm);
}

} // namespace

double SimStrayField::microRoentgenPerHour() const
{
    double total = 0;
    for (const Band &band : bands)
        total += band.microRoentgenPerHour;
    return total;
}

double SimStrayField::meanEnergyKeV() const
{
    const double total = microRoentgenPerHour();
    if (total <= 0)
        return 0;
    double weighted = 0;
    for (const Band &band : bands)
        weighted += band.energyKeV * band.microRoentgenPerHour;
    return weighted / total;
}

SimStrayField strayRadiation(const SimTubeSpec &tube, double kv, double ua,
                             const SimShielding &shielding)
{
    SimStrayField field;
    const QVector<SimRay> rays = tubeEmission(tube, kv);
    double spectrumPower = 0;
    for (const SimRay &ray : rays)
        spectrumPower += ray.rate * ray.energyKeV;
    if (kv <= 0 || ua <= 0 || spectrumPower <= 0)
        return field;
    const double volts = kv * 1000.0;
    const double xrayWatts = kKramersEfficiencyPerVolt * tube.anodeZ * volts * volts * ua * 1.0e-6;
    const double wattsPerSquareMetre =
        xrayWatts * kBeamFraction * kScatterPerSteradian / (kSurveyDistanceM * kSurveyDistanceM);
    const SimMaterial lead = SimMaterial::element(kLeadZ, shielding.leadEquivalentUm);
    const SimMaterial plasticCase = caseMaterial(shielding.polycarbonateCaseUm);
    for (const SimRay &ray : rays) {
        const double share = ray.rate * ray.energyKeV / spectrumPower;
        const double pastLead = (1.0 - shielding.gapFraction) * lead.transmission(ray.energyKeV)
            + shielding.gapFraction;
        const double transmitted = pastLead * plasticCase.transmission(ray.energyKeV);
        // Below 100 keV air absorbs through the photoelectric effect almost alone.
        const double kermaGrayPerSecond = wattsPerSquareMetre * share * transmitted
            * air().massPhotoAbsorption(ray.energyKeV) * kSquareCmPerGramToSi;
        const double exposure = kermaGrayPerSecond / kGrayPerRoentgen * kSecondsPerHour * kMicro;
        if (exposure > 0 && std::isfinite(exposure))
            field.bands.append({ray.energyKeV, exposure});
    }
    return field;
}
