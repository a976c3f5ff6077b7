// Remote method diagnostic: the profile, the recent results and the logs and data the caller
// chose, packed with the signer's initials and uploaded for the application engineers.

#include "xrffactorymanager_p.h"

#include "xrfresultmanager.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {
const QString kFailurePrefix = QStringLiteral("RMD upload failed,");
const QString kNoProfilePath = QStringLiteral("RMD failed, profile path is not set");
const QString kNoOutputFolder =
    QStringLiteral("RMD upload failed, Output directory %1 does not exists");
const QString kPackageFailed = QStringLiteral("Failed to create upload package");
const QString kZipFailed = QStringLiteral("RMD upload failed, zip command failed. profile path: "
                                          "%1, Zip file name: %2, output directory: %3");
const QString kCopyFailed = QStringLiteral("createUploadZipFile : Failed to copy \"%1\" directory");
// Local time, 24-hour clock.
const QString kArchiveTimeFormat = QStringLiteral("MM-dd-yyyy_HH:mm");
const QString kResultsExportName = QStringLiteral("instrumentResults");
// Queued invocations of the facade carry the options by their type name.
const int kRegistered = qRegisterMetaType<XrfProfileZipOption>();

// An optional part of the package: a folder copied as it is.
struct DiagnosticExtra
{
    bool (XrfProfileZipOption::*wanted)() const;
    const char *source; // a device path, or below the home folder when it starts with "~"
    const char *destination;
    const char *name; // as the failure message names it
};

const DiagnosticExtra kExtras[] = {
    {&XrfProfileZipOption::crashLogFiles, "/media/sdcard/logs", "extra/logs", "crashlogs"},
    {&XrfProfileZipOption::calcDebugFiles, "/media/sdcard/instrumentdata/calcdebug",
     "extra/calcdebug", "calcdebug"},
    {&XrfProfileZipOption::exportFiles, "/media/sdcard/Tarvo/exports", "extra/exports", "exports"},
    {&XrfProfileZipOption::factoryDataFiles, "~/factoryData", "factoryData", "factoryData"},
    {&XrfProfileZipOption::screenShotFiles, "/media/sdcard/Tarvo/screencapture",
     "extra/screencapture", "screencapture"},
};

QString extraSource(const char *source)
{
    const QString path = QLatin1String(source);
    if (path.startsWith(QLatin1Char('~')))
        return XrfUtils::homeCorvaneAppDirPath() + path.mid(1);
    return XrfUtils::devicePath(path);
}

// The "*.log" and "*.old" files at the top of the SD card, links left out.
void copyLogFiles(const QString &destination)
{
    const QDir card(XrfUtils::devicePath(QStringLiteral("/media/sdcard/")));
    const QFileInfoList logs = card.entryInfoList(
        {QStringLiteral("*.log"), QStringLiteral("*.old")}, QDir::Files | QDir::NoSymLinks);
    qDebug() << "createUploadZipFile : Log list" << logs.size();
    QDir().mkpath(destination);
    for (const QFileInfo &log : logs) {
        if (!QFile::copy(log.absoluteFilePath(), destination + QLatin1Char('/') + log.fileName()))
            qWarning().noquote() << "createUploadZipFile : Failed to copy"
                                 << log.absoluteFilePath();
    }
}
} // namespace

void XrfFactoryManager::remoteMethodDiagnosticUpload(XrfProfileZipOption pzOption,
                                                     QString signedInitial)
{
    d->doRemoteMethodDiagnosticUpload(pzOption, signedInitial);
}

void Worker::doRemoteMethodDiagnosticUpload(XrfProfileZipOption options, QString signedInitial)
{
    Q_UNUSED(kRegistered)
    qDebug().noquote() << "Creating Remote Method Diagnostic: "
                       << QJsonDocument(options.toJsonObject()).toJson(QJsonDocument::Compact);
    profileBackupResult = XrfProfileBackupResult();
    if (profilePath.isEmpty()) {
        onRemoteMethodDiagnosticUploadComplete(false, kNoProfilePath);
        return;
    }
    const QString folder = remoteMethodFolder(QStringLiteral("RMD"));
    const QString package = folder + QStringLiteral("/package");
    qDebug().noquote() << "Create RMD folder: " << folder;
    int serial = 0;
    QString error;
    if (!profileSerialNumber(kFailurePrefix, &serial, &error)) {
        onRemoteMethodDiagnosticUploadComplete(false, error);
        return;
    }
    const QString name =
        QStringLiteral("RMD_%1_%2.zip").arg(serial).arg(packageArchiveTime(kArchiveTimeFormat));
    profileBackupResult.metaInfo().setDeviceSerialNumber(serial);
    profileBackupResult.metaInfo().setFileName(name);
    XrfUtils::removeDirectoryContents(package, true, false);
    if (!QDir().mkpath(package)) {
        onRemoteMethodDiagnosticUploadComplete(false, kNoOutputFolder.arg(package));
        return;
    }
    if (!createUploadZipFile(options, package)) {
        onRemoteMethodDiagnosticUploadComplete(false, kPackageFailed);
        return;
    }
    if (XrfUtils::writeFileAtomically(package + QStringLiteral("/signedInitial.txt"),
                                      signedInitial.toUtf8(), &error)
        != XrfUtils::WriteResult::Ok)
        qWarning().noquote() << "Failed to write signedInitial.txt:" << error;
    if (!XrfUtils::zip(package, name, folder, true, true, false, QString(), &error)) {
        qWarning().noquote() << error;
        onRemoteMethodDiagnosticUploadComplete(false, kZipFailed.arg(profilePath, name, folder));
        return;
    }
    if (!describeProfileArchive(folder, name, kFailurePrefix, &error)) {
        onRemoteMethodDiagnosticUploadComplete(false, error);
        return;
    }
    uploadProfileArchive(XrfNetworkManager::UploadRemoteMethodDiagnostic, kFailurePrefix,
                         &Worker::onRemoteMethodDiagnosticUploadProgressChanged,
                         &Worker::onRemoteMethodDiagnosticUploadComplete);
}

bool Worker::createUploadZipFile(XrfProfileZipOption options, QString packageFolder)
{
    const QString profileCopy = packageFolder + QStringLiteral("/profile");
    QDir().mkpath(profileCopy);
    QDir().mkpath(packageFolder + QStringLiteral("/instrumentdata/db"));
    exportResultsDatabase(options.daysOfResult(), packageFolder);
    QString error;
    if (!XrfUtils::copyDirectory(profilePath, profileCopy, &error)) {
        qWarning().noquote() << kCopyFailed.arg(QStringLiteral("Profile")) << error;
        XrfUtils::removeDirectoryContents(packageFolder, true, false);
        return false;
    }
    if (options.logFiles())
        copyLogFiles(packageFolder + QStringLiteral("/extra"));
    for (const DiagnosticExtra &extra : kExtras) {
        const QString source = extraSource(extra.source);
        if (!(options.*extra.wanted)() || !QFileInfo(source).isDir())
            continue;
        const QString destination =
            packageFolder + QLatin1Char('/') + QLatin1String(extra.destination);
        if (!XrfUtils::copyDirectory(source, destination, &error)) {
            qWarning().noquote() << kCopyFailed.arg(QLatin1String(extra.name)) << error;
            XrfUtils::removeDirectoryContents(destination, true, false);
        }
    }
    return true;
}

// The results since 00:00:00 UTC `daysOfResult` days ago, as their own database in the package.
bool Worker::exportResultsDatabase(int daysOfResult, const QString &packageFolder)
{
    const int days = qMax(0, daysOfResult);
    const QDateTime start(QDateTime::currentDateTimeUtc().date().addDays(-days), QTime(0, 0),
                          Qt::UTC);
    const QString startText = start.toString(XrfResultManager::dateTimeFormat());
    qDebug().noquote() << "createUploadZipFile startDateString : " << startText
                       << " daysOfResult : " << daysOfResult;
    const QString exportBase =
        QFileInfo(packageFolder).absolutePath() + QLatin1Char('/') + kResultsExportName;
    int exported = 0;
    int total = 0;
    QString error;
    if (!XrfResultManager::instance()->getResultsInASqlDbFromTestDateTime(
            startText, exportBase, &exported, &total, &error)) {
        qWarning().noquote() << "createUploadZipFile : Failed to export results:" << error;
        return false;
    }
    qDebug() << "createUploadZipFile : exported" << exported << "of" << total << "results";
    const QString exportFile = exportBase + QStringLiteral(".sqlite");
    const QString target = packageFolder + QStringLiteral("/instrumentdata/db/")
        + kResultsExportName + QStringLiteral(".sqlite");
    const bool copied = QFile::copy(exportFile, target);
    if (!copied)
        qWarning().noquote() << "createUploadZipFile : Failed to copy" << exportFile << "to"
                             << target;
    QFile::remove(exportFile);
    return copied;
}

void Worker::onRemoteMethodDiagnosticUploadProgressChanged(int progress)
{
    showProfileUploadProgress(progress,
                              tr("Uploading Remote Method Diagnostic, Progress:%1%").arg(progress));
}

void Worker::onRemoteMethodDiagnosticUploadComplete(bool status, QString error)
{
    endRemoteMethodUpload(QStringLiteral("RMD"), status, error);
    emit q->remoteMethodDiagnosticUploadComplete(profileBackupResult.toJsonObject());
}

QString Worker::remoteMethodFolder(const QString &name) const
{
    return QDir::cleanPath(factoryDataPath + QStringLiteral("/../") + name);
}
