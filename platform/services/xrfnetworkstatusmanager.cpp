#include "xrfnetworkstatusmanager.h"

XRF_DEFINE_DEFAULTED_SERVICE(XrfNetworkStatusManager)

void XrfNetworkStatusManager::setWifiConnected(bool connected)
{
    if (m_wifi.exchange(connected) != connected)
        emit wifiConnectionStatusChanged(connected);
}

void XrfNetworkStatusManager::setWiredConnected(bool connected)
{
    if (m_wired.exchange(connected) != connected)
        emit wiredConnectionStatusChanged(connected);
}
