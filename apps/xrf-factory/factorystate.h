#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

// The factory state of an instrument root as the files hold it: lastResult.json, the
// "factory.settings" section of the universal settings and the line's run log. A root left by a
// killed run reads as well: what cannot be read is named in `problems`.
struct FactoryState
{
    QString root;
    int factoryStepsCompleted = 0;
    QString currentStep; // the next step to run, "complete" when all are done
    // How currentStep was found: "settings" (the completed-steps count), or "results" (the
    // stored step records, when the settings cannot be read).
    QString currentStepSource;
    QString interruptedStep; // the step a killed run was in, from the run log
    QJsonArray lineSteps; // the run log's steps: step, result, seconds, detail
    QJsonObject steps; // step name -> status text, for each step present in lastResult.json
    QStringList otherKeys; // the other keys of lastResult.json
    // The work order's methods as the prerequisite shots listed them (ModelMethod JSON).
    QJsonArray methods;
    QStringList problems; // files that could not be read, with the reason

    // Reads the state of the instrument root that XrfUtils points at.
    static FactoryState read();

    // The runnable steps from the one to run next (or the interrupted one, when earlier) to the
    // end: what resumes this root.
    QStringList remainingSteps() const;

    QJsonObject toJson() const;
    // The status of a lastResult.json record as text: "Passed", "Failed", ...
    static QString recordStatus(const QJsonValue &record);
    QString toText() const;
    // One line per method: id, part number, and what kind of method it is.
    QStringList methodLines() const;
};
