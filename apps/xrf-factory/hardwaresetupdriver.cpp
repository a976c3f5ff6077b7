#include "hardwaresetupdriver.h"

#include "xrffactorymanager.h"
#include "xrftimescale.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QMetaObject>
#include <QTimer>

namespace {

const QString kAccelerometer = QStringLiteral("accelerometerSetup");
// An instrument hour is plenty for the whole run; the line gives up after it. Both are watchdogs
// on a silent library, never shorter than their floor in process time (the grace is all floor),
// so that a loaded machine does not trip them at small time scales.
const int kRunTimeoutMs = 60 * 60 * 1000;
const int kRunTimeoutFloorMs = 10 * 60 * 1000;
// After an abort, how long the line waits for the run to report before it stops waiting.
const int kAbortGraceMs = 10000;

XrfFactoryManager *manager()
{
    return XrfFactoryManager::instance();
}

} // namespace

HardwareSetupDriver::HardwareSetupDriver(const TechnicianPlan &plan, QObject *parent)
    : QObject(parent), m_plan(plan)
{
    connect(manager(), &XrfFactoryManager::hardwareSetupStepsListChanged, this,
            &HardwareSetupDriver::onStepsList);
    connect(manager(), &XrfFactoryManager::hardwareSetupCurrentStepChanged, this,
            &HardwareSetupDriver::onCurrentStepChanged);
    connect(manager(), &XrfFactoryManager::hardwareSetupStepComplete, this,
            &HardwareSetupDriver::onStepComplete);
    connect(manager(), &XrfFactoryManager::currentTaskStatusChanged, this,
            &HardwareSetupDriver::onTaskStatus);
    connect(manager(), &XrfFactoryManager::hardwareSetupComplete, this,
            &HardwareSetupDriver::onRunComplete);
}

StepOutcome HardwareSetupDriver::run()
{
    QMetaObject::invokeMethod(manager(), "getHardwareSetupStepsList", Qt::BlockingQueuedConnection);
    // The list arrives as a queued signal from the factory thread.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    if (m_order.isEmpty()) {
        StepOutcome failed;
        failed.result = StepOutcome::Failed;
        failed.detail = QStringLiteral("no hardware setup sub-steps in the factory setup data");
        return failed;
    }
    QTimer::singleShot(XrfTimeScale::watchdogMs(kRunTimeoutMs, kRunTimeoutFloorMs), &m_loop,
                       &QEventLoop::quit);
    resume();
    m_loop.exec();
    return outcome();
}

void HardwareSetupDriver::onStepsList(const QJsonObject &list)
{
    m_order.clear();
    m_done.clear();
    m_confirmedByOperator.clear();
    const QJsonArray steps = list.value(QStringLiteral("hardwareSetupSteps")).toArray();
    for (const QJsonValue &value : steps) {
        const QJsonObject step = value.toObject();
        m_order << step.value(QStringLiteral("stepId")).toString();
        if (step.value(QStringLiteral("setupParams"))
                .toObject()
                .value(QStringLiteral("operatorConfirms"))
                .toBool())
            m_confirmedByOperator << m_order.last();
        if (step.value(QStringLiteral("isDone")).toBool()
            && !step.value(QStringLiteral("hasFailed")).toBool())
            m_done << m_order.last();
    }
}

void HardwareSetupDriver::onCurrentStepChanged(const QString &stepId)
{
    if (!m_aborted && !m_plan.abortDuring.isEmpty() && stepId == m_plan.abortDuring)
        QTimer::singleShot(0, this, &HardwareSetupDriver::abortRun);
    else if (m_confirmedByOperator.contains(stepId))
        QTimer::singleShot(0, this, [this, stepId] { confirmSubStep(stepId); });
}

// The technician looks at what the sub-step asks for and confirms it.
void HardwareSetupDriver::confirmSubStep(const QString &stepId)
{
    if (m_complete || m_aborted)
        return;
    QMetaObject::invokeMethod(manager(), "markHardwareSetupStepComplete", Qt::QueuedConnection,
                              Q_ARG(QString, stepId));
}

void HardwareSetupDriver::onStepComplete(const XrfHardwareSetupStepInfo &step)
{
    const QString outcome = !step.hasFailed() ? QStringLiteral("passed") : QStringLiteral("FAILED");
    QString line = QStringLiteral("%1 %2").arg(step.stepId(), -24).arg(outcome);
    if (!step.statusMsg().isEmpty())
        line += QStringLiteral("  ") + step.statusMsg().simplified();
    m_lines << line;
    if (step.hasFailed()) {
        m_failure = QStringLiteral("%1: %2").arg(step.stepId(), step.statusMsg().simplified());
        return;
    }
    m_done << step.stepId();
    if (pausedAtAccelerometer(step.stepId())) {
        m_lines << QStringLiteral("  (technician aligns the instrument and resumes)");
        QTimer::singleShot(0, this, &HardwareSetupDriver::resume);
    }
}

// The run stops after the accelerometer sub-step and before it, so that the technician can set
// the instrument level.
bool HardwareSetupDriver::pausedAtAccelerometer(const QString &completedStep) const
{
    if (completedStep == kAccelerometer)
        return true;
    for (const QString &stepId : m_order) {
        if (!m_done.contains(stepId))
            return stepId == kAccelerometer;
    }
    return false;
}

void HardwareSetupDriver::resume()
{
    if (m_complete || m_aborted)
        return;
    QMetaObject::invokeMethod(manager(), "startHardwareSetup", Qt::QueuedConnection,
                              Q_ARG(QString, QString()));
}

void HardwareSetupDriver::onTaskStatus(const QString &status)
{
    if (status == QLatin1String("Starting instrument buttons test..."))
        QTimer::singleShot(0, this, &HardwareSetupDriver::answerButtonsTest);
    else if (status == QLatin1String("Starting customer IO test..."))
        QTimer::singleShot(0, this, &HardwareSetupDriver::answerCustomerIOTest);
}

void HardwareSetupDriver::answerButtonsTest()
{
    answerOperatorTest("onHardwareSetupButtonTestComplete", QStringLiteral("instrumentButtonsTest"),
                       QStringLiteral("Trigger, power and navigation buttons responded"));
}

void HardwareSetupDriver::answerCustomerIOTest()
{
    answerOperatorTest("onHardwareSetupCustomerIOTestComplete", QStringLiteral("customerIOTest"),
                       QStringLiteral("Customer inputs and outputs toggled"));
}

// The technician's verdict on an operator test, given to the facade's `slot`: what was seen when
// the test passes, the fault found when the plan has the technician fail it.
void HardwareSetupDriver::answerOperatorTest(const char *slot, const QString &stepId,
                                             const QString &passedText)
{
    const auto failure = m_plan.failedOperatorTests.constFind(stepId);
    const bool passed = failure == m_plan.failedOperatorTests.constEnd();
    const QJsonObject answer{{QStringLiteral("status"), passed},
                             {QStringLiteral("statusString"), passed ? passedText : *failure}};
    QMetaObject::invokeMethod(manager(), slot, Qt::QueuedConnection, Q_ARG(QJsonObject, answer));
}

void HardwareSetupDriver::abortRun()
{
    m_aborted = true;
    m_lines << QStringLiteral("  (technician aborts during %1)").arg(m_plan.abortDuring);
    manager()->abortHardwareSetup();
    QTimer::singleShot(kAbortGraceMs, &m_loop, &QEventLoop::quit);
}

void HardwareSetupDriver::onRunComplete(const QJsonObject &results)
{
    m_complete = true;
    m_passed = results.value(QStringLiteral("status")).toString() == QLatin1String("Passed");
    m_loop.quit();
}

StepOutcome HardwareSetupDriver::outcome() const
{
    StepOutcome outcome;
    outcome.subSteps = m_lines;
    // A completed run, passed or failed, sends its results file to the cloud.
    outcome.resultUploaded = m_complete;
    if (m_complete && m_passed && !m_aborted) {
        outcome.result = StepOutcome::Passed;
        outcome.detail = QStringLiteral("%1 sub-steps passed").arg(m_done.size());
        return outcome;
    }
    outcome.result = StepOutcome::Failed;
    if (m_aborted)
        outcome.detail = QStringLiteral("aborted by the technician");
    else if (!m_failure.isEmpty())
        outcome.detail = m_failure;
    else
        outcome.detail = QStringLiteral("the hardware setup did not finish");
    return outcome;
}
