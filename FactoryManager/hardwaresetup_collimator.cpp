// Collimator ratio setup: count rates through the uncollimated and collimated filter of each pair.
#include "xrffactorymanager_p.h"

void XrfFactoryManager::XrfFactoryManagerPrivate::doCollimatorRatioSetup()
{
    beginHardwareSetupStep(QStringLiteral("collimatorRatioSetup"));
    onHardwareSetupStepComplete(false,
                                QStringLiteral("Collimator ratio setup is not available yet"));
}
