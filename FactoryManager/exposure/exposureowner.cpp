// Ownership of the hardware manager's exposure signals.
#include "xrffactorymanager_p.h"

#include "xrftestmanager.h"

namespace {

void disconnectExposureSignals(XrfHardwareManager *manager)
{
    QObject::disconnect(manager, &XrfHardwareManager::exposureStarted, nullptr, nullptr);
    QObject::disconnect(manager, &XrfHardwareManager::spectrum, nullptr, nullptr);
    QObject::disconnect(manager, &XrfHardwareManager::exposureStopped, nullptr, nullptr);
    QObject::disconnect(manager, &XrfHardwareManager::hardwareError, nullptr, nullptr);
}

} // namespace

// The handlers run on the factory thread: the worker is their context object, so the manager's
// signals from its exposure thread arrive as queued calls.
void XrfFactoryManager::XrfFactoryManagerPrivate::takeExposureSignals(
    const ExposureHandlers &handlers)
{
    XrfHardwareManager *manager = XrfHardwareManager::instance();
    disconnectExposureSignals(manager);
    if (handlers.started)
        connect(manager, &XrfHardwareManager::exposureStarted, this, handlers.started);
    if (handlers.spectrum)
        connect(manager, &XrfHardwareManager::spectrum, this, handlers.spectrum);
    if (handlers.stopped)
        connect(manager, &XrfHardwareManager::exposureStopped, this, handlers.stopped);
    if (handlers.error)
        connect(manager, &XrfHardwareManager::hardwareError, this, handlers.error);
}

void XrfFactoryManager::XrfFactoryManagerPrivate::releaseExposureSignals()
{
    XrfHardwareManager *manager = XrfHardwareManager::instance();
    XrfTestManager *testManager = XrfTestManager::instance();
    disconnectExposureSignals(manager);
    connect(manager, &XrfHardwareManager::exposureStarted, testManager,
            &XrfTestManager::onExposureStarted);
    connect(manager, &XrfHardwareManager::spectrum, testManager, &XrfTestManager::onSpectrum);
    connect(manager, &XrfHardwareManager::exposureStopped, testManager,
            &XrfTestManager::onExposureStopped);
    connect(manager, &XrfHardwareManager::hardwareError, testManager,
            &XrfTestManager::onHardwareError);
}
