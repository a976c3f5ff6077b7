// Stability tests: the run's start, the tube limits, the shot loop with its retries and
// inactivity watchdog, and abort.
#include "xrffactorymanager_p.h"

#include "factoryutils.h"
#include "xrfengine.h"
#include "xrfsettingsmanager.h"
#include "xrftimescale.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QTimer>

#include <algorithm>
#include <cmath>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

const int kInactivityTimeoutMs = 10000;
// The watchdog looks for a silent controller. Its 10 s follow the time scale, but never below
// this much of this process's own time: computing a shot may take a real moment however fast the
// instrument's clock runs, and that is no silence.
const int kSilentControllerFloorMs = 3000;

void startInactivityWatchdog(QTimer *timer)
{
    timer->start(XrfTimeScale::watchdogMs(kInactivityTimeoutMs, kSilentControllerFloorMs));
}
const int kRetryExtraDelaySeconds = 3;
// Past the intra-shot delay, the start of a shot takes about this long (tube ramp, filter move).
const int kShotOverheadSeconds = 2;

struct TubeLimits
{
    unsigned char maxPower = 0;
    unsigned char maxVoltage = 0;
    unsigned char minVoltage = 0;
    unsigned char maxCurrent = 0;
};

QString shortest(double value)
{
    return QString::number(value, 'g', 6);
}

// Voltage into the tube's range, current within its power at that voltage; false when the
// exposure cannot be made valid. `kind` is "HV" or "LV"; the LV exposure tests the minimum first.
bool clampExposure(XrfExposureSettings &exposure, const TubeLimits &limits, const QString &kind,
                   bool used, QString *error)
{
    float kv = exposure.tubeVoltageKv();
    const bool lv = kind == QLatin1String("LV");
    if (lv && kv < limits.minVoltage) {
        kv = limits.minVoltage;
        qInfo().noquote() << QStringLiteral("Adjusted LV stability voltage to minimum tube "
                                            "voltage: %1kV")
                                 .arg(kv);
    } else if (kv > limits.maxVoltage) {
        kv = limits.maxVoltage;
        qInfo().noquote() << QStringLiteral(
                                 "Adjusted %1 stability voltage to %2 tube voltage: %3kV")
                                 .arg(kind, lv ? QStringLiteral("maximum") : QStringLiteral("max"))
                                 .arg(kv);
    } else if (!lv && kv < limits.minVoltage) {
        kv = limits.minVoltage;
        qInfo().noquote()
            << QStringLiteral("Adjusted HV stability voltage to min tube voltage: %1kV").arg(kv);
    }
    exposure.setTubeVoltageKv(kv);
    if (kv <= 0) {
        if (used && error)
            *error = QStringLiteral("Stability %1 exposure voltage of %2 kV is not valid; the "
                                    "tube's minimum is %3 kV")
                         .arg(kind)
                         .arg(kv)
                         .arg(limits.minVoltage);
        return !used;
    }
    const auto maxPossible =
        float(std::min<long>(std::lround(limits.maxPower * 1000.0 / kv), long(limits.maxCurrent)));
    if (exposure.tubeCurrentUa() > maxPossible) {
        exposure.setTubeCurrentUa(maxPossible);
        qInfo().noquote() << QStringLiteral("Adjusted %1 stability current to max possible "
                                            "current: %2uA at voltage: %3kV")
                                 .arg(kind)
                                 .arg(maxPossible)
                                 .arg(shortest(kv));
    }
    return true;
}

} // namespace

void Worker::resetStabilityRun()
{
    ++stabilityRunNumber;
    stabilityAbortRequested = false;
    xrf_hal::XrfEngine::instance()->clearFaults();
    stabilityErrorsCount = 0;
    stabilityLastHardwareError = XrfErrorInfo();
    stabilityShotNumber = 0;
    stabilityRetryCount = 0;
    stabilityShotsAveraged = 0;
    stabilityCheckFailed = false;
    stabilityExposureState = 0;
    stabilityStaleStopOwed = false;
    stabilityEndConditions.clear();
    stabilityHardwareErrors.clear();
    stabilityMetaInfo = XrfStabilityTestMetaInfo();
}

void Worker::doStability(bool isMini, bool freezeFilterMode)
{
    if (stabilityRunning || stabilityUploadPending) {
        qWarning() << "A stability run or its upload is in progress; the new run is not started";
        return;
    }
    resetStabilityRun();
    if (!initStabilityTestParams(isMini))
        return;
    qInfo() << "Stability test params loaded from the factory_setup_data.json";
    QString error;
    if (stabilityTestType == StabilityPlain && !runStabilityPreflightCheck(&error)) {
        stabilityMetaInfo.setErrorMsg(error);
        onStabilityTestComplete(StabilityError);
        qWarning().noquote() << error;
        return;
    }
    if (!prepareStabilityRun(freezeFilterMode, &error)) {
        qWarning().noquote() << error;
        stabilityMetaInfo.setErrorMsg(error);
        onStabilityTestComplete(StabilityError);
        return;
    }

    takeExposureSignals({[this] { onStabilityExposureStarted(); },
                         [this](const XrfSpectrum &s) { onStabilitySpectrum(s); },
                         [this](XrfHardwareManager::XrfExposureEndCondition end, bool tubeOn) {
                             onStabilityExposureStopped(end, tubeOn);
                         },
                         [this](const XrfErrorInfo &e) {
                             onStabilityError(e);
                         }});
    qInfo().noquote() << QStringLiteral("Starting Stability Test, Type: %1, exposureHV: %2, "
                                        "exposureLV: %3, FreezeFilterMode: %4")
                             .arg(stabilityParams.exposureType(),
                                  stabilityParams.exposureHv().toString(),
                                  stabilityParams.exposureLv().toString(),
                                  freezeFilterMode ? QStringLiteral("On") : QStringLiteral("Off"));
    stabilityShotNumber = 1;
    stabilityRunning = true;
    stabilityWatch = true;
    emit startStabilityExposure();
}

// Folders, log level, tube limits, the files' names, the header and the record of the run.
bool Worker::prepareStabilityRun(bool freezeFilterMode, QString *error)
{
    for (const QString &folder : {stabilityFolders.summary, stabilityFolders.spectra,
                                  stabilityFolders.completed, stabilityFolders.firmwareLogs}) {
        if (!QDir().mkpath(folder)) {
            *error = QStringLiteral("Failed to create stability folder %1").arg(folder);
            return false;
        }
    }
    xrf_hal::XrfEngine::instance()->setGlobalLogLevel(xrf_hal::LogLevelDebug);
    if (!clampStabilityExposures(error))
        return false;
    if (freezeFilterMode) {
        stabilityParams.exposureHv().setFreezeFilterMode(true);
        stabilityParams.exposureLv().setFreezeFilterMode(true);
    }
    stabilityCurrentExposure = stabilityParams.exposureType() == QLatin1String("LV")
        ? stabilityParams.exposureLv()
        : stabilityParams.exposureHv();

    stabilityPeakEnergies.clear();
    for (const QJsonValue &energy :
         factorySetupInfo.value(QStringLiteral("peakEnergies")).toArray())
        stabilityPeakEnergies.append(energy.toDouble());
    XrfSettingsManager *settings = XrfSettingsManager::instance();
    stabilityProbeTemperatureUnused = settings->isTarvoLitePinOrSdd() || settings->isTarvoHD();

    const QString prefix = stabilityTestType == StabilityCollimated ? QStringLiteral("collStab")
                                                                    : QStringLiteral("stab");
    const QString serial = hardwareConfig.insSerialNumber();
    const QString time = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_hhmm"));
    const QString completed = stabilityFolders.completed + QLatin1Char('/');
    saveStabilityTestHeader();
    stabilityMetaInfo.setStartTimeUTC(
        stabilityHeader.value(QStringLiteral("startTime")).toString());
    stabilityMetaInfo.setSummaryFilePath(
        completed + QStringLiteral("%1Run_%2_%3.json").arg(prefix, serial, time));
    stabilityMetaInfo.setSpectraFilePath(
        completed + QStringLiteral("%1Spectra_%2_%3.json").arg(prefix, serial, time));
    stabilityMetaInfo.setFirmwareLogsFilePath(
        completed + QStringLiteral("firmwareLogs_%1_%2.zip").arg(serial, time));
    stabilityMetaInfo.setIsFreezeFilterMode(freezeFilterMode);
    stabilityMetaInfo.setIntendedShots(stabilityParams.repeatsToUse());
    stabilityMetaInfo.setSaveFirmwareLogs(stabilitySaveFirmwareLogs);
    saveStabilityTestInfoToLastResult();
    return true;
}

bool Worker::clampStabilityExposures(QString *error)
{
    xrf_hal::XrfEngine *engine = xrf_hal::XrfEngine::instance();
    TubeLimits limits;
    const int codes[] = {engine->getTubeMaxPower(&limits.maxPower),
                         engine->getTubeMaxVoltageLimit(&limits.maxVoltage),
                         engine->getTubeMinVoltageLimit(&limits.minVoltage),
                         engine->getTubeMaxCurrentLimit(&limits.maxCurrent)};
    int failed = 0;
    for (const int code : codes)
        failed = failed ? failed : code;
    if (failed || limits.maxPower == 0 || limits.maxVoltage == 0 || limits.maxCurrent == 0
        || limits.minVoltage > limits.maxVoltage) {
        *error = QStringLiteral("Stability test failed, the tube limits could not be read or are "
                                "not usable (max power:%1 W, voltage:%2-%3 kV, max current:%4 uA), "
                                "ret:%5")
                     .arg(limits.maxPower)
                     .arg(limits.minVoltage)
                     .arg(limits.maxVoltage)
                     .arg(limits.maxCurrent)
                     .arg(failed);
        return false;
    }
    const QString type = stabilityParams.exposureType();
    const bool hvUsed = type != QLatin1String("LV");
    const bool lvUsed = type == QLatin1String("LV") || type == QLatin1String("BOTH");
    return clampExposure(stabilityParams.exposureHv(), limits, QStringLiteral("HV"), hvUsed, error)
        && clampExposure(stabilityParams.exposureLv(), limits, QStringLiteral("LV"), lvUsed, error);
}

// May be called from any thread: the flag and the stop act at once; the run ends at its next
// exposure event.
void Worker::abortStabilityTest()
{
    qInfo() << "Stopping stability test";
    stabilityAbortRequested = true;
    XrfHardwareManager::instance()->stopExposure(true);
}

void Worker::onStartStabilityExposure()
{
    qDebug() << "onStartStabilityExposure abort = " << (stabilityAbortRequested ? "true" : "false");
    if (!stabilityRunning)
        return;
    if (stabilityAbortRequested) {
        onStabilityShotsFinished();
        return;
    }
    startInactivityWatchdog(inactivityTimer);
    stabilityExposureRequested = true;
    // A new attempt: a stop that arrives now belongs to it.
    stabilityExposureState = 0;
    if (stabilityParams.exposureType() == QLatin1String("BOTH"))
        stabilityCurrentExposure =
            stabilityShotNumber % 2 ? stabilityParams.exposureHv() : stabilityParams.exposureLv();
    stabilityCurrentSpectrum = XrfSpectrum();
    stabilityReadings = QJsonObject();
    stabilityReadingsRealTime = -1;
    const int code =
        XrfHardwareManager::instance()->startExposure(stabilityCurrentExposure, 0, 0, 0, 0, 0, 0);
    if (code) {
        qWarning().noquote()
            << QStringLiteral("Failed to start stability exposure, err:%1").arg(code);
        stabilityStaleStopOwed = false;
        onStabilityExposureStopped(XrfHardwareManager::EndHardwareError, false);
    }
}

void Worker::onStabilityExposureStarted()
{
    if (!stabilityRunning)
        return;
    updateStabilityTaskStatus();
    if (currentTaskProgress != 0)
        setCurrentTaskProgress(0);
    stabilityExposureRequested = false;
    stabilityExposureActive = true;
    stabilityStaleStopOwed = false;
    if (stabilityAbortRequested) {
        qInfo() << "Aborting currently running exposure";
        XrfHardwareManager::instance()->stopExposure(true);
        return;
    }
    xrf_hal::XrfEngine *engine = xrf_hal::XrfEngine::instance();
    unsigned short position = 0;
    unsigned short setPoint = 0;
    unsigned short encoder = 0;
    unsigned int readyTime = 0;
    engine->getFilterPositionMonitored(&position);
    engine->getFilterEncoderSetPoint(&setPoint);
    engine->getFilterEncoderMonitored(&encoder);
    engine->getTubeReadyTime(&readyTime);
    stabilityExposureStartInfo = {{QStringLiteral("filterPosition"), int(position)},
                                  {QStringLiteral("filterEncoderSetPoint"), int(setPoint)},
                                  {QStringLiteral("filterEncoder"), int(encoder)},
                                  {QStringLiteral("tubeReadyTime"), qint64(readyTime)}};
    stabilityExposureState = 1;
}

void Worker::onStabilitySpectrum(const XrfSpectrum &spectrum)
{
    if (!stabilityRunning || stabilityExposureState == 2)
        return;
    stabilityCurrentSpectrum = spectrum;
    startInactivityWatchdog(inactivityTimer);
    const int maxTime = stabilityCurrentExposure.maxTime();
    const double progress = maxTime > 0 ? spectrum.realTime() * 100 / maxTime : 0;
    setCurrentTaskProgress(progress);
    if (spectrum.realTime() > 0) {
        QJsonObject record;
        writeStabilityLog(&record, false);
        emit q->stabilitySpectrumReady(record);
    }
}

void Worker::onStabilityError(const XrfErrorInfo &err)
{
    if (!stabilityRunning)
        return;
    qDebug() << "onStabilityError" << err.errorString() << err.extendedErrorInfo();
    stabilityLastHardwareError = err;
    stabilityHardwareErrors.append(err);
}

void Worker::onStabilityExposureStopped(XrfHardwareManager::XrfExposureEndCondition endCondition,
                                        bool)
{
    if (!stabilityRunning)
        return;
    // The stop of an attempt the watchdog ended may arrive after the next attempt was asked for,
    // but always before that attempt's start.
    const bool staleStop = stabilityStaleStopOwed && !stabilityExposureActive;
    if (stabilityExposureState == 2 || staleStop) {
        qDebug() << "Exposure is already in stopped state, absorbing stop signal from hardware "
                    "manager";
        stabilityStaleStopOwed = false;
        return;
    }
    stabilityExposureActive = false;
    stabilityExposureRequested = false;
    stabilityEndConditions.append(endCondition);
    inactivityTimer->stop();
    int delay = stabilityIntraShotDelay;
    stabilityExposureState = 2;
    if (stabilitySaveFirmwareLogs) {
        QString error;
        if (!saveStabilityResult(StabilityFirmwareLog, QJsonObject(), &error))
            qWarning() << "Couldn't save firmware logs: " << error;
    }
    if (endCondition == XrfHardwareManager::EndNormal
        || stabilityRetryCount >= stabilityMaxRetries) {
        if (endCondition != XrfHardwareManager::EndNormal)
            qInfo().noquote() << QStringLiteral("Retry count exceeded for shot ")
                    + QString::number(stabilityShotNumber)
                    + QStringLiteral(", proceeding to next shot");
        QJsonObject record;
        writeStabilityLog(&record, true);
        emit q->stabilitySpectrumReady(record);
        --stabilityShotsRemaining;
        qDebug() << "StabilityShotsRemaining:" << stabilityShotsRemaining;
        stabilityMetaInfo.setShotsTaken(stabilityShotNumber);
        ++stabilityShotNumber;
        stabilityEndConditions.clear();
        stabilityHardwareErrors.clear();
        stabilityRetryCount = 0;
    } else {
        qDebug() << "endCondition was not TimeElapsed, retrying...";
        if (stabilityParams.soundEffectsEnabled())
            XrfHardwareManager::instance()->factoryPlayAlertSound();
        ++stabilityErrorsCount;
        ++stabilityRetryCount;
        delay += kRetryExtraDelaySeconds;
        updateStabilityTaskStatus();
        xrf_hal::XrfEngine::instance()->clearFaults();
    }
    stabilityMetaInfo.setStabilityErrorsCount(stabilityErrorsCount);
    if (!stabilityAbortRequested && stabilityShotsRemaining > 0) {
        scheduleNextStabilityExposure(delay);
        return;
    }
    qInfo() << "StabilityTestFinished";
    if (currentTaskProgress != 100)
        setCurrentTaskProgress(100);
    onStabilityShotsFinished();
}

void Worker::scheduleNextStabilityExposure(int delaySeconds)
{
    stabilityCurrentSpectrum = XrfSpectrum();
    qDebug() << "Stability start exposure with a delay of " << delaySeconds;
    const int run = stabilityRunNumber;
    QTimer::singleShot(XrfTimeScale::scaledMs(qint64(delaySeconds) * 1000 + 10), this, [this, run] {
        if (run == stabilityRunNumber)
            onStartStabilityExposure();
    });
}

// The watchdog on the controller's spectrum updates. The attempt it ends counts as a failed one;
// the stop that the hardware manager reports afterwards is absorbed. An exposure that was asked
// for and never reported its start is stopped too, or the next attempt would find it busy.
void Worker::onInactivityTimerTimeout()
{
    const QString text =
        QStringLiteral("Inactivity timer triggered, software failed to hear back from K60.");
    qWarning().noquote() << text;
    if (stabilityExposureState == 1 || stabilityExposureRequested) {
        XrfHardwareManager::instance()->stopExposure(true);
        stabilityStaleStopOwed = true;
    }
    if (!stabilityWatch)
        return;
    // The shot's record names the watchdog among the attempt's faults.
    if (stabilityRunning)
        stabilityHardwareErrors.append(
            XrfErrorInfo(XrfErrorInfo::GeneralError, QStringLiteral("Inactivity timer"), text));
    onStabilityExposureStopped(XrfHardwareManager::EndStoppedByUser, false);
}

void Worker::onStabilityShotsFinished()
{
    if (!stabilityRunning)
        return;
    stabilityRunning = false;
    stabilityWatch = false;
    inactivityTimer->stop();
    stabilityMetaInfo.setStabilityErrorsCount(stabilityErrorsCount);
    if (!stabilityAbortRequested) {
        qInfo() << "Stability test finished - Shots complete";
        stabilityMetaInfo.setRunOutcome(QStringLiteral("shotsComplete"));
        onStabilityTestComplete(StabilityShotsComplete);
    } else {
        qInfo() << "Stability test aborted by user";
        if (stabilityMetaInfo.errorMsg().isEmpty())
            stabilityMetaInfo.setErrorMsg(QStringLiteral("User Abort"));
        // A failed first-shot check aborts the run too; it is an error, not the user's abort.
        stabilityMetaInfo.setRunOutcome(stabilityCheckFailed ? QStringLiteral("error")
                                                             : QStringLiteral("aborted"));
        onStabilityTestComplete(StabilityAborted);
    }
    releaseExposureSignals();
    mergeIntoHardwareConfigSetting(hardwareConfig.toJsonObject());
}

void Worker::updateStabilityTaskStatus()
{
    const int minutes = FactoryUtils::stabilityRemainingMinutes(
        stabilityParams.exposureType(), stabilityShotsRemaining,
        stabilityParams.exposureHv().maxTime(), stabilityParams.exposureLv().maxTime(),
        stabilityIntraShotDelay + kShotOverheadSeconds);
    setCurrentTaskTimeRemainingInSeconds(minutes * 60);
    setCurrentTaskStatus(FactoryUtils::stabilityStatusText(
        stabilityShotNumber, stabilityParams.repeatsToUse(), stabilityRetryCount,
        stabilityMaxRetries, FactoryUtils::stabilityTimeRemainingText(minutes)));
}
