// Scenarios of collimator ratios, camera collimation, register overrides and operator tests.
#include "simscenarios_p.h"

QVector<SimScenario> setupCheckScenarios()
{
    return {};
}
