#include "simnetworkmanager.h"

#include "simcloudroutes.h"
#include "xrftimescale.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

#include <algorithm>

// Reachability of the cloud: a GET of its health address, repeated an interval of instrument time
// after each answer (through the time scale, with no floor), so one check at most is under way.

namespace {
// A watchdog on the health answer, in process time: a loaded machine must not make a cloud that
// answers look unreachable.
constexpr int healthTimeoutMs = 2000;
} // namespace

bool SimNetworkManager::isCloudConnected() const
{
    return m_connected.load();
}

void SimNetworkManager::setConnectivityPollIntervalMs(int instrumentMs)
{
    m_pollIntervalMs.store(std::max(instrumentMs, 0));
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_connectivityTimer->isActive())
                scheduleConnectivityCheck();
        },
        Qt::AutoConnection);
}

void SimNetworkManager::setForcedOffline(bool offline)
{
    m_forcedOffline.store(offline);
    QMetaObject::invokeMethod(this, &SimNetworkManager::checkConnectivity, Qt::QueuedConnection);
}

// Forced offline, nothing is checked until the cloud is allowed again. At scale 0 the checks would
// follow each other without a pause: the first check and setForcedOffline are all there is.
void SimNetworkManager::scheduleConnectivityCheck()
{
    if (m_forcedOffline.load() || XrfTimeScale::scale() <= 0)
        return;
    m_connectivityTimer->start(XrfTimeScale::scaledMs(m_pollIntervalMs.load()));
}

void SimNetworkManager::checkConnectivity()
{
    if (m_forcedOffline.load()) {
        m_connectivityTimer->stop();
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
        scheduleConnectivityCheck();
    });
}

void SimNetworkManager::setConnected(bool connected)
{
    if (m_connected.exchange(connected) != connected)
        emit cloudConnectivityStatusChanged(connected);
}
