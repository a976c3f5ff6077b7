// Beams setup, factory step 7: the beam list of the instrument type, grouped by sample, and the
// start of a beam's count-rate loop.

#include "xrffactorymanager_p.h"

#include "xrfexposuresettings.h"

#include <QDateTime>
#include <QDir>
#include <QMap>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

const QString kBeamSettings = QStringLiteral("beamSettings");
const QString kLidTest = QStringLiteral("tarvoHDLidTest");
const QString kButtonTest = QStringLiteral("tarvoHDButtonTest");
const QString kCompleted = QStringLiteral("completed");
// The first shot of every beam; the count-rate loop scales the current from there.
constexpr float kFirstShotCurrentUa = 20.0f;
constexpr int kBeamShotSeconds = 15;

// The beams in shooting order: grouped by sample (upper-cased, ascending), and within a sample in
// the reverse of their order in the setup data.
QList<XrfBeamInfo> orderBySample(const QList<XrfBeamInfo> &beams)
{
    QMap<QString, QList<XrfBeamInfo>> bySample;
    for (const XrfBeamInfo &beam : beams) {
        const QString key = beam.targetSample().toUpper();
        qDebug() << "PopulateBeamsSetupBeamList sampleName:" << key;
        bySample[key].prepend(beam);
    }
    QList<XrfBeamInfo> ordered;
    for (const QList<XrfBeamInfo> &group : qAsConst(bySample))
        ordered.append(group);
    return ordered;
}

} // namespace

void XrfFactoryManager::startBeamConditionSetup(QString beamName)
{
    d->startBeamConditionSetup(beamName);
}

void XrfFactoryManager::abortBeamConditionSetup()
{
    d->abortBeamConditionSetup();
}

void XrfFactoryManager::invalidateBeamSetupShot(QString beamName)
{
    d->invalidateBeamSetupShot(beamName);
}

void XrfFactoryManager::getBeamsSetupBeamList()
{
    if (!d->populateBeamsSetupBeamList(false))
        qWarning() << "Failed to populate beamsSetup beam list.";
}

void XrfFactoryManager::setTarvoHDLidTestComplete(bool completed)
{
    d->setTarvoHDLidTestComplete(completed);
}

void XrfFactoryManager::setTarvoHDButtonTestComplete(bool completed)
{
    d->setTarvoHDButtonTestComplete(completed);
}

void Worker::initBeamsSetup()
{
    currentBeam = XrfBeamInfo();
    hdLidTestCompleted = false;
    hdButtonTestCompleted = false;
    if (!populateBeamsSetupBeamList(false))
        qWarning() << "Failed to populate beamsSetup beam list.";
}

bool Worker::populateBeamsSetupBeamList(bool quiet)
{
    beamsSetupBeamList.clearItems();
    qDebug() << "Generating beams setup beam list.";
    const QString instrumentType = generateInstrumetTypeString();
    if (instrumentType.isEmpty()) {
        qWarning() << "Failed to load beams list, failed to determine intrument type";
        return false;
    }
    loadFactorySetupParamsFromFile();
    if (factorySetupInfo.isEmpty()) {
        qWarning() << "Failed to load beams list, failed to find factorySetupInfo in "
                      "factory_setup_data.json";
        return false;
    }
    // The method part map brings the beam settings into the parameters every step reads.
    QJsonValue settings = defaultHwParams.value(kBeamSettings);
    if (!settings.isObject())
        settings = factorySetupInfo.value(kBeamSettings);
    const QJsonArray beamsJson = settings.toObject().value(instrumentType).toArray();
    if (beamsJson.isEmpty()) {
        qWarning().noquote() << QStringLiteral("Failed to load 'beamSettings' array for "
                                               "instrument type '%1' from factory_setup_data.json")
                                    .arg(instrumentType);
        return false;
    }
    QList<XrfBeamInfo> beams;
    for (const QJsonValue &entry : beamsJson) {
        if (!entry.isObject())
            continue;
        XrfBeamInfo beam;
        QString error;
        if (!beam.fromJsonObject(entry.toObject(), &error) || beam.beamName().isEmpty()) {
            qWarning().noquote() << QStringLiteral("Failed to load beams list, a beam of "
                                                   "'beamSettings' for instrument type '%1' is "
                                                   "malformed: %2")
                                        .arg(instrumentType,
                                             error.isEmpty() ? QStringLiteral("no 'beamName'")
                                                             : error);
            return false;
        }
        beams.append(beam);
    }
    beamsSetupBeamList.addBeams(orderBySample(beams));
    hdLidTestCompleted = false;
    hdButtonTestCompleted = false;
    loadBeamsSetupResults();
    if (!quiet)
        publishBeamsSetupBeamList();
    return true;
}

// The results of an earlier run, from the "beamsSetup" record of lastResult.json.
void Worker::loadBeamsSetupResults()
{
    XrfFactoryStepInfo record;
    QString error;
    if (!loadFactoryStepFromLastResult(XrfUtils::BeamsSetup, &record, &error)) {
        if (!error.isEmpty())
            qWarning().noquote() << error;
        return;
    }
    const QJsonObject result = record.resultToJsonObj();
    if (result.isEmpty())
        return;
    qDebug() << "Previous beamsSetup result found in lastResult.json, loading results...";
    XrfBeamInfoList stored;
    QString parseError;
    if (stored.fromJsonObject(result, &parseError) && !stored.isEmpty()) {
        qDebug() << "Updating beamsSetup list with status from lastResult...";
        for (const XrfBeamInfo &beam : stored.list())
            beamsSetupBeamList.updateBeamResults(beam);
    } else if (!parseError.isEmpty()) {
        qWarning().noquote() << "Failed to read the stored beamsSetup result:" << parseError;
    }
    if (result.contains(kLidTest)) {
        hdLidTestCompleted = result.value(kLidTest).toObject().value(kCompleted).toBool();
        hdButtonTestCompleted = result.value(kButtonTest).toObject().value(kCompleted).toBool();
    }
}

void Worker::publishBeamsSetupBeamList()
{
    const QJsonObject json = beamsSetupBeamList.toJsonObject();
    emit q->beamsSetupBeamListChanged(json);
    qDebug() << "!!!! !!!! beamsSetupBeamList:" << json;
    qInfo() << "Total beamsSetup beams in the list:" << beamsSetupBeamList.size();
    if (!beamsSetupBeamList.isEmpty()) {
        const XrfBeamInfo *next = beamsSetupBeamList.findNextIncompleteBeam(QString());
        const QString sample = next ? next->targetSample() : QString();
        emit q->beamSetupSampleChanged(sample);
        currentBeam.setTargetSample(sample);
        if (sample.isEmpty())
            emit q->beamConditionSetupComplete(currentStepInfo.statusStr());
    }
    if (isTarvoHDDeviceType()) {
        emit q->tarvoHDLidTestComplete(hdLidTestCompleted);
        emit q->tarvoHDButtonTestComplete(hdButtonTestCompleted);
    }
}

void Worker::startBeamConditionSetup(const QString &beamName)
{
    qInfo() << "Starting beams setup";
    if (currentStepId != XrfUtils::BeamsSetup) {
        qWarning() << "Beams setup can start only while it is the current factory step, current "
                      "step:"
                   << currentStepId;
        return;
    }
    if (beamsSetupBeamList.attemptedBeams() == 0 || currentStepInfo.resultFile().isEmpty()) {
        QDir().mkpath(factoryDataPath + QStringLiteral("/beamsSetup/"));
        currentStepInfo.setResultFile(
            factoryDataPath
            + QStringLiteral("/beamsSetup/beamsSetup_%1_%2.json")
                  .arg(hardwareConfig.insSerialNumber(),
                       QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_hhmm"))));
        currentStepInfo.setStartTime(XrfUtils::currentUtcIsoTime());
        currentStepInfo.setEndTime(QString());
        currentStepInfo.setStatus(XrfFactoryStepInfo::InProgress);
    }
    takeExposureSignals({[this] { onBeamsSetupExposureStarted(); },
                         [this](const XrfSpectrum &s) { onBeamsSetupSpectrum(s); },
                         [this](XrfHardwareManager::XrfExposureEndCondition end, bool tubeOn) {
                             onBeamsSetupExposureStopped(end, tubeOn);
                         },
                         [this](const XrfErrorInfo &e) {
                             onBeamsSetupError(e);
                         }});
    setCurrentTaskStatus(QString());
    beamExposure.reset();
    beamValidationFailed = false;
    userAbort = false;
    if (const XrfBeamInfo *beam = beamsSetupBeamList.getBeam(beamName))
        currentBeam.setTargetSample(beam->targetSample());
    doBeamCurrentSetup(beamName);
}

void Worker::abortBeamConditionSetup()
{
    qDebug() << "Stopping beam current setup";
    userAbort = true;
    XrfHardwareManager::instance()->stopExposure(true);
}

void Worker::doBeamCurrentSetup(const QString &beamName)
{
    qDebug() << "Entering XrfFactoryManagerPrivate::doBeamCurrentSetup";
    if (beamsSetupBeamList.remainingBeams() == 0) {
        pauseBeamsSetup();
        emit q->beamConditionSetupComplete(currentStepInfo.statusStr());
        return;
    }
    XrfBeamInfo *beam = beamName.isEmpty() ? beamsSetupBeamList.findNextIncompleteBeam(QString())
                                           : beamsSetupBeamList.getBeam(beamName);
    if (beam && !XrfBeamInfoList::needsShooting(*beam)) {
        beam = beamsSetupBeamList.findNextIncompleteBeam(beam->beamName());
        // A beam before this one may still need shooting (it failed and the run went on).
        if (!beam)
            beam = beamsSetupBeamList.findNextIncompleteBeam(QString());
    }
    if (!beam) {
        pauseBeamsSetup();
        emit q->beamConditionSetupComplete(currentStepInfo.statusStr());
        return;
    }
    qDebug() << "!!!! !!!! Next Incomplete beam name:" << beam->beamName();
    if (beam->targetSample() != currentBeam.targetSample()) {
        pauseBeamsSetup();
        currentBeam.setTargetSample(beam->targetSample());
        emit q->beamSetupSampleChanged(beam->targetSample());
        return;
    }
    currentBeam = *beam;
    beamIterationCount = 0;
    startBeamShot();
    qDebug() << "Exiting XrfFactoryManagerPrivate::doBeamCurrentSetup";
}

// The first shot of the current beam.
void Worker::startBeamShot()
{
    XrfExposureSettings &settings = beamExposure.settings;
    settings = XrfExposureSettings();
    if (!configureExposureFilterParams(currentBeam.filterPosition(), &settings)) {
        const QString message = QStringLiteral("Failed to configure exposure filter params.");
        qWarning().noquote() << message;
        currentBeam.setHasFailed(true);
        currentBeam.setIsDone(true);
        currentBeam.setErrorMsg(message);
        beamsSetupBeamList.setBeam(currentBeam);
        emit q->beamCurrentReady(currentBeam);
        pauseBeamsSetup();
        emit q->beamConditionSetupComplete(currentStepInfo.statusStr());
        return;
    }
    settings.setTubeVoltageKv(currentBeam.tubeVoltageKv());
    settings.setMaxTime(kBeamShotSeconds);
    settings.setBackgroundRate(0);
    settings.setUseLiveTime(false);
    settings.setEnabled(true);
    settings.setTubeCurrentUa(kFirstShotCurrentUa);
    currentBeam.setTubeCurrentUa(kFirstShotCurrentUa);
    currentBeam.setErrorMsg(QString());
    currentBeam.setHasFailed(false);
    currentBeam.setIsDone(false);
    currentBeam.setIsCurrentLimitReached(false);
    currentBeam.setIsMaxAttemptsReached(false);
    currentBeam.clearDimmerTargetIcr();
    currentBeam.iterationGroups().clear();
    currentBeam.setActualCps(0);
    currentBeam.setStartTime(XrfUtils::currentUtcIsoTime());
    qInfo() << "Shooting beam::"
            << ", name:" << currentBeam.beamName() << ", voltage:" << currentBeam.tubeVoltageKv()
            << ", current:" << settings.tubeCurrentUa()
            << ", targetIcr:" << currentBeam.targetICR();
    beamValidationFailed = false;
    startBeamExposure();
}
