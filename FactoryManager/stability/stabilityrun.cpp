// Stability test run: exposure scheduling and the inactivity watchdog.

#include "xrffactorymanager_p.h"

void XrfFactoryManager::XrfFactoryManagerPrivate::onInactivityTimerTimeout()
{
    qDebug() << "Entering onInactivityTimerTimeout()";
}

void XrfFactoryManager::XrfFactoryManagerPrivate::onStartStabilityExposure()
{
    qDebug() << "Entering onStartStabilityExposure()";
}
