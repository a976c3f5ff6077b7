// The direct ("MB") factor set of one method: the caller names serial, method and profile; the
// network manager uploads the archive, polls the run and downloads the calibrated method.

#include "xrffactorymanager_p.h"

#include "xrfmethod.h"
#include "xrfutils.h"

#include <QDir>
#include <QFile>
#include <QTimer>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {
// The status reported while the calibrated method downloads.
const int kDownloading = 1000;
} // namespace

void Worker::onStartFactorSetMB(QJsonObject request)
{
    qDebug() << "Entering onStartFactorSetMB()";
    const QString serial = request.value(QStringLiteral("serial")).toString();
    const QString methodId = request.value(QStringLiteral("methodId")).toString();
    const QString profile = request.value(QStringLiteral("profilePath")).toString();
    qDebug().noquote() << QStringLiteral("doCmdCalibrateMethod - %1 method files").arg(methodId);
    const QString methodFolder = XrfMethod::methodFolder(profile, methodId);
    const QString errorText =
        QStringLiteral("Error Zipping FactorSet, %1 method files").arg(methodId);
    if (methodFolder.isEmpty() || !XrfMethod::isValidMethodId(serial)) {
        qDebug().noquote() << errorText;
        emit q->factorSetUploadComplete(false, errorText);
        return;
    }
    QDir(methodFolder + QStringLiteral("/calibrationworkspace/calibrationsummary"))
        .removeRecursively();
    const QString methodsFolder = XrfMethod::methodsFolder(profile);
    const QString zipName = serial + methodId + QStringLiteral(".zip");
    QString error;
    if (!XrfUtils::zip(methodFolder, zipName, methodsFolder, true, true, false, QString(),
                       &error)) {
        qDebug().noquote() << errorText << error;
        emit q->factorSetUploadComplete(false, errorText);
        return;
    }
    XrfNetworkManager *network = XrfNetworkManager::instance();
    connect(network, &XrfNetworkManager::fileUploadCompleteResponse, this,
            &Worker::onFactorSetUploadCompleteResponse, Qt::UniqueConnection);
    connect(network, &XrfNetworkManager::fileUploadProgress, this,
            &Worker::onFactorSetUploadProgressChanged, Qt::UniqueConnection);
    factorSetMBUploadBody = QJsonObject{
        {QStringLiteral("filePath"), methodsFolder + QLatin1Char('/') + zipName},
        {QStringLiteral("zipOutputFileDir"), methodFolder + QLatin1Char('/')},
        {QStringLiteral("zipFileName"), zipName},
        {QStringLiteral("zipOutputFileName"), serial + methodId + QStringLiteral("output.zip")},
        {QStringLiteral("serial"), serial},
        {QStringLiteral("methodId"), methodId}};
    QString token;
    network->uploadBinaryFileToCloud(XrfNetworkManager::UploadFactorSetMethod,
                                     factorSetMBUploadBody, &token);
}

void Worker::onFactorSetUploadProgressChanged(int progress)
{
    qDebug().noquote() << QStringLiteral("Uploading FactorSet, Progress:%1%").arg(progress);
    emit q->factorSetUploadProgressChanged(progress);
}

void Worker::onFactorSetUploadCompleteResponse(const XrfCloudResponse &response)
{
    XrfNetworkManager *network = XrfNetworkManager::instance();
    disconnect(network, &XrfNetworkManager::fileUploadCompleteResponse, this,
               &Worker::onFactorSetUploadCompleteResponse);
    disconnect(network, &XrfNetworkManager::fileUploadProgress, this,
               &Worker::onFactorSetUploadProgressChanged);
    factorSetMBUploadAnswer = response.responseData().toObject();
    const bool succeeded = !response.hasFailed();
    if (succeeded) {
        qDebug() << "Response - Upload FactorSet Complete";
        removeFactorSetArchive(factorSetMBUploadBody.value(QStringLiteral("filePath")).toString());
        onCheckFactorSetMBProgress();
    } else {
        removeFactorSetArchive(factorSetMBUploadBody.value(QStringLiteral("filePath")).toString());
        qWarning().noquote() << QStringLiteral("Response - Failed to upload FactorSet, error:%1")
                                    .arg(response.error());
    }
    emit q->factorSetUploadComplete(succeeded, response.error());
}

void Worker::onCheckFactorSetMBProgress()
{
    if (!factorSetMBProgressTimer->isActive()) {
        qDebug() << "Starting factorSetMBStatus Timer";
        factorSetMBProgressTimer->start();
    }
    qDebug() << "do onCheckFactorSetMBProgress";
    XrfNetworkManager::instance()->fetchFromCloud(
        XrfNetworkManager::GetFactorSetStatus,
        QJsonObject{{QStringLiteral("statusRequestId"),
                     factorSetMBUploadAnswer.value(QStringLiteral("id"))}});
}

void Worker::onFactorSetMBStatusChanged(QJsonObject status)
{
    // Only the direct path listens: its timer runs from the upload until the run has ended.
    if (!factorSetMBProgressTimer->isActive())
        return;
    const int runStatus = status.value(QStringLiteral("runStatusId")).toInt();
    qDebug() << "do onFactorSetMBStatusChanged" << runStatus;
    int reported = runStatus;
    if (runStatus >= 4 && runStatus <= 6)
        factorSetMBProgressTimer->stop();
    if (runStatus == 4) {
        XrfNetworkManager *network = XrfNetworkManager::instance();
        connect(network, &XrfNetworkManager::fileDownloadCompleted, this,
                &Worker::onFactorSetResultDownloadComplete, Qt::UniqueConnection);
        network->downloadBinaryFile(
            XrfNetworkManager::DownloadFactorSetResult,
            QJsonObject{
                {QStringLiteral("zipOutputFileDir"),
                 factorSetMBUploadBody.value(QStringLiteral("zipOutputFileDir"))},
                {QStringLiteral("zipOutputFileName"),
                 factorSetMBUploadBody.value(QStringLiteral("zipOutputFileName"))},
                {QStringLiteral("zipOutputUrl"), status.value(QStringLiteral("zipOutputUrl"))}});
        factorSetMBDownloading = true;
        reported = kDownloading;
    }
    emit q->factorSetApprovalStatusChanged(reported);
}

void Worker::onFactorSetResultDownloadComplete(bool status)
{
    disconnect(XrfNetworkManager::instance(), &XrfNetworkManager::fileDownloadCompleted, this,
               &Worker::onFactorSetResultDownloadComplete);
    emit q->factorSetApprovalStatusChanged(status ? 4 : 6);
    factorSetMBDownloading = false;
}

void Worker::onAbortCalibrateMethodMB()
{
    qDebug() << "Entering onAbortCalibrateMethodMB()";
    qDebug() << "abortCalibrateMethodMB";
    if (factorSetMBProgressTimer->isActive())
        factorSetMBProgressTimer->stop();
    else if (factorSetMBDownloading)
        XrfNetworkManager::instance()->abortBinaryFileDownload();
    else
        XrfNetworkManager::instance()->abortBinaryFileUpload();
}
