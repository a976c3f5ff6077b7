// Calibration shots, factory step 10: the facade's operations, run on the factory thread.

#include "xrffactorymanager_p.h"

void XrfFactoryManager::getCalibrationStepList()
{
    d->getCalibrationStepList();
}

void XrfFactoryManager::getCalibrationStandardsList(QString argument)
{
    d->getCalibrationStandardsList(argument);
}

void XrfFactoryManager::shootCalibrationSample(QString standardName)
{
    d->shootCalibrationSample(standardName);
}

void XrfFactoryManager::invalidateCalibrationShots(QString standards)
{
    d->invalidateCalibrationShots(standards);
}

void XrfFactoryManager::onUpdateCalibrationShotStatus(const QJsonObject &calibrationStep)
{
    d->onUpdateCalibrationShotStatus(calibrationStep);
}

void XrfFactoryManager::downloadCalibrationWrongShotCriteria()
{
    d->downloadCalibrationWrongShotCriteria();
}

void XrfFactoryManager::completeAddPureCalibrationWorkflow()
{
    d->completeAddPureCalibrationWorkflow();
}
