// Calibration shots, factory step 10: the step list of every method, the standards it groups
// into, and which standard the technician places next.

#include "xrffactorymanager_p.h"

#include "xrfcalibrationutils.h"

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

const QString kNoCalShot = QStringLiteral("---NO CAL SHOT---");
const QString kCalibrationShot = QStringLiteral("calibrationShot");
const QString kMethodList = QStringLiteral("methodList");
const QString kSteps = QStringLiteral("steps");
const QString kModelMethod = QStringLiteral("modelMethod");
const char kIndexBeyondList[] =
    "Calibration standard start index:%1 + total shots:%2 is exceeding size of steps list:%3. "
    "Code should never get here. If you see this warning it means populated calibration "
    "standard list is wrong.";

XrfCalibrationStep noCalShotStep()
{
    XrfCalibrationStep step;
    step.setSampleID(kNoCalShot);
    step.setSampleName(kNoCalShot);
    step.setShootOrder(0);
    step.setBeamNumber(1);
    step.setIsDone(true);
    step.setHasFailed(false);
    return step;
}

} // namespace

bool Worker::populateCalibrationStepList()
{
    calibrationStandardFirstStep.clear();
    calibrationStandardStepCount.clear();
    calibrationStepList.clear();
    currentCalibrationStandard.clear();
    calibrationStandardList.clear();
    if (!calibrationListFlag) {
        loadFactorySetupLastResult(nullptr);
        const QJsonArray builtFor =
            lastResult.value(kCalibrationShot).toObject().value(kModelMethod).toArray();
        if (lastResult.contains(kCalibrationShot)
            && builtFor != currentWorkOrder().value(kModelMethod).toArray()) {
            qInfo() << "ModelMethod Changed (WorkOrder changed) ";
            doMethodModalChange();
        }
        QList<ModelMethod> methods;
        QString error;
        getMethodsList(&methods, &error, false, true);
        bool rebuild = false;
        for (const ModelMethod &method : qAsConst(methods)) {
            const QString stepsFile =
                XrfCalibrationUtils::calibrationStepsFile(profilePath, method.id());
            if (!QFileInfo::exists(stepsFile))
                continue;
            QString validation;
            if (!XrfCalibrationUtils::validateCalibrationWorkspaceFactory(
                    method.id(), stepsFile, &validation, true, false)) {
                qWarning() << "Existed method workspace validation failed, methodID:" << method.id()
                           << " error:" << validation;
                cleanupCalibrationWorkspace(method.id());
                rebuild = true;
            }
        }
        if (rebuild || !populateCalibrationStepListFromLastResult()) {
            if (!lastResult.value(QStringLiteral("airShot")).isObject())
                recoverBeamSetupAirShot();
            if (!populateCalibrationStepListFromScratch())
                return false;
            saveCalibrationStatusToLastResult();
        }
    } else if (!populateCalibrationStepListFromScratch()) {
        // The pure calibration workflow builds the same list from the methods it was given.
        return false;
    }
    indexCalibrationStandards();
    if (calibrationStepList.isEmpty()) {
        setCurrentTaskStatus(tr("Calibration step list is empty"));
        return true;
    }
    currentCalibrationStepIndex = 0;
    currentCalibrationStandard = findNextStandard(QString());
    if (currentCalibrationStandard.isEmpty()) {
        if (!offerSetAsideCalibrationStandards())
            onCalibrationComplete(true, QString(), false);
    } else {
        setCurrentTaskStatus(tr("Place %1 at window.").arg(currentCalibrationStandard));
        emit q->calibrationCurrentSampleChanged(currentCalibrationStandard);
    }
    return true;
}

bool Worker::populateCalibrationStepListFromLastResult()
{
    const QJsonValue stored = lastResult.value(kCalibrationShot);
    if (!stored.isObject()) {
        qWarning() << "populateCalibrationStepList failed, failed to read factorySetupLastResult "
                      "from lastResult.json";
        return false;
    }
    const QJsonObject record = stored.toObject();
    XrfCalibrationStepList steps;
    QString error;
    if (!steps.fromJsonObject(record, &error) || steps.isEmpty()) {
        qWarning() << "calibrationStepList is empty" << error;
        return false;
    }
    // The workspaces are the truth of what is to shoot; the record keeps what was shot.
    QStringList methodIds;
    for (const QJsonValue &id : record.value(kMethodList).toArray())
        methodIds << id.toString();
    XrfCalibrationStepList fresh;
    if (!methodIds.isEmpty()
        && XrfCalibrationUtils::getCalibrationStepList(profilePath, methodIds, &fresh,
                                                       QMap<QString, QString>(), &error)) {
        fresh.copyStatusFrom(steps);
        steps = fresh;
    }
    calibrationStepList = steps;
    calibrationMethodsWithSteps = methodIds;
    return true;
}

void Worker::indexCalibrationStandards()
{
    calibrationStandardFirstStep.clear();
    calibrationStandardStepCount.clear();
    QStringList order;
    for (int i = 0; i < calibrationStepList.size(); ++i) {
        const QString standard = calibrationStepList.at(i).standardDisplayId();
        if (i == 0 || calibrationStepList.at(i - 1).standardDisplayId() != standard) {
            calibrationStandardFirstStep.insert(standard, i);
            order << standard;
        }
    }
    calibrationStandardList.clear();
    for (int n = 0; n < order.size(); ++n) {
        const int first = calibrationStandardFirstStep.value(order.at(n));
        const int next = n + 1 < order.size() ? calibrationStandardFirstStep.value(order.at(n + 1))
                                              : calibrationStepList.size();
        calibrationStandardStepCount.insert(order.at(n), next - first);
        calibrationStandardList.append(
            XrfCalibrationStandard(calibrationStepList, first, next - first));
    }
}

QString Worker::findNextStandard(const QString &current)
{
    const int size = calibrationStepList.size();
    if (size == 0 || (size == 1 && calibrationStepList.at(0).standardDisplayId() == kNoCalShot))
        return QString();
    QString candidate = calibrationStepList.at(0).standardDisplayId();
    if (!current.isEmpty()) {
        const int first = calibrationStandardFirstStep.value(current);
        const int count = calibrationStandardStepCount.value(current);
        const int end = first + count;
        if (end > size) {
            qCritical().noquote() << QStringLiteral("**CRITICAL** ")
                    + QString::fromLatin1(kIndexBeyondList).arg(first).arg(count).arg(size);
            return QString();
        }
        candidate = end < size ? calibrationStepList.at(end).standardDisplayId() : current;
    }
    // Standards set aside for their 50 kV steps wait until the test stand is closed.
    const bool allow50kV = calibration50kVAllowed();
    int index = calibrationStandardFirstStep.value(candidate);
    int wraps = 0;
    QString result;
    const int bound = 2 * calibrationStandardFirstStep.size() + 2;
    for (int visited = 0; visited < bound; ++visited) {
        if (index >= size) {
            ++wraps;
            qDebug() << "reCheckListCount = " << wraps;
            if (wraps > 1)
                break;
            index = 0;
        }
        const QString standard = calibrationStepList.at(index).standardDisplayId();
        // Judged from its steps, not from a flag that re-indexing the standards forgets.
        const XrfCalibrationStandard record(calibrationStepList, index,
                                            calibrationStandardStepCount.value(standard));
        const bool setAside = !allow50kV && record.isOnly50kvStepsPending();
        if (!setAside && !record.isAllStepsDone()) {
            qDebug() << "incomplete Step found:" << standard;
            result = standard;
            break;
        }
        index += calibrationStandardStepCount.value(standard);
    }
    qDebug() << "Next Standard to Shoot:" << result;
    return result;
}

bool Worker::populateCalibrationStandardList()
{
    if (calibrationStepList.isEmpty() && !populateCalibrationStepList()) {
        qWarning() << "Failed to load calibration steps to get list of standards";
        return false;
    }
    for (const XrfCalibrationStandard &standard : calibrationStandardList.list())
        qDebug() << "Calibration Std:" << standard.name()
                 << "time Remaining:" << standard.timeRemainingInSeconds();
    if (calibrationStandardList.isEmpty()) {
        qWarning() << "Failed to find standards to calibrate.";
        return false;
    }
    return true;
}

void Worker::getCalibrationStepList()
{
    if (!populateCalibrationStepList())
        qWarning() << "Failed to populate the calibration step list";
    emit q->calibrationStepListChanged(calibrationStepList.toJsonObject());
}

void Worker::getCalibrationStandardsList(const QString &argument)
{
    if (argument.isEmpty()) {
        setCurrentTaskStatus(tr("Generating calibration standards list..."));
        emit q->calibrationWrongShotCriteriaReady(isCalibrationWrongShotCriteriaPresent());
    } else {
        calibrationListArgument = argument;
        calibrationListFlag = true;
    }
    populateCalibrationStandardList();
    emit q->calibrationStandardListChanged(calibrationStandardList.toJsonObject());
}

// The placeholder when no method has steps: the unit is calibrated from synthetic shots only.
void Worker::setNoCalShotStepList()
{
    calibrationStepList.clear();
    calibrationStepList.append(noCalShotStep());
}
