#include "simbeam.h"

#include "simemission.h"

namespace SimBeam {

QVector<SimRay> raysAtDetector(const SimBeamSnapshot &snapshot)
{
    QVector<SimRay> rays;
    if (!snapshot.xraysOn || snapshot.ua <= 0 || !snapshot.sample.isValid())
        return rays;
    for (const SimBeamSnapshot::Path &path : snapshot.paths) {
        const double scale = snapshot.ua * path.acceptance;
        if (scale <= 0)
            continue;
        const QVector<SimRay> emitted =
            SimEmission::atDetector(snapshot.tube, snapshot.kv, path.filter, snapshot.sample);
        for (SimRay ray : emitted) {
            ray.rate *= scale;
            rays.append(ray);
        }
    }
    return rays;
}

SimDetectorResponse respond(const SimDetector &detector, const SimBeamSnapshot &snapshot,
                            bool withSpectrum)
{
    return detector.respond(raysAtDetector(snapshot), snapshot.pulse, snapshot.detectorTemperatureC,
                            snapshot.darkRateCps, withSpectrum);
}

} // namespace SimBeam
