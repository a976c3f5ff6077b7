#pragma once

#include <QString>

class XrfSpectrum;

// The net intensity of one emission line in a check shot, measured the way the calibration's
// factors expect it (concentration = intercept + slope x net intensity):
// - peak window: the line energy E +- w, with w = 100 eV + 1 % of E (about one detector FWHM at
//   140-200 eV resolution);
// - background: the mean counts per channel of two side windows as wide as the peak window, just
//   below (E - 3w .. E - w) and above (E + w .. E + 3w) it, times the peak window's channels;
// - net intensity: (peak counts - background) per live second (real seconds when the spectrum has
//   no live time), in cps; never below 0.
// The spectrum's own energy scale (eV per channel and offset) places the windows.
namespace SimCheckIntensity {
// False with the reason when the spectrum has no energy scale, no time, or the windows fall
// outside it.
bool netLineIntensity(const XrfSpectrum &spectrum, double lineEnergyKeV, double *cps,
                      QString *errorMsg);
} // namespace SimCheckIntensity
