#pragma once

// Transfers to and from the cloud through the command-line program "curl", started with an
// argument list (never through a shell). Every value from data or from the cloud is checked before
// it becomes an argument: only http(s) URLs without credentials, header names and values without
// line breaks. The exit code and the HTTP status are both checked, so an error page never passes
// for an answer or a download; the answer is read from the process's standard output, and a
// download is written beside its target under a temporary name and renamed into place only when
// the transfer succeeded.

#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QUrl>

struct CurlRequest
{
    enum Method { Get, Put };
    Method method = Get;
    QUrl url;
    QList<QPair<QString, QString>> headers;
    // The file sent as the body of a PUT; empty for none.
    QString uploadFile;
    // Where a download goes; empty: the answer is read from standard output.
    QString outputFile;
};

class CurlRunner : public QObject
{
    Q_OBJECT
public:
    // The program; tests may point it elsewhere.
    static QString program();
    // `template` with %1, %2, ... replaced by `values`, each percent-encoded as one path segment,
    // appended to `baseUrl`; invalid (and `errorMsg` set) unless the result is an http(s) URL with
    // a host and no user information.
    static QUrl buildUrl(const QString &baseUrl, const QString &extendedTemplate,
                         const QStringList &values, QString *errorMsg);
    static bool isAllowedUrl(const QUrl &url);
    // The argument list of a request; false with the reason for a URL that is not allowed or a
    // header with a line break.
    static bool arguments(const CurlRequest &request, QStringList *arguments, QString *errorMsg);

    // Runs the request, keeping the calling thread's event loop running so that cancel() (from
    // an abort) is heard. `startTimeoutMs` and `finishTimeoutMs` are process time. On success
    // `body` receives standard output (without the status line) and `httpStatus` the status.
    bool run(const CurlRequest &request, int startTimeoutMs, int finishTimeoutMs, QByteArray *body,
             int *httpStatus, QString *errorMsg);
    bool wasCancelled() const { return m_cancelled; }

public slots:
    // Ends a running transfer; run() returns false with "cancelled".
    void cancel();

private:
    bool waitForProcess(QProcess &process, int startTimeoutMs, int finishTimeoutMs,
                        QString *errorMsg);
    static bool parseStatus(QByteArray *output, int *httpStatus);

    QPointer<QProcess> m_process;
    bool m_cancelled = false;
};
