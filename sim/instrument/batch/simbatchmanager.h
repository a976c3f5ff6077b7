#pragma once

#include "simcheckshots.h"
#include "simfinalqccheck.h"

#include "xrftestmanager.h"

// The instrument's batch test manager on the simulated instrument: a final QC batch shoots the
// sample at the window (the template's check sample, placed by the technician) with the installed
// method's beams, computes its concentrations with the method's calibration, writes the progress
// file "<profile>/<template>_progress.json" and reports the batch complete; an element outside the
// template's tolerance fails the batch.
class SimBatchManager : public XrfBatchManager
{
    Q_OBJECT
public:
    explicit SimBatchManager(QObject *parent = nullptr);

    bool startBatch(const QJsonObject &multiTestSettings, QString *errorMsg) override;
    bool isRunning() const { return m_shots.isRunning(); }

private:
    void onShotsFinished(bool success, const QString &error);

    SimCheckShots m_shots;
    SimFinalQcCheck m_check;
    QString m_profilePath;
};

// The test manager of the simulated instrument: the base's exposure bookkeeping and the batch
// manager above.
class SimTestManager : public XrfTestManager
{
    Q_OBJECT
public:
    explicit SimTestManager(QObject *parent = nullptr) : XrfTestManager(parent) { }
    XrfBatchManager *batchManager() override { return &m_batch; }

private:
    SimBatchManager m_batch;
};
