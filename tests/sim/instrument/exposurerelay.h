#pragma once

#include "simhardwaremanager.h"

#include <QObject>

// Brings the hardware manager's signals onto the test's thread before a QSignalSpy sees them:
// Qt 5's QSignalSpy appends from the emitting thread (a direct connection) without a lock, so it
// must not watch the simulator thread's signals directly. Each relay slot first takes the
// manager's delivery mutex, the happens-before edge ThreadSanitizer can see (Qt's own event
// queue is invisible to it).
class ExposureRelay : public QObject
{
    Q_OBJECT
public:
    explicit ExposureRelay(SimHardwareManager *manager) : m_manager(manager)
    {
        using HM = XrfHardwareManager;
        connect(
            manager, &HM::exposureStarted, this,
            [this] {
                acquire();
                emit exposureStarted();
            },
            Qt::QueuedConnection);
        connect(
            manager, &HM::exposureStopped, this,
            [this](HM::XrfExposureEndCondition condition, bool tubeStillOn) {
                acquire();
                emit exposureStopped(condition, tubeStillOn);
            },
            Qt::QueuedConnection);
        connect(
            manager, &HM::spectrum, this,
            [this](const XrfSpectrum &spectrum) {
                acquire();
                emit this->spectrum(spectrum);
            },
            Qt::QueuedConnection);
        connect(
            manager, &HM::hardwareError, this,
            [this](const XrfErrorInfo &error) {
                acquire();
                emit hardwareError(error);
            },
            Qt::QueuedConnection);
        connect(
            manager, &HM::darkRateUpdated, this,
            [this](const unsigned int &rate) {
                acquire();
                emit darkRateUpdated(rate);
            },
            Qt::QueuedConnection);
        connect(
            manager, &HM::hardwareConfigUpdated, this,
            [this](const XrfHardwareConfig &config) {
                acquire();
                emit hardwareConfigUpdated(config);
            },
            Qt::QueuedConnection);
    }

signals:
    void exposureStarted();
    void exposureStopped(XrfHardwareManager::XrfExposureEndCondition endCondition,
                         bool tubeStillOn);
    void spectrum(const XrfSpectrum &spectrum);
    void hardwareError(const XrfErrorInfo &error);
    void darkRateUpdated(unsigned int darkRate);
    void hardwareConfigUpdated(const XrfHardwareConfig &config);

private:
    void acquire() { std::lock_guard<std::mutex> lock(m_manager->deliveryMutex()); }

    SimHardwareManager *m_manager;
};
