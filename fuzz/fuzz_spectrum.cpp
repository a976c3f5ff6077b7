// The spectrum record as a cloud answer or a stored shot gives it, and the analysis the steps run
// on it.

#include "fuzzinput.h"

#include "xrfspectrum.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    XrfSpectrum spectrum;
    QString error;
    if (!spectrum.fromJsonObject(FuzzInput::object(data, size), &error))
        return 0;
    spectrum.isEmptySpectrum();
    int index = 0;
    int count = 0;
    spectrum.findMaxBin(&index, &count, 0);
    double centre = 0, width = 0;
    spectrum.findPeak(index, 20, &centre, &width);
    double ch1 = 0, ch2 = 0;
    spectrum.calculateResolution(6403.8, 17479.3, &ch1, &ch2);
    double slope = 0, offset = 0;
    spectrum.calculateSlopeAndOffset(6.4038, 17.4793, &slope, &offset);
    spectrum.calculateBackgroundRate();
    spectrum.sumCountsInRegion(1000, 30000, spectrum.energyOffset(), spectrum.energySlope());
    spectrum.sumCountsInRegion(1000, 30000, 0, 1e-300);
    spectrum.sumCountsInRegion(-5, index);
    XrfSpectrum again;
    again.fromJsonObject(spectrum.toJsonObject(), &error);
    return 0;
}
