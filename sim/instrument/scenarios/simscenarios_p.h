#pragma once

#include <QString>
#include <QVector>

#include <functional>

class SimInstrument;

// One named bundle of faults.
struct SimScenario
{
    QString name;
    QString description;
    std::function<void(SimInstrument &)> apply;
};

// The scenarios of each area, in the order `xrf-factory scenarios` lists them.
QVector<SimScenario> instrumentScenarios(); // simscenarios.cpp
QVector<SimScenario> hardwareSetupScenarios(); // simscenarios_hardwaresetup.cpp
QVector<SimScenario> fpgaScenarios(); // simscenarios_fpga.cpp
QVector<SimScenario> filterWheelScenarios(); // simscenarios_filterwheel.cpp
QVector<SimScenario> detectorScenarios(); // simscenarios_detector.cpp
QVector<SimScenario> setupCheckScenarios(); // simscenarios_setupchecks.cpp
