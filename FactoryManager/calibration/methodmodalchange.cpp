// A changed method selection: the method list is rebuilt, the calibration shots go, and the
// method workspaces of the profile that are not factor-set are removed.

#include "xrffactorymanager_p.h"

#include "xrfcalibrationutils.h"
#include "xrfmethod.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

bool isFactorSet(const QString &folder, const QString &methodId)
{
    XrfMethod method;
    return method.setMethodFile(folder + QLatin1Char('/') + XrfMethod::methodFileName(methodId))
        && method.isFactorSetted();
}

// Removes a method folder; a link in its place is removed, never followed.
void removeMethodFolder(const QString &path)
{
    qDebug() << "doMethodModalChange removing - " << path;
    const QFileInfo info(path);
    const bool removed = info.isSymLink() ? QFile::remove(path) : QDir(path).removeRecursively();
    if (!removed)
        qWarning() << "Failed to remove method folder" << path;
}

} // namespace

void Worker::doMethodModalChange()
{
    qDebug() << "Entering doMethodModalChange";
    if (factorSetProgressTimer && factorSetProgressTimer->isActive())
        factorSetProgressTimer->stop();
    QList<ModelMethod> methods;
    QString error;
    const bool listed = getMethodsList(&methods, &error, false, true);
    QMap<QString, QString> idToPartNumber;
    for (const ModelMethod &method : methods)
        idToPartNumber.insert(method.id(), method.partNumber());
    loadFactorySetupLastResult(nullptr);
    if (lastResult.contains(QStringLiteral("calibrationShot"))) {
        lastResult.remove(QStringLiteral("calibrationShot"));
        if (!saveFactorySetupLastResult())
            qWarning() << "Failed to remove the calibration shots from lastResult.json";
    }
    saveFactorSetStatusToLastResult();
    if (!listed) {
        // Without the list nothing can tell which workspaces still belong to the work order.
        qWarning() << "doMethodModalChange: the method list could not be rebuilt, no method "
                      "folder is removed, err:"
                   << error;
        return;
    }
    QString libError;
    if (!XrfCalibrationUtils::loadGlobalCalibrationLib(
            profilePath + QStringLiteral("/../calibrationdefault"), false, false, &libError))
        qWarning() << "Failed to load the global calibration library:" << libError;
    if (factorySelectedMethod.isEmpty())
        removeMethodFoldersNotFactorSet(idToPartNumber);
    qDebug() << "Leaving doMethodModalChange";
}

void Worker::removeMethodFoldersNotFactorSet(const QMap<QString, QString> &idToPartNumber)
{
    if (profilePath.isEmpty())
        return;
    const QString methodsFolder = XrfMethod::methodsFolder(profilePath);
    if (XrfCalibrationUtils::usingServiceCalibration()) {
        for (const QString &id : idToPartNumber.keys()) {
            const QString folder = XrfMethod::methodFolder(profilePath, id);
            if (!folder.isEmpty() && QFileInfo::exists(folder) && !isFactorSet(folder, id))
                removeMethodFolder(folder);
        }
        return;
    }
    const QFileInfoList entries =
        QDir(methodsFolder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    for (const QFileInfo &entry : entries) {
        const QString name = entry.fileName();
        // Only folders of methods the map names: anything else in the folder is not ours.
        if (!idToPartNumber.contains(name) || !XrfMethod::isValidMethodId(name))
            continue;
        if (!entry.isSymLink() && isFactorSet(entry.filePath(), name)) {
            qDebug() << "doMethodModalChange removing - " << true;
            continue;
        }
        removeMethodFolder(entry.filePath());
    }
}
