// Calibration workspaces of the methods: creation from templates, validation, the step list of
// all methods, step status and the shots copied in when the calibration is complete.
#include "xrfcalibrationutils.h"
#include "xrfcalibrationworkspace_p.h"

#include "xrfcalibrationstep.h"
#include "xrfexposuresettings.h"
#include "xrfmethod.h"
#include "xrfutils.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

namespace {
using namespace CalibrationWorkspace;

const int kDefaultShotSeconds = 30;

// One beam of a template: its number and how long its calibration shots run.
struct TemplateBeam
{
    int number = 0;
    int shotSeconds = kDefaultShotSeconds;
    bool useLiveTime = true;
};

bool readTemplateBeams(const QJsonObject &tmpl, const QString &file, int exposureCount,
                       QList<TemplateBeam> *beams, QString *errorMsg)
{
    const QJsonValue value = tmpl.value(kBeams);
    if (!value.isArray() || value.toArray().isEmpty()) {
        setError(errorMsg, QStringLiteral("%1: key 'beams' is not a non-empty array").arg(file));
        return false;
    }
    for (const QJsonValue &entry : value.toArray()) {
        const QJsonObject beam = entry.toObject();
        TemplateBeam parsed;
        parsed.number = beam.value(kBeamNumber).toInt(0);
        parsed.shotSeconds =
            beam.value(QStringLiteral("shotTimeSeconds")).toInt(kDefaultShotSeconds);
        parsed.useLiveTime = beam.value(QStringLiteral("useLiveTime")).toBool(true);
        if (parsed.number < 1 || parsed.shotSeconds < 1) {
            setError(errorMsg,
                     QStringLiteral("%1: key 'beams' holds a beam numbered %2 with %3 s "
                                    "shots; beams are numbered from 1 and shoot at "
                                    "least 1 s")
                         .arg(file)
                         .arg(parsed.number)
                         .arg(parsed.shotSeconds));
            return false;
        }
        // A beam the air shots give no exposure for (a filter without a collimated twin, say)
        // is not calibrated; its standards are shot with the other beams.
        if (parsed.number > exposureCount)
            qInfo().noquote() << QStringLiteral("%1: beam %2 has no exposure, the air shots give "
                                                "the method %3 beams; it is left out")
                                     .arg(file)
                                     .arg(parsed.number)
                                     .arg(exposureCount);
        else
            beams->append(parsed);
    }
    if (!beams->isEmpty())
        return true;
    setError(errorMsg,
             QStringLiteral("%1: no beam of key 'beams' has an exposure, the air shots "
                            "give the method %2 beams")
                 .arg(file)
                 .arg(exposureCount));
    return false;
}

XrfExposureSettings beamExposure(const XrfExposureSettings &airShotExposure,
                                 const TemplateBeam &beam)
{
    XrfExposureSettings exposure = airShotExposure;
    exposure.setMaxTime(beam.shotSeconds);
    exposure.setUseLiveTime(beam.useLiveTime);
    return exposure;
}

bool templateStep(const QJsonObject &standard, const QString &file, int order,
                  XrfCalibrationStep *step, QString *errorMsg)
{
    step->setSampleID(standard.value(QStringLiteral("sampleID")).toString());
    step->setSampleName(standard.value(QStringLiteral("sampleName")).toString());
    step->setSampleType(standard.value(QStringLiteral("sampleType")).toString());
    step->setSampleLot(standard.value(QStringLiteral("sampleLot")).toString());
    step->setShootOrder(order);
    if (!XrfUtils::isSafePathComponent(step->sampleID())) {
        setError(errorMsg,
                 QStringLiteral("%1: key 'standards' holds the sample ID '%2', which "
                                "cannot name a shot file")
                     .arg(file, step->sampleID()));
        return false;
    }
    return true;
}

bool templateSteps(const QJsonObject &tmpl, const QString &file, const QString &methodId,
                   const QList<TemplateBeam> &beams, const QList<XrfExposureSettings> &exposures,
                   QList<XrfCalibrationStep> *steps, QString *errorMsg)
{
    const QJsonValue standards = tmpl.value(QStringLiteral("standards"));
    if (!standards.isArray() || standards.toArray().isEmpty()) {
        setError(errorMsg,
                 QStringLiteral("%1: key 'standards' is not a non-empty array").arg(file));
        return false;
    }
    for (const QJsonValue &entry : standards.toArray()) {
        const QJsonObject standard = entry.toObject();
        int order = 0;
        for (const QJsonValue &beamValue : standard.value(kBeams).toArray()) {
            const int number = beamValue.toInt(0);
            const auto beam =
                std::find_if(beams.cbegin(), beams.cend(),
                             [number](const TemplateBeam &b) { return b.number == number; });
            XrfCalibrationStep step;
            if (!templateStep(standard, file, ++order, &step, errorMsg))
                return false;
            if (number < 1) {
                setError(errorMsg,
                         QStringLiteral("%1: standard '%2' names beam %3; beams are "
                                        "numbered from 1")
                             .arg(file, step.sampleID())
                             .arg(number));
                return false;
            }
            if (beam == beams.cend())
                continue;
            step.setBeamNumber(number);
            step.setExposure(beamExposure(exposures.at(number - 1), *beam));
            step.addMethodUse(XrfCalibrationMethodUse(methodId, number));
            steps->append(step);
        }
    }
    return true;
}

// The air shots that measure the background of the custom regions, one per beam, first.
QList<XrfCalibrationStep> customWindowSteps(const QString &methodId,
                                            const QList<TemplateBeam> &beams,
                                            const QList<XrfExposureSettings> &exposures,
                                            const QStringList &symbols)
{
    QList<XrfCalibrationStep> steps;
    if (symbols.isEmpty())
        return steps;
    for (const TemplateBeam &beam : beams) {
        XrfCalibrationStep step;
        step.setSampleID(XrfCalibrationUtils::kAirSampleId);
        step.setSampleName(XrfCalibrationUtils::kAirSampleId);
        step.setSampleType(QStringLiteral("blank"));
        step.setShootOrder(beam.number);
        step.setBeamNumber(beam.number);
        step.setCustomWindow(
            QStringLiteral("%1~%2").arg(symbols.join(QLatin1Char('+'))).arg(beam.number));
        step.setExposure(beamExposure(exposures.at(beam.number - 1), beam));
        step.addMethodUse(XrfCalibrationMethodUse(methodId, beam.number));
        steps.append(step);
    }
    return steps;
}

QJsonArray beamsJson(const QList<TemplateBeam> &beams, const QList<XrfExposureSettings> &exposures)
{
    QJsonArray array;
    for (const TemplateBeam &beam : beams) {
        const XrfExposureSettings exposure = beamExposure(exposures.at(beam.number - 1), beam);
        array.append(QJsonObject{{kBeamNumber, beam.number},
                                 {kExposure, exposure.toJsonObject()},
                                 {kRoiBackground, exposure.backgroundRate()}});
    }
    return array;
}

bool writeMethodFile(const QString &profilePath, const QString &methodId, const QJsonObject &tmpl,
                     const QList<XrfExposureSettings> &exposures, QString *errorMsg)
{
    const QString path = XrfMethod::methodFilePath(profilePath, methodId);
    QJsonObject json = tmpl.value(QStringLiteral("method")).toObject();
    json.insert(QStringLiteral("id"), methodId);
    json.insert(QStringLiteral("displayName"),
                tmpl.value(QStringLiteral("displayName")).toString(methodId));
    json.insert(kTemplateName, tmpl.value(kTemplateName).toString());
    XrfMethod method;
    QString error;
    if (!method.fromJsonObject(json, &error)) {
        setError(errorMsg, QStringLiteral("Method template's 'method' object: %1").arg(error));
        return false;
    }
    method.setExposureSettings(false, exposures);
    if (!writeObject(path, method.toJsonObject(), errorMsg))
        return false;
    return method.setMethodFile(path, errorMsg);
}

} // namespace

const QString XrfCalibrationUtils::kAirSampleId = QStringLiteral("air");

QString XrfCalibrationUtils::calibrationStepsFile(const QString &profilePath,
                                                  const QString &methodId)
{
    const QString folder = XrfMethod::methodFolder(profilePath, methodId);
    if (folder.isEmpty())
        return QString();
    return folder + QStringLiteral("/calibrationworkspace/procedure/calibrationsteps.json");
}

QString XrfCalibrationUtils::methodTemplateFile(const QString &profilePath,
                                                const QString &templateName)
{
    if (!XrfMethod::isValidMethodId(templateName))
        return QString();
    return profilePath
        + QStringLiteral("/../calibrationdefault/methodTemplates/CalcMethodTemplate_")
        + templateName + QStringLiteral(".json");
}

QString XrfCalibrationUtils::disabledMethodPath(const QString &profilePath)
{
    return profilePath + QStringLiteral("/instrumentsettings/disabledMethods/");
}

bool XrfCalibrationUtils::createCalibrationWorkspaceFactory(
    const QString &profilePath, const QString &methodId, const QString &templateFile,
    const QList<XrfExposureSettings> &exposures, const QStringList &customSymbols,
    const QString &cloneDataFolder, const QString &bigSetProcedure, QString *errorMsg)
{
    const QString stepsFile = calibrationStepsFile(profilePath, methodId);
    if (stepsFile.isEmpty()) {
        setError(errorMsg, QStringLiteral("Method id '%1' cannot name a workspace").arg(methodId));
        return false;
    }
    QJsonObject tmpl;
    QList<TemplateBeam> beams;
    if (!readObject(templateFile, &tmpl, errorMsg)
        || !readTemplateBeams(tmpl, templateFile, exposures.size(), &beams, errorMsg))
        return false;
    QList<XrfCalibrationStep> steps = customWindowSteps(methodId, beams, exposures, customSymbols);
    if (!templateSteps(tmpl, templateFile, methodId, beams, exposures, &steps, errorMsg))
        return false;
    const QString cloneSteps = cloneDataFolder.isEmpty()
        ? QString()
        : cloneDataFolder + QStringLiteral("/calibrationworkspace/procedure/calibrationsteps.json");
    QJsonObject workspace{{kMethodId, methodId},
                          {kTemplateName, tmpl.value(kTemplateName).toString()},
                          {kBigSet, bigSetProcedure},
                          {kCustomSymbols, QJsonArray::fromStringList(customSymbols)},
                          {kBeams, beamsJson(beams, exposures)},
                          {kWindowRates, QJsonObject()},
                          {kSteps, recordsToJson(steps)}};
    QJsonObject cloned;
    if (!cloneSteps.isEmpty() && QFileInfo::exists(cloneSteps)) {
        if (!readObject(cloneSteps, &cloned, errorMsg))
            return false;
        workspace.insert(kSteps, cloned.value(kSteps));
    }
    return writeMethodFile(profilePath, methodId, tmpl, exposures, errorMsg)
        && writeObject(stepsFile, workspace, errorMsg);
}

bool XrfCalibrationUtils::validateCalibrationWorkspaceFactory(const QString &methodId,
                                                              const QString &stepsFile,
                                                              QString *errorMsg, bool requireSteps,
                                                              bool requireMethodFile)
{
    QJsonObject workspace;
    QList<XrfCalibrationStep> steps;
    if (!readObject(stepsFile, &workspace, errorMsg)
        || !readSteps(workspace, stepsFile, &steps, errorMsg))
        return false;
    if (workspace.value(kMethodId).toString() != methodId) {
        setError(errorMsg,
                 QStringLiteral("%1: key 'methodId' is '%2', not '%3'")
                     .arg(stepsFile, workspace.value(kMethodId).toString(), methodId));
        return false;
    }
    if (requireSteps && steps.isEmpty()) {
        setError(errorMsg, QStringLiteral("%1: key 'steps' is empty").arg(stepsFile));
        return false;
    }
    for (const XrfCalibrationStep &step : steps) {
        if (step.beamNumber() < 1 || !XrfUtils::isSafePathComponent(step.sampleID())) {
            setError(errorMsg,
                     QStringLiteral("%1: step '%2' has beam %3; steps need a sample ID "
                                    "that names a file and a beam from 1")
                         .arg(stepsFile, step.sampleID())
                         .arg(step.beamNumber()));
            return false;
        }
    }
    if (!requireMethodFile)
        return true;
    QDir folder = QFileInfo(stepsFile).dir();
    folder.cdUp();
    folder.cdUp();
    XrfMethod method;
    return method.setMethodFile(folder.filePath(XrfMethod::methodFileName(methodId)), errorMsg);
}

bool XrfCalibrationUtils::updateCalibrationWorkspace(const QString &stepsFile,
                                                     const QList<XrfExposureSettings> &exposures,
                                                     const QStringList &customSymbols,
                                                     bool resetStatus, QString *errorMsg)
{
    QJsonObject workspace;
    QList<XrfCalibrationStep> steps;
    if (!readObject(stepsFile, &workspace, errorMsg)
        || !readSteps(workspace, stepsFile, &steps, errorMsg))
        return false;
    for (XrfCalibrationStep &step : steps) {
        if (step.beamNumber() < 1 || step.beamNumber() > exposures.size()) {
            setError(errorMsg,
                     QStringLiteral("%1: step '%2' uses beam %3, the air shots give %4 "
                                    "beams")
                         .arg(stepsFile, step.sampleID())
                         .arg(step.beamNumber())
                         .arg(exposures.size()));
            return false;
        }
        XrfExposureSettings exposure = exposures.at(step.beamNumber() - 1);
        exposure.setMaxTime(step.exposure().maxTime());
        exposure.setUseLiveTime(step.exposure().useLiveTime());
        const bool changed = exposure.toJsonObject() != step.exposure().toJsonObject();
        step.setExposure(exposure);
        if (changed || resetStatus)
            step.resetStatus();
    }
    workspace.insert(kCustomSymbols, QJsonArray::fromStringList(customSymbols));
    workspace.insert(kSteps, recordsToJson(steps));
    return writeObject(stepsFile, workspace, errorMsg);
}

bool XrfCalibrationUtils::createSyntheticMethod(
    const QString &profilePath, const QString &methodId, const QString &syntheticFile,
    const QList<XrfExposureSettings> &collimatedExposures,
    const QList<XrfExposureSettings> &exposures, bool fullDemo, QString *errorMsg)
{
    const QString path = XrfMethod::methodFilePath(profilePath, methodId);
    XrfMethod method;
    if (path.isEmpty() || !method.setMethodFile(syntheticFile, errorMsg)) {
        if (path.isEmpty())
            setError(errorMsg,
                     QStringLiteral("Method id '%1' cannot name a workspace").arg(methodId));
        return false;
    }
    method.setId(methodId);
    method.setIsSyntheticMethod(true);
    method.setIsFullDemoMethod(fullDemo);
    method.setExposureSettings(false, exposures);
    method.setExposureSettings(true, collimatedExposures);
    return writeObject(path, method.toJsonObject(), errorMsg);
}
