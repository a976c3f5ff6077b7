#pragma once

#include "stepsequence.h"
#include "technician.h"

#include <QEventLoop>
#include <QJsonObject>
#include <QObject>
#include <QStringList>

// Runs factory step 5 or 6 as the application does: after entering the step it lets an earlier
// run's data finish its assembly and upload, has the technician place the Br/Cu target for the
// collimated kind, starts the run and follows the run's record until its final status (through a
// freeze-filter re-run, if any). The summary names the shots, the verdict and the run's spread.
class StabilityDriver : public QObject
{
    Q_OBJECT
public:
    StabilityDriver(const QString &step, const TechnicianPlan &plan, QObject *parent = nullptr);

    StepOutcome run();

    // The instrument has no collimator and the cloud's stored factory status counts step 6 as done.
    static bool collimatedStabilityNotRequired(QString *reason);

private:
    // The run's record as the library last stored it under the step's key.
    QJsonObject storedRecord() const;
    static bool isFinal(const QJsonObject &record);
    void retryUpload();
    // Waits for a final record or a failed upload; false when nothing came in time.
    bool waitForFinalRecord();
    void onRecord(const QJsonObject &record);
    void onShot(const QJsonObject &record);
    void onUploadComplete(bool succeeded, const QString &error);
    void settle();
    StepOutcome outcome(const QStringList &lines) const;
    QString spreadText() const;
    QString retriesText() const;

    QString m_step;
    TechnicianPlan m_plan;
    QEventLoop m_loop;
    QJsonObject m_record;
    QString m_uploadError;
    bool m_finished = false;
    bool m_started = false; // this driver started the run: only its signals count
    int m_shots = 0;
    int m_retriedShots = 0;
    QStringList m_retryCauses;
};
