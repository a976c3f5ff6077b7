#pragma once

#include "stepsequence.h"
#include "technician.h"

#include "xrfsteprecords.h"

#include <QEventLoop>
#include <QJsonObject>
#include <QObject>

// Runs factory step 11 as the application does: the factor set of every method is started, the
// cloud's runs are followed through the status signals until the factor set is complete, then
// the QC summary of the calibrated methods the same way; a technician who aborts presses abort
// once a factor set run is being polled.
class FactorSetDriver : public QObject
{
    Q_OBJECT
public:
    explicit FactorSetDriver(const TechnicianPlan &plan, QObject *parent = nullptr);

    StepOutcome run();

private:
    void onStatusChanged(const XrfFactorSetQCSummaryResults &results);
    void onComplete(const QJsonObject &results);
    void onQcSummaryComplete(const QJsonObject &results);
    void finish();
    StepOutcome outcome() const;

    TechnicianPlan m_plan;
    QEventLoop m_loop;
    XrfFactorSetQCSummaryResults m_results;
    XrfFactorSetQCSummaryResults m_qcResults;
    bool m_qcSummaryRan = false;
    bool m_finished = false;
    bool m_abortPressed = false;
};
