// Factor set and QC summary: status queries, the cloud calibration run and its progress polls.

#include "xrffactorymanager_p.h"

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

void Worker::onGetFactorSetStatus(bool refresh)
{
    qDebug() << "Entering onGetFactorSetStatus(), refresh:" << refresh;
}

void Worker::onGetQcSummaryStatus()
{
    qDebug() << "Entering onGetQcSummaryStatus()";
}

void Worker::onStartFactorSetMB(QJsonObject request)
{
    qDebug() << "Entering onStartFactorSetMB()" << request;
}

void Worker::onAbortCalibrateMethodMB()
{
    qDebug() << "Entering onAbortCalibrateMethodMB()";
    userAbort = true;
}

void Worker::onCheckFactorSetProgress()
{
    qDebug() << "Entering onCheckFactorSetProgress()";
}

void Worker::onCheckFactorSetMBProgress()
{
    qDebug() << "Entering onCheckFactorSetMBProgress()";
}

void Worker::onCheckQCSummaryProgress()
{
    qDebug() << "Entering onCheckQCSummaryProgress()";
}

void Worker::onFactorSetMBStatusChanged(QJsonObject status)
{
    qDebug() << "Entering onFactorSetMBStatusChanged()" << status;
}

bool Worker::loadFactorSetStatusFromLastResult()
{
    if (lastResult.isEmpty())
        loadFactorySetupLastResult(nullptr);
    const QJsonValue factorSet = lastResult.value(QStringLiteral("factorSet"));
    const QJsonValue qcSummary = lastResult.value(QStringLiteral("qcSummary"));
    if (!factorSet.isObject())
        return false;
    XrfFactorSetQCSummaryResults loadedFactorSet;
    XrfFactorSetQCSummaryResults loadedQcSummary;
    if (!loadedFactorSet.fromJsonObject(factorSet.toObject())
        || (qcSummary.isObject() && !loadedQcSummary.fromJsonObject(qcSummary.toObject())))
        return false;
    factorSetResults = loadedFactorSet;
    qcSummaryResults = loadedQcSummary;
    return true;
}

bool Worker::saveFactorSetStatusToLastResult()
{
    loadFactorySetupLastResult(nullptr);
    lastResult.insert(QStringLiteral("factorSet"), factorSetResults.toJsonObject());
    lastResult.insert(QStringLiteral("qcSummary"), qcSummaryResults.toJsonObject());
    return saveFactorySetupLastResult();
}
