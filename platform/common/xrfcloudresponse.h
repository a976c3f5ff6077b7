#pragma once

#include <QJsonValue>
#include <QList>
#include <QMetaType>
#include <QPair>
#include <QString>

// One answer of the manufacturing cloud to a request id.
class XrfCloudResponse
{
public:
    XrfCloudResponse() = default;
    XrfCloudResponse(int requestId, const QString &token) : m_requestId(requestId), m_token(token)
    { }

    int requestId() const { return m_requestId; }
    QString requestToken() const { return m_token; }
    bool hasFailed() const { return m_failed; }
    QString error() const { return m_error; }
    int httpStatusCode() const { return m_httpStatusCode; }
    bool isObject() const { return m_data.isObject(); }
    QJsonValue responseData() const { return m_data; }

    void setFailed(const QString &error)
    {
        m_failed = true;
        m_error = error;
    }
    void setHttpStatusCode(int code) { m_httpStatusCode = code; }
    void setResponseData(const QJsonValue &data) { m_data = data; }

private:
    int m_requestId = 0;
    QString m_token;
    bool m_failed = false;
    QString m_error;
    int m_httpStatusCode = 0;
    QJsonValue m_data;
};

// Where a request id goes: what a command line needs to send it itself.
class XrfHttpRequestInfo
{
public:
    using Headers = QList<QPair<QString, QString>>;

    QString baseUrl() const { return m_baseUrl; }
    void setBaseUrl(const QString &url) { m_baseUrl = url; }
    QString extendedUrl() const { return m_extendedUrl; }
    void setExtendedUrl(const QString &url) { m_extendedUrl = url; }
    QString method() const { return m_method; }
    void setMethod(const QString &method) { m_method = method; }
    Headers headers() const { return m_headers; }
    void setHeaders(const Headers &headers) { m_headers = headers; }

private:
    QString m_baseUrl;
    QString m_extendedUrl;
    QString m_method;
    Headers m_headers;
};

Q_DECLARE_METATYPE(XrfCloudResponse)
