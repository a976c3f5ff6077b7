#pragma once

#include "simtube.h"

#include <QVector>

// The instrument's shielding against stray radiation: the lead of the tube housing, the nose
// cone and the test stand around the sample, as one lead-equivalent layer, inside the plastic
// case; a gap lets a fraction of the scattered radiation past the lead (a missing shield ring, a
// nose cone not seated), though not past the case.
struct SimShielding
{
    double leadEquivalentUm = 600;
    double polycarbonateCaseUm = 3000;
    double gapFraction = 0;
};

// The stray radiation at the survey position, 5 cm from the instrument's nose, where the
// operator's hand is: the exposure rate in uR/hr of each energy band.
struct SimStrayField
{
    struct Band
    {
        double energyKeV = 0;
        double microRoentgenPerHour = 0;
    };
    QVector<Band> bands;

    double microRoentgenPerHour() const;
    double meanEnergyKeV() const;
    bool isEmpty() const { return bands.isEmpty(); }
};

// The field of the tube running at `kv` and `ua` (its true emission current) with the sample
// scattering the beam towards the survey position: Kramers' efficiency gives the X-ray power,
// the tube's spectrum its energies, lead its attenuation and air's energy absorption the exposure.
SimStrayField strayRadiation(const SimTubeSpec &tube, double kv, double ua,
                             const SimShielding &shielding);
