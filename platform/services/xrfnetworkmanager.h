#pragma once

#include "xrfcloudresponse.h"
#include "xrfservice.h"

#include <QJsonObject>
#include <QObject>

// Requests to the manufacturing cloud, by request id. Answers arrive through signals.
class XrfNetworkManager : public QObject
{
    Q_OBJECT
    XRF_DECLARE_SERVICE(XrfNetworkManager)
public:
    enum CloudRequestIds : int {
        GetFactoryDefaults = 104,
        GetWorkOrder = 105,
        GetDeviceFactoryStatus = 107,
        GetFactorSetStatus = 108,
        GetCalibrationCheckCriteria = 114,
        GetFinalQcTemplates = 115,
        GetSyntheticShots = 116,
        GetStabilityTestRun = 130,
        PutAirShotResult = 302,
        PutBeamsSetupResult = 303,
        PutStabilityTestResult = 304,
        PutHardwareTestResult = 305,
        PutProvisioningResult = 306,
        PutDeviceFactoryStepStatus = 307,
        PutCameraCollimatorSetupResult = 309,
        PutFinalQcResult = 311,
        PutRadiationSurveyResult = 318,
        PutPrerequisiteShotResult = 322,
        UploadStabilitySpectra = 501,
        UploadProfileBackup = 502,
        UploadFactorSetMethod = 503,
        UploadStabilityFirmwareLogs = 504,
        UploadFinalQcData = 505,
        UploadRemoteMethodDiagnostic = 506,
        UploadRemoteMethodUpdate = 507,
        DownloadCalibrationCheckCriteria = 705,
        DownloadFinalQcTemplates = 706,
        DownloadSyntheticShots = 707,
        DownloadFactorSetResult = 711,
    };
    Q_ENUM(CloudRequestIds)

    explicit XrfNetworkManager(QObject *parent = nullptr) : QObject(parent) { }

    // Each request function starts the request and returns at once; `requestToken` receives
    // the request's GUID text when given. The return value is 0 when the request was started.
    virtual int fetchFromCloud(CloudRequestIds id, const QJsonObject &body,
                               QString *requestToken = nullptr) = 0;
    virtual int sendToCloud(CloudRequestIds id, const QJsonObject &body,
                            QString *requestToken = nullptr) = 0;
    virtual int uploadBinaryFileToCloud(CloudRequestIds id, const QJsonObject &body,
                                        QString *requestToken = nullptr) = 0;
    virtual int downloadBinaryFile(CloudRequestIds id, const QJsonObject &body,
                                   QString *requestToken = nullptr) = 0;
    virtual void abortBinaryFileUpload() = 0;
    virtual void abortBinaryFileDownload() = 0;
    virtual void discardNetworkRequest(const QString &requestToken) = 0;
    virtual bool requestInfo(CloudRequestIds id, XrfHttpRequestInfo *info) const = 0;
    virtual QString tenantId() const = 0;
    virtual bool isCloudConnected() const = 0;

signals:
    void responseFromNetwork(const XrfCloudResponse &response);
    void fileUploadProgress(int percent);
    void fileUploadComplete(bool success, QString error);
    void fileUploadCompleteResponse(const XrfCloudResponse &response);
    void fileDownloadCompleted(bool success, QString error);
    void methodFactorSetStatusChange(QJsonObject status);
    void cloudConnectivityStatusChanged(bool isConnected);
};
