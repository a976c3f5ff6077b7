#pragma once

#include "xrfnetworkmanager.h"

#include <QUrl>

class QNetworkAccessManager;

// The network manager as an HTTP client of a cloud at a base URL. Lives on the thread that
// created it; request functions may be called from any thread.
class SimNetworkManager : public XrfNetworkManager
{
    Q_OBJECT
public:
    explicit SimNetworkManager(const QUrl &baseUrl, QObject *parent = nullptr);
    ~SimNetworkManager() override;

    int fetchFromCloud(CloudRequestIds id, const QJsonObject &body, QString *requestToken) override;
    int sendToCloud(CloudRequestIds id, const QJsonObject &body, QString *requestToken) override;
    int uploadBinaryFileToCloud(CloudRequestIds id, const QJsonObject &body,
                                QString *requestToken) override;
    int downloadBinaryFile(CloudRequestIds id, const QJsonObject &body,
                           QString *requestToken) override;
    void abortBinaryFileUpload() override;
    void abortBinaryFileDownload() override;
    void discardNetworkRequest(const QString &requestToken) override;
    bool requestInfo(CloudRequestIds id, XrfHttpRequestInfo *info) const override;
    QString tenantId() const override;
    bool isCloudConnected() const override;

private:
    QUrl m_baseUrl;
};
