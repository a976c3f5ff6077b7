#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "technician.h"

// The outcome of one requested factory step on the line.
struct StepOutcome
{
    // Skipped: a step this instrument does not need, which the cloud counts as done.
    enum Result { Passed, Failed, NotAvailable, Skipped };
    QString step;
    Result result = NotAvailable;
    QString detail;
    // One line per sub-step, for steps made of sub-steps.
    QStringList subSteps;
    double seconds = 0;
    // The step sent its result file to the cloud: the line waits for the answer before it moves
    // on, so that the library can delete the file the cloud has taken.
    bool resultUploaded = false;

    QString resultText() const;
};

// Follows the line from step to step: the progress view and the run log.
class StepObserver
{
public:
    virtual ~StepObserver() = default;
    virtual void stepStarted(const QString &step) = 0;
    virtual void stepFinished(const StepOutcome &outcome) = 0;
};

// Drives the requested factory steps through the library as the instrument application does:
// enter the step with initFactoryStep, start it, answer its prompts, wait for its completion.
class StepSequence
{
public:
    explicit StepSequence(const TechnicianPlan &plan = TechnicianPlan()) : m_plan(plan) { }

    // Every factory step name, in order.
    static QStringList allSteps();
    // What the line runs by name besides the factory steps: operations of the factory run that
    // are not steps of their own ("radiationSurvey", "profileBackup"). They are not entered.
    static QStringList pseudoSteps();
    // The steps this line can run from start to completion.
    static QStringList runnableSteps();
    // What `run` does by default: every runnable step, then the pseudo-steps through the profile
    // hand-over.
    static QStringList wholeLine();
    // False with a message naming the first unknown step (neither a factory step nor a
    // pseudo-step).
    static bool validate(const QStringList &steps, QString *errorMsg);

    // Told when each step starts and ends; the observer outlives the sequence.
    void addObserver(StepObserver *observer) { m_observers << observer; }
    QList<StepOutcome> run(const QStringList &steps);

    static QString summaryTable(const QList<StepOutcome> &outcomes);
    static bool allPassed(const QList<StepOutcome> &outcomes);

private:
    // The steps in the order the technician takes them.
    QStringList technicianOrder(QStringList steps) const;
    StepOutcome runStep(const QString &step);
    void enter(const QString &step);
    void confirmWithCloud(const QString &step);
    bool askCloudWhetherDone(const QString &step);
    static void raiseStepsCompleted(const QString &step);

    TechnicianPlan m_plan;
    QList<StepObserver *> m_observers;
};
