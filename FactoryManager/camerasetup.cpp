// Camera collimation, factory step 4.
#include "xrffactorymanager_p.h"

void XrfFactoryManager::XrfFactoryManagerPrivate::startCameraCollimationSetup() { }

void XrfFactoryManager::XrfFactoryManagerPrivate::doCameraCollimationSetup() { }

void XrfFactoryManager::XrfFactoryManagerPrivate::initCameraSetup() { }

void XrfFactoryManager::startCameraCollimationSetup()
{
    d->startCameraCollimationSetup();
}
