// Synthetic shots: the selection of a method's synthetic shot set from the prerequisite shots and
// its processing with this instrument's air shots.

#include "xrfcalibrationutils.h"

#include "modelmethod.h"
#include "xrfairshotlist.h"
#include "xrfmethod.h"
#include "xrfprerequisiteshot.h"
#include "xrfutils.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QMap>

namespace {

bool fail(XrfSyntheticShotSelectionCriteriaPerMethod *criteria, const QString &text)
{
    criteria->setHasFailed(true);
    criteria->setStatusMsg(text);
    return false;
}

bool fail(QString *errorMsg, const QString &text)
{
    if (errorMsg)
        *errorMsg = text;
    return false;
}

// The FWHM (eV) of the passed shot that measures `parameter`; -1 without one.
double measureParameter(const XrfPrerequisiteShotList &shots, const QString &parameter,
                        QString *problem)
{
    for (const XrfPrerequisiteShot &shot : shots.list()) {
        if (!shot.selectionParameters().contains(parameter))
            continue;
        if (!shot.hasPassed()) {
            *problem = QStringLiteral("prerequisite shot '%1' has not passed").arg(shot.id());
            return -1;
        }
        double ch1 = 0;
        double ch2 = 0;
        const double width = shot.spectrum().calculateResolution(
            shot.peakEnergyEv(), shot.referenceEnergyEv(), &ch1, &ch2);
        if (width <= 0)
            *problem = QStringLiteral("no peak at %1 eV in prerequisite shot '%2'")
                           .arg(shot.peakEnergyEv())
                           .arg(shot.id());
        return width;
    }
    *problem = QStringLiteral("no prerequisite shot measures '%1'").arg(parameter);
    return -1;
}

// The set folder of selection.json for `value`; empty with the reason when none fits.
QString pickSet(const QString &selectionPath, double value, QString *problem)
{
    QJsonValue json;
    QString error;
    if (!XrfUtils::readJsonFile(selectionPath, &json, &error)) {
        *problem = error;
        return QString();
    }
    const QJsonValue sets = json.toObject().value(QStringLiteral("sets"));
    if (!sets.isArray()) {
        *problem = QStringLiteral("%1: JSON key 'sets' is not an array").arg(selectionPath);
        return QString();
    }
    for (const QJsonValue &entry : sets.toArray()) {
        const QJsonValue folder = entry.toObject().value(QStringLiteral("folder"));
        const QJsonValue maxValue = entry.toObject().value(QStringLiteral("maxValue"));
        if (!folder.isString() || !maxValue.isDouble()
            || !XrfMethod::isValidMethodId(folder.toString())) {
            *problem =
                QStringLiteral("%1: JSON key 'sets' holds a malformed entry").arg(selectionPath);
            return QString();
        }
        if (value <= maxValue.toDouble())
            return folder.toString();
    }
    *problem =
        QStringLiteral("no synthetic shot set of %1 covers %2").arg(selectionPath).arg(value);
    return QString();
}

// The exposures of the air shots used by `methodName`, by beam number (the first shot wins).
QList<XrfExposureSettings> beamsOf(const XrfAirShotList &shots, const QString &methodName)
{
    QMap<int, XrfExposureSettings> byBeam;
    for (const XrfAirShot &shot : shots.airShots()) {
        for (const BeamUsageGroup &usage : shot.usageGroups()) {
            if (usage.methodName() != methodName || byBeam.contains(usage.beamNo()))
                continue;
            XrfExposureSettings exposure = shot.exposure();
            exposure.setBackgroundRate(shot.calculatedBackgoundRate());
            byBeam.insert(usage.beamNo(), exposure);
        }
    }
    return byBeam.values();
}

} // namespace

QString XrfCalibrationUtils::syntheticShotsDir()
{
    return XrfUtils::homeCorvaneAppDirPath() + QStringLiteral("/calibrationdefault/syntheticShots");
}

QString XrfCalibrationUtils::syntheticShotDirSuffix(const QString &probeType)
{
    return probeType == QLatin1String("Brass") ? QStringLiteral("-%1").arg(probeType) : QString();
}

QString XrfCalibrationUtils::syntheticMethodFilePath(const QString &filesPath,
                                                     const QString &methodId)
{
    return QStringLiteral("%1/syntheticMethod/CalcMethod_%2.json").arg(filesPath, methodId);
}

bool XrfCalibrationUtils::calculateSyntheticShotSelectionCriteria(
    const ModelMethod &method, const QString &suffix, const XrfPrerequisiteShotList &shots,
    XrfSyntheticShotSelectionCriteriaPerMethod *criteria)
{
    if (!criteria)
        return false;
    *criteria = XrfSyntheticShotSelectionCriteriaPerMethod();
    criteria->setMethodId(method.id());
    criteria->setPartNumber(method.partNumber());
    criteria->setParameter(method.syntheticShotSelectionParameter());
    if (method.syntheticShotSelectionParameter().isEmpty())
        return fail(criteria,
                    QStringLiteral("method '%1' has no synthetic shot selection parameter")
                        .arg(method.id()));
    const QString folderName = method.id() + suffix;
    if (!XrfMethod::isValidMethodId(folderName))
        return fail(criteria,
                    QStringLiteral("'%1' cannot name a synthetic shot folder").arg(folderName));
    QString problem;
    const double value =
        measureParameter(shots, method.syntheticShotSelectionParameter(), &problem);
    if (value <= 0)
        return fail(criteria, problem);
    criteria->setValue(value);
    const QString methodFolder = syntheticShotsDir() + QLatin1Char('/') + folderName;
    if (!QFileInfo(methodFolder).isDir())
        return fail(criteria,
                    QStringLiteral("the synthetic shot package has no folder %1").arg(folderName));
    const QString set = pickSet(methodFolder + QStringLiteral("/selection.json"), value, &problem);
    if (set.isEmpty())
        return fail(criteria, problem);
    criteria->setFilesPath(methodFolder + QLatin1Char('/') + set);
    criteria->setStatusMsg(QStringLiteral("%1 = %2 selects %3")
                               .arg(method.syntheticShotSelectionParameter())
                               .arg(value, 0, 'f', 1)
                               .arg(set));
    return true;
}

bool XrfCalibrationUtils::processSyntheticShots(const ModelMethod &method,
                                                const XrfAirShotList &unCollimated,
                                                const XrfAirShotList &collimated,
                                                const QString &filesPath, QString *errorMsg)
{
    const QString prepared = filesPath + QLatin1Char('/') + XrfMethod::methodFileName(method.id());
    XrfMethod synthetic;
    QString error;
    if (XrfMethod::methodFileName(method.id()).isEmpty()
        || !synthetic.setMethodFile(prepared, &error))
        return fail(errorMsg,
                    error.isEmpty() ? QStringLiteral("Invalid method id '%1'").arg(method.id())
                                    : error);
    const bool isCollimated = method.isCollimatedCalibration();
    const QList<XrfExposureSettings> beams =
        beamsOf(isCollimated ? collimated : unCollimated, method.templateName());
    if (beams.isEmpty())
        return fail(
            errorMsg,
            QStringLiteral("No %1 air shot is used by method '%2'")
                .arg(isCollimated ? QStringLiteral("collimated") : QStringLiteral("uncollimated"),
                     method.templateName()));
    synthetic.setId(method.id());
    synthetic.setIsSyntheticMethod(true);
    synthetic.setExposureSettings(isCollimated, beams);
    const QString target = syntheticMethodFilePath(filesPath, method.id());
    if (!XrfUtils::writeJsonFile(target, QJsonDocument(synthetic.toJsonObject()), &error))
        return fail(errorMsg, QStringLiteral("Failed to write %1: %2").arg(target, error));
    return true;
}
