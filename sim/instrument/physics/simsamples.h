#pragma once

#include "simphysics.h"

#include <QStringList>

// What sits at the measurement window: a homogeneous material, infinitely thick unless the
// material gives a thickness (air is the 1 cm layer the detector sees).
struct SimSample
{
    QString name;
    SimMaterial material;
};

// The sample catalogue: built-in targets and calibration standards, standards defined at run
// time, and ad-hoc compositions. Thread-safe.
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
