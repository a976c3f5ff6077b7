#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

// Writes a zip archive entry by entry, the content of an entry block by block, so that an archive
// of any size passes through a small buffer. The archive is written beside its path under a
// temporary name and renamed into place by commit(): until then the path holds what it held
// before, and a writer destroyed without commit() leaves no trace.
class XrfZipWriter
{
public:
    explicit XrfZipWriter(const QString &zipPath);
    ~XrfZipWriter();
    XrfZipWriter(const XrfZipWriter &) = delete;
    XrfZipWriter &operator=(const XrfZipWriter &) = delete;

    // Deflate level of the entries begun afterwards: 1 fastest, 9 smallest (default 6).
    void setCompressionLevel(int level);
    bool open(QString *errorMsg);
    // Begins an entry named `entryName` (a relative path); ends the previous one.
    bool beginEntry(const QString &entryName, QString *errorMsg);
    bool write(const char *data, qint64 size);
    bool write(const QByteArray &data) { return write(data.constData(), data.size()); }
    // Ends the last entry, closes the archive and renames it into place.
    bool commit(QString *errorMsg);
    // The first write error, if any.
    QString errorString() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
