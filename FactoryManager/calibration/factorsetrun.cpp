// Factor set and QC summary: the start of each method's cloud run. The workspace is cleaned and
// checked, the method folder zipped and uploaded with curl; the cloud answers with the id of the
// run, which the progress polls follow.

#include "xrffactorymanager_p.h"

#include "curlrunner.h"
#include "xrfcalibrationutils.h"
#include "xrfmethod.h"
#include "xrfsettingsmanager.h"
#include "xrfutils.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {
const char kWorkspaceCorrupt[] =
    "%1 workspace is currupt, see logs for details.Please swipe back to cal shot page to "
    "re-create workspace and then try factor set again.";
const char kNoProfilePath[] = "could not get profile path";
const char kBadMethodName[] = "method name is not valid";
const char kBadSerial[] = "instrument serial number is not valid";
const char kZipFailed[] = "could not zip method folder";
const char kUploadFailed[] = "failed to send method zip to cloud";
const char kEmptyAnswer[] = "cloud response is empty";
const char kRunIdZero[] = "cloud factor set status request ID is zero";
// A curl transfer that does not start or end in time: watchdogs on a silent cloud, floored in
// process time so that a loaded machine does not trip them.
const int kCurlStartMs = 60000;
const int kCurlStartFloorMs = 10000;
const int kCurlFinishMs = 600000;
const int kCurlFinishFloorMs = 60000;

QString calibrationSummaryFolder(const QString &methodFolder)
{
    return methodFolder + QStringLiteral("/calibrationworkspace/calibrationsummary");
}
} // namespace

void Worker::startFactorSet(const QString &methodName, bool qcSummary)
{
    factorSetAborted[qcSummary] = false;
    XrfFactorSetQCSummaryResults &results = factorSetQCSummaryResults(qcSummary);
    if (results.isEmpty()) {
        if (qcSummary)
            populateFactorSetQCSummaryStatusFromScratch(true);
        else
            loadFactorSetStatus();
    }
    QStringList names;
    if (!methodName.isEmpty())
        names << methodName;
    for (const auto &method : results.list()) {
        if (methodName.isEmpty() && (!method.isDone() || method.hasFailed()))
            names << method.methodName();
    }
    for (const QString &name : qAsConst(names)) {
        if (factorSetAborted[qcSummary])
            break;
        qDebug().noquote() << "Starting factor set for " + name;
        startFactorSetQCSummaryForMethod(name, qcSummary);
    }
    if (names.isEmpty())
        onMethodFactorSetQCSummaryComplete(qcSummary);
}

void Worker::startFactorSetQCSummaryForMethod(const QString &methodName, bool qcSummary)
{
    XrfFactorSetQCSummaryResults &results = factorSetQCSummaryResults(qcSummary);
    XrfFactorSetQCSummaryResultPerMethod record;
    if (results.getMethodFactorSetQCSummaryResult(methodName, &record) && record.isDone()
        && results.resetMethodFactorSetQCSummaryResult(methodName))
        announceFactorSetQCSummary(qcSummary);
    record = XrfFactorSetQCSummaryResultPerMethod();
    record.setMethodName(methodName);
    storeFactorSetQCSummaryMethod(record, qcSummary);

    QString profile;
    if (XrfSettingsManager::instance()->getProfilePath(&profile) != 0 || profile.isEmpty()) {
        handleFactorSetQCSummaryFailure(methodName, QLatin1String(kNoProfilePath), qcSummary);
        return;
    }
    const QString methodFolder = XrfMethod::methodFolder(profile, methodName);
    if (methodFolder.isEmpty()) {
        handleFactorSetQCSummaryFailure(methodName, QLatin1String(kBadMethodName), qcSummary);
        return;
    }
    if (!prepareFactorSetWorkspace(methodName, methodFolder, qcSummary))
        return;
    const QString serial = hardwareConfig.insSerialNumber();
    if (!XrfMethod::isValidMethodId(serial)) {
        handleFactorSetQCSummaryFailure(methodName, QLatin1String(kBadSerial), qcSummary);
        return;
    }
    const QString methodsFolder = XrfMethod::methodsFolder(profile);
    const QString zipName = serial + methodName + QStringLiteral(".zip");
    setCurrentTaskStatus(tr("Zipping %1 method files").arg(methodName));
    QString error;
    if (!XrfUtils::zip(methodFolder, zipName, methodsFolder, true, true, false, QString(),
                       &error)) {
        qWarning().noquote() << error;
        handleFactorSetQCSummaryFailure(methodName, QLatin1String(kZipFailed), qcSummary);
        return;
    }
    setCurrentTaskProgress(25);
    setCurrentTaskStatus(tr("Uploading %1 method zip").arg(methodName));
    record.setMethodInputZipFilePath(methodsFolder + QLatin1Char('/') + zipName);
    record.setMethodOutputZipFilePath(
        methodsFolder + QLatin1Char('/') + serial + methodName
        + (qcSummary ? QStringLiteral("_qcSummary.zip") : QStringLiteral("_calibrated.zip")));
    storeFactorSetQCSummaryMethod(record, qcSummary);

    const bool uploaded = uploadFactorSetMethod(&record, qcSummary, &error);
    removeFactorSetArchive(record.methodInputZipFilePath());
    if (!uploaded) {
        if (!factorSetAborted[qcSummary])
            handleFactorSetQCSummaryFailure(methodName, error, qcSummary);
        return;
    }
    setCurrentTaskStatus(tr("%1 Upload complete, waiting for results..").arg(methodName));
    qDebug() << "Cloud factor set status request ID for" << methodName << ":"
             << record.statusRequestId();
    storeFactorSetQCSummaryMethod(record, qcSummary);
    results.setStatus(QStringLiteral("inProgress"));
    saveFactorSetStatusToLastResult();
    announceFactorSetQCSummary(qcSummary);
    // The first check runs once this start has returned, so that the other methods are uploaded
    // before the polls begin.
    QMetaObject::invokeMethod(
        this,
        [this, qcSummary] {
            if (qcSummary)
                onCheckQCSummaryProgress();
            else
                onCheckFactorSetProgress();
        },
        Qt::QueuedConnection);
}

bool Worker::prepareFactorSetWorkspace(const QString &methodName, const QString &methodFolder,
                                       bool qcSummary)
{
    const QString summary = calibrationSummaryFolder(methodFolder);
    const bool hadSummary = QFileInfo::exists(summary);
    if (hadSummary)
        QDir(summary).removeRecursively();
    if (qcSummary && hadSummary)
        return true;
    const QString stepsFile =
        methodFolder + QStringLiteral("/calibrationworkspace/procedure/calibrationsteps.json");
    QString error;
    // A method made from synthetic shots has no steps: its method file is its whole workspace.
    XrfMethod method;
    const QString methodFile =
        methodFolder + QLatin1Char('/') + XrfMethod::methodFileName(methodName);
    if (method.setMethodFile(methodFile, &error) && method.isSyntheticMethod()) {
        QStringList errors;
        if (method.isValidMethodFile(true, &errors))
            return true;
        error = errors.join(QStringLiteral("; "));
    } else if (XrfCalibrationUtils::validateCalibrationWorkspaceFactory(methodName, stepsFile,
                                                                        &error, false, true)) {
        return true;
    }
    qWarning().noquote() << "Workspace validation errors:" << error;
    // Reported against the kind that was started: a QC summary's workspace problem is not a
    // failed factor set.
    handleFactorSetQCSummaryFailure(methodName, tr(kWorkspaceCorrupt).arg(methodName), qcSummary);
    cleanupCalibrationWorkspace(methodName);
    return false;
}

bool Worker::uploadFactorSetMethod(XrfFactorSetQCSummaryResultPerMethod *record, bool qcSummary,
                                   QString *error)
{
    XrfHttpRequestInfo info;
    if (!XrfNetworkManager::instance()->requestInfo(XrfNetworkManager::UploadFactorSetMethod,
                                                    &info)) {
        *error = QLatin1String(kUploadFailed);
        return false;
    }
    QString urlError;
    CurlRequest request;
    request.method = CurlRequest::Put;
    request.headers = info.headers();
    request.uploadFile = record->methodInputZipFilePath();
    request.url = CurlRunner::buildUrl(
        info.baseUrl(), info.extendedUrl(),
        {hardwareConfig.insSerialNumber(), record->methodName(),
         qcSummary ? QStringLiteral("QCSummary") : QStringLiteral("FactorSet")},
        &urlError);
    QJsonObject answer;
    if (!runCurlCommand(request, &answer, &urlError)) {
        setCurrentTaskStatus(tr("Upload failed"));
        qWarning().noquote() << "Factor set upload failed:" << urlError;
        *error = QLatin1String(kUploadFailed);
        return false;
    }
    if (answer.isEmpty()) {
        *error = QLatin1String(kEmptyAnswer);
        return false;
    }
    const int runId = answer.value(QStringLiteral("id")).toInt();
    if (runId <= 0) {
        *error = QLatin1String(kRunIdZero);
        return false;
    }
    record->setStatusRequestId(runId);
    return true;
}

bool Worker::runCurlCommand(const CurlRequest &request, QJsonObject *response, QString *error)
{
    QStringList arguments;
    if (!CurlRunner::arguments(request, &arguments, error))
        return false;
    qDebug().noquote() << "Sending request to cloud: " + CurlRunner::program() << arguments;
    CurlRunner runner;
    activeCurl = &runner;
    QByteArray body;
    const bool ran = runner.run(request, XrfTimeScale::watchdogMs(kCurlStartMs, kCurlStartFloorMs),
                                XrfTimeScale::watchdogMs(kCurlFinishMs, kCurlFinishFloorMs), &body,
                                nullptr, error);
    activeCurl = nullptr;
    if (!ran)
        return false;
    qDebug() << "request sent. Reading response ...";
    if (!response)
        return true;
    *response = QJsonObject();
    if (body.trimmed().isEmpty())
        return true;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (!document.isObject()) {
        *error = QStringLiteral("failed to read cloud response: %1").arg(parseError.errorString());
        return false;
    }
    *response = document.object();
    return true;
}

bool Worker::downloadCalibratedMethodZip(const QString &url, const QString &path, QString *error)
{
    CurlRequest request;
    request.url = QUrl(url, QUrl::StrictMode);
    request.outputFile = path;
    qDebug().noquote() << "Downloading calibrated method .zip" << url << "to" << path;
    return runCurlCommand(request, nullptr, error);
}

void Worker::removeFactorSetArchive(const QString &path)
{
    if (path.isEmpty() || !QFileInfo::exists(path))
        return;
    if (!QFile::remove(path))
        qWarning().noquote() << "Fail to delete FactorSet/QCSummary Zip file. " + path;
}
