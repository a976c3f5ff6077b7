// Air shots: rebuilding lost air shot and beams setup records from the newest passing air shot
// file of the factory data folder.

#include "xrffactorymanager_p.h"

#include "airshotresultkeys.h"
#include "xrflogging.h"

#include <QDateTime>
#include <QDir>
#include <QHash>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;
using namespace AirShotKeys;

namespace {

const QString kRecoveryFailed =
    QStringLiteral("Air Shot/Beam Setup is missing.  Auto recovery failed.");
const QString kRecoveryDone =
    QStringLiteral("Air Shot/Beam Setup is missing.  Auto recovery was performed.");
constexpr int kRecoveryFailedCode = -9998;
constexpr int kRecoveryDoneCode = -9999;
const QString kPass = QStringLiteral("pass");
// The rebuilt beams setup record ends before the air shots began, as the real one did.
constexpr int kBeamsSetupStartBeforeAirShotsSecs = 20;
constexpr int kBeamsSetupEndBeforeAirShotsSecs = 10;

void raiseAlarm(int code, const QString &text)
{
    XrfAlarm(XrfErrorInfo(code, text, text)).raise();
}

// A run that passed: "pass" as the result's status (some files keep it in "data") and shots.
bool isPassingRun(const QJsonObject &file)
{
    const QJsonObject data = file.value(kData).toObject();
    const QString status = file.contains(QStringLiteral("status"))
        ? file.value(QStringLiteral("status")).toString()
        : data.value(QStringLiteral("status")).toString();
    return status.compare(kPass, Qt::CaseInsensitive) == 0
        && !data.value(kUnCollimated).toArray().isEmpty();
}

QString shiftedTime(const QString &isoTime, int seconds)
{
    QDateTime time = QDateTime::fromString(isoTime, Qt::ISODate);
    if (!time.isValid())
        return QString();
    return time.toUTC().addSecs(-seconds).toString(Qt::ISODate);
}

} // namespace

void Worker::recoverBeamSetupAirShot()
{
    qWarning() << "Missing AirShot/beamSetup trying to recover from factoryData";
    loadFactorySetupLastResult(nullptr);
    QJsonObject file;
    if (newestPassingAirShotFile(&file).isEmpty()) {
        raiseAlarm(kRecoveryFailedCode, kRecoveryFailed);
        qWarning().noquote() << kRecoveryFailed << "No passing air shot file to recover from.";
        return;
    }
    airShotResults = file;
    if (!rebuildBeamsSetupFromAirShots(file)) {
        uncollimatedAirShotList.clear();
        collimatedAirShotList.clear();
        beamsSetupBeamList.clearItems();
        raiseAlarm(kRecoveryFailedCode, kRecoveryFailed);
        qWarning().noquote() << kRecoveryFailed;
        return;
    }
    raiseAlarm(kRecoveryDoneCode, kRecoveryDone);
    qInfo().noquote() << kRecoveryDone;
}

// Only a run that passed says what the beams were; of those the newest is the truth.
QString Worker::newestPassingAirShotFile(QJsonObject *content)
{
    const QDir dir(factoryDataPath + QStringLiteral("/airShots"));
    qDebug() << "recoverBeamSetupAirShot : dir " << dir.absolutePath();
    const QFileInfoList files =
        dir.entryInfoList({QStringLiteral("*.json")}, QDir::Files, QDir::Time);
    for (const QFileInfo &info : files) {
        QJsonValue value;
        if (!XrfUtils::readJsonFile(info.absoluteFilePath(), &value) || !value.isObject()
            || !isPassingRun(value.toObject()))
            continue;
        qDebug() << "recoverBeamSetupAirShot : using " << info.absoluteFilePath();
        *content = value.toObject();
        return info.absoluteFilePath();
    }
    return QString();
}

bool Worker::rebuildBeamsSetupFromAirShots(const QJsonObject &file)
{
    if (!populateBeamsSetupBeamList(true))
        return false;
    QHash<QString, QList<BeamUsageGroup>> usageById;
    for (const XrfBeamInfo &beam : beamsSetupBeamList.list())
        usageById.insert(beam.usageGroupsId(), beam.usageGroups());
    const QJsonObject data = file.value(kData).toObject();
    QList<XrfAirShot> unCollimated;
    QList<XrfAirShot> collimated;
    QString error;
    if (!XrfAirShotList::shotsFromJson(data.value(kUnCollimated), &unCollimated, &error)
        || !XrfAirShotList::shotsFromJson(
            data.value(kCollimated).isArray() ? data.value(kCollimated) : QJsonValue(QJsonArray()),
            &collimated, &error)) {
        qWarning().noquote() << "recoverBeamSetupAirShot :" << error;
        return false;
    }
    QHash<QString, float> currentById;
    bool failed = false;
    // Each shot takes the uses of the beam that has the same ones; a shot without uses names no
    // beam, and the recovery cannot trust the file.
    const auto adopt = [&](const QList<XrfAirShot> &shots, XrfAirShotList *list,
                           const char *listName, bool recordCurrents) {
        list->clear();
        for (XrfAirShot shot : shots) {
            const QString id = shot.usageGroupsId();
            if (id.isEmpty()) {
                qDebug().noquote() << "recoverBeamSetupAirShot :" << listName
                                   << "keyToUse.isEmpty() " << shot.toJsonObject();
                failed = true;
                continue;
            }
            shot.setUsageGroups(usageById.value(id, shot.usageGroups()));
            list->add(shot);
            if (recordCurrents)
                currentById.insert(id, shot.exposure().tubeCurrentUa());
        }
    };
    adopt(unCollimated, &uncollimatedAirShotList, "airShotList", true);
    adopt(collimated, &collimatedAirShotList, "airShotCollimatedList", false);
    qDebug() << "recoverBeamSetupAirShot : usageCurrentMap " << currentById;
    if (failed)
        return false;
    applyRecoveredCurrents(currentById);
    return storeRecoveredRecords(file);
}

// Every beam with an air shot passed at the shot's current.
void Worker::applyRecoveredCurrents(const QHash<QString, float> &currentById)
{
    for (XrfBeamInfo beam : beamsSetupBeamList.list()) {
        if (!currentById.contains(beam.usageGroupsId()))
            continue;
        qDebug() << "recoverBeamSetupAirShot : usageGroupsId " << beam.usageGroupsId();
        const float current = currentById.value(beam.usageGroupsId());
        beam.setActualCps(beam.targetICR());
        beam.setTubeCurrentUa(current);
        BeamIterationGroup iteration;
        iteration.setIterNumber(0);
        iteration.setIterICR(float(beam.targetICR()));
        iteration.setIterCurrent(current);
        beam.iterationGroups() = {iteration};
        beam.setIsDone(true);
        beam.setHasFailed(false);
        beam.setIsCurrentLimitReached(false);
        beam.setIsMaxAttemptsReached(false);
        beam.setPeak1(0);
        beam.setPeak2(0);
        beam.setResolution(0);
        beamsSetupBeamList.setBeam(beam);
    }
}

// The air shot result and a beams setup record that ends before the air shots began.
bool Worker::storeRecoveredRecords(const QJsonObject &file)
{
    QJsonObject rebuiltData = file.value(kData).toObject();
    rebuiltData.insert(kUnCollimated, uncollimatedAirShotList.shotsToJson());
    rebuiltData.insert(kCollimated, collimatedAirShotList.shotsToJson());
    airShotResults.insert(kData, rebuiltData);

    const QString airShotsStart = file.value(QStringLiteral("startTime")).toString();
    XrfFactoryStepInfo record;
    record.setStepId(XrfUtils::BeamsSetup);
    record.setStepIdStr(XrfFactoryManager::factoryStepNameFromId(XrfUtils::BeamsSetup));
    record.setStartTime(shiftedTime(airShotsStart, kBeamsSetupStartBeforeAirShotsSecs));
    record.setEndTime(shiftedTime(airShotsStart, kBeamsSetupEndBeforeAirShotsSecs));
    // A beam the file does not cover was not measured: the record does not claim it was.
    record.setStatus(beamsSetupBeamList.remainingBeams() == 0 ? XrfFactoryStepInfo::Passed
                                                              : XrfFactoryStepInfo::Failed);
    record.setResultFromJsonObj(beamsSetupResultMap());
    lastResult.insert(QStringLiteral("airShot"), airShotResults);
    lastResult.insert(record.stepIdStr(), record.toJsonObject());
    if (!saveFactorySetupLastResult()) {
        qWarning() << "recoverBeamSetupAirShot : failed to save lastResult.json";
        return false;
    }
    if (currentStepId == XrfUtils::BeamsSetup)
        currentStepInfo = record;
    return true;
}
