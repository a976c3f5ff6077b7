#include "simnetworkmanager.h"

#include "xrfatomicfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHttpMultiPart>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>

// File uploads (multipart forms, or one raw body for factor set archives) and downloads written
// atomically into place.

namespace {
QString firstText(const QJsonObject &body, std::initializer_list<const char *> keys)
{
    for (const char *key : keys) {
        const QString text = body.value(QLatin1String(key)).toString();
        if (!text.isEmpty())
            return text;
    }
    return QString();
}

QHttpPart metaPart(const QJsonObject &body)
{
    QHttpPart part;
    part.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    part.setHeader(QNetworkRequest::ContentDispositionHeader,
                   QStringLiteral("form-data; name=\"meta\""));
    part.setBody(QJsonDocument(body).toJson(QJsonDocument::Compact));
    return part;
}

QHttpPart filePart(QFile *file)
{
    QHttpPart part;
    part.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/octet-stream"));
    part.setHeader(QNetworkRequest::ContentDispositionHeader,
                   QStringLiteral("form-data; name=\"file\"; filename=\"%1\"")
                       .arg(QFileInfo(file->fileName()).fileName()));
    part.setBodyDevice(file);
    return part;
}
} // namespace

QNetworkReply *SimNetworkManager::startUpload(const SimCloudRoute &route, const QJsonObject &body,
                                              const QString &serial, QString *error)
{
    const QString path = firstText(body, {"filePath", "name"});
    const QUrl url = routeUrl(route, body, serial, error);
    if (url.isEmpty())
        return nullptr;
    auto file = std::make_unique<QFile>(path);
    if (path.isEmpty() || !file->open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Cannot open \"%1\" for upload: %2").arg(path, file->errorString());
        return nullptr;
    }
    QNetworkRequest request = cloudRequest(url, route.requestId);
    if (route.rawUpload) {
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          QStringLiteral("application/octet-stream"));
        QNetworkReply *reply = m_network->put(request, file.get());
        file.release()->setParent(reply);
        return reply;
    }
    auto *form = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    form->append(metaPart(body));
    form->append(filePart(file.get()));
    file.release()->setParent(form);
    QNetworkReply *reply = m_network->post(request, form);
    form->setParent(reply);
    return reply;
}

QNetworkReply *SimNetworkManager::startDownload(const SimCloudRoute &route, const QJsonObject &body,
                                                XrfAtomicFile **target, QString *error)
{
    const QString url = firstText(body, {"downloadUrl", "zipOutputUrl"});
    const QString directory = firstText(body, {"downloadDirectory", "zipOutputFileDir"});
    QString name = firstText(body, {"downloadFileName", "zipOutputFileName"});
    if (name.isEmpty())
        name = QUrl(url).fileName();
    if (url.isEmpty() || directory.isEmpty() || name.isEmpty()) {
        *error = QStringLiteral("Download needs a URL, a directory and a file name, got: %1")
                     .arg(QString::fromUtf8(QJsonDocument(body).toJson(QJsonDocument::Compact)));
        return nullptr;
    }
    auto file = std::make_unique<XrfAtomicFile>(QDir(directory).filePath(name));
    if (!file->open(error))
        return nullptr;
    QNetworkRequest request(m_baseUrl.resolved(QUrl(url)));
    request.setRawHeader("x-tenant-id", tenantId().toUtf8());
    request.setRawHeader("x-request-id", QByteArray::number(route.requestId));
    *target = file.release();
    return m_network->get(request);
}
