#include "simcheckintensity.h"

#include "xrfspectrum.h"

#include <cmath>

namespace {
constexpr double kBaseHalfWidthEv = 100.0;
constexpr double kHalfWidthPerEv = 0.01;
} // namespace

bool SimCheckIntensity::netLineIntensity(const XrfSpectrum &spectrum, double lineEnergyKeV,
                                         double *cps, QString *errorMsg)
{
    const double slope = spectrum.energySlope();
    const double seconds = spectrum.liveTime() > 0 ? spectrum.liveTime() : spectrum.realTime();
    if (slope <= 0 || seconds <= 0) {
        *errorMsg = QStringLiteral("the spectrum has no energy scale or no time");
        return false;
    }
    const double energyEv = lineEnergyKeV * 1000.0;
    const double halfWidth = kBaseHalfWidthEv + kHalfWidthPerEv * energyEv;
    const auto channel = [&](double ev) {
        return int(std::lround((ev - spectrum.energyOffset()) / slope));
    };
    const int peakFirst = channel(energyEv - halfWidth);
    const int peakLast = channel(energyEv + halfWidth);
    const int lowFirst = channel(energyEv - 3 * halfWidth);
    const int highLast = channel(energyEv + 3 * halfWidth);
    if (lowFirst < 0 || highLast >= spectrum.data().size() || peakLast <= peakFirst) {
        *errorMsg = QStringLiteral("the windows of the line at %1 keV fall outside the spectrum")
                        .arg(lineEnergyKeV);
        return false;
    }
    const double peak = double(spectrum.sumCountsInRegion(peakFirst, peakLast));
    const double low = double(spectrum.sumCountsInRegion(lowFirst, peakFirst - 1));
    const double high = double(spectrum.sumCountsInRegion(peakLast + 1, highLast));
    const int sideChannels = (peakFirst - lowFirst) + (highLast - peakLast);
    const double background = (low + high) / sideChannels * (peakLast - peakFirst + 1);
    *cps = std::max(0.0, (peak - background) / seconds);
    return true;
}
