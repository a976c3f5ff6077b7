#pragma once

#include <QDBusConnection>
#include <QString>

// The instrument's system bus. XRF_SYSTEM_BUS_ADDRESS, when set, names another bus to use in its
// place (a private dbus-daemon on a development machine or in the tests).
class XrfSystemBus
{
public:
    static constexpr const char *kAddressVariable = "XRF_SYSTEM_BUS_ADDRESS";

    // The connection to use; check isConnected() before calling on it.
    static QDBusConnection connection();
};
