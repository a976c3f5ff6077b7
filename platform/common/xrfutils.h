#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QString>

// Utilities of the common library: the instrument's folders, JSON files, sleeping.
class XrfUtils
{
    Q_GADGET
public:
    // The factory steps in their order; the names are the keys of lastResult.json.
    enum FactoryStepId : qint32 {
        None = 0,
        SoftwareUpdate = 1,
        Provisioning = 2,
        HardwareSetup = 3,
        CameraSetup = 4,
        Stability = 5,
        CollimatedStability = 6,
        BeamsSetup = 7,
        AirShot = 8,
        PrerequisiteShots = 9,
        CalibrationShot = 10,
        FactorSet = 11,
    };
    Q_ENUM(FactoryStepId)

    // The instrument root holds home/, sysroot/ and sim/. Without one the home folder is the
    // user's home and device paths are used as they are, as on an instrument.
    static void setInstrumentRoot(const QString &root);
    static QString instrumentRoot();
    static QString homeCorvaneAppDirPath();
    // An absolute device path ("/media/sdcard/x") as it lies below the sysroot.
    static QString devicePath(const QString &absolutePath);
    // Where the simulated controller keeps its non-volatile memory and EEPROM.
    static QString simStatePath();
    // The program that prints the real-time clock: "/sbin/hwclock" as a device path, unless
    // another one was set (an empty path restores it).
    static QString hwClockProgram();
    static void setHwClockProgram(const QString &path);

    // Sleeps for `ms` of instrument time (through the time scale, to the nanosecond, never less)
    // while the calling thread's events keep running.
    static void activeSleep(int ms);

    enum class WriteResult { Ok, OpenFailed, WriteFailed, CommitFailed };
    // Writes `data` to a temporary file beside `path`, checks and syncs it and renames it over
    // `path` (XrfAtomicFile), so a crash or a full disk leaves either the old or the new file;
    // the message names the file. Missing folders are created.
    static WriteResult writeFileAtomically(const QString &path, const QByteArray &data,
                                           QString *errorMsg = nullptr);
    static bool writeJsonFile(const QString &path, const QJsonDocument &document,
                              QString *errorMsg = nullptr,
                              QJsonDocument::JsonFormat format = QJsonDocument::Indented);
    // Reads a whole JSON file; `value` receives its object or array.
    static bool readJsonFile(const QString &path, QJsonValue *value, QString *errorMsg = nullptr);
    // For a JSON object file that is about to be written back after it was read: when the file
    // exists but cannot be read, is not JSON or holds no object, it is renamed to
    // "<path>.unreadable-<local time yyyyMMddTHHmmss>" so that nothing of it is lost, and a
    // critical alarm tells the technician. True when `path` may be written now (readable,
    // missing, or kept aside); false with the reason when an unreadable file could not be moved,
    // and then it must not be overwritten.
    static bool setAsideUnreadableJsonFile(const QString &path, QString *errorMsg = nullptr);

    static QString md5OfFile(const QString &path);
    // The value at the dotted `path` ("a.b.c") of `json`; `defaultValue` when a part of the path
    // is missing or not an object.
    static QJsonValue getJsonValue(const QJsonObject &json, const QString &path,
                                   const QJsonValue &defaultValue = QJsonValue());

    // Removes what `path` holds: everything, or with `foldersOnly` just the subfolders, keeping
    // the files at its top level. With `removeSelf` the folder itself goes too.
    static bool removeDirectoryContents(const QString &path, bool removeSelf, bool foldersOnly);
    // The "version" of a version.json file (a string or a number).
    static bool getJsonFileVersion(const QString &path, QString *version, QString *errorMsg);
    // The file whose presence lets the technician into the factory pages.
    static QString factoryPasswordFilePath();
    // Where controller firmware logs are written (hardware setup, stability).
    static QString FirmwareLogFilesPath();
    // Now, in UTC, as ISO 8601 ("2026-12-06T09:15:00Z"): the time stamp of every step record.
    static QString currentUtcIsoTime();

    // Zips the folder `dir` with everything below it into `zipPath` (entries relative to `dir`).
    // The archive is written beside `zipPath` under a temporary name and renamed into place, so
    // `zipPath` is either absent, the old archive or the whole new one.
    static bool backupDirectory(const QString &dir, const QString &zipPath, QString *errorMsg);
    // Zips `inputPath` into `destinationDir`/`zipFileName`: a file as one entry, a folder as its
    // files (and, when `recursive`, everything below it) with entry names relative to it, or to
    // its parent with `keepFolderName`. Without `replaceExisting` an existing archive of that
    // name is an error. A non-empty `password` encrypts the entries. The archive appears whole or
    // not at all.
    static bool zip(const QString &inputPath, const QString &zipFileName,
                    const QString &destinationDir, bool recursive, bool replaceExisting,
                    bool keepFolderName, const QString &password, QString *errorMsg = nullptr);
    // Unpacks the zip archive `archivePath` into the folder `destination`, which afterwards
    // holds exactly the archive's content. Entries are written one by one into a temporary
    // folder beside `destination` and checked first: an absolute name, a ".." component, a
    // link or a name with a backslash or control character refuses the whole archive, as does
    // more than 1 GiB of content. Only a complete unpack replaces `destination` (renamed into
    // place); a refused or failed one leaves it as it was and leaves nothing else behind.
    static bool unzip(const QString &archivePath, const QString &destination,
                      QString *errorMsg = nullptr);
    // Copies the folder `from` with everything below it into `to` (created when missing).
    // Links are neither followed nor copied.
    static bool copyDirectory(const QString &from, const QString &to, QString *errorMsg = nullptr);
    // A name from outside (a caller, a data file, a cloud answer) reduced to a safe base name: the
    // part after the last slash, with every character other than letters, digits, '.', '-' and
    // '_' replaced by '_'; empty when nothing usable is left ("", ".", "..").
    static QString safeFileName(const QString &name);
    // The application's default settings store (QSettings in INI format): below the home folder
    // when an instrument root is set, else QSettings' own location for the application.
    static QString applicationSettingsFilePath();
    // Flushes every file system buffer to the storage devices.
    static bool syncDeviceFileSystem(QString *errorMsg);

    // The start-up script information file: a JSON array of the commands that the instrument's
    // start-up runs, each {"command", "workingDir", "stdErrFile", "stdOutFile"}.
    static QString startupScriptInfoFilePath();
    // `word` as one word of a POSIX shell command line: as it is when it holds only letters,
    // digits and "_-./:=@%+,", else in single quotes (a quote inside as '\'').
    static QString shellQuoted(const QString &word);
    // Adds the command to that file; an entry with the same command is replaced.
    static bool addStartupScript(const QString &command, const QString &workingDir,
                                 const QString &stdErrFile, const QString &stdOutFile,
                                 QString *errorMsg = nullptr);

    // Chemical elements (xrfutils_elements.cpp), from xraylib's tables.
    enum EmissionLine { KAlpha = 1, KBeta = 2, LAlpha = 3, LBeta = 4 };
    // The atomic number of an element symbol ("Fe": 26); 0 when it names no element.
    static int atomicNumber(const QString &symbol);
    // The symbol of an atomic number; empty when there is no such element.
    static QString elementSymbol(int atomicNumber);
    // The atomic number of an element's English name ("Copper": 29, case-insensitive, spaces
    // around ignored); -1 when it names no element.
    static int atomicNumberFromFullName(const QString &name);
    // The energy of an emission line in keV; 0 when the element has no such line.
    static double emissionLineEnergy(int atomicNumber, EmissionLine line);

    // True for a name from outside (a method id, a sample id, a file name) that may become one
    // component of a path: not empty, not "." or "..", no separators or control characters.
    static bool isSafePathComponent(const QString &name);
};
