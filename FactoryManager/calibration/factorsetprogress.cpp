// Factor set and QC summary: the polls of the cloud runs, on the kind's repeating timer, and the
// calibrated archive of a finished run, downloaded, checked and installed over the method folder.

#include "xrffactorymanager_p.h"

#include "calibratedarchive.h"
#include "curlrunner.h"
#include "xrfmethod.h"
#include "xrfsettingsmanager.h"

#include <QFileInfo>
#include <QTimer>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;
using Method = XrfFactorSetQCSummaryResultPerMethod;

namespace {
const char kPollFailed[] = "failed to get factor progress from cloud";
const char kPollTimedOut[] = "the cloud did not finish the run in time";
const char kNoOutputUrl[] = "factor set output URL empty";
const char kDownloadFailed[] = "failed to download calibrated method zip";
const char kArchiveMissing[] = "Failed to unzip Calibrated method zip, file %1 not found.";
const char kApprovalFailed[] = "factor set approval failed";
const char kWorkspaceError[] = "error processing method workspace";

// The cloud's reason for a failed run, after the failure's own text.
QString withReason(const char *text, const QJsonObject &answer)
{
    const QString reason = answer.value(QStringLiteral("message")).toString().simplified();
    return reason.isEmpty() ? QLatin1String(text)
                            : QStringLiteral("%1 (%2)").arg(QLatin1String(text), reason);
}
} // namespace

void Worker::onCheckFactorSetProgress()
{
    if (!factorSetProgressTimer->isActive()) {
        qDebug() << "Starting factorSetStatus Timer";
        factorSetPollBound[0] = XrfPollBound(factorSetPollDeadlineMs, factorSetMinPolls);
        factorSetProgressTimer->start();
    }
    onCheckFactorSetQCSummaryProgress(false);
}

void Worker::onCheckQCSummaryProgress()
{
    if (!qcSummaryProgressTimer->isActive()) {
        qDebug() << "Starting qcSummaryStatus Timer";
        factorSetPollBound[1] = XrfPollBound(factorSetPollDeadlineMs, factorSetMinPolls);
        qcSummaryProgressTimer->start();
    }
    onCheckFactorSetQCSummaryProgress(true);
}

void Worker::onCheckFactorSetQCSummaryProgress(bool qcSummary)
{
    // A tick while a transfer of this kind runs (its wait keeps the event loop going) is skipped.
    if (factorSetPollBusy[qcSummary])
        return;
    factorSetPollBusy[qcSummary] = true;
    QStringList pending;
    for (const Method &method : factorSetQCSummaryResults(qcSummary).list()) {
        if (!method.isDone() && method.statusRequestId() > 0)
            pending << method.methodName();
    }
    const bool timeLeft = pending.isEmpty() || factorSetPollBound[qcSummary].pollAgain();
    for (const QString &name : qAsConst(pending)) {
        if (factorSetAborted[qcSummary])
            break;
        if (timeLeft)
            checkFactorSetRun(name, qcSummary);
        else
            handleFactorSetQCSummaryFailure(name, QLatin1String(kPollTimedOut), qcSummary);
    }
    factorSetPollBusy[qcSummary] = false;
}

void Worker::checkFactorSetRun(const QString &methodName, bool qcSummary)
{
    setCurrentTaskProgress(50);
    Method record;
    factorSetQCSummaryResults(qcSummary).getMethodFactorSetQCSummaryResult(methodName, &record);
    XrfHttpRequestInfo info;
    QString error;
    CurlRequest request;
    if (XrfNetworkManager::instance()->requestInfo(XrfNetworkManager::GetFactorSetStatus, &info)) {
        request.headers = info.headers();
        request.url = CurlRunner::buildUrl(info.baseUrl(), info.extendedUrl(),
                                           {QString::number(record.statusRequestId())}, &error);
    }
    QJsonObject answer;
    const bool answered = runCurlCommand(request, &answer, &error);
    // An abort while the transfer ran has ended the method already.
    if (factorSetAborted[qcSummary])
        return;
    if (!answered) {
        qWarning().noquote() << "Factor set poll failed:" << error;
        handleFactorSetQCSummaryFailure(methodName, QLatin1String(kPollFailed), qcSummary);
        return;
    }
    const Method::StatusId status =
        Method::cloudFactorSetStatusId(answer.value(QStringLiteral("runStatusId")).toInt());
    if (status == record.statusId())
        return;
    record.setStatusId(status);
    storeFactorSetQCSummaryMethod(record, qcSummary);
    saveFactorSetStatusToLastResult();
    qDebug().noquote() << "Factor set cloud status changed: " + record.status();
    switch (status) {
    case Method::StatusChanged:
        announceFactorSetQCSummary(qcSummary);
        break;
    case Method::OutputReady:
        installCalibratedMethod(methodName, answer, qcSummary);
        break;
    case Method::ApprovalFailed:
        handleFactorSetQCSummaryFailure(methodName, withReason(kApprovalFailed, answer), qcSummary);
        break;
    case Method::WorkspaceError:
        handleFactorSetQCSummaryFailure(methodName, withReason(kWorkspaceError, answer), qcSummary);
        break;
    default:
        break;
    }
}

void Worker::installCalibratedMethod(const QString &methodName, const QJsonObject &answer,
                                     bool qcSummary)
{
    Method record;
    factorSetQCSummaryResults(qcSummary).getMethodFactorSetQCSummaryResult(methodName, &record);
    const QString url = answer.value(QStringLiteral("zipOutputUrl")).toString();
    if (url.isEmpty()) {
        handleFactorSetQCSummaryFailure(methodName, QLatin1String(kNoOutputUrl), qcSummary);
        return;
    }
    record.setMethodZipDownloadUrl(url);
    storeFactorSetQCSummaryMethod(record, qcSummary);
    setCurrentTaskStatus(tr("Downloading calibrated method %1").arg(methodName));
    const QString archive = record.methodOutputZipFilePath();
    QString error;
    const bool downloaded = downloadCalibratedMethodZip(url, archive, &error);
    if (factorSetAborted[qcSummary]) {
        removeFactorSetArchive(archive);
        return;
    }
    if (!downloaded) {
        qWarning().noquote() << "Calibrated method download failed:" << error;
        handleFactorSetQCSummaryFailure(methodName, QLatin1String(kDownloadFailed), qcSummary);
        return;
    }
    qDebug() << "Calibrated method .zip download complete, extracting...";
    setCurrentTaskStatus(tr("Download complete, extracting..."));
    if (!QFileInfo(archive).isFile()) {
        handleFactorSetQCSummaryFailure(
            methodName, QString::fromLatin1(kArchiveMissing).arg(archive), qcSummary);
        return;
    }
    const bool installed = CalibratedArchive::install(archive, factorSetMethodsFolder(), methodName,
                                                      !qcSummary, &error);
    removeFactorSetArchive(archive);
    if (!installed) {
        handleFactorSetQCSummaryFailure(methodName, error, qcSummary);
        return;
    }
    setCurrentTaskStatus(tr("%1 factor set complete").arg(methodName));
    record.setIsDone(true);
    record.setHasFailed(false);
    record.setErrorMsg(QString());
    storeFactorSetQCSummaryMethod(record, qcSummary);
    saveFactorSetStatusToLastResult();
    announceFactorSetQCSummary(qcSummary);
    onMethodFactorSetQCSummaryComplete(qcSummary);
}

QString Worker::factorSetMethodsFolder()
{
    QString profile;
    if (XrfSettingsManager::instance()->getProfilePath(&profile) != 0 || profile.isEmpty())
        profile = profilePath;
    return XrfMethod::methodsFolder(profile);
}
