// Detector cooling, reset width DAC calibration and PIN detector calibration.
#include "xrffactorymanager_p.h"

#include "detector_p.h"
#include "xrfengine.h"
#include "xrftimescale.h"
#include "xrfutils.h"

#include <QCoreApplication>
#include <QDebug>

#include <algorithm>
#include <cmath>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;
using namespace DetectorCalibration;

namespace {

const QString kMicroReset = QStringLiteral("detectorMicroReset");
const QString kPinCalibration = QStringLiteral("pinDetectorCalibration");
const QString kPinFailed = QStringLiteral("PIN detector calibration failed, ");
// The controller firmware from which the PIN detector takes temperature correction coefficients.
const XrfVersion kPinCorrectionFirmware(1, 9, 8);
// How long the tube may take to come up before the PIN calibration gives up (instrument time),
// and the tries it gets at least.
constexpr int kTubeEnableRetryMs = 100;
constexpr int kTubeEnableTimeoutMs = 30000;
constexpr int kTubeEnableMinTries = 5;
constexpr int kTubeOffSettleMs = 100;

xrf_hal::XrfEngine *engine()
{
    return xrf_hal::XrfEngine::instance();
}

QString hwRet(const QString &text, int ret)
{
    return text.arg(ret);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Detector cooling

void Worker::doDetectorSetup()
{
    qDebug() << "Starting detector setup: ";
    setCurrentTaskProgress(-1);
    setCurrentTaskStatus(tr("Setting detector temp params..."));
    beginHardwareSetupStep(QStringLiteral("detectorSetup"));
    const QJsonObject params = hardwareSetupCurrentStep.setupParams();
    const double epsilon = params.value(QStringLiteral("temperatureCorrectionEpsilon")).toDouble(0);
    const double tolerance = params.value(QStringLiteral("temperatureTolerance")).toDouble(0);
    const int timeoutSecs = params.value(QStringLiteral("timeoutSecs")).toInt(0);

    engine()->setDetectorTemperatureCorrectionEpsilon(float(epsilon));
    setCurrentTaskStatus(tr("Monitoring detector temp..."));
    signed char setPoint = 0;
    float monitored = 0;
    const bool cooled = waitForDetectorTemperature(tolerance, timeoutSecs, &setPoint, &monitored);

    hardwareSetupCurrentStep.setResults({
        {QStringLiteral("temperatureSetpoint"), int(setPoint)},
        {QStringLiteral("temperatureMon"), double(monitored)},
        {QStringLiteral("temperatureCorrectionEpsilon"), epsilon},
    });
    setCurrentTaskProgress(100);
    if (cooled) {
        qInfo().noquote()
            << QStringLiteral("Detector temp is: %1").arg(double(monitored), 0, 'f', 2);
        onHardwareSetupStepComplete(true, QString());
    } else {
        onHardwareSetupStepComplete(false,
                                    tr("Detector cooling failed\nExpected temp:%1; "
                                       "monitored temp:%2")
                                        .arg(int(setPoint))
                                        .arg(double(monitored), 0, 'f', 2));
    }
}

// The detector's temperature is followed as fast as the controller answers; the event loop keeps
// running between reads. The timeout runs on the instrument's clock. A read that fails never
// counts as within tolerance.
bool Worker::waitForDetectorTemperature(double tolerance, int timeoutSecs, signed char *setPoint,
                                        float *monitored)
{
    XrfPollBound bound(qint64(std::max(timeoutSecs, 0)) * 1000);
    bool readFailureLogged = false;
    for (;;) {
        const int setRet = engine()->getDetectorSetTemperature(setPoint);
        const int monRet = engine()->getDetectorMonitorTemperature(monitored);
        if (setRet == 0 && monRet == 0 && std::abs(double(*monitored) - *setPoint) < tolerance)
            return true;
        if ((setRet != 0 || monRet != 0) && !readFailureLogged) {
            qWarning() << "Failed to read the detector temperatures, HwRet:" << setRet << monRet;
            readFailureLogged = true;
        }
        if (!bound.pollAgain() || userAbort)
            return false;
        QCoreApplication::processEvents();
    }
}

// ---------------------------------------------------------------------------------------------
// Reset width calibration (SDD)

void Worker::doDetectorDacCalibration()
{
    setCurrentTaskProgress(-1);
    setCurrentTaskStatus(tr("Starting detector DAC. Reset width calibration"));
    beginHardwareSetupStep(kMicroReset);
    ResetWidthSearch search;
    QString error;
    const bool passed = beginResetWidthSearch(search, &error) && searchResetWidth(search, &error)
        && storeResetWidth(search, &error);
    hardwareSetupCurrentStep.setResults(search.results());
    if (!passed) {
        qWarning().noquote() << error;
        onHardwareSetupStepComplete(false, error);
        return;
    }
    setCurrentTaskProgress(100);
    onHardwareSetupStepComplete(true,
                                QStringLiteral("DAC Reset width: '%1', Reset Height: '%2', Reset "
                                               "clocks: '%3'")
                                    .arg(search.width)
                                    .arg(search.height)
                                    .arg(search.resetClocks));
}

bool Worker::beginResetWidthSearch(ResetWidthSearch &search, QString *error)
{
    const QJsonObject params = hardwareSetupCurrentStep.setupParams();
    if (!params.contains(QStringLiteral("targetResetHeight"))
        || !params.contains(QStringLiteral("initialResetWidth"))
        || !params.contains(QStringLiteral("targetResetHeightTolerance"))) {
        *error = QStringLiteral("Detector dac calibration failed. Failed to find targetResetWidth, "
                                "initialResetWidth in setup params");
        return false;
    }
    search.target = params.value(QStringLiteral("targetResetHeight")).toInt();
    search.width = params.value(QStringLiteral("initialResetWidth")).toInt();
    search.tolerance = params.value(QStringLiteral("targetResetHeightTolerance")).toInt();
    search.maxIterations = params.value(QStringLiteral("maxIterations")).toInt(0);
    search.delayMs = params.value(QStringLiteral("dacSetDelayInMilliSeconds")).toInt(0);

    engine()->disableAutoCal();
    if (!saveDefaultFpgaParams(error) || !readResetClocks(&search.resetClocks, error))
        return false;
    engine()->clearFaults();
    engine()->clearTubeFaults();
    engine()->clearInterrupts(0xffff);
    qDebug() << "Starting reset width calibration: "
             << "maxIterations: " << search.maxIterations
             << ", dacSetDelayInMilliSeconds: " << search.delayMs
             << ", targetResetHeight: " << search.target
             << ", resetHeightTolerance: " << search.tolerance << ", resetWidth: " << search.width
             << ", resetClocks: " << search.resetClocks;
    return true;
}

bool Worker::readResetClocks(unsigned short *clocks, QString *error)
{
    if (const int ret = engine()->getFpgaResetWidth(clocks)) {
        *error = hwRet(QStringLiteral("Failed to read resetClocks from K60, ret=%1"), ret);
        return false;
    }
    return true;
}

bool Worker::searchResetWidth(ResetWidthSearch &search, QString *error)
{
    int delayFactor = 1;
    int previousHeight = -1;
    bool inRange = false;
    for (int i = 0; i < search.maxIterations && !inRange; ++i) {
        if (const int ret = engine()->setDetectorDac(xrf_hal::DetectorDacResetWidth,
                                                     (unsigned short)search.width)) {
            *error = hwRet(QStringLiteral("Dac calibration failed, K60 command to set resetWidth "
                                          "failed, HwRet:'%1'"),
                           ret);
            return false;
        }
        XrfUtils::activeSleep(search.delayMs * delayFactor);
        unsigned short height = 0;
        if (const int ret = engine()->getFpgaResetHeight(&height)) {
            *error = hwRet(QStringLiteral("Detector dac calibration failed, failed to read fpga "
                                          "reset height from K60. HwRet: '%1'"),
                           ret);
            return false;
        }
        search.height = height;
        inRange = isResetHeightInRange(height, search.target, search.tolerance);
        qDebug() << "isResetHeightInRange: " << inRange;
        search.width = nextResetWidth(search.width, height, search.target, search.tolerance);
        search.heights.append(int(height));
        search.widths.append(search.width);
        setCurrentTaskStatus(
            QStringLiteral("RH:%1, RW:%2, Iter:%3").arg(height).arg(search.width).arg(i));
        setCurrentTaskProgress(i * 100 / (2 * search.maxIterations));
        if (inRange)
            break;
        if (userAbort) {
            *error = QStringLiteral("Dac calibration failed, User abort.");
            return false;
        }
        const int nextFactor = nextDelayFactor(delayFactor, height, previousHeight);
        if (nextFactor != delayFactor)
            qDebug().noquote() << QStringLiteral("resetHeight:%1 did not change, increasing "
                                                 "dacSetDelayInMilliSeconds:%2")
                                      .arg(height)
                                      .arg(search.delayMs * nextFactor);
        delayFactor = nextFactor;
        previousHeight = height;
    }
    if (!inRange) {
        *error = QStringLiteral("Failed to get reset height in expected range(%1, %2) even after "
                                "%3 attempts.")
                     .arg(search.target - search.tolerance)
                     .arg(search.target + search.tolerance)
                     .arg(search.maxIterations);
        return false;
    }
    return true;
}

bool Worker::storeResetWidth(ResetWidthSearch &search, QString *error)
{
    setCurrentTaskStatus(
        QStringLiteral("Reset Width: %1\nReset Height: %2").arg(search.width).arg(search.height));
    const auto width = (unsigned short)search.width;
    if (const int ret = engine()->setDetectorDac(xrf_hal::DetectorDacResetWidth, width)) {
        *error = hwRet(QStringLiteral("K60 command to set resetWidth failed, HwRet:'%1'"), ret);
        return false;
    }
    if (const int ret = engine()->setEepromResetTimerInit(width)) {
        *error = hwRet(
            QStringLiteral("K60 command to set eeprom reset timer init failed, HwRet:'%1'"), ret);
        return false;
    }
    if (const int ret = engine()->setEepromResetClocks(search.resetClocks)) {
        *error = hwRet(QStringLiteral("K60 command to set eeprom reset clocks failed, HwRet: '%1'"),
                       ret);
        return false;
    }
    setCurrentTaskProgress(60);
    setCurrentTaskStatus(tr("Final width:%1, Updating EEPROM").arg(search.width));
    if (!saveEepromData(error))
        return false;

    setCurrentTaskStatus(QStringLiteral("Verifying EEPROM"));
    if (!loadEepromData(error))
        return false;
    unsigned short storedWidth = 0;
    unsigned short storedClocks = 0;
    if (const int ret = engine()->getEepromResetTimerInit(&storedWidth)) {
        *error = hwRet(
            QStringLiteral("K60 command to read eeprom reset timer init value failed, HwRet:%1"),
            ret);
        return false;
    }
    if (const int ret = engine()->getEepromResetClocks(&storedClocks)) {
        *error = hwRet(
            QStringLiteral("K60 command to read eeprom reset clocks value failed, HwRet:%1"), ret);
        return false;
    }
    if (storedWidth != width) {
        *error = QStringLiteral("Monitored reset width %1 does not match with set reset width %2")
                     .arg(storedWidth)
                     .arg(width);
        return false;
    }
    if (storedClocks != search.resetClocks) {
        *error = QStringLiteral("Monitored reset clocks %1 does not match with set reset clocks %2")
                     .arg(storedClocks)
                     .arg(search.resetClocks);
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// PIN detector calibration

void Worker::doPinDetectorCalibration()
{
    setCurrentTaskStatus(tr("Starting PIN detector calibration"));
    beginHardwareSetupStep(kPinCalibration);
    PinCalibration run;
    run.params = hardwareSetupCurrentStep.setupParams();
    QString error;
    bool passed = readPinCalibrationParams(run, &error) && saveDefaultFpgaParams(&error)
        && readResetClocks(&run.resetClocks, &error) && startPinCalibrationHardware(run, &error)
        && searchPinDacs(run, &error);
    if (run.tubeOn) {
        // The X-rays never stay on after the search, whatever its outcome.
        engine()->disableTube();
        XrfUtils::activeSleep(kTubeOffSettleMs);
    }
    hardwareSetupCurrentStep.setResults(run.results());
    if (passed) {
        qDebug().noquote() << QStringLiteral("Success: Fet:%1, RW:%2, RH:%3, FC:%4, Win:%5")
                                  .arg(run.dacs.fetSub)
                                  .arg(run.dacs.resetWidth)
                                  .arg(run.height)
                                  .arg(run.fastCounts)
                                  .arg(run.windowSize);
        if (!(XrfHardwareManager::instance()->firmwareVersion(0) < kPinCorrectionFirmware)) {
            qDebug() << "Setting PIN detector temperature correction coefficients";
            setupPinDetectorTemperatureCorrection(run.params);
        }
        passed = storePinCalibration(run, &error);
    }
    if (!passed) {
        qWarning().noquote() << error;
        onHardwareSetupStepComplete(false, error);
        return;
    }
    setCurrentTaskProgress(100);
    onHardwareSetupStepComplete(true,
                                QStringLiteral("DAC FET Sub: %1, Reset width: %2, Reset Height: "
                                               "%3, Reset clocks: %4")
                                    .arg(run.dacs.fetSub)
                                    .arg(run.dacs.resetWidth)
                                    .arg(run.height)
                                    .arg(run.resetClocks));
}

bool Worker::readPinCalibrationParams(PinCalibration &run, QString *error)
{
    static const char *const required[] = {"maxIterations",
                                           "acquisitionTimeInMilliSeconds",
                                           "dacSetDelayInMilliSeconds",
                                           "maxResetHeight",
                                           "minFastCounts",
                                           "minWindowSize",
                                           "initialFetSub",
                                           "initialResetWidth",
                                           "tubeVoltageKv",
                                           "tubeCurrentUa",
                                           "temperatureCorrectionEpsilon",
                                           "temperatureCorrectionCoeff1",
                                           "temperatureCorrectionCoeff2"};
    for (const char *key : required) {
        if (!run.params.contains(QLatin1String(key))) {
            *error = QStringLiteral("PIN detector calibration failed. Failed to find one or more "
                                    "required setup params.");
            return false;
        }
    }
    run.maxIterations = run.param("maxIterations");
    run.acquisitionMs = run.param("acquisitionTimeInMilliSeconds");
    run.delayMs = run.param("dacSetDelayInMilliSeconds");
    run.maxResetHeight = run.param("maxResetHeight");
    run.minFastCounts = run.param("minFastCounts");
    run.minWindowSize = run.param("minWindowSize");
    run.dacs.fetSub = std::clamp(run.param("initialFetSub"), 0, kDacMax);
    run.dacs.resetWidth = std::clamp(run.param("initialResetWidth"), 0, kDacMax);

    return true;
}

bool Worker::startPinCalibrationHardware(PinCalibration &run, QString *error)
{
    const double kv = run.params.value(QStringLiteral("tubeVoltageKv")).toDouble();
    const double ua = run.params.value(QStringLiteral("tubeCurrentUa")).toDouble();
    qDebug().noquote() << QStringLiteral("Calibration params: Tube %1 kV / %2 uA,initial fet "
                                         "sub: %3, initial reset width: %4")
                              .arg(kv)
                              .arg(ua)
                              .arg(run.dacs.fetSub)
                              .arg(run.dacs.resetWidth);
    setCurrentTaskStatus(QStringLiteral("Preparing for calibration..."));
    setCurrentTaskProgress(0);

    engine()->setDetectorResetTrackingEnabled(false);
    engine()->disableAutoCal();
    engine()->clearFaults();
    engine()->clearTubeFaults();
    engine()->clearInterrupts(0xffff);
    XrfHardwareManager::instance()->watchDogInstance()->resetWatchdogInterlockState();
    int ret = engine()->setTubeVoltage(float(kv));
    if (ret == 0)
        ret = engine()->setTubeCurrent(float(ua));
    if (ret) {
        *error = hwRet(
            kPinFailed + QStringLiteral("K60 command to set tube parameters failed, HwRet:'%1'"),
            ret);
        return false;
    }
    if (const int ret =
            engine()->setDetectorDac(xrf_hal::DetectorDacFetSub, (unsigned short)run.dacs.fetSub)) {
        *error = hwRet(kPinFailed + QStringLiteral("K60 command to set fet sub failed, HwRet:'%1'"),
                       ret);
        return false;
    }
    if (!enableCalibrationTube(error))
        return false;
    run.tubeOn = true;
    if (const int ret = engine()->setDetectorDac(xrf_hal::DetectorDacResetWidth,
                                                 (unsigned short)run.dacs.resetWidth)) {
        *error = hwRet(
            kPinFailed + QStringLiteral("K60 command to set resetWidth failed, HwRet:'%1'"), ret);
        return false;
    }
    return true;
}

// The high voltage takes a moment to ramp: the controller answers "not ready" until it is up.
// Any other answer, or a tube that never comes up, fails.
bool Worker::enableCalibrationTube(QString *error)
{
    const QString failure =
        kPinFailed + QStringLiteral("K60 command to enable tube failed, HwRet:'%1'");
    XrfPollBound ramp(kTubeEnableTimeoutMs, kTubeEnableMinTries);
    for (;;) {
        const int ret = engine()->enableTube();
        if (ret == 0)
            return true;
        if (userAbort) {
            engine()->disableTube();
            *error = QStringLiteral("User Abort");
            return false;
        }
        if (ret != xrf_hal::EngineTubeNotReady || !ramp.pollAgain()) {
            engine()->disableTube();
            *error = hwRet(failure, ret);
            return false;
        }
        XrfUtils::activeSleep(kTubeEnableRetryMs);
    }
}

bool Worker::searchPinDacs(PinCalibration &run, QString *error)
{
    for (int i = 0; i < run.maxIterations; ++i) {
        run.iterations = i + 1;
        if (!measurePinDetector(run, error))
            return false;
        setCurrentTaskStatus(QStringLiteral("F:%1, W:%2, H:%3, FC:%4")
                                 .arg(run.dacs.fetSub)
                                 .arg(run.dacs.resetWidth)
                                 .arg(run.height)
                                 .arg(run.fastCounts));
        setCurrentTaskProgress(i * 80 / run.maxIterations);
        if (!adjustPinDetectorDacs(run, error))
            return false;
        XrfUtils::activeSleep(run.delayMs);
        if (run.found())
            return true;
        if (userAbort) {
            *error = kPinFailed + QStringLiteral("User abort.");
            return false;
        }
    }
    *error = kPinFailed
        + QStringLiteral("height: %1, counts: %2, window: %3, fetSub: %4, width: %5, even after "
                         "%6 attempts.")
              .arg(run.dacs.heightOk ? "true" : "false", run.countsOk ? "true" : "false",
                   run.windowOk ? "true" : "false")
              .arg(run.dacs.fetSub)
              .arg(run.dacs.resetWidth)
              .arg(run.maxIterations);
    return false;
}

bool Worker::measurePinDetector(PinCalibration &run, QString *error)
{
    engine()->startMCA();
    XrfUtils::activeSleep(run.acquisitionMs);
    engine()->stopMCA();
    unsigned short height = 0;
    if (const int ret = engine()->getFpgaResetHeight(&height)) {
        *error = hwRet(kPinFailed
                           + QStringLiteral("K60 command to read reset height failed, HwRet:'%1'"),
                       ret);
        return false;
    }
    run.height = height;
    xrf_hal::AcquisitionStats stats;
    if (const int ret = engine()->getAcquisitionStats(&stats)) {
        *error = hwRet(
            kPinFailed + QStringLiteral("K60 command to read fast counts failed, HwRet:'%1'"), ret);
        return false;
    }
    run.fastCounts = stats.inputCounts;
    run.countsOk = run.countsOk || qint64(run.fastCounts) >= run.minFastCounts;
    QVector<quint32> histogram;
    if (const int ret =
            engine()->getFpgaDiagnosticTrace(xrf_hal::FpgaTraceAdcHistogram, &histogram)) {
        *error = hwRet(kPinFailed
                           + QStringLiteral("K60 command to read ADC histogram failed, HwRet:'%1'"),
                       ret);
        return false;
    }
    run.windowSize = adcWindowSize(histogram);
    run.windowOk = run.windowOk || run.windowSize >= run.minWindowSize;
    return true;
}

bool Worker::adjustPinDetectorDacs(PinCalibration &run, QString *error)
{
    const PinDacChange change = adjustPinDacs(&run.dacs, run.height, run.maxResetHeight);
    if (change.widthExhausted) {
        *error = kPinFailed
            + QStringLiteral("resetWidth has reached lowest possible value '%1'.")
                  .arg(run.dacs.resetWidth);
        return false;
    }
    if (change.writeResetWidth) {
        if (const int ret = engine()->setDetectorDac(xrf_hal::DetectorDacResetWidth,
                                                     (unsigned short)run.dacs.resetWidth)) {
            *error = hwRet(kPinFailed
                               + QStringLiteral("K60 command to set resetWidth failed, HwRet:'%1'"),
                           ret);
            return false;
        }
    }
    if (change.writeFetSub) {
        if (const int ret = engine()->setDetectorDac(xrf_hal::DetectorDacFetSub,
                                                     (unsigned short)run.dacs.fetSub)) {
            *error = hwRet(
                kPinFailed + QStringLiteral("K60 command to set fetSubDacValue failed, HwRet:'%1'"),
                ret);
            return false;
        }
    }
    return true;
}

bool Worker::storePinCalibration(PinCalibration &run, QString *error)
{
    // Each engine answer is checked before the next command goes out.
    const auto succeeded = [error](int ret, const char *failureText) {
        if (ret)
            *error = hwRet(kPinFailed + QLatin1String(failureText), ret);
        return ret == 0;
    };
    setCurrentTaskStatus(QStringLiteral("Updating EEPROM"));
    const auto width = (unsigned short)run.dacs.resetWidth;
    const auto fetSub = (unsigned short)run.dacs.fetSub;
    if (!succeeded(engine()->setEepromResetTimerInit(width),
                   "K60 command to set eeprom reset timer init failed, HwRet:'%1'")
        || !succeeded(engine()->setEepromFetSubInit(fetSub),
                      "K60 command to set eeprom fet sub init failed, HwRet:'%1'")
        || !succeeded(engine()->setEepromResetClocks(run.resetClocks),
                      "K60 command to set eeprom reset clocks failed, HwRet:'%1'"))
        return false;
    engine()->setDetectorResetHeightTarget((unsigned short)run.height);
    QString eepromError;
    if (!saveEepromData(&eepromError)) {
        *error = kPinFailed + eepromError;
        return false;
    }

    setCurrentTaskStatus(QStringLiteral("Verifying EEPROM"));
    if (!loadEepromData(&eepromError)) {
        *error = kPinFailed + eepromError;
        return false;
    }
    unsigned short storedWidth = 0;
    unsigned short storedFetSub = 0;
    unsigned short storedClocks = 0;
    if (!succeeded(engine()->getEepromResetTimerInit(&storedWidth),
                   "K60 command to read eeprom reset timer init value failed, HwRet:%1")
        || !succeeded(engine()->getEepromFetSubInit(&storedFetSub),
                      "K60 command to read eeprom fet sub init value failed, HwRet:%1")
        || !succeeded(engine()->getEepromResetClocks(&storedClocks),
                      "K60 command to read eeprom reset clocks value failed, HwRet:%1"))
        return false;
    const QString mismatch = storedWidth != width
        ? QStringLiteral("monitored reset width %1 does not match with set reset width %2")
              .arg(storedWidth)
              .arg(width)
        : storedFetSub != fetSub
        ? QStringLiteral("monitored fet sub %1 does not match with set fet sub %2")
              .arg(storedFetSub)
              .arg(fetSub)
        : storedClocks != run.resetClocks
        ? QStringLiteral("monitored reset clock %1 does not match with set reset clock %2")
              .arg(storedClocks)
              .arg(run.resetClocks)
        : QString();
    if (!mismatch.isEmpty()) {
        *error = kPinFailed + mismatch;
        return false;
    }
    return true;
}
