// The method folders of the profile and the global calibration library (clone methods, service
// calibration).

#include "xrfcalibrationutils.h"

#include "modelmethod.h"
#include "xrfmethod.h"
#include "xrfutils.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QMutex>

namespace {

struct CloneDefinition
{
    QString id;
    QString sourceMethodId;
    QString dataFolder;
};

// The library loaded into the process.
struct GlobalCalibrationLib
{
    QMutex mutex;
    bool loaded = false;
    QString folder;
    bool serviceCalibration = false;
    QList<CloneDefinition> clones;
};

GlobalCalibrationLib &globalLib()
{
    static GlobalCalibrationLib lib;
    return lib;
}

bool fail(QString *errorMsg, const QString &text)
{
    if (errorMsg)
        *errorMsg = text;
    return false;
}

bool parseClones(const QJsonValue &json, const QString &path, QList<CloneDefinition> *clones,
                 QString *errorMsg)
{
    if (json.isUndefined())
        return true;
    if (!json.isArray())
        return fail(errorMsg,
                    QStringLiteral("%1: JSON key 'cloneMethods' is not an array").arg(path));
    for (const QJsonValue &entry : json.toArray()) {
        const QJsonObject object = entry.toObject();
        const QJsonValue id = object.value(QStringLiteral("id"));
        const QJsonValue source = object.value(QStringLiteral("sourceMethodId"));
        const QJsonValue folder = object.value(QStringLiteral("cloneDataFolder"));
        if (!entry.isObject() || !id.isString() || !source.isString()
            || !(folder.isString() || folder.isUndefined()))
            return fail(
                errorMsg,
                QStringLiteral("%1: JSON key 'cloneMethods' holds a malformed entry").arg(path));
        clones->append({id.toString(), source.toString(), folder.toString()});
    }
    return true;
}

} // namespace

bool XrfCalibrationUtils::removeAllMethods(const QString &profilePath, QString *errorMsg)
{
    if (profilePath.isEmpty())
        return fail(errorMsg, QStringLiteral("No profile folder to remove the methods of"));
    const QString folder = XrfMethod::methodsFolder(profilePath);
    const QFileInfo info(folder);
    if (info.isSymLink())
        return QFile::remove(folder)
            || fail(errorMsg, QStringLiteral("Failed to remove the link %1").arg(folder));
    if (!info.exists())
        return true;
    if (!QDir(folder).removeRecursively())
        return fail(errorMsg, QStringLiteral("Failed to remove the methods at %1").arg(folder));
    return true;
}

bool XrfCalibrationUtils::loadGlobalCalibrationLib(const QString &folder, bool reload,
                                                   bool requireFile, QString *errorMsg)
{
    GlobalCalibrationLib &lib = globalLib();
    QMutexLocker lock(&lib.mutex);
    const QString clean = QDir::cleanPath(folder);
    if (lib.loaded && lib.folder == clean && !reload)
        return true;
    const QString path = clean + QStringLiteral("/globalCalibrationLib.json");
    QList<CloneDefinition> clones;
    bool service = false;
    if (QFileInfo::exists(path)) {
        QJsonValue value;
        QString error;
        if (!XrfUtils::readJsonFile(path, &value, &error))
            return fail(errorMsg, error);
        const QJsonObject json = value.toObject();
        const QJsonValue serviceValue = json.value(QStringLiteral("serviceCalibration"));
        if (!value.isObject() || !(serviceValue.isBool() || serviceValue.isUndefined()))
            return fail(
                errorMsg,
                QStringLiteral("%1: JSON key 'serviceCalibration' is not a bool").arg(path));
        if (!parseClones(json.value(QStringLiteral("cloneMethods")), path, &clones, errorMsg))
            return false;
        service = serviceValue.toBool(false);
    } else if (requireFile) {
        return fail(errorMsg, QStringLiteral("Global calibration library %1 not found").arg(path));
    }
    lib.loaded = true;
    lib.folder = clean;
    lib.serviceCalibration = service;
    lib.clones = clones;
    return true;
}

bool XrfCalibrationUtils::usingServiceCalibration()
{
    GlobalCalibrationLib &lib = globalLib();
    QMutexLocker lock(&lib.mutex);
    return lib.serviceCalibration;
}

bool XrfCalibrationUtils::getCloneMethodList(QList<ModelMethod> *clones,
                                             const QList<ModelMethod> &methods)
{
    if (!clones)
        return false;
    GlobalCalibrationLib &lib = globalLib();
    QMutexLocker lock(&lib.mutex);
    for (const CloneDefinition &definition : lib.clones) {
        if (!XrfMethod::isValidMethodId(definition.id)
            || (!definition.dataFolder.isEmpty()
                && !XrfMethod::isValidMethodId(definition.dataFolder)))
            continue;
        for (const ModelMethod &method : methods) {
            if (method.id() != definition.sourceMethodId)
                continue;
            ModelMethod clone = method;
            clone.setId(definition.id);
            clone.setIsFactoryMethod(false);
            clone.setFactoryMethodID(method.id());
            clone.setAlternateCalibrationMethodID(QString());
            clone.setCloneDataFolder(definition.dataFolder.isEmpty()
                                         ? QString()
                                         : lib.folder + QStringLiteral("/cloneData/")
                                             + definition.dataFolder);
            clones->append(clone);
        }
    }
    return true;
}
