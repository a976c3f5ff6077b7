// Profile backup: at the end of the factory run the instrument profile is zipped, described and
// uploaded; a complete instrument is then prepared for shipping (handover.cpp).

#include "xrffactorymanager_p.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {
const QString kFailurePrefix = QStringLiteral("Backup failed,");
const QString kNoProfilePath = QStringLiteral("backup failed, profile path is not set");
const QString kBadFileName =
    QStringLiteral("Backup failed, the file name '%1' has no usable characters.");
const QString kNoOutputFolder =
    QStringLiteral("Backup failed, Output directory %1 does not exists");
const QString kZipFailed = QStringLiteral("Backup failed, zip command failed. profile path: %1, "
                                          "Zip file name: %2, output directory: %3");
const QString kUploadFailed = QStringLiteral("Profile backup and upload failed, err:");
// Local time, 24-hour clock.
const QString kArchiveTimeFormat = QStringLiteral("MM-dd-yyyy_HH:mm");
const QString kBackupFolder = QStringLiteral("/profileBackups");
const QString kSettingsFile = QStringLiteral("/universalSettings.json");
} // namespace

void XrfFactoryManager::backupAndUploadProfile(bool diagPurpose, QString fileName)
{
    d->doProfileBackupAndUpload(diagPurpose, fileName);
}

void Worker::doProfileBackupAndUpload(bool diagPurpose, QString fileName)
{
    stashUniversalSettings();
    qDebug() << "Creating profile backup";
    profileBackupResult = XrfProfileBackupResult();
    if (profilePath.isEmpty()) {
        setCurrentTaskProgress(0);
        onProfileBackupAndUploadComplete(false, kNoProfilePath);
        return;
    }
    QString error;
    if (!zipProfileBackup(diagPurpose, fileName, &error)) {
        onProfileBackupAndUploadComplete(false, error);
        return;
    }
    uploadProfileArchive(XrfNetworkManager::UploadProfileBackup, kFailurePrefix,
                         &Worker::onProfileUploadProgressChanged, &Worker::onProfileUploadComplete);
}

// A copy of the universal settings in the factory data folder, replaced in one rename so that a
// crash leaves the old copy or the new one.
void Worker::stashUniversalSettings()
{
    const QString source = profilePath + QStringLiteral("/instrumentsettings") + kSettingsFile;
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly)) {
        qDebug().noquote() << source + QStringLiteral(" not found.");
        return;
    }
    const QByteArray content = file.readAll();
    if (!QJsonDocument::fromJson(content).isObject()) {
        qDebug().noquote() << "Invalid Json detected in the file " << source;
        return;
    }
    QString error;
    if (XrfUtils::writeFileAtomically(factoryDataPath + kSettingsFile, content, &error)
        == XrfUtils::WriteResult::Ok)
        qDebug() << "Stached away the universalSettings file";
    else
        qDebug().noquote() << "Unable to make a copy of the universal settings file" << error;
}

// The new archive is in place before the older ones in the folder go.
bool Worker::zipProfileBackup(bool diagPurpose, const QString &fileName, QString *errorMsg)
{
    qDebug().noquote() << "backing up profile folder: " << profilePath;
    int serial = 0;
    if (!profileSerialNumber(kFailurePrefix, &serial, errorMsg))
        return false;
    const QString time = packageArchiveTime(kArchiveTimeFormat);
    QString name = QStringLiteral("diagnosticProfile_%1_%2.zip").arg(serial).arg(time);
    if (!diagPurpose) {
        const QString safeName = XrfUtils::safeFileName(fileName);
        if (safeName.isEmpty()) {
            *errorMsg = kBadFileName.arg(fileName);
            return false;
        }
        name = QStringLiteral("%1_profile_%2.zip").arg(safeName, time);
    }
    profileBackupResult.metaInfo().setDeviceSerialNumber(serial);
    profileBackupResult.metaInfo().setFileName(name);
    qDebug().noquote() << "output zip file name:" << name;

    const QString folder = factoryDataPath + kBackupFolder;
    if (!QDir().mkpath(folder)) {
        *errorMsg = kNoOutputFolder.arg(folder);
        return false;
    }
    setCurrentTaskStatus(tr("Zipping instrument profile..."));
    QString zipError;
    // A backup (not a diagnostic package) is flushed to storage so that it survives a power cut.
    if (!XrfUtils::zip(profilePath, name, folder, true, true, false, QString(), &zipError)
        || (!diagPurpose && !XrfUtils::syncDeviceFileSystem(&zipError))) {
        qWarning().noquote() << zipError;
        *errorMsg = kZipFailed.arg(profilePath, name, folder);
        return false;
    }
    const QFileInfoList older = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden);
    for (const QFileInfo &file : older) {
        if (file.fileName() != name && !QFile::remove(file.absoluteFilePath()))
            qWarning().noquote() << "Failed to remove old profile backup"
                                 << file.absoluteFilePath();
    }
    return describeProfileArchive(folder, name, kFailurePrefix, errorMsg);
}

void Worker::onProfileUploadProgressChanged(int progress)
{
    showProfileUploadProgress(progress, tr("Uploading Profile, Progress:%1%").arg(progress));
}

void Worker::onProfileUploadComplete(bool status, QString error)
{
    stopListeningForProfileUpload();
    onProfileBackupAndUploadComplete(status, error);
}

// A complete instrument is prepared for shipping before the application hears of the upload, so
// that what it then reads is the shipping state.
void Worker::onProfileBackupAndUploadComplete(bool succeeded, QString err)
{
    recordProfileUploadOutcome(succeeded, err);
    if (!succeeded) {
        qWarning().noquote() << kUploadFailed << err;
    } else {
        qint32 completed = 0;
        QString error;
        if (!getFactoryStepsCompleted(&completed, &error))
            qWarning().noquote() << error;
        if (completed > XrfUtils::FactorSet)
            prepareInstrumentForShipping();
        else
            qInfo() << "Factory steps completed:" << completed
                    << "- the instrument is not prepared for shipping yet.";
    }
    emit q->profileBackupAndUploadComplete(profileBackupResult.toJsonObject());
}
