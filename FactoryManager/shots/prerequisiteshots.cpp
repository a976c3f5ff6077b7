// Prerequisite shots, factory step 9: the shot list from the factory setup data, kept to the
// shots that the work order's synthetic methods need, with what an earlier run measured; the
// step record in lastResult.json and the invalidation of shots.

#include "xrffactorymanager_p.h"

#include <QJsonDocument>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

const QString kPrerequisiteShots = QStringLiteral("prerequisiteShots");
const QString kNotInSetupData =
    QStringLiteral("prerequisiteShots step is not found in factory_setup_data.json, make sure "
                   "instrument has the latest version of the file.");
const QString kNoShotsRequired =
    QStringLiteral("Methods in the workorder do not require any pre-requisite shots.");
const QString kNoAirShotExposure =
    QStringLiteral("No %1 air shot exposure of beam '%2' for prerequisite shot '%3'");

const int kRegistered = [] {
    qRegisterMetaType<XrfPrerequisiteShot>();
    qRegisterMetaType<XrfPrerequisiteShotList>();
    qRegisterMetaType<XrfSyntheticShotSelectionCriteria>();
    return 0;
}();

} // namespace

void XrfFactoryManager::startPrerequisiteShot(const QString &shotId)
{
    d->startPrerequisiteShot(shotId);
}

void XrfFactoryManager::invalidatePrerequisiteShot(const QString &shotId)
{
    d->invalidatePrerequisiteShot(shotId);
}

XrfPrerequisiteShotList XrfFactoryManager::prerequisiteShotsList() const
{
    XrfPrerequisiteShotList list;
    const auto copy = [this, &list] {
        list = d->prerequisiteStepInfo.shotsList();
    };
    if (onFactoryThread())
        copy();
    else
        QMetaObject::invokeMethod(d, copy, Qt::BlockingQueuedConnection);
    return list;
}

void Worker::populatePrerequisiteShotList(bool publish, bool fromLastResultOnly)
{
    Q_UNUSED(kRegistered)
    qDebug() << "Populating prerequisite shots list....";
    if (workOrder.isEmpty())
        loadWorkOrderInfoFromFile();
    if (factorySetupInfo.isEmpty())
        loadFactorySetupParamsFromFile();
    const QJsonObject setup = factorySetupInfo.value(kPrerequisiteShots).toObject();
    const QString hardware =
        QStringLiteral("hasSyntheticPackage.%1_%2")
            .arg(workOrder.value(QStringLiteral("tubeType")).toString().trimmed(),
                 workOrder.value(QStringLiteral("detectorType")).toString().trimmed());
    hasSyntheticPackage = XrfUtils::getJsonValue(setup, hardware, true).toBool(true);
    qDebug() << "populatePrerequisiteShotList hasSyntheticPackage " << hasSyntheticPackage;

    prerequisiteStepInfo = XrfPreRequisiteShotStepInfo();
    currentPrerequisiteShot = XrfPrerequisiteShot();
    XrfPreRequisiteShotStepInfo previous;
    XrfFactoryStepInfo stored;
    QString error;
    const bool loaded = loadFactoryStepFromLastResult(XrfUtils::PrerequisiteShots, &stored, &error)
        && previous.fromJsonObject(stored.resultToJsonObj(), &error);
    if (!loaded)
        qWarning() << "Failed to load prerequisiteShot step result from lastResut.json, will be "
                      "loading from scratch...";
    if (fromLastResultOnly) {
        if (loaded)
            prerequisiteStepInfo = previous;
        return;
    }
    XrfPrerequisiteShotList shots;
    readPrerequisiteShotListFromScratch(&shots);
    shots.isAllShotsCompleteAndUpdateStatus();
    prerequisiteStepInfo.setShotsList(shots);
    prerequisiteStepInfo.setStartTime(XrfUtils::currentUtcIsoTime());
    XrfPrerequisiteShotList &list = prerequisiteStepInfo.shotsList();
    if (loaded) {
        prerequisiteStepInfo.mergeWithPreviousResult(previous);
        // Without a package there is nothing to select: the stored record already says so.
        if (list.isAllShotsCompleteAndUpdateStatus() && hasSyntheticPackage)
            selectSyntheticShots(publish);
    }
    if (!publish)
        return;
    emit q->prerequisiteShotsListChanged(list);
    if (XrfPrerequisiteShot *next = list.findNextIncompleteShot()) {
        currentPrerequisiteShot = *next;
        emit q->prerequisiteShotCurrentSampleChanged(next->targetSample());
    } else if (!hasSyntheticPackage) {
        noSynthetiePackageComplete();
    } else {
        emit q->preRequisiteShotAllComplete(list);
    }
}

// The shots of the setup data that the work order's methods need, with the exposures of their
// beams' air shots. An empty list when anything is missing, with the message.
bool Worker::readPrerequisiteShotListFromScratch(XrfPrerequisiteShotList *shots)
{
    const QJsonObject setup = factorySetupInfo.value(kPrerequisiteShots).toObject();
    if (setup.isEmpty()) {
        qWarning().noquote() << kNotInSetupData;
        setCurrentTaskStatus(kNotInSetupData);
        return false;
    }
    QString error;
    if (!shots->fromJsonObject(setup, &error)) {
        qWarning() << "Failed to populate prerequisiteShots list from scratch, failed to "
                      "de-serialize JSON object."
                   << error;
        shots->clear();
        return false;
    }
    qDebug() << "Pre-prequisiteShotsLoadedFrom scratch.";
    QList<ModelMethod> methods;
    if (!getMethodsList(&methods, &error, true, true))
        qWarning() << "Failed to get method part numbers list from workorder." << error;
    QJsonArray methodsJson;
    for (const ModelMethod &method : methods)
        methodsJson.append(method.toJsonObject());
    prerequisiteStepInfo.setMethods(methodsJson);
    shots->boilDownToRequiredForMethods(methods);
    if (shots->isEmpty()) {
        qInfo().noquote() << kNoShotsRequired;
        setCurrentTaskStatus(kNoShotsRequired);
        return true;
    }
    if (uncollimatedAirShotList.isEmpty() || collimatedAirShotList.isEmpty())
        getListOfAirShots();
    XrfPrerequisiteShotList withExposures = *shots;
    for (const XrfPrerequisiteShot &shot : shots->list()) {
        XrfPrerequisiteShot filled = shot;
        setPrerequisiteShotExposure(&filled);
        withExposures.updateShot(filled);
    }
    *shots = withExposures;
    return true;
}

// The shot takes its beam's air shot exposure (tube settings and filter as the air shots found
// them) with its own time; without one the shot cannot be taken and is failed.
bool Worker::setPrerequisiteShotExposure(XrfPrerequisiteShot *shot)
{
    const XrfAirShotList &airShots =
        shot->isCollimated() ? collimatedAirShotList : uncollimatedAirShotList;
    for (const XrfAirShot &airShot : airShots.airShots()) {
        if (airShot.beamName() != shot->beamName())
            continue;
        XrfExposureSettings exposure = airShot.exposure();
        exposure.setMaxTime(shot->exposure().maxTime());
        exposure.setUseLiveTime(shot->exposure().useLiveTime());
        exposure.setBackgroundRate(0);
        shot->setExposure(exposure);
        return true;
    }
    const QString message = kNoAirShotExposure.arg(
        shot->isCollimated() ? QStringLiteral("collimated") : QStringLiteral("uncollimated"),
        shot->beamName(), shot->id());
    qWarning().noquote() << message;
    shot->setIsDone(true);
    shot->setHasFailed(true);
    shot->setStatusMsg(message);
    return false;
}

// The step record: passed once the selection (or the lack of a package) is settled, failed when
// a shot or the selection failed, in progress otherwise.
bool Worker::savePrerequisiteStepToLastResult(QString *errorMsg)
{
    XrfPrerequisiteShotList &list = prerequisiteStepInfo.shotsList();
    const bool complete = list.isAllShotsCompleteAndUpdateStatus();
    bool anyFailed = false;
    for (const XrfPrerequisiteShot &shot : list.list())
        anyFailed = anyFailed || shot.hasFailed();
    XrfFactoryStepInfo record;
    record.setStepId(XrfUtils::PrerequisiteShots);
    record.setStepIdStr(kPrerequisiteShots);
    record.setStartTime(prerequisiteStepInfo.startTime());
    record.setEndTime(prerequisiteStepInfo.endTime());
    if (complete && list.selectionCriteriaStatus())
        record.setStatus(XrfFactoryStepInfo::Passed);
    else if (anyFailed
             || (complete && !prerequisiteStepInfo.selectionCriteria().statusMsg().isEmpty()))
        record.setStatus(XrfFactoryStepInfo::Failed);
    else
        record.setStatus(XrfFactoryStepInfo::InProgress);
    record.setResultFromJsonObj(prerequisiteStepInfo.toJsonObject());
    return saveFactoryStepToLastResult(record, errorMsg);
}

// Forgets a shot's result (every shot's with an empty id) and what was selected from it; the
// later steps measured with it go too.
void Worker::invalidatePrerequisiteShot(const QString &shotId)
{
    qDebug() << "Invalidating prerequisite shot:" << shotId;
    if (prerequisiteStepInfo.shotsList().isEmpty())
        populatePrerequisiteShotList(false, false);
    XrfPrerequisiteShotList &list = prerequisiteStepInfo.shotsList();
    bool found = shotId.isEmpty();
    for (const XrfPrerequisiteShot &shot : list.list()) {
        if (!shotId.isEmpty() && shot.id() != shotId)
            continue;
        XrfPrerequisiteShot cleared = shot;
        cleared.clearResults();
        list.updateShot(cleared);
        found = true;
    }
    if (!found) {
        qWarning() << "Failed to invalidate prerequisite shot, no shot with id:" << shotId;
        return;
    }
    list.setSelectionCriteriaStatus(false);
    list.isAllShotsCompleteAndUpdateStatus();
    prerequisiteStepInfo.selectionCriteria() = XrfSyntheticShotSelectionCriteria();
    prerequisiteStepInfo.setEndTime(QString());
    QString error;
    if (!savePrerequisiteStepToLastResult(&error))
        qWarning() << "Failed to save prerequisite shot result, error:" << error;
    for (const auto step : {XrfUtils::CalibrationShot, XrfUtils::FactorSet}) {
        if (!invalidateFactoryStep(step, &error, true))
            qWarning() << error;
    }
    if (!setFactoryStepsCompleted(XrfUtils::PrerequisiteShots - 1, &error))
        qWarning() << error;
    putDeviceFactoryStepStatus(XrfUtils::PrerequisiteShots, XrfFactoryStepInfo::NotStarted);
    emit q->prerequisiteShotsListChanged(list);
    if (XrfPrerequisiteShot *next = list.findNextIncompleteShot()) {
        currentPrerequisiteShot = *next;
        emit q->prerequisiteShotCurrentSampleChanged(next->targetSample());
    }
}
