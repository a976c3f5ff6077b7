// Unpacking of zip archives from outside: entry by entry into a temporary folder beside the
// target, every name checked, then moved into place.

#include "xrfutils.h"

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipfileinfo.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr qint64 kMaxUnpackedBytes = qint64(1) << 30;

void setError(QString *errorMsg, const QString &text)
{
    if (errorMsg)
        *errorMsg = text;
}

// A relative name of plain components: no root, no drive, no "..", no backslash or control
// character.
bool isSafeEntryName(const QString &name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('/'))
        || (name.size() > 1 && name.at(1) == QLatin1Char(':')))
        return false;
    for (const QChar c : name) {
        if (c == QLatin1Char('\\') || c.category() == QChar::Other_Control)
            return false;
    }
    for (const QString &part : name.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String(".."))
            return false;
    }
    return true;
}

bool copyEntry(QuaZip *zip, const QString &target, qint64 *total, QString *errorMsg)
{
    QuaZipFile entry(zip);
    if (!entry.open(QIODevice::ReadOnly)) {
        setError(errorMsg,
                 QStringLiteral("cannot read entry, zip error:%1").arg(entry.getZipError()));
        return false;
    }
    if (!QDir().mkpath(QFileInfo(target).absolutePath())) {
        setError(errorMsg, QStringLiteral("cannot create folder for %1").arg(target));
        return false;
    }
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        setError(errorMsg, QStringLiteral("cannot write %1: %2").arg(target, out.errorString()));
        return false;
    }
    while (!entry.atEnd()) {
        const QByteArray block = entry.read(1 << 16);
        if (block.isEmpty() && entry.getZipError() != UNZ_OK)
            break;
        *total += block.size();
        if (*total > kMaxUnpackedBytes) {
            setError(errorMsg, QStringLiteral("content exceeds %1 bytes").arg(kMaxUnpackedBytes));
            return false;
        }
        if (out.write(block) != block.size()) {
            setError(errorMsg,
                     QStringLiteral("cannot write %1: %2").arg(target, out.errorString()));
            return false;
        }
    }
    entry.close();
    if (entry.getZipError() != UNZ_OK) {
        setError(errorMsg, QStringLiteral("corrupt entry, zip error:%1").arg(entry.getZipError()));
        return false;
    }
    return out.flush();
}

bool unpackInto(const QString &archivePath, const QString &folder, QString *errorMsg)
{
    QuaZip zip(archivePath);
    if (!zip.open(QuaZip::mdUnzip)) {
        setError(errorMsg,
                 QStringLiteral("Failed to open archive %1, zip error:%2")
                     .arg(archivePath)
                     .arg(zip.getZipError()));
        return false;
    }
    qint64 total = 0;
    for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
        QuaZipFileInfo64 info;
        if (!zip.getCurrentFileInfo(&info)) {
            setError(errorMsg,
                     QStringLiteral("Failed to read an entry of archive %1").arg(archivePath));
            return false;
        }
        const auto refuse = [&](const QString &why) {
            setError(errorMsg,
                     QStringLiteral("Archive %1 refused: entry '%2' %3")
                         .arg(archivePath, info.name, why));
            return false;
        };
        if (!isSafeEntryName(info.name))
            return refuse(QStringLiteral("leaves the destination folder"));
        if (info.isSymbolicLink())
            return refuse(QStringLiteral("is a link"));
        const QString target = folder + QLatin1Char('/') + info.name;
        if (info.name.endsWith(QLatin1Char('/'))) {
            if (!QDir().mkpath(target))
                return refuse(QStringLiteral("cannot be created"));
            continue;
        }
        QString error;
        if (!copyEntry(&zip, target, &total, &error))
            return refuse(error);
    }
    if (zip.getZipError() != UNZ_OK) {
        setError(errorMsg,
                 QStringLiteral("Failed to read archive %1, zip error:%2")
                     .arg(archivePath)
                     .arg(zip.getZipError()));
        return false;
    }
    return true;
}

bool renamePath(const QString &from, const QString &to)
{
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

} // namespace

bool XrfUtils::unzip(const QString &archivePath, const QString &destination, QString *errorMsg)
{
    const QString target = QDir::cleanPath(QFileInfo(destination).absoluteFilePath());
    const QString parent = QFileInfo(target).absolutePath();
    if (destination.isEmpty() || !QDir().mkpath(parent)) {
        setError(errorMsg, QStringLiteral("Invalid unpack folder '%1'").arg(destination));
        return false;
    }
    if (QFileInfo(target).isSymLink()) {
        setError(errorMsg, QStringLiteral("Unpack folder %1 is a link").arg(target));
        return false;
    }
    QTemporaryDir staging(target + QStringLiteral(".unpack-XXXXXX"));
    if (!staging.isValid()) {
        setError(errorMsg,
                 QStringLiteral("Failed to create a temporary folder beside %1").arg(target));
        return false;
    }
    if (!unpackInto(archivePath, staging.path(), errorMsg))
        return false;
    // The old content steps aside first, so that `destination` is always either old or new.
    QString aside;
    if (QFileInfo::exists(target)) {
        QTemporaryDir asideName(target + QStringLiteral(".old-XXXXXX"));
        aside = asideName.path();
        asideName.remove();
        if (!renamePath(target, aside)) {
            setError(errorMsg,
                     QStringLiteral("Failed to move %1 aside: %2")
                         .arg(target, QString::fromLocal8Bit(strerror(errno))));
            return false;
        }
    }
    if (!renamePath(staging.path(), target)) {
        const QString reason = QString::fromLocal8Bit(strerror(errno));
        if (!aside.isEmpty())
            renamePath(aside, target);
        setError(
            errorMsg,
            QStringLiteral("Failed to move the unpacked archive to %1: %2").arg(target, reason));
        return false;
    }
    staging.setAutoRemove(false);
    if (!aside.isEmpty())
        QDir(aside).removeRecursively();
    return true;
}
