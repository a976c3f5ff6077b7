#include "xrfutils.h"

#include "xrfatomicfile.h"
#include "xrftimescale.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QMutex>
#include <QRegularExpression>
#include <QSettings>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <climits>

namespace {
QMutex g_rootMutex;
QString g_instrumentRoot;
QString g_hwClockProgram;
constexpr qint64 kNsPerMs = 1000 * 1000;
} // namespace

void XrfUtils::setInstrumentRoot(const QString &root)
{
    QMutexLocker lock(&g_rootMutex);
    g_instrumentRoot = root.isEmpty() ? QString() : QDir::cleanPath(QDir(root).absolutePath());
}

QString XrfUtils::instrumentRoot()
{
    QMutexLocker lock(&g_rootMutex);
    return g_instrumentRoot;
}

QString XrfUtils::homeCorvaneAppDirPath()
{
    const QString root = instrumentRoot();
    return root.isEmpty() ? QDir::homePath() : root + QStringLiteral("/home");
}

QString XrfUtils::devicePath(const QString &absolutePath)
{
    const QString root = instrumentRoot();
    if (root.isEmpty())
        return absolutePath;
    return QDir::cleanPath(root + QStringLiteral("/sysroot/") + absolutePath);
}

QString XrfUtils::simStatePath()
{
    const QString root = instrumentRoot();
    return (root.isEmpty() ? QDir::tempPath() : root) + QStringLiteral("/sim");
}

QString XrfUtils::hwClockProgram()
{
    {
        QMutexLocker lock(&g_rootMutex);
        if (!g_hwClockProgram.isEmpty())
            return g_hwClockProgram;
    }
    return devicePath(QStringLiteral("/sbin/hwclock"));
}

void XrfUtils::setHwClockProgram(const QString &path)
{
    QMutexLocker lock(&g_rootMutex);
    g_hwClockProgram = path;
}

// The wait lasts its scaled time to the nanosecond and never less, so N polls of I ms span at
// least N x I ms of instrument time at any scale. Whole milliseconds pass asleep in an event loop;
// the part below a millisecond, all of a wait at small scales, passes processing events.
void XrfUtils::activeSleep(int ms)
{
    QElapsedTimer elapsed;
    elapsed.start();
    const qint64 waitNs = XrfTimeScale::scaledNs(ms);
    QCoreApplication::processEvents();
    QEventLoop loop;
    for (qint64 left = waitNs - elapsed.nsecsElapsed(); left > 0;
         left = waitNs - elapsed.nsecsElapsed()) {
        if (left >= kNsPerMs) {
            QTimer::singleShot(int(std::min<qint64>(left / kNsPerMs, INT_MAX)), Qt::PreciseTimer,
                               &loop, &QEventLoop::quit);
            loop.exec();
        } else {
            loop.processEvents();
        }
    }
}

XrfUtils::WriteResult XrfUtils::writeFileAtomically(const QString &path, const QByteArray &data,
                                                    QString *errorMsg)
{
    XrfAtomicFile file(path);
    if (!file.open(errorMsg))
        return WriteResult::OpenFailed;
    if (!file.write(data)) {
        file.commit(errorMsg); // says why, and leaves the old file
        return WriteResult::WriteFailed;
    }
    return file.commit(errorMsg) ? WriteResult::Ok : WriteResult::CommitFailed;
}

bool XrfUtils::writeJsonFile(const QString &path, const QJsonDocument &document, QString *errorMsg,
                             QJsonDocument::JsonFormat format)
{
    return writeFileAtomically(path, document.toJson(format), errorMsg) == WriteResult::Ok;
}

bool XrfUtils::readJsonFile(const QString &path, QJsonValue *value, QString *errorMsg)
{
    QFile file(path);
    if (!file.exists()) {
        if (errorMsg)
            *errorMsg = QStringLiteral("%1 does not exist").arg(path);
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        if (errorMsg)
            *errorMsg = QStringLiteral("Failed to open JSON file %1").arg(path);
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        if (errorMsg)
            *errorMsg = QStringLiteral("Invalid JSON file %1, error:%2")
                            .arg(path, parseError.errorString());
        return false;
    }
    *value = document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
    return true;
}

QString XrfUtils::md5OfFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QCryptographicHash hash(QCryptographicHash::Md5);
    hash.addData(&file);
    return QString::fromLatin1(hash.result().toHex());
}

bool XrfUtils::removeDirectoryContents(const QString &path, bool removeSelf, bool foldersOnly)
{
    QDir dir(path);
    if (!dir.exists())
        return true;
    bool removed = true;
    const QDir::Filters filter = QDir::NoDotAndDotDot | QDir::Hidden | QDir::System
        | (foldersOnly ? QDir::Dirs : QDir::AllEntries);
    for (const QFileInfo &entry : dir.entryInfoList(filter)) {
        if (entry.isDir() && !entry.isSymLink())
            removed = QDir(entry.absoluteFilePath()).removeRecursively() && removed;
        else
            removed = QFile::remove(entry.absoluteFilePath()) && removed;
    }
    if (removeSelf)
        removed = dir.rmdir(dir.absolutePath()) && removed;
    return removed;
}

bool XrfUtils::getJsonFileVersion(const QString &path, QString *version, QString *errorMsg)
{
    QJsonValue value;
    QString error;
    if (!readJsonFile(path, &value, &error)) {
        if (errorMsg)
            *errorMsg = error;
        return false;
    }
    const QJsonValue stored = value.toObject().value(QStringLiteral("version"));
    if (!stored.isString() && !stored.isDouble()) {
        if (errorMsg)
            *errorMsg = QStringLiteral("%1 has no 'version'").arg(path);
        return false;
    }
    if (version)
        *version = stored.isString() ? stored.toString() : QString::number(stored.toDouble());
    return true;
}

QString XrfUtils::factoryPasswordFilePath()
{
    return homeCorvaneAppDirPath() + QStringLiteral("/.factoryPassword");
}

QString XrfUtils::FirmwareLogFilesPath()
{
    return homeCorvaneAppDirPath() + QStringLiteral("/logs/firmware/");
}

QString XrfUtils::applicationSettingsFilePath()
{
    QString application = QCoreApplication::applicationName();
    if (application.isEmpty())
        application = QStringLiteral("xrf");
    if (instrumentRoot().isEmpty())
        return QSettings(QSettings::IniFormat, QSettings::UserScope,
                         QCoreApplication::organizationName(), application)
            .fileName();
    return homeCorvaneAppDirPath() + QStringLiteral("/.config/") + application
        + QStringLiteral(".conf");
}

QString XrfUtils::currentUtcIsoTime()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
}

bool XrfUtils::syncDeviceFileSystem(QString *errorMsg)
{
    if (errorMsg)
        errorMsg->clear();
    ::sync();
    return true;
}

QString XrfUtils::startupScriptInfoFilePath()
{
    return homeCorvaneAppDirPath() + QStringLiteral("/scripts/startupScriptInfo.json");
}

QString XrfUtils::shellQuoted(const QString &word)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_\\-./:=@%+,]+$"));
    if (plain.match(word).hasMatch())
        return word;
    QString quoted = word;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

bool XrfUtils::addStartupScript(const QString &command, const QString &workingDir,
                                const QString &stdErrFile, const QString &stdOutFile,
                                QString *errorMsg)
{
    const QString path = startupScriptInfoFilePath();
    QJsonArray entries;
    if (QFileInfo::exists(path)) {
        QJsonValue stored;
        if (!readJsonFile(path, &stored, errorMsg))
            return false;
        if (!stored.isArray()) {
            if (errorMsg)
                *errorMsg = QStringLiteral("%1 does not hold a list of scripts").arg(path);
            return false;
        }
        entries = stored.toArray();
    }
    for (int i = entries.size() - 1; i >= 0; --i) {
        if (entries.at(i).toObject().value(QStringLiteral("command")).toString() == command)
            entries.removeAt(i);
    }
    entries.append(QJsonObject{{QStringLiteral("command"), command},
                               {QStringLiteral("workingDir"), workingDir},
                               {QStringLiteral("stdErrFile"), stdErrFile},
                               {QStringLiteral("stdOutFile"), stdOutFile}});
    return writeJsonFile(path, QJsonDocument(entries), errorMsg);
}

QJsonValue XrfUtils::getJsonValue(const QJsonObject &json, const QString &path,
                                  const QJsonValue &defaultValue)
{
    QJsonValue value = json;
    for (const QString &key : path.split(QLatin1Char('.'))) {
        if (!value.isObject() || !value.toObject().contains(key))
            return defaultValue;
        value = value.toObject().value(key);
    }
    return value;
}
