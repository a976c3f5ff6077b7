#pragma once

#include <QStringList>

class SimInstrument;

// Named bundles of faults, shared by the factory line CLI (--scenario NAME) and the tests.
class SimScenarios
{
public:
    static QStringList names();
    // One line that says what goes wrong; empty for an unknown name.
    static QString describe(const QString &name);
    // Applies the scenario's faults to the instrument; false for an unknown name.
    static bool apply(const QString &name, SimInstrument &instrument);
};
