// Detector cooling, reset width DAC calibration and PIN detector calibration.
#include "xrffactorymanager_p.h"

void XrfFactoryManager::XrfFactoryManagerPrivate::doDetectorSetup()
{
    beginHardwareSetupStep(QStringLiteral("detectorSetup"));
    onHardwareSetupStepComplete(false, QStringLiteral("detectorSetup is not available yet"));
}

void XrfFactoryManager::XrfFactoryManagerPrivate::doDetectorDacCalibration()
{
    beginHardwareSetupStep(QStringLiteral("detectorMicroReset"));
    onHardwareSetupStepComplete(false, QStringLiteral("detectorMicroReset is not available yet"));
}

void XrfFactoryManager::XrfFactoryManagerPrivate::doPinDetectorCalibration()
{
    beginHardwareSetupStep(QStringLiteral("pinDetectorCalibration"));
    onHardwareSetupStepComplete(false,
                                QStringLiteral("pinDetectorCalibration is not available yet"));
}
