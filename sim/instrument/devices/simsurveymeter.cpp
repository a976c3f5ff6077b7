#include "simsurveymeter.h"

#include <algorithm>
#include <cmath>

namespace {
// The yellow probe's deficit below about 40 keV: 1 - depth x exp(-(E - cutoff) / scale).
constexpr double kYellowDeficitDepth = 0.6;
constexpr double kYellowCutoffKeV = 8.0;
constexpr double kYellowScaleKeV = 14.0;
constexpr double kMinimumResponse = 0.05;
// The last digit of the display: 0.01 mR/hr or 1 uR/hr.
constexpr double kMilliDisplayStep = 0.01;
constexpr double kMicroDisplayStep = 1.0;
constexpr double kMicroPerMilli = 1000.0;
} // namespace

double SimSurveyMeter::response(double energyKeV) const
{
    if (m_type == Blue)
        return 1.0;
    const double deficit =
        kYellowDeficitDepth * std::exp(-(energyKeV - kYellowCutoffKeV) / kYellowScaleKeV);
    return std::max(kMinimumResponse, 1.0 - deficit);
}

double SimSurveyMeter::read(const SimStrayField &field) const
{
    // Natural background is hard gamma radiation, to which both meters respond fully.
    double shown = kBackgroundMicroRoentgenPerHour;
    for (const SimStrayField::Band &band : field.bands)
        shown += band.microRoentgenPerHour * response(band.energyKeV);
    if (m_unit == MicroRoentgenPerHour)
        return std::round(shown / kMicroDisplayStep) * kMicroDisplayStep;
    return std::round(shown / kMicroPerMilli / kMilliDisplayStep) * kMilliDisplayStep;
}
