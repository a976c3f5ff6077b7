#pragma once

#include "stepsequence.h"
#include "technician.h"

#include "xrfradiationsurveyresult.h"

#include <QEventLoop>
#include <QObject>

class SimInstrument;

// Runs the radiation survey as the technician does: load the survey's parameters, arm the survey
// meter's max-hold beside the instrument, start the survey exposure and let it run its time,
// read the meter's highest reading and enter it, then wait for the verdict.
class SurveyDriver : public QObject
{
    Q_OBJECT
public:
    SurveyDriver(const TechnicianPlan &plan, SimInstrument *instrument, QObject *parent = nullptr);

    StepOutcome run();

private:
    void onStatusChanged(const XrfRadiationSurveyResult &result);
    void enterReading();
    void finish(StepOutcome::Result result, const QString &detail);
    QString verdictText(const XrfRadiationSurveyResult &result) const;

    TechnicianPlan m_plan;
    SimInstrument *m_instrument;
    QEventLoop m_loop;
    StepOutcome m_outcome;
    bool m_finished = false;
    bool m_readingEntered = false;
};
