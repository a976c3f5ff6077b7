// Synthetic shot packages: the cloud names the package for this instrument, the archive is
// downloaded under its base name into a folder the library chooses and unpacked safely into the
// synthetic shot folder, then the synthetic shots are selected.

#include "xrffactorymanager_p.h"

#include "xrfcalibrationutils.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {
const QString kMetaInfoFailed = QStringLiteral("Request to get synthetic shots meta info failed OR "
                                               "returned expected response, response:");
const QString kNoDownloadUrl =
    QStringLiteral("Synthetic shots meta info recevied from cloud does not contain downloadUrl, "
                   "cloudResponse:");
const QString kRefusedName = QStringLiteral("Synthetic shots download refused, the file name '%1' "
                                            "from the cloud cannot name a file");
const QString kDownloadFailed = QStringLiteral("Failed to download synthetic shots, error:");
const QString kUnpackFailed = QStringLiteral("Failed to unpack synthetic shots, error:");
} // namespace

void XrfFactoryManager::downloadSyntheticShots(bool process)
{
    d->downloadSyntheticShots(process, QString(), QString());
}

void XrfFactoryManager::downloadSyntheticShotsMB(QString downloadUrl, QString fileName)
{
    d->downloadSyntheticShots(false, downloadUrl, fileName);
}

void Worker::downloadSyntheticShots(bool process, QString downloadUrl, QString fileName)
{
    qDebug() << "Downloading synthetic shots, process:" << process << downloadUrl;
    syntheticDownloadProcess = process;
    syntheticDownloadDirect = !downloadUrl.isEmpty();
    if (syntheticDownloadDirect) {
        startSyntheticPackageDownload(downloadUrl, fileName);
        return;
    }
    listenForCloudResponse(&Worker::onGetSyntheticShotsResponseRecevied);
    XrfNetworkManager::instance()->fetchFromCloud(
        XrfNetworkManager::GetSyntheticShots,
        QJsonObject{{QStringLiteral("instrumentSerialNumber"), instrumentSerialNumber()}}, nullptr);
}

void Worker::onGetSyntheticShotsResponseRecevied(const XrfCloudResponse &response)
{
    if (!acceptCloudResponse(response, XrfNetworkManager::GetSyntheticShots,
                             &Worker::onGetSyntheticShotsResponseRecevied))
        return;
    const QJsonObject json = cloudResponseToJson(response);
    const QString text = QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Compact));
    if (response.hasFailed() || !response.isObject()) {
        qWarning().noquote() << kMetaInfoFailed << text;
        endSyntheticShotsDownload(false, kMetaInfoFailed + QLatin1Char(' ') + response.error());
        return;
    }
    const QJsonObject meta = response.responseData().toObject();
    const QString url = meta.value(QStringLiteral("downloadUrl")).toString();
    QString name = meta.value(QStringLiteral("downloadFileName")).toString();
    if (name.isEmpty())
        name = meta.value(QStringLiteral("name")).toString();
    if (url.isEmpty()) {
        qWarning().noquote() << kNoDownloadUrl << text;
        endSyntheticShotsDownload(false, kNoDownloadUrl);
        return;
    }
    startSyntheticPackageDownload(url, name);
}

// Only the base name of the cloud's file name is kept, inside the factory data folder.
void Worker::startSyntheticPackageDownload(const QString &url, const QString &fileName)
{
    const QString name = XrfUtils::safeFileName(fileName);
    if (name.isEmpty() || !name.endsWith(QLatin1String(".zip"), Qt::CaseInsensitive)) {
        const QString message = kRefusedName.arg(fileName);
        qWarning().noquote() << message;
        endSyntheticShotsDownload(false, message);
        return;
    }
    const QString folder = factoryDataPath + QStringLiteral("/syntheticShots");
    QDir().mkpath(folder);
    syntheticDownloadArchive = folder + QLatin1Char('/') + name;
    QFile::remove(syntheticDownloadArchive);
    connect(XrfNetworkManager::instance(), &XrfNetworkManager::fileDownloadCompleted, this,
            &Worker::onSyntheticShotsDownloadComplete, Qt::UniqueConnection);
    const int code = XrfNetworkManager::instance()->downloadBinaryFile(
        XrfNetworkManager::DownloadSyntheticShots,
        QJsonObject{{QStringLiteral("downloadUrl"), url},
                    {QStringLiteral("downloadFileName"), name},
                    {QStringLiteral("downloadDirectory"), folder}},
        nullptr);
    if (code != 0) {
        disconnect(XrfNetworkManager::instance(), &XrfNetworkManager::fileDownloadCompleted, this,
                   &Worker::onSyntheticShotsDownloadComplete);
        endSyntheticShotsDownload(false, kDownloadFailed + QString::number(code));
    }
}

void Worker::onSyntheticShotsDownloadComplete(bool success, QString error)
{
    disconnect(XrfNetworkManager::instance(), &XrfNetworkManager::fileDownloadCompleted, this,
               &Worker::onSyntheticShotsDownloadComplete);
    if (!success) {
        qWarning().noquote() << kDownloadFailed << error;
        QFile::remove(syntheticDownloadArchive);
        endSyntheticShotsDownload(false, kDownloadFailed + error);
        return;
    }
    QString unpackError;
    const bool unpacked = XrfUtils::unzip(syntheticDownloadArchive,
                                          XrfCalibrationUtils::syntheticShotsDir(), &unpackError);
    QFile::remove(syntheticDownloadArchive);
    if (!unpacked) {
        qWarning().noquote() << kUnpackFailed << unpackError;
        endSyntheticShotsDownload(false, kUnpackFailed + unpackError);
        return;
    }
    qInfo() << "Synthetic shots unpacked into" << XrfCalibrationUtils::syntheticShotsDir();
    endSyntheticShotsDownload(true, QString());
}

// A failed download of the step's package fails the step; a direct ("MB") download only reports.
void Worker::endSyntheticShotsDownload(bool success, const QString &error)
{
    if (syntheticDownloadDirect) {
        emit q->syntheticShotsDownloadMBComplete(success);
        return;
    }
    emit q->syntheticShotsDownloadComplete(success);
    if (success)
        selectSyntheticShots(syntheticDownloadProcess);
    else
        finishSyntheticShotSelection(prerequisiteStepInfo.selectionCriteria(), false, error);
}
