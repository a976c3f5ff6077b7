#include "simfactorsetfit.h"

#include "simreferencematerials.h"
#include "xrfcalibrationshot.h"
#include "xrfcalibrationstep.h"
#include "xrfcalibrationutils.h"
#include "xrfmethod.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace SimFactorSetFit {

namespace {

const QString kStepsFile = QStringLiteral("calibrationworkspace/procedure/calibrationsteps.json");
const QString kShotsFolder = QStringLiteral("calibrationworkspace/shots/");
const QString kSummaryFolder = QStringLiteral("calibrationworkspace/calibrationsummary");
const QString kQcSummaryFile = QStringLiteral("qcSummary.json");
const QString kFittedBy = QStringLiteral("simulated cloud");

// One standard's shot with the beam the method takes it with.
struct Shot
{
    QString standard;
    int beam = 0;
    XrfSpectrum spectrum;
};

RunOutcome failed(int status, const QString &message)
{
    return RunOutcome{status, message};
}

bool readMethodFile(const QString &path, QJsonObject *method, QString *errorMsg)
{
    QJsonValue value;
    if (!XrfUtils::readJsonFile(path, &value, errorMsg))
        return false;
    if (!value.isObject()) {
        *errorMsg = QStringLiteral("%1 does not hold a JSON object").arg(path);
        return false;
    }
    *method = value.toObject();
    return true;
}

// The beam `step` is shot with for `methodId`: its method use's beam, else its own.
int beamForMethod(const XrfCalibrationStep &step, const QString &methodId)
{
    for (const XrfCalibrationMethodUse &use : step.methodUses()) {
        if (use.methodId() == methodId)
            return use.beamNumber();
    }
    return step.methodUses().isEmpty() ? step.beamNumber() : 0;
}

bool readShot(const QString &path, XrfSpectrum *spectrum, QString *errorMsg)
{
    QJsonValue value;
    XrfCalibrationShot shot;
    QString error;
    if (!XrfUtils::readJsonFile(path, &value, &error)
        || !shot.fromJsonObject(value.toObject(), &error)) {
        *errorMsg = QStringLiteral("Calibration shot %1 is unreadable: %2").arg(path, error);
        return false;
    }
    if (shot.spectrum().isEmptySpectrum()) {
        *errorMsg = QStringLiteral("Calibration shot %1 has an empty spectrum").arg(path);
        return false;
    }
    *spectrum = shot.spectrum();
    return true;
}

// The standards' shots of the method's workspace; every standard step must have its shot.
bool readShots(const QString &folder, const QString &methodId, QVector<Shot> *shots,
               QString *errorMsg)
{
    const QString stepsPath = folder + QLatin1Char('/') + kStepsFile;
    QJsonObject workspace;
    if (!readMethodFile(stepsPath, &workspace, errorMsg))
        return false;
    const QJsonArray steps = workspace.value(QStringLiteral("steps")).toArray();
    for (const QJsonValue &value : steps) {
        XrfCalibrationStep step;
        QString error;
        if (!step.fromJsonObject(value.toObject(), &error)) {
            *errorMsg =
                QStringLiteral("%1: a step of key 'steps' is malformed: %2").arg(stepsPath, error);
            return false;
        }
        const int beam = beamForMethod(step, methodId);
        if (step.hasCustomWindow() || step.sampleID() == XrfCalibrationUtils::kAirSampleId
            || beam < 1)
            continue;
        const QString name = step.calibrationShotFileName();
        if (!XrfUtils::isSafePathComponent(name)) {
            *errorMsg = QStringLiteral("%1: step '%2' names no shot file").arg(stepsPath, name);
            return false;
        }
        const QString path = folder + QLatin1Char('/') + kShotsFolder + name;
        if (!QFile::exists(path)) {
            *errorMsg = QStringLiteral("No calibration shot of %1 beam %2 (%3)")
                            .arg(step.sampleID())
                            .arg(beam)
                            .arg(kShotsFolder + name);
            return false;
        }
        Shot shot{step.sampleID(), beam, {}};
        if (!readShot(path, &shot.spectrum, errorMsg))
            return false;
        shots->append(shot);
    }
    if (shots->isEmpty()) {
        *errorMsg = QStringLiteral("%1 lists no calibration shots of standards").arg(stepsPath);
        return false;
    }
    return true;
}

// True when `windows` lie within the channels of `spectrum`.
bool windowsInside(const XrfSpectrum &spectrum, const ElementFit &measure)
{
    const double topEv =
        spectrum.energyOffset() + spectrum.energySlope() * (spectrum.channelCount() - 1);
    const auto inside = [&](const LineWindows &w) {
        return w.lowestEv() >= spectrum.energyOffset() && w.highestEv() <= topEv;
    };
    for (const OverlapCorrection &overlap : measure.overlaps) {
        if (!inside(overlap.windows))
            return false;
    }
    return inside(measure.windows);
}

// The points of element `z` on `beam`; none when a spectrum of the beam does not reach the line.
bool beamPoints(const QVector<Shot> &shots, int z, const ElementFit &measure, int beam,
                QVector<FitPoint> *points, QString *errorMsg)
{
    for (const Shot &shot : shots) {
        if (shot.beam != beam)
            continue;
        const SimReferenceMaterial *material = SimReferenceMaterials::find(shot.standard);
        if (!material) {
            *errorMsg = QStringLiteral("Standard '%1' has no certificate").arg(shot.standard);
            return false;
        }
        if (!windowsInside(shot.spectrum, measure)) {
            points->clear();
            return true;
        }
        FitPoint point{shot.standard, 0, material->massFraction(z)};
        QString error;
        if (!elementIntensity(shot.spectrum, measure.windows, measure.overlaps, &point.intensity,
                              &error)) {
            *errorMsg =
                QStringLiteral("Shot of %1 beam %2: %3").arg(shot.standard).arg(beam).arg(error);
            return false;
        }
        points->append(point);
    }
    return true;
}

bool certifiedValuesSpread(const QVector<FitPoint> &points)
{
    for (const FitPoint &point : points) {
        if (point.certified != points.first().certified)
            return true;
    }
    return false;
}

double richestIntensity(const ElementFit &fit)
{
    double richest = 0;
    for (const FitPoint &point : fit.points)
        richest = std::max(richest, point.intensity);
    return richest;
}

// A good fit beats a poor one; among good ones a line with enough counts to repeat beats a weak
// one; then the higher rSquared wins.
bool betterFit(const ElementFit &candidate, const ElementFit &best)
{
    const auto rank = [](const ElementFit &fit) {
        const bool good = fit.slope > 0;
        const bool approved = good && fit.rSquared >= kMinRSquared;
        return std::make_tuple(good, approved && richestIntensity(fit) >= kMinRichestCps, approved,
                               fit.rSquared);
    };
    return rank(candidate) > rank(best);
}

enum class ElementResult { Fitted, NotCalibratable, Error };

// The ways to measure an element: each candidate line, with near and far side windows, with and
// without the overlap corrections.
QVector<ElementFit> measureCandidates(const QString &symbol, const QVector<int> &elements,
                                      const QVector<double> &lines)
{
    const int z = XrfUtils::atomicNumber(symbol);
    QVector<ElementFit> candidates;
    for (const ChosenLine &line : candidateLines(z, lines)) {
        // A clearance of 0 stands for no side windows.
        for (double clearance : {kNearClearanceEv, kFarClearanceEv, 0.0}) {
            ElementFit fit;
            fit.element = symbol;
            fit.line = lineName(line.line);
            fit.energyKeV = line.energyKeV;
            fit.windows = lineWindows(line.energyKeV, otherLines(lines, line.energyKeV), clearance);
            if (clearance == 0)
                fit.windows = LineWindows{fit.windows.peakLowEv, fit.windows.peakHighEv};
            candidates.append(fit);
            fit.overlaps = overlapCorrections(fit.windows, z, elements, lines);
            if (!fit.overlaps.isEmpty())
                candidates.append(fit);
        }
    }
    return candidates;
}

// The element's fit with the line and beam that give the best one; a fit with slope 0 when the
// intensities define no line.
ElementResult fitElement(const QString &symbol, const QVector<Shot> &shots,
                         const QVector<int> &elements, const QVector<double> &lines,
                         ElementFit *best, QString *errorMsg)
{
    const int z = XrfUtils::atomicNumber(symbol);
    if (z == 0) {
        *errorMsg = QStringLiteral("'%1' is no element").arg(symbol);
        return ElementResult::Error;
    }
    QMap<int, bool> beams;
    for (const Shot &shot : shots)
        beams.insert(shot.beam, true);
    bool found = false;
    for (const ElementFit &measure : measureCandidates(symbol, elements, lines)) {
        for (auto it = beams.cbegin(); it != beams.cend(); ++it) {
            ElementFit fit = measure;
            fit.beam = it.key();
            if (!beamPoints(shots, z, fit, it.key(), &fit.points, errorMsg))
                return ElementResult::Error;
            if (fit.points.size() < kMinStandards || !certifiedValuesSpread(fit.points))
                continue;
            fitPoints(fit.points, &fit);
            if (!found || betterFit(fit, *best)) {
                *best = fit;
                found = true;
            }
        }
    }
    return found ? ElementResult::Fitted : ElementResult::NotCalibratable;
}

QString fitProblem(const ElementFit &fit)
{
    if (fit.slope <= 0)
        return QStringLiteral("slope %1 is not positive").arg(fit.slope);
    if (fit.rSquared < kMinRSquared)
        return QStringLiteral("rSquared %1 is below %2 (worst standard %3, error %4)")
            .arg(fit.rSquared, 0, 'f', 4)
            .arg(kMinRSquared)
            .arg(fit.worstStandard)
            .arg(fit.worstAbsError, 0, 'g', 3);
    return QString();
}

bool readCalibratedMethod(const QString &folder, const QString &methodId, QString *methodPath,
                          QJsonObject *method, QString *errorMsg)
{
    *methodPath = folder + QLatin1Char('/') + XrfMethod::methodFileName(methodId);
    if (XrfMethod::methodFileName(methodId).isEmpty()) {
        *errorMsg = QStringLiteral("Method id '%1' cannot name a method file").arg(methodId);
        return false;
    }
    if (!QFile::exists(*methodPath)) {
        *errorMsg =
            QStringLiteral("Method file %1 is missing").arg(XrfMethod::methodFileName(methodId));
        return false;
    }
    return readMethodFile(*methodPath, method, errorMsg);
}

RunOutcome methodError(const QString &methodId, const QString &error)
{
    return failed(WorkspaceError, QStringLiteral("Method %1: %2").arg(methodId, error));
}

// Writes "calibrationworkspace/calibrationsummary/qcSummary.json" of the method in `folder`.
bool writeQcSummary(const QString &folder, bool passed, double maxAbsError,
                    const QJsonArray &elements, QString *errorMsg)
{
    const QJsonObject summary{{QStringLiteral("passed"), passed},
                              {QStringLiteral("maxAbsError"), maxAbsError},
                              {QStringLiteral("tolerance"), kQcTolerance},
                              {QStringLiteral("elements"), elements}};
    return XrfUtils::writeJsonFile(folder + QLatin1Char('/') + kSummaryFolder + QLatin1Char('/')
                                       + kQcSummaryFile,
                                   QJsonDocument(summary), errorMsg);
}

// A synthetic method carries the factors of the model's synthetic package and has no standards
// of its own: the factor set marks it calibrated as uploaded, and its QC summary has nothing to
// recompute. True when the method in `folder` is synthetic and `outcome` holds the answer.
bool syntheticMethodOutcome(const QString &folder, const QString &methodId, bool qcSummary,
                            RunOutcome *outcome)
{
    QString methodPath, error;
    QJsonObject method;
    if (!readCalibratedMethod(folder, methodId, &methodPath, &method, &error)
        || !method.value(QStringLiteral("isSyntheticMethod")).toBool())
        return false;
    method.insert(QStringLiteral("isFactorSet"), true);
    const bool written = qcSummary
        ? writeQcSummary(folder, true, 0, QJsonArray(), &error)
        : XrfUtils::writeJsonFile(methodPath, QJsonDocument(method), &error);
    *outcome = written ? RunOutcome{OutputReady, QString()} : methodError(methodId, error);
    return true;
}

struct QcResult
{
    QJsonArray elements;
    double maxAbsError = 0;
    QString worst; // "Fe at SS304"
};

// Every standard of one element recomputed with its factors.
bool recomputeElement(const ElementFit &factors, const QVector<Shot> &shots, QcResult *result,
                      QString *errorMsg)
{
    QVector<FitPoint> points;
    if (!beamPoints(shots, XrfUtils::atomicNumber(factors.element), factors, factors.beam, &points,
                    errorMsg))
        return false;
    QJsonArray standards;
    for (const FitPoint &point : qAsConst(points)) {
        const double computed = factors.intercept + factors.slope * point.intensity;
        const double error = std::abs(computed - point.certified);
        standards.append(QJsonObject{{QStringLiteral("standard"), point.standard},
                                     {QStringLiteral("certified"), point.certified},
                                     {QStringLiteral("computed"), computed},
                                     {QStringLiteral("absError"), error}});
        if (error > result->maxAbsError) {
            result->maxAbsError = error;
            result->worst = QStringLiteral("%1 at %2").arg(factors.element, point.standard);
        }
    }
    result->elements.append(QJsonObject{{QStringLiteral("element"), factors.element},
                                        {QStringLiteral("standards"), standards}});
    return true;
}

} // namespace

QJsonObject ElementFit::toJson() const
{
    QJsonArray overlapArray;
    for (const OverlapCorrection &overlap : overlaps)
        overlapArray.append(overlap.toJson());
    QJsonArray pointArray;
    for (const FitPoint &point : points)
        pointArray.append(QJsonObject{{QStringLiteral("standard"), point.standard},
                                      {QStringLiteral("intensity"), point.intensity},
                                      {QStringLiteral("certified"), point.certified}});
    return QJsonObject{{QStringLiteral("element"), element},
                       {QStringLiteral("line"), line},
                       {QStringLiteral("energyKeV"), energyKeV},
                       {QStringLiteral("windowsEv"), windows.toJson()},
                       {QStringLiteral("overlaps"), overlapArray},
                       {QStringLiteral("beam"), beam},
                       {QStringLiteral("slope"), slope},
                       {QStringLiteral("intercept"), intercept},
                       {QStringLiteral("rSquared"), rSquared},
                       {QStringLiteral("standards"), points.size()},
                       {QStringLiteral("worstStandard"), worstStandard},
                       {QStringLiteral("worstAbsError"), worstAbsError},
                       {QStringLiteral("points"), pointArray}};
}

bool ElementFit::fromJson(const QJsonObject &json, QString *errorMsg)
{
    element = json.value(QStringLiteral("element")).toString();
    line = json.value(QStringLiteral("line")).toString();
    energyKeV = json.value(QStringLiteral("energyKeV")).toDouble();
    beam = json.value(QStringLiteral("beam")).toInt();
    const QJsonValue slopeValue = json.value(QStringLiteral("slope"));
    const QJsonValue interceptValue = json.value(QStringLiteral("intercept"));
    bool valid = XrfUtils::atomicNumber(element) > 0 && energyKeV > 0 && beam >= 1
        && slopeValue.isDouble() && interceptValue.isDouble()
        && windows.fromJson(json.value(QStringLiteral("windowsEv")).toObject());
    overlaps.clear();
    for (const QJsonValue &entry : json.value(QStringLiteral("overlaps")).toArray()) {
        OverlapCorrection overlap;
        valid = valid && overlap.fromJson(entry.toObject());
        overlaps.append(overlap);
    }
    if (!valid) {
        if (errorMsg)
            *errorMsg = QStringLiteral("key 'calibration' has an element '%1' without a symbol, "
                                       "'energyKeV', 'windowsEv', 'beam', 'slope' or 'intercept', "
                                       "or with a malformed 'overlaps' entry")
                            .arg(element);
        return false;
    }
    slope = slopeValue.toDouble();
    intercept = interceptValue.toDouble();
    return true;
}

bool fitPoints(const QVector<FitPoint> &points, ElementFit *fit)
{
    const int n = points.size();
    if (n < 2)
        return false;
    double meanX = 0, meanY = 0;
    for (const FitPoint &p : points) {
        meanX += p.intensity / n;
        meanY += p.certified / n;
    }
    double sxx = 0, sxy = 0, syy = 0;
    for (const FitPoint &p : points) {
        sxx += (p.intensity - meanX) * (p.intensity - meanX);
        sxy += (p.intensity - meanX) * (p.certified - meanY);
        syy += (p.certified - meanY) * (p.certified - meanY);
    }
    fit->points = points;
    if (sxx <= 0 || syy <= 0) {
        fit->slope = 0;
        fit->rSquared = 0;
        return false;
    }
    fit->slope = sxy / sxx;
    fit->intercept = meanY - fit->slope * meanX;
    double residual = 0;
    fit->worstAbsError = -1;
    for (const FitPoint &p : points) {
        const double error = std::abs(fit->intercept + fit->slope * p.intensity - p.certified);
        residual += error * error;
        if (error > fit->worstAbsError) {
            fit->worstAbsError = error;
            fit->worstStandard = p.standard;
        }
    }
    fit->rSquared = std::max(0.0, 1.0 - residual / syy);
    return true;
}

bool fitMethodFolder(const QString &methodFolder, const QString &methodId, MethodFit *result,
                     RunOutcome *failure)
{
    QString error;
    QVector<Shot> shots;
    if (!readCalibratedMethod(methodFolder, methodId, &result->methodPath, &result->method, &error)
        || !readShots(methodFolder, methodId, &shots, &error)) {
        *failure = methodError(methodId, error);
        return false;
    }
    const QJsonArray symbols = result->method.value(QStringLiteral("elements")).toArray();
    if (symbols.isEmpty()) {
        *failure = methodError(methodId,
                               QStringLiteral("%1: key 'elements' lists no elements")
                                   .arg(XrfMethod::methodFileName(methodId)));
        return false;
    }
    QVector<int> elements;
    for (const QJsonValue &symbol : symbols)
        elements.append(XrfUtils::atomicNumber(symbol.toString()));
    const QVector<double> lines = spectrumLines(
        elements, result->method.value(QStringLiteral("coherentZNumberAllBeam")).toInt());
    for (const QJsonValue &symbol : symbols) {
        ElementFit fit;
        switch (fitElement(symbol.toString(), shots, elements, lines, &fit, &error)) {
        case ElementResult::Error:
            *failure = methodError(methodId,
                                   QStringLiteral("element %1: %2").arg(symbol.toString(), error));
            return false;
        case ElementResult::NotCalibratable:
            result->uncalibrated << symbol.toString();
            break;
        case ElementResult::Fitted:
            result->fits.append(fit);
            break;
        }
    }
    return true;
}

RunOutcome calibrateMethodFolder(const QString &methodFolder, const QString &methodId, int runId)
{
    MethodFit result;
    RunOutcome failure;
    if (!fitMethodFolder(methodFolder, methodId, &result, &failure))
        return failure;
    QStringList problems;
    QJsonArray fits;
    for (const ElementFit &fit : qAsConst(result.fits)) {
        const QString problem = fitProblem(fit);
        if (!problem.isEmpty())
            problems << QStringLiteral("element %1 (%2, beam %3): %4")
                            .arg(fit.element, fit.line)
                            .arg(fit.beam)
                            .arg(problem);
        fits.append(fit.toJson());
    }
    if (!problems.isEmpty())
        return failed(
            ApprovalFailed,
            QStringLiteral("Method %1, %2").arg(methodId, problems.join(QStringLiteral("; "))));
    result.method.insert(QStringLiteral("isFactorSet"), true);
    result.method.insert(QStringLiteral("calibration"),
                         QJsonObject{{QStringLiteral("fittedBy"), kFittedBy},
                                     {QStringLiteral("runId"), runId},
                                     {QStringLiteral("elements"), fits},
                                     {QStringLiteral("uncalibratedElements"),
                                      QJsonArray::fromStringList(result.uncalibrated)}});
    QString error;
    if (!XrfUtils::writeJsonFile(result.methodPath, QJsonDocument(result.method), &error))
        return methodError(methodId, error);
    return RunOutcome{OutputReady, QString()};
}

RunOutcome qcSummaryOfMethodFolder(const QString &methodFolder, const QString &methodId)
{
    QString methodPath, error;
    QJsonObject method;
    QVector<Shot> shots;
    if (!readCalibratedMethod(methodFolder, methodId, &methodPath, &method, &error)
        || !readShots(methodFolder, methodId, &shots, &error))
        return methodError(methodId, error);
    const QJsonObject calibration = method.value(QStringLiteral("calibration")).toObject();
    if (!method.value(QStringLiteral("isFactorSet")).toBool() || calibration.isEmpty())
        return methodError(methodId,
                           QStringLiteral("%1 has no factor set (keys 'isFactorSet', "
                                          "'calibration')")
                               .arg(XrfMethod::methodFileName(methodId)));
    QcResult result;
    for (const QJsonValue &entry : calibration.value(QStringLiteral("elements")).toArray()) {
        ElementFit factors;
        if (!factors.fromJson(entry.toObject(), &error)
            || !recomputeElement(factors, shots, &result, &error))
            return methodError(methodId, error);
    }
    const bool passed = result.maxAbsError <= kQcTolerance;
    if (!writeQcSummary(methodFolder, passed, result.maxAbsError, result.elements, &error))
        return methodError(methodId, error);
    if (passed)
        return RunOutcome{OutputReady, QString()};
    return failed(ApprovalFailed,
                  QStringLiteral("Method %1: QC error %2 (%3) is over the tolerance %4")
                      .arg(methodId)
                      .arg(result.maxAbsError, 0, 'g', 3)
                      .arg(result.worst)
                      .arg(kQcTolerance));
}

RunOutcome processMethodArchive(const QByteArray &upload, const QString &methodId, bool qcSummary,
                                int runId, QByteArray *archive)
{
    if (!XrfMethod::isValidMethodId(methodId))
        return failed(WorkspaceError,
                      QStringLiteral("Method id '%1' cannot name a method").arg(methodId));
    QTemporaryDir work;
    const QString uploadPath = work.filePath(QStringLiteral("upload.zip"));
    const QString folder = work.filePath(QStringLiteral("method"));
    QString error;
    if (!work.isValid()
        || XrfUtils::writeFileAtomically(uploadPath, upload, &error) != XrfUtils::WriteResult::Ok)
        return methodError(methodId, QStringLiteral("cannot store the upload: %1").arg(error));
    if (!XrfUtils::unzip(uploadPath, folder, &error))
        return methodError(methodId,
                           QStringLiteral("the upload is no method archive: %1").arg(error));
    RunOutcome outcome;
    if (!syntheticMethodOutcome(folder, methodId, qcSummary, &outcome))
        outcome = qcSummary ? qcSummaryOfMethodFolder(folder, methodId)
                            : calibrateMethodFolder(folder, methodId, runId);
    if (outcome.runStatusId != OutputReady)
        return outcome;
    const QString name = QStringLiteral("output.zip");
    if (!XrfUtils::zip(folder, name, work.path(), true, true, false, QString(), &error))
        return methodError(methodId, QStringLiteral("cannot pack the result: %1").arg(error));
    QFile packed(work.filePath(name));
    if (!packed.open(QIODevice::ReadOnly))
        return methodError(methodId, QStringLiteral("cannot read the packed result"));
    *archive = packed.readAll();
    return outcome;
}

} // namespace SimFactorSetFit
