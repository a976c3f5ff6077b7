#include "simrtc.h"

#include "xrfutils.h"

#include <QFile>

namespace {

const QString kFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz000+00:00");

QByteArray runningScript(qint64 offsetSeconds)
{
    return QStringLiteral("#!/bin/sh\n"
                          "# The simulated instrument's real-time clock, as hwclock prints it.\n"
                          "exec date -u -d \"@$(( $(date +%s) + %1 ))\" "
                          "'+%Y-%m-%d %H:%M:%S.000000+00:00'\n")
        .arg(offsetSeconds)
        .toUtf8();
}

QByteArray stoppedScript(const QDateTime &at)
{
    return QStringLiteral("#!/bin/sh\n"
                          "# The simulated instrument's real-time clock has stopped.\n"
                          "echo '%1'\n")
        .arg(at.toUTC().toString(kFormat))
        .toUtf8();
}

} // namespace

bool SimRtc::installProgram(const QString &path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_path = path;
    return writeProgram();
}

QString SimRtc::programPath() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_path;
}

void SimRtc::run(qint64 offsetSeconds)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_offsetSeconds = offsetSeconds;
    m_stoppedAt.reset();
    writeProgram();
}

void SimRtc::stopAt(const QDateTime &at)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stoppedAt = at.toUTC();
    writeProgram();
}

bool SimRtc::isRunning() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_stoppedAt;
}

QDateTime SimRtc::now() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stoppedAt)
        return *m_stoppedAt;
    return QDateTime::currentDateTimeUtc().addSecs(m_offsetSeconds);
}

bool SimRtc::writeProgram()
{
    if (m_path.isEmpty())
        return true;
    const QByteArray script =
        m_stoppedAt ? stoppedScript(*m_stoppedAt) : runningScript(m_offsetSeconds);
    if (XrfUtils::writeFileAtomically(m_path, script) != XrfUtils::WriteResult::Ok)
        return false;
    return QFile::setPermissions(m_path,
                                 QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                     | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther
                                     | QFile::ExeOther);
}
