#pragma once

#include "xrfcameracontroller.h"
#include "xrfnetworkinterfaces.h"

class SimState;

// The simulated instrument's cameras, as the camera controller reports them.
class SimCameraController : public XrfCameraController
{
    Q_OBJECT
public:
    explicit SimCameraController(SimState &state) : m_state(state) { }
    int installedCamera() const override;

private:
    SimState &m_state;
};

// The simulated instrument's network interfaces: its digital board's "eth0".
class SimNetworkInterfaces : public XrfNetworkInterfaces
{
public:
    explicit SimNetworkInterfaces(SimState &state) : m_state(state) { }
    QString hardwareAddress(const QString &interfaceName) const override;

private:
    SimState &m_state;
};
