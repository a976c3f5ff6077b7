#pragma once

#include "simphysics.h"
#include "simtube.h"

// What reaches the detector window from a sample irradiated by the tube through a primary
// filter: fluorescence lines (Kissel production cross sections, primary excitation), and the
// Rayleigh and Compton scatter of every tube ray. Rates are photons per second and per uA at
// full aperture acceptance, before the detector's window and efficiency.
namespace SimEmission {

// Measurement geometry of the nose: incidence and take-off angles to the sample surface, and
// the scattering angle between tube and detector axes.
constexpr double kIncidenceDeg = 62.5;
constexpr double kTakeoffDeg = 62.5;
constexpr double kScatterDeg = 125.0;

QVector<SimRay> filtered(const QVector<SimRay> &rays, const SimMaterial &filter);
QVector<SimRay> fromSample(const QVector<SimRay> &incident, const SimMaterial &sample);

// fromSample(filtered(tubeEmission(tube, kv), filter), sample), memoised (thread-safe).
QVector<SimRay> atDetector(const SimTubeSpec &tube, double kv, const SimMaterial &filter,
                           const SimMaterial &sample);

} // namespace SimEmission
