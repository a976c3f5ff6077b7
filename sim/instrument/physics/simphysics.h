#pragma once

#include <QPair>
#include <QString>
#include <QVector>

// Thin wrappers over xraylib (energies in keV, cross sections in cm2/g) and the material record
// that every other part of the simulated physics works with.
namespace SimPhysics {

struct EmissionLine
{
    int line = 0; // xraylib line macro
    int shell = 0; // xraylib shell macro of the vacancy that emits it
    double energyKeV = 0;
};

// The K, L and M lines of element z that a detector can see (above 1 keV).
QVector<EmissionLine> fluorescenceLines(int z);
double lineEnergyKeV(int z, int line);
double edgeEnergyKeV(int z, int shell);
// Production cross section of a line for an incident energy, cascades included (Kissel).
double fluorescenceCrossSection(int z, int line, double incidentKeV);
double totalCrossSection(int z, double energyKeV);
double photoCrossSection(int z, double energyKeV);
double rayleighDifferential(int z, double energyKeV, double thetaRad); // cm2/g/sr
double comptonDifferential(int z, double energyKeV, double thetaRad); // cm2/g/sr
double comptonEnergyKeV(double energyKeV, double thetaRad);
double fluorescenceYield(int z, int shell);
double jumpFactor(int z, int shell);
double elementDensity(int z);
int atomicNumber(const QString &symbol); // 0 when unknown

} // namespace SimPhysics

// A homogeneous material: mass fractions by atomic number, density and (for foils and layers)
// a thickness. A thickness of 0 means infinitely thick.
struct SimMaterial
{
    QString name;
    QVector<QPair<int, double>> massFractions;
    double density = 1.0; // g/cm3
    double thicknessUm = 0; // 0: infinitely thick

    static SimMaterial element(int z, double thicknessUm = 0);
    // A chemical formula understood by xraylib ("SiO2", "CuBr"); empty name when it does not parse.
    static SimMaterial fromFormula(const QString &name, const QString &formula, double density,
                                   double thicknessUm = 0);
    static SimMaterial fromFractions(const QString &name, QVector<QPair<int, double>> fractions,
                                     double density, double thicknessUm = 0);

    bool isValid() const { return !massFractions.isEmpty() && density > 0; }
    double massAttenuation(double energyKeV) const; // total, cm2/g
    double massPhotoAbsorption(double energyKeV) const;
    // Fraction of photons that cross the layer; 1 for an empty material or zero thickness.
    double transmission(double energyKeV) const;
    // A text that identifies the material in caches.
    QString cacheKey() const;
};
