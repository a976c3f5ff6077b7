#pragma once

#include "simdetector.h"
#include "simphysics.h"
#include "simtube.h"

// Everything the physics needs to know about one moment of the instrument, copied out of the
// instrument state so that the spectrum can be computed without holding its lock.
struct SimBeamSnapshot
{
    struct Path
    {
        SimMaterial filter; // the foil over a hole in the beam (empty: open)
        double acceptance = 0; // fraction of the beam the hole passes
        double offsetUm = 0; // the hole's centre from the beam axis at the wheel
    };

    SimTubeSpec tube;
    double kv = 0;
    double ua = 0;
    bool xraysOn = false;
    SimMaterial sample;
    // A graded target (see SimSample): its second material, the gradient's length and where
    // the spot of an on-axis hole lands on it.
    SimMaterial sampleSecond;
    double sampleGradientUm = 0;
    double spotOffsetUm = 0;
    QVector<Path> paths;
    SimPulseSettings pulse;
    double detectorTemperatureC = -25;
    double darkRateCps = 0;
};

namespace SimBeam {

// The sample is farther from the focal spot than the wheel: a hole off the axis moves the beam
// spot on the sample by this multiple of its offset.
constexpr double kSpotMagnification = 2.5;

// Photons per second at the detector window.
QVector<SimRay> raysAtDetector(const SimBeamSnapshot &snapshot);
SimDetectorResponse respond(const SimDetector &detector, const SimBeamSnapshot &snapshot,
                            bool withSpectrum);

} // namespace SimBeam
