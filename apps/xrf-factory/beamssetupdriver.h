#pragma once

#include "stepsequence.h"
#include "technician.h"

#include "xrfbeaminfo.h"

#include <QEventLoop>
#include <QMap>
#include <QObject>
#include <QStringList>

// Runs factory step 7 as the application does: fetch the beam list, place the sample the step
// asks for and start it, again at every change of sample, confirm the HD lid and button tests,
// and wait for the step to complete or to stop at a failed beam.
class BeamsSetupDriver : public QObject
{
    Q_OBJECT
public:
    explicit BeamsSetupDriver(const TechnicianPlan &plan, QObject *parent = nullptr);

    StepOutcome run();

private:
    void onSampleChanged(const QString &sample);
    void onBeamReady(const XrfBeamInfo &beam);
    void onSetupComplete(const QString &status);
    void onLidTest(bool completed);
    void onButtonTest(bool completed);
    void placeSampleAndStart();
    void finish(const QString &status);
    StepOutcome outcome() const;
    static QString beamLine(const XrfBeamInfo &beam);

    TechnicianPlan m_plan;
    QEventLoop m_loop;
    QString m_requestedSample;
    QStringList m_beamOrder;
    QMap<QString, XrfBeamInfo> m_beams;
    QStringList m_notes;
    QString m_status;
    bool m_finished = false;
    bool m_lidLifted = false;
};
