// Scenarios of the filter wheel scan and move exercise.
#include "simscenarios_p.h"

QVector<SimScenario> filterWheelScenarios()
{
    return {};
}
