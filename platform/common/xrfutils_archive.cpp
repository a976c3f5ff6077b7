// Zip archives of folders and files (whole, or written entry by entry), and folder copies.

#include "xrfutils.h"
#include "xrfzipwriter.h"

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

#include <unistd.h>

namespace {

void setError(QString *errorMsg, const QString &text)
{
    if (errorMsg)
        *errorMsg = text;
}

// How the entries of an archive are made.
struct EntryOptions
{
    QByteArray password; // empty: no encryption
    bool recursive = true;
    QString prefix; // put before every entry name
};

bool openEntry(QuaZipFile *entry, const QuaZipNewInfo &info, const EntryOptions &options,
               int level = Z_DEFAULT_COMPRESSION)
{
    return entry->open(QIODevice::WriteOnly, info,
                       options.password.isEmpty() ? nullptr : options.password.constData(), 0,
                       Z_DEFLATED, level);
}

bool addFileToZip(QuaZip *zip, const QString &filePath, const QString &entryName,
                  const EntryOptions &options, QString *errorMsg)
{
    QFile source(filePath);
    if (!source.open(QIODevice::ReadOnly)) {
        setError(errorMsg,
                 QStringLiteral("Failed to open %1: %2").arg(filePath, source.errorString()));
        return false;
    }
    QuaZipFile entry(zip);
    if (!openEntry(&entry, QuaZipNewInfo(entryName, filePath), options)) {
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

// Adds the folder's files (and subfolders when recursive) or the single file.
bool addInputToZip(QuaZip *zip, const QString &inputPath, const EntryOptions &options,
                   QString *errorMsg)
{
    const QFileInfo input(inputPath);
    if (!input.isDir())
        return addFileToZip(zip, inputPath, options.prefix + input.fileName(), options, errorMsg);
    const QDir root(inputPath);
    bool ok = true;
    QDirIterator it(
        inputPath, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
        options.recursive ? QDirIterator::Subdirectories : QDirIterator::NoIteratorFlags);
    while (ok && it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        // A link is neither followed nor stored: it could point anywhere on the instrument.
        if (info.isSymLink())
            continue;
        const QString entryName = options.prefix + root.relativeFilePath(path);
        if (info.isDir()) {
            if (options.recursive)
                ok = addFolderEntry(zip, path, entryName, errorMsg);
        } else {
            ok = addFileToZip(zip, path, entryName, options, errorMsg);
        }
    }
    return ok;
}

bool zipInto(const QString &inputPath, const QString &archivePath, const EntryOptions &options,
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
    bool ok = addInputToZip(&zip, inputPath, options, errorMsg);
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

// Whether the written archive is whole. Its writer reports no failed flush of its last buffer
// (a full disk), which would cut off the central directory at the end: read the directory back.
// Then the archive is synced to the storage.
bool archiveIsWhole(const QString &partPath, QString *errorMsg)
{
    QuaZip written(partPath);
    const bool readable = written.open(QuaZip::mdUnzip) && written.getEntriesCount() >= 0
        && written.getZipError() == UNZ_OK;
    written.close();
    QFile file(partPath);
    const bool synced = readable && file.open(QIODevice::ReadOnly) && ::fsync(file.handle()) == 0;
    if (synced)
        return true;
    setError(errorMsg,
             QStringLiteral("Failed to write archive %1: %2")
                 .arg(partPath,
                      readable ? QString::fromLocal8Bit(strerror(errno))
                               : QStringLiteral("it cannot be read back (disk full?)")));
    return false;
}

// rename(2) replaces an older file of the same name in one step.
bool renameIntoPlace(const QString &partPath, const QString &path, QString *errorMsg)
{
    if (!archiveIsWhole(partPath, errorMsg)) {
        QFile::remove(partPath);
        return false;
    }
    if (std::rename(QFile::encodeName(partPath).constData(), QFile::encodeName(path).constData())
        == 0)
        return true;
    setError(errorMsg,
             QStringLiteral("Failed to rename %1 to %2: %3")
                 .arg(partPath, path, QString::fromLocal8Bit(strerror(errno))));
    QFile::remove(partPath);
    return false;
}

// Writes the archive under a temporary name and renames it into place.
bool writeArchive(const QString &inputPath, const QString &zipPath, const EntryOptions &options,
                  QString *errorMsg)
{
    if (!QDir().mkpath(QFileInfo(zipPath).absolutePath())) {
        setError(
            errorMsg,
            QStringLiteral("Failed to create folder %1").arg(QFileInfo(zipPath).absolutePath()));
        return false;
    }
    const QString partPath = zipPath + QStringLiteral(".part");
    QFile::remove(partPath);
    QString zipError;
    if (!zipInto(inputPath, partPath, options, &zipError)) {
        QFile::remove(partPath);
        setError(errorMsg,
                 QStringLiteral("Failed to write archive %1: %2; the file was left as "
                                "it was")
                     .arg(zipPath, zipError));
        return false;
    }
    return renameIntoPlace(partPath, zipPath, errorMsg);
}

} // namespace

bool XrfUtils::backupDirectory(const QString &dir, const QString &zipPath, QString *errorMsg)
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
    return writeArchive(dir, zipPath, EntryOptions(), errorMsg);
}

bool XrfUtils::zip(const QString &inputPath, const QString &zipFileName,
                   const QString &destinationDir, bool recursive, bool replaceExisting,
                   bool keepFolderName, const QString &password, QString *errorMsg)
{
    const QFileInfo input(inputPath);
    if (!input.exists()) {
        setError(errorMsg, QStringLiteral("%1 does not exist").arg(inputPath));
        return false;
    }
    const QString name = QFileInfo(zipFileName).fileName();
    if (name.isEmpty() || name != zipFileName || destinationDir.isEmpty()) {
        setError(errorMsg,
                 QStringLiteral("Invalid archive name '%1' or folder '%2'")
                     .arg(zipFileName, destinationDir));
        return false;
    }
    const QString zipPath = QDir(destinationDir).filePath(name);
    if (input.isDir() && isInside(zipPath, inputPath)) {
        setError(errorMsg,
                 QStringLiteral("Invalid archive path '%1' for folder %2").arg(zipPath, inputPath));
        return false;
    }
    if (!replaceExisting && QFileInfo::exists(zipPath)) {
        setError(errorMsg, QStringLiteral("Archive %1 already exists").arg(zipPath));
        return false;
    }
    EntryOptions options;
    options.password = password.toUtf8();
    options.recursive = recursive;
    if (keepFolderName && input.isDir())
        options.prefix = input.fileName() + QLatin1Char('/');
    return writeArchive(inputPath, zipPath, options, errorMsg);
}

struct XrfZipWriter::Private
{
    QString zipPath;
    QString partPath;
    std::unique_ptr<QuaZip> zip;
    std::unique_ptr<QuaZipFile> entry;
    int level = Z_DEFAULT_COMPRESSION;
    QString error;
    bool committed = false;

    bool endEntry()
    {
        if (!entry)
            return true;
        entry->close();
        const bool ok = entry->getZipError() == UNZ_OK;
        if (!ok && error.isEmpty())
            error = QStringLiteral("Failed to finish an entry of %1, zip error:%2")
                        .arg(zipPath)
                        .arg(entry->getZipError());
        entry.reset();
        return ok;
    }
};

XrfZipWriter::XrfZipWriter(const QString &zipPath) : d(new Private)
{
    d->zipPath = zipPath;
    d->partPath = zipPath + QStringLiteral(".part");
}

XrfZipWriter::~XrfZipWriter()
{
    if (d->committed)
        return;
    d->entry.reset();
    if (d->zip && d->zip->isOpen())
        d->zip->close();
    d->zip.reset();
    QFile::remove(d->partPath);
}

void XrfZipWriter::setCompressionLevel(int level)
{
    d->level = qBound(1, level, 9);
}

bool XrfZipWriter::open(QString *errorMsg)
{
    const QString folder = QFileInfo(d->zipPath).absolutePath();
    if (!QDir().mkpath(folder)) {
        setError(errorMsg, QStringLiteral("Failed to create folder %1").arg(folder));
        return false;
    }
    QFile::remove(d->partPath);
    d->zip.reset(new QuaZip(d->partPath));
    if (!d->zip->open(QuaZip::mdCreate)) {
        setError(errorMsg,
                 QStringLiteral("Failed to create archive %1, zip error:%2")
                     .arg(d->partPath)
                     .arg(d->zip->getZipError()));
        d->zip.reset();
        return false;
    }
    return true;
}

bool XrfZipWriter::beginEntry(const QString &entryName, QString *errorMsg)
{
    if (!d->zip || !d->endEntry()) {
        setError(errorMsg, d->zip ? d->error : QStringLiteral("The archive is not open"));
        return false;
    }
    d->entry.reset(new QuaZipFile(d->zip.get()));
    QuaZipNewInfo info(entryName);
    info.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    if (!openEntry(d->entry.get(), info, EntryOptions(), d->level)) {
        setError(errorMsg,
                 QStringLiteral("Failed to add %1 to the archive, zip error:%2")
                     .arg(entryName)
                     .arg(d->entry->getZipError()));
        d->entry.reset();
        return false;
    }
    return true;
}

bool XrfZipWriter::write(const char *data, qint64 size)
{
    if (!d->entry) {
        if (d->error.isEmpty())
            d->error = QStringLiteral("No entry is open in %1").arg(d->zipPath);
        return false;
    }
    if (d->entry->write(data, size) == size)
        return true;
    if (d->error.isEmpty())
        d->error = QStringLiteral("Failed to write into %1, zip error:%2")
                       .arg(d->partPath)
                       .arg(d->entry->getZipError());
    return false;
}

bool XrfZipWriter::commit(QString *errorMsg)
{
    if (!d->zip) {
        setError(errorMsg, QStringLiteral("The archive is not open"));
        return false;
    }
    bool ok = d->endEntry() && d->error.isEmpty();
    d->zip->close();
    if (ok && d->zip->getZipError() != UNZ_OK) {
        d->error = QStringLiteral("Failed to close archive %1, zip error:%2")
                       .arg(d->partPath)
                       .arg(d->zip->getZipError());
        ok = false;
    }
    d->zip.reset();
    if (!ok) {
        setError(errorMsg, d->error);
        QFile::remove(d->partPath);
        return false;
    }
    d->committed = renameIntoPlace(d->partPath, d->zipPath, errorMsg);
    return d->committed;
}

QString XrfZipWriter::errorString() const
{
    return d->error;
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
        if (it.fileInfo().isSymLink())
            continue;
        const QString target = to + QLatin1Char('/') + source.relativeFilePath(path);
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
