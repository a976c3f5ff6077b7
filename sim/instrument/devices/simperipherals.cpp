#include "simperipherals.h"

#include "simstate.h"

int SimCameraController::installedCamera() const
{
    const auto lock = m_state.lock();
    return m_state.preset().installedCamera;
}

QString SimNetworkInterfaces::hardwareAddress(const QString &interfaceName) const
{
    if (interfaceName != QLatin1String("eth0"))
        return QString();
    const auto lock = m_state.lock();
    return m_state.preset().ethernetMac.toUpper();
}
