#include "surveydriver.h"

#include "siminstrument.h"
#include "simsurveymeter.h"
#include "xrffactorymanager.h"

#include <QMetaObject>
#include <QTimer>

namespace {
// An instrument hour is plenty for the survey; the line gives up after it.
const int kSurveyTimeoutMs = 60 * 60 * 1000;

XrfFactoryManager *manager()
{
    return XrfFactoryManager::instance();
}

QString unitText(int unit)
{
    return unit == XrfRadiationSurveyResult::MilliRoentgenPerHour ? QStringLiteral("mR/hr")
                                                                  : QStringLiteral("uR/hr");
}

QString meterText(int type)
{
    return type == XrfRadiationSurveyResult::BlueMeter ? QStringLiteral("blue meter")
                                                       : QStringLiteral("yellow meter");
}
} // namespace

SurveyDriver::SurveyDriver(const TechnicianPlan &plan, SimInstrument *instrument, QObject *parent)
    : QObject(parent), m_plan(plan), m_instrument(instrument)
{
    connect(manager(), &XrfFactoryManager::radiationSurveyStatusChanged, this,
            &SurveyDriver::onStatusChanged);
}

StepOutcome SurveyDriver::run()
{
    if (!m_instrument) {
        finish(StepOutcome::NotAvailable, QStringLiteral("no simulated instrument to survey"));
        return m_outcome;
    }
    const XrfRadiationSurveyResult loaded = manager()->loadRadiationSurveyParams();
    if (loaded.status() == XrfRadiationSurveyResult::ParamsLoadFailed) {
        finish(StepOutcome::Failed, loaded.statusMsg());
        return m_outcome;
    }
    m_instrument->armSurveyMeterHold();
    QTimer::singleShot(kSurveyTimeoutMs, &m_loop, &QEventLoop::quit);
    QMetaObject::invokeMethod(manager(), "startRadiationSurvey", Qt::QueuedConnection);
    if (!m_finished)
        m_loop.exec();
    if (!m_finished)
        finish(StepOutcome::Failed, QStringLiteral("the radiation survey did not finish"));
    return m_outcome;
}

void SurveyDriver::onStatusChanged(const XrfRadiationSurveyResult &result)
{
    switch (result.status()) {
    case XrfRadiationSurveyResult::AwaitingReading:
        if (!m_readingEntered)
            enterReading();
        return;
    case XrfRadiationSurveyResult::Passed:
        finish(StepOutcome::Passed, verdictText(result));
        return;
    default:
        finish(StepOutcome::Failed, result.statusMsg().simplified());
        return;
    }
}

// The exposure has run its time: the meter's max-hold shows the highest dose rate beside it.
void SurveyDriver::enterReading()
{
    m_readingEntered = true;
    const SimSurveyMeter meter(SimSurveyMeter::Type(m_plan.surveyMeterType),
                               SimSurveyMeter::Unit(m_plan.surveyMeterUnit));
    XrfRadiationSurveyResult entered;
    entered.setReading(meter.read(m_instrument->surveyMeterHold()));
    entered.setMeterType(m_plan.surveyMeterType);
    entered.setMeterUnit(m_plan.surveyMeterUnit);
    QMetaObject::invokeMethod(manager(), "evaluateRadiationSurveyResult", Qt::QueuedConnection,
                              Q_ARG(XrfRadiationSurveyResult, entered));
}

QString SurveyDriver::verdictText(const XrfRadiationSurveyResult &result) const
{
    return QStringLiteral("%1 read %2 %3, below %4 mR/hr")
        .arg(meterText(result.meterType()))
        .arg(result.reading())
        .arg(unitText(result.meterUnit()))
        .arg(result.params().milliRadPerHourThreshold());
}

void SurveyDriver::finish(StepOutcome::Result result, const QString &detail)
{
    if (m_finished)
        return;
    m_finished = true;
    m_outcome.result = result;
    m_outcome.detail = detail;
    m_loop.quit();
}
