#pragma once

#include <QStringList>

class SimCloudServer;
class SimInstrument;
struct SimTechnician;

// What a scenario acts on; a null target is left alone.
struct SimScenarioTargets
{
    SimInstrument *instrument = nullptr;
    SimCloudServer *cloud = nullptr;
    SimTechnician *technician = nullptr;
};

// Named bundles of faults, shared by the factory line CLI (--scenario NAME) and the tests.
class SimScenarios
{
public:
    static QStringList names();
    static bool contains(const QString &name);
    // One line that says what goes wrong; empty for an unknown name.
    static QString describe(const QString &name);
    // Applies the scenario's faults to the targets given; false for an unknown name.
    static bool apply(const QString &name, const SimScenarioTargets &targets);
    // Applies the scenario's instrument faults; false for an unknown name.
    static bool apply(const QString &name, SimInstrument &instrument);
};
