#pragma once

#include <QString>

#include <functional>

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
    // The technician's hands at the window: places the named sample (false when there is no
    // such sample). Set by whoever owns the instrument; empty: nothing can be placed.
    std::function<bool(const QString &)> placeSample;
};
