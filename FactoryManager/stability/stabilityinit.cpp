// Stability tests, factory steps 5 and 6: entering the step (leftovers of an earlier run, the
// detector's ready wait), the run's parameters and the preflight checks.
#include "xrffactorymanager_p.h"

#include "xrfengine.h"
#include "xrfsettingsmanager.h"

#include "xrftimescale.h"

#include <QDebug>
#include <QElapsedTimer>

#include <algorithm>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

const QString kStabilityOptionsKey = QStringLiteral("stabilityOptions");
const QString kCollimatedStabilityKey = QStringLiteral("collimatedStability");
const QString kFpgaSetting = QStringLiteral("hardware.fpga");
const char *kNotReadyText = "Instrument is not ready for stability. Detector is not ready even "
                            "after waiting for %1 seconds.";
const char *kLeftoverAssemblyFailedText =
    "Failed to assemble unprocessed stability results from last run, error:%1";
const char *kInterruptedText = "The stability run stopped after %1 of %2 shots when the "
                               "instrument was restarted; its data was kept, run it again.";
const char *kDarkRateText =
    "Stability preflight check failed, dark rate:%1 is greater than set threshold:%2";
const char *kNoDarkRateText =
    "Stability preflight check failed, no dark rate reading arrived from the detector";
const char *kResetHeightReadText =
    "Stability preflight check failed, failed to read FPGA resetH, HwErr:%1";
const char *kResetHeightRangeText = "Stability preflight check failed, FPGA reset height is not "
                                    "within range, min:%1, set:%2, max:%3";
const int kDefaultResetHeightMin = 38000;
const int kDefaultResetHeightMax = 42000;
const int kDetectorPollMs = 100;
const quint16 kDetectorReadyBit = 0x0002;
const int kDarkRateWaitMs = 2000;
const int kDarkRateAnswerFloorMs = 1000;

} // namespace

void XrfFactoryManager::startStabilityTest(bool isMiniStability)
{
    d->doStability(isMiniStability, false);
}

void XrfFactoryManager::abortStabilityTest()
{
    d->abortStabilityTest();
}

QString Worker::stabilityStepName() const
{
    return stabilityTestType == StabilityCollimated ? QStringLiteral("collimatedStability")
                                                    : QStringLiteral("stability");
}

XrfUtils::FactoryStepId Worker::stabilityStepId() const
{
    return stabilityTestType == StabilityCollimated ? XrfUtils::CollimatedStability
                                                    : XrfUtils::Stability;
}

void Worker::selectStabilityType(StabilityTestType type)
{
    stabilityTestType = type;
    StabilityFolders &folders = stabilityFolders;
    folders.root = factoryDataPath
        + (type == StabilityCollimated ? QStringLiteral("/collimatedStability")
                                       : QStringLiteral("/stability"));
    folders.inProgress = folders.root + QStringLiteral("/inProgress");
    folders.summary = folders.inProgress + QStringLiteral("/summary");
    folders.spectra = folders.inProgress + QStringLiteral("/spectra");
    folders.firmwareLogs = folders.inProgress + QStringLiteral("/firmwareLogs");
    folders.headerFile = folders.inProgress + QStringLiteral("/header.json");
    folders.completed = folders.root + QStringLiteral("/completed");
}

void Worker::initStability(StabilityTestType type)
{
    qDebug() << "Entering initStability";
    selectStabilityType(type);
    stabilityDarkRatePending = true;
    connect(XrfHardwareManager::instance(), &XrfHardwareManager::darkRateUpdated, this,
            &Worker::onStabilityDarkRateUpdated, Qt::UniqueConnection);
    XrfHardwareManager::instance()->getDarkRate(1);
    qDebug() << "Current Stability Test Type: " << int(type);
    loadFactorySetupLastResult(nullptr);
    loadStabilityMetaInfoFromLastResult();
    if (type == StabilityCollimated) {
        QString error;
        if (!setDetectorShutter(true, &error))
            qWarning() << "Failed to open detector shutter, Err:" << error;
    }
    initStabilityTestParams(false);
    if (!resumeStabilityLeftovers())
        waitForStabilityDetector();
    qDebug() << "Leaving initStability";
}

// Files of an earlier run are assembled and uploaded; true when that continues the step. A run
// the instrument never finished cannot pass: its data is kept, and it ends in error.
bool Worker::resumeStabilityLeftovers()
{
    qint32 summaryCount = 0;
    if (isUnProcessedStabilityResults(&summaryCount)) {
        if (stabilityMetaInfo.runOutcome().isEmpty()) {
            stabilityMetaInfo.setRunOutcome(QStringLiteral("error"));
            stabilityMetaInfo.setErrorMsg(QString::fromLatin1(kInterruptedText)
                                              .arg(summaryCount)
                                              .arg(stabilityMetaInfo.intendedShots()));
        }
        setStabilityStatus(StabilityProcessingResults);
        qint32 processed = 0;
        QString error;
        if (!processStabilityResults(summaryCount, &processed, &error)) {
            stabilityMetaInfo.setErrorMsg(
                QString::fromLatin1(kLeftoverAssemblyFailedText).arg(error));
            qWarning().noquote() << stabilityMetaInfo.errorMsg();
            setStabilityStatus(StabilityError);
            return true;
        }
        qDebug() << "results Processed:" << processed;
    }
    if (!isPendingStabilityUploads())
        return false;
    // An upload of the earlier run continues; the step waits for its verdict.
    setStabilityStatus(StabilityWaitingForCloudResponse);
    uploadStabilityData();
    return true;
}

void Worker::waitForStabilityDetector()
{
    stabilityMetaInfo = XrfStabilityTestMetaInfo();
    setStabilityStatus(StabilityReady);
    const int seconds = stabilityParams.detectorReadyWaitTime();
    bool notReady = false;
    QString error;
    if (!waitForDetectorReady(seconds, &notReady, &error)) {
        qWarning() << "Failed to check detector status, error:" << error;
    } else if (notReady) {
        stabilityMetaInfo.setErrorMsg(QString::fromLatin1(kNotReadyText).arg(seconds));
        qWarning().noquote() << stabilityMetaInfo.errorMsg();
        setStabilityStatus(StabilityError);
    }
}

bool Worker::waitForDetectorReady(int seconds, bool *notReady, QString *error)
{
    if (!notReady || !error)
        return false;
    *notReady = false;
    error->clear();
    xrf_hal::XrfEngine *engine = xrf_hal::XrfEngine::instance();
    // A wait of 0 s still looks once.
    const int polls = qMax(1, seconds * 1000 / kDetectorPollMs);
    for (int poll = 0; poll < polls; ++poll) {
        unsigned short status = 0;
        if (const int code = engine->readValue16(xrf_hal::RegDetectorStatus, &status)) {
            *error = QStringLiteral("Failed to get detector status from K60, ret:%1").arg(code);
            return false;
        }
        if (status & kDetectorReadyBit)
            return true;
        if (poll + 1 < polls)
            XrfUtils::activeSleep(kDetectorPollMs);
    }
    *notReady = true;
    return true;
}

bool Worker::failStabilityInit(const QString &message)
{
    qWarning().noquote() << message;
    stabilityMetaInfo.setErrorMsg(message);
    onStabilityTestComplete(StabilityError);
    return false;
}

bool Worker::initStabilityTestParams(bool isMini)
{
    qDebug() << "Entering initStabilityTestParams";
    const bool collimated = stabilityTestType == StabilityCollimated;
    factorySetupInfo = QJsonObject();
    workOrder = QJsonObject();
    defaultHwParams = QJsonObject();
    stabilityParams = XrfFactoryStabilityParams();
    loadWorkOrderInfoFromFile();
    loadFactorySetupParamsFromFile();

    const QString detectorType =
        workOrder.value(QStringLiteral("detectorType")).toString().trimmed();
    stabilityParams.setDetectorType(detectorType);
    qDebug() << "detector type" << detectorType;
    const QString filterType = workOrder.value(QStringLiteral("filterType")).toString();
    stabilityParams.setFilterType(filterType);
    qDebug() << "Filter type: " << filterType;
    stabilityParams.setIsCollimatedStability(collimated);

    const QString key = collimated ? kCollimatedStabilityKey : kStabilityOptionsKey;
    const QJsonValue options = factorySetupInfo.value(key);
    if (!options.isObject())
        return failStabilityInit(
            collimated ? tr("Failed to find collimated stability test params in factory file.")
                       : tr("Failed to find stability test params in factory file."));
    QString parseError;
    if (!stabilityParams.fromJsonObject(options.toObject(), &parseError)) {
        qWarning().noquote()
            << QStringLiteral("'%1' in factory_setup_data: %2").arg(key, parseError);
        return failStabilityInit(tr("Failed to read test exposure parameters from factory file."));
    }
    if (collimated) {
        QString error;
        if (!readStabilityFpgaScale(&error))
            return failStabilityInit(error);
    }

    qDebug() << "Stability Test Params:" << stabilityParams.toJsonObject();
    stabilityParams.setIsMiniStability(isMini);
    stabilityShotsRemaining = stabilityParams.repeatsToUse();
    stabilityIntraShotDelay =
        stabilityParams.intraShotDelay() ? stabilityParams.intraShotDelay() : 1;
    stabilitySaveFirmwareLogs = stabilityParams.saveFirmwareLogs();
    stabilityMinRepeats = stabilityParams.minRepeats() ? stabilityParams.minRepeats() : 10;
    if (stabilityMinRepeats > stabilityShotsRemaining)
        return failStabilityInit(
            QStringLiteral("Invalid stability params found, 'repeats'(%1) can not be less than "
                           "'minRepeats'(%2)")
                .arg(stabilityShotsRemaining)
                .arg(stabilityMinRepeats));
    qDebug() << "Leaving initStabilityTestParams";
    return true;
}

// The collimated kind sums the Br and Cu regions on the energy scale of the gain setup.
bool Worker::readStabilityFpgaScale(QString *error)
{
    QJsonObject fpga;
    const QString prefix = QStringLiteral("Collimated stability init failed, ");
    if (const int code = XrfSettingsManager::instance()->getUniversalSetting(kFpgaSetting, &fpga)) {
        *error = prefix
            + QStringLiteral("Error: Failed to read fpga values from universalSettings.json, "
                             "code:%1")
                  .arg(code);
        return false;
    }
    double offset = fpga.value(QStringLiteral("offset")).toDouble() * 1000;
    double slope = fpga.value(QStringLiteral("slope")).toDouble() * 1000;
    qDebug() << "slopeInEvPerBin:" << slope;
    qDebug() << "offsetInEv:" << offset;
    if (offset == 0 || slope == 0) {
        *error = prefix
            + QStringLiteral("Error: offset(eV):%1 OR slope(eV/bin):%2 read fromuniversalSettings."
                             "json is zero")
                  .arg(offset)
                  .arg(slope);
        return false;
    }
    stabilityParams.setFpgaOffsetInEv(offset);
    stabilityParams.setFpgaSlopeInEvPerBin(slope);
    return true;
}

void Worker::onStabilityDarkRateUpdated(const unsigned int &)
{
    stabilityDarkRatePending = false;
}

// The reading asked for when the step was entered; asked again when it has not come. The answer
// crosses to the hardware manager's thread and back, which takes a moment of this process's time
// however fast the instrument's clock runs: the wait is at least kDarkRateAnswerFloorMs of it.
bool Worker::waitForStabilityDarkRate()
{
    if (!stabilityDarkRatePending)
        return true;
    XrfHardwareManager::instance()->getDarkRate(1);
    QElapsedTimer waited;
    waited.start();
    const qint64 limit = XrfTimeScale::watchdogMs(kDarkRateWaitMs, kDarkRateAnswerFloorMs);
    while (stabilityDarkRatePending && waited.elapsed() < limit)
        XrfUtils::activeSleep(kDetectorPollMs);
    return !stabilityDarkRatePending;
}

bool Worker::runStabilityPreflightCheck(QString *error)
{
    if (!error)
        return false;
    error->clear();
    if (!waitForStabilityDarkRate()) {
        *error = QString::fromLatin1(kNoDarkRateText);
        return false;
    }
    if (darkRate > stabilityParams.darkRateMax()) {
        *error =
            QString::fromLatin1(kDarkRateText).arg(darkRate).arg(stabilityParams.darkRateMax());
        return false;
    }
    unsigned short resetHeight = 0;
    if (const int code = xrf_hal::XrfEngine::instance()->getFpgaResetHeight(&resetHeight)) {
        *error = QString::fromLatin1(kResetHeightReadText).arg(code);
        return false;
    }
    const QJsonObject limits = defaultHwParams.value(QStringLiteral("fpga"))
                                   .toObject()
                                   .value(hardwareConfig.detectorModel())
                                   .toObject();
    const int minimum =
        limits.value(QStringLiteral("resetHeightMin")).toInt(kDefaultResetHeightMin);
    const int maximum =
        limits.value(QStringLiteral("resetHeightMax")).toInt(kDefaultResetHeightMax);
    if (resetHeight < minimum || resetHeight > maximum) {
        *error =
            QString::fromLatin1(kResetHeightRangeText).arg(minimum).arg(resetHeight).arg(maximum);
        return false;
    }
    return true;
}
