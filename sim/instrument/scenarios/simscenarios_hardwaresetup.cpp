// Scenarios of the hardware setup run as a whole.
#include "simscenarios_p.h"

QVector<SimScenario> hardwareSetupScenarios()
{
    return {};
}
