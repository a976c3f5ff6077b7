#pragma once

#include <QObject>

class XrfNetworkManager;

// Drives the instrument's link state from the cloud's reachability, as a wired factory bench
// sees it: Ethernet is connected while the cloud answers, Wi-Fi stays off.
class SimNetworkLink : public QObject
{
    Q_OBJECT
public:
    explicit SimNetworkLink(XrfNetworkManager *network, QObject *parent = nullptr);
};
