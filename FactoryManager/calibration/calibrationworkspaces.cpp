// Calibration shots, factory step 10: the workspaces of the methods, built from the method
// templates with the exposures the air shots measured, or synthetic method files.

#include "xrffactorymanager_p.h"

#include "xrfcalibrationutils.h"
#include "xrfmethod.h"
#include "xrfprerequisiteshot.h"

#include <QDir>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

const QString kSyntheticMethod = QStringLiteral("%1/syntheticMethod/CalcMethod_%2.json");
const QStringList kDisplaySuffixes = {QStringLiteral(" BigSet"), QStringLiteral(" Collimated"),
                                      QStringLiteral(" ISC")};
constexpr int kMaxBeams = 4;

QString exposureKey(const QString &method, int beam)
{
    return QStringLiteral("%1~%2").arg(method).arg(beam);
}

void addShotsToMap(const XrfAirShotList &shots, QHash<QString, XrfExposureSettings> *map)
{
    for (const XrfAirShot &shot : shots.airShots()) {
        for (const BeamUsageGroup &group : shot.usageGroups()) {
            const QString key = exposureKey(group.methodName(), group.beamNo());
            if (map->contains(key))
                continue;
            XrfExposureSettings exposure = shot.exposure();
            exposure.setBackgroundRate(shot.calculatedBackgoundRate());
            map->insert(key, exposure);
        }
    }
}

// A collimated twin's family is its method's family with "Coll" after it; the air shots name the
// method's family.
QString airShotFamily(const ModelMethod &method)
{
    QString family = method.family();
    if (method.isCollimatedCalibration() && family.endsWith(QLatin1String("Coll")))
        family.chop(4);
    return family;
}

QString displayNameFor(const ModelMethod &method, QString name)
{
    for (const QString &suffix : kDisplaySuffixes)
        name.remove(suffix);
    if (method.isBigSet())
        name += kDisplaySuffixes.at(0);
    if (method.isCollimatedCalibration())
        name += kDisplaySuffixes.at(1);
    if (method.isNativeCalibration())
        name += kDisplaySuffixes.at(2);
    return name;
}

} // namespace

void Worker::buildCalibrationExposureMaps()
{
    calibrationExposureMap.clear();
    collimatedCalibrationExposureMap.clear();
    addShotsToMap(uncollimatedAirShotList, &calibrationExposureMap);
    addShotsToMap(collimatedAirShotList, &collimatedCalibrationExposureMap);
}

QList<XrfExposureSettings> Worker::calibrationExposures(const ModelMethod &method) const
{
    const auto &map = method.isCollimatedCalibration() ? collimatedCalibrationExposureMap
                                                       : calibrationExposureMap;
    QList<XrfExposureSettings> exposures;
    for (int beam = 1; beam <= kMaxBeams; ++beam) {
        const auto it = map.constFind(exposureKey(airShotFamily(method), beam));
        if (it != map.cend())
            exposures.append(*it);
    }
    return exposures;
}

bool Worker::populateCalibrationStepListFromScratch()
{
    qDebug() << "populateCalibrationStepListFromScratch";
    calibrationStepList.clear();
    if (workOrder.isEmpty() && !loadWorkOrderInfoFromFile()) {
        qWarning() << "populateCalibrationStepListFromScratch failed, failed to read "
                      "provisioningInfo ";
        return false;
    }
    if (factorySetupInfo.isEmpty())
        loadFactorySetupParamsFromFile();
    if (uncollimatedAirShotList.isEmpty())
        getListOfAirShots();
    qDebug() << "populateCalibrationStepListFromScratch airShots count "
             << uncollimatedAirShotList.size() + collimatedAirShotList.size();
    buildCalibrationExposureMaps();
    QList<ModelMethod> methods;
    QString error;
    if (!getMethodsList(&methods, &error, false, false))
        qWarning() << "Failed to load methods list, err:" << error;
    if (methods.isEmpty())
        qWarning() << "populateCalibrationStepListFromScratch methodList is empty";
    methodIdSyntheticShotDirMap = calibrationSyntheticShotFolders(methods);
    QStringList withSteps;
    for (const ModelMethod &method : qAsConst(methods)) {
        if (!prepareCalibrationWorkspace(method, &withSteps))
            return false;
    }
    calibrationMethodsWithSteps = withSteps;
    if (withSteps.isEmpty()) {
        setNoCalShotStepList();
    } else if (!XrfCalibrationUtils::getCalibrationStepList(profilePath, withSteps,
                                                            &calibrationStepList,
                                                            QMap<QString, QString>(), &error)) {
        qWarning() << "Failed to get calibration Steps list." << error;
        return false;
    }
    return true;
}

bool Worker::prepareCalibrationWorkspace(const ModelMethod &method, QStringList *methodsWithSteps)
{
    if (!method.customRegionSymbols().isEmpty())
        qDebug() << "populateCalibrationStepListFromScratch - customRegion list "
                 << method.customRegionSymbols();
    const QList<XrfExposureSettings> exposures = calibrationExposures(method);
    const QString folder = methodIdSyntheticShotDirMap.value(method.id());
    if (method.isSyntheticMethod() || method.isFullDemoMethod()) {
        const QString synthetic = kSyntheticMethod.arg(folder, method.id());
        if (!folder.isEmpty() && QFileInfo::exists(synthetic)) {
            QString error;
            ModelMethod collimated = method;
            collimated.setIsCollimatedCalibration(true);
            if (!XrfCalibrationUtils::createSyntheticMethod(
                    profilePath, method.id(), synthetic, calibrationExposures(collimated),
                    exposures, method.isFullDemoMethod(), &error)) {
                cleanupCalibrationWorkspace(method.id());
                qWarning() << "Fail to create synthetic method for " << method.id() << error;
                return false;
            }
            adjustCalibrationMethodFile(method, exposures);
            return true;
        }
        // Without its package the method is shot on every standard of its template.
        qWarning().noquote() << QStringLiteral("Fail to find golden synthetic method for Method : "
                                               "%1 - syntheticMethodPath : %2")
                                    .arg(method.id(), synthetic);
        methodIdSyntheticShotDirMap.remove(method.id());
    }
    const QString stepsFile = XrfCalibrationUtils::calibrationStepsFile(profilePath, method.id());
    if (stepsFile.isEmpty()) {
        qWarning() << "Calibration workspace refused, the method id cannot name a folder:"
                   << method.id();
        return false;
    }
    if (!QFileInfo::exists(stepsFile)) {
        if (!createCalibrationWorkspace(method, exposures))
            return false;
    } else {
        qInfo() << "Updating existing workspace for:" << method.id();
        QString error;
        if (!XrfCalibrationUtils::updateCalibrationWorkspace(
                stepsFile, exposures, method.customRegionSymbols(), false, &error))
            qWarning() << "Failed to update workspace of the method:" << method.id() << error;
    }
    adjustCalibrationMethodFile(method, exposures);
    if (QFileInfo::exists(stepsFile)) {
        methodsWithSteps->append(method.id());
    } else {
        qWarning() << "Calibration Workspace doesn't exist for Method : " << method.id();
        cleanupCalibrationWorkspace(method.id());
    }
    return true;
}

bool Worker::createCalibrationWorkspace(const ModelMethod &method,
                                        const QList<XrfExposureSettings> &exposures)
{
    const QString stepsFile = XrfCalibrationUtils::calibrationStepsFile(profilePath, method.id());
    QString error;
    const bool created = XrfCalibrationUtils::createCalibrationWorkspaceFactory(
        profilePath, method.id(),
        XrfCalibrationUtils::methodTemplateFile(profilePath, method.templateName()), exposures,
        method.customRegionSymbols(),
        method.isFactoryMethod() ? QString() : method.cloneDataFolder(),
        method.bigSetFactorSetProcedure(), &error);
    if (!created) {
        setCurrentTaskStatus(tr("Failed to create workspace for '%1'. Swipe back to air shot page "
                                "and come back to cal shot page again.")
                                 .arg(method.id()));
        cleanupCalibrationWorkspace(method.id());
        qWarning() << "Fail to create calibration workspace for " << method.id() << error;
        return false;
    }
    if (!XrfCalibrationUtils::validateCalibrationWorkspaceFactory(method.id(), stepsFile, &error,
                                                                  true, false)) {
        qWarning() << method.id() << " method workspace validation failed, error:" << error;
        setCurrentTaskStatus(tr("%1 method workspace is not valid has been deleted. To re-create "
                                "workspace swipe back to airshot page and come back to cal shot "
                                "page.")
                                 .arg(method.id()));
        cleanupCalibrationWorkspace(method.id());
        return false;
    }
    QDir(XrfCalibrationUtils::disabledMethodPath(profilePath) + method.id()).removeRecursively();
    return true;
}

void Worker::adjustCalibrationMethodFile(const ModelMethod &method,
                                         const QList<XrfExposureSettings> &exposures)
{
    XrfMethod file;
    QString error;
    if (!file.setMethodFile(XrfMethod::methodFilePath(profilePath, method.id()), &error)) {
        qWarning() << "Failed to adjust the method file:" << error;
        return;
    }
    if (!currentWorkOrder()
             .value(QStringLiteral("deviceType"))
             .toString()
             .contains(QLatin1String("KRW")))
        file.setExposureSettings(method.isCollimatedCalibration(), exposures);
    file.setCoherentZNumberAllBeam(XrfUtils::atomicNumber(hardwareConfig.tubeAnode()));
    file.setFactoryOnlyMethod(method.isCollimatedCalibration());
    file.setAlternateCalibrationMethodId(method.alternateCalibrationMethodID());
    file.setWorkOrderPartNumber(method.partNumber());
    file.setDisplayName(displayNameFor(method, file.displayName()));
    if (method.isCollimatedCalibration() || !method.alternateCalibrationMethodID().isEmpty())
        file.setCollimationSupported(false);
    if (!file.saveMethodFile(&error))
        qWarning() << "Failed to save the method file:" << error;
}

QMap<QString, QString> Worker::calibrationSyntheticShotFolders(const QList<ModelMethod> &methods)
{
    populatePrerequisiteShotList(false, true);
    QMap<QString, QString> folders =
        prerequisiteStepInfo.selectionCriteria().methodIdSyntheticFilesPathMap();
    qDebug() << "populateCalibrationStepListFromScratch methodIdSyntheticShotDirMap " << folders;
    for (const ModelMethod &method : methods) {
        if (!folders.contains(method.id()))
            folders.insert(method.id(), folders.value(method.factoryMethodID()));
    }
    qDebug() << "populateCalibrationStepListFromScratch update methodIdSyntheticShotDirMap "
             << folders;
    return folders;
}
