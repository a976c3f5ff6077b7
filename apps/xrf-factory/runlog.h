#pragma once

#include "stepsequence.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QString>

// The line's own record of its runs on an instrument root, in ROOT/line/runLog.json: each step's
// start and end times, duration, result and messages, and the shots of the stability steps,
// whose per-shot files the library sends to the cloud and deletes. A step that is "RUNNING" in
// the log was cut short: the line was killed during it. The report and the status read it.
//
// {"model": "default", "serial": "800123", "steps": [{"step": "provisioning", "result":
//  "PASSED", "detail": "...", "subSteps": [...], "startTime": "...", "endTime": "...",
//  "seconds": 0.1, "shots": [...]}]}
class RunLog : public QObject, public StepObserver
{
    Q_OBJECT
public:
    static const QString kRunning;

    // Continues the log of `root` (a log that cannot be read is kept aside first).
    RunLog(const QString &root, const QString &model, const QString &serial,
           QObject *parent = nullptr);

    static QString path(const QString &root);
    // The log of `root`; false with a message naming the file when it exists but cannot be read.
    // A root without a log gives an empty object and true.
    static bool read(const QString &root, QJsonObject *log, QString *errorMsg);

    void stepStarted(const QString &step) override;
    void stepFinished(const StepOutcome &outcome) override;

private:
    void onStabilityShot(const QJsonObject &record);
    void store(const QJsonObject &entry);
    void save();

    QString m_root;
    QJsonObject m_log;
    QJsonObject m_current;
    // The last record of each shot of the running step, by shot number.
    QMap<int, QJsonObject> m_shots;
    bool m_writable = true;
};
