#pragma once

#include "stepsequence.h"
#include "technician.h"

#include <QJsonObject>
#include <QStringList>

// Runs the final QC as the application and the technician do: download the batch templates, then
// for each installed method with a template have the library fill the batch settings, place the
// template's check sample, run the batch through the test manager's batch manager and let the
// library record its end; last, upload the record and the batches' progress data.
class FinalQcDriver
{
public:
    explicit FinalQcDriver(const TechnicianPlan &plan);

    StepOutcome run();

private:
    bool downloadTemplates(QString *failure);
    bool calibrateFromCheckSamples(QString *failure);
    // Runs one method's batch; false with the reason when it did not pass.
    bool runBatch(const QString &methodId, QString *failure);
    QJsonObject readTemplate(const QJsonObject &settings) const;
    QString progressSummary(const QJsonObject &batchTemplate) const;
    bool upload(QString *failure);

    TechnicianPlan m_plan;
    QString m_profilePath;
    QStringList m_lines;
};
