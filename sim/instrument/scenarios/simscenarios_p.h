#pragma once

#include <QString>
#include <QVector>

#include <functional>

class SimCloudServer;
class SimInstrument;
struct SimTechnician;

// One named bundle of faults: of the instrument, of the cloud, of the technician's hands. A part
// that the scenario leaves empty changes nothing.
struct SimScenario
{
    QString name;
    QString description;
    std::function<void(SimInstrument &)> apply;
    std::function<void(SimCloudServer &)> applyToCloud = {};
    std::function<void(SimTechnician &)> applyToTechnician = {};
};

// The scenarios of each area, in the order `xrf-factory scenarios` lists them.
QVector<SimScenario> instrumentScenarios(); // simscenarios.cpp
QVector<SimScenario> hardwareSetupScenarios(); // simscenarios_hardwaresetup.cpp
QVector<SimScenario> fpgaScenarios(); // simscenarios_fpga.cpp
QVector<SimScenario> filterWheelScenarios(); // simscenarios_filterwheel.cpp
QVector<SimScenario> detectorScenarios(); // simscenarios_detector.cpp
QVector<SimScenario> setupCheckScenarios(); // simscenarios_setupchecks.cpp
QVector<SimScenario> surveyScenarios(); // simscenarios_survey.cpp
QVector<SimScenario> stabilityScenarios(); // simscenarios_stability.cpp
QVector<SimScenario> shotScenarios(); // simscenarios_shots.cpp
QVector<SimScenario> methodScenarios(); // simscenarios_methods.cpp
QVector<SimScenario> calibrationScenarios(); // simscenarios_calibration.cpp
QVector<SimScenario> factorSetScenarios(); // simscenarios_factorset.cpp
QVector<SimScenario> factorSetFitScenarios(); // simscenarios_factorset_fit.cpp
QVector<SimScenario> finalQcScenarios(); // simscenarios_finalqc.cpp
