// The wrong-shot check of a calibration shot: the peaks of the standard's major elements.
#include "xrfcalibrationutils.h"
#include "xrfcalibrationworkspace_p.h"

#include "xrfcalibrationshot.h"

#include <QJsonArray>

#include <cmath>

using namespace CalibrationWorkspace;

namespace {

const QString kCriteriaFile = QStringLiteral("/wrongShotCriteria.json");
// Half the width of a peak window, about the detectors' full width at half maximum.
constexpr double kHalfWindowEv = 120;
// A line is only looked for when the tube voltage excites it well.
constexpr double kExcitationMargin = 0.8;
// The peak must stand this many standard deviations of the background above it.
constexpr double kSigmas = 5;
constexpr double kMinNetCounts = 20;

double lineEnergyEv(int z)
{
    const XrfUtils::EmissionLine line = z > 50 ? XrfUtils::LAlpha : XrfUtils::KAlpha;
    return XrfUtils::emissionLineEnergy(z, line) * 1000.0;
}

quint64 windowCounts(const XrfSpectrum &spectrum, double centreEv)
{
    return spectrum.sumCountsInRegion(int(centreEv - kHalfWindowEv), int(centreEv + kHalfWindowEv),
                                      spectrum.energyOffset(), spectrum.energySlope());
}

// Empty when the element's peak stands out (or its line is not excited), else why not.
QString missingPeak(const XrfCalibrationShot &shot, const QString &symbol)
{
    const int z = XrfUtils::atomicNumber(symbol);
    const double energy = lineEnergyEv(z);
    if (z == 0 || energy <= 0
        || energy > kExcitationMargin * shot.exposure().tubeVoltageKv() * 1000)
        return QString();
    const XrfSpectrum &spectrum = shot.spectrum();
    const double peak = windowCounts(spectrum, energy);
    const double below = windowCounts(spectrum, energy - 3 * kHalfWindowEv);
    const double above = windowCounts(spectrum, energy + 3 * kHalfWindowEv);
    const double background = std::min(below, above);
    const double net = peak - background;
    if (net >= kSigmas * std::sqrt(background) + kMinNetCounts)
        return QString();
    return QStringLiteral("%1 (net %2 counts over %3)")
        .arg(symbol)
        .arg(qint64(net))
        .arg(qint64(background));
}

} // namespace

bool XrfCalibrationUtils::checkCalibrationShot(const QString &shotFile, bool *good,
                                               QString *errorMsg)
{
    if (!good)
        return false;
    QJsonObject shotJson;
    QJsonObject criteria;
    XrfCalibrationShot shot;
    QString error;
    if (!readObject(shotFile, &shotJson, errorMsg))
        return false;
    if (!shot.fromJsonObject(shotJson, &error)) {
        setError(errorMsg, QStringLiteral("%1: %2").arg(shotFile, error));
        return false;
    }
    const QString criteriaFile = calDiagnosticsCriteriaDir() + kCriteriaFile;
    if (!QFileInfo::exists(criteriaFile)) {
        *good = true;
        return true;
    }
    if (!readObject(criteriaFile, &criteria, errorMsg))
        return false;
    const QJsonValue standard =
        criteria.value(QStringLiteral("standards")).toObject().value(shot.sampleID());
    if (!standard.isObject()) {
        *good = true;
        return true;
    }
    if (shot.spectrum().energySlope() <= 0) {
        setError(errorMsg, QStringLiteral("%1: the spectrum has no energy scale").arg(shotFile));
        return false;
    }
    QStringList missing;
    for (const QJsonValue &symbol :
         standard.toObject().value(QStringLiteral("present")).toArray()) {
        const QString why = missingPeak(shot, symbol.toString());
        if (!why.isEmpty())
            missing << why;
    }
    *good = missing.isEmpty();
    if (!*good && errorMsg)
        *errorMsg = QStringLiteral("Wrong sample: the spectrum of %1 lacks the peaks of %2")
                        .arg(shot.sampleID(), missing.join(QStringLiteral(", ")));
    return true;
}
