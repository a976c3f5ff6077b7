#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <mutex>

// Records every log message of the process while it lives, with its level and thread name.
// Create it in initTestCase(): the test framework installs its own handler when it starts.
class LogCapture
{
public:
    struct Record
    {
        QtMsgType type;
        QString category;
        QString thread;
        QString message;
    };

    LogCapture();
    ~LogCapture();

    QList<Record> records() const;
    // True when some message contains `text` (and has `type`, when given).
    bool contains(const QString &text) const;
    bool contains(const QString &text, QtMsgType type) const;
    int count(const QString &text) const;
    Record first(const QString &text) const;
    void clear();

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message);
    // A standard mutex, not a QMutex: ThreadSanitizer sees it, so the threads' appends are ordered
    // with the reads and the destruction on the test's thread.
    mutable std::mutex m_mutex;
    QList<Record> m_records;
    QtMessageHandler m_previous = nullptr;
};
