// Filter wheel scan and move exercise sub-steps, and the filter wheel test.
#include "xrffactorymanager_p.h"

void XrfFactoryManager::XrfFactoryManagerPrivate::doFilterWheelSetup()
{
    beginHardwareSetupStep(QStringLiteral("filterScan"));
    onHardwareSetupStepComplete(false, QStringLiteral("Filter scan is not available yet"));
}

void XrfFactoryManager::XrfFactoryManagerPrivate::doFilterMoveExercise(bool recordResults)
{
    if (!recordResults)
        return;
    beginHardwareSetupStep(QStringLiteral("filterMoveExercise"));
    onHardwareSetupStepComplete(false, QStringLiteral("Filter move exercise is not available yet"));
}

bool XrfFactoryManager::XrfFactoryManagerPrivate::populateFilterWheelTestSteps()
{
    return false;
}

void XrfFactoryManager::XrfFactoryManagerPrivate::startFilterWheelTest() { }

void XrfFactoryManager::XrfFactoryManagerPrivate::stopFilterWheelTest() { }

bool XrfFactoryManager::getFilterWheelTestStepsList()
{
    return d->populateFilterWheelTestSteps();
}

void XrfFactoryManager::startFilterWheelTest()
{
    d->startFilterWheelTest();
}

void XrfFactoryManager::stopFilterWheelTest()
{
    d->stopFilterWheelTest();
}
