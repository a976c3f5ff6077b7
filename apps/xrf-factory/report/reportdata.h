#pragma once

#include "factorystate.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

// What the report knows of an instrument root, read from its files alone: lastResult.json, the
// line's run log and the factory state. Whatever cannot be read is named in `problems`; the
// sections that need it are left out.
struct ReportData
{
    QString root;
    QJsonObject lastResult;
    QJsonObject runLog;
    FactoryState state;
    QStringList problems;

    // Points XrfUtils at `root` and reads it.
    static ReportData load(const QString &root);

    // The "results" of a hardware setup sub-step ("filterScan", "fpgaGainSetup", ...).
    QJsonObject hardwareSubStep(const QString &stepId) const;
    // The run log's entry of a step; empty when the line did not log it.
    QJsonObject lineStep(const QString &step) const;
};

// The "results" of a hardware setup sub-step in a lastResult.json object.
QJsonObject hardwareSubStepResults(const QJsonObject &lastResult, const QString &stepId);

// An installed method as the cloud's factor set and QC summary left it: the "calibration" of its
// method file and its "qcSummary.json"; each empty when absent or unreadable.
struct InstalledCalibration
{
    QString methodId;
    QJsonObject calibration;
    QJsonObject qcSummary;
};

// The installed methods of the instrument root `root`, in id order; folders whose name breaks the
// method-id rule are not read.
QList<InstalledCalibration> installedCalibrations(const QString &root);

// Plain numbers from a JSON array.
QVector<double> numbers(const QJsonArray &array);
