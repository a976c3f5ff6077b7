#include "curlrunner.h"

#include <QDebug>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

namespace {
// Standard output ends with this line and the HTTP status, so that the status is read from the
// same stream as the answer.
const QByteArray kStatusMarker = QByteArrayLiteral("\n#http-status:");
const QString kPartSuffix = QStringLiteral(".part");

bool hasLineBreak(const QString &text)
{
    return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'))
        || text.contains(QChar(0));
}

void setError(QString *errorMsg, const QString &text)
{
    if (errorMsg)
        *errorMsg = text;
}
} // namespace

QString CurlRunner::program()
{
    return QStringLiteral("curl");
}

bool CurlRunner::isAllowedUrl(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        && !url.host().isEmpty() && url.userInfo().isEmpty();
}

QUrl CurlRunner::buildUrl(const QString &baseUrl, const QString &extendedTemplate,
                          const QStringList &values, QString *errorMsg)
{
    QString path = extendedTemplate;
    // Placeholders are replaced from the highest number down, so that %1 does not eat %10.
    for (int i = values.size(); i >= 1; --i)
        path.replace(QLatin1Char('%') + QString::number(i),
                     QString::fromLatin1(QUrl::toPercentEncoding(values.at(i - 1))));
    const QUrl url(baseUrl + path, QUrl::StrictMode);
    if (!isAllowedUrl(url)) {
        setError(errorMsg, QStringLiteral("not an http(s) URL: %1").arg(baseUrl + path));
        return QUrl();
    }
    return url;
}

bool CurlRunner::arguments(const CurlRequest &request, QStringList *arguments, QString *errorMsg)
{
    if (!isAllowedUrl(request.url)) {
        setError(errorMsg,
                 QStringLiteral("not an http(s) URL: %1").arg(request.url.toDisplayString()));
        return false;
    }
    QStringList list{
        QStringLiteral("--silent"),
        QStringLiteral("--show-error"),
        QStringLiteral("--globoff"),
        QStringLiteral("--proto"),
        QStringLiteral("=http,https"),
        QStringLiteral("--max-redirs"),
        QStringLiteral("0"),
        QStringLiteral("--write-out"),
        QString::fromLatin1(kStatusMarker).replace(QLatin1Char('\n'), QStringLiteral("\\n"))
            + QStringLiteral("%{http_code}")};
    for (const auto &header : request.headers) {
        if (header.first.isEmpty() || header.first.contains(QLatin1Char(':'))
            || hasLineBreak(header.first) || hasLineBreak(header.second)) {
            setError(errorMsg, QStringLiteral("malformed header '%1'").arg(header.first));
            return false;
        }
        list << QStringLiteral("--header") << header.first + QStringLiteral(": ") + header.second;
    }
    if (request.method == CurlRequest::Put) {
        list << QStringLiteral("--request") << QStringLiteral("PUT");
        if (!request.uploadFile.isEmpty())
            list << QStringLiteral("--upload-file") << request.uploadFile;
    }
    if (!request.outputFile.isEmpty())
        list << QStringLiteral("--output") << request.outputFile + kPartSuffix;
    list << QStringLiteral("--url") << request.url.toString(QUrl::FullyEncoded);
    *arguments = list;
    return true;
}

bool CurlRunner::run(const CurlRequest &request, int startTimeoutMs, int finishTimeoutMs,
                     QByteArray *body, int *httpStatus, QString *errorMsg)
{
    QStringList args;
    if (!arguments(request, &args, errorMsg))
        return false;
    m_cancelled = false;
    const QString part =
        request.outputFile.isEmpty() ? QString() : request.outputFile + kPartSuffix;
    QProcess process;
    process.setProgram(program());
    process.setArguments(args);
    m_process = &process;
    const bool finished = waitForProcess(process, startTimeoutMs, finishTimeoutMs, errorMsg);
    m_process = nullptr;
    QByteArray output = process.readAllStandardOutput();
    int status = 0;
    bool ok = finished;
    if (ok && (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)) {
        setError(errorMsg,
                 QStringLiteral("curl exit code %1: %2")
                     .arg(process.exitCode())
                     .arg(QString::fromLocal8Bit(process.readAllStandardError()).trimmed()));
        ok = false;
    }
    if (ok && !parseStatus(&output, &status)) {
        setError(errorMsg, QStringLiteral("curl gave no HTTP status"));
        ok = false;
    }
    if (ok && (status < 200 || status > 299)) {
        setError(errorMsg,
                 QStringLiteral("HTTP status %1: %2")
                     .arg(status)
                     .arg(QString::fromUtf8(output.left(200)).simplified()));
        ok = false;
    }
    if (ok && !part.isEmpty()) {
        QFile::remove(request.outputFile);
        if (!QFile::rename(part, request.outputFile)) {
            setError(errorMsg,
                     QStringLiteral("cannot move the download to %1").arg(request.outputFile));
            ok = false;
        }
    }
    if (!part.isEmpty())
        QFile::remove(part);
    if (httpStatus)
        *httpStatus = status;
    if (ok && body)
        *body = output;
    return ok;
}

bool CurlRunner::waitForProcess(QProcess &process, int startTimeoutMs, int finishTimeoutMs,
                                QString *errorMsg)
{
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(startTimeoutMs)) {
        qWarning() << "curl failed to start" << process.errorString();
        setError(errorMsg, QStringLiteral("curl failed to start: %1").arg(process.errorString()));
        return false;
    }
    if (process.state() == QProcess::Running) {
        QEventLoop loop;
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, &loop, &QEventLoop::quit);
        connect(&process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), &loop,
                &QEventLoop::quit);
        watchdog.start(finishTimeoutMs);
        loop.exec();
    }
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        if (!m_cancelled) {
            qWarning() << "curl failed to finish" << process.errorString();
            setError(errorMsg, QStringLiteral("curl failed to finish"));
            return false;
        }
    }
    if (m_cancelled) {
        setError(errorMsg, QStringLiteral("cancelled"));
        return false;
    }
    return true;
}

void CurlRunner::cancel()
{
    m_cancelled = true;
    if (m_process)
        m_process->kill();
}

bool CurlRunner::parseStatus(QByteArray *output, int *httpStatus)
{
    const int at = output->lastIndexOf(kStatusMarker);
    if (at < 0)
        return false;
    bool ok = false;
    *httpStatus = output->mid(at + kStatusMarker.size()).trimmed().toInt(&ok);
    output->truncate(at);
    return ok;
}
