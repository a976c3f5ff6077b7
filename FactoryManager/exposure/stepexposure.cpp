#include "stepexposure.h"

#include "xrfhardwaremanager.h"

#include <QDebug>

void StepExposure::reset()
{
    state = Idle;
    lastSpectrum = XrfSpectrum();
    lastError = XrfErrorInfo();
}

void StepExposure::onStarted()
{
    if (state == Faulted) {
        XrfHardwareManager::instance()->stopExposure(true);
        return;
    }
    state = Started;
}

void StepExposure::onError(const XrfErrorInfo &error)
{
    lastError = error;
    const bool running = state == Started;
    state = Faulted;
    if (running)
        XrfHardwareManager::instance()->stopExposure(true);
}

bool StepExposure::onStopped()
{
    if (state == Stopped) {
        qDebug() << "Exposure is already in stopped state, absorbing stop signal from hardware "
                    "manager";
        return false;
    }
    state = Stopped;
    return true;
}
