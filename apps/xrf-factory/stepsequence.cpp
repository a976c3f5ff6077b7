#include "stepsequence.h"

#include "stepdrivers.h"

#include "xrffactorymanager.h"
#include "xrfsettingsmanager.h"
#include "xrftimescale.h"

#include <QEventLoop>
#include <QJsonObject>
#include <QTimer>

#include <QElapsedTimer>
#include <QMetaObject>
#include <QTextStream>

namespace {
// A watchdog on a silent cloud, in process time: the cloud simulator answers in a millisecond.
const int kCloudAnswerTimeoutMs = 30000;
const int kCloudConfirmAttempts = 5;
// How long the line waits for the cloud's answer to a result upload: a minute of instrument
// time, but never less than ten real seconds. It is a watchdog on the cloud, and a busy machine
// must not trip it.
const int kUploadAnswerInstrumentMs = 60000;
const int kUploadAnswerFloorMs = 10000;

// The library's answer to a step's result upload, collected from the moment the step starts so
// that an early answer is not missed.
class UploadAnswer
{
public:
    UploadAnswer()
    {
        m_connection = QObject::connect(XrfFactoryManager::instance(),
                                        &XrfFactoryManager::factoryStepResultUploadComplete,
                                        &m_loop, [this](bool, const QString &) {
                                            m_answered = true;
                                            m_loop.quit();
                                        });
    }
    ~UploadAnswer() { QObject::disconnect(m_connection); }

    // False when the answer did not come in time.
    bool wait()
    {
        if (!m_answered) {
            QTimer::singleShot(
                XrfTimeScale::watchdogMs(kUploadAnswerInstrumentMs, kUploadAnswerFloorMs), &m_loop,
                &QEventLoop::quit);
            m_loop.exec();
        }
        return m_answered;
    }

private:
    QEventLoop m_loop;
    QMetaObject::Connection m_connection;
    bool m_answered = false;
};
} // namespace

QString StepOutcome::resultText() const
{
    switch (result) {
    case Passed:
        return QStringLiteral("PASSED");
    case Failed:
        return QStringLiteral("FAILED");
    case Skipped:
        return QStringLiteral("SKIPPED");
    case NotAvailable:
        break;
    }
    return QStringLiteral("NOT RUN");
}

QStringList StepSequence::allSteps()
{
    QStringList names;
    for (int id = XrfUtils::SoftwareUpdate; id <= XrfUtils::FactorSet; ++id)
        names << XrfFactoryManager::factoryStepNameFromId(XrfUtils::FactoryStepId(id));
    return names;
}

QStringList StepSequence::runnableSteps()
{
    QStringList runnable;
    for (const QString &step : allSteps()) {
        if (stepDrivers().contains(step))
            runnable << step;
    }
    return runnable;
}

QStringList StepSequence::pseudoSteps()
{
    return {QStringLiteral("finalQc"), QStringLiteral("radiationSurvey"),
            QStringLiteral("profileBackup")};
}

QStringList StepSequence::wholeLine()
{
    return runnableSteps() + pseudoSteps();
}

bool StepSequence::validate(const QStringList &steps, QString *errorMsg)
{
    for (const QString &step : steps) {
        if (!allSteps().contains(step) && !pseudoSteps().contains(step)) {
            *errorMsg = QStringLiteral("Unknown factory step '%1'; the steps are: %2")
                            .arg(step, (allSteps() + pseudoSteps()).join(QStringLiteral(", ")));
            return false;
        }
    }
    return true;
}

QList<StepOutcome> StepSequence::run(const QStringList &steps)
{
    QList<StepOutcome> outcomes;
    for (const QString &step : technicianOrder(steps)) {
        for (StepObserver *observer : qAsConst(m_observers))
            observer->stepStarted(step);
        outcomes << runStep(step);
        for (StepObserver *observer : qAsConst(m_observers))
            observer->stepFinished(outcomes.last());
    }
    return outcomes;
}

QStringList StepSequence::technicianOrder(QStringList steps) const
{
    const QString survey = QStringLiteral("radiationSurvey");
    if (m_plan.surveysBeforeProvisioning && steps.removeAll(survey) > 0)
        steps.prepend(survey);
    return steps;
}

StepOutcome StepSequence::runStep(const QString &step)
{
    QElapsedTimer timer;
    timer.start();
    StepOutcome outcome;
    outcome.step = step;
    QString reason;
    if (stepNotRequired(step, &reason)) {
        outcome.result = StepOutcome::Skipped;
        outcome.detail = reason;
        raiseStepsCompleted(step);
        outcome.seconds = timer.elapsed() / 1000.0;
        return outcome;
    }
    const bool pseudoStep = pseudoSteps().contains(step);
    if (!pseudoStep)
        enter(step);
    UploadAnswer uploadAnswer;
    const auto driver = stepDrivers().constFind(step);
    if (driver != stepDrivers().constEnd()) {
        outcome = (*driver)(m_plan);
        outcome.step = step;
    } else {
        outcome.result = StepOutcome::NotAvailable;
        outcome.detail = QStringLiteral("entered; this line cannot run the step yet");
    }
    if (outcome.resultUploaded && !uploadAnswer.wait())
        outcome.detail += QStringLiteral(" (the cloud did not answer the result upload)");
    if (outcome.result == StepOutcome::Passed && !pseudoStep)
        confirmWithCloud(step);
    outcome.seconds = timer.elapsed() / 1000.0;
    return outcome;
}

void StepSequence::confirmWithCloud(const QString &step)
{
    // As the application does: ask the cloud for the factory status; when it counts the step as
    // done the library says so, and the completed-steps count moves on to it. The step's own
    // status report may still be on its way, so ask again a few times.
    for (int attempt = 0; attempt < kCloudConfirmAttempts; ++attempt) {
        if (askCloudWhetherDone(step)) {
            raiseStepsCompleted(step);
            return;
        }
    }
}

bool StepSequence::askCloudWhetherDone(const QString &step)
{
    XrfFactoryManager *manager = XrfFactoryManager::instance();
    QEventLoop loop;
    bool done = false;
    const auto marked = QObject::connect(manager, &XrfFactoryManager::markFactoryStepComplete,
                                         &loop, [&](const QString &name) { done |= name == step; });
    const auto refreshed = QObject::connect(manager, &XrfFactoryManager::refreshWorkOrderComplete,
                                            &loop, &QEventLoop::quit);
    QTimer::singleShot(kCloudAnswerTimeoutMs, &loop, &QEventLoop::quit);
    QMetaObject::invokeMethod(manager, "refreshWorkOrder", Qt::QueuedConnection);
    loop.exec();
    QObject::disconnect(marked);
    QObject::disconnect(refreshed);
    return done;
}

void StepSequence::raiseStepsCompleted(const QString &step)
{
    const int stepId = XrfFactoryManager::factoryStepIdFromName(step);
    XrfSettingsManager *settings = XrfSettingsManager::instance();
    QJsonObject factory;
    if (settings->getUniversalSetting(QStringLiteral("factory.settings"), &factory) != 0)
        return;
    if (factory.value(QStringLiteral("factoryStepsCompleted")).toInt() >= stepId)
        return;
    factory.insert(QStringLiteral("factoryStepsCompleted"), stepId);
    settings->setUniversalSetting(QStringLiteral("factory.settings"), &factory);
}

void StepSequence::enter(const QString &step)
{
    QMetaObject::invokeMethod(XrfFactoryManager::instance(), "initFactoryStep",
                              Qt::BlockingQueuedConnection, Q_ARG(QString, step));
}

QString StepSequence::summaryTable(const QList<StepOutcome> &outcomes)
{
    QString text;
    QTextStream out(&text);
    out << Qt::left << qSetFieldWidth(22) << "Step" << qSetFieldWidth(9) << "Result"
        << qSetFieldWidth(9) << "Seconds" << qSetFieldWidth(0) << "Detail\n";
    for (const StepOutcome &outcome : outcomes) {
        out << qSetFieldWidth(22) << outcome.step << qSetFieldWidth(9) << outcome.resultText()
            << qSetFieldWidth(9) << QString::number(outcome.seconds, 'f', 1) << qSetFieldWidth(0)
            << outcome.detail << '\n';
        for (const QString &line : outcome.subSteps)
            out << "    " << line << '\n';
    }
    return text;
}

bool StepSequence::allPassed(const QList<StepOutcome> &outcomes)
{
    for (const StepOutcome &outcome : outcomes) {
        if (outcome.result != StepOutcome::Passed && outcome.result != StepOutcome::Skipped)
            return false;
    }
    return true;
}
