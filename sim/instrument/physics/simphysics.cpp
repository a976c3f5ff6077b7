#include "simphysics.h"

#include <xraylib.h>

#include <QHash>
#include <QStringList>

#include <cmath>
#include <mutex>

namespace {

constexpr double kElectronRestKeV = 510.99895;
constexpr double kMinVisibleKeV = 1.0;

QVector<SimPhysics::EmissionLine> computeLines(int z)
{
    static const int candidates[][2] = {
        {KA1_LINE, K_SHELL},  {KA2_LINE, K_SHELL},  {KB1_LINE, K_SHELL},  {KB3_LINE, K_SHELL},
        {KB2_LINE, K_SHELL},  {LA1_LINE, L3_SHELL}, {LA2_LINE, L3_SHELL}, {LB2_LINE, L3_SHELL},
        {LB1_LINE, L2_SHELL}, {LG1_LINE, L2_SHELL}, {MA1_LINE, M5_SHELL}, {MB_LINE, M4_SHELL}};
    QVector<SimPhysics::EmissionLine> lines;
    for (const auto &candidate : candidates) {
        const double energy = LineEnergy(z, candidate[0], nullptr);
        if (energy > kMinVisibleKeV && RadRate(z, candidate[0], nullptr) > 0)
            lines.append({candidate[0], candidate[1], energy});
    }
    return lines;
}

} // namespace

namespace SimPhysics {

QVector<EmissionLine> fluorescenceLines(int z)
{
    static std::mutex mutex;
    static QHash<int, QVector<EmissionLine>> cache;
    std::lock_guard<std::mutex> lock(mutex);
    auto it = cache.find(z);
    if (it == cache.end())
        it = cache.insert(z, computeLines(z));
    return it.value();
}

double lineEnergyKeV(int z, int line)
{
    return LineEnergy(z, line, nullptr);
}

double edgeEnergyKeV(int z, int shell)
{
    return EdgeEnergy(z, shell, nullptr);
}

double fluorescenceCrossSection(int z, int line, double incidentKeV)
{
    return CS_FluorLine_Kissel(z, line, incidentKeV, nullptr);
}

double totalCrossSection(int z, double energyKeV)
{
    return CS_Total(z, energyKeV, nullptr);
}

double photoCrossSection(int z, double energyKeV)
{
    return CS_Photo(z, energyKeV, nullptr);
}

double rayleighDifferential(int z, double energyKeV, double thetaRad)
{
    return DCS_Rayl(z, energyKeV, thetaRad, nullptr);
}

double comptonDifferential(int z, double energyKeV, double thetaRad)
{
    return DCS_Compt(z, energyKeV, thetaRad, nullptr);
}

double comptonEnergyKeV(double energyKeV, double thetaRad)
{
    return energyKeV / (1.0 + energyKeV / kElectronRestKeV * (1.0 - std::cos(thetaRad)));
}

double fluorescenceYield(int z, int shell)
{
    return FluorYield(z, shell, nullptr);
}

double jumpFactor(int z, int shell)
{
    return JumpFactor(z, shell, nullptr);
}

double elementDensity(int z)
{
    return ElementDensity(z, nullptr);
}

int atomicNumber(const QString &symbol)
{
    const int z = SymbolToAtomicNumber(symbol.toLatin1().constData(), nullptr);
    return z > 0 ? z : 0;
}

} // namespace SimPhysics

SimMaterial SimMaterial::element(int z, double thicknessUm)
{
    SimMaterial material;
    material.name = QStringLiteral("Z%1").arg(z);
    if (z > 0) {
        material.massFractions = {{z, 1.0}};
        material.density = SimPhysics::elementDensity(z);
    }
    material.thicknessUm = thicknessUm;
    return material;
}

SimMaterial SimMaterial::fromFormula(const QString &name, const QString &formula, double density,
                                     double thicknessUm)
{
    SimMaterial material;
    compoundData *parsed = CompoundParser(formula.toLatin1().constData(), nullptr);
    if (!parsed)
        return material;
    for (int i = 0; i < parsed->nElements; ++i)
        material.massFractions.append({parsed->Elements[i], parsed->massFractions[i]});
    FreeCompoundData(parsed);
    material.name = name;
    material.density = density;
    material.thicknessUm = thicknessUm;
    return material;
}

SimMaterial SimMaterial::fromFractions(const QString &name, QVector<QPair<int, double>> fractions,
                                       double density, double thicknessUm)
{
    double sum = 0;
    for (const auto &fraction : fractions)
        sum += fraction.second;
    SimMaterial material;
    if (sum <= 0)
        return material;
    for (auto &fraction : fractions)
        fraction.second /= sum;
    material.name = name;
    material.massFractions = fractions;
    material.density = density;
    material.thicknessUm = thicknessUm;
    return material;
}

double SimMaterial::massAttenuation(double energyKeV) const
{
    double mu = 0;
    for (const auto &fraction : massFractions)
        mu += fraction.second * SimPhysics::totalCrossSection(fraction.first, energyKeV);
    return mu;
}

double SimMaterial::massPhotoAbsorption(double energyKeV) const
{
    double tau = 0;
    for (const auto &fraction : massFractions)
        tau += fraction.second * SimPhysics::photoCrossSection(fraction.first, energyKeV);
    return tau;
}

double SimMaterial::transmission(double energyKeV) const
{
    if (massFractions.isEmpty() || thicknessUm <= 0)
        return 1.0;
    return std::exp(-massAttenuation(energyKeV) * density * thicknessUm * 1.0e-4);
}

QString SimMaterial::cacheKey() const
{
    QStringList parts;
    for (const auto &fraction : massFractions)
        parts.append(QStringLiteral("%1:%2").arg(fraction.first).arg(fraction.second, 0, 'g', 6));
    return QStringLiteral("%1|%2|%3")
        .arg(parts.join(QLatin1Char(',')))
        .arg(density)
        .arg(thicknessUm);
}
