#include "simnetworkmanager.h"

#include "simcloudroutes.h"
#include "xrftimescale.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

// Reachability of the cloud: a periodic GET of its health address.

namespace {
constexpr int pollMinimumMs = 50;
constexpr int healthTimeoutMs = 2000;
} // namespace

bool SimNetworkManager::isCloudConnected() const
{
    return m_connected.load();
}

void SimNetworkManager::setConnectivityPollIntervalMs(int instrumentMs)
{
    const int interval = std::max(pollMinimumMs, XrfTimeScale::scaledMs(instrumentMs));
    QMetaObject::invokeMethod(
        this, [this, interval] { m_connectivityTimer->setInterval(interval); }, Qt::AutoConnection);
}

void SimNetworkManager::setForcedOffline(bool offline)
{
    m_forcedOffline.store(offline);
    QMetaObject::invokeMethod(this, &SimNetworkManager::checkConnectivity, Qt::QueuedConnection);
}

void SimNetworkManager::checkConnectivity()
{
    if (m_forcedOffline.load()) {
        setConnected(false);
        return;
    }
    if (m_healthReply)
        return;
    QNetworkRequest request(QUrl(m_baseUrl.toString(QUrl::StripTrailingSlash)
                                 + QLatin1String(SimCloudRoutes::healthPath)));
    request.setTransferTimeout(healthTimeoutMs);
    QNetworkReply *reply = m_network->get(request);
    m_healthReply = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        setConnected(!m_forcedOffline.load() && reply->error() == QNetworkReply::NoError
                     && status == 200);
    });
}

void SimNetworkManager::setConnected(bool connected)
{
    if (m_connected.exchange(connected) != connected)
        emit cloudConnectivityStatusChanged(connected);
}
