#include "simcloudroutes.h"

#include "xrfnetworkmanager.h"

#include <QRegularExpression>

namespace {
using Id = XrfNetworkManager::CloudRequestIds;

const QRegularExpression &placeholderPattern()
{
    static const QRegularExpression pattern(QStringLiteral("\\{([A-Za-z]+)\\}"));
    return pattern;
}

QList<SimCloudRoute> buildTable()
{
    const auto fetch = SimCloudRoute::Fetch;
    const auto send = SimCloudRoute::Send;
    const auto upload = SimCloudRoute::Upload;
    const auto download = SimCloudRoute::Download;
    return {
        {Id::GetFactoryDefaults, fetch, "GET", "/api/v1/factory/defaults"},
        {Id::GetWorkOrder, fetch, "GET", "/api/v1/devices/{serial}/workorder"},
        {Id::GetDeviceFactoryStatus, fetch, "POST", "/api/v1/devices/{serial}/factorystatus"},
        {Id::GetFactorSetStatus, fetch, "GET", "/api/v1/calibration/runs/{statusRequestId}"},
        {Id::GetCalibrationCheckCriteria, fetch, "GET", "/api/v1/calibration/checkcriteria"},
        {Id::GetFinalQcTemplates, fetch, "GET", "/api/v1/devices/{serial}/finalqc/templates"},
        {Id::GetSyntheticShots, fetch, "GET", "/api/v1/devices/{serial}/syntheticshots"},
        {Id::GetStabilityTestRun, fetch, "GET", "/api/v1/stability/runs/{testQueryGuid}"},
        {Id::PutAirShotResult, send, "PUT", "/api/v1/devices/{serial}/results/airshot"},
        {Id::PutBeamsSetupResult, send, "PUT", "/api/v1/devices/{serial}/results/beamssetup"},
        {Id::PutStabilityTestResult, send, "POST", "/api/v1/devices/{serial}/stability/runs"},
        {Id::PutHardwareTestResult, send, "PUT", "/api/v1/devices/{serial}/results/hardwaretest"},
        {Id::PutProvisioningResult, send, "PUT", "/api/v1/devices/{serial}/results/provisioning"},
        {Id::PutDeviceFactoryStepStatus, send, "PUT",
         "/api/v1/devices/{serial}/factorystatus/steps"},
        {Id::PutCameraCollimatorSetupResult, send, "PUT",
         "/api/v1/devices/{serial}/results/cameracollimator"},
        {Id::PutFinalQcResult, send, "PUT", "/api/v1/devices/{serial}/results/finalqc"},
        {Id::PutRadiationSurveyResult, send, "PUT",
         "/api/v1/devices/{serial}/results/radiationsurvey"},
        {Id::PutPrerequisiteShotResult, send, "PUT",
         "/api/v1/devices/{serial}/results/prerequisiteshots"},
        {Id::UploadStabilitySpectra, upload, "POST",
         "/api/v1/stability/spectra/{spectrumUploadId}"},
        {Id::UploadProfileBackup, upload, "POST", "/api/v1/devices/{serial}/profile/backups"},
        {Id::UploadFactorSetMethod, upload, "PUT",
         "/api/v1/devices/{serial}/methods/{methodId}/{runKind}", true},
        {Id::UploadStabilityFirmwareLogs, upload, "POST",
         "/api/v1/devices/{serial}/stability/firmwarelogs"},
        {Id::UploadFinalQcData, upload, "POST", "/api/v1/devices/{serial}/finalqc/data"},
        {Id::UploadRemoteMethodDiagnostic, upload, "POST",
         "/api/v1/devices/{serial}/methods/diagnostics"},
        {Id::UploadRemoteMethodUpdate, upload, "POST", "/api/v1/devices/{serial}/methods/updates"},
        {Id::DownloadCalibrationCheckCriteria, download, "GET", SimCloudRoutes::filePath},
        {Id::DownloadFinalQcTemplates, download, "GET", SimCloudRoutes::filePath},
        {Id::DownloadSyntheticShots, download, "GET", SimCloudRoutes::filePath},
        {Id::DownloadFactorSetResult, download, "GET", SimCloudRoutes::filePath},
    };
}
} // namespace

QStringList SimCloudRoute::placeholders() const
{
    QStringList names;
    auto it = placeholderPattern().globalMatch(QString::fromLatin1(path));
    while (it.hasNext())
        names << it.next().captured(1);
    return names;
}

QString SimCloudRoute::numberedTemplate() const
{
    QString result = QString::fromLatin1(path);
    int number = 0;
    for (const QString &name : placeholders())
        result.replace(QLatin1Char('{') + name + QLatin1Char('}'),
                       QStringLiteral("%%1").arg(++number));
    return result;
}

std::string SimCloudRoute::pattern() const
{
    QString result = QString::fromLatin1(path);
    result.replace(placeholderPattern(), QStringLiteral("([^/]+)"));
    return result.toStdString();
}

const QList<SimCloudRoute> &SimCloudRoutes::all()
{
    static const QList<SimCloudRoute> table = buildTable();
    return table;
}

SimCloudRoute SimCloudRoutes::route(int requestId)
{
    for (const SimCloudRoute &route : all()) {
        if (route.requestId == requestId)
            return route;
    }
    return SimCloudRoute();
}
