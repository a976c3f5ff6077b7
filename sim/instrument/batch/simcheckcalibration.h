#pragma once

#include <QString>
#include <QStringList>

class SimInstrument;

// A stand-in for the cloud's factor set where the line does not run it: every method workspace of
// the profile that a batch template ("<profile>/templates/batch/*_fqc.json") checks is installed
// as a calibrated method ("isFactorSet" true and a "calibration" object), its factors taken from
// one shot of the template's check sample with the method's beams: for each checked element (the
// template's "elements", else the check sample's major elements) the K-alpha line (L-alpha above
// 26 keV) on the beam that gives it the most net counts, through zero (intercept 0, slope =
// certified mass fraction / net intensity). Runs an event loop while it shoots; false with the
// message when a method cannot be calibrated.
namespace SimCheckCalibration {
bool calibrateFromCheckSamples(SimInstrument &instrument, const QString &profilePath,
                               QStringList *calibrated, QString *errorMsg);
} // namespace SimCheckCalibration
