// Air shots, factory step 8: the shot lists, one uncollimated and one collimated shot per beam
// that passed the beams setup, with what an earlier run measured, and the start of a run.

#include "xrffactorymanager_p.h"

#include "airshotresultkeys.h"
#include "xrfcalibrationutils.h"
#include "xrfsettingsmanager.h"

#include <QDateTime>
#include <QDir>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;
using namespace AirShotKeys;

namespace {

const QString kAirShots = QStringLiteral("airShots");
const QString kAirShotKey = QStringLiteral("airShot");
const QString kFilterPairs = QStringLiteral("hardware.filterPairs");

// What lastResult.json holds of one kind of shot; false when the array is missing.
bool storedShots(const QJsonObject &data, const QString &key, XrfAirShotList *shots)
{
    QList<XrfAirShot> parsed;
    QString error;
    if (!XrfAirShotList::shotsFromJson(data.value(key), &parsed, &error))
        return false;
    for (const XrfAirShot &shot : parsed)
        shots->add(shot);
    return true;
}

int updateWith(XrfAirShotList *shots, const XrfAirShotList &stored)
{
    int matches = 0;
    for (const XrfAirShot &shot : stored.airShots())
        matches += shots->update(shot) ? 1 : 0;
    return matches;
}

} // namespace

void XrfFactoryManager::startAirShot()
{
    d->startAirShot();
}

void XrfFactoryManager::abortAirShot()
{
    d->abortAirShot();
}

void XrfFactoryManager::recoverBeamSetupAirShot()
{
    d->recoverBeamSetupAirShot();
}

void Worker::onGetAirShotList()
{
    qDebug() << "Entering onGetAirShotList()";
    if (!getListOfAirShots()) {
        airShotResults.insert(QStringLiteral("status"), QStringLiteral("fail"));
        qWarning() << "Air shots list empty or partial";
        emit q->airShotAllComplete(false, airShotResults);
    }
    airShots.clear();
    for (const XrfAirShot &shot : uncollimatedAirShotList.airShots())
        airShots.add(shot);
    for (const XrfAirShot &shot : collimatedAirShotList.airShots())
        airShots.add(shot);
    qDebug() << "Leaving onGetAirShotList(), shots:" << airShots.size();
}

bool Worker::getListOfAirShots()
{
    if (factorySetupInfo.isEmpty())
        loadFactorySetupParamsFromFile();
    XrfAirShotList unCollimated;
    XrfAirShotList collimated;
    if (!populateBeamsSetupBeamList(false))
        qWarning() << "Failed to populate airshot from scratch, failed to load beam setup beams";
    else if (!buildAirShotsFromScratch(&unCollimated, &collimated))
        return false;
    updateAirShotsFromLastResult(&unCollimated, &collimated);
    uncollimatedAirShotList = unCollimated;
    collimatedAirShotList = collimated;
    if (unCollimated.isEmpty() && collimated.isEmpty()) {
        qWarning() << "Failed to load airshot shots";
        return false;
    }
    totalAirShots = remainingAirShots = unCollimated.size() + collimated.size();
    qDebug() << "Total airshots to shoot " << totalAirShots;
    currentAirShot =
        unCollimated.isEmpty() ? collimated.airShots().first() : unCollimated.airShots().first();
    return true;
}

// One shot per beam that passed the beams setup, at the current it found; beams without a
// current of their own would measure a background that no method uses.
bool Worker::buildAirShotsFromScratch(XrfAirShotList *unCollimated, XrfAirShotList *collimated)
{
    qDebug() << "Populating airShot list from scratch....";
    const QJsonValue templateJson =
        factorySetupInfo.value(kAirShots).toObject().value(QStringLiteral("exposure"));
    XrfExposureSettings exposureTemplate;
    QString error;
    if (!templateJson.isObject()
        || !exposureTemplate.fromJsonObject(templateJson.toObject(), &error)) {
        qWarning().noquote() << "Failed to load 'airShots' 'exposure' from "
                                "factory_setup_data.json"
                             << error;
        return false;
    }
    QJsonObject pairsJson;
    XrfSettingsManager::instance()->getUniversalSetting(kFilterPairs, &pairsJson);
    XrfFilterPairsList pairs;
    if (!pairs.fromJsonObject(pairsJson, &error))
        qWarning().noquote() << "Failed to read" << kFilterPairs << error;
    for (const XrfBeamInfo &beam : beamsSetupBeamList.list()) {
        if (!beam.hasPassed()) {
            qWarning().noquote() << "Beam" << beam.beamName()
                                 << "has not passed the beams setup, it has no air shot";
            continue;
        }
        XrfExposureSettings exposure = exposureTemplate;
        if (!configureExposureFilterParams(beam.filterPosition(), &exposure)) {
            qWarning() << "Failed to read filter params from K60";
            return false;
        }
        exposure.setTubeCurrentUa(beam.tubeCurrentUa());
        exposure.setTubeVoltageKv(beam.tubeVoltageKv());
        XrfAirShot shot;
        shot.setSampleName(kAirSample);
        shot.setBeamName(beam.beamName());
        shot.setExposure(exposure);
        shot.setUsageGroups(beam.usageGroups());
        unCollimated->add(shot);
        XrfExposureSettings collimatedExposure;
        if (!XrfCalibrationUtils::getCollimatedBeam(exposure, hardwareConfig, pairs,
                                                    &collimatedExposure, &error)) {
            qWarning().noquote() << "Failed to find collimated beam conditions, error:" << error;
            continue;
        }
        shot.setExposure(collimatedExposure);
        shot.setIsCollimatedAirShot(true);
        collimated->add(shot);
    }
    qDebug() << "Uncollimated airshots loaded from scratch:" << unCollimated->size();
    qDebug() << "Collimated airShots loaded from scratch:" << collimated->size();
    return true;
}

void Worker::updateAirShotsFromLastResult(XrfAirShotList *unCollimated, XrfAirShotList *collimated)
{
    if (lastResult.isEmpty())
        loadFactorySetupLastResult(nullptr);
    XrfAirShotList storedUnCollimated;
    XrfAirShotList storedCollimated;
    const QJsonValue stored = lastResult.value(kAirShotKey);
    if (stored.isObject()) {
        qDebug() << "Populating airshot from lastResult.....";
        const QJsonObject data = stored.toObject().value(kData).toObject();
        if (data.isEmpty()) {
            qWarning() << "Failed to load airshot for lastResult, data object in airShot result "
                          "is empty.";
        } else {
            if (!storedShots(data, kUnCollimated, &storedUnCollimated))
                qWarning() << "Failed to load 'unCollimatedShots' from airShot result";
            if (!storedShots(data, kCollimated, &storedCollimated))
                qWarning() << "Failed to load 'collimatedShots' from airShot result";
            qDebug() << "UnCollimated airshots found in lastResult:" << storedUnCollimated.size();
            qDebug() << "Collimated airshots found in lastResult:" << storedCollimated.size();
        }
    }
    int unCollimatedMatches = 0;
    int collimatedMatches = 0;
    if (!unCollimated->isEmpty()) {
        qDebug() << "Updating status of UnCollimated airshots....";
        unCollimatedMatches = updateWith(unCollimated, storedUnCollimated);
        qDebug() << "UnCollimated airshots update count:" << unCollimatedMatches;
    }
    if (!collimated->isEmpty()) {
        qDebug() << "Updating status of collimated air shots....";
        collimatedMatches = updateWith(collimated, storedCollimated);
        qDebug() << "Collimated airShots update count:" << collimatedMatches;
    }
    const QString counts =
        QStringLiteral("loadedFromScratch: %1, foundInLastResult: %2, matchCount: %3");
    qInfo().noquote()
        << "Uncollimated AirShots: "
        << counts.arg(unCollimated->size()).arg(storedUnCollimated.size()).arg(unCollimatedMatches);
    qInfo().noquote()
        << "Collimated AirShots:"
        << counts.arg(collimated->size()).arg(storedCollimated.size()).arg(collimatedMatches);
}

void Worker::startAirShot()
{
    qDebug() << "Starting AirShots";
    XrfSettingsManager *settings = XrfSettingsManager::instance();
    QJsonObject factory;
    if (settings->getUniversalSetting(QStringLiteral("factory.settings"), &factory) == 0
        && factory.contains(QStringLiteral("factorySelectedMethod"))) {
        factory.remove(QStringLiteral("factorySelectedMethod"));
        settings->setUniversalSetting(QStringLiteral("factory.settings"), &factory);
    }
    // The lists follow the beams as they are now: a beam measured again since the last run
    // gets a shot at its new current.
    airShotResults = QJsonObject();
    if (!getListOfAirShots() || uncollimatedAirShotList.isEmpty()) {
        airShotResults.insert(QStringLiteral("status"), QStringLiteral("fail"));
        qWarning() << "Air shots test failed, air shot list empty";
        emit q->airShotAllComplete(false, airShotResults);
        return;
    }
    QDir().mkpath(calibrationShotLibDirPath);
    airShotResultFileName =
        QStringLiteral("airShot_%1_%2.json")
            .arg(hardwareConfig.insSerialNumber(),
                 QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_hhmm")));
    QDir().mkpath(factoryDataPath + QStringLiteral("/airShots/"));
    airShotResults.insert(QStringLiteral("serial"), hardwareConfig.insSerialNumber());
    airShotResults.insert(QStringLiteral("fpgaVersion"), hardwareConfig.fpgaFirmwareVersion());
    airShotResults.insert(QStringLiteral("k60Version"), hardwareConfig.k60FirmwareVersion());
    airShotResults.insert(QStringLiteral("startTime"), XrfUtils::currentUtcIsoTime());
    airShotResults.insert(kData,
                          QJsonObject{{kUnCollimated, QJsonArray()}, {kCollimated, QJsonArray()}});
    takeExposureSignals({[this] { onAirShotExposureStarted(); },
                         [this](const XrfSpectrum &s) { onAirShotSpectrum(s); },
                         [this](XrfHardwareManager::XrfExposureEndCondition end, bool tubeOn) {
                             onAirShotExposureStopped(end, tubeOn);
                         },
                         [this](const XrfErrorInfo &e) {
                             onAirShotError(e);
                         }});
    userAbort = false;
    airShotExposure.reset();
    loadSafeBackgroundRate();
    doAirShotSetup();
}

void Worker::abortAirShot()
{
    qDebug() << "Stopping Air shots setup";
    userAbort = true;
    XrfHardwareManager::instance()->stopExposure(true);
}
