#include "simnetworkmanager.h"

#include <QJsonValue>
#include <QMutexLocker>
#include <QNetworkRequest>

// Where requests go: URLs from the route table, the serial number in paths, the headers.

namespace {
QString bodyText(const QJsonObject &body, const QString &key)
{
    const QJsonValue value = body.value(key);
    return value.isString() ? value.toString()
                            : (value.isDouble() ? value.toVariant().toString() : QString());
}

// The method of a factor set upload: its "methodId", or its archive's name without the serial.
QString methodIdOf(const QJsonObject &body, const QString &serial)
{
    QString methodId = bodyText(body, QStringLiteral("methodId"));
    if (!methodId.isEmpty())
        return methodId;
    methodId = bodyText(body, QStringLiteral("zipFileName"));
    if (methodId.endsWith(QLatin1String(".zip")))
        methodId.chop(4);
    if (methodId.startsWith(serial) && methodId.size() > serial.size())
        methodId.remove(0, serial.size());
    return methodId;
}
} // namespace

QUrl SimNetworkManager::routeUrl(const SimCloudRoute &route, const QJsonObject &body,
                                 const QString &serial, QString *error) const
{
    QString path = QString::fromLatin1(route.path);
    for (const QString &name : route.placeholders()) {
        QString value;
        if (name == QLatin1String("serial"))
            value = serial;
        else if (name == QLatin1String("methodId"))
            value = methodIdOf(body, serial);
        else if (name == QLatin1String("runKind"))
            value =
                bodyText(body, name).isEmpty() ? QStringLiteral("FactorSet") : bodyText(body, name);
        else
            value = bodyText(body, name);
        if (value.isEmpty()) {
            *error = QStringLiteral("Request %1 needs \"%2\" in its body")
                         .arg(route.requestId)
                         .arg(name);
            return QUrl();
        }
        path.replace(QLatin1Char('{') + name + QLatin1Char('}'),
                     QString::fromLatin1(QUrl::toPercentEncoding(value)));
    }
    return QUrl(m_baseUrl.toString(QUrl::StripTrailingSlash) + path);
}

QString SimNetworkManager::serialFor(const QJsonObject &body)
{
    QMutexLocker lock(&m_serialMutex);
    for (const char *key : {"serial", "instrumentSerialNumber"}) {
        const QString serial = bodyText(body, QLatin1String(key));
        if (!serial.isEmpty()) {
            m_seenSerial = serial;
            return serial;
        }
    }
    if (!m_serial.isEmpty())
        return m_serial;
    return m_seenSerial.isEmpty() ? QStringLiteral("0") : m_seenSerial;
}

void SimNetworkManager::setInstrumentSerial(const QString &serial)
{
    QMutexLocker lock(&m_serialMutex);
    m_serial = serial;
}

QString SimNetworkManager::instrumentSerial() const
{
    QMutexLocker lock(&m_serialMutex);
    return m_serial.isEmpty() ? m_seenSerial : m_serial;
}

// Qt sends a request's headers and its body in two writes and does not turn Nagle's algorithm
// off, so the body waits for the cloud's delayed acknowledgement of the headers: 40 ms a request.
// With "Expect: 100-continue" the cloud answers the headers at once and the body follows. Qt
// forgets to decompress an answer that follows a "100 Continue", so answers come uncompressed.
QNetworkRequest SimNetworkManager::cloudRequest(const QUrl &url, int id) const
{
    QNetworkRequest request(url);
    request.setRawHeader("Accept", "application/json");
    request.setRawHeader("x-tenant-id", tenantId().toUtf8());
    request.setRawHeader("x-request-id", QByteArray::number(id));
    request.setRawHeader("Expect", "100-continue");
    request.setRawHeader("Accept-Encoding", "identity");
    return request;
}

QNetworkRequest SimNetworkManager::jsonRequest(const QUrl &url, int id) const
{
    QNetworkRequest request = cloudRequest(url, id);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    return request;
}

bool SimNetworkManager::requestInfo(CloudRequestIds id, XrfHttpRequestInfo *info) const
{
    const SimCloudRoute route = SimCloudRoutes::route(id);
    if (!info || !route.isValid())
        return false;
    info->setBaseUrl(m_baseUrl.toString(QUrl::StripTrailingSlash));
    info->setExtendedUrl(route.numberedTemplate());
    info->setMethod(QString::fromLatin1(route.method));
    const QString contentType = route.rawUpload ? QStringLiteral("application/octet-stream")
                                                : QStringLiteral("application/json");
    info->setHeaders({{QStringLiteral("Content-Type"), contentType},
                      {QStringLiteral("Accept"), QStringLiteral("application/json")},
                      {QStringLiteral("x-tenant-id"), tenantId()}});
    return true;
}
