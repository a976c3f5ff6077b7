#include "prerequisiteshotdriver.h"

#include "simfaults.h"
#include "siminstrument.h"
#include "xrffactorymanager.h"
#include "xrftimescale.h"

#include <QMetaObject>
#include <QTimer>

namespace {

// An instrument hour is plenty for the shots and the package; a watchdog on a silent library
// or cloud, never less than 10 minutes of process time.
const int kRunTimeoutMs = 60 * 60 * 1000;
const int kWatchdogFloorMs = 10 * 60 * 1000;
// The lid comes up two seconds into the first prerequisite shot.
const double kLidLiftedAfterSeconds = 2.0;

XrfFactoryManager *manager()
{
    return XrfFactoryManager::instance();
}

} // namespace

PrerequisiteShotDriver::PrerequisiteShotDriver(const TechnicianPlan &plan, QObject *parent)
    : QObject(parent), m_plan(plan)
{
    connect(manager(), &XrfFactoryManager::prerequisiteShotCurrentSampleChanged, this,
            &PrerequisiteShotDriver::onSampleChanged);
    connect(manager(), &XrfFactoryManager::preRequisiteShotComplete, this,
            &PrerequisiteShotDriver::onShot);
    connect(manager(), &XrfFactoryManager::preRequisiteShotAllComplete, this,
            &PrerequisiteShotDriver::onAllShots);
    connect(manager(), &XrfFactoryManager::syntheticShotsDownloadComplete, this,
            &PrerequisiteShotDriver::onDownload);
    connect(manager(), &XrfFactoryManager::syntheticShotSelectionComplete, this,
            &PrerequisiteShotDriver::onSelection);
}

StepOutcome PrerequisiteShotDriver::run()
{
    XrfPrerequisiteShotList shots = manager()->prerequisiteShotsList();
    const XrfPrerequisiteShot *next = shots.findNextIncompleteShot();
    if (shots.isEmpty())
        m_lines << QStringLiteral("(the work order's methods need no prerequisite shot)");
    QTimer::singleShot(XrfTimeScale::watchdogMs(kRunTimeoutMs, kWatchdogFloorMs), &m_loop,
                       &QEventLoop::quit);
    placeSampleAndStart(next ? next->targetSample() : QString());
    if (!m_finished)
        m_loop.exec();
    StepOutcome outcome;
    outcome.subSteps = m_lines;
    outcome.result = m_passed ? StepOutcome::Passed : StepOutcome::Failed;
    outcome.detail =
        m_finished ? m_detail : QStringLiteral("the prerequisite shots did not finish");
    return outcome;
}

void PrerequisiteShotDriver::placeSampleAndStart(const QString &sample)
{
    if (!sample.isEmpty()) {
        const QString placed = m_plan.sampleMixUps.value(sample.toUpper(), sample);
        m_lines << (placed == sample
                        ? QStringLiteral("(technician places %1)").arg(placed)
                        : QStringLiteral("(technician places %1 where %2 is asked for)")
                              .arg(placed, sample));
        if (m_plan.instrument)
            m_plan.instrument->loadSample(placed);
        if (m_plan.instrument && m_plan.liftsLidDuringPrerequisiteShot && !m_lidLifted) {
            m_lidLifted = true;
            m_plan.instrument->faults().endExposureAfter(
                kLidLiftedAfterSeconds, XrfHardwareManager::EndInterlockOpened, false, 1);
            m_lines << QStringLiteral("(technician lifts the test stand lid during the shot)");
        }
    }
    QMetaObject::invokeMethod(manager(), "startPrerequisiteShot", Qt::QueuedConnection,
                              Q_ARG(QString, QString()));
}

void PrerequisiteShotDriver::onSampleChanged(const QString &sample)
{
    if (sample.isEmpty() || m_finished)
        return;
    QTimer::singleShot(0, this, [this, sample] { placeSampleAndStart(sample); });
}

void PrerequisiteShotDriver::onShot(const XrfPrerequisiteShot &shot)
{
    ++m_shots;
    m_lines << shotLine(shot);
    if (shot.hasFailed())
        finish(false, QStringLiteral("%1: %2").arg(shot.id(), shot.statusMsg().simplified()));
}

void PrerequisiteShotDriver::onAllShots(const XrfPrerequisiteShotList &)
{
    if (m_finished)
        return;
    m_lines << QStringLiteral("(technician downloads the synthetic package)");
    QMetaObject::invokeMethod(manager(), "downloadSyntheticShots", Qt::QueuedConnection,
                              Q_ARG(bool, true));
}

void PrerequisiteShotDriver::onDownload(bool succeeded)
{
    m_lines << (succeeded ? QStringLiteral("  synthetic package downloaded and unpacked")
                          : QStringLiteral("  synthetic package download FAILED"));
}

void PrerequisiteShotDriver::onSelection(const XrfSyntheticShotSelectionCriteria &criteria)
{
    for (const XrfSyntheticShotSelectionCriteriaPerMethod &method : criteria.criteria()) {
        const QString set =
            method.filesPath().mid(method.filesPath().lastIndexOf(QLatin1Char('/')) + 1);
        m_lines << (method.hasFailed() ? QStringLiteral("%1 FAILED  %2")
                                             .arg(method.methodId(), -22)
                                             .arg(method.statusMsg())
                                       : QStringLiteral("%1 %2 = %3 eV: set %4")
                                             .arg(method.methodId(), -22)
                                             .arg(method.parameter())
                                             .arg(method.value(), 0, 'f', 1)
                                             .arg(set));
    }
    if (criteria.status())
        finish(true,
               criteria.criteria().isEmpty()
                   ? QStringLiteral("%1 prerequisite shots, no synthetic package for this "
                                    "hardware")
                         .arg(m_shots)
                   : QStringLiteral("%1 prerequisite shots, %2 synthetic methods selected")
                         .arg(m_shots)
                         .arg(criteria.criteria().size()));
    else
        finish(false, criteria.statusMsg().simplified());
}

void PrerequisiteShotDriver::finish(bool passed, const QString &detail)
{
    if (m_finished)
        return;
    m_finished = true;
    m_passed = passed;
    m_detail = detail;
    m_loop.quit();
}

QString PrerequisiteShotDriver::shotLine(const XrfPrerequisiteShot &shot)
{
    const XrfExposureSettings &exposure = shot.exposure();
    return QStringLiteral("%1 %2 %3 %4 kV %5 uA %6 s  %7")
        .arg(shot.id(), -20)
        .arg(shot.targetSample(), -6)
        .arg(shot.isCollimated() ? QStringLiteral("collimated  ") : QStringLiteral("uncollimated"))
        .arg(double(exposure.tubeVoltageKv()))
        .arg(double(exposure.tubeCurrentUa()), 0, 'f', 2)
        .arg(exposure.maxTime())
        .arg(shot.hasFailed() ? QStringLiteral("FAILED ") + shot.statusMsg().simplified()
                              : QStringLiteral("passed"));
}
