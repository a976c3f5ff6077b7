#pragma once

#include <QString>

class XrfExposureSettings;
class XrfFilterPairsList;
class XrfHardwareConfig;

// Calibration workspaces and the calibration data folders of the instrument.
class XrfCalibrationUtils
{
public:
    // Where the wrong-shot (calibration diagnostics) criteria are kept.
    static QString calDiagnosticsCriteriaDir();

    // The collimated twin of an uncollimated exposure: the same tube settings and time through
    // the collimated hole of the filter pair with the same material and thickness. False with a
    // message when the filter has no pair or the pair's collimated position is not in the
    // configuration's filter table.
    static bool getCollimatedBeam(const XrfExposureSettings &unCollimated,
                                  const XrfHardwareConfig &config,
                                  const XrfFilterPairsList &filterPairs,
                                  XrfExposureSettings *collimated, QString *errorMsg);
};
