// Scenarios of FPGA gain setup.
#include "simscenarios_p.h"

QVector<SimScenario> fpgaScenarios()
{
    return {};
}
