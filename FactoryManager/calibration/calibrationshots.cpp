// Calibration shots, factory step 10: shooting the steps of the standard at the window, the 50 kV
// rule, and the checks of each spectrum (counts, set time, wrong-shot criteria).

#include "xrffactorymanager_p.h"

#include "xrfcalibrationutils.h"

#include "xrflogging.h"

#include <QDir>

#include <cmath>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

const QString kNoCounts = QStringLiteral("No counts in the spectrum. ");
const QString kTimeMismatch = QStringLiteral("Exposure did not run for the set time. Exposure Set "
                                             "Time:%1, Time exposure ran for:%2");
const QString kCheckerFailed =
    QStringLiteral("Wrong shot catcher failed to check cal shot, error:'%1', assuming its a good "
                   "shot.");
const QString kTemporaryShot = QStringLiteral("/calibrationShotCheck.json");

} // namespace

bool Worker::calibration50kVAllowed()
{
    return isTestStandPresentAndLidClosed();
}

int Worker::calibrationTimeRemaining(const XrfCalibrationStandard &standard, bool allow50kV) const
{
    int seconds = standard.timeRemainingInSeconds();
    if (standard.has50KvShots() && !allow50kV)
        seconds -= standard.timeRemainingFor50KvShots();
    return qMax(seconds, 0);
}

void Worker::shootCalibrationSample(const QString &standardName)
{
    qDebug() << "Starting calibration shots for" << standardName;
    QDir().mkpath(calibrationShotLibDirPath);
    if (calibrationStepList.isEmpty())
        populateCalibrationStepList();
    takeExposureSignals({[this] { onCalibrationShotExposureStarted(); },
                         [this](const XrfSpectrum &s) { calibrationExposure.onSpectrum(s); },
                         [this](XrfHardwareManager::XrfExposureEndCondition end, bool tubeOn) {
                             onCalibrationShotExposureStopped(end, tubeOn);
                         },
                         [this](const XrfErrorInfo &e) {
                             calibrationExposure.onError(e);
                         }});
    loadFactorySetupLastResult(nullptr);
    QJsonObject record = lastResult.value(QStringLiteral("calibrationShot")).toObject();
    if (!record.contains(QStringLiteral("startTime")))
        saveCalibrationStatusToLastResult();
    doCalibrationShot(standardName, 0);
}

void Worker::onCalibrationShotExposureStarted()
{
    calibrationExposure.onStarted();
    if (calibrationExposure.state != StepExposure::Started || runningCalibrationStep < 0)
        return;
    setCurrentTaskProgress(0);
    const XrfExposureSettings &e = calibrationExposure.settings;
    const XrfFilterProperties &filter = e.filter();
    setCurrentTaskStatus(tr("Shooting beam %1/%2 @ %3kV/%4uA/%5/%6/%7")
                             .arg(currentCalibrationStepIndex + 1)
                             .arg(calibrationStandardStepCount.value(currentCalibrationStandard))
                             .arg(double(e.tubeVoltageKv()), 0, 'f', 1)
                             .arg(double(e.tubeCurrentUa()), 0, 'f', 1)
                             .arg(filter.materialAtomicNumber())
                             .arg(filter.thicknessInMicrons())
                             .arg(filter.diameterInMicrons()));
}

void Worker::doCalibrationShot(const QString &standard, int stepIndex)
{
    currentCalibrationStandard = standard;
    currentCalibrationStepIndex = stepIndex;
    const bool allow50kV = calibration50kVAllowed();
    XrfCalibrationStandard record;
    if (!calibrationStandardList.getStandard(standard, &record)) {
        qCritical() << "**CRITICAL** Failed to get calibration standard from standards list"
                    << standard;
        return;
    }
    if (stepIndex == 0) {
        const int remaining = calibrationTimeRemaining(record, allow50kV);
        if (remaining != calibrationRemainingSeconds)
            setCurrentTaskTimeRemainingInSeconds(remaining);
        calibrationRemainingSeconds = remaining;
    }
    const int first = calibrationStandardFirstStep.value(standard);
    const int count = calibrationStandardStepCount.value(standard);
    for (int i = stepIndex; i < count; ++i) {
        const XrfCalibrationStep &step = calibrationStepList.at(first + i);
        if (!step.isPending())
            continue;
        if (step.is50kvStep() && !allow50kV) {
            qDebug() << "Skipping 50kV Shot";
            continue;
        }
        currentCalibrationStepIndex = i;
        runningCalibrationStep = first + i;
        calibrationExposure.reset();
        calibrationExposure.settings = step.exposure();
        calibrationShotCheckError.clear();
        calibrationStepList[first + i].setIsWrongShot(false);
        if (const int code = XrfHardwareManager::instance()->startExposure(
                calibrationExposure.settings, 0, 0, 0, 0, 0, 0)) {
            XrfCalibrationStep &failed = calibrationStepList[first + i];
            failed.setIsDone(true);
            failed.setHasFailed(true);
            failed.setErrorMsg(QStringLiteral("The exposure did not start, err:%1").arg(code));
            onCalibrationShotComplete(&failed);
        }
        return;
    }
    if (stepIndex > count)
        qWarning() << "Failed to find calibration step for" << standard << stepIndex;
    finishCalibrationStandard(standard);
}

void Worker::finishCalibrationStandard(const QString &standard)
{
    runningCalibrationStep = -1;
    const int first = calibrationStandardFirstStep.value(standard);
    const int count = calibrationStandardStepCount.value(standard);
    XrfCalibrationStandard record(calibrationStepList, first, count);
    if (record.isAllStepsDone()) {
        qDebug() << "All Steps are done for statndard : " << standard;
        record.setIsDone(true);
        record.setHasFailed(false);
        record.setIsOnly50KvRemaining(false);
    } else if (record.isOnly50kvStepsPending()) {
        qDebug() << "All steps except 50kv are done for standard:" << standard;
        record.setIsOnly50KvRemaining(true);
        record.setHasFailed(false);
        record.setIsDone(false);
    }
    calibrationStandardList.updateStandardStatus(record);
    emit q->calibrationStandardShotsComplete(record);
    const QString next = findNextStandard(standard);
    currentCalibrationStepIndex = 0;
    if (next.isEmpty()) {
        if (!offerSetAsideCalibrationStandards())
            onCalibrationComplete(true, QString(), true);
        return;
    }
    currentCalibrationStandard = next;
    setCurrentTaskStatus(tr("Place %1 at window.").arg(next));
    XrfCalibrationStandard nextRecord;
    calibrationStandardList.getStandard(next, &nextRecord);
    calibrationRemainingSeconds = calibrationTimeRemaining(nextRecord, calibration50kVAllowed());
    setCurrentTaskTimeRemainingInSeconds(calibrationRemainingSeconds);
    releaseExposureSignals();
    emit q->calibrationCurrentSampleChanged(next);
}

bool Worker::offerSetAsideCalibrationStandards()
{
    QStringList setAside;
    for (const XrfCalibrationStandard &s : calibrationStandardList.list()) {
        if (!s.isAllStepsDone())
            setAside << s.name();
    }
    if (setAside.isEmpty())
        return false;
    currentCalibrationStandard = setAside.first();
    setCurrentTaskStatus(tr("Close the test stand lid to shoot the 50 kV steps of %1.")
                             .arg(setAside.join(QStringLiteral(", "))));
    setCurrentTaskTimeRemainingInSeconds(0);
    releaseExposureSignals();
    emit q->calibrationCurrentSampleChanged(currentCalibrationStandard);
    return true;
}

void Worker::onCalibrationShotExposureStopped(
    XrfHardwareManager::XrfExposureEndCondition endCondition, bool tubeStillOn)
{
    Q_UNUSED(tubeStillOn)
    qDebug() << "Calibration Shot, exposure stopped";
    if (!calibrationExposure.onStopped() || runningCalibrationStep < 0
        || runningCalibrationStep >= calibrationStepList.size())
        return;
    XrfCalibrationStep &step = calibrationStepList[runningCalibrationStep];
    step.setIsDone(true);
    step.setShotTime(XrfUtils::currentUtcIsoTime());
    const XrfErrorInfo &error = calibrationExposure.lastError;
    if (endCondition == XrfHardwareManager::EndNormal && error.errorCode() == 0) {
        const QString problem = calibrationShotProblem(&step);
        step.setHasFailed(!problem.isEmpty());
        step.setErrorMsg(problem);
    } else {
        step.setHasFailed(true);
        step.setErrorMsg(error.extendedErrorInfo().isEmpty()
                             ? XrfHardwareManager::exposureEndConditionToString(endCondition)
                             : error.extendedErrorInfo());
    }
    onCalibrationShotComplete(&step);
}

QString Worker::calibrationShotProblem(XrfCalibrationStep *step)
{
    const XrfSpectrum &spectrum = calibrationExposure.lastSpectrum;
    if (spectrum.isEmptySpectrum())
        return kNoCounts;
    const XrfExposureSettings &set = step->exposure();
    const double measured = set.useLiveTime() ? spectrum.liveTime() : spectrum.realTime();
    // A live-time exposure ends a hair short of its set time: anything within one spectrum
    // update of it ran its time.
    if (std::abs(measured - set.maxTime()) >= calibrationTimeToleranceSeconds)
        return kTimeMismatch.arg(set.maxTime()).arg(measured);
    XrfCalibrationShot shot = XrfCalibrationShot::fromStep(*step);
    shot.setSpectrum(spectrum);
    QString wrongShot;
    if (isGoodCalibrationShot(shot, &wrongShot))
        return QString();
    step->setIsWrongShot(true);
    return wrongShot;
}

bool Worker::isGoodCalibrationShot(XrfCalibrationShot &shot, QString *err)
{
    if (!err)
        return false;
    err->clear();
    if (!QDir(XrfCalibrationUtils::calDiagnosticsCriteriaDir()).exists()) {
        qDebug() << "WSC criteria not found, assuming its a good shot";
        return true;
    }
    const QString file = factoryDataPath + kTemporaryShot;
    QString error;
    bool good = true;
    XrfUtils::writeJsonFile(file, QJsonDocument(shot.toJsonObject()), &error);
    const bool checked =
        error.isEmpty() && XrfCalibrationUtils::checkCalibrationShot(file, &good, &error);
    QFile::remove(file);
    if (!checked) {
        // The shot is kept, but the technician is told that nobody could judge it.
        const QString text = kCheckerFailed.arg(error);
        qWarning().noquote() << text;
        calibrationShotCheckError = text;
        XrfAlarm(text).raise();
        return true;
    }
    if (!good)
        *err = error;
    return good;
}
