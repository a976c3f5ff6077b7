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
    };

    SimTubeSpec tube;
    double kv = 0;
    double ua = 0;
    bool xraysOn = false;
    SimMaterial sample;
    QVector<Path> paths;
    SimPulseSettings pulse;
    double detectorTemperatureC = -25;
    double darkRateCps = 0;
};

namespace SimBeam {

// Photons per second at the detector window.
QVector<SimRay> raysAtDetector(const SimBeamSnapshot &snapshot);
SimDetectorResponse respond(const SimDetector &detector, const SimBeamSnapshot &snapshot,
                            bool withSpectrum);

} // namespace SimBeam
