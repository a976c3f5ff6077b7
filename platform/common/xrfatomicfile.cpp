#include "xrfatomicfile.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QMutex>
#include <QRegularExpression>

#include <atomic>
#include <cerrno>
#include <cstring>

#include <signal.h>
#include <unistd.h>

namespace {

// Crash tests set XRF_KILL_AT_ATOMIC_WRITE to "N:write" or "N:rename": the process kills itself
// at its N-th atomic commit, with the data only partly in the temporary file ("write") or just
// before the rename ("rename"), the two moments a power loss hurts most.
struct KillPoint
{
    int commit = 0;
    bool beforeRename = false;
};

KillPoint killPointFromEnvironment()
{
    const QString spec = QString::fromLocal8Bit(qgetenv("XRF_KILL_AT_ATOMIC_WRITE"));
    const QStringList parts = spec.split(QLatin1Char(':'));
    KillPoint point;
    point.commit = parts.value(0).toInt();
    point.beforeRename = parts.value(1) == QLatin1String("rename");
    return point;
}

std::atomic<int> g_commits{0};

QMutex g_fullDiskMutex;
QRegularExpression g_fullDiskPaths;

bool diskIsFullFor(const QString &path)
{
    QMutexLocker lock(&g_fullDiskMutex);
    return !g_fullDiskPaths.pattern().isEmpty() && g_fullDiskPaths.match(path).hasMatch();
}

void killHereWhenAsked(bool beforeRename)
{
    static const KillPoint point = killPointFromEnvironment();
    if (point.commit <= 0 || point.beforeRename != beforeRename)
        return;
    if (g_commits.load() == point.commit)
        ::raise(SIGKILL);
}

} // namespace

XrfAtomicFile::XrfAtomicFile(const QString &path) : m_path(path), m_file(path) { }

XrfAtomicFile::~XrfAtomicFile()
{
    cancel();
}

bool XrfAtomicFile::open(QString *errorMsg)
{
    if (!QDir().mkpath(QFileInfo(m_path).absolutePath()))
        return fail(QStringLiteral("create the folder of"), QStringLiteral("mkpath failed"),
                    errorMsg);
    if (!m_file.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("open a temporary file for"), m_file.errorString(), errorMsg);
    return true;
}

bool XrfAtomicFile::write(const QByteArray &data)
{
    if (!m_writeError.isEmpty())
        return false;
    if (!m_file.isOpen()) {
        m_writeError = QStringLiteral("the file is not open");
        return false;
    }
    if (diskIsFullFor(m_path)) {
        m_writeError = QString::fromLocal8Bit(std::strerror(ENOSPC));
        return false;
    }
    if (m_file.write(data) != data.size()) {
        m_writeError = m_file.errorString();
        return false;
    }
    m_written += data.size();
    return true;
}

// QSaveFile buffers small writes and its commit() does not look at a failed flush of that buffer:
// on a full disk it would rename an empty or short temporary file over the target. So the buffer
// is flushed and checked here, the byte count compared with the file, and the file synced.
bool XrfAtomicFile::commit(QString *errorMsg)
{
    if (!m_file.isOpen())
        return fail(QStringLiteral("write"), QStringLiteral("the file is not open"), errorMsg);
    ++g_commits;
    killHereWhenAsked(false);
    if (m_writeError.isEmpty() && !m_file.flush())
        m_writeError = m_file.errorString();
    if (m_writeError.isEmpty() && m_file.error() != QFileDevice::NoError)
        m_writeError = m_file.errorString();
    if (m_writeError.isEmpty() && m_file.size() != m_written)
        m_writeError =
            QStringLiteral("%1 of %2 bytes reached the disk").arg(m_file.size()).arg(m_written);
    if (m_writeError.isEmpty() && ::fsync(m_file.handle()) != 0)
        m_writeError = QString::fromLocal8Bit(std::strerror(errno));
    if (!m_writeError.isEmpty()) {
        const QString reason = m_writeError;
        cancel();
        return fail(QStringLiteral("write"), reason, errorMsg);
    }
    killHereWhenAsked(true);
    if (!m_file.commit())
        return fail(QStringLiteral("replace"), m_file.errorString(), errorMsg);
    return true;
}

void XrfAtomicFile::cancel()
{
    if (m_file.isOpen()) {
        m_file.cancelWriting();
        m_file.commit(); // after cancelWriting() this removes the temporary file
    }
}

bool XrfAtomicFile::fail(const QString &what, const QString &reason, QString *errorMsg)
{
    if (errorMsg)
        *errorMsg = QStringLiteral("Cannot %1 %2: %3; the file was left as it was")
                        .arg(what, m_path, reason);
    return false;
}

void XrfAtomicFile::simulateFullDisk(const QString &pattern)
{
    QMutexLocker lock(&g_fullDiskMutex);
    g_fullDiskPaths.setPattern(pattern);
}

bool XrfAtomicFile::isTemporaryFileName(const QString &fileName)
{
    static const QRegularExpression pattern(
        QStringLiteral("^.+\\.((json|txt|zip|sh)\\.[A-Za-z0-9]{6}|zip\\.part)$"));
    return pattern.match(fileName).hasMatch();
}

int XrfAtomicFile::removeStaleTemporaryFiles(const QString &folder, bool recursive)
{
    int removed = 0;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoSymLinks,
                    recursive ? QDirIterator::Subdirectories : QDirIterator::NoIteratorFlags);
    while (it.hasNext()) {
        const QString path = it.next();
        if (isTemporaryFileName(it.fileName()) && QFile::remove(path))
            ++removed;
    }
    return removed;
}
