#include "xrfcalibrationutils.h"

#include "xrfutils.h"

QString XrfCalibrationUtils::calDiagnosticsCriteriaDir()
{
    return XrfUtils::homeCorvaneAppDirPath()
        + QStringLiteral("/calibrationdefault/calDiagnosticsCriteria");
}
