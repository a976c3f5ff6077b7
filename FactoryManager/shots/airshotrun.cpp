// Air shots: one shot after the other, the background check of each, the result file, the
// record in lastResult.json, the upload and the step status.

#include "xrffactorymanager_p.h"

#include "airshotresultkeys.h"
#include "xrfcalibrationshot.h"

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;
using namespace AirShotKeys;

namespace {

const QString kHasFailed = QStringLiteral("hasFailed");
const QString kShotFailed = QStringLiteral("Airshot '%1' failed, %2, %3");
const QString kHardwareErrorAtNormalEnd =
    QStringLiteral("the exposure ran its time but reported a hardware error: %1");

bool anyShotFailed(const QJsonArray &shots)
{
    for (const QJsonValue &shot : shots) {
        if (shot.toObject().value(kHasFailed).toBool())
            return true;
    }
    return false;
}

void refill(XrfAirShotList *list, const QJsonArray &shots)
{
    QList<XrfAirShot> parsed;
    XrfAirShotList::shotsFromJson(shots, &parsed);
    list->clear();
    for (const XrfAirShot &shot : parsed)
        list->add(shot);
}

} // namespace

void Worker::doAirShotSetup()
{
    qDebug() << "Entering XrfFactoryManagerPrivate::doAirShotSetup";
    const int index = totalAirShots - remainingAirShots;
    if (index < 0 || index >= totalAirShots || userAbort) {
        onAirShotsSetupComplete();
        return;
    }
    const int unCollimatedCount = uncollimatedAirShotList.size();
    currentAirShot = index < unCollimatedCount
        ? uncollimatedAirShotList.airShots().at(index)
        : collimatedAirShotList.airShots().at(index - unCollimatedCount);
    qInfo().noquote() << "Shooting airshot:" << currentAirShot.exposure().toString();
    airShotExposure.reset();
    airShotExposure.settings = currentAirShot.exposure();
    if (const int code = XrfHardwareManager::instance()->startExposure(airShotExposure.settings, 0,
                                                                       0, 0, 0, 0, 0)) {
        airShotExposure.state = StepExposure::Stopped;
        onAirShotFailed(QStringLiteral("the exposure did not start, err:%1").arg(code));
        return;
    }
    qDebug() << "Exiting XrfFactoryManagerPrivate::doAirShotSetup";
}

void Worker::onAirShotExposureStarted()
{
    qDebug() << "onAirShotExposureStarted";
    if (airShotExposure.state == StepExposure::Faulted) {
        qDebug() << "Pending exposure faults detected, Stopping exposure";
        XrfHardwareManager::instance()->stopExposure(true);
        return;
    }
    qDebug() << "Changing exposure state to started";
    airShotExposure.state = StepExposure::Started;
    if (currentTaskProgress != 0)
        setCurrentTaskProgress(0);
    const XrfExposureSettings &exposure = currentAirShot.exposure();
    setCurrentTaskStatus(tr("Shooting %1 @ %2kV, %3uA\u2026")
                             .arg(currentAirShot.sampleName())
                             .arg(double(exposure.tubeVoltageKv()))
                             .arg(double(exposure.tubeCurrentUa())));
}

void Worker::onAirShotSpectrum(const XrfSpectrum &spectrum)
{
    airShotExposure.lastSpectrum = spectrum;
    const int maxTime = currentAirShot.exposure().maxTime();
    const double progress = maxTime > 0 ? spectrum.realTime() * 100.0 / maxTime : 0.0;
    if (progress != currentTaskProgress)
        setCurrentTaskProgress(progress);
}

void Worker::onAirShotError(const XrfErrorInfo &error)
{
    airShotExposure.lastError = error;
    if (airShotExposure.state != StepExposure::Stopped)
        XrfHardwareManager::instance()->stopExposure(true);
}

void Worker::onAirShotExposureStopped(XrfHardwareManager::XrfExposureEndCondition endCondition,
                                      bool)
{
    if (airShotExposure.state == StepExposure::Stopped) {
        qDebug() << "Exposure is already in stopped state, absorbing stop signal from hardware "
                    "manager";
        return;
    }
    airShotExposure.state = StepExposure::Stopped;
    QString failure = XrfHardwareManager::exposureEndConditionToString(endCondition);
    const double background = airShotExposure.lastSpectrum.calculateBackgroundRate();
    if (!checkAirShotBackground(background, &failure)) {
        onAirShotFailed(failure);
        return;
    }
    const XrfErrorInfo &error = airShotExposure.lastError;
    if (endCondition != XrfHardwareManager::EndNormal) {
        onAirShotFailed(failure);
        return;
    }
    // A shot that ran its time is still no good when the hardware reported an error during it.
    if (error.hasError()) {
        onAirShotFailed(kHardwareErrorAtNormalEnd.arg(error.errorString()));
        return;
    }
    onAirShotPassed();
}

// The shot's JSON goes to the result, with what it measured.
void Worker::recordAirShot(bool passed)
{
    const XrfSpectrum &spectrum = airShotExposure.lastSpectrum;
    currentAirShot.setSampleName(kAirSample);
    currentAirShot.setIsDone(passed);
    currentAirShot.setHasFailed(!passed);
    currentAirShot.setEnergyOffset(spectrum.energyOffset());
    currentAirShot.setEnergySlope(spectrum.energySlope());
    if (passed)
        currentAirShot.setSpectrumData(
            QList<uint>(spectrum.data().cbegin(), spectrum.data().cend()));
    QJsonObject data = airShotResults.value(kData).toObject();
    const QString key = currentAirShot.isCollimatedAirShot() ? kCollimated : kUnCollimated;
    QJsonArray shots = data.value(key).toArray();
    shots.append(currentAirShot.toJsonObject());
    data.insert(key, shots);
    airShotResults.insert(kData, data);
}

void Worker::onAirShotPassed()
{
    const XrfSpectrum &spectrum = airShotExposure.lastSpectrum;
    const double background = spectrum.calculateBackgroundRate();
    qInfo().noquote() << QStringLiteral("Air shot: '%1', background rate: %2")
                             .arg(currentAirShot.exposure().toString())
                             .arg(background, 0, 'f', 4);
    currentAirShot.setCalculatedBackgoundRate(background);
    currentAirShot.setErrorMsg(QString());
    recordAirShot(true);
    XrfCalibrationShot shot;
    shot.setSampleID(kAirSample);
    shot.setSampleName(kAirSample);
    shot.setExposure(currentAirShot.exposure());
    shot.setSpectrum(spectrum);
    shot.setOrigin(hardwareConfig.insSerialNumber());
    QString error;
    if (!shot.saveCalibrationShot(calibrationShotLibDirPath, &error))
        qWarning().noquote() << error;
    remainingAirShots -= 1;
    emit q->airShotSingleComplete(currentAirShot);
    if (!userAbort && remainingAirShots > 0) {
        airShotExposure.lastSpectrum = XrfSpectrum();
        XrfUtils::activeSleep(airShotPauseSeconds * 1000);
        doAirShotSetup();
    } else {
        onAirShotsSetupComplete();
    }
}

void Worker::onAirShotFailed(const QString &failure)
{
    const XrfErrorInfo error = airShotExposure.lastError;
    const QString message =
        kShotFailed.arg(currentAirShot.exposure().toString(), failure, error.extendedErrorInfo());
    qWarning().noquote() << message;
    currentAirShot.setCalculatedBackgoundRate(
        airShotExposure.lastSpectrum.calculateBackgroundRate());
    currentAirShot.setErrorMsg(error.extendedErrorInfo().isEmpty() ? message
                                                                   : error.extendedErrorInfo());
    recordAirShot(false);
    setCurrentTaskStatus(currentAirShot.errorMsg());
    airShotExposure.lastError = XrfErrorInfo(0, QString(), QString());
    // The shot is reported before the run's end, as a passed one is.
    emit q->airShotSingleComplete(currentAirShot);
    onAirShotsSetupComplete();
    setCurrentTaskProgress(0);
}

void Worker::onAirShotsSetupComplete()
{
    if (currentTaskProgress != 100)
        setCurrentTaskProgress(100);
    releaseExposureSignals();
    QJsonObject data = airShotResults.value(kData).toObject();
    const QJsonArray unCollimated = data.value(kUnCollimated).toArray();
    const QJsonArray collimated = data.value(kCollimated).toArray();
    const bool aborted = userAbort;
    XrfFactoryStepInfo::StepStatus status = XrfFactoryStepInfo::NotStarted;
    bool passed = false;
    if (aborted || unCollimated.isEmpty()) {
        status = XrfFactoryStepInfo::NotStarted;
    } else if (anyShotFailed(unCollimated) || anyShotFailed(collimated)) {
        status = XrfFactoryStepInfo::Failed;
    } else {
        passed = true;
        status = XrfFactoryStepInfo::Passed;
        qDebug() << "Generating list of collimated airShots";
        refill(&uncollimatedAirShotList, unCollimated);
        refill(&collimatedAirShotList, collimated);
        data.insert(kUnCollimated, uncollimatedAirShotList.shotsToJson());
        data.insert(kCollimated, collimatedAirShotList.shotsToJson());
        airShotResults.insert(kData, data);
        qInfo() << "All Air shots complete";
    }
    airShotResults.insert(QStringLiteral("status"),
                          passed ? QStringLiteral("pass") : QStringLiteral("fail"));
    airShotResults.insert(QStringLiteral("endTime"), XrfUtils::currentUtcIsoTime());
    saveAirShotResult();
    if (!aborted)
        remainingAirShots = totalAirShots;
    else
        userAbort = false;
    emit q->airShotAllComplete(true, airShotResults);
    XrfNetworkManager::instance()->sendToCloud(
        XrfNetworkManager::PutAirShotResult, QJsonObject{{QStringLiteral("body"), airShotResults}});
    putDeviceFactoryStepStatus(XrfUtils::AirShot, status);
    cleanupCalibrationWorkspace(QString());
    // The cal check copies a passed run only: a failed or aborted one measured nothing it can use.
    if (passed)
        populateCalCheckExposureSettings();
}

bool Worker::saveAirShotResult()
{
    if (airShotResults.isEmpty())
        return false;
    QString error;
    const QString path = factoryDataPath + QStringLiteral("/airShots/") + airShotResultFileName;
    if (!saveJsonDataToFile(path, airShotResults, &error)) {
        qWarning().noquote() << "Failed to save air shot result to" << path << error;
        return false;
    }
    loadFactorySetupLastResult(nullptr);
    lastResult.insert(QStringLiteral("airShot"), airShotResults);
    if (!saveFactorySetupLastResult()) {
        qWarning() << "Failed to save air shot result to lastResult.json";
        return false;
    }
    return true;
}
