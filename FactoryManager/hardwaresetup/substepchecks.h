#pragma once

#include "xrfhardwaresetupstepinfo.h"

#include <QString>

// What the sequencer checks before it runs a hardware setup sub-step or counts it as passed.
namespace SubStepChecks {

// Why the setup data of a sub-step does not let it run, naming the file and the key; empty when
// it may. A setup number given as text ("900") would read as 0. A sub-step without a procedure
// runs only when its "setupParams" mark it as one the operator confirms ("operatorConfirms":
// true): it then waits for markHardwareSetupStepComplete; any other would wait for a
// confirmation nobody is asked for.
QString refusal(const XrfHardwareSetupStepInfo &step, bool hasProcedure,
                const QString &setupDataPath);

// Why a passed sub-step must run again: the universal settings it stored (and later steps read)
// are gone, with the settings file deleted or kept aside as unreadable. Empty when they are there
// or the sub-step has not passed.
QString lostSetting(const XrfHardwareSetupStepInfo &step);

} // namespace SubStepChecks
