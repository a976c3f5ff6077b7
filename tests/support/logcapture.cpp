#include "logcapture.h"

#include <QThread>

namespace {
// Guards the pointer to the capture and its lifetime against the logging threads.
std::mutex g_captureMutex;
LogCapture *g_capture = nullptr;
} // namespace

LogCapture::LogCapture()
{
    std::lock_guard<std::mutex> lock(g_captureMutex);
    g_capture = this;
    m_previous = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    std::lock_guard<std::mutex> lock(g_captureMutex);
    qInstallMessageHandler(m_previous);
    g_capture = nullptr;
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    QtMessageHandler previous = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_captureMutex);
        LogCapture *capture = g_capture;
        if (!capture)
            return;
        std::lock_guard<std::mutex> recordsLock(capture->m_mutex);
        capture->m_records.append({type,
                                   QString::fromLatin1(context.category ? context.category : ""),
                                   QThread::currentThread()->objectName(), message});
        previous = capture->m_previous;
    }
    // Warnings and worse still reach the test output.
    if (type != QtDebugMsg && type != QtInfoMsg && previous)
        previous(type, context, message);
}

QList<LogCapture::Record> LogCapture::records() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
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
    std::lock_guard<std::mutex> lock(m_mutex);
    m_records.clear();
}
