#pragma once

#include "xrfengine.h"

#include <QMutex>

// The simulated register engine over the simulated controller's registers, NV and EEPROM.
class SimEngine : public xrf_hal::XrfEngine
{
public:
    explicit SimEngine(unsigned int serialNumber);

    int getInstrumentSerialNumber(unsigned int *serialNumber) override;
    int saveToNv() override;
    int setShutterStatus(xrf_hal::ShutterStatus status) override;

private:
    QMutex m_mutex;
    unsigned int m_serialNumber;
    xrf_hal::ShutterStatus m_shutter = xrf_hal::ShutterClosed;
};
