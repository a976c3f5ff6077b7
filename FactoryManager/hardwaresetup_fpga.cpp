// FPGA gain setup, auto-cal and the PIN detector's correction registers.
#include "xrffactorymanager_p.h"

void XrfFactoryManager::XrfFactoryManagerPrivate::doFpgaSetup()
{
    beginHardwareSetupStep(QStringLiteral("fpgaGainSetup"));
    onHardwareSetupStepComplete(false, QStringLiteral("FPGA gain setup is not available yet"));
}
