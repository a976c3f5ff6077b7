// Beams setup: the shots of a beam, the check that the right sample is at the window, and the
// count-rate loop that scales the tube current to the beam's target.

#include "xrffactorymanager_p.h"

#include "beampeakcheck.h"
#include "xrfengine.h"

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

const QString kShotStatus = QStringLiteral("Shooting %1 @ %2uA<br>ICR: %3/%4");
const QString kValidationFailed = QStringLiteral("Shot validation failed for %1");
const QString kStoppedOnValidation = QStringLiteral("Beam setup failed for: %1 \nError: Validation "
                                                    "failed");
const QString kAbnormalEnd = QStringLiteral("Beam setup failed for: %1 \nError: %2 \nEnd "
                                            "condition: %3 \nCurrent: %4 \nTarget ICR: %5");
const QString kUserAbort =
    QStringLiteral("Beam setup failed for: %1 \nError: %2 \nCurrent: %3 \nTarget ICR: %4");
const QStringList kCalCheckAlloyMethods = {QStringLiteral("alloy"), QStringLiteral("alloyPlus")};
const QString kCalCheckPreciousMethod = QStringLiteral("preciousMetal");
constexpr int kCalCheckBeamNo = 1;

QString current6(float ua)
{
    return QString::number(double(ua), 'g', 6);
}

} // namespace

void Worker::onBeamsSetupExposureStarted()
{
    qDebug() << "onBeamSetupExposureStarted";
    if (beamExposure.state == StepExposure::Faulted) {
        qDebug() << "Pending exposure errors are detected, Stopping exposure";
        XrfHardwareManager::instance()->stopExposure(true);
        return;
    }
    qDebug() << "changing exposure state to started";
    beamExposure.state = StepExposure::Started;
    if (currentTaskProgress != 0)
        setCurrentTaskProgress(0);
}

void Worker::onBeamsSetupError(const XrfErrorInfo &error)
{
    qDebug() << "OnBeamsSetupError" << error.errorString();
    beamExposure.lastError = error;
    if (beamExposure.state == StepExposure::Started) {
        qDebug() << "OnBeamSetupErr:: Exposure Fault, Exposure was Started, calling stopExposure()";
        XrfHardwareManager::instance()->stopExposure(true);
    }
    qDebug() << "changing exposure state to ExposureFaulted";
    beamExposure.state = StepExposure::Faulted;
}

void Worker::onBeamsSetupSpectrum(const XrfSpectrum &spectrum)
{
    // A shot that failed its check is on its way out; its last updates change nothing.
    if (beamValidationFailed || beamExposure.state != StepExposure::Started)
        return;
    beamExposure.lastSpectrum = spectrum;
    if (spectrum.realTime() * 1000.0 >= currentBeam.validationShotTimeMS()
        && !currentBeam.skipShotCheck() && !validateBeamsSetupSpectrum(spectrum))
        return;
    const int maxTime = beamExposure.settings.maxTime();
    const double progress = maxTime > 0 ? spectrum.realTime() * 100.0 / maxTime : 0.0;
    if (progress != currentTaskProgress)
        setCurrentTaskProgress(progress);
    setCurrentTaskStatus(kShotStatus.arg(currentBeam.beamName())
                             .arg(double(currentBeam.tubeCurrentUa()), 0, 'f', 2)
                             .arg(spectrum.inputCountRate(), 0, 'f', 2)
                             .arg(currentBeam.targetICR()));
}

// The failure stops the shot; the beam completes once, when the exposure has stopped.
bool Worker::validateBeamsSetupSpectrum(const XrfSpectrum &spectrum)
{
    BeamPeakCheck check =
        BeamPeakCheck::forSample(currentBeam.targetSample(), currentBeam.tubeVoltageKv());
    if (!check.isNeeded())
        return true;
    const bool passed = check.run(spectrum);
    if (passed) {
        qDebug().noquote() << check.describe();
        return true;
    }
    QString message = kValidationFailed.arg(currentBeam.targetSample());
    if (!check.error.isEmpty())
        message += QStringLiteral(", ") + check.error;
    qWarning().noquote() << "BeamsSetup validation failed - " << currentBeam.targetSample();
    qWarning().noquote() << check.describe();
    qWarning().noquote() << message;
    setCurrentTaskStatus(message);
    setCurrentTaskProgress(0);
    beamValidationFailed = true;
    XrfHardwareManager::instance()->stopExposure(true);
    return false;
}

void Worker::onBeamsSetupExposureStopped(XrfHardwareManager::XrfExposureEndCondition endCondition,
                                         bool)
{
    const QString ended = XrfHardwareManager::exposureEndConditionToString(endCondition);
    qDebug() << "OnBeamsSetupExposureStopped" << ended;
    if (beamExposure.state == StepExposure::Stopped) {
        qDebug() << "Exposure is already in stopped state, absorbing stop signal from hardware "
                    "manager";
        return;
    }
    qDebug() << "changing exposure state to stopped";
    beamExposure.state = StepExposure::Stopped;
    const XrfErrorInfo &error = beamExposure.lastError;
    if (endCondition != XrfHardwareManager::EndNormal || error.errorCode() != 0
        || beamValidationFailed) {
        const QString message = beamValidationFailed
            ? kStoppedOnValidation.arg(currentBeam.beamName())
            : kAbnormalEnd
                  .arg(currentBeam.beamName(), error.extendedErrorInfo(), ended,
                       current6(currentBeam.tubeCurrentUa()))
                  .arg(currentBeam.targetICR());
        beamValidationFailed = false;
        beamExposure.lastError = XrfErrorInfo();
        onBeamsSetupShotComplete(false, message, false);
        setCurrentTaskProgress(0);
        return;
    }

    qDebug() << "OnBeamsSetupExposureStopped:, endCondition:" << ended;
    const BeamCurrentLimits limits = readBeamCurrentLimits();
    const double icr = beamExposure.lastSpectrum.inputCountRate();
    const float current = beamExposure.settings.tubeCurrentUa();
    qDebug() << "Beam shot:" << currentBeam.beamName() << " icr:" << icr << " current:" << current
             << " targetIcr:" << currentBeam.targetICR() << " IAMax:" << limits.maxUa;
    BeamIterationGroup iteration;
    iteration.setIterNumber(uint(qMax(0, beamIterationCount)));
    iteration.setIterCurrent(current);
    iteration.setIterICR(float(icr));
    currentBeam.iterationGroups().append(iteration);

    const BeamShotDecision decision =
        decideBeamCurrent(currentBeam, icr, current, limits, beamIterationCount, maxBeamIterations);
    for (const QString &note : decision.notes)
        qInfo().noquote() << note;
    if (decision.switchToDimmerTarget)
        currentBeam.setEnableDimmerTargetIcr();
    switch (decision.action) {
    case BeamShotDecision::Retry:
        if (decision.restartIterations)
            beamIterationCount = -1;
        retryBeamShot(decision.currentUa);
        return;
    case BeamShotDecision::CurrentLimitReached:
    case BeamShotDecision::MaxAttemptsReached:
        beamIterationCount = 0;
        currentBeam.setIsCurrentLimitReached(decision.action
                                             == BeamShotDecision::CurrentLimitReached);
        currentBeam.setIsMaxAttemptsReached(decision.action
                                            == BeamShotDecision::MaxAttemptsReached);
        currentBeam.setTubeCurrentUa(current);
        currentBeam.setActualCps(uint(qMax(0.0, icr)));
        onBeamsSetupShotComplete(false, decision.message, true);
        return;
    case BeamShotDecision::Success:
        break;
    }
    currentBeam.setTubeCurrentUa(current);
    currentBeam.setActualCps(uint(qMax(0.0, icr)));
    QString calCheckError;
    if (!populateBeamCalCheckCountRate(&calCheckError)) {
        onBeamsSetupShotComplete(false, calCheckError, false);
        return;
    }
    onBeamsSetupShotComplete(true, QString(), true);
}

BeamCurrentLimits Worker::readBeamCurrentLimits()
{
    xrf_hal::XrfEngine *engine = xrf_hal::XrfEngine::instance();
    unsigned char power = 0;
    unsigned char minCurrent = 0;
    unsigned char maxCurrent = 0;
    // A failed read leaves 0: no power limit read means the default power.
    engine->getTubeMaxPower(&power);
    engine->getTubeMinCurrentLimit(&minCurrent);
    engine->getTubeMaxCurrentLimit(&maxCurrent);
    qDebug() << "Reading tube limits: PWMax:" << power << " IAMin:" << minCurrent
             << " IAMax:" << maxCurrent;
    return BeamCurrentLimits::fromTube(power, minCurrent, maxCurrent,
                                       beamExposure.settings.tubeVoltageKv(), defaultTubeMaxPower);
}

void Worker::retryBeamShot(float currentUa)
{
    currentBeam.setTubeCurrentUa(currentUa);
    beamIterationCount += 1;
    const auto abortShot = [this] {
        onBeamsSetupShotComplete(false,
                                 kUserAbort
                                     .arg(currentBeam.beamName(), QStringLiteral("User Abort"),
                                          current6(currentBeam.tubeCurrentUa()))
                                     .arg(currentBeam.targetICR()),
                                 false);
        setCurrentTaskProgress(0);
    };
    if (userAbort) {
        abortShot();
        return;
    }
    qDebug() << "Count rate is not within tolerance, trying again with current:" << currentUa
             << "uA"
             << ", Attempt:" << beamIterationCount;
    beamExposure.settings.setTubeCurrentUa(currentUa);
    XrfUtils::activeSleep(beamRetryDelaySeconds * 1000);
    // An abort during the pause ends the beam before another shot starts.
    if (userAbort) {
        abortShot();
        return;
    }
    startBeamExposure();
}

void Worker::startBeamExposure()
{
    beamExposure.reset();
    if (const int code =
            XrfHardwareManager::instance()->startExposure(beamExposure.settings, 0, 0, 0, 0, 0, 0))
        onBeamsSetupShotComplete(
            false,
            QStringLiteral("Beam setup failed for: %1 \nError: the exposure did not start, err:%2")
                .arg(currentBeam.beamName())
                .arg(code),
            false);
}

// The cal check's target count rate comes from beam 1 of the alloy methods, or of the precious
// metal method when no alloy method uses the beam as beam 1.
bool Worker::populateBeamCalCheckCountRate(QString *error)
{
    bool alloyUse = false;
    for (const BeamUsageGroup &group : currentBeam.usageGroups())
        alloyUse |=
            group.beamNo() == kCalCheckBeamNo && kCalCheckAlloyMethods.contains(group.methodName());
    bool preciousUse = false;
    for (const BeamUsageGroup &group : currentBeam.usageGroups())
        preciousUse |=
            group.beamNo() == kCalCheckBeamNo && group.methodName() == kCalCheckPreciousMethod;
    if (!alloyUse && !preciousUse)
        return true;
    return populateCalCheckTargetCountRate(beamExposure.lastSpectrum, error);
}
