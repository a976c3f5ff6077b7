// Final QC: the record of each installed method's batch test ("finalQc" in lastResult.json), kept
// in step with the installed methods, and the overall verdict.

#include "xrffactorymanager_p.h"

#include "xrfsettingsmanager.h"

#include <QFile>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {
const QString kLastResultKey = QStringLiteral("finalQc");
const QString kStatus = QStringLiteral("status");
const QString kComplete = QStringLiteral("finalQcComplete");
const QString kMethodId = QStringLiteral("methodId");
const QString kOverallStatus = QStringLiteral("overallStatus");
const QString kHaveTemplate = QStringLiteral("haveTemplate");
const QString kPass = QStringLiteral("pass");
const QString kSaveFailed = QStringLiteral("Failed to save the final QC record to lastResult.json");
const QString kSaveLoadFailed =
    QStringLiteral("Failed to save the final QC record, failed to load lastResult.json");

// Final QC is complete once at least one method with a template ran its batch and every method
// with a template passed: a run without a single checked method proves nothing.
bool isFinalQcComplete(const QJsonArray &entries)
{
    int templated = 0;
    for (const QJsonValue &value : entries) {
        const QJsonObject entry = value.toObject();
        if (!entry.value(kHaveTemplate).toBool())
            continue;
        ++templated;
        if (entry.value(kOverallStatus).toString() != kPass)
            return false;
    }
    return templated > 0;
}

int indexOfMethod(const QJsonArray &entries, const QString &methodId)
{
    for (int i = 0; i < entries.size(); ++i) {
        if (entries.at(i).toObject().value(kMethodId).toString() == methodId)
            return i;
    }
    return -1;
}

} // namespace

void XrfFactoryManager::onFinalQCBatchComplete(bool success)
{
    d->onFinalQCBatchComplete(success);
}

void XrfFactoryManager::uploadFinalQcResult() const
{
    QMetaObject::invokeMethod(d, &XrfFactoryManagerPrivate::uploadFinalQcResult);
}

void Worker::onGetFinalQcStatus()
{
    qDebug() << "Entering onGetFinalQcStatus()";
    loadFactorySetupLastResult(nullptr);
    const QJsonValue stored = lastResult.value(kLastResultKey);
    if (stored.isObject())
        finalQcStatus = stored.toObject();
    refreshFinalQcEntries();
    qDebug() << "Leaving onGetFinalQcStatus()";
}

// The entries follow the installed methods: one per enabled method that is not a full demo, each
// knowing whether a template serves it.
void Worker::refreshFinalQcEntries()
{
    QJsonArray installed;
    if (const int code = XrfSettingsManager::instance()->getMethodList(&installed))
        qWarning() << "Failed to list the installed methods, error:" << code;
    QJsonArray entries = finalQcStatus.value(kStatus).toArray();
    QJsonArray kept;
    for (const QJsonValue &value : qAsConst(installed)) {
        const QJsonObject method = value.toObject();
        const QString id = method.value(QStringLiteral("id")).toString();
        if (!method.value(QStringLiteral("enable")).toBool()
            || method.value(QStringLiteral("isFullDemoMethod")).toBool())
            continue;
        const int index = indexOfMethod(entries, id);
        QJsonObject entry = index >= 0 ? entries.at(index).toObject()
                                       : QJsonObject{{kMethodId, id},
                                                     {kOverallStatus, QStringLiteral("incomplete")},
                                                     {QStringLiteral("error"), QString()}};
        entry.insert(kHaveTemplate, !findFinalQcTemplate(id).isEmpty());
        kept.append(entry);
    }
    finalQcStatus.insert(kStatus, kept);
    finalQcStatus.insert(kComplete, isFinalQcComplete(kept));
}

void Worker::onFinalQCBatchComplete(bool success)
{
    qInfo() << "Final QC batch complete for" << finalQcRunningMethod << "success:" << success;
    // The record as stored, so that a batch after a restart does not replace it with an empty one.
    onGetFinalQcStatus();
    QJsonArray entries = finalQcStatus.value(kStatus).toArray();
    for (int i = 0; i < entries.size(); ++i) {
        QJsonObject entry = entries.at(i).toObject();
        if (entry.value(kMethodId).toString() != finalQcRunningMethod)
            continue;
        entry.insert(kOverallStatus, success ? kPass : QStringLiteral("fail"));
        entries.replace(i, entry);
    }
    finalQcStatus.insert(kStatus, entries);
    finalQcStatus.insert(kComplete, isFinalQcComplete(entries));
    finalQcRunningMethod.clear();
    QString error;
    if (!saveFinalQcToLastResult(&error))
        qWarning().noquote() << error;
}

// A lastResult.json that exists but cannot be read is left as it is; a missing one is started.
bool Worker::saveFinalQcToLastResult(QString *errorMsg)
{
    if (!loadFactorySetupLastResult(nullptr)) {
        if (QFile::exists(lastResultFilePath)) {
            *errorMsg = kSaveLoadFailed;
            return false;
        }
        lastResult = QJsonObject();
    }
    lastResult.insert(kLastResultKey, finalQcStatus);
    if (saveFactorySetupLastResult())
        return true;
    *errorMsg = kSaveFailed;
    return false;
}
