#pragma once

#include "simcloudroutes.h"
#include "xrfnetworkmanager.h"

#include <QHash>
#include <QMutex>
#include <QPointer>
#include <QUrl>

#include <atomic>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
class XrfAtomicFile;
class QTimer;

// The network manager as an HTTP client of a cloud at a base URL. Lives on the thread that
// created it; request functions may be called from any thread and are carried onto it.
//
// Every request gets a GUID token. Answers that are HTTP errors, transport errors, time-outs or
// malformed JSON arrive as failed responses with a readable error text.
class SimNetworkManager : public XrfNetworkManager
{
    Q_OBJECT
public:
    explicit SimNetworkManager(const QUrl &baseUrl, QObject *parent = nullptr);
    ~SimNetworkManager() override;

    int fetchFromCloud(CloudRequestIds id, const QJsonObject &body,
                       QString *requestToken = nullptr) override;
    int sendToCloud(CloudRequestIds id, const QJsonObject &body,
                    QString *requestToken = nullptr) override;
    int uploadBinaryFileToCloud(CloudRequestIds id, const QJsonObject &body,
                                QString *requestToken = nullptr) override;
    int downloadBinaryFile(CloudRequestIds id, const QJsonObject &body,
                           QString *requestToken = nullptr) override;
    void abortBinaryFileUpload() override;
    void abortBinaryFileDownload() override;
    void discardNetworkRequest(const QString &requestToken) override;
    bool requestInfo(CloudRequestIds id, XrfHttpRequestInfo *info) const override;
    QString tenantId() const override;
    bool isCloudConnected() const override;

    // The serial number used in request paths when the body names none. Until it is set, the
    // last serial seen in a request body ("serial" or "instrumentSerialNumber") is used.
    void setInstrumentSerial(const QString &serial);
    QString instrumentSerial() const;
    // Real milliseconds after which a request is given up (default 30000): a watchdog on a
    // silent cloud, in process time so that a loaded machine does not trip it at small scales.
    void setRequestTimeoutMs(int timeoutMs);
    // Instrument milliseconds from one answer of a reachability check of the cloud to the next
    // check (default 10000; scaled through the time scale, no floor).
    void setConnectivityPollIntervalMs(int instrumentMs);
    // Offline, the cloud counts as unreachable and every request fails at once.
    void setForcedOffline(bool offline);
    // Requests started and not yet answered, failed or discarded.
    int requestsUnderWay() const { return m_underWay.load(); }

public slots:
    void checkConnectivity();

private:
    struct Pending;

    int startRequest(SimCloudRoute::Kind kind, CloudRequestIds id, const QJsonObject &body,
                     QString *requestToken);
    void dispatch(SimCloudRoute::Kind kind, int id, const QJsonObject &body, const QString &token);
    QNetworkReply *startJson(const SimCloudRoute &route, const QJsonObject &body,
                             const QString &serial, QString *error);
    QNetworkReply *startUpload(const SimCloudRoute &route, const QJsonObject &body,
                               const QString &serial, QString *error);
    QNetworkReply *startDownload(const SimCloudRoute &route, const QJsonObject &body,
                                 XrfAtomicFile **target, QString *error);
    void track(QNetworkReply *reply, SimCloudRoute::Kind kind, int id, const QString &token,
               XrfAtomicFile *target);
    void onReplyFinished(QNetworkReply *reply);
    void finishWithError(SimCloudRoute::Kind kind, int id, const QString &token,
                         const QString &error);
    void emitResponse(SimCloudRoute::Kind kind, const XrfCloudResponse &response);
    void abortAll(SimCloudRoute::Kind kind, const QString &reason);

    QUrl routeUrl(const SimCloudRoute &route, const QJsonObject &body, const QString &serial,
                  QString *error) const;
    QString serialFor(const QJsonObject &body);
    QNetworkRequest cloudRequest(const QUrl &url, int id) const;
    QNetworkRequest jsonRequest(const QUrl &url, int id) const;
    void setConnected(bool connected);
    void scheduleConnectivityCheck();

    QUrl m_baseUrl;
    QNetworkAccessManager *m_network = nullptr;
    QTimer *m_connectivityTimer = nullptr;
    QPointer<QNetworkReply> m_healthReply;
    QHash<QNetworkReply *, Pending *> m_pending;
    mutable QMutex m_serialMutex;
    QString m_serial;
    QString m_seenSerial;
    std::atomic<int> m_timeoutMs{30000};
    std::atomic<int> m_pollIntervalMs{10000};
    std::atomic<int> m_underWay{0};
    std::atomic<bool> m_connected{false};
    std::atomic<bool> m_forcedOffline{false};
};
