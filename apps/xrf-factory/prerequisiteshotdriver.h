#pragma once

#include "stepsequence.h"
#include "technician.h"

#include "xrfprerequisiteshot.h"

#include <QEventLoop>
#include <QObject>
#include <QStringList>

// Runs factory step 9 as the application does: the technician places each prerequisite sample
// the step asks for and starts the shots again; once every shot passed, the synthetic package is
// downloaded and the synthetic shot set of every synthetic method is selected and processed.
class PrerequisiteShotDriver : public QObject
{
    Q_OBJECT
public:
    explicit PrerequisiteShotDriver(const TechnicianPlan &plan, QObject *parent = nullptr);

    StepOutcome run();

private:
    void placeSampleAndStart(const QString &sample);
    void onSampleChanged(const QString &sample);
    void onShot(const XrfPrerequisiteShot &shot);
    void onAllShots(const XrfPrerequisiteShotList &shots);
    void onDownload(bool succeeded);
    void onSelection(const XrfSyntheticShotSelectionCriteria &criteria);
    void finish(bool passed, const QString &detail);
    static QString shotLine(const XrfPrerequisiteShot &shot);

    TechnicianPlan m_plan;
    QEventLoop m_loop;
    QStringList m_lines;
    int m_shots = 0;
    bool m_finished = false;
    bool m_passed = false;
    bool m_lidLifted = false;
    QString m_detail;
};
