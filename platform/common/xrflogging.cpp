#include "xrflogging.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QThread>

#include <cstdio>

Q_LOGGING_CATEGORY(xrfAlarmCategory, "alarm")

QString XrfAlarm::toString() const
{
    return QStringLiteral("XrfAlarm{severity:%1, code:%2} %3")
        .arg(m_severity)
        .arg(m_errorCode)
        .arg(m_message);
}

void XrfAlarm::raise() const
{
    qCCritical(xrfAlarmCategory).noquote() << toString();
}

namespace {

struct LoggerState
{
    QMutex mutex;
    QFile file;
    QtMsgType consoleLevel = QtDebugMsg;
    QtMsgType fileLevel = QtDebugMsg;
    QtMessageHandler previous = nullptr;
    bool installed = false;
};

LoggerState &state()
{
    static LoggerState s;
    return s;
}

int severityRank(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return 0;
    case QtInfoMsg:
        return 1;
    case QtWarningMsg:
        return 2;
    case QtCriticalMsg:
        return 3;
    case QtFatalMsg:
        return 4;
    }
    return 0;
}

const char *levelTag(QtMsgType type)
{
    static const char *const tags[] = {"D", "I", "W", "C", "F"};
    return tags[severityRank(type)];
}

void handleMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QByteArray line = XrfLogger::formatRecord(type, context, message).toUtf8() + '\n';
    LoggerState &s = state();
    QMutexLocker lock(&s.mutex);
    if (s.file.isOpen() && severityRank(type) >= severityRank(s.fileLevel)) {
        s.file.write(line);
        s.file.flush();
    }
    if (severityRank(type) >= severityRank(s.consoleLevel)) {
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        std::fflush(stderr);
    }
}

} // namespace

QString XrfLogger::formatRecord(QtMsgType type, const QMessageLogContext &context,
                                const QString &message)
{
    const QString thread = QThread::currentThread()->objectName();
    return QStringLiteral("%1 [%2] %3 (%4) %5:%6 %7: %8")
        .arg(QDateTime::currentDateTime().toString(Qt::ISODateWithMs),
             QLatin1String(levelTag(type)),
             QLatin1String(context.category ? context.category : "default"),
             thread.isEmpty() ? QStringLiteral("thread") : thread,
             QFileInfo(QLatin1String(context.file ? context.file : "?")).fileName())
        .arg(context.line)
        .arg(QLatin1String(context.function ? context.function : "?"), message);
}

void XrfLogger::install(const QString &logFilePath, QtMsgType consoleLevel)
{
    LoggerState &s = state();
    {
        QMutexLocker lock(&s.mutex);
        if (s.file.isOpen())
            s.file.close();
        s.consoleLevel = consoleLevel;
        if (!logFilePath.isEmpty()) {
            QDir().mkpath(QFileInfo(logFilePath).absolutePath());
            s.file.setFileName(logFilePath);
            if (!s.file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
                std::fprintf(stderr, "Failed to open log file %s\n", qPrintable(logFilePath));
        }
        if (s.installed)
            return;
        s.installed = true;
    }
    s.previous = qInstallMessageHandler(handleMessage);
}

void XrfLogger::uninstall()
{
    LoggerState &s = state();
    QMutexLocker lock(&s.mutex);
    if (!s.installed)
        return;
    qInstallMessageHandler(s.previous);
    s.installed = false;
    s.file.close();
}

void XrfLogger::setLoggerLevel(QtMsgType level)
{
    LoggerState &s = state();
    QMutexLocker lock(&s.mutex);
    s.fileLevel = level;
}

QtMsgType XrfLogger::loggerLevel()
{
    LoggerState &s = state();
    QMutexLocker lock(&s.mutex);
    return s.fileLevel;
}

QString XrfLogger::logFilePath()
{
    LoggerState &s = state();
    QMutexLocker lock(&s.mutex);
    return s.file.isOpen() ? s.file.fileName() : QString();
}
