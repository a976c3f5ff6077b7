// What the profile backup, the remote method diagnostic and the remote method update share:
// the serial number of their archives, the archive's description, its upload and its outcome.

#include "xrffactorymanager_p.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {
const QString kSerialNotANumber =
    QStringLiteral("%1 the instrument serial number '%2' is not a number.");
const QString kArchiveMissing = QStringLiteral("Failed to find output zip file %1");
const QString kChecksumFailed = QStringLiteral("%1 failed to calculate the MD5 checksum of %2");
const QString kUploadNotStarted = QStringLiteral("%1 the upload did not start, err:%2");
} // namespace

// A serial that is not a number must not become instrument 0 in the cloud.
bool Worker::profileSerialNumber(const QString &failurePrefix, int *serial, QString *errorMsg)
{
    const QString text = hardwareConfig.insSerialNumber().trimmed();
    bool isNumber = false;
    const int value = text.toInt(&isNumber);
    if (!isNumber || value < 0) {
        *errorMsg = kSerialNotANumber.arg(failurePrefix, text);
        return false;
    }
    *serial = value;
    return true;
}

QString Worker::packageArchiveTime(const QString &format)
{
    return QDateTime::currentDateTime().toString(format);
}

bool Worker::describeProfileArchive(const QString &folder, const QString &name,
                                    const QString &failurePrefix, QString *errorMsg)
{
    XrfProfileMetaInfo &meta = profileBackupResult.metaInfo();
    meta.setDateCreated(XrfUtils::currentUtcIsoTime());
    qDebug() << "Zip command returned";
    const QString path = QStringLiteral("%1/%2").arg(folder, name);
    meta.setUploadFilePath(path);
    const QFileInfo archive(path);
    if (!archive.isFile()) {
        *errorMsg = kArchiveMissing.arg(path);
        return false;
    }
    meta.setSizeInBytes(archive.size());
    qDebug() << "output file size:" << archive.size();
    const QString md5 = XrfUtils::md5OfFile(path);
    if (md5.isEmpty()) {
        *errorMsg = kChecksumFailed.arg(failurePrefix, path);
        return false;
    }
    meta.setChecksum(md5);
    qDebug() << "file md5Sum:" << md5;
    meta.setVersion(QCoreApplication::applicationVersion());
    return true;
}

void Worker::uploadProfileArchive(XrfNetworkManager::CloudRequestIds requestId,
                                  const QString &failurePrefix,
                                  void (XrfFactoryManagerPrivate::*progress)(int),
                                  void (XrfFactoryManagerPrivate::*complete)(bool, QString))
{
    setCurrentTaskStatus(tr("Starting upload..."));
    XrfNetworkManager *network = XrfNetworkManager::instance();
    connect(network, &XrfNetworkManager::fileUploadProgress, this, progress, Qt::UniqueConnection);
    connect(network, &XrfNetworkManager::fileUploadComplete, this, complete, Qt::UniqueConnection);
    const QJsonObject body = profileBackupResult.metaInfo().toJsonObject();
    if (const int code = network->uploadBinaryFileToCloud(requestId, body))
        (this->*complete)(false, kUploadNotStarted.arg(failurePrefix).arg(code));
}

void Worker::stopListeningForProfileUpload()
{
    XrfNetworkManager *network = XrfNetworkManager::instance();
    disconnect(network, &XrfNetworkManager::fileUploadProgress, this, nullptr);
    disconnect(network, &XrfNetworkManager::fileUploadComplete, this, nullptr);
}

void Worker::showProfileUploadProgress(int progress, const QString &statusText)
{
    setCurrentTaskProgress(progress);
    setCurrentTaskStatus(statusText);
}

void Worker::recordProfileUploadOutcome(bool status, const QString &error)
{
    profileBackupResult.setStatus(status);
    profileBackupResult.setErrorMsg(error);
    setCurrentTaskStatus(status ? tr("Upload complete.") : tr("Upload failed"));
    setCurrentTaskProgress(status ? 100 : 0);
}

// The package folder goes with its archive, whatever the outcome.
void Worker::endRemoteMethodUpload(const QString &folderName, bool status, const QString &error)
{
    stopListeningForProfileUpload();
    XrfUtils::removeDirectoryContents(remoteMethodFolder(folderName), true, false);
    recordProfileUploadOutcome(status, error);
    if (!status)
        qWarning().noquote() << folderName << "upload failed, err:" << error;
}
