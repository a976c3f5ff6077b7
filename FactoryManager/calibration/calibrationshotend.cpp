// Calibration shots, factory step 10: the end of each shot (status, custom-window background,
// the calibration shot library) and of the whole calibration.

#include "xrffactorymanager_p.h"

#include "xrfcalibrationutils.h"
#include "xrfmethod.h"
#include "xrfsoftwareversioninfo.h"

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {
const QString kShotFailed = QStringLiteral("Shot Failed: %1\nError: %2");
const QString kBeamZero = QStringLiteral("Custom window background of %1 refused: method %2 names "
                                         "beam %3, beams are numbered from 1");
} // namespace

void Worker::onCalibrationShotComplete(XrfCalibrationStep *step)
{
    if (!step) {
        qWarning() << "onCalibrationShotComplete is called on unknwon step";
        return;
    }
    runningCalibrationStep = -1;
    XrfCalibrationStandard standard;
    calibrationStandardList.getStandard(currentCalibrationStandard, &standard);
    standard.updateStepStatus(*step);
    if (!step->hasFailed()) {
        calibrationRemainingSeconds = calibrationTimeRemaining(standard, calibration50kVAllowed());
        setCurrentTaskTimeRemainingInSeconds(calibrationRemainingSeconds);
    } else {
        const QString message = kShotFailed.arg(step->stepName(), step->errorMsg());
        qWarning().noquote() << message;
        standard.setHasFailed(true);
        setCurrentTaskStatus(
            QStringLiteral("%1,\n\n%2").arg(standard.stepsStatusString(), message));
        step->setErrorMsg(message);
        setCurrentTaskProgress(0);
    }
    calibrationStandardList.updateStandardStatus(standard);
    emit q->calibrationShotComplete(step->toJsonObject());
    if (!step->hasFailed()
        && step->sampleID().compare(XrfCalibrationUtils::kAirSampleId, Qt::CaseInsensitive) == 0
        && step->hasCustomWindow())
        applyCustomWindowBackground(*step);
    // A failed shot is recorded and kept like a good one; it ends the pass over the standard,
    // which the technician starts again.
    updateCalibrationShotStatus(*step);
    saveCalibrationStatusToLastResult();
    saveCalibrationShotToLibrary(*step);
    if (step->hasFailed()) {
        releaseExposureSignals();
        return;
    }
    doCalibrationShot(currentCalibrationStandard, currentCalibrationStepIndex + 1);
}

void Worker::applyCustomWindowBackground(const XrfCalibrationStep &step)
{
    const double background = calibrationExposure.lastSpectrum.calculateBackgroundRate();
    const bool collimated =
        step.exposure().filter().diameterInMicrons() == collimatorDiameterInMicrons;
    QStringList methods;
    for (const XrfCalibrationMethodUse &use : step.methodUses()) {
        methods << use.methodId();
        if (use.beamNumber() < 1) {
            const QString text =
                kBeamZero.arg(step.stepName(), use.methodId()).arg(use.beamNumber());
            qWarning().noquote() << text;
            setCurrentTaskStatus(text);
            continue;
        }
        QString error;
        if (collimated) {
            qDebug() << "Set Custom window collimated backgroundRate to beam " << use.beamNumber()
                     << " rate " << background;
            XrfMethod method;
            if (!method.setMethodFile(XrfMethod::methodFilePath(profilePath, use.methodId()),
                                      &error)
                || !method.setBeamBackgroundRate(true, use.beamNumber() - 1, background)
                || !method.saveMethodFile(&error))
                qWarning() << "Failed to store the custom window background in" << use.methodId()
                           << error;
            continue;
        }
        qDebug() << "Set Custom window un-collimated backgroundRate to beam " << use.beamNumber()
                 << " rate " << background;
        if (!XrfCalibrationUtils::updateBeamRoiBackgroundRate(
                XrfCalibrationUtils::calibrationStepsFile(profilePath, use.methodId()),
                use.beamNumber() - 1, background, &error))
            qWarning() << "Failed to store the beam's ROI background:" << error;
    }
    QString error;
    if (!XrfCalibrationUtils::updateCustomWindowBackgroundRate(
            profilePath, methods, {{step.customWindow(), background}}, &error))
        qWarning() << "Failed to store the custom window background:" << error;
}

void Worker::saveCalibrationShotToLibrary(const XrfCalibrationStep &step)
{
    XrfSoftwareVersionInfo versions;
    versions.readVersionInfoFromFile(QStringLiteral("/version.json"));
    XrfCalibrationShot shot = XrfCalibrationShot::fromStep(step, &versions);
    shot.setSpectrum(calibrationExposure.lastSpectrum);
    shot.setOrigin(hardwareConfig.insSerialNumber());
    shot.setCheckError(calibrationShotCheckError);
    QString error;
    if (!shot.saveCalibrationShot(calibrationShotLibDirPath, &error))
        qWarning().noquote() << error;
}

void Worker::onCalibrationComplete(bool passed, const QString &message, bool report)
{
    qDebug() << "All Calibration Step is done " << message;
    setCurrentTaskStatus(tr("Calibration complete"));
    setCurrentTaskTimeRemainingInSeconds(0);
    QList<ModelMethod> methods;
    QString error;
    getMethodsList(&methods, &error, false, false);
    if (methodIdSyntheticShotDirMap.isEmpty())
        methodIdSyntheticShotDirMap = calibrationSyntheticShotFolders(methods);
    QMap<QString, QString> syntheticOnly;
    for (auto it = methodIdSyntheticShotDirMap.cbegin(); it != methodIdSyntheticShotDirMap.cend();
         ++it) {
        if (!calibrationMethodsWithSteps.contains(it.key()))
            syntheticOnly.insert(it.key(), it.value());
    }
    if (!XrfCalibrationUtils::populateWorkSpaceWithCaliShot(profilePath, calibrationShotLibDirPath,
                                                            calibrationMethodsWithSteps,
                                                            syntheticOnly, &error)) {
        qWarning().noquote() << error;
        passed = false;
    }
    saveCalibrationStatusToLastResult(passed ? XrfFactoryStepInfo::Passed
                                             : XrfFactoryStepInfo::Failed);
    emit q->calibrationComplete(passed, QJsonObject());
    if (report) {
        qDebug() << "Update calibration step status in cloud....";
        putDeviceFactoryStepStatus(XrfUtils::CalibrationShot,
                                   passed ? XrfFactoryStepInfo::Passed
                                          : XrfFactoryStepInfo::Failed);
    }
    releaseExposureSignals();
}

void Worker::completeAddPureCalibrationWorkflow()
{
    qDebug() << "XrfFactoryManagerPrivate::completeAddPureCalibrationWorkflow";
    QString error;
    if (!XrfCalibrationUtils::populateWorkSpaceWithCaliShot(profilePath, calibrationShotLibDirPath,
                                                            calibrationMethodsWithSteps,
                                                            methodIdSyntheticShotDirMap, &error))
        qWarning().noquote() << error;
}
