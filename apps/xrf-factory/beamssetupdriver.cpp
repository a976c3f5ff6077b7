#include "beamssetupdriver.h"

#include "simfaults.h"
#include "siminstrument.h"
#include "xrffactorymanager.h"
#include "xrftimescale.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>

namespace {

// An instrument hour is plenty for every beam; the line gives up after it.
const int kRunTimeoutMs = 60 * 60 * 1000;
// The run timeout is a watchdog on a silent library: an instrument hour, never less than 10
// minutes of process time so that a loaded machine does not trip it at small time scales.
const int kRunTimeoutFloorMs = 10 * 60 * 1000;
// The lid comes up two seconds into the first beam's shot.
const double kLidLiftedAfterSeconds = 2.0;

XrfFactoryManager *manager()
{
    return XrfFactoryManager::instance();
}

} // namespace

BeamsSetupDriver::BeamsSetupDriver(const TechnicianPlan &plan, QObject *parent)
    : QObject(parent), m_plan(plan)
{
    connect(manager(), &XrfFactoryManager::beamSetupSampleChanged, this,
            &BeamsSetupDriver::onSampleChanged);
    connect(manager(), &XrfFactoryManager::beamCurrentReady, this, &BeamsSetupDriver::onBeamReady);
    connect(manager(), &XrfFactoryManager::beamConditionSetupComplete, this,
            &BeamsSetupDriver::onSetupComplete);
    connect(manager(), &XrfFactoryManager::tarvoHDLidTestComplete, this,
            &BeamsSetupDriver::onLidTest);
    connect(manager(), &XrfFactoryManager::tarvoHDButtonTestComplete, this,
            &BeamsSetupDriver::onButtonTest);
}

StepOutcome BeamsSetupDriver::run()
{
    QMetaObject::invokeMethod(manager(), "getBeamsSetupBeamList", Qt::BlockingQueuedConnection);
    // The list and the first sample arrive as queued signals from the factory thread.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    if (!m_finished) {
        QTimer::singleShot(XrfTimeScale::watchdogMs(kRunTimeoutMs, kRunTimeoutFloorMs), &m_loop,
                           &QEventLoop::quit);
        m_loop.exec();
    }
    return outcome();
}

void BeamsSetupDriver::onSampleChanged(const QString &sample)
{
    // An empty sample: no beam is left, the completion follows.
    if (sample.isEmpty() || m_finished)
        return;
    m_requestedSample = sample;
    QTimer::singleShot(0, this, &BeamsSetupDriver::placeSampleAndStart);
}

void BeamsSetupDriver::placeSampleAndStart()
{
    const QString placed =
        m_plan.sampleMixUps.value(m_requestedSample.toUpper(), m_requestedSample);
    if (placed == m_requestedSample)
        m_notes << QStringLiteral("(technician places %1)").arg(placed);
    else
        m_notes << QStringLiteral("(technician places %1 where %2 is asked for)")
                       .arg(placed, m_requestedSample);
    if (m_plan.instrument) {
        m_plan.instrument->loadSample(placed);
        if (m_plan.liftsLidDuringBeamsSetup && !m_lidLifted) {
            m_lidLifted = true;
            m_plan.instrument->faults().endExposureAfter(
                kLidLiftedAfterSeconds, XrfHardwareManager::EndInterlockOpened, false, 1);
            m_notes << QStringLiteral("(technician lifts the test stand lid during the shot)");
        }
    }
    QMetaObject::invokeMethod(manager(), "startBeamConditionSetup", Qt::QueuedConnection,
                              Q_ARG(QString, QString()));
}

void BeamsSetupDriver::onBeamReady(const XrfBeamInfo &beam)
{
    if (!m_beams.contains(beam.beamName()))
        m_beamOrder << beam.beamName();
    m_beams.insert(beam.beamName(), beam);
}

// The step reports its status when it closes, and also when it stops at a failed beam to wait
// for the technician, who then gives up on the line.
void BeamsSetupDriver::onSetupComplete(const QString &status)
{
    QTimer::singleShot(0, this, [this, status] { finish(status); });
}

void BeamsSetupDriver::finish(const QString &status)
{
    if (m_finished)
        return;
    m_finished = true;
    m_status = status;
    m_loop.quit();
}

void BeamsSetupDriver::onLidTest(bool completed)
{
    if (completed)
        return;
    m_notes << QStringLiteral("(technician confirms the HD lid test)");
    QMetaObject::invokeMethod(manager(), "setTarvoHDLidTestComplete", Qt::QueuedConnection,
                              Q_ARG(bool, true));
}

void BeamsSetupDriver::onButtonTest(bool completed)
{
    if (completed)
        return;
    m_notes << QStringLiteral("(technician confirms the HD button test)");
    QMetaObject::invokeMethod(manager(), "setTarvoHDButtonTestComplete", Qt::QueuedConnection,
                              Q_ARG(bool, true));
}

QString BeamsSetupDriver::beamLine(const XrfBeamInfo &beam)
{
    QString line = QStringLiteral("%1 %2 target %3 cps: %4 uA, ICR %5 cps, %6 iterations  %7")
                       .arg(beam.beamName(), -14)
                       .arg(beam.targetSample(), -6)
                       .arg(beam.targetICR())
                       .arg(double(beam.tubeCurrentUa()), 0, 'f', 2)
                       .arg(beam.actualCps())
                       .arg(beam.iterationGroups().size())
                       .arg(beam.hasFailed() ? QStringLiteral("FAILED") : QStringLiteral("passed"));
    if (beam.isUsingDimmerTargetIcr())
        line += QStringLiteral(" (dimmer target)");
    if (beam.hasFailed())
        line += QStringLiteral("  ") + beam.errorMsg().simplified();
    return line;
}

StepOutcome BeamsSetupDriver::outcome() const
{
    StepOutcome outcome;
    outcome.subSteps = m_notes;
    QString failure;
    for (const QString &name : m_beamOrder) {
        const XrfBeamInfo &beam = m_beams.value(name);
        outcome.subSteps << beamLine(beam);
        if (beam.hasFailed() && failure.isEmpty()) {
            // Most failure texts start with the beam's name already.
            const QString message = beam.errorMsg().simplified();
            failure =
                message.startsWith(name) ? message : QStringLiteral("%1: %2").arg(name, message);
        }
    }
    if (m_status == QLatin1String("Passed")) {
        outcome.result = StepOutcome::Passed;
        outcome.detail = QStringLiteral("%1 beams at their target count rates").arg(m_beams.size());
        return outcome;
    }
    outcome.result = StepOutcome::Failed;
    if (!failure.isEmpty())
        outcome.detail = failure;
    else if (!m_finished)
        outcome.detail = QStringLiteral("the beams setup did not finish");
    else
        outcome.detail = QStringLiteral("the beams setup ended with status %1").arg(m_status);
    return outcome;
}
