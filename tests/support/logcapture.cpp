#include "logcapture.h"

#include <QThread>

namespace {
LogCapture *g_capture = nullptr;
}

LogCapture::LogCapture()
{
    g_capture = this;
    m_previous = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(m_previous);
    g_capture = nullptr;
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    LogCapture *capture = g_capture;
    if (!capture)
        return;
    {
        QMutexLocker lock(&capture->m_mutex);
        capture->m_records.append({type,
                                   QString::fromLatin1(context.category ? context.category : ""),
                                   QThread::currentThread()->objectName(), message});
    }
    // Warnings and worse still reach the test output.
    if (type != QtDebugMsg && type != QtInfoMsg && capture->m_previous)
        capture->m_previous(type, context, message);
}

QList<LogCapture::Record> LogCapture::records() const
{
    QMutexLocker lock(&m_mutex);
    return m_records;
}

bool LogCapture::contains(const QString &text) const
{
    return count(text) > 0;
}

bool LogCapture::contains(const QString &text, QtMsgType type) const
{
    const QList<Record> all = records();
    for (const Record &record : all) {
        if (record.type == type && record.message.contains(text))
            return true;
    }
    return false;
}

int LogCapture::count(const QString &text) const
{
    int n = 0;
    const QList<Record> all = records();
    for (const Record &record : all)
        n += record.message.contains(text) ? 1 : 0;
    return n;
}

LogCapture::Record LogCapture::first(const QString &text) const
{
    const QList<Record> all = records();
    for (const Record &record : all) {
        if (record.message.contains(text))
            return record;
    }
    return {QtDebugMsg, QString(), QString(), QString()};
}

void LogCapture::clear()
{
    QMutexLocker lock(&m_mutex);
    m_records.clear();
}
