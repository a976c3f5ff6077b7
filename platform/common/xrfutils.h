#pragma once

#include <QJsonDocument>
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
    // Writes `data` to a temporary file beside `path`, syncs it and renames it over `path`, so a
    // crash leaves either the old or the new file. Missing folders are created.
    static WriteResult writeFileAtomically(const QString &path, const QByteArray &data,
                                           QString *errorMsg = nullptr);
    static bool writeJsonFile(const QString &path, const QJsonDocument &document,
                              QString *errorMsg = nullptr,
                              QJsonDocument::JsonFormat format = QJsonDocument::Indented);
    // Reads a whole JSON file; `value` receives its object or array.
    static bool readJsonFile(const QString &path, QJsonValue *value, QString *errorMsg = nullptr);

    static QString md5OfFile(const QString &path);

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
    // Copies the folder `from` with everything below it into `to` (created when missing).
    static bool copyDirectory(const QString &from, const QString &to, QString *errorMsg = nullptr);
    // Flushes every file system buffer to the storage devices.
    static bool syncDeviceFileSystem(QString *errorMsg);

    // The start-up script information file: a JSON array of the commands that the instrument's
    // start-up runs, each {"command", "workingDir", "stdErrFile", "stdOutFile"}.
    static QString startupScriptInfoFilePath();
    // Adds the command to that file; an entry with the same command is replaced.
    static bool addStartupScript(const QString &command, const QString &workingDir,
                                 const QString &stdErrFile, const QString &stdOutFile,
                                 QString *errorMsg = nullptr);
};
