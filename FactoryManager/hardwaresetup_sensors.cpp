// System temperature, barometer, accelerometer and proximity sensor checks.
#include "xrffactorymanager_p.h"

void XrfFactoryManager::XrfFactoryManagerPrivate::doSystemTemperatureChecks()
{
    beginHardwareSetupStep(QStringLiteral("temperatureChecks"));
    onHardwareSetupStepComplete(false, QStringLiteral("temperatureChecks is not available yet"));
}

void XrfFactoryManager::XrfFactoryManagerPrivate::doSystemTemperatureChecksLT()
{
    beginHardwareSetupStep(QStringLiteral("temperatureChecksLT"));
    onHardwareSetupStepComplete(false, QStringLiteral("temperatureChecksLT is not available yet"));
}

void XrfFactoryManager::XrfFactoryManagerPrivate::doSystemTemperatureChecksMP()
{
    beginHardwareSetupStep(QStringLiteral("temperatureChecksMP"));
    onHardwareSetupStepComplete(false, QStringLiteral("temperatureChecksMP is not available yet"));
}

void XrfFactoryManager::XrfFactoryManagerPrivate::doBarometerCheck()
{
    beginHardwareSetupStep(QStringLiteral("barometerSetup"));
    onHardwareSetupStepComplete(false, QStringLiteral("barometerSetup is not available yet"));
}

void XrfFactoryManager::XrfFactoryManagerPrivate::doAccelerometerCalibration()
{
    beginHardwareSetupStep(QStringLiteral("accelerometerSetup"));
    onHardwareSetupStepComplete(false, QStringLiteral("accelerometerSetup is not available yet"));
}

void XrfFactoryManager::XrfFactoryManagerPrivate::doProximitySensorSetup()
{
    beginHardwareSetupStep(QStringLiteral("proximitySensorSetup"));
    onHardwareSetupStepComplete(false, QStringLiteral("proximitySensorSetup is not available yet"));
}
