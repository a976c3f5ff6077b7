#pragma once

#include "stepsequence.h"

#include <QMap>
#include <functional>

// How the line runs one factory step after entering it: start the step through the facade, play
// the technician's part, wait for the completion signal and read the outcome from it.
using StepDriver = std::function<StepOutcome(const TechnicianPlan &)>;

// The steps this line can run, by step name.
const QMap<QString, StepDriver> &stepDrivers();

// True, with the reason, for a step this instrument does not need and the cloud counts as done
// (the collimated stability of an instrument ordered without a collimator); the line skips it.
bool stepNotRequired(const QString &step, QString *reason);
