// Scenarios of detector cooling, reset width and PIN calibration, and the sensor checks.
#include "simscenarios_p.h"

QVector<SimScenario> detectorScenarios()
{
    return {};
}
