#include "calibrationshotdriver.h"

#include "siminstrument.h"
#include "xrfcalibrationstep.h"
#include "xrffactorymanager.h"
#include "xrftimescale.h"

#include <QJsonArray>
#include <QMetaObject>
#include <QTimer>

namespace {

// An instrument hour is plenty for all standards; a watchdog on a silent library, floored in
// process time so that a loaded machine does not trip it.
const int kRunTimeoutMs = 60 * 60 * 1000;
const int kWatchdogFloorMs = 10 * 60 * 1000;
const int kCriteriaTimeoutMs = 60 * 1000;
const int kCriteriaFloorMs = 10 * 1000;
// How often the technician starts a standard again after a failed shot.
const int kMaxAttemptsPerStandard = 3;
const QString kCloseLid = QStringLiteral("Close the test stand lid");

XrfFactoryManager *manager()
{
    return XrfFactoryManager::instance();
}

QString shotLine(const XrfCalibrationStep &step)
{
    const XrfExposureSettings &e = step.exposure();
    const XrfFilterProperties &filter = e.filter();
    QString line = QStringLiteral("    beam %1 %2 kV %3 uA %4-%5-%6 %7 s")
                       .arg(step.beamNumber())
                       .arg(double(e.tubeVoltageKv()))
                       .arg(double(e.tubeCurrentUa()), 0, 'f', 2)
                       .arg(filter.materialAtomicNumber())
                       .arg(filter.thicknessInMicrons())
                       .arg(filter.diameterInMicrons())
                       .arg(e.maxTime());
    QStringList methods;
    for (const XrfCalibrationMethodUse &use : step.methodUses())
        methods << use.methodId();
    line += QStringLiteral(" [%1]").arg(methods.join(QStringLiteral(", ")));
    line += step.hasFailed() ? QStringLiteral("  FAILED: ") + step.errorMsg().simplified()
                             : QStringLiteral("  passed");
    return line;
}

} // namespace

CalibrationShotDriver::CalibrationShotDriver(const TechnicianPlan &plan, QObject *parent)
    : QObject(parent), m_plan(plan)
{
    connect(manager(), &XrfFactoryManager::calibrationCurrentSampleChanged, this,
            &CalibrationShotDriver::onCurrentSampleChanged);
    connect(manager(), &XrfFactoryManager::calibrationShotComplete, this,
            &CalibrationShotDriver::onShotComplete);
    connect(manager(), &XrfFactoryManager::calibrationStandardShotsComplete, this,
            &CalibrationShotDriver::onStandardComplete);
    connect(manager(), &XrfFactoryManager::calibrationStandardListChanged, this,
            [this](const QJsonObject &list) {
                if (list.value(QStringLiteral("standards")).toArray().isEmpty()) {
                    m_failure = manager()->currentTaskStatus();
                    m_finished = true;
                    m_loop.quit();
                }
            });
    connect(manager(), &XrfFactoryManager::calibrationComplete, this,
            [this](bool passed, const QJsonObject &) { onCalibrationComplete(passed); });
}

StepOutcome CalibrationShotDriver::run()
{
    if (m_plan.instrument && m_plan.calibrationFault)
        m_plan.calibrationFault(*m_plan.instrument);
    if (m_plan.instrument && m_plan.leavesLidOpenForCalibration) {
        m_plan.instrument->setTestStand(true, false);
        m_notes << QStringLiteral("(technician leaves the test stand lid open)");
    }
    waitForCriteria();
    QTimer::singleShot(XrfTimeScale::watchdogMs(kRunTimeoutMs, kWatchdogFloorMs), &m_loop,
                       &QEventLoop::quit);
    QMetaObject::invokeMethod(
        manager(), [] { manager()->getCalibrationStandardsList(QString()); }, Qt::QueuedConnection);
    if (!m_finished)
        m_loop.exec();
    return outcome();
}

void CalibrationShotDriver::waitForCriteria()
{
    QEventLoop loop;
    bool ready = false;
    const auto connection =
        connect(manager(), &XrfFactoryManager::calibrationWrongShotCriteriaReady, &loop,
                [&](const bool &status) {
                    ready = status;
                    loop.quit();
                });
    QTimer::singleShot(XrfTimeScale::watchdogMs(kCriteriaTimeoutMs, kCriteriaFloorMs), &loop,
                       &QEventLoop::quit);
    QMetaObject::invokeMethod(
        manager(), [] { manager()->downloadCalibrationWrongShotCriteria(); }, Qt::QueuedConnection);
    loop.exec();
    disconnect(connection);
    m_notes << (ready ? QStringLiteral("(wrong-shot criteria downloaded)")
                      : QStringLiteral("(no wrong-shot criteria: shots are not checked)"));
}

void CalibrationShotDriver::onCurrentSampleChanged(const QString &standard)
{
    if (m_finished)
        return;
    if (manager()->currentTaskStatus().startsWith(kCloseLid)) {
        if (!m_plan.instrument) {
            m_failure = manager()->currentTaskStatus();
            m_finished = true;
            m_loop.quit();
            return;
        }
        m_plan.instrument->setTestStand(true, true);
        m_notes << QStringLiteral("(technician closes the test stand lid for the 50 kV shots)");
    }
    placeAndShoot(standard);
}

void CalibrationShotDriver::placeAndShoot(const QString &standard)
{
    if (++m_attempts[standard] > kMaxAttemptsPerStandard) {
        m_failure = QStringLiteral("%1 failed %2 times: %3")
                        .arg(standard)
                        .arg(kMaxAttemptsPerStandard)
                        .arg(m_failure);
        m_finished = true;
        m_loop.quit();
        return;
    }
    if (!m_standardOrder.contains(standard))
        m_standardOrder << standard;
    const QString placed = m_plan.sampleMixUps.value(standard.toUpper(), standard);
    if (m_plan.instrument)
        m_plan.instrument->loadSample(placed);
    if (placed != standard)
        m_shotLines[standard] << QStringLiteral("    (technician places %1 instead)").arg(placed);
    QMetaObject::invokeMethod(
        manager(), [standard] { manager()->shootCalibrationSample(standard); },
        Qt::QueuedConnection);
}

void CalibrationShotDriver::onShotComplete(const QJsonObject &stepJson)
{
    XrfCalibrationStep step;
    step.fromJsonObject(stepJson);
    m_shotLines[step.standardDisplayId()] << shotLine(step);
    ++m_shots;
    if (!step.hasFailed())
        return;
    m_failure = step.errorMsg().simplified();
    // The pass over the standard ended: the technician starts it again.
    placeAndShoot(step.standardDisplayId());
}

void CalibrationShotDriver::onStandardComplete(const XrfCalibrationStandard &standard)
{
    if (standard.isOnly50KvRemaining())
        m_shotLines[standard.name()] << QStringLiteral("    (50 kV steps set aside: the test "
                                                       "stand lid is open)");
}

void CalibrationShotDriver::onCalibrationComplete(bool passed)
{
    m_passed = passed;
    m_finished = true;
    m_loop.quit();
}

StepOutcome CalibrationShotDriver::outcome() const
{
    StepOutcome outcome;
    outcome.subSteps = m_notes;
    for (const QString &standard : m_standardOrder) {
        outcome.subSteps << standard;
        outcome.subSteps << m_shotLines.value(standard);
    }
    if (!m_finished) {
        outcome.result = StepOutcome::Failed;
        outcome.detail = QStringLiteral("the calibration shots did not finish");
    } else if (!m_passed) {
        outcome.result = StepOutcome::Failed;
        outcome.detail =
            m_failure.isEmpty() ? QStringLiteral("calibration shots failed") : m_failure;
    } else {
        outcome.result = StepOutcome::Passed;
        outcome.detail =
            QStringLiteral("%1 standards, %2 shots").arg(m_standardOrder.size()).arg(m_shots);
    }
    return outcome;
}
