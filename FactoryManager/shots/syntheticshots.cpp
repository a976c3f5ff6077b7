// Synthetic shots: the selection criterion of every synthetic method from the prerequisite shots,
// the synthetic shot set it picks, its processing with this instrument's air shots, and the step
// status that follows.

#include "xrffactorymanager_p.h"

#include "xrfcalibrationutils.h"

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {
const QString kNoMethods =
    QStringLiteral("Failed to calculate selection criteria, failed get methods list.");
const QString kNoSyntheticMethod = QStringLiteral(
    "Failed to process synthetic shots, failed to find methods that use synthetic calibration.");
const QString kCriterionFailed = QStringLiteral(
    "Failed to calculate synthetic shot selection criteria '%1' value for method '%2'");
const QString kProcessingFailed =
    QStringLiteral("Failed to process synthetic shots for method: %1");
} // namespace

void Worker::selectSyntheticShots(bool process)
{
    qDebug() << "Calculating selection criteria and processing synthetic shots";
    const QString probeType = XrfHardwareConfig::getProbeTypeFromInstrumentModel(
        workOrder.value(QStringLiteral("deviceType")).toString());
    QList<ModelMethod> methods;
    QString listError;
    if (!getMethodsList(&methods, &listError, true, false))
        qWarning().noquote() << kNoMethods << listError;
    QList<ModelMethod> synthetic;
    for (const ModelMethod &method : methods) {
        if (method.isSyntheticMethod())
            synthetic << method;
    }
    XrfSyntheticShotSelectionCriteria &criteria = prerequisiteStepInfo.selectionCriteria();
    criteria.clearCriteria();
    if (synthetic.isEmpty()) {
        qWarning().noquote() << kNoSyntheticMethod;
        finishSyntheticShotSelection(criteria, false,
                                     listError.isEmpty() ? kNoSyntheticMethod : listError);
        return;
    }
    if (uncollimatedAirShotList.isEmpty() || collimatedAirShotList.isEmpty())
        getListOfAirShots();
    QString suffix = XrfCalibrationUtils::syntheticShotDirSuffix(probeType);
    if (!suffix.isEmpty())
        qInfo().noquote() << QStringLiteral("Hardware config reports %1 probe head, synthetic "
                                            "calibration will look for matching directories")
                                 .arg(probeType);
    QStringList failures;
    QStringList processed;
    for (const ModelMethod &method : synthetic) {
        XrfSyntheticShotSelectionCriteriaPerMethod perMethod;
        if (!XrfCalibrationUtils::calculateSyntheticShotSelectionCriteria(
                method, suffix, prerequisiteStepInfo.shotsList(), &perMethod)) {
            qWarning().noquote() << kCriterionFailed.arg(method.syntheticShotSelectionParameter(),
                                                         method.id())
                                 << perMethod.statusMsg();
        } else if (process && !processed.contains(perMethod.filesPath())) {
            processed << perMethod.filesPath();
            QString error;
            if (!XrfCalibrationUtils::processSyntheticShots(method, uncollimatedAirShotList,
                                                            collimatedAirShotList,
                                                            perMethod.filesPath(), &error)) {
                qWarning().noquote() << kProcessingFailed.arg(method.partNumber()) << error;
                perMethod.setHasFailed(true);
                perMethod.setStatusMsg(error);
            }
        }
        perMethod.setIsDone(true);
        if (perMethod.hasFailed())
            failures << QStringLiteral("%1: %2").arg(method.id(), perMethod.statusMsg());
        criteria.setCriteria(perMethod);
    }
    // Every synthetic method needs its set: one that failed fails the step.
    finishSyntheticShotSelection(criteria, failures.isEmpty(), failures.join(QStringLiteral("; ")));
}

void Worker::finishSyntheticShotSelection(XrfSyntheticShotSelectionCriteria &criteria, bool status,
                                          const QString &message)
{
    criteria.setStatus(status);
    criteria.setStatusMsg(message);
    prerequisiteStepInfo.shotsList().setSelectionCriteriaStatus(status);
    if (!status)
        setCurrentTaskStatus(message);
    QString error;
    if (!savePrerequisiteStepToLastResult(&error))
        qWarning() << "Failed to save prerequisite step to lastResult, error:" << error;
    emit q->syntheticShotSelectionComplete(criteria);
    putDeviceFactoryStepStatus(XrfUtils::PrerequisiteShots,
                               status ? XrfFactoryStepInfo::Passed : XrfFactoryStepInfo::Failed);
}
