#include "simbeam.h"

#include "simemission.h"

#include <algorithm>

namespace SimBeam {

QVector<SimRay> raysAtDetector(const SimBeamSnapshot &snapshot)
{
    QVector<SimRay> rays;
    if (!snapshot.xraysOn || snapshot.ua <= 0 || !snapshot.sample.isValid())
        return rays;
    const bool graded = snapshot.sampleGradientUm > 0 && snapshot.sampleSecond.isValid();
    for (const SimBeamSnapshot::Path &path : snapshot.paths) {
        const double scale = snapshot.ua * path.acceptance;
        if (scale <= 0)
            continue;
        // The share of the first material under this path's spot.
        double share = 1.0;
        if (graded) {
            const double spot = snapshot.spotOffsetUm + kSpotMagnification * path.offsetUm;
            share = std::clamp(0.5 + spot / snapshot.sampleGradientUm, 0.0, 1.0);
        }
        const QVector<SimRay> emitted =
            SimEmission::atDetector(snapshot.tube, snapshot.kv, path.filter, snapshot.sample);
        for (SimRay ray : emitted) {
            ray.rate *= scale * share;
            rays.append(ray);
        }
        if (!graded || share >= 1.0)
            continue;
        for (SimRay ray : SimEmission::atDetector(snapshot.tube, snapshot.kv, path.filter,
                                                  snapshot.sampleSecond)) {
            ray.rate *= scale * (1.0 - share);
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
