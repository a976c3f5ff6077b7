#pragma once

#include <QDateTime>
#include <QString>

#include <mutex>
#include <optional>

// The instrument's battery-backed real-time clock. It runs with the wall clock (not the time
// scale: the library compares it with the wall clock), optionally off by some seconds, or it
// stands still. The operating system reads it through a program; the simulated one is a shell
// script that prints the clock as "2026-12-06 09:15:42.000000+00:00", rewritten whenever the
// clock is changed. Thread-safe.
class SimRtc
{
public:
    // Writes the program to `path` and keeps it up to date from now on; false when the file
    // cannot be written.
    bool installProgram(const QString &path);
    QString programPath() const;

    // The clock runs, `seconds` ahead of the wall clock (negative: behind).
    void run(qint64 offsetSeconds = 0);
    // The clock stands still at `at` (UTC).
    void stopAt(const QDateTime &at);
    bool isRunning() const;
    QDateTime now() const;

private:
    bool writeProgram();

    mutable std::mutex m_mutex;
    QString m_path;
    qint64 m_offsetSeconds = 0;
    std::optional<QDateTime> m_stoppedAt;
};
