#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

// The factory state of an instrument root as the files hold it: lastResult.json and the
// "factory.settings" section of the universal settings.
struct FactoryState
{
    QString root;
    int factoryStepsCompleted = 0;
    QString currentStep; // the next step to run, "complete" when all are done
    QJsonObject steps; // step name -> status text, for each step present in lastResult.json
    QStringList otherKeys; // the other keys of lastResult.json
    // The work order's methods as the prerequisite shots listed them (ModelMethod JSON).
    QJsonArray methods;
    QStringList problems; // files that could not be read, with the reason

    // Reads the state of the instrument root that XrfUtils points at.
    static FactoryState read();

    QJsonObject toJson() const;
    QString toText() const;
    // One line per method: id, part number, and what kind of method it is.
    QStringList methodLines() const;
};
