#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

// A file the cloud received or publishes, without its content.
struct SimCloudFile
{
    QString id;
    QString serial;
    int requestId = 0;
    QString name;
    qint64 size = 0;
    QString md5;
    // What the uploader said about the file (its request body), for uploads.
    QJsonObject meta;
};

// The packages the cloud publishes for instruments to download.
enum class SimCloudPackage { CalibrationCheckCriteria, FinalQcTemplates, SyntheticShots };

// One request as the cloud sees it, already taken apart.
struct SimCloudCall
{
    int requestId = 0;
    QHash<QString, QString> pathValues;
    QJsonObject input;
    QByteArray content;
    QString fileName;
};

// One answer of the cloud.
struct SimCloudReply
{
    int status = 200;
    QByteArray body;
    QByteArray contentType = "application/json";

    static SimCloudReply json(const QJsonValue &value, int status = 200);
    static SimCloudReply error(int status, const QString &text);
    static SimCloudReply binary(const QByteArray &content);
};
