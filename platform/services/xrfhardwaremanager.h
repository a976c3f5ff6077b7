#pragma once

#include "xrferrorinfo.h"
#include "xrfexposuresettings.h"
#include "xrfhardwareconfig.h"
#include "xrfservice.h"
#include "xrfspectrum.h"
#include "xrfversion.h"

#include <QObject>
#include <QSharedPointer>

// The safety interlock's watchdog.
class XrfWatchDog
{
public:
    virtual ~XrfWatchDog() = default;
    // Clears a tripped interlock watchdog so that the tube may be enabled again.
    virtual void resetWatchdogInterlockState() = 0;
};

// The battery as the power manager reports it.
struct XrfPwrBatteryInfo
{
    quint16 voltage = 0; // mV
    qint16 current = 0; // mA, negative while discharging
    quint16 stateOfCharge = 0; // percent
    quint16 remainingCapacity = 0; // mAh
};

// Runs exposures and publishes their events. Exposures run on the manager's own thread; its
// signals reach receivers on other threads as queued calls.
class XrfHardwareManager : public QObject
{
    Q_OBJECT
    XRF_DECLARE_SERVICE(XrfHardwareManager)
public:
    // How an exposure ended: 0 is the normal end at the set time, everything else is abnormal.
    enum XrfExposureEndCondition : int {
        EndNormal = 0,
        EndStoppedByUser = 1,
        EndHardwareError = 2,
        EndInterlockOpened = 3,
        EndTubeFault = 4,
        EndOverTemperature = 5,
        EndCountRateTooHigh = 6,
        EndCommunicationLost = 7,
    };
    Q_ENUM(XrfExposureEndCondition)

    explicit XrfHardwareManager(QObject *parent = nullptr) : QObject(parent) { }

    static QString exposureEndConditionToString(XrfExposureEndCondition endCondition);

    // The configuration detected at start-up; null while none is known. A snapshot: later
    // detections do not change an object already handed out.
    virtual QSharedPointer<const XrfHardwareConfig> hardwareConfig() const = 0;
    // Starts an exposure asynchronously; the six trailing arguments are reserved and passed as 0.
    virtual int startExposure(const XrfExposureSettings &settings, int reserved1, int reserved2,
                              int reserved3, int reserved4, int reserved5, int reserved6) = 0;
    virtual int stopExposure(bool abort) = 0;
    virtual XrfVersion firmwareVersion(int component) const = 0;
    // Requests a dark-rate reading; it arrives through darkRateUpdated.
    virtual void getDarkRate(unsigned int samples) = 0;
    // The controller's firmware log text; false when it cannot be read.
    virtual bool getFirmwareLog(QString *log) = 0;
    // Switches the fan on or off; `force` overrides the thermal controller.
    virtual void setFanEnabled(bool enabled, bool force) = 0;
    // The battery's state; false (the record left unchanged) when it cannot be read.
    virtual bool batteryStatus(XrfPwrBatteryInfo *info) = 0;
    // The application processor's temperature in degrees C.
    virtual double socTemperature() = 0;
    // Sounds the alert the technician hears during long factory runs.
    virtual void factoryPlayAlertSound() = 0;
    virtual XrfWatchDog *watchDogInstance() = 0;

public slots:
    // Re-reads the hardware and emits hardwareConfigUpdated.
    virtual void onUpdateHardwareConfig() = 0;

signals:
    void exposureStarted();
    void exposureStopped(XrfHardwareManager::XrfExposureEndCondition endCondition,
                         bool tubeStillOn);
    void spectrum(const XrfSpectrum &spectrum);
    void hardwareError(const XrfErrorInfo &error);
    void darkRateUpdated(const unsigned int &darkRate);
    void hardwareConfigUpdated(const XrfHardwareConfig &config);
};

Q_DECLARE_METATYPE(XrfHardwareManager::XrfExposureEndCondition)
