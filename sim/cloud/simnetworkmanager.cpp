#include "simnetworkmanager.h"

#include "simnetworkmanager_p.h"
#include "xrfatomicfile.h"
#include "xrftimescale.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QScopeGuard>
#include <QTimer>
#include <QUrlQuery>
#include <QUuid>

namespace {

bool isJsonKind(SimCloudRoute::Kind kind)
{
    return kind == SimCloudRoute::Fetch || kind == SimCloudRoute::Send;
}

QString scalarText(const QJsonValue &value)
{
    if (value.isString())
        return value.toString();
    if (value.isDouble() || value.isBool())
        return value.toVariant().toString();
    return QString();
}

// The error text of an HTTP error answer: its "error" or "message" key, or its raw text.
QString httpErrorText(const QByteArray &data)
{
    const QJsonObject object = QJsonDocument::fromJson(data).object();
    for (const char *key : {"error", "message"}) {
        const QString text = object.value(QLatin1String(key)).toString();
        if (!text.isEmpty())
            return text;
    }
    return QString::fromUtf8(data.left(200)).trimmed();
}
} // namespace

SimNetworkManager::SimNetworkManager(const QUrl &baseUrl, QObject *parent)
    : XrfNetworkManager(parent),
      m_baseUrl(baseUrl),
      m_network(new QNetworkAccessManager(this)),
      m_connectivityTimer(new QTimer(this))
{
    qRegisterMetaType<XrfCloudResponse>();
    m_connectivityTimer->setSingleShot(true);
    connect(m_connectivityTimer, &QTimer::timeout, this, &SimNetworkManager::checkConnectivity);
    QMetaObject::invokeMethod(this, &SimNetworkManager::checkConnectivity, Qt::QueuedConnection);
}

SimNetworkManager::~SimNetworkManager()
{
    for (Pending *pending : qAsConst(m_pending)) {
        pending->discarded = true;
        delete pending->target;
    }
    qDeleteAll(m_pending);
    m_pending.clear();
}

int SimNetworkManager::fetchFromCloud(CloudRequestIds id, const QJsonObject &body,
                                      QString *requestToken)
{
    return startRequest(SimCloudRoute::Fetch, id, body, requestToken);
}

int SimNetworkManager::sendToCloud(CloudRequestIds id, const QJsonObject &body,
                                   QString *requestToken)
{
    return startRequest(SimCloudRoute::Send, id, body, requestToken);
}

int SimNetworkManager::uploadBinaryFileToCloud(CloudRequestIds id, const QJsonObject &body,
                                               QString *requestToken)
{
    return startRequest(SimCloudRoute::Upload, id, body, requestToken);
}

int SimNetworkManager::downloadBinaryFile(CloudRequestIds id, const QJsonObject &body,
                                          QString *requestToken)
{
    return startRequest(SimCloudRoute::Download, id, body, requestToken);
}

// Requests always start from the event loop of the manager's thread, so answers never arrive
// before the call has returned, whichever thread called.
int SimNetworkManager::startRequest(SimCloudRoute::Kind kind, CloudRequestIds id,
                                    const QJsonObject &body, QString *requestToken)
{
    const QString token = QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (requestToken)
        *requestToken = token;
    ++m_underWay;
    QMetaObject::invokeMethod(
        this, [=] { dispatch(kind, int(id), body, token); }, Qt::QueuedConnection);
    return 0;
}

void SimNetworkManager::dispatch(SimCloudRoute::Kind kind, int id, const QJsonObject &body,
                                 const QString &token)
{
    const SimCloudRoute route = SimCloudRoutes::route(id);
    const bool kindMatches = route.kind == kind || (isJsonKind(kind) && isJsonKind(route.kind));
    if (!route.isValid() || !kindMatches) {
        finishWithError(
            kind, id, token,
            QStringLiteral("Request id %1 is not known for this kind of request").arg(id));
        return;
    }
    if (m_forcedOffline.load()) {
        finishWithError(kind, id, token,
                        QStringLiteral("Request %1 failed: the cloud is not reachable").arg(id));
        return;
    }
    QString error;
    XrfAtomicFile *target = nullptr;
    QNetworkReply *reply = nullptr;
    if (isJsonKind(kind))
        reply = startJson(route, body, serialFor(body), &error);
    else if (kind == SimCloudRoute::Upload)
        reply = startUpload(route, body, serialFor(body), &error);
    else
        reply = startDownload(route, body, &target, &error);
    if (!reply) {
        finishWithError(kind, id, token, error);
        return;
    }
    track(reply, kind, id, token, target);
}

QNetworkReply *SimNetworkManager::startJson(const SimCloudRoute &route, const QJsonObject &body,
                                            const QString &serial, QString *error)
{
    QUrl url = routeUrl(route, body, serial, error);
    if (url.isEmpty())
        return nullptr;
    const QString method = QString::fromLatin1(route.method);
    if (method == QLatin1String("GET")) {
        const QStringList inPath = route.placeholders();
        QUrlQuery query;
        for (auto it = body.begin(); it != body.end(); ++it) {
            const QString value = scalarText(it.value());
            if (!inPath.contains(it.key()) && !value.isEmpty())
                query.addQueryItem(it.key(), value);
        }
        url.setQuery(query);
        return m_network->get(jsonRequest(url, route.requestId));
    }
    const QByteArray data = QJsonDocument(body).toJson(QJsonDocument::Compact);
    if (method == QLatin1String("POST"))
        return m_network->post(jsonRequest(url, route.requestId), data);
    return m_network->put(jsonRequest(url, route.requestId), data);
}

void SimNetworkManager::track(QNetworkReply *reply, SimCloudRoute::Kind kind, int id,
                              const QString &token, XrfAtomicFile *target)
{
    auto *pending = new Pending;
    pending->kind = kind;
    pending->id = id;
    pending->token = token;
    pending->target = target;
    pending->timeout = new QTimer(this);
    pending->timeout->setSingleShot(true);
    connect(pending->timeout, &QTimer::timeout, this, [this, reply] {
        if (Pending *timedOut = m_pending.value(reply)) {
            timedOut->timedOut = true;
            reply->abort();
        }
    });
    // A watchdog on a silent cloud, in process time (see setRequestTimeoutMs).
    pending->timeout->start(m_timeoutMs.load());
    m_pending.insert(reply, pending);
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onReplyFinished(reply); });
    if (kind == SimCloudRoute::Upload) {
        connect(reply, &QNetworkReply::uploadProgress, this,
                [this, reply](qint64 sent, qint64 total) {
                    // Qt reports (0, 0) once the body is sent: no news about progress.
                    if (total <= 0)
                        return;
                    Pending *uploading = m_pending.value(reply);
                    const int percent = int(sent * 100 / total);
                    if (uploading && !uploading->discarded && percent != uploading->lastPercent) {
                        uploading->lastPercent = percent;
                        emit fileUploadProgress(percent);
                    }
                });
    }
    if (target) {
        connect(reply, &QNetworkReply::readyRead, this, [reply, target] {
            if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() < 400)
                target->write(reply->readAll());
        });
    }
}

void SimNetworkManager::onReplyFinished(QNetworkReply *reply)
{
    reply->deleteLater();
    std::unique_ptr<Pending> pending(m_pending.take(reply));
    if (!pending)
        return;
    const auto answered = qScopeGuard([this] { --m_underWay; });
    delete pending->timeout;
    std::unique_ptr<XrfAtomicFile> target(pending->target);
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool written = target && status >= 200 && status < 300;
    if (written)
        target->write(reply->readAll());
    const QByteArray data = written ? QByteArray() : reply->readAll();
    if (pending->discarded) {
        if (target)
            target->cancel();
        return;
    }
    XrfCloudResponse response(pending->id, pending->token);
    response.setHttpStatusCode(status);
    QString error;
    if (pending->timedOut)
        error = QStringLiteral("Request %1 timed out after %2 ms")
                    .arg(pending->id)
                    .arg(m_timeoutMs.load());
    else if (!pending->abortReason.isEmpty())
        error = pending->abortReason;
    else if (status >= 400)
        error = QStringLiteral("HTTP %1: %2").arg(status).arg(httpErrorText(data));
    else if (reply->error() != QNetworkReply::NoError)
        error = QStringLiteral("Request %1 failed: %2").arg(pending->id).arg(reply->errorString());
    if (error.isEmpty() && !written && !data.trimmed().isEmpty()) {
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(data, &parseError);
        if (parseError.error != QJsonParseError::NoError)
            error = QStringLiteral("Malformed JSON in the answer to request %1: %2 at offset %3")
                        .arg(pending->id)
                        .arg(parseError.errorString())
                        .arg(parseError.offset);
        else
            response.setResponseData(document.isArray() ? QJsonValue(document.array())
                                                        : QJsonValue(document.object()));
    } else if (status >= 400) {
        response.setResponseData(QJsonDocument::fromJson(data).object());
    }
    if (target && error.isEmpty())
        target->commit(&error);
    else if (target)
        target->cancel();
    if (!error.isEmpty())
        response.setFailed(error);
    if (pending->kind == SimCloudRoute::Upload && !response.hasFailed()
        && pending->lastPercent != 100)
        emit fileUploadProgress(100);
    emitResponse(pending->kind, response);
}

void SimNetworkManager::finishWithError(SimCloudRoute::Kind kind, int id, const QString &token,
                                        const QString &error)
{
    XrfCloudResponse response(id, token);
    response.setFailed(error);
    emitResponse(kind, response);
    --m_underWay;
}

void SimNetworkManager::emitResponse(SimCloudRoute::Kind kind, const XrfCloudResponse &response)
{
    switch (kind) {
    case SimCloudRoute::Fetch:
    case SimCloudRoute::Send:
        emit responseFromNetwork(response);
        if (response.requestId() == GetFactorSetStatus && !response.hasFailed()
            && response.isObject())
            emit methodFactorSetStatusChange(response.responseData().toObject());
        return;
    case SimCloudRoute::Upload:
        if (response.requestId() == UploadFactorSetMethod)
            emit fileUploadCompleteResponse(response);
        else
            emit fileUploadComplete(!response.hasFailed(), response.error());
        return;
    case SimCloudRoute::Download:
        emit fileDownloadCompleted(!response.hasFailed(), response.error());
        return;
    }
}

void SimNetworkManager::abortBinaryFileUpload()
{
    QMetaObject::invokeMethod(
        this, [this] { abortAll(SimCloudRoute::Upload, QStringLiteral("Upload aborted")); },
        Qt::QueuedConnection);
}

void SimNetworkManager::abortBinaryFileDownload()
{
    QMetaObject::invokeMethod(
        this, [this] { abortAll(SimCloudRoute::Download, QStringLiteral("Download aborted")); },
        Qt::QueuedConnection);
}

void SimNetworkManager::abortAll(SimCloudRoute::Kind kind, const QString &reason)
{
    QList<QNetworkReply *> replies;
    for (auto it = m_pending.begin(); it != m_pending.end(); ++it) {
        if (it.value()->kind == kind) {
            it.value()->abortReason = reason;
            replies.append(it.key());
        }
    }
    for (QNetworkReply *reply : qAsConst(replies))
        reply->abort();
}

void SimNetworkManager::discardNetworkRequest(const QString &requestToken)
{
    QMetaObject::invokeMethod(
        this,
        [this, requestToken] {
            for (auto it = m_pending.begin(); it != m_pending.end(); ++it) {
                if (it.value()->token == requestToken) {
                    it.value()->discarded = true;
                    it.key()->abort();
                    return;
                }
            }
        },
        Qt::QueuedConnection);
}

QString SimNetworkManager::tenantId() const
{
    return QStringLiteral("factory");
}

void SimNetworkManager::setRequestTimeoutMs(int timeoutMs)
{
    m_timeoutMs.store(timeoutMs);
}
