// Folder backups into zip archives and folder copies.

#include "xrfutils.h"

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipnewinfo.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

void setError(QString *errorMsg, const QString &text)
{
    if (errorMsg)
        *errorMsg = text;
}

bool addFileToZip(QuaZip *zip, const QString &filePath, const QString &entryName, QString *errorMsg)
{
    QFile source(filePath);
    if (!source.open(QIODevice::ReadOnly)) {
        setError(errorMsg,
                 QStringLiteral("Failed to open %1: %2").arg(filePath, source.errorString()));
        return false;
    }
    QuaZipFile entry(zip);
    if (!entry.open(QIODevice::WriteOnly, QuaZipNewInfo(entryName, filePath))) {
        setError(errorMsg,
                 QStringLiteral("Failed to add %1 to the archive, zip error:%2")
                     .arg(entryName)
                     .arg(entry.getZipError()));
        return false;
    }
    while (!source.atEnd()) {
        const QByteArray block = source.read(1 << 16);
        if (block.isEmpty() && source.error() != QFileDevice::NoError)
            break;
        if (entry.write(block) != block.size())
            break;
    }
    entry.close();
    if (source.error() != QFileDevice::NoError || entry.getZipError() != UNZ_OK) {
        setError(errorMsg,
                 QStringLiteral("Failed to write %1 into the archive, zip error:%2 %3")
                     .arg(entryName)
                     .arg(entry.getZipError())
                     .arg(source.errorString()));
        return false;
    }
    return true;
}

bool addFolderEntry(QuaZip *zip, const QString &dirPath, const QString &entryName,
                    QString *errorMsg)
{
    QuaZipFile entry(zip);
    if (!entry.open(QIODevice::WriteOnly, QuaZipNewInfo(entryName + QLatin1Char('/'), dirPath))) {
        setError(errorMsg,
                 QStringLiteral("Failed to add folder %1 to the archive, zip error:%2")
                     .arg(entryName)
                     .arg(entry.getZipError()));
        return false;
    }
    entry.close();
    return true;
}

// What goes into an archive of a folder.
struct ZipOptions
{
    bool recursive = true;
    bool includeHidden = true;
    // Entries start with the folder's own name ("profile/...") rather than below it.
    bool keepRootFolder = false;
};

QDir::Filters entryFilters(const ZipOptions &options)
{
    QDir::Filters filters = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System;
    if (options.includeHidden)
        filters |= QDir::Hidden;
    return filters;
}

// An entry name relative to the archive's root: never absolute, never climbing out of it.
bool isSafeEntryName(const QString &name)
{
    return !name.isEmpty() && !QDir::isAbsolutePath(name)
        && !QDir::cleanPath(name).startsWith(QLatin1String(".."))
        && !name.split(QLatin1Char('/')).contains(QStringLiteral(".."));
}

bool addFolderTree(QuaZip *zip, const QString &dir, const ZipOptions &options, QString *errorMsg)
{
    const QDir root(dir);
    const QString prefix =
        options.keepRootFolder ? QFileInfo(dir).fileName() + QLatin1Char('/') : QString();
    if (!prefix.isEmpty() && !addFolderEntry(zip, dir, prefix.chopped(1), errorMsg))
        return false;
    QDirIterator it(dir, entryFilters(options),
                    options.recursive ? QDirIterator::Subdirectories
                                      : QDirIterator::NoIteratorFlags);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        // A link is neither followed nor stored: it could point anywhere on the instrument.
        if (info.isSymLink())
            continue;
        const QString entryName = prefix + root.relativeFilePath(path);
        if (!isSafeEntryName(entryName)) {
            setError(errorMsg, QStringLiteral("Refusing archive entry '%1'").arg(entryName));
            return false;
        }
        const bool ok = info.isDir() ? addFolderEntry(zip, path, entryName, errorMsg)
                                     : addFileToZip(zip, path, entryName, errorMsg);
        if (!ok)
            return false;
    }
    return true;
}

bool zipFolderInto(const QString &dir, const QString &archivePath, const ZipOptions &options,
                   QString *errorMsg)
{
    QuaZip zip(archivePath);
    if (!zip.open(QuaZip::mdCreate)) {
        setError(errorMsg,
                 QStringLiteral("Failed to create archive %1, zip error:%2")
                     .arg(archivePath)
                     .arg(zip.getZipError()));
        return false;
    }
    bool ok = addFolderTree(&zip, dir, options, errorMsg);
    zip.close();
    if (ok && zip.getZipError() != UNZ_OK) {
        setError(errorMsg,
                 QStringLiteral("Failed to close archive %1, zip error:%2")
                     .arg(archivePath)
                     .arg(zip.getZipError()));
        ok = false;
    }
    return ok;
}

bool isInside(const QString &path, const QString &dir)
{
    const QString cleanDir = QDir::cleanPath(QFileInfo(dir).absoluteFilePath()) + QLatin1Char('/');
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath()).startsWith(cleanDir);
}

} // namespace

namespace {

// Zips `dir` beside `zipPath` under a temporary name and renames it into place.
bool zipIntoPlace(const QString &dir, const QString &zipPath, const ZipOptions &options,
                  QString *errorMsg)
{
    if (!QFileInfo(dir).isDir()) {
        setError(errorMsg, QStringLiteral("Folder %1 does not exist").arg(dir));
        return false;
    }
    if (zipPath.isEmpty() || isInside(zipPath, dir)) {
        setError(errorMsg,
                 QStringLiteral("Invalid archive path '%1' for folder %2").arg(zipPath, dir));
        return false;
    }
    if (!QDir().mkpath(QFileInfo(zipPath).absolutePath())) {
        setError(
            errorMsg,
            QStringLiteral("Failed to create folder %1").arg(QFileInfo(zipPath).absolutePath()));
        return false;
    }
    const QString partPath = zipPath + QStringLiteral(".part");
    QFile::remove(partPath);
    if (!zipFolderInto(dir, partPath, options, errorMsg)) {
        QFile::remove(partPath);
        return false;
    }
    // rename(2) replaces an older archive of the same name in one step.
    if (std::rename(QFile::encodeName(partPath).constData(), QFile::encodeName(zipPath).constData())
        != 0) {
        setError(errorMsg,
                 QStringLiteral("Failed to rename %1 to %2: %3")
                     .arg(partPath, zipPath, QString::fromLocal8Bit(strerror(errno))));
        QFile::remove(partPath);
        return false;
    }
    return true;
}

} // namespace

bool XrfUtils::backupDirectory(const QString &dir, const QString &zipPath, QString *errorMsg)
{
    return zipIntoPlace(dir, zipPath, ZipOptions(), errorMsg);
}

bool XrfUtils::zip(const QString &sourceDir, const QString &zipPath, bool recursive,
                   bool includeHidden, bool keepRootFolder, bool syncToStorage, QString *errorMsg)
{
    ZipOptions options;
    options.recursive = recursive;
    options.includeHidden = includeHidden;
    options.keepRootFolder = keepRootFolder;
    if (!zipIntoPlace(sourceDir, zipPath, options, errorMsg))
        return false;
    return !syncToStorage || syncDeviceFileSystem(errorMsg);
}

bool XrfUtils::copyDirectory(const QString &from, const QString &to, QString *errorMsg)
{
    const QDir source(from);
    if (!source.exists()) {
        setError(errorMsg, QStringLiteral("Folder %1 does not exist").arg(from));
        return false;
    }
    if (!QDir().mkpath(to)) {
        setError(errorMsg, QStringLiteral("Failed to create folder %1").arg(to));
        return false;
    }
    QDirIterator it(from, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = to + QLatin1Char('/') + source.relativeFilePath(path);
        if (it.fileInfo().isSymLink())
            continue;
        if (it.fileInfo().isDir()) {
            if (!QDir().mkpath(target)) {
                setError(errorMsg, QStringLiteral("Failed to create folder %1").arg(target));
                return false;
            }
            continue;
        }
        QDir().mkpath(QFileInfo(target).absolutePath());
        QFile::remove(target);
        if (!QFile::copy(path, target)) {
            setError(errorMsg, QStringLiteral("Failed to copy %1 to %2").arg(path, target));
            return false;
        }
    }
    return true;
}

QString XrfUtils::safeFileName(const QString &name)
{
    QString base = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
    base = base.mid(base.lastIndexOf(QLatin1Char('\\')) + 1);
    for (QChar &c : base) {
        const bool allowed = (c.unicode() < 128 && c.isLetterOrNumber()) || c == QLatin1Char('.')
            || c == QLatin1Char('-') || c == QLatin1Char('_');
        if (!allowed)
            c = QLatin1Char('_');
    }
    if (base == QLatin1String(".") || base == QLatin1String(".."))
        return QString();
    return base;
}
