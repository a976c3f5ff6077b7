#pragma once

#include "xrfservice.h"

#include <QtGlobal>

namespace xrf_hal {

enum ShutterStatus : int {
    ShutterClosed = 0,
    ShutterOpen = 1,
};

// Register-level access to the instrument's controller, its non-volatile memory ("NV") and the
// detector EEPROM. Every operation returns 0 on success and otherwise a hardware error code.
class XrfEngine
{
    XRF_DECLARE_SERVICE(XrfEngine)
public:
    virtual ~XrfEngine() = default;

    // Identity and memory.
    virtual int getInstrumentSerialNumber(unsigned int *serialNumber) = 0;
    virtual int saveToNv() = 0;

    // Detector.
    virtual int setShutterStatus(ShutterStatus status) = 0;
};

} // namespace xrf_hal
