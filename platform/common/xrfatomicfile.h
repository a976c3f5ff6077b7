#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>

// A file written whole or not at all. The data goes to a temporary file beside the target
// (QSaveFile's "<name>.XXXXXX"); commit() flushes it, checks that every byte reached the file,
// syncs it to the storage and only then renames it over the target. A failed write at any point
// (a full disk, a file size limit, an I/O error) leaves the target as it was and says why, with
// the target's path in the message. Every atomic write of the library and the simulators goes
// through this class (XrfUtils::writeFileAtomically for a whole buffer).
class XrfAtomicFile
{
public:
    explicit XrfAtomicFile(const QString &path);
    // An uncommitted write is cancelled: the temporary file goes, the target stays.
    ~XrfAtomicFile();
    XrfAtomicFile(const XrfAtomicFile &) = delete;
    XrfAtomicFile &operator=(const XrfAtomicFile &) = delete;

    QString path() const { return m_path; }
    // Creates the missing folders and the temporary file.
    bool open(QString *errorMsg = nullptr);
    // Appends to the temporary file; the first failure is kept and reported by commit().
    bool write(const QByteArray &data);
    bool commit(QString *errorMsg = nullptr);
    void cancel();

    // True for a temporary file name this class leaves behind when the process dies before the
    // rename: a JSON, text or zip file name followed by '.' and six letters or digits; and for
    // the ".zip.part" files of archives (XrfZipWriter, XrfUtils::zip).
    static bool isTemporaryFileName(const QString &fileName);
    // Removes such files from `folder` (and, when `recursive`, the folders below it; links are not
    // followed); returns how many went. For start-up, when no write of the library is under way.
    static int removeStaleTemporaryFiles(const QString &folder, bool recursive);

    // Fault seam: from now on, writes of the files whose path matches `pattern` fail as on a full
    // disk ("No space left on device") after the temporary file was opened; an empty pattern
    // ends it. Tests use it where they cannot fill a real file system.
    static void simulateFullDisk(const QString &pattern);

private:
    bool fail(const QString &what, const QString &reason, QString *errorMsg);

    QString m_path;
    QSaveFile m_file;
    QString m_writeError;
    qint64 m_written = 0;
};
