// The calibration step list of all methods, the status of its steps in the workspaces, the
// backgrounds the air steps measure, and the shots copied into the workspaces at the end.
#include "xrfcalibrationutils.h"
#include "xrfcalibrationworkspace_p.h"

#include "xrfcalibrationshot.h"
#include "xrfmethod.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

using namespace CalibrationWorkspace;

namespace {

// Adds the steps of one method: a step that an earlier method already has with the same standard,
// order and exposure only gains the use; others join their standard's group.
void mergeSteps(const QList<XrfCalibrationStep> &methodSteps, QList<XrfCalibrationStep> *merged,
                QStringList *standardOrder)
{
    for (const XrfCalibrationStep &step : methodSteps) {
        auto same =
            std::find_if(merged->begin(), merged->end(),
                         [&step](const XrfCalibrationStep &s) { return s.isSameStepAs(step); });
        if (same != merged->end()) {
            for (const XrfCalibrationMethodUse &use : step.methodUses())
                same->addMethodUse(use);
            if (step.isPending())
                same->copyStatusFrom(step);
            continue;
        }
        if (!standardOrder->contains(step.standardDisplayId()))
            standardOrder->append(step.standardDisplayId());
        merged->append(step);
    }
}

bool readWorkspace(const QString &profilePath, const QString &methodId, QString *stepsFile,
                   QJsonObject *workspace, QList<XrfCalibrationStep> *steps, QString *errorMsg)
{
    *stepsFile = XrfCalibrationUtils::calibrationStepsFile(profilePath, methodId);
    if (stepsFile->isEmpty()) {
        setError(errorMsg, QStringLiteral("Method id '%1' cannot name a workspace").arg(methodId));
        return false;
    }
    return readObject(*stepsFile, workspace, errorMsg)
        && readSteps(*workspace, *stepsFile, steps, errorMsg);
}

} // namespace

bool XrfCalibrationUtils::getCalibrationStepList(const QString &profilePath,
                                                 const QStringList &methodIds,
                                                 XrfCalibrationStepList *steps,
                                                 const QMap<QString, QString> &syntheticDirs,
                                                 QString *errorMsg)
{
    if (!steps)
        return false;
    QList<XrfCalibrationStep> merged;
    QStringList standardOrder;
    for (const QString &methodId : methodIds) {
        if (!syntheticDirs.value(methodId).isEmpty())
            continue;
        QString file;
        QJsonObject workspace;
        QList<XrfCalibrationStep> methodSteps;
        if (!readWorkspace(profilePath, methodId, &file, &workspace, &methodSteps, errorMsg))
            return false;
        mergeSteps(methodSteps, &merged, &standardOrder);
    }
    std::stable_sort(merged.begin(), merged.end(),
                     [&standardOrder](const XrfCalibrationStep &a, const XrfCalibrationStep &b) {
                         const int standardA = standardOrder.indexOf(a.standardDisplayId());
                         const int standardB = standardOrder.indexOf(b.standardDisplayId());
                         if (standardA != standardB)
                             return standardA < standardB;
                         return a.shootOrder() < b.shootOrder();
                     });
    steps->clear();
    for (const XrfCalibrationStep &step : qAsConst(merged))
        steps->append(step);
    return true;
}

bool XrfCalibrationUtils::updateCalibrationStepStatus(const QString &profilePath,
                                                      const XrfCalibrationStep &step,
                                                      QString *errorMsg)
{
    QStringList done;
    for (const XrfCalibrationMethodUse &use : step.methodUses()) {
        if (done.contains(use.methodId()))
            continue;
        done << use.methodId();
        QString file;
        QJsonObject workspace;
        QList<XrfCalibrationStep> steps;
        if (!readWorkspace(profilePath, use.methodId(), &file, &workspace, &steps, errorMsg))
            return false;
        for (XrfCalibrationStep &own : steps) {
            if (own.isSameStepAs(step))
                own.copyStatusFrom(step);
        }
        workspace.insert(kSteps, recordsToJson(steps));
        if (!writeObject(file, workspace, errorMsg))
            return false;
    }
    return true;
}

bool XrfCalibrationUtils::populateWorkSpaceWithCaliShot(const QString &profilePath,
                                                        const QString &shotLibrary,
                                                        const QStringList &methodIds,
                                                        const QMap<QString, QString> &syntheticDirs,
                                                        QString *errorMsg)
{
    QStringList missing;
    for (const QString &methodId : methodIds) {
        if (!syntheticDirs.value(methodId).isEmpty())
            continue;
        QString file;
        QJsonObject workspace;
        QList<XrfCalibrationStep> steps;
        if (!readWorkspace(profilePath, methodId, &file, &workspace, &steps, errorMsg))
            return false;
        const QString shotsFolder =
            QFileInfo(file).dir().absolutePath() + QStringLiteral("/../shots");
        QDir().mkpath(shotsFolder);
        for (const XrfCalibrationStep &step : qAsConst(steps)) {
            if (!step.isPassed())
                continue;
            const QString name = step.calibrationShotFileName();
            const QString target = shotsFolder + QLatin1Char('/') + name;
            QFile::remove(target);
            if (!QFile::copy(shotLibrary + QLatin1Char('/') + name, target))
                missing << QStringLiteral("%1 (%2)").arg(name, methodId);
        }
    }
    if (missing.isEmpty())
        return true;
    setError(errorMsg,
             QStringLiteral("Calibration shots missing from %1: %2")
                 .arg(shotLibrary, missing.join(QStringLiteral(", "))));
    return false;
}

bool XrfCalibrationUtils::updateBeamRoiBackgroundRate(const QString &stepsFile, int beamIndex,
                                                      double cps, QString *errorMsg)
{
    QJsonObject workspace;
    if (!readObject(stepsFile, &workspace, errorMsg))
        return false;
    QJsonArray beams = workspace.value(kBeams).toArray();
    for (int i = 0; i < beams.size(); ++i) {
        QJsonObject beam = beams.at(i).toObject();
        if (beam.value(kBeamNumber).toInt() != beamIndex + 1)
            continue;
        beam.insert(kRoiBackground, cps);
        beams.replace(i, beam);
        workspace.insert(kBeams, beams);
        return writeObject(stepsFile, workspace, errorMsg);
    }
    setError(errorMsg,
             QStringLiteral("%1: key 'beams' has no beam %2").arg(stepsFile).arg(beamIndex + 1));
    return false;
}

bool XrfCalibrationUtils::updateCustomWindowBackgroundRate(const QString &profilePath,
                                                           const QStringList &methodIds,
                                                           const QMap<QString, double> &rates,
                                                           QString *errorMsg)
{
    for (const QString &methodId : methodIds) {
        QString file;
        QJsonObject workspace;
        QList<XrfCalibrationStep> steps;
        if (!readWorkspace(profilePath, methodId, &file, &workspace, &steps, errorMsg))
            return false;
        QJsonObject stored = workspace.value(kWindowRates).toObject();
        bool changed = false;
        for (const XrfCalibrationStep &step : qAsConst(steps)) {
            if (step.hasCustomWindow() && rates.contains(step.customWindow())) {
                stored.insert(step.customWindow(), rates.value(step.customWindow()));
                changed = true;
            }
        }
        workspace.insert(kWindowRates, stored);
        if (changed && !writeObject(file, workspace, errorMsg))
            return false;
    }
    return true;
}
