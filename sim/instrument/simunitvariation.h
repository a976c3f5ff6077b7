#pragma once

#include "simsensors.h"

#include <QJsonObject>
#include <QString>

class SimInstrument;
struct SimModelPreset;

// The spread of a production line: no two units of a model are built alike. A unit's serial seeds
// its own detector gain and noise (resolution), preamplifier reset curve, wheel encoder offset,
// tube output, sensor offsets and shielding, drawn from the spread a production shows, so a few
// units of a batch fail for physical reasons. The model's usual serial is built exactly to its
// preset: that unit passes as it always has.
struct SimUnitVariation
{
    QString model;
    unsigned int serial = 0;
    bool nominal = true; // the model's usual unit: nothing varies
    double detectorGainFactor = 1;
    double detectorNoiseFactor = 1; // electronic noise, eV^2 (resolution goes with its root)
    double resetMidpointShift = 0; // reset-width DAC (SDD) or FET DAC (PIN)
    int wheelShiftTicks = 0;
    double tubeOutputFactor = 1;
    SimSensorOffsets sensorOffsets;
    double shieldingGap = 0; // fraction of the stray radiation that passes the lead

    // The unit of `model` with `serial`; 0 is the model's usual serial.
    static SimUnitVariation of(const QString &model, unsigned int serial = 0);

    // The unit's preset: the model's, with its serial and its own components.
    SimModelPreset preset() const;
    // An instrument built to the unit: its preset, faults, sensors and random seed.
    SimInstrument *build() const;

    QJsonObject toJson() const;
};
