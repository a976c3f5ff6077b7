// Calibration shots, factory step 10: the record in lastResult.json ("calibrationShot"), the
// status of single steps, invalidation and the cleanup of workspaces.

#include "xrffactorymanager_p.h"

#include "xrfcalibrationutils.h"
#include "xrfmethod.h"

#include <QDir>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {
const QString kCalibrationShot = QStringLiteral("calibrationShot");
const QString kStatus = QStringLiteral("status");
const QString kStartTime = QStringLiteral("startTime");
const QString kEndTime = QStringLiteral("endTime");
} // namespace

// {"status", "startTime", "endTime", "methodList": [ids with steps], "modelMethod": the work
// order's methods the list was built for, "steps": [...]}.
bool Worker::saveCalibrationStatusToLastResult(int status)
{
    loadFactorySetupLastResult(nullptr);
    QJsonObject record = lastResult.value(kCalibrationShot).toObject();
    if (!record.contains(kStartTime) || status == XrfFactoryStepInfo::InProgress)
        record.insert(kStartTime, record.value(kStartTime).toString(XrfUtils::currentUtcIsoTime()));
    if (status != XrfFactoryStepInfo::InProgress)
        record.insert(kEndTime, XrfUtils::currentUtcIsoTime());
    record.insert(kStatus, status);
    record.insert(QStringLiteral("methodList"),
                  QJsonArray::fromStringList(calibrationMethodsWithSteps));
    record.insert(QStringLiteral("modelMethod"),
                  currentWorkOrder().value(QStringLiteral("modelMethod")));
    record.insert(QStringLiteral("steps"),
                  calibrationStepList.toJsonObject().value(QStringLiteral("steps")));
    lastResult.insert(kCalibrationShot, record);
    if (saveFactorySetupLastResult())
        return true;
    qWarning() << "Failed to save the calibration status to lastResult.json";
    return false;
}

void Worker::updateCalibrationShotStatus(XrfCalibrationStep &step)
{
    qDebug() << "Updating status of calibration step:" << step.stepName() << step.statusText();
    QString error;
    if (!XrfCalibrationUtils::updateCalibrationStepStatus(profilePath, step, &error))
        qWarning().noquote() << "Failed to update the calibration step status:" << error;
}

// The application sets a step's status: the step (same standard, order and exposure) takes the
// status of `stepJson` ("isDone", "hasFailed", "errorMsg", "isWrongShot").
void Worker::onUpdateCalibrationShotStatus(const QJsonObject &stepJson)
{
    XrfCalibrationStep given;
    QString error;
    if (!given.fromJsonObject(stepJson, &error)) {
        qWarning() << "Calibration step status refused:" << error;
        return;
    }
    for (XrfCalibrationStep &step : calibrationStepList.list()) {
        if (!step.isSameStepAs(given))
            continue;
        step.copyStatusFrom(given);
        updateCalibrationShotStatus(step);
        indexCalibrationStandards();
        saveCalibrationStatusToLastResult();
        emit q->calibrationStepListChanged(calibrationStepList.toJsonObject());
        return;
    }
    qWarning() << "No calibration step matches the status update for" << given.stepName();
}

// `standards`: names separated by commas; empty invalidates every standard of the selected
// methods.
void Worker::invalidateCalibrationShots(const QString &standards)
{
    qDebug() << "Invalidating cal shots for the standards:" << standards;
    if (calibrationStepList.isEmpty())
        populateCalibrationStepList();
    QList<ModelMethod> methods;
    QString error;
    getMethodsList(&methods, &error, false, false);
    QStringList selected;
    for (const ModelMethod &method : qAsConst(methods))
        selected << method.id();
    const QStringList names = standards.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &name : names.isEmpty() ? QStringList{QString()} : names) {
        int found = 0;
        for (XrfCalibrationStep &step : calibrationStepList.list()) {
            const bool standardMatches =
                name.isEmpty() || step.standardDisplayId() == name.trimmed();
            const bool methodMatches =
                std::any_of(step.methodUses().cbegin(), step.methodUses().cend(),
                            [&selected](const XrfCalibrationMethodUse &use) {
                                return selected.contains(use.methodId());
                            });
            if (!standardMatches || !methodMatches)
                continue;
            step.resetStatus();
            updateCalibrationShotStatus(step);
            ++found;
        }
        qDebug() << "Found" << found << " steps for" << name << " in the steps list";
    }
    indexCalibrationStandards();
    saveCalibrationStatusToLastResult();
    putDeviceFactoryStepStatus(XrfUtils::CalibrationShot, XrfFactoryStepInfo::NotStarted);
    emit q->calibrationStepListChanged(calibrationStepList.toJsonObject());
}

void Worker::cleanupCalibrationWorkspace(const QString &methodId)
{
    qDebug() << "Cleanup Calibration Workspace" << methodId;
    loadFactorySetupLastResult(nullptr);
    if (lastResult.contains(kCalibrationShot)) {
        lastResult.remove(kCalibrationShot);
        if (!saveFactorySetupLastResult())
            qWarning() << "Failed to remove the calibration shots from lastResult.json";
    }
    if (methodId.isEmpty() || profilePath.isEmpty())
        return;
    const QString workspace = XrfMethod::methodFolder(profilePath, methodId);
    if (workspace.isEmpty()) {
        qWarning() << "Calibration workspace cleanup refused, the method id cannot name a folder:"
                   << methodId;
        return;
    }
    if (QDir(workspace).exists() && !QDir(workspace).removeRecursively())
        qWarning() << "Failed to remove the calibration workspace" << workspace;
}
