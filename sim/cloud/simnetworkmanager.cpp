#include "simnetworkmanager.h"

SimNetworkManager::SimNetworkManager(const QUrl &baseUrl, QObject *parent)
    : XrfNetworkManager(parent), m_baseUrl(baseUrl)
{
}

SimNetworkManager::~SimNetworkManager() = default;

int SimNetworkManager::fetchFromCloud(CloudRequestIds, const QJsonObject &, QString *)
{
    return 1;
}

int SimNetworkManager::sendToCloud(CloudRequestIds, const QJsonObject &, QString *)
{
    return 1;
}

int SimNetworkManager::uploadBinaryFileToCloud(CloudRequestIds, const QJsonObject &, QString *)
{
    return 1;
}

int SimNetworkManager::downloadBinaryFile(CloudRequestIds, const QJsonObject &, QString *)
{
    return 1;
}

void SimNetworkManager::abortBinaryFileUpload() {}

void SimNetworkManager::abortBinaryFileDownload() {}

void SimNetworkManager::discardNetworkRequest(const QString &) {}

bool SimNetworkManager::requestInfo(CloudRequestIds, XrfHttpRequestInfo *) const
{
    return false;
}

QString SimNetworkManager::tenantId() const
{
    return QStringLiteral("factory");
}

bool SimNetworkManager::isCloudConnected() const
{
    return false;
}
