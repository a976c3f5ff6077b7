// Register overrides and controller commands from the factory setup data.
#include "xrffactorymanager_p.h"

void XrfFactoryManager::XrfFactoryManagerPrivate::doOverrides()
{
    beginHardwareSetupStep(QStringLiteral("doOverrides"));
    onHardwareSetupStepComplete(false, QStringLiteral("Register overrides are not available yet"));
}
