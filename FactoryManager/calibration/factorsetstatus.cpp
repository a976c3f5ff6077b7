// Factor set and QC summary: the results kept in lastResult.json ("factorSet", "qcSummary"), the
// status queries, a method's failure, the completion of a kind, its abort and the invalidation of
// a method's result.

#include "xrffactorymanager_p.h"

#include "curlrunner.h"
#include "xrflogging.h"
#include "xrfmethod.h"

#include <QDir>
#include <QTimer>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;
using Method = XrfFactorSetQCSummaryResultPerMethod;

namespace {
const QString kFactorSetKey = QStringLiteral("factorSet");
const QString kQcSummaryKey = QStringLiteral("qcSummary");
const char kAbortedByUser[] = "Factor set aborted by the user.";
} // namespace

XrfFactorSetQCSummaryResults &Worker::factorSetQCSummaryResults(bool qcSummary)
{
    return qcSummary ? qcSummaryResults : factorSetResults;
}

QTimer *Worker::factorSetQCSummaryTimer(bool qcSummary) const
{
    return qcSummary ? qcSummaryProgressTimer : factorSetProgressTimer;
}

void Worker::announceFactorSetQCSummary(bool qcSummary)
{
    if (qcSummary)
        emit q->qcSummaryStatusChanged(qcSummaryResults);
    else
        emit q->factorSetStatusChanged(factorSetResults);
}

void Worker::emitFactorSetQCSummaryComplete(bool qcSummary)
{
    const QJsonObject json = factorSetQCSummaryResults(qcSummary).toJsonObject();
    qDebug() << "Factor set/QC summary complete:" << json;
    if (qcSummary)
        emit q->qcSummaryComplete(json);
    else
        emit q->factorSetComplete(json);
}

void Worker::storeFactorSetQCSummaryMethod(const Method &record, bool qcSummary)
{
    factorSetQCSummaryResults(qcSummary).setMethodFactorSetQCSummaryResult(record);
}

bool Worker::loadFactorSetStatusFromLastResult()
{
    if (lastResult.isEmpty())
        loadFactorySetupLastResult(nullptr);
    const QJsonValue factorSet = lastResult.value(kFactorSetKey);
    const QJsonValue qcSummary = lastResult.value(kQcSummaryKey);
    if (!factorSet.isObject())
        return false;
    XrfFactorSetQCSummaryResults loadedFactorSet;
    XrfFactorSetQCSummaryResults loadedQcSummary;
    QString error;
    if (!loadedFactorSet.fromJsonObject(factorSet.toObject(), &error)
        || (qcSummary.isObject()
            && !loadedQcSummary.fromJsonObject(qcSummary.toObject(), &error))) {
        qWarning().noquote() << "lastResult.json: the factor set results cannot be read:" << error;
        return false;
    }
    factorSetResults = loadedFactorSet;
    qcSummaryResults = loadedQcSummary;
    return true;
}

// A kind without methods and not started has no record: an empty "factorSet" key would make the
// step look present when no factor set exists.
bool Worker::saveFactorSetStatusToLastResult()
{
    loadFactorySetupLastResult(nullptr);
    const QList<QPair<QString, const XrfFactorSetQCSummaryResults *>> kinds = {
        {kFactorSetKey, &factorSetResults}, {kQcSummaryKey, &qcSummaryResults}};
    for (const auto &kind : kinds) {
        if (kind.second->isEmpty() && kind.second->status() == QLatin1String("notStarted"))
            lastResult.remove(kind.first);
        else
            lastResult.insert(kind.first, kind.second->toJsonObject());
    }
    return saveFactorySetupLastResult();
}

bool Worker::populateFactorSetQCSummaryStatusFromScratch(bool qcSummary)
{
    QList<ModelMethod> methods;
    QString error;
    if (!getMethodsList(&methods, &error, false, false) && methods.isEmpty()) {
        qWarning().noquote() << "Failed populate factor set status and methods to factor set from "
                                "scratch"
                             << error;
        return false;
    }
    QStringList names;
    for (const ModelMethod &method : qAsConst(methods))
        names << method.id();
    XrfFactorSetQCSummaryResults fresh;
    fresh.followMethodList(names);
    factorSetQCSummaryResults(qcSummary) = fresh;
    return true;
}

void Worker::loadFactorSetStatus()
{
    loadFactorySetupLastResult(nullptr);
    if (!loadFactorSetStatusFromLastResult() || factorSetResults.isEmpty())
        populateFactorSetQCSummaryStatusFromScratch(false);
}

void Worker::onGetFactorSetStatus(bool refresh)
{
    qDebug() << "Entering onGetFactorSetStatus(), refresh:" << refresh;
    factorSetStatusOnly = refresh;
    if (!refresh) {
        loadFactorSetStatus();
        factorSetResults.updateStatusBasedOnMethodFileStatus(profilePath);
        saveFactorSetStatusToLastResult();
        const QString status = factorSetResults.status();
        if (status == QLatin1String("inProgress"))
            QMetaObject::invokeMethod(this, &Worker::onCheckFactorSetProgress,
                                      Qt::QueuedConnection);
        else if (status == QLatin1String("pass") || status == QLatin1String("fail"))
            onMethodFactorSetQCSummaryComplete(false);
    } else {
        QStringList installed;
        const QDir methods(XrfMethod::methodsFolder(profilePath));
        for (const QString &name : methods.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            if (XrfMethod::isValidMethodId(name))
                installed << name;
        }
        XrfFactorSetQCSummaryResults fresh;
        fresh.followMethodList(installed);
        fresh.updateStatusBasedOnMethodFileStatus(profilePath);
        factorSetResults = fresh;
        saveFactorSetStatusToLastResult();
    }
    setCurrentTaskStatus(QString());
}

void Worker::onGetQcSummaryStatus()
{
    qDebug() << "Entering onGetQcSummaryStatus()";
    loadFactorySetupLastResult(nullptr);
    if (!loadFactorSetStatusFromLastResult() || qcSummaryResults.isEmpty())
        populateFactorSetQCSummaryStatusFromScratch(true);
    qcSummaryResults.updateStatusFromMethods();
    saveFactorSetStatusToLastResult();
    setCurrentTaskStatus(QString());
}

void Worker::handleFactorSetQCSummaryFailure(const QString &methodName, const QString &error,
                                             bool qcSummary)
{
    const QString text = tr("Factor set for %1 failed: %2").arg(methodName, error);
    qWarning().noquote() << text;
    Method record;
    record.setMethodName(methodName);
    factorSetQCSummaryResults(qcSummary).getMethodFactorSetQCSummaryResult(methodName, &record);
    record.setIsDone(true);
    record.setHasFailed(true);
    record.setErrorMsg(text);
    storeFactorSetQCSummaryMethod(record, qcSummary);
    saveFactorSetStatusToLastResult();
    announceFactorSetQCSummary(qcSummary);
    onMethodFactorSetQCSummaryComplete(qcSummary);
    XrfAlarm(text).raise();
}

// Both kinds are decided only when every method has finished.
void Worker::onMethodFactorSetQCSummaryComplete(bool qcSummary)
{
    XrfFactorSetQCSummaryResults &results = factorSetQCSummaryResults(qcSummary);
    bool allDone = true;
    bool anyFailed = false;
    for (const Method &method : results.list()) {
        allDone = allDone && method.isDone();
        anyFailed = anyFailed || (method.isDone() && method.hasFailed());
    }
    const QString status = !allDone ? QStringLiteral("inProgress")
                                    : (anyFailed ? QStringLiteral("fail") : QStringLiteral("pass"));
    if (status != results.status()) {
        results.setStatus(status);
        announceFactorSetQCSummary(qcSummary);
        saveFactorSetStatusToLastResult();
    }
    if (!allDone)
        return;
    QTimer *timer = factorSetQCSummaryTimer(qcSummary);
    if (timer && timer->isActive())
        timer->stop();
    emitFactorSetQCSummaryComplete(qcSummary);
    if (!qcSummary && !factorSetStatusOnly)
        putDeviceFactoryStepStatus(XrfUtils::FactorSet,
                                   anyFailed ? XrfFactoryStepInfo::Failed
                                             : XrfFactoryStepInfo::Passed);
    if (currentTaskProgress != 99)
        setCurrentTaskProgress(99);
    if (currentTaskProgress != 100)
        setCurrentTaskProgress(100);
    // The archives go by the paths recorded for each method, never by a pattern.
    for (const Method &method : results.list()) {
        removeFactorSetArchive(method.methodInputZipFilePath());
        removeFactorSetArchive(method.methodOutputZipFilePath());
    }
}

void Worker::doFactorSetQCSummaryAbort(bool qcSummary)
{
    qDebug() << "Aborting factor set";
    factorSetAborted[qcSummary] = true;
    if (activeCurl)
        activeCurl->cancel();
    QTimer *timer = factorSetQCSummaryTimer(qcSummary);
    if (timer && timer->isActive())
        timer->stop();
    XrfFactorSetQCSummaryResults &results = factorSetQCSummaryResults(qcSummary);
    results.setStatus(QStringLiteral("fail"));
    for (Method method : results.list()) {
        if (method.isDone())
            continue;
        method.setIsDone(true);
        method.setHasFailed(true);
        method.setErrorMsg(QLatin1String(kAbortedByUser));
        results.setMethodFactorSetQCSummaryResult(method);
    }
    setCurrentTaskProgress(100);
    setCurrentTaskStatus(tr("Factor set failed"));
    saveFactorSetStatusToLastResult();
    announceFactorSetQCSummary(qcSummary);
    emitFactorSetQCSummaryComplete(qcSummary);
}

void Worker::invalidateFactorSetQCSummaryResultForMethod(const QString &methodName, bool qcSummary)
{
    qDebug() << "Invalidating factor set results for method:" << methodName;
    XrfFactorSetQCSummaryResults &results = factorSetQCSummaryResults(qcSummary);
    Method record;
    if (methodName.isEmpty()) {
        qWarning() << "Failed to invalidate factor set results, methodName is empty.";
        return;
    }
    if (results.isEmpty()) {
        qWarning().noquote() << "Failed to invalidate factor set result for method" << methodName
                             << ". Factor set results list is empty";
        return;
    }
    if (!results.getMethodFactorSetQCSummaryResult(methodName, &record)) {
        qWarning().noquote() << "Failed to invalidate factor set result for method" << methodName
                             << ". Method factor set results are not found in results list";
        return;
    }
    removeFactorSetArchive(record.methodOutputZipFilePath());
    removeFactorSetArchive(record.methodInputZipFilePath());
    if (!results.resetMethodFactorSetQCSummaryResult(methodName))
        return;
    results.setStatus(QStringLiteral("notStarted"));
    saveFactorSetStatusToLastResult();
    announceFactorSetQCSummary(qcSummary);
    emitFactorSetQCSummaryComplete(qcSummary);
}
