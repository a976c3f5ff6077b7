#pragma once

#include "stepsequence.h"
#include "technician.h"

#include "xrfairshot.h"

#include <QEventLoop>
#include <QJsonObject>
#include <QObject>
#include <QStringList>

// Runs factory step 8 as the application does: the technician clears the window, the step
// shoots every air shot and reports each background against its safe rate. A technician who
// restores an old results file afterwards has the library rebuild the lost records.
class AirShotDriver : public QObject
{
    Q_OBJECT
public:
    explicit AirShotDriver(const TechnicianPlan &plan, QObject *parent = nullptr);

    StepOutcome run();

private:
    void onShot(const XrfAirShot &shot);
    void onAllComplete(bool listBuilt, const QJsonObject &results);
    // Loses the beams setup and air shot records and has the library recover them; false when
    // they were not rebuilt.
    bool restoreOldResultsAndRecover();
    StepOutcome outcome() const;
    static QString shotLine(const XrfAirShot &shot);

    TechnicianPlan m_plan;
    QEventLoop m_loop;
    QStringList m_lines;
    QJsonObject m_results;
    QString m_failure;
    bool m_finished = false;
    bool m_recovered = false;
};
