#pragma once

#include "xrfservice.h"

#include <QObject>

#include <atomic>

// The state of the instrument's Wi-Fi and Ethernet links. Whatever watches the links (the
// middleware's link monitor, a simulator) reports changes through the setters.
class XrfNetworkStatusManager : public QObject
{
    Q_OBJECT
    XRF_DECLARE_SERVICE(XrfNetworkStatusManager)
public:
    explicit XrfNetworkStatusManager(QObject *parent = nullptr) : QObject(parent) { }

    bool isWifiConnected() const { return m_wifi.load(); }
    bool isWiredConnected() const { return m_wired.load(); }

public slots:
    void setWifiConnected(bool connected);
    void setWiredConnected(bool connected);

signals:
    void wifiConnectionStatusChanged(bool isConnected);
    void wiredConnectionStatusChanged(bool isConnected);

private:
    std::atomic<bool> m_wifi{false};
    std::atomic<bool> m_wired{false};
};
