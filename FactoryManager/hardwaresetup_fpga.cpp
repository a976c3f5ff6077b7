// FPGA gain setup, auto-cal and the PIN detector's correction registers.
#include "xrffactorymanager_p.h"

void XrfFactoryManager::XrfFactoryManagerPrivate::doFpgaSetup()
{
    beginHardwareSetupStep(QStringLiteral("fpgaGainSetup"));
    onHardwareSetupStepComplete(false, QStringLiteral("FPGA gain setup is not available yet"));
}

bool XrfFactoryManager::XrfFactoryManagerPrivate::saveDefaultFpgaParams(QString *error)
{
    if (error)
        *error = QStringLiteral("Default FPGA parameters are not available yet");
    return false;
}

void XrfFactoryManager::XrfFactoryManagerPrivate::setupPinDetectorTemperatureCorrection(
    const QJsonObject &)
{
}
