#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>

class SimInstrument;

// How the simulated technician on the factory line departs from a careful one who answers every
// prompt as asked. The line's options and the scenarios set it; the line's step drivers follow it.
struct SimTechnician
{
    // The hardware setup sub-step during which the technician presses abort; empty: never.
    QString abortDuring;
    // The radiation survey: the meter the technician holds (SimSurveyMeter's type and unit: the
    // blue meter in mR/hr unless told otherwise), and a technician who surveys the instrument
    // before its provisioning check.
    int surveyMeterType = 1;
    int surveyMeterUnit = 0;
    bool surveysBeforeProvisioning = false;

    // The instrument on the technician's bench, whose window the technician loads; the line sets
    // it.
    SimInstrument *instrument = nullptr;
    // Samples the technician takes for others: asked for the key (upper case), places the value.
    QMap<QString, QString> sampleMixUps;
    // The technician lifts the test stand's lid while the first beam of the beams setup shoots.
    bool liftsLidDuringBeamsSetup = false;
    // After the air shots the technician restores a lastResult.json copied before the beams
    // setup, so that the beams setup and air shot records are lost.
    bool restoresOldLastResult = false;
    // The operator tests (sub-step ids "instrumentButtonsTest", "customerIOTest") that the
    // technician fails, each with what the technician reports; the others pass.
    QMap<QString, QString> failedOperatorTests;
    // The technician lifts the test stand's lid during the first prerequisite shot.
    bool liftsLidDuringPrerequisiteShot = false;
    // The data the line installs differ from the model's defaults: part numbers the released
    // work order sells besides its own, and method ids written into the method part map (part
    // number -> id), as a hand-edited or corrupted file would have them.
    QStringList extraWorkOrderPartNumbers;
    QMap<QString, QString> methodIdEdits;
    // The calibration shots: a fault of the instrument that shows once the technician starts
    // them (armed then, so that the earlier steps run clean), and a technician who leaves the
    // test stand lid open until the run asks for it to be closed.
    std::function<void(SimInstrument &)> calibrationFault;
    bool leavesLidOpenForCalibration = false;
    // The factor set: the technician presses abort while the cloud runs are being polled.
    bool abortsFactorSetWhilePolling = false;
    // Final QC: a line without the factor set calibrates each method workspace from one shot of
    // its final QC check sample first (SimCheckCalibration, a stand-in for the cloud's factor
    // set); and the check samples the technician places for the ones a template names.
    bool calibratesFromCheckSamples = false;
    QMap<QString, QString> finalQcCheckSampleSwaps;
};
