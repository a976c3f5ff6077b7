#include "xrfnetworkinterfaces.h"

#include <QNetworkInterface>

XRF_DEFINE_DEFAULTED_SERVICE(XrfNetworkInterfaces)

QString XrfNetworkInterfaces::hardwareAddress(const QString &interfaceName) const
{
    const QNetworkInterface found = QNetworkInterface::interfaceFromName(interfaceName);
    if (!found.isValid() || found.name() != interfaceName)
        return QString();
    return found.hardwareAddress();
}
