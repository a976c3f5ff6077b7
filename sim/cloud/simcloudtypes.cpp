#include "simcloudtypes.h"

#include <QJsonArray>
#include <QJsonDocument>

SimCloudReply SimCloudReply::json(const QJsonValue &value, int status)
{
    SimCloudReply reply;
    reply.status = status;
    if (value.isArray())
        reply.body = QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact);
    else
        reply.body = QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
    return reply;
}

SimCloudReply SimCloudReply::error(int status, const QString &text)
{
    return json(QJsonObject{{QStringLiteral("status"), status}, {QStringLiteral("error"), text}},
                status);
}

SimCloudReply SimCloudReply::binary(const QByteArray &content)
{
    SimCloudReply reply;
    reply.body = content;
    reply.contentType = "application/octet-stream";
    return reply;
}
