#include "simnetworklink.h"

#include "xrfnetworkmanager.h"
#include "xrfnetworkstatusmanager.h"

SimNetworkLink::SimNetworkLink(XrfNetworkManager *network, QObject *parent) : QObject(parent)
{
    XrfNetworkStatusManager *links = XrfNetworkStatusManager::instance();
    links->setWifiConnected(false);
    links->setWiredConnected(network->isCloudConnected());
    connect(network, &XrfNetworkManager::cloudConnectivityStatusChanged, links,
            &XrfNetworkStatusManager::setWiredConnected);
}
