#pragma once

#include "stepsequence.h"
#include "technician.h"

#include "xrfhardwaresetupstepinfo.h"

#include <QEventLoop>
#include <QJsonObject>
#include <QObject>
#include <QStringList>

// Runs factory step 3 as the application does: fetch the sub-step list, start the run, resume it
// at the accelerometer pauses once the instrument is aligned, answer the operator tests, confirm
// the sub-steps the setup data leaves to the operator, and wait for the run to complete.
class HardwareSetupDriver : public QObject
{
    Q_OBJECT
public:
    explicit HardwareSetupDriver(const TechnicianPlan &plan, QObject *parent = nullptr);

    StepOutcome run();

private:
    void onStepsList(const QJsonObject &list);
    void onCurrentStepChanged(const QString &stepId);
    void onStepComplete(const XrfHardwareSetupStepInfo &step);
    void onTaskStatus(const QString &status);
    void onRunComplete(const QJsonObject &results);
    bool pausedAtAccelerometer(const QString &completedStep) const;
    void resume();
    void answerButtonsTest();
    void answerCustomerIOTest();
    void confirmSubStep(const QString &stepId);
    void answerOperatorTest(const char *slot, const QString &stepId, const QString &passedText);
    void abortRun();
    StepOutcome outcome() const;

    TechnicianPlan m_plan;
    QEventLoop m_loop;
    QStringList m_order;
    QStringList m_done;
    QStringList m_confirmedByOperator;
    QStringList m_lines;
    QString m_failure;
    bool m_complete = false;
    bool m_passed = false;
    bool m_aborted = false;
};
