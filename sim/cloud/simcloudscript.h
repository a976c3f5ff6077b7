#pragma once

#include <QHash>
#include <QJsonValue>
#include <QList>
#include <QMutex>
#include <QString>

#include <optional>

// Scripted answers of the cloud simulator, per request id: fail, answer malformed data, answer
// late or answer a given payload, once, a number of times or always. Thread-safe.
class SimCloudScript
{
public:
    static constexpr int Always = -1;

    struct Entry
    {
        enum Action { Fail, Malformed, Delay, Payload };
        Action action = Fail;
        int httpStatus = 500;
        QString error;
        int delayMs = 0;
        QJsonValue payload;
        int remaining = 1;
    };

    void add(int requestId, const Entry &entry);
    // The next scripted entry for the request id, consuming one use of it.
    std::optional<Entry> take(int requestId);
    void clear();

private:
    QMutex m_mutex;
    QHash<int, QList<Entry>> m_entries;
};
