#include "xrfcalibrationutils.h"

#include "xrfexposuresettings.h"
#include "xrffilterpair.h"
#include "xrfhardwareconfig.h"
#include "xrfutils.h"

QString XrfCalibrationUtils::calDiagnosticsCriteriaDir()
{
    return XrfUtils::homeCorvaneAppDirPath()
        + QStringLiteral("/calibrationdefault/calDiagnosticsCriteria");
}

bool XrfCalibrationUtils::getCollimatedBeam(const XrfExposureSettings &unCollimated,
                                            const XrfHardwareConfig &config,
                                            const XrfFilterPairsList &filterPairs,
                                            XrfExposureSettings *collimated, QString *errorMsg)
{
    const auto fail = [errorMsg](const QString &message) {
        if (errorMsg)
            *errorMsg = message;
        return false;
    };
    if (!collimated)
        return fail(QStringLiteral("no exposure to fill"));
    const XrfFilterProperties &open = unCollimated.filter();
    const int thickness = qRound(open.thicknessInMicrons());
    const XrfFilterPair *pair = filterPairs.getFilterPair(open.materialAtomicNumber(), thickness);
    if (!pair)
        return fail(QStringLiteral("no collimated filter pair for filter %1")
                        .arg(XrfFilterPair::makePairId(open.materialAtomicNumber(), thickness)));
    const int position = pair->collimatedPosition();
    if (position < 0 || position >= config.filters().size())
        return fail(QStringLiteral("collimated position %1 of filter pair %2 is not in the "
                                   "filter table")
                        .arg(position)
                        .arg(pair->pairId()));
    XrfFilterProperties filter = config.filters().at(position);
    if (filter.materialAtomicNumber() != open.materialAtomicNumber()
        || qRound(filter.thicknessInMicrons()) != thickness)
        return fail(QStringLiteral("filter table position %1 does not hold filter %2")
                        .arg(position)
                        .arg(pair->pairId()));
    filter.setPosition(position);
    filter.setHasCollimator(true);
    *collimated = unCollimated;
    collimated->setFilterProperties(filter);
    return true;
}
