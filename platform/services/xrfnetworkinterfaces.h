#pragma once

#include "xrfservice.h"

#include <QString>

// The instrument's network interfaces as the operating system reports them.
class XrfNetworkInterfaces
{
    XRF_DECLARE_SERVICE(XrfNetworkInterfaces)
public:
    virtual ~XrfNetworkInterfaces() = default;

    // The hardware (MAC) address of the interface with exactly this name, "AA:BB:CC:DD:EE:FF";
    // empty when there is no such interface.
    virtual QString hardwareAddress(const QString &interfaceName) const;
};
