// Final QC upload: the record goes to the cloud, then the batch progress data of every method with
// a template, zipped, one file at a time. Success is reported only when every file arrived.

#include "xrffactorymanager_p.h"

#include "xrfsettingsmanager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {
const QString kChecksumFailed = QStringLiteral("Failed to calculate checksum of file");
const QString kNoProgressFile =
    QStringLiteral("Final QC progress data of method %1 cannot be zipped: %2");
const QString kNoTemplate = QStringLiteral("Final QC template of method %1 is missing");
const QString kUploadNotStarted = QStringLiteral("Final QC data upload did not start, error:%1");
const QString kAlreadyUploading =
    QStringLiteral("A final QC upload is in progress; the new upload request is ignored");
} // namespace

void Worker::uploadFinalQcResult()
{
    qDebug() << "Entering uploadFinalQcResult";
    if (finalQcStatus.isEmpty())
        return;
    if (finalQcUploading) {
        qWarning().noquote() << kAlreadyUploading;
        return;
    }
    const QString correlationId = QUuid::createUuid().toString();
    const QString serial = hardwareConfig.insSerialNumber();
    XrfNetworkManager::instance()->sendToCloud(
        XrfNetworkManager::PutFinalQcResult,
        QJsonObject{{QStringLiteral("body"),
                     QJsonObject{{QStringLiteral("serial"), serial},
                                 {QStringLiteral("data"), finalQcStatus},
                                 {QStringLiteral("correlationId"), correlationId}}}});
    finalQcPendingUploads.clear();
    QStringList failures;
    for (const QJsonValue &value : finalQcStatus.value(QStringLiteral("status")).toArray()) {
        const QJsonObject entry = value.toObject();
        if (!entry.value(QStringLiteral("haveTemplate")).toBool())
            continue;
        QJsonObject body{{QStringLiteral("correlationId"), correlationId}};
        QString error;
        if (prepareFinalQcProgressArchive(entry.value(QStringLiteral("methodId")).toString(), &body,
                                          &error))
            finalQcPendingUploads.append(body);
        else
            failures << error;
    }
    finalQcUploadCount = finalQcPendingUploads.size();
    finalQcUploading = true;
    for (const QString &failure : qAsConst(failures))
        qWarning().noquote() << failure;
    finalQcUploadErrors = failures;
    uploadNextFinalQcData();
}

// "<template base name>_progress.json" of the profile, zipped beside it.
bool Worker::prepareFinalQcProgressArchive(const QString &methodId, QJsonObject *body,
                                           QString *errorMsg)
{
    const QString templatePath = findFinalQcTemplate(methodId);
    if (templatePath.isEmpty()) {
        *errorMsg = kNoTemplate.arg(methodId);
        return false;
    }
    QString profile;
    XrfSettingsManager::instance()->getProfilePath(&profile);
    const QString progressName =
        QFileInfo(templatePath).completeBaseName() + QStringLiteral("_progress.json");
    const QString zipName = progressName.chopped(5) + QStringLiteral(".zip");
    const QString zipPath = profile + QLatin1Char('/') + zipName;
    QString zipError;
    if (!XrfUtils::zip(profile + QLatin1Char('/') + progressName, zipName, profile, false, true,
                       false, QString(), &zipError)) {
        *errorMsg = kNoProgressFile.arg(methodId, zipError);
        return false;
    }
    const QString checksum = XrfUtils::md5OfFile(zipPath);
    if (checksum.isEmpty()) {
        *errorMsg = QStringLiteral("%1 %2").arg(kChecksumFailed, zipPath);
        return false;
    }
    body->insert(QStringLiteral("name"), zipName);
    body->insert(QStringLiteral("size"), QFileInfo(zipPath).size());
    body->insert(QStringLiteral("checksum"), checksum);
    body->insert(QStringLiteral("version"), QStringLiteral("0"));
    body->insert(QStringLiteral("dateCreated"), XrfUtils::currentUtcIsoTime());
    body->insert(QStringLiteral("filePath"), QFileInfo(zipPath).absoluteFilePath());
    return true;
}

// The network manager runs one file transfer at a time: the next file starts when the last one
// has ended.
void Worker::uploadNextFinalQcData()
{
    if (finalQcPendingUploads.isEmpty()) {
        endFinalQcUpload(finalQcUploadErrors.isEmpty(),
                         finalQcUploadErrors.join(QStringLiteral("; ")));
        return;
    }
    XrfNetworkManager *network = XrfNetworkManager::instance();
    connect(network, &XrfNetworkManager::fileUploadProgress, this,
            &Worker::onFinalQcUploadProgressChanged, Qt::UniqueConnection);
    connect(network, &XrfNetworkManager::fileUploadComplete, this, &Worker::onFinalQcUploadComplete,
            Qt::UniqueConnection);
    const QJsonObject body = finalQcPendingUploads.first();
    if (const int code =
            network->uploadBinaryFileToCloud(XrfNetworkManager::UploadFinalQcData, body))
        onFinalQcUploadComplete(false, kUploadNotStarted.arg(code));
}

// The progress of the whole upload: the files done and the share of the current one.
void Worker::onFinalQcUploadProgressChanged(int progress)
{
    const int done = finalQcUploadCount - finalQcPendingUploads.size();
    const int overall =
        finalQcUploadCount > 0 ? (100 * done + progress) / finalQcUploadCount : progress;
    setCurrentTaskStatus(tr("Uploading FQC Data, Progress:%1%").arg(overall));
    setCurrentTaskProgress(overall);
}

void Worker::onFinalQcUploadComplete(bool status, QString error)
{
    qInfo() << "FQC data upload complete.";
    XrfNetworkManager *network = XrfNetworkManager::instance();
    disconnect(network, &XrfNetworkManager::fileUploadProgress, this,
               &Worker::onFinalQcUploadProgressChanged);
    disconnect(network, &XrfNetworkManager::fileUploadComplete, this,
               &Worker::onFinalQcUploadComplete);
    if (!finalQcPendingUploads.isEmpty()) {
        const QJsonObject body = finalQcPendingUploads.takeFirst();
        if (status)
            QFile::remove(body.value(QStringLiteral("filePath")).toString());
        else
            finalQcUploadErrors << QStringLiteral("%1: %2").arg(
                body.value(QStringLiteral("name")).toString(), error);
    }
    uploadNextFinalQcData();
}

void Worker::endFinalQcUpload(bool status, const QString &error)
{
    finalQcUploading = false;
    setCurrentTaskStatus(status ? tr("Final QC data uploaded.") : tr("Final QC upload failed"));
    if (!status) {
        if (currentTaskProgress != 0)
            setCurrentTaskProgress(0);
        qWarning().noquote() << "Final QC upload failed:" << error;
    } else if (currentTaskProgress != 100) {
        setCurrentTaskProgress(100);
    }
}
