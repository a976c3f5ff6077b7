#pragma once

#include "simphysics.h"

#include <QStringList>

// What sits at the measurement window: a homogeneous material, infinitely thick unless the
// material gives a thickness (air is the 1 cm layer the detector sees). A graded target joins a
// second material: across the window the share of `material` under the beam spot rises from 0
// to 1 over `gradientUm`, so what the detector sees follows where the spot lands.
struct SimSample
{
    QString name;
    SimMaterial material;
    SimMaterial secondMaterial;
    double gradientUm = 0; // 0: homogeneous
    double placementOffsetUm = 0; // the target's centre line from the beam axis, as placed
};

// The sample catalogue: built-in targets, the certified reference materials
// (simreferencematerials), standards defined at run time, and ad-hoc compositions. Thread-safe.
class SimSamples
{
public:
    static QStringList names();
    // Looks `name` up (case-insensitive) in the catalogue; otherwise reads it as mass fractions
    // "Fe:0.7,Cr:0.18,Ni:0.12[@7.9]" or as a chemical formula "Fe2O3[@5.24]" (the density after
    // "@", in g/cm3, defaults to the mass-weighted element densities).
    static bool find(const QString &name, SimSample *sample);
    // Adds or replaces a standard of the catalogue.
    static void define(const QString &name, const QVector<QPair<int, double>> &massFractions,
                       double density);
};
