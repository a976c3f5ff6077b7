// Remote method update: a fleet profile's method set, packed as an instrument profile and
// uploaded so that the cloud can roll it out.
//
// The package holds profile/instrumentsettings with the fleet profile's "admin.json" and
// "user_*.json", its "global" folder, its "libraries" and "templates", and the methods: the one
// named by "methodId", or every method of the instrument profile. A method comes from the fleet
// profile when it has "CalcMethod_<id>.json" there, else from the instrument; "Devices" (this
// instrument's own data) always comes from the instrument, and "MethodBuilderData" (the method
// builder's workspace) is left out.

#include "xrffactorymanager_p.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {
const QString kFailurePrefix = QStringLiteral("RMU upload failed,");
const QString kNoOutputFolder =
    QStringLiteral("RMU upload failed, Output directory %1 does not exists");
const QString kZipFailed = QStringLiteral("RMU upload failed, zip command failed. profile path: "
                                          "%1, Zip file name: %2, output directory: %3");
const QString kBadName = QStringLiteral("RMU upload failed, invalid %1 '%2'.");
const QString kNoFleetProfile =
    QStringLiteral("RMU upload failed, fleet profile %1 does not exist.");
const QString kNoMethod = QStringLiteral("RMU upload failed, method %1 is in neither profile.");
const QString kCopyFailed = QStringLiteral("RMU upload failed, %1");
// Local time, 24-hour clock.
const QString kArchiveTimeFormat = QStringLiteral("yyMMdd_HHmm");
const QString kSettings = QStringLiteral("/instrumentsettings");
const QString kMethods = QStringLiteral("/instrumentsettings/methods");
const QString kDevices = QStringLiteral("Devices");
const QString kMethodBuilderData = QStringLiteral("MethodBuilderData");

QString text(const QJsonObject &obj, const char *key)
{
    const QJsonValue value = obj.value(QLatin1String(key));
    return value.isDouble() ? QString::number(value.toDouble(), 'f', 0) : value.toString();
}

// The fleet profile's settings files and folders, into the package's profile.
bool copyFleetSettings(const QString &fleet, const QString &target, QString *errorMsg)
{
    const QDir settings(fleet + kSettings);
    const QFileInfoList files =
        settings.entryInfoList({QStringLiteral("admin.json"), QStringLiteral("user_*.json")},
                               QDir::Files | QDir::NoSymLinks);
    for (const QFileInfo &file : files) {
        const QString copy = target + kSettings + QLatin1Char('/') + file.fileName();
        if (!QFile::copy(file.absoluteFilePath(), copy)) {
            *errorMsg = QStringLiteral("failed to copy %1").arg(file.absoluteFilePath());
            return false;
        }
    }
    for (const QString &folder : {QStringLiteral("/libraries"), QStringLiteral("/templates"),
                                  QStringLiteral("/instrumentsettings/global")}) {
        if (QFileInfo(fleet + folder).isDir()
            && !XrfUtils::copyDirectory(fleet + folder, target + folder, errorMsg))
            return false;
    }
    return true;
}
} // namespace

void XrfFactoryManager::remoteMethodUpdateUpload(QJsonObject obj)
{
    d->doRemoteMethodUpdateUpload(obj);
}

void Worker::doRemoteMethodUpdateUpload(QJsonObject obj)
{
    qDebug().noquote() << "Creating Remote Method Update: "
                       << QJsonDocument(obj).toJson(QJsonDocument::Compact);
    profileBackupResult = XrfProfileBackupResult();
    setCurrentTaskProgress(0);
    const QString folder = remoteMethodFolder(QStringLiteral("RMU"));
    const QString package = folder + QStringLiteral("/package");
    qDebug().noquote() << "Create RMU profile folder: " << package;
    QString name;
    QString error;
    int serial = 0;
    if (!profileSerialNumber(kFailurePrefix, &serial, &error)
        || !remoteMethodUpdateName(obj, serial, &name, &error)) {
        onRemoteMethodUpdateUploadComplete(false, error);
        return;
    }
    profileBackupResult.metaInfo().setDeviceSerialNumber(serial);
    profileBackupResult.metaInfo().setFileName(name);
    XrfUtils::removeDirectoryContents(folder, true, false);
    if (!QDir().mkpath(package + QStringLiteral("/profile") + kMethods)) {
        onRemoteMethodUpdateUploadComplete(false, kNoOutputFolder.arg(package));
        return;
    }
    if (!buildRemoteMethodUpdatePackage(obj, package + QStringLiteral("/profile"), &error)) {
        onRemoteMethodUpdateUploadComplete(false, error);
        return;
    }
    if (!XrfUtils::zip(package, name, folder, true, true, false, QString(), &error)) {
        qWarning().noquote() << error;
        onRemoteMethodUpdateUploadComplete(false, kZipFailed.arg(profilePath, name, folder));
        return;
    }
    if (!describeProfileArchive(folder, name, kFailurePrefix, &error)) {
        onRemoteMethodUpdateUploadComplete(false, error);
        return;
    }
    uploadProfileArchive(XrfNetworkManager::UploadRemoteMethodUpdate, kFailurePrefix,
                         &Worker::onRemoteMethodUpdateUploadProgressChanged,
                         &Worker::onRemoteMethodUpdateUploadComplete);
}

// "<serial>_FP-<fleet profile>_<time>.zip" for a fleet profile's set, else
// "<serial>_<method>_<time>.zip"; every part from the caller is checked as a file name.
bool Worker::remoteMethodUpdateName(const QJsonObject &obj, int instrumentSerial, QString *name,
                                    QString *errorMsg)
{
    QString serial = text(obj, "serial");
    if (serial.isEmpty())
        serial = QString::number(instrumentSerial);
    const QString methodId = text(obj, "methodId");
    const QString fleet = text(obj, "fleetProfile");
    const QString fleetName = QFileInfo(QDir::cleanPath(fleet)).fileName();
    const QList<QPair<QString, QString>> parts = {
        {QStringLiteral("serial"), serial},
        {QStringLiteral("methodId"), methodId},
        {QStringLiteral("fleet profile name"), fleetName}};
    for (const auto &part : parts) {
        if (!part.second.isEmpty() && XrfUtils::safeFileName(part.second) != part.second) {
            *errorMsg = kBadName.arg(part.first, part.second);
            return false;
        }
    }
    if (!fleet.isEmpty() && !QFileInfo(fleet).isDir()) {
        *errorMsg = kNoFleetProfile.arg(fleet);
        return false;
    }
    const QString time = packageArchiveTime(kArchiveTimeFormat);
    if (!fleet.isEmpty())
        *name = QStringLiteral("%1_FP-%2_%3.zip").arg(serial, fleetName, time);
    else
        *name = QStringLiteral("%1_%2_%3.zip")
                    .arg(serial, methodId.isEmpty() ? QStringLiteral("methods") : methodId, time);
    return true;
}

bool Worker::buildRemoteMethodUpdatePackage(const QJsonObject &obj, const QString &target,
                                            QString *errorMsg)
{
    const QString fleet = text(obj, "fleetProfile");
    const QString methodId = text(obj, "methodId");
    QString error;
    if (!fleet.isEmpty() && !copyFleetSettings(fleet, target, &error)) {
        *errorMsg = kCopyFailed.arg(error);
        return false;
    }
    QStringList methods{methodId};
    if (methodId.isEmpty())
        methods = QDir(profilePath + kMethods)
                      .entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    methods.removeAll(kMethodBuilderData);
    for (const QString &method : qAsConst(methods)) {
        const bool fromFleet = !fleet.isEmpty() && method != kDevices
            && QFileInfo::exists(
                QStringLiteral("%1%2/%3/CalcMethod_%3.json").arg(fleet, kMethods, method));
        const QString source =
            (fromFleet ? fleet : profilePath) + kMethods + QLatin1Char('/') + method;
        const QFileInfo sourceInfo(source);
        if (!sourceInfo.isDir() || sourceInfo.isSymLink()) {
            *errorMsg = kNoMethod.arg(method);
            return false;
        }
        if (!XrfUtils::copyDirectory(source, target + kMethods + QLatin1Char('/') + method,
                                     &error)) {
            *errorMsg = kCopyFailed.arg(error);
            return false;
        }
    }
    return true;
}

void Worker::onRemoteMethodUpdateUploadProgressChanged(int progress)
{
    showProfileUploadProgress(progress,
                              tr("Uploading Remote Method Update, Progress:%1%").arg(progress));
}

void Worker::onRemoteMethodUpdateUploadComplete(bool status, QString error)
{
    endRemoteMethodUpload(QStringLiteral("RMU"), status, error);
    emit q->remoteMethodUpdateUploadComplete(profileBackupResult.toJsonObject());
}
