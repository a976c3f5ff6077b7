#include "factorsetdriver.h"

#include "xrffactorymanager.h"
#include "xrftimescale.h"

#include <QMetaObject>
#include <QTimer>

namespace {
// An instrument hour is plenty for the cloud's runs; a watchdog on a silent library, floored in
// process time so that a loaded machine does not trip it.
const int kRunTimeoutMs = 60 * 60 * 1000;
const int kWatchdogFloorMs = 10 * 60 * 1000;

XrfFactoryManager *manager()
{
    return XrfFactoryManager::instance();
}
// The first failed method's message, or `fallback` when no method failed.
QString firstFailureOf(const XrfFactorSetQCSummaryResults &results, const QString &fallback)
{
    for (const XrfFactorSetQCSummaryResultPerMethod &method : results.list()) {
        if (method.hasFailed())
            return method.errorMsg().simplified();
    }
    return fallback;
}
} // namespace

FactorSetDriver::FactorSetDriver(const TechnicianPlan &plan, QObject *parent)
    : QObject(parent), m_plan(plan)
{
    connect(manager(), &XrfFactoryManager::factorSetStatusChanged, this,
            &FactorSetDriver::onStatusChanged);
    connect(manager(), &XrfFactoryManager::factorSetComplete, this, &FactorSetDriver::onComplete);
    connect(manager(), &XrfFactoryManager::qcSummaryComplete, this,
            &FactorSetDriver::onQcSummaryComplete);
}

StepOutcome FactorSetDriver::run()
{
    QTimer::singleShot(XrfTimeScale::watchdogMs(kRunTimeoutMs, kWatchdogFloorMs), &m_loop,
                       &QEventLoop::quit);
    QMetaObject::invokeMethod(
        manager(), [] { manager()->startFactorSet(); }, Qt::QueuedConnection);
    if (!m_finished)
        m_loop.exec();
    return outcome();
}

void FactorSetDriver::onStatusChanged(const XrfFactorSetQCSummaryResults &results)
{
    if (!m_plan.abortsFactorSetWhilePolling || m_abortPressed)
        return;
    for (const XrfFactorSetQCSummaryResultPerMethod &method : results.list()) {
        if (method.statusRequestId() > 0 && !method.isDone()) {
            m_abortPressed = true;
            QMetaObject::invokeMethod(
                manager(), [] { manager()->abortFactorSet(); }, Qt::QueuedConnection);
            return;
        }
    }
}

void FactorSetDriver::onComplete(const QJsonObject &results)
{
    m_results.fromJsonObject(results);
    if (m_results.status() != QLatin1String("pass") || m_qcSummaryRan)
        return finish();
    m_qcSummaryRan = true;
    QMetaObject::invokeMethod(
        manager(), [] { manager()->startQCSummary(); }, Qt::QueuedConnection);
}

void FactorSetDriver::onQcSummaryComplete(const QJsonObject &results)
{
    if (!m_qcSummaryRan)
        return;
    m_qcResults.fromJsonObject(results);
    finish();
}

void FactorSetDriver::finish()
{
    m_finished = true;
    m_loop.quit();
}

StepOutcome FactorSetDriver::outcome() const
{
    StepOutcome outcome;
    if (m_abortPressed)
        outcome.subSteps << QStringLiteral("(technician presses abort while the runs are polled)");
    int passed = 0;
    for (const XrfFactorSetQCSummaryResultPerMethod &method : m_results.list()) {
        passed += method.isDone() && !method.hasFailed() ? 1 : 0;
        outcome.subSteps << QStringLiteral("    %1  run %2  %3")
                                .arg(method.methodName())
                                .arg(method.statusRequestId())
                                .arg(method.hasFailed()
                                         ? QStringLiteral("FAILED: ")
                                             + method.errorMsg().simplified()
                                         : QStringLiteral("calibrated method installed"));
    }
    if (!m_finished) {
        outcome.result = StepOutcome::Failed;
        outcome.detail = QStringLiteral("the factor set did not finish");
    } else if (m_results.status() == QLatin1String("pass")
               && m_qcResults.status() == QLatin1String("pass")) {
        outcome.result = StepOutcome::Passed;
        outcome.detail = QStringLiteral("%1 methods calibrated, QC summary passed").arg(passed);
    } else if (m_results.status() == QLatin1String("pass")) {
        outcome.result = StepOutcome::Failed;
        outcome.detail = QStringLiteral("QC summary failed: %1")
                             .arg(firstFailureOf(m_qcResults, m_qcResults.status()));
    } else {
        outcome.result = StepOutcome::Failed;
        outcome.detail = firstFailureOf(m_results, QStringLiteral("factor set failed"));
    }
    return outcome;
}
