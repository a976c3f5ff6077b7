#pragma once

#include "stepsequence.h"
#include "technician.h"

#include "xrfsteprecords.h"

#include <QEventLoop>
#include <QJsonObject>
#include <QObject>

// Runs factory step 11 as the application does: the factor set of every method is started, the
// cloud's runs are followed through the status signals until the factor set is complete; a
// technician who aborts presses abort once a run is being polled.
class FactorSetDriver : public QObject
{
    Q_OBJECT
public:
    explicit FactorSetDriver(const TechnicianPlan &plan, QObject *parent = nullptr);

    StepOutcome run();

private:
    void onStatusChanged(const XrfFactorSetQCSummaryResults &results);
    void onComplete(const QJsonObject &results);
    StepOutcome outcome() const;

    TechnicianPlan m_plan;
    QEventLoop m_loop;
    XrfFactorSetQCSummaryResults m_results;
    bool m_finished = false;
    bool m_abortPressed = false;
};
