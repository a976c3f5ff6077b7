#pragma once

#include <QString>

// Calibration workspaces and the calibration data folders of the instrument.
class XrfCalibrationUtils
{
public:
    // Where the wrong-shot (calibration diagnostics) criteria are kept.
    static QString calDiagnosticsCriteriaDir();
};
