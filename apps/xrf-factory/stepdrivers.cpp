#include "stepdrivers.h"

#include "airshotdriver.h"
#include "beamssetupdriver.h"
#include "calibrationshotdriver.h"
#include "factorsetdriver.h"
#include "finalqcdriver.h"
#include "hardwaresetupdriver.h"
#include "prerequisiteshotdriver.h"
#include "stabilitydriver.h"
#include "surveydriver.h"

#include "siminstrument.h"

#include "xrffactorymanager.h"
#include "xrftimescale.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QMetaObject>
#include <QTimer>

namespace {

// An instrument hour is plenty for any single step; the line gives up after it. A watchdog on a
// silent library: never less than 10 minutes of process time, so a loaded machine does not trip
// it at small time scales.
const int kStepTimeoutMs = 60 * 60 * 1000;
const int kWatchdogFloorMs = 10 * 60 * 1000;

// Runs `start` on the factory thread and waits for the facade's `signal`, whose arguments go to
// `onSignal`. False when the step did not finish in time.
template<typename Signal, typename Handler>
bool startAndWait(const std::function<void()> &start, Signal signal, Handler onSignal)
{
    XrfFactoryManager *manager = XrfFactoryManager::instance();
    QEventLoop loop;
    bool finished = false;
    const auto connection = QObject::connect(manager, signal, &loop, [&](auto... arguments) {
        onSignal(arguments...);
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(XrfTimeScale::watchdogMs(kStepTimeoutMs, kWatchdogFloorMs), &loop,
                       &QEventLoop::quit);
    QMetaObject::invokeMethod(manager, start, Qt::QueuedConnection);
    if (!finished)
        loop.exec();
    QObject::disconnect(connection);
    return finished;
}

QString joinedErrors(const QJsonArray &errors)
{
    QStringList texts;
    for (const QJsonValue &error : errors)
        texts << error.toString().simplified();
    return texts.join(QStringLiteral("; "));
}

StepOutcome runProvisioning(const TechnicianPlan &)
{
    StepOutcome outcome;
    QJsonObject result;
    const bool finished =
        startAndWait([] { XrfFactoryManager::instance()->startProvisioningCheck(QJsonObject()); },
                     &XrfFactoryManager::provisioningCheckComplete,
                     [&](const QJsonObject &checkResult) { result = checkResult; });
    const QJsonObject data = result.value(QStringLiteral("data")).toObject();
    if (!finished) {
        outcome.result = StepOutcome::Failed;
        outcome.detail = QStringLiteral("the provisioning check did not finish");
    } else if (data.value(QStringLiteral("status")).toString() == QLatin1String("pass")) {
        outcome.result = StepOutcome::Passed;
        outcome.detail = QStringLiteral("hardware matches the work order");
    } else {
        outcome.result = StepOutcome::Failed;
        outcome.detail = joinedErrors(data.value(QStringLiteral("errors")).toArray());
    }
    return outcome;
}

// The technician places the instrument in the collimation fixture; the camera's view of the
// spot is examined during one exposure.
StepOutcome runCameraSetup(const TechnicianPlan &)
{
    StepOutcome outcome;
    QJsonObject results;
    const bool finished =
        startAndWait([] { XrfFactoryManager::instance()->startCameraCollimationSetup(); },
                     &XrfFactoryManager::cameraCollimationSetupComplete,
                     [&](const QJsonObject &completed) { results = completed; });
    outcome.detail = results.value(QStringLiteral("statusMsg")).toString().simplified();
    outcome.resultUploaded = finished;
    if (!finished) {
        outcome.result = StepOutcome::Failed;
        outcome.detail = QStringLiteral("the camera collimation did not finish");
    } else if (results.value(QStringLiteral("status")).toString() == QLatin1String("pass")) {
        outcome.result = StepOutcome::Passed;
        if (outcome.detail.isEmpty())
            outcome.detail = QStringLiteral("spot centred in the camera view");
    } else {
        outcome.result = StepOutcome::Failed;
    }
    return outcome;
}

StepOutcome runHardwareSetup(const TechnicianPlan &plan)
{
    return HardwareSetupDriver(plan).run();
}

// The technician holds the survey meter beside the instrument during the survey exposure.
StepOutcome runRadiationSurvey(const TechnicianPlan &plan)
{
    return SurveyDriver(plan, SimInstrument::installed()).run();
}

// The final profile backup: the archive goes to the cloud, and a complete instrument is prepared
// for shipping.
StepOutcome runProfileBackup(const TechnicianPlan &)
{
    StepOutcome outcome;
    QJsonObject results;
    const bool finished = startAndWait(
        [] {
            XrfFactoryManager::instance()->backupAndUploadProfile(false, QStringLiteral("factory"));
        },
        &XrfFactoryManager::profileBackupAndUploadComplete,
        [&](const QJsonObject &completed) { results = completed; });
    const QJsonObject meta = results.value(QStringLiteral("metaInfo")).toObject();
    if (!finished) {
        outcome.result = StepOutcome::Failed;
        outcome.detail = QStringLiteral("the profile backup did not finish");
    } else if (results.value(QStringLiteral("status")).toBool()) {
        outcome.result = StepOutcome::Passed;
        outcome.detail = QStringLiteral("uploaded %1 (%2 bytes)")
                             .arg(meta.value(QStringLiteral("name")).toString())
                             .arg(meta.value(QStringLiteral("size")).toVariant().toLongLong());
    } else {
        outcome.result = StepOutcome::Failed;
        outcome.detail = results.value(QStringLiteral("errorMsg")).toString().simplified();
    }
    return outcome;
}

StepOutcome runStability(const TechnicianPlan &plan)
{
    return StabilityDriver(QStringLiteral("stability"), plan).run();
}

StepOutcome runCollimatedStability(const TechnicianPlan &plan)
{
    return StabilityDriver(QStringLiteral("collimatedStability"), plan).run();
}

StepOutcome runBeamsSetup(const TechnicianPlan &plan)
{
    return BeamsSetupDriver(plan).run();
}

StepOutcome runAirShot(const TechnicianPlan &plan)
{
    return AirShotDriver(plan).run();
}

StepOutcome runPrerequisiteShots(const TechnicianPlan &plan)
{
    return PrerequisiteShotDriver(plan).run();
}

StepOutcome runCalibrationShot(const TechnicianPlan &plan)
{
    return CalibrationShotDriver(plan).run();
}

StepOutcome runFactorSet(const TechnicianPlan &plan)
{
    return FactorSetDriver(plan).run();
}

StepOutcome runFinalQc(const TechnicianPlan &plan)
{
    return FinalQcDriver(plan).run();
}

} // namespace

const QMap<QString, StepDriver> &stepDrivers()
{
    static const QMap<QString, StepDriver> drivers = {
        {QStringLiteral("provisioning"), runProvisioning},
        {QStringLiteral("hardwareSetup"), runHardwareSetup},
        {QStringLiteral("cameraSetup"), runCameraSetup},
        {QStringLiteral("radiationSurvey"), runRadiationSurvey},
        {QStringLiteral("profileBackup"), runProfileBackup},
        {QStringLiteral("stability"), runStability},
        {QStringLiteral("collimatedStability"), runCollimatedStability},
        {QStringLiteral("beamsSetup"), runBeamsSetup},
        {QStringLiteral("airShot"), runAirShot},
        {QStringLiteral("prerequisiteShots"), runPrerequisiteShots},
        {QStringLiteral("calibrationShot"), runCalibrationShot},
        {QStringLiteral("factorSet"), runFactorSet},
        {QStringLiteral("finalQc"), runFinalQc},
    };
    return drivers;
}

bool stepNotRequired(const QString &step, QString *reason)
{
    if (step == QLatin1String("collimatedStability"))
        return StabilityDriver::collimatedStabilityNotRequired(reason);
    return false;
}
