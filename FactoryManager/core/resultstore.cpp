// lastResult.json and the JSON file primitives every step uses.

#include "xrffactorymanager_p.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QThread>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {
void appendMessage(QString *errorMsg, const QString &message)
{
    if (errorMsg)
        errorMsg->append(message);
}

// The size and modification time of a file, which tell whether it changed since it was last
// seen; empty when there is no file.
QString fileStamp(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QString();
    return QStringLiteral("%1@%2").arg(info.size()).arg(info.lastModified().toMSecsSinceEpoch());
}
} // namespace

bool Worker::saveJsonDataToFile(const QString &filePath, const QJsonObject &data, QString *errorMsg,
                                QJsonDocument::JsonFormat format)
{
    const QJsonDocument document(data);
    if (filePath.isEmpty()) {
        qWarning() << "filepath argument can not be empty";
        return false;
    }
    QString ioError;
    switch (XrfUtils::writeFileAtomically(filePath, document.toJson(format), &ioError)) {
    case XrfUtils::WriteResult::Ok:
        return true;
    case XrfUtils::WriteResult::OpenFailed: {
        const QString message = QStringLiteral("Failed to open file %1").arg(filePath);
        appendMessage(errorMsg, message);
        qWarning() << "Failed to save json data to file" << message << ioError;
        return false;
    }
    case XrfUtils::WriteResult::WriteFailed:
    case XrfUtils::WriteResult::CommitFailed:
        break;
    }
    // The new content never replaced the file: what was there before is still there.
    const QString message =
        QStringLiteral("Failed to write data to file %1, bytes written: %2").arg(filePath).arg(-1);
    appendMessage(errorMsg, message + QStringLiteral(" (%1)").arg(ioError));
    qWarning() << "Failed to save json data to file" << message << ioError;
    return false;
}

bool Worker::loadJsonFromFile(const QString &filePath, QJsonValue *value, QString *errorMsg)
{
    if (!value || !errorMsg)
        return false;
    const bool quietSpectraFile =
        filePath.contains(QLatin1String("spectra")) && !filePath.contains(QLatin1String("00.json"));
    if (!quietSpectraFile)
        qDebug() << "Reading json value from file" << filePath;
    if (filePath.isEmpty()) {
        *errorMsg = QStringLiteral("failed to load JSON from file, file path is empty");
        return false;
    }
    QString message;
    if (XrfUtils::readJsonFile(filePath, value, &message))
        return true;
    errorMsg->append(message);
    if (!QFile::exists(filePath))
        qWarning().noquote() << message;
    return false;
}

bool Worker::saveFactorySetupLastResult()
{
    if (!onFactoryThread()) {
        qCritical().nospace()
            << "**CRITICAL** An attempt to save lastResult was made from non-factoryManager "
               "thread ,thread id:"
            << QThread::currentThread()->objectName();
        return false;
    }
    if (lastResult.isEmpty()) {
        qCritical() << "**CRITICAL** An attempt to write empty object to lastResult was made";
        return false;
    }
    QMutexLocker lock(&lastResultMutex);
    return writeLastResultFile();
}

bool Worker::writeLastResultFile()
{
    // A file other than the one this store last read or wrote may be unreadable: the image holds
    // only what was read before, so such a file is checked and, when unreadable, kept aside.
    lastResultSaveError.clear();
    const QString stamp = fileStamp(lastResultFilePath);
    if (!stamp.isEmpty() && stamp != lastResultFileStamp
        && !XrfUtils::setAsideUnreadableJsonFile(lastResultFilePath, &lastResultSaveError))
        return false;
    if (!saveJsonDataToFile(lastResultFilePath, lastResult, &lastResultSaveError,
                            QJsonDocument::Indented))
        return false;
    lastResultFileStamp = fileStamp(lastResultFilePath);
    return true;
}

bool Worker::loadFactorySetupLastResult(QString *errorMsg)
{
    if (!onFactoryThread()) {
        qCritical().nospace() << "***CRITICAL*** loadFactorySetupLastResult was called from "
                                 "non-factorymanager thread., threadId:"
                              << QThread::currentThread()->objectName();
    }
    if (errorMsg)
        errorMsg->clear();
    QJsonValue value;
    {
        QMutexLocker lock(&lastResultMutex);
        QString loadError;
        const bool loaded = loadJsonFromFile(lastResultFilePath, &value, &loadError);
        lastResultFileStamp =
            loaded && value.isObject() ? fileStamp(lastResultFilePath) : QString();
        if (!loaded) {
            const QString message =
                QStringLiteral("Failed to load factory setup lastResult from file %1, error:%2")
                    .arg(lastResultFilePath, loadError);
            qWarning().noquote() << message;
            appendMessage(errorMsg, message);
            return false;
        }
    }
    if (value.isObject()) {
        lastResult = value.toObject();
        return true;
    }
    const QString message = QStringLiteral("Failed to load factory setup last result from file, "
                                           "value read is not a valid JSON object format.");
    qWarning().noquote() << message;
    appendMessage(errorMsg, message);
    return false;
}

bool Worker::saveFactoryStepToLastResult(const XrfFactoryStepInfo &stepInfo, QString *errorMsg)
{
    if (!errorMsg)
        return false;
    errorMsg->clear();
    const QString key = stepInfo.stepIdStr();
    const QJsonObject json = stepInfo.toJsonObject();
    loadFactorySetupLastResult(nullptr);
    lastResult.insert(key, json);
    if (saveFactorySetupLastResult())
        return true;
    errorMsg->append(QStringLiteral("Failed to save factory step '%1' result to lastResult.json, "
                                    "error: Failed to save json file")
                         .arg(key));
    if (!lastResultSaveError.isEmpty())
        errorMsg->append(QStringLiteral(" (%1)").arg(lastResultSaveError));
    return false;
}

bool Worker::isFactoryStepInLastResult(XrfUtils::FactoryStepId &stepId)
{
    if (lastResult.keys().isEmpty() && !loadFactorySetupLastResult(nullptr)) {
        qWarning() << "Failed to read lastResult.json";
        return false;
    }
    return lastResult.contains(XrfFactoryManager::factoryStepNameFromId(stepId));
}

bool Worker::loadFactoryStepFromLastResult(XrfUtils::FactoryStepId stepId,
                                           XrfFactoryStepInfo *stepInfo, QString *errorMsg)
{
    if (!stepInfo || !errorMsg)
        return false;
    errorMsg->clear();
    const QString name = XrfFactoryManager::factoryStepNameFromId(stepId);
    XrfFactoryStepInfo record;
    record.setStepId(stepId);
    record.setStepIdStr(name);
    QString loadError;
    if (!loadFactorySetupLastResult(&loadError)) {
        errorMsg->append(
            QStringLiteral("Failed to load factory step %1 from lastResult.json, error:%2")
                .arg(name, loadError));
        return false;
    }
    if (!lastResult.contains(name)) {
        errorMsg->append(QStringLiteral("Failed to load factory step from lastResult.json, %1 key "
                                        "is not found in lastResult.json")
                             .arg(name));
        return false;
    }
    const QJsonValue stored = lastResult.value(name);
    if (!stored.isObject()) {
        errorMsg->append(QStringLiteral("Failed to load factory step from lastResult.josn, Result "
                                        "for key %1 is not valid JSON object")
                             .arg(name));
        return false;
    }
    QString parseError;
    if (!record.fromJsonObject(stored.toObject(), &parseError)) {
        qWarning().noquote() << "Failed to parse factory step" << name << "record:" << parseError;
        return false;
    }
    *stepInfo = record;
    return true;
}
