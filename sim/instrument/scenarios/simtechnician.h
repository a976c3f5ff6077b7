#pragma once

#include <QMap>
#include <QString>

// How the simulated technician on the factory line departs from a careful one who answers every
// prompt as asked. The line's options and the scenarios set it; the line's step drivers follow it.
struct SimTechnician
{
    // The hardware setup sub-step during which the technician presses abort; empty: never.
    QString abortDuring;
    // The operator tests (sub-step ids "instrumentButtonsTest", "customerIOTest") that the
    // technician fails, each with what the technician reports; the others pass.
    QMap<QString, QString> failedOperatorTests;
};
