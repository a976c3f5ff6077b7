// Beams setup: closing a beam and the step, the step record and result file, the upload, the HD
// lid and button flags, and the invalidation of a beam.

#include "xrffactorymanager_p.h"

#include "xrfsettingsmanager.h"

#include <QFile>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

const QString kLidTest = QStringLiteral("tarvoHDLidTest");
const QString kButtonTest = QStringLiteral("tarvoHDButtonTest");
const QString kCompleted = QStringLiteral("completed");
const QString kBeams = QStringLiteral("beams");
// What invalidating a beam takes with it, and the texts of its failures.
const QList<QPair<XrfUtils::FactoryStepId, const char *>> kStepsMeasuredWithTheBeams = {
    {XrfUtils::AirShot, "Failed to invalidate airshots results, err:"},
    {XrfUtils::PrerequisiteShots, "Failed to invalidated prerequisite shot result, err:"},
    {XrfUtils::CalibrationShot, "Failed to invalidate cal shot results, err:"},
    {XrfUtils::FactorSet, "Failed to invalidate factor set results, err:"},
};

} // namespace

void Worker::onBeamsSetupShotComplete(bool passed, const QString &message, bool continueWithNext)
{
    if (!passed) {
        if (currentTaskProgress != 0)
            setCurrentTaskProgress(0);
        qWarning().noquote() << message;
    } else {
        if (currentTaskProgress != 100)
            setCurrentTaskProgress(100);
        qInfo().noquote() << QStringLiteral("Beam %1 ICR %2 is within expected range, current: "
                                            "%3uA")
                                 .arg(currentBeam.beamName())
                                 .arg(currentBeam.actualCps())
                                 .arg(double(currentBeam.tubeCurrentUa()), 0, 'g', 6);
    }
    currentBeam.setIsDone(true);
    currentBeam.setHasFailed(!passed);
    currentBeam.setErrorMsg(message);
    currentBeam.setSpectrum(beamExposure.lastSpectrum);
    currentBeam.setEndTime(XrfUtils::currentUtcIsoTime());
    emit q->beamCurrentReady(currentBeam);
    beamsSetupBeamList.setBeam(currentBeam);
    QString error;
    if (!saveBeamsSetupResultToLastResult(&error))
        qWarning().noquote()
            << QStringLiteral("Failed to save beam setup result, err:%1").arg(error);

    const int remaining = beamsSetupBeamList.remainingBeams();
    if (remaining == 0) {
        emit q->beamSetupSampleChanged(QString());
        onBeamsSetupComplete();
    } else if (remaining == beamsSetupBeamList.failedBeams()) {
        qDebug() << beamsSetupBeamList.failedBeams()
                 << "Beam/s failed to meet expected target ICR during beams setup. Please check "
                    "tube and detector.";
        onBeamsSetupComplete();
    } else if (!continueWithNext) {
        pauseBeamsSetup();
        emit q->beamConditionSetupComplete(currentStepInfo.statusStr());
    } else {
        beamExposure.lastSpectrum = XrfSpectrum();
        doBeamCurrentSetup(currentBeam.beamName());
    }
}

void Worker::pauseBeamsSetup()
{
    releaseExposureSignals();
}

QJsonObject Worker::beamsSetupResultMap()
{
    QJsonObject result = beamsSetupBeamList.toJsonObject();
    if (isTarvoHDDeviceType()) {
        result.insert(kLidTest, QJsonObject{{kCompleted, hdLidTestCompleted}});
        result.insert(kButtonTest, QJsonObject{{kCompleted, hdButtonTestCompleted}});
    }
    return result;
}

// The record of step 7: the current step's record while step 7 is current, otherwise the stored
// one (so that a flag set from another page does not touch another step's record).
bool Worker::saveBeamsSetupResultToLastResult(QString *err)
{
    qDebug() << "Entering saveBeamsSetupResultToLastResult";
    if (!err)
        return false;
    err->clear();
    XrfFactoryStepInfo stored;
    XrfFactoryStepInfo *record = &currentStepInfo;
    if (currentStepId != XrfUtils::BeamsSetup) {
        QString loadError;
        if (!loadFactoryStepFromLastResult(XrfUtils::BeamsSetup, &stored, &loadError)) {
            stored = XrfFactoryStepInfo();
            stored.setStepId(XrfUtils::BeamsSetup);
            stored.setStepIdStr(XrfFactoryManager::factoryStepNameFromId(XrfUtils::BeamsSetup));
        }
        record = &stored;
    }
    record->setResultFromJsonObj(beamsSetupResultMap());
    const bool saved = saveFactoryStepToLastResult(*record, err);
    qDebug() << "Leaving saveBeamsSetupResultToLastResult";
    return saved;
}

void Worker::onBeamsSetupComplete()
{
    const bool aborted = userAbort;
    if (aborted) {
        userAbort = false;
        currentStepInfo.setStatus(XrfFactoryStepInfo::Failed);
    } else {
        currentStepInfo.setStatus(beamsSetupBeamList.remainingBeams() > 0
                                      ? XrfFactoryStepInfo::Failed
                                      : XrfFactoryStepInfo::Passed);
    }
    releaseExposureSignals();
    currentStepInfo.setEndTime(XrfUtils::currentUtcIsoTime());
    currentStepInfo.setResultFromJsonObj(beamsSetupResultMap());
    QString error;
    if (!saveFactoryStepToLastResult(currentStepInfo, &error))
        qWarning() << "Failed to save step result to last result, err:" << error;

    QJsonObject result;
    assembleBeamsSetupResultJson(&result);
    if (!saveJsonDataToFile(currentStepInfo.resultFile(), result, &error)) {
        qWarning() << "Failed to save beamsSetup result JSON to file, err:" << error;
    } else {
        listenForCloudResponse(&Worker::onBeamsSetupResultUploadComplete);
        XrfNetworkManager::instance()->sendToCloud(XrfNetworkManager::PutBeamsSetupResult,
                                                   QJsonObject{{QStringLiteral("body"), result}});
    }
    putDeviceFactoryStepStatus(XrfUtils::BeamsSetup,
                               XrfFactoryStepInfo::StepStatus(currentStepInfo.status()));
    emit q->beamConditionSetupComplete(currentStepInfo.statusStr());
    qDebug() << "Beam setup Complete, status:" << currentStepInfo.statusStr();
    setCurrentTaskStatus(QString());
    if (!aborted && beamsSetupBeamList.remainingBeams() == 0)
        cleanupCalibrationWorkspace(QString());
}

void Worker::assembleBeamsSetupResultJson(QJsonObject *out)
{
    if (!out || currentStepId != XrfUtils::BeamsSetup)
        return;
    QString model;
    XrfSettingsManager::instance()->getInstrumentModel(&model, nullptr);
    QString softwareVersion;
    QString versionError;
    XrfUtils::getJsonFileVersion(XrfUtils::devicePath(QStringLiteral("/version.json")),
                                 &softwareVersion, &versionError);
    *out = QJsonObject{
        {QStringLiteral("startTime"), currentStepInfo.startTime()},
        {QStringLiteral("serial"), hardwareConfig.insSerialNumber()},
        {QStringLiteral("instrumentModel"), model},
        {QStringLiteral("K60Version"), hardwareConfig.k60FirmwareVersion()},
        {QStringLiteral("fpgaVersion"), hardwareConfig.fpgaFirmwareVersion()},
        {QStringLiteral("softwareVersion"), softwareVersion},
        {QStringLiteral("tubePartNumber"), hardwareConfig.tubeModel()},
        {QStringLiteral("tubeSerialNumber"), hardwareConfig.tubeSerialNumber()},
        {QStringLiteral("detectorPartNumber"), hardwareConfig.detectorModel()},
        {QStringLiteral("detectorSerialNumber"), hardwareConfig.detectorSerialNumber()},
        {QStringLiteral("digitalBoardSerialNumber"), hardwareConfig.xrfEngineSerialNumber()},
        {QStringLiteral("status"), currentStepInfo.statusStr()},
        {QStringLiteral("data"), currentStepInfo.resultToJsonObj().value(kBeams)},
        {QStringLiteral("endTime"), currentStepInfo.endTime()},
    };
}

void Worker::onBeamsSetupResultUploadComplete(const XrfCloudResponse &response)
{
    qDebug() << "Entering onBeamsSetupResultUploadComplete";
    qDebug() << "cloudResponse, requestId:" << response.requestId();
    if (!acceptCloudResponse(response, XrfNetworkManager::PutBeamsSetupResult,
                             &Worker::onBeamsSetupResultUploadComplete))
        return;
    qDebug() << "processing putBeamsSetupResult response";
    if (!response.hasFailed()) {
        XrfFactoryStepInfo record;
        QString error;
        if (!loadFactoryStepFromLastResult(XrfUtils::BeamsSetup, &record, &error)) {
            qDebug() << "Failed to delete BeamsSetup results file.";
        } else {
            QFile::remove(record.resultFile());
            record.setResultFile(QString());
            if (currentStepId == XrfUtils::BeamsSetup)
                currentStepInfo.setResultFile(QString());
            if (!saveFactoryStepToLastResult(record, &error))
                qWarning().noquote() << error;
        }
    }
    qDebug() << "Leaving onBeamsSetupResultUploadComplete";
}

void Worker::setTarvoHDLidTestComplete(bool completed)
{
    setBeamsSetupFlag(&hdLidTestCompleted, completed);
}

void Worker::setTarvoHDButtonTestComplete(bool completed)
{
    setBeamsSetupFlag(&hdButtonTestCompleted, completed);
}

void Worker::setBeamsSetupFlag(bool *flag, bool value)
{
    if (value == *flag)
        return;
    *flag = value;
    QString error;
    if (!saveBeamsSetupResultToLastResult(&error))
        qWarning().noquote()
            << QStringLiteral("Failed to save beam setup result, err:%1").arg(error);
}

// A beam measured again makes the air shots, prerequisite and calibration shots and the factor
// set taken with its old current worthless: they go too, and the count falls back to step 6.
void Worker::invalidateBeamSetupShot(const QString &beamName)
{
    if (currentStepId != XrfUtils::BeamsSetup)
        return;
    qDebug() << "Invalidating beam setup shot:" << beamName;
    if (!beamsSetupBeamList.invalidateBeam(beamName)) {
        qWarning() << "Failed to invalidate beam setup shot, no beam named:" << beamName;
        return;
    }
    if (currentStepInfo.status() == XrfFactoryStepInfo::Passed)
        currentStepInfo.setStatus(XrfFactoryStepInfo::InProgress);
    QString error;
    if (!saveBeamsSetupResultToLastResult(&error))
        qWarning() << "Failed to save beams setup result, err:" << error;
    invalidateStepsAfterBeamsSetup();
    publishBeamsSetupBeamList();
}

void Worker::invalidateStepsAfterBeamsSetup()
{
    QString error;
    for (const auto &step : kStepsMeasuredWithTheBeams) {
        if (!invalidateFactoryStep(step.first, &error, true))
            qWarning().noquote() << step.second << error;
    }
    if (!setFactoryStepsCompleted(XrfUtils::CollimatedStability, &error))
        qWarning().noquote() << error;
    uncollimatedAirShotList.clear();
    collimatedAirShotList.clear();
}
