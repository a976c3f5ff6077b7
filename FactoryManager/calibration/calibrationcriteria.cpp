// Calibration shots, factory step 10: the wrong-shot criteria the cloud keeps for this tube and
// detector, downloaded into the calibration diagnostics folder.

#include "xrffactorymanager_p.h"

#include "xrfcalibrationutils.h"

#include <QDir>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

bool Worker::isCalibrationWrongShotCriteriaPresent()
{
    return QFileInfo::exists(XrfCalibrationUtils::calDiagnosticsCriteriaDir()
                             + QStringLiteral("/wrongShotCriteria.json"));
}

void Worker::downloadCalibrationWrongShotCriteria()
{
    if (currentStepId != XrfUtils::CalibrationShot)
        return;
    const QJsonObject body{
        {QStringLiteral("tubeSerialNumber"), hardwareConfig.tubeSerialNumber()},
        {QStringLiteral("detectorSerialNumber"), hardwareConfig.detectorSerialNumber()}};
    listenForCloudResponse(&Worker::onGetCalibrationCheckCriteriaResponseReceived);
    XrfNetworkManager::instance()->fetchFromCloud(XrfNetworkManager::GetCalibrationCheckCriteria,
                                                  body, nullptr);
}

void Worker::onGetCalibrationCheckCriteriaResponseReceived(const XrfCloudResponse &response)
{
    if (!acceptCloudResponse(response, XrfNetworkManager::GetCalibrationCheckCriteria,
                             &Worker::onGetCalibrationCheckCriteriaResponseReceived))
        return;
    const QJsonObject json = cloudResponseToJson(response);
    if (response.hasFailed() || !response.isObject()) {
        qWarning() << "Request to get calibration wrong shot criteria meta info failed OR "
                      "returned expected response, response:"
                   << json;
        emit q->calibrationWrongShotCriteriaReady(false);
        return;
    }
    const QJsonObject meta = response.responseData().toObject();
    const QString url = meta.value(QStringLiteral("downloadUrl")).toString();
    if (url.isEmpty()) {
        qWarning() << "Calibration wrong shot criteria meta info recevied from cloud does not "
                      "contain downloadUrl, cloudResponse:"
                   << meta;
        emit q->calibrationWrongShotCriteriaReady(false);
        return;
    }
    connect(XrfNetworkManager::instance(), &XrfNetworkManager::fileDownloadCompleted, this,
            &Worker::onCalibrationCheckCriteriaDownloaded, Qt::UniqueConnection);
    QDir().mkpath(XrfCalibrationUtils::calDiagnosticsCriteriaDir());
    XrfNetworkManager::instance()->downloadBinaryFile(
        XrfNetworkManager::DownloadCalibrationCheckCriteria,
        QJsonObject{{QStringLiteral("downloadUrl"), url},
                    {QStringLiteral("downloadFileName"), meta.value(QStringLiteral("name"))},
                    {QStringLiteral("downloadDirectory"),
                     XrfCalibrationUtils::calDiagnosticsCriteriaDir()}},
        nullptr);
}

void Worker::onCalibrationCheckCriteriaDownloaded(bool success, QString error)
{
    disconnect(XrfNetworkManager::instance(), &XrfNetworkManager::fileDownloadCompleted, this,
               &Worker::onCalibrationCheckCriteriaDownloaded);
    if (!success)
        qWarning() << "Calibration wrong shot criteria download failed:" << error;
    emit q->calibrationWrongShotCriteriaReady(success);
}
