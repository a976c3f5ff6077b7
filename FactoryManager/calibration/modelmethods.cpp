// Method lists from the work order: the method of each sold part number from the method part
// map, its "-BigSet" and "-ISC" variants and collimated twin, full-demo units, the technician's
// selection, and the cache that every step shares.

#include "xrffactorymanager_p.h"

#include "xrfcalibrationutils.h"
#include "xrfmethod.h"
#include "xrfsettingsmanager.h"

#include <QJsonDocument>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

const QString kBigSetMarker = QStringLiteral("-BIGSET");
const QString kFullDemoPrefix = QStringLiteral("FD-");
const QString kAllMethods = QStringLiteral("_all_methods_");
const QString kNoMethodPrefix = QStringLiteral("Failed to get method id for method part number:");
const QString kNotInMap = QStringLiteral(
    ", methods map does not have methods map does not have method that matches given part number");
const QString kFullDemoWithOthers = QStringLiteral("FULLDEMO Unit can't have any other method");
const QString kNoWorkOrderMethods = QStringLiteral("There are no methods in workorder:");
const QString kNoDefaultMethods =
    QStringLiteral("Failed to read default methods from factory_setup_data.json");

QString compact(const QJsonObject &json)
{
    return QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Compact));
}

bool fail(QString *errorMsg, const QString &text)
{
    qWarning().noquote() << text;
    if (errorMsg)
        *errorMsg = text;
    return false;
}

// The element symbols of the work order's custom regions; names that are no element are skipped.
QStringList customRegionSymbols(const QJsonArray &regions)
{
    QStringList symbols;
    for (const QJsonValue &region : regions) {
        const QString name = region.toObject().value(QStringLiteral("name")).toString().trimmed();
        const int z = XrfUtils::atomicNumberFromFullName(name);
        if (z < 0) {
            qDebug() << "getMethodsList - unknown customRegion " << name;
            continue;
        }
        const QString symbol = XrfUtils::elementSymbol(z);
        if (symbol.isEmpty()) {
            qDebug() << "getMethodsList - unknown Z customRegion " << z;
            continue;
        }
        symbols << symbol;
    }
    return symbols;
}

} // namespace

bool XrfFactoryManager::getFactoryMethodIds(QStringList *ids, QString *err) const
{
    if (!ids || !err)
        return false;
    bool ok = false;
    const auto collect = [this, ids, err, &ok] {
        ids->clear();
        err->clear();
        QList<ModelMethod> methods;
        ok = d->getMethodsList(&methods, err, true, false);
        for (const ModelMethod &method : methods)
            ids->append(method.id());
    };
    if (onFactoryThread())
        collect();
    else
        QMetaObject::invokeMethod(d, collect, Qt::BlockingQueuedConnection);
    return ok;
}

bool Worker::getMethodModelFromPartNumber(const QString &partNumber, QList<ModelMethod> *out,
                                          QString *errorMsg)
{
    qDebug() << "Getting method Id from methodPN:" << partNumber;
    if (!out)
        return fail(errorMsg, kNoMethodPrefix + partNumber + ", Null outModelMethod parameter");
    QString pn = partNumber.trimmed();
    const bool bigSet = pn.contains(kBigSetMarker);
    if (bigSet)
        pn.remove(kBigSetMarker);
    if (defaultHwParams.isEmpty())
        loadFactorySetupParamsFromFile();
    if (defaultHwParams.isEmpty())
        return fail(errorMsg,
                    kNoMethodPrefix + pn
                        + ", failed to read defaultHwParams from factory_setup_data.json");
    const QJsonValue methods = defaultHwParams.value(QStringLiteral("methods"));
    if (!methods.isObject() || methods.toObject().isEmpty())
        return fail(errorMsg,
                    kNoMethodPrefix + pn
                        + ", failed to read 'methods' map from factory_setup_data.json");
    const QJsonObject map = methods.toObject().value(QStringLiteral("default")).toObject();
    if (!map.contains(pn))
        return fail(errorMsg,
                    QStringLiteral("Failed to get method id from method part number:") + pn
                        + kNotInMap);
    const QJsonObject entry = map.value(pn).toObject();
    ModelMethod method;
    QString parseError;
    if (!method.fromJsonObject(entry, &parseError))
        return fail(errorMsg,
                    kNoMethodPrefix + pn + ", error in deserializing method object " + parseError);
    const QString templateName = method.id();
    QString methodId = templateName;
    if (bigSet)
        methodId += QStringLiteral("-BigSet");
    if (method.isNativeCalibration())
        methodId += QStringLiteral("-ISC");
    // The id names the method's folders and files: a hostile one never reaches a path.
    if (!XrfMethod::isValidMethodId(templateName) || !XrfMethod::isValidMethodId(methodId))
        return fail(
            errorMsg,
            kNoMethodPrefix + pn
                + QStringLiteral(", method id '%1' is not a valid method id").arg(templateName));
    if (!bigSet)
        method.setBigSetFactorSetProcedure(QString());
    qDebug() << "templateName = " << templateName;
    qDebug() << "methodID = " << methodId;
    method.setPartNumber(partNumber.trimmed());
    method.setTemplateName(templateName);
    method.setIsCollimatedCalibration(false);
    method.setIsFactoryMethod(true);
    method.setId(methodId);
    method.setFactoryMethodID(methodId);
    method.setIsBigSet(bigSet);
    if (!workOrder.value(QStringLiteral("isUnCollimated")).toBool(false)
        && method.hasDualCalibration()) {
        ModelMethod twin = method;
        const QString collId = methodId + QStringLiteral("-Coll");
        twin.setPartNumber(partNumber.trimmed() + QStringLiteral("__COLL"));
        twin.setAlternateCalibrationMethodID(QString());
        twin.setHasDualCalibration(false);
        twin.setIsCollimatedCalibration(true);
        twin.setId(collId);
        twin.setFactoryMethodID(collId);
        twin.setFamily(method.family() + QStringLiteral("Coll"));
        const QJsonValue collParameter =
            entry.value(QStringLiteral("syntheticShotSelectionParameterColl"));
        if (collParameter.isString())
            twin.setSyntheticShotSelectionParameter(collParameter.toString());
        out->append(twin);
        method.setAlternateCalibrationMethodID(collId);
    }
    out->append(method);
    return true;
}

QString Worker::readFactorySelectedMethod()
{
    if (factorySelectedMethod.isEmpty()) {
        QJsonObject settings;
        XrfSettingsManager::instance()->getUniversalSetting(QStringLiteral("factory.settings"),
                                                            &settings);
        factorySelectedMethod = settings.value(QStringLiteral("factorySelectedMethod")).toString();
    }
    if (factorySelectedMethod.isEmpty())
        return QString();
    if (factorySelectedMethod == kAllMethods) {
        qDebug() << "Factory Selected method is set to all methods, ignoring selected method.....";
        return QString();
    }
    qDebug() << "Selected Method:" << factorySelectedMethod;
    return factorySelectedMethod;
}

bool Worker::getMethodsList(QList<ModelMethod> *out, QString *err, bool allMethods, bool reload)
{
    if (!out || !err)
        return false;
    if (reload)
        methodListCache = MethodListCache();
    if (!methodListCache.valid)
        buildMethodsList(nullptr);
    *out = allMethods ? methodListCache.allMethods : methodListCache.selectedMethods;
    *err = methodListCache.error;
    for (const ModelMethod &method : *out)
        qDebug().noquote() << compact(method.toJsonObject());
    return methodListCache.succeeded;
}

// Builds both lists at once, so that whichever list the first caller asks for, the other one is
// right too.
bool Worker::buildMethodsList(QString *err)
{
    MethodListCache cache;
    const QString selection = readFactorySelectedMethod();
    if (workOrder.isEmpty())
        loadWorkOrderInfoFromFile();
    if (defaultHwParams.isEmpty())
        loadFactorySetupParamsFromFile();
    if (workOrder.value(QStringLiteral("isUnCollimated")).toBool(false))
        qInfo() << "Collimation is disabled in the WO, final methods list won't have collimated "
                   "methods.";
    const QJsonValue modelMethod = workOrder.value(QStringLiteral("modelMethod"));
    QMap<QString, QJsonArray> partNumbers;
    for (const QJsonValue &entry : modelMethod.toArray()) {
        const QJsonObject object = entry.toObject();
        partNumbers.insert(object.value(QStringLiteral("name")).toString().trimmed(),
                           object.value(QStringLiteral("customRegion")).toArray());
    }
    const QJsonObject defaultMap =
        XrfUtils::getJsonValue(defaultHwParams, QStringLiteral("methods.default")).toObject();
    QStringList errors;
    QList<ModelMethod> methods;
    if (modelMethod.isArray() && !defaultMap.isEmpty() && !partNumbers.isEmpty()) {
        cache.succeeded = appendWorkOrderMethods(partNumbers, &methods, &errors);
        if (cache.succeeded || !methods.isEmpty()) {
            QList<ModelMethod> clones;
            XrfCalibrationUtils::getCloneMethodList(&clones, methods);
            methods += clones;
        }
    } else if (partNumbers.isEmpty()) {
        errors << kNoWorkOrderMethods;
        qWarning().noquote() << kNoWorkOrderMethods << compact(workOrder);
    } else {
        errors << kNoDefaultMethods;
        qWarning().noquote() << kNoDefaultMethods + QStringLiteral(", defaultMethods:")
                             << compact(defaultMap);
    }
    for (const ModelMethod &method : methods) {
        cache.allMethods.append(method);
        if (selection.isEmpty() || method.id() == selection)
            cache.selectedMethods.append(method);
    }
    cache.error = errors.join(QStringLiteral("; "));
    cache.valid = true;
    methodListCache = cache;
    if (err)
        *err = cache.error;
    return cache.succeeded;
}

// False when a part number has no method (its methods are missing, the others are listed) or a
// full-demo unit sells another method too (nothing is listed).
bool Worker::appendWorkOrderMethods(const QMap<QString, QJsonArray> &partNumbers,
                                    QList<ModelMethod> *methods, QStringList *errors)
{
    const QJsonObject defaultMap =
        XrfUtils::getJsonValue(defaultHwParams, QStringLiteral("methods.default")).toObject();
    int fullDemo = 0;
    for (const QString &pn : partNumbers.keys())
        fullDemo += pn.startsWith(kFullDemoPrefix) ? 1 : 0;
    if (fullDemo > 0 && partNumbers.size() > 1) {
        errors->append(kFullDemoWithOthers);
        qWarning().noquote() << kFullDemoWithOthers + QLatin1Char(':') << compact(workOrder);
        return false;
    }
    if (fullDemo == 1)
        return appendFullDemoMethods(partNumbers.firstKey(), defaultMap, methods, errors);
    bool ok = true;
    for (auto it = partNumbers.cbegin(); it != partNumbers.cend(); ++it) {
        QList<ModelMethod> found;
        QString error;
        if (!getMethodModelFromPartNumber(it.key(), &found, &error)) {
            errors->append(error);
            ok = false;
            continue;
        }
        const QStringList symbols = customRegionSymbols(it.value());
        for (ModelMethod &method : found)
            method.setCustomRegionSymbols(symbols);
        methods->append(found);
    }
    return ok;
}

bool Worker::appendFullDemoMethods(const QString &partNumber, const QJsonObject &defaultMap,
                                   QList<ModelMethod> *methods, QStringList *errors)
{
    const QJsonObject entry = defaultMap.value(partNumber).toObject();
    bool ok = true;
    const auto append = [&](const QString &pn, bool fullDemoMethod) {
        QList<ModelMethod> found;
        QString error;
        if (!getMethodModelFromPartNumber(pn, &found, &error)) {
            errors->append(error);
            ok = false;
            return;
        }
        for (ModelMethod &method : found) {
            method.setIsFullDemoMethod(fullDemoMethod);
            methods->append(method);
        }
    };
    if (entry.isEmpty()) {
        const QString error = QStringLiteral("Failed to get method id from method part number:")
            + partNumber + kNotInMap;
        qWarning().noquote() << error;
        errors->append(error);
        return false;
    }
    for (const QJsonValue &pn : entry.value(QStringLiteral("methodsList")).toArray())
        append(pn.toString().trimmed(), true);
    const QString calibrateMethod = entry.value(QStringLiteral("calibrateMethod")).toString();
    if (!calibrateMethod.trimmed().isEmpty())
        append(calibrateMethod.trimmed(), false);
    return ok;
}
