// Final QC templates: the cloud names the templates of this instrument, the file is downloaded
// into the profile's batch template folder (a zip archive is unpacked safely and its templates kept
// by base name), a method's template is found by its "methodId", and the batch settings of a
// method name its template for the instrument's batch test manager.

#include "xrffactorymanager_p.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTemporaryDir>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {
const QString kMetaInfoFailed =
    QStringLiteral("Request to get final QC templates meta info failed OR returned expected "
                   "response");
const QString kNoDownloadUrl =
    QStringLiteral("Final QC templates download  meta info recevied from cloud does not contain "
                   "downloadUrl");
const QString kRefusedName = QStringLiteral("Final QC templates download refused, the file name "
                                            "'%1' from the cloud names no template or archive");
const QString kDownloadFailed = QStringLiteral("Failed to download final QC templates, error:");
const QString kUnpackFailed = QStringLiteral("Failed to unpack final QC templates, error:");
const QString kNoTemplates =
    QStringLiteral("The final QC templates archive %1 holds no \"*_fqc.json\" template");
const QString kNoProfile =
    QStringLiteral("Final QC templates cannot be kept: no profile path is set");
const QString kNullSettings =
    QStringLiteral("startFinalQC: no batch settings object was given for method %1");
const QString kTemplateFilter = QStringLiteral("*_fqc.json");
const QString kTemplateSuffix = QStringLiteral("_fqc.json");
} // namespace

void XrfFactoryManager::downloadFinalQcTemplates()
{
    d->downloadFinalQcTemplates();
}

bool XrfFactoryManager::startFinalQC(QString methodId, QJsonObject *multiTestSettings,
                                     QString *errorMsg)
{
    if (onFactoryThread())
        return d->startFinalQC(methodId, multiTestSettings, errorMsg);
    bool started = false;
    QMetaObject::invokeMethod(
        d, [&] { started = d->startFinalQC(methodId, multiTestSettings, errorMsg); },
        Qt::BlockingQueuedConnection);
    return started;
}

void Worker::downloadFinalQcTemplates()
{
    qDebug() << "Entering downloadFinalQcTemplates";
    listenForCloudResponse(&Worker::onGetFinalQcTemplatesResponseReceived);
    XrfNetworkManager::instance()->fetchFromCloud(
        XrfNetworkManager::GetFinalQcTemplates,
        QJsonObject{{QStringLiteral("instrumentSerialNumber"), instrumentSerialNumber()}}, nullptr);
}

void Worker::onGetFinalQcTemplatesResponseReceived(const XrfCloudResponse &response)
{
    if (!acceptCloudResponse(response, XrfNetworkManager::GetFinalQcTemplates,
                             &Worker::onGetFinalQcTemplatesResponseReceived))
        return;
    const QString text = QString::fromUtf8(
        QJsonDocument(cloudResponseToJson(response)).toJson(QJsonDocument::Compact));
    if (response.hasFailed() || !response.isObject()) {
        qWarning().noquote() << kMetaInfoFailed + QStringLiteral(", response:") << text;
        endFinalQcTemplatesDownload(false, kMetaInfoFailed);
        return;
    }
    const QJsonObject meta = response.responseData().toObject();
    const QString url = meta.value(QStringLiteral("downloadUrl")).toString();
    const QString name = meta.value(QStringLiteral("name")).toString();
    if (url.isEmpty()) {
        qWarning().noquote() << kNoDownloadUrl + QStringLiteral(", cloudResponse:") << text;
        endFinalQcTemplatesDownload(false, kNoDownloadUrl);
        return;
    }
    if (profilePath.isEmpty()) {
        qWarning().noquote() << kNoProfile;
        endFinalQcTemplatesDownload(false, kNoProfile);
        return;
    }
    // Only the base name of the cloud's file name is kept, inside the template folder.
    const QString safeName = XrfUtils::safeFileName(name);
    if (!safeName.endsWith(QLatin1String(".zip"), Qt::CaseInsensitive)
        && !safeName.endsWith(kTemplateSuffix)) {
        const QString message = kRefusedName.arg(name);
        qWarning().noquote() << message;
        endFinalQcTemplatesDownload(false, message);
        return;
    }
    QDir().mkpath(batchTemplatesDirPath);
    // A template arrives under a temporary name so that a failed download replaces nothing.
    finalQcTemplatesDownload = batchTemplatesDirPath + safeName + QStringLiteral(".part");
    QFile::remove(finalQcTemplatesDownload);
    connect(XrfNetworkManager::instance(), &XrfNetworkManager::fileDownloadCompleted, this,
            &Worker::onFinalQcTemplatesDownloadComplete, Qt::UniqueConnection);
    const int code = XrfNetworkManager::instance()->downloadBinaryFile(
        XrfNetworkManager::DownloadFinalQcTemplates,
        QJsonObject{{QStringLiteral("downloadUrl"), url},
                    {QStringLiteral("downloadFileName"), safeName + QStringLiteral(".part")},
                    {QStringLiteral("downloadDirectory"), batchTemplatesDirPath}},
        nullptr);
    if (code != 0)
        onFinalQcTemplatesDownloadComplete(false, QString::number(code));
}

void Worker::onFinalQcTemplatesDownloadComplete(bool status, QString error)
{
    disconnect(XrfNetworkManager::instance(), &XrfNetworkManager::fileDownloadCompleted, this,
               &Worker::onFinalQcTemplatesDownloadComplete);
    QString failure;
    if (!status)
        failure = kDownloadFailed + error;
    else if (!installFinalQcTemplates(finalQcTemplatesDownload, &failure))
        failure = kUnpackFailed + failure;
    QFile::remove(finalQcTemplatesDownload);
    if (!failure.isEmpty())
        qWarning().noquote() << failure;
    endFinalQcTemplatesDownload(failure.isEmpty(), failure);
}

bool Worker::installFinalQcTemplates(const QString &downloaded, QString *errorMsg)
{
    const QString name = QFileInfo(downloaded).completeBaseName(); // without ".part"
    QTemporaryDir unpacked(batchTemplatesDirPath + QStringLiteral(".fqc-XXXXXX"));
    const QString folder = unpacked.path() + QStringLiteral("/templates");
    if (name.endsWith(kTemplateSuffix)) {
        QDir().mkpath(folder);
        if (!QFile::copy(downloaded, folder + QLatin1Char('/') + name)) {
            *errorMsg = QStringLiteral("Cannot copy %1").arg(downloaded);
            return false;
        }
    } else if (!XrfUtils::unzip(downloaded, folder, errorMsg)) {
        return false;
    }
    QStringList templates;
    QDirIterator it(folder, {kTemplateFilter}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        templates << it.next();
    if (templates.isEmpty()) {
        *errorMsg = kNoTemplates.arg(name);
        return false;
    }
    const QDir target(batchTemplatesDirPath);
    for (const QString &old : target.entryList({kTemplateFilter}, QDir::Files))
        QFile::remove(target.filePath(old));
    for (const QString &path : qAsConst(templates)) {
        const QString base = XrfUtils::safeFileName(QFileInfo(path).fileName());
        QFile::remove(target.filePath(base));
        if (!QFile::rename(path, target.filePath(base))) {
            *errorMsg = QStringLiteral("Cannot move template %1 into %2").arg(base, target.path());
            return false;
        }
    }
    qInfo() << "Final QC templates installed:" << templates.size();
    return true;
}

// A failure is also the task status, so that the technician sees why there is no template.
void Worker::endFinalQcTemplatesDownload(bool status, const QString &failure)
{
    if (!status)
        setCurrentTaskStatus(failure);
    emit q->finalQcTemplatesDownloadComplete(status);
}

QString Worker::findFinalQcTemplate(const QString &methodId)
{
    QString found;
    if (profilePath.isEmpty())
        return found;
    const QDir folder(batchTemplatesDirPath);
    for (const QFileInfo &file : folder.entryInfoList({kTemplateFilter}, QDir::Files)) {
        QJsonValue value;
        QString error;
        if (!XrfUtils::readJsonFile(file.filePath(), &value, &error) || !value.isObject()) {
            qWarning().noquote() << "Unable to parse" << file.fileName() << error;
            continue;
        }
        if (value.toObject().value(QStringLiteral("methodId")).toString() != methodId)
            continue;
        qInfo() << "Found template for" << methodId << ":" << file.fileName();
        found = file.absoluteFilePath();
    }
    return found;
}

bool Worker::startFinalQC(const QString &methodId, QJsonObject *multiTestSettings,
                          QString *errorMsg)
{
    if (errorMsg)
        errorMsg->clear();
    if (!multiTestSettings) {
        const QString message = kNullSettings.arg(methodId);
        qWarning().noquote() << message;
        if (errorMsg)
            *errorMsg = message;
        return false;
    }
    finalQcRunningMethod = methodId;
    const QString path = findFinalQcTemplate(methodId);
    const QString templateName = path.isEmpty() ? QString() : QFileInfo(path).completeBaseName();
    multiTestSettings->insert(QStringLiteral("type"), QStringLiteral("batchTests"));
    multiTestSettings->insert(QStringLiteral("batch"),
                              QJsonObject{{QStringLiteral("selectedTemplate"), templateName}});
    return true;
}
