#include "xrfsystembus.h"

#include <QByteArray>

QDBusConnection XrfSystemBus::connection()
{
    const QString address = QString::fromLocal8Bit(qgetenv(kAddressVariable));
    if (address.isEmpty())
        return QDBusConnection::systemBus();
    // One named connection per address; a connection whose bus went away is dropped and made anew.
    const QString name = QStringLiteral("xrf-system-bus:") + address;
    QDBusConnection bus = QDBusConnection::connectToBus(address, name);
    if (!bus.isConnected()) {
        QDBusConnection::disconnectFromBus(name);
        bus = QDBusConnection::connectToBus(address, name);
    }
    return bus;
}
