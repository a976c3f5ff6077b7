#pragma once

#include "reportsections.h"

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QVector>

// What a batch of units shows, read from the units' roots: the yield of each step, the failure
// messages by frequency and the spread of the key measurements.
class BatchAnalysis
{
public:
    struct Unit
    {
        unsigned int serial = 0;
        QString root;
        bool done = false;
        QJsonObject runLog;
        QJsonObject lastResult;
    };

    void addUnit(const Unit &unit);

    // step -> {reached, passed, failed}, in the order of the line.
    struct StepYield
    {
        QString step;
        int reached = 0;
        int passed = 0;
        int failed = 0;
    };
    QList<StepYield> yieldPerStep() const;
    int unitsDone() const;
    int unitsPassed() const;
    // Failure messages, numbers folded, most frequent first.
    QList<QPair<QString, int>> pareto() const;
    // Measurement name -> one value per unit that has it.
    QMap<QString, QVector<double>> measurements() const;

    QString text() const;
    QList<ReportSection> sections() const;

private:
    QList<Unit> m_units;
};
