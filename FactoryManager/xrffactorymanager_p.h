#pragma once

#include "xrffactorymanager.h"

#include "beamcurrentrule.h"
#include "devicefactorystatus.h"
#include "modelmethod.h"
#include "stepexposure.h"
#include "xrfcalibrationshot.h"
#include "xrfcalibrationstandard.h"
#include "xrfcloudresponse.h"
#include "xrffactorystabilityparams.h"
#include "xrffactorystepinfo.h"
#include "xrffilterpair.h"
#include "xrfhardwareconfig.h"
#include "xrfhardwaremanager.h"
#include "xrfhardwaresetupstepslist.h"
#include "xrfnetworkmanager.h"
#include "xrfstabilitytestmetainfo.h"
#include "xrfsteprecords.h"
#include "xrftimescale.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <atomic>
#include <functional>

class QThread;
class QTimer;

// The worker: all state and all work of the library, living on the factory thread.
class XrfFactoryManager::XrfFactoryManagerPrivate : public QObject
{
    Q_OBJECT
public:
    explicit XrfFactoryManagerPrivate(XrfFactoryManager *facade);
    ~XrfFactoryManagerPrivate() override;

    bool onFactoryThread() const;

    // A cloud request's handler listens from just before the request until the first answer
    // with its request id, which it takes with acceptCloudResponse.
    template<typename Handler>
    void listenForCloudResponse(Handler handler)
    {
        connect(XrfNetworkManager::instance(), &XrfNetworkManager::responseFromNetwork, this,
                handler, Qt::UniqueConnection);
    }
    template<typename Handler>
    bool acceptCloudResponse(const XrfCloudResponse &response, int requestId, Handler handler)
    {
        if (response.requestId() != requestId)
            return false;
        disconnect(XrfNetworkManager::instance(), &XrfNetworkManager::responseFromNetwork, this,
                   handler);
        return true;
    }

    // Life cycle (core/lifecycle.cpp).
    void buildFilePaths();
    void createTimers();
    void connectServices();
    void connectDispatchSignals();
    void destroyTimers();
    void setCurrentTaskStatus(const QString &status);
    void setCurrentTaskProgress(double progress);
    void setCurrentTaskTimeRemainingInSeconds(int seconds);

    // Result store (core/resultstore.cpp).
    bool saveJsonDataToFile(const QString &filePath, const QJsonObject &data, QString *errorMsg,
                            QJsonDocument::JsonFormat format = QJsonDocument::Indented);
    bool loadJsonFromFile(const QString &filePath, QJsonValue *value, QString *errorMsg);
    bool saveFactoryStepToLastResult(const XrfFactoryStepInfo &stepInfo, QString *errorMsg);
    // Writes the image to lastResult.json with lastResultMutex held; an unreadable file that the
    // image would replace is kept aside first.
    bool writeLastResultFile();
    bool isFactoryStepInLastResult(XrfUtils::FactoryStepId &stepId);
    bool loadFactoryStepFromLastResult(XrfUtils::FactoryStepId stepId, XrfFactoryStepInfo *stepInfo,
                                       QString *errorMsg);

    // Factory steps (core/steps.cpp).
    void doStepInit(const QString &stepName);
    void enterStep(XrfUtils::FactoryStepId id, const QString &name);
    void loadCurrentStepInfo(XrfUtils::FactoryStepId id, const QString &name);
    void checkResetPolicy();
    bool getFactoryStepsCompleted(qint32 *stepsCompleted, QString *errorMsg);
    bool setFactoryStepsCompleted(qint32 stepsCompleted, QString *errorMsg);
    bool invalidateFactoryStep(XrfUtils::FactoryStepId stepId, QString *errorMsg,
                               const bool &postStatus);
    void doFactoryStatusReset(const QJsonObject &newStatus);
    bool resetToFactoryStep(XrfUtils::FactoryStepId stepId, QList<StepStatus> stepStatuses,
                            QString *errorMsg);
    void invalidateStepsMarkedByCloud(XrfUtils::FactoryStepId stepId,
                                      const QList<StepStatus> &stepStatuses);
    bool resetProvisioningForStepReset(QString *errorMsg);
    void doJumpBackToCalibrationCheck();
    void resetFactorSetResultsForJumpBack(const QString &mode);
    bool setDetectorShutter(bool open, QString *errorMsg);

    // Work order and factory setup data (core/workorder.cpp).
    bool loadWorkOrderInfoFromFile();
    bool saveWorkOrderToFile(const QJsonObject &workOrderInfo, QString *errorMsg);
    // Writes workOrderInfo.json whole; an unreadable file there is kept aside first.
    bool writeWorkOrderFile(const QJsonObject &workOrderInfo, QString *errorMsg);
    QJsonObject currentWorkOrder();
    bool isTarvoLTDeviceType();
    bool isTarvoMPDeviceType();
    bool isTarvoHDDeviceType();
    bool isHarrierDeviceType();
    int modelFilesIndex();
    QString generateInstrumentTypeCode();
    QString generateInstrumetTypeString();
    bool loadFactorySetupParamsFromFile();
    bool loadFactorySetupDataFile(const QString &path);
    bool loadMethodPartMapFile(const QString &path);
    void applyCalibrationOverride();
    void overrideMethodKey(const QString &methodPath, const QJsonValue &value, const QString &key,
                           QJsonValue::Type type);
    void doSaveFactorySetupData(const QJsonObject &data);
    void requestWorkOrderFromCloud();
    void storeWorkOrderFromCloud(const QJsonObject &received);
    void requestFactoryDefaultsFromCloud();
    static QJsonObject cloudResponseToJson(const XrfCloudResponse &response);
    QString versionOfFile(const QString &path, const QString &failureText) const;

    // Cloud factory status (core/cloudstatus.cpp).
    void putDeviceFactoryStepStatus(XrfUtils::FactoryStepId stepId,
                                    XrfFactoryStepInfo::StepStatus status);
    void requestDeviceFactoryStatus();
    void followDeviceFactoryStatus(const DeviceFactoryStatusResponse &status,
                                   const QJsonObject &json);
    void saveWorkOrderFromStatus(const QJsonObject &newWorkOrder);
    bool saveDeviceFactoryStatusToLastResult(const DeviceFactoryStatusResponse &status);
    bool loadDeviceFactoryStatusFromLastResult(DeviceFactoryStatusResponse *status);

    // Factor set results in lastResult.json (calibration/factorset.cpp).
    bool loadFactorSetStatusFromLastResult();
    bool saveFactorSetStatusToLastResult();

    // Exposure filter configuration and factory safety (exposure/exposurefilter.cpp).
    // (The record is declared by xrfexposuresettings.h, which callers include.)
    bool configureExposureFilterParams(const quint16 &filterPosition,
                                       class XrfExposureSettings *settings);
    bool setFixedFilterMode(QString *errorMsg, const bool &enable);
    bool isFixedFilterInstrument();
    bool writeDefaultFilterParamsToK60();
    bool readDefaultFilterPositions(QJsonArray *positions);
    void setFactoryPageSafetySettings(bool testStandFor50kV);
    bool isTestStandPresentAndLidClosed();
    bool saveEepromData(QString *errorMsg);
    bool loadEepromData(QString *errorMsg);
    // The hole diameter of the collimator position, in micrometres.
    quint16 collimatorDiameterInMicrons = 482;

    // Provisioning check (provisioning/provisioning.cpp).
    struct ProvisioningRun;
    void startProvisioningCheck(const QJsonObject &provisioningData);
    void doProvisioningCheck();
    void checkSerialsAndModels(ProvisioningRun &run);
    void storeInstrumentModel(ProvisioningRun &run);
    void checkMacAddress(ProvisioningRun &run);
    void checkWorkOrderMac(ProvisioningRun &run, const QString &installedMac);
    void checkOverrideMac(ProvisioningRun &run, const QString &installedMac,
                          const QString &overrideMac);
    static void logMacFuseCommands(const QStringList &parts);
    void checkFilterMode(ProvisioningRun &run);
    void checkFilterPartNumber(ProvisioningRun &run);
    void checkFanAndSensors(ProvisioningRun &run);
    void checkCameras(ProvisioningRun &run);
    void updateHardwareConfigSetting();
    void recordFirmwareVersions(ProvisioningRun &run);
    void finishProvisioningCheck(ProvisioningRun &run, QJsonObject &result);
    void recordProvisioningOutcome(ProvisioningRun &run, QJsonObject &result);
    bool storeProvisioningResult(const QJsonObject &result, QString *errorMsg);
    void reportProvisioningResult(const QJsonObject &result);
    bool resetToProvisioning(QString *errorMsg);

    // Instrument identity and reset (provisioning/identity.cpp).
    bool setSerialNumberAndHostName(QString serialNumber, QString *errorMsg);
    bool setHostName(const QString &hostName, QString *errorMsg);
    bool setInstrumentType(const QString &instrumentType);
    bool writeInstrumentTypeToK60(const QString &instrumentType, bool *written);
    bool resetInstrumentToVirginState(QString *errorMsg);
    // The archives of the factory data and profile folders and the default profile that the
    // reset needs before it changes anything.
    bool backupForVirginState(QString *errorMsg);
    bool backupFolder(const QString &folder, const QString &archiveName, QString *errorMsg);
    QString instrumentSerialNumber();
    // Where the virgin-state reset keeps its archives, the profile it installs and the
    // controller's non-volatile sector it erases.
    QString backupDirPath;
    QString defaultProfilePath;
    unsigned char virginResetNvSector = 1;
    int hostNameTimeoutMs = 10000; // a watchdog on the bus service, in process time
    // The hardware manager's four exposure signals have one owner at a time. A step takes them
    // (every other receiver is disconnected) for its exposures and releases them to the
    // instrument's test manager when it is done (exposure/exposureowner.cpp). Empty handlers stay
    // unconnected.
    struct ExposureHandlers
    {
        std::function<void()> started;
        std::function<void(const XrfSpectrum &)> spectrum;
        std::function<void(XrfHardwareManager::XrfExposureEndCondition, bool)> stopped;
        std::function<void(const XrfErrorInfo &)> error;
    };
    void takeExposureSignals(const ExposureHandlers &handlers);
    void releaseExposureSignals();

    // Hardware setup sequencer (hardwaresetup/sequencer.cpp).
    void startHardwareSetup(const QString &stepId);
    void abortHardwareSetup();
    void getHardwareSetupStepsList();
    void markHardwareSetupStepComplete(const QString &stepId);
    void invalidateHardwareSetupResults(const QString &stepId);
    bool populateHardwareSetupSteps();
    void removeHardwareSetupStepsByInstrument();
    void doHardwareSetup(const QString &stepId);
    // Runs the handler of a sub-step id; false when no handler has that id.
    bool runHardwareSetupHandler(const QString &stepId);
    void onHardwareSetupStepComplete(bool passed, QString statusMessage);
    void onHardwareSetupComplete(bool passed, const QString &message);
    void assembleHardwareSetupResultsJson(QJsonObject *out);
    bool saveHwSetupStepResultToLastResult(QString *error);
    QString getNextHardwareSetupStep();
    bool writeFirmwareLog(QString folder, const QString &fileName);
    void sendHardwareSetupResults(const QJsonObject &results);
    void storeHardwareSetupSettings();
    // Makes the sub-step the current step, with its start time and the run's session id; false
    // when the list has no such sub-step (the current step is then a fresh one with that id).
    bool beginHardwareSetupStep(const QString &stepId);
    // Ends an asynchronous sub-step from its finished slot (does nothing after an abort).
    void finishAsyncHardwareSetupStep(const QString &logText, double progress);
    void onAccelerometerSetupFinished();
    void onBarometerSetupFinished();
    void onFilterWheelSetupFinished();
    void onDetectorSetupFinished();
    void onCameraSetupFinished();
    XrfHardwareSetupStepsList hardwareSetupSteps;
    QString hardwareSetupCurrentStepId;
    XrfHardwareSetupStepInfo hardwareSetupCurrentStep;

    // FPGA gain setup, auto-cal and PIN correction registers (hardwaresetup/fpga.cpp: the
    // sub-step's start and exposures; hardwaresetup/fpgaeval.cpp: the evaluation of a gain
    // exposure; hardwaresetup/fpgaregisters.cpp: defaults and auto-cal;
    // hardwaresetup/fpgapin.cpp: PIN detector correction registers).
    void doFpgaSetup();
    void onFpgaSetupExposureStopped(XrfHardwareManager::XrfExposureEndCondition endCondition,
                                    bool tubeStillOn);
    void onFpgaSetupError(const XrfErrorInfo &error);
    // Writes the detector type's default pulse-processor registers and saves them to NV.
    bool saveDefaultFpgaParams(QString *error);
    bool enableFpgaAutoCal(QString *error);
    bool disableFpgaAutoCal(QString *error);
    bool writePinGainCorrectionRegisters(float offsetCorrection, float slopeCorrection,
                                         float temperatureAtCal);
    bool readPinGainCorrectionRegisters(float *offsetCorrection, float *slopeCorrection,
                                        float *temperatureAtCal);
    bool savePinGainCorrectionValues(float offsetCorrection, float slopeCorrection,
                                     float temperatureAtCal, bool writeRegisters);
    bool applyPinGainCorrectionValuesFromSettings();
    bool writePinTemperatureCorrectionRegisters(float epsilon, float coeff1, float coeff2);
    bool readPinTemperatureCorrectionRegisters(float *epsilon, float *coeff1, float *coeff2);
    void setupPinDetectorTemperatureCorrection(const QJsonObject &params);
    bool isPinDetector() const;
    // The controller's firmware version: the detected configuration's, else the manager's.
    XrfVersion k60FirmwareVersion() const;
    // The FPGA defaults of the work order's detector type ({} when there are none).
    QJsonObject fpgaDefaultParams(QString *detectorType);
    bool prepareFpgaSetupExposure(QString *error);
    bool startFpgaSetupExposure();
    // Ends the sub-step; `storeIteration` first appends the current iteration to the results.
    void finishFpgaSetup(bool passed, const QString &message, bool storeIteration = false);
    void storeFpgaSetupResults();
    // The peaks, energy scale and gains of one gain exposure (hardwaresetup/fpgaeval.cpp).
    struct FpgaGainPeaks;
    bool checkFpgaSetupCountRates(FpgaGainPeaks *peaks);
    bool findFpgaSetupPeaks(FpgaGainPeaks *peaks);
    bool updateFpgaGain(FpgaGainPeaks *peaks, bool *corrected);
    void finishFpgaSetupEvaluation(const FpgaGainPeaks &peaks);
    bool storeFpgaCalibration(const FpgaGainPeaks &peaks, QString *error);
    // Exposure state of the gain exposures: 0 idle, 1 started, 2 stopped, 3 faulted.
    int fpgaExposureState = 0;
    XrfExposureSettings fpgaSetupExposureSettings;
    XrfSpectrum fpgaSetupSpectrum;
    int fpgaSetupIteration = 0;
    // Count-rate ceiling restarts of the current exposure; bounded so that a rate that does not
    // follow the tube current cannot restart forever.
    int fpgaSetupCeilingRestarts = 0;
    int fpgaSetupMaxCeilingRestarts = 5;
    bool fpgaSetupOwnsExposureSignals = false;
    QJsonObject fpgaSetupResults;
    QJsonArray fpgaSetupIterations;
    QJsonObject fpgaSetupCurrentIteration;

    // Filter wheel scan, move exercise and filter wheel test (hardwaresetup/filterwheel.cpp;
    // the scan algorithms are in hardwaresetup/filterwheelsetup.cpp).
    void doFilterWheelSetup();
    void doFilterMoveExercise(bool recordResults);
    bool populateFilterWheelTestSteps();
    void startFilterWheelTest();
    void stopFilterWheelTest();
    struct FilterMoveExercise;
    bool prepareFilterMoveExercise(FilterMoveExercise &exercise, bool recordResults);
    void runFilterMoveExercise(FilterMoveExercise &exercise);
    bool doFilterExerciseMove(FilterMoveExercise &exercise, int position);
    bool pollFilterExerciseMove(FilterMoveExercise &exercise, int position, QString *failure);
    void countFilterExerciseMove(FilterMoveExercise &exercise, bool clean);
    void finishFilterMoveExercise(FilterMoveExercise &exercise, bool recordResults);
    void failFilterMoveExercise(const QString &message, bool recordResults);
    // The setup parameters of "filterMoveExercise" in the factory setup data's list.
    bool filterMoveExerciseSetupParams(QJsonObject *params);
    // Takes the hardware manager's exposure signals; hardware errors go into
    // filterWheelHardwareError until they are released.
    void captureFilterWheelHardwareErrors();
    XrfErrorInfo filterWheelHardwareError;

    // Detector cooling, reset width DAC and PIN detector calibration (hardwaresetup/detector.cpp).
    void doDetectorSetup();
    void doDetectorDacCalibration();
    void doPinDetectorCalibration();
    // Reads the detector's set and monitored temperatures, without pausing, until they agree
    // within the tolerance (true) or the timeout passes or the run is aborted (false).
    bool waitForDetectorTemperature(double tolerance, int timeoutSecs, signed char *setPoint,
                                    float *monitored);
    // The reset clocks that the FPGA's reset width register holds.
    bool readResetClocks(unsigned short *clocks, QString *error);
    struct ResetWidthSearch; // hardwaresetup/detector_p.h
    bool beginResetWidthSearch(ResetWidthSearch &search, QString *error);
    bool searchResetWidth(ResetWidthSearch &search, QString *error);
    bool storeResetWidth(ResetWidthSearch &search, QString *error);
    struct PinCalibration; // hardwaresetup/detector_p.h
    bool readPinCalibrationParams(PinCalibration &run, QString *error);
    // Tube on at the calibration's voltage and current, DACs at their initial values.
    bool startPinCalibrationHardware(PinCalibration &run, QString *error);
    bool enableCalibrationTube(QString *error);
    bool searchPinDacs(PinCalibration &run, QString *error);
    bool measurePinDetector(PinCalibration &run, QString *error);
    bool adjustPinDetectorDacs(PinCalibration &run, QString *error);
    bool storePinCalibration(PinCalibration &run, QString *error);

    // Temperature, barometer, accelerometer and proximity checks (hardwaresetup/sensors.cpp).
    void doSystemTemperatureChecks();
    void doSystemTemperatureChecksLT();
    void doSystemTemperatureChecksMP();
    // The LT and MP variants differ only in their first sensor and texts.
    struct TemperatureVariant;
    void runTemperatureVariant(const TemperatureVariant &variant);
    void doBarometerCheck();
    void doAccelerometerCalibration();
    void doProximitySensorSetup();
    bool checkFanSpeed(QJsonObject *results, QString *error);
    void finishSensorCheck(bool passed, const QString &message, const QJsonObject &results);

    // Collimator ratio setup (hardwaresetup/collimator.cpp).
    void doCollimatorRatioSetup();
    // The pairs of open and collimated filters in the controller's filter table.
    bool buildFilterPairsFromK60(XrfFilterPairsList *pairs, QString *errorMsg);
    bool planCollimatorRatioShots(const QJsonObject &params, bool fromStoredResult,
                                  QString *errorMsg);
    void doCollimatorRatioShots();
    void
    onCollimatorRatioShotExposureStopped(XrfHardwareManager::XrfExposureEndCondition endCondition,
                                         bool tubeStillOn);
    void onCollimatorRatioShotsComplete(bool ok, QString message);
    // Ratios of every pair against the limits; false when one is out of them.
    bool evaluateCollimatorRatios(QString *report);
    // Writes the pairs to the universal settings; false with the message when that fails.
    bool saveFilterPairsSetting(QString *errorMsg);
    double unCollimatedToCollimatedRatioMin = 0;
    double unCollimatedToCollimatedRatioMax = 0;
    QList<XrfExposureSettings> collimatorRatioShots;
    int collimatorRatioShotsRemaining = 0;
    XrfFilterPairsList filterPairs;
    StepExposure collimatorExposure;
    // The hole diameter of the open positions, in micrometres.
    quint16 unCollimatedDiameterInMicrons = 2718;

    // Camera collimation, factory step 4 (hardwaresetup/camerasetup.cpp).
    void startCameraCollimationSetup();
    void doCameraCollimationSetup();
    void initCameraSetup();
    void onCameraCollimationSetupExposureStopped(
        XrfHardwareManager::XrfExposureEndCondition endCondition, bool tubeStillOn);
    void onCameraCollimationSetupComplete(bool passed, const QString &message);
    QJsonObject assembleCameraSetupResultsJson(bool passed, const QString &message);
    void onCameraCollimationResultUploadComplete(const XrfCloudResponse &response);
    bool cameraSetupIsFactoryStep = false;
    QString cameraSetupStartTime;
    QString cameraSetupResultFile;
    StepExposure cameraExposure;

    // Register overrides (hardwaresetup/overrides.cpp).
    void doOverrides();
    // One entry of "overrides"; false (with the sub-step's message) when the sub-step fails.
    // `saveNv` is set when the entry asks for the non-volatile save.
    bool applyOverride(const QJsonObject &entry, bool *saveNv, QString *errorMsg);
    bool writeRegisterOverride(const QJsonObject &entry, bool *saveNv, QString *errorMsg);
    bool sendCommandOverride(const QJsonObject &entry, QString *errorMsg);

    // Button, customer IO and clock tests (hardwaresetup/operatortests.cpp).
    void doHardwareButtonsTest();
    void doHardwareCustomerIOTest();
    void onHardwareSetupButtonTestComplete(const QJsonObject &result);
    void onHardwareSetupCustomerIOTestComplete(const QJsonObject &result);
    bool doTimeCheck(QTime now, int toleranceSeconds);
    // The button result of an instrument without the sub-step in its run joins the stored
    // hardware setup results and goes to the cloud.
    void reportButtonTestOutsideHardwareSetup(const QJsonObject &result, bool passed,
                                              const QString &message);
    // The sub-step that waits for the operator's result; empty when none does.
    QString operatorTestPending;

    // Stability tests, factory steps 5 and 6 (stability/): stabilityinit.cpp prepares the step
    // and checks the parameters and the instrument; stabilityrun.cpp runs the shots;
    // stabilitystatus.cpp ties the run to its results; stabilitylog.cpp builds each shot's record;
    // stabilityfiles.cpp keeps the run's files; stabilityassembly.cpp (with the streaming writers
    // of stabilityassembler.h) assembles them and judges the Br/Cu ratio; stabilityupload.cpp
    // sends them to the cloud and takes its verdict.
    enum StabilityTestType { StabilityPlain = 0, StabilityCollimated = 1 };
    // 5 and 7 are events for onStabilityTestComplete only; they are never stored.
    enum StabilityTestStatus {
        StabilityReady = 0,
        StabilityError = 1,
        StabilityAborted = 2,
        StabilityShotsComplete = 3,
        StabilityProcessingResults = 4,
        StabilityResultsDiscarded = 5,
        StabilityWaitingForCloudResponse = 6,
        StabilityUploadFinished = 7,
        StabilityCloudResponseReceived = 8,
        StabilityRunAgainInFreezeFilterMode = 9,
    };
    enum StabilityResultType {
        StabilitySummary = 0,
        StabilitySpectrum = 1,
        StabilityFirmwareLog = 2
    };
    static QString stabilityStatusText(StabilityTestStatus status);
    QString stabilityStepName() const;
    XrfUtils::FactoryStepId stabilityStepId() const;
    // The kind and its folders, without touching the run (uploads and discards of a named step).
    void selectStabilityType(StabilityTestType type);
    void initStability(StabilityTestType type);
    bool resumeStabilityLeftovers();
    void waitForStabilityDetector();
    bool initStabilityTestParams(bool isMini);
    bool readStabilityFpgaScale(QString *error);
    bool failStabilityInit(const QString &message);
    bool runStabilityPreflightCheck(QString *error);
    bool waitForStabilityDarkRate();
    void onStabilityDarkRateUpdated(const unsigned int &darkRate);
    bool waitForDetectorReady(int seconds, bool *notReady, QString *error);
    void doStability(bool isMini, bool freezeFilterMode);
    void resetStabilityRun();
    bool prepareStabilityRun(bool freezeFilterMode, QString *error);
    bool clampStabilityExposures(QString *error);
    void abortStabilityTest();
    void onStabilityExposureStarted();
    void onStabilitySpectrum(const XrfSpectrum &spectrum);
    void onStabilityExposureStopped(XrfHardwareManager::XrfExposureEndCondition endCondition,
                                    bool tubeStillOn);
    void onStabilityError(const XrfErrorInfo &err);
    void scheduleNextStabilityExposure(int delaySeconds);
    void onStabilityShotsFinished();
    void updateStabilityTaskStatus();
    void onStabilityTestComplete(StabilityTestStatus status);
    void finishStabilityShots(StabilityTestStatus status);
    void finishStabilityEvaluation();
    void setStabilityStatus(StabilityTestStatus status, bool reportStep = true);
    bool loadStabilityMetaInfoFromLastResult();
    bool saveStabilityTestInfoToLastResult();
    void mergeIntoHardwareConfigSetting(const QJsonObject &values);
    // The shot's record (stabilitylog.cpp): readings of the instrument, the spectrum's analysis
    // and, when final, the shot's files, the running statistics and the first-shot checks.
    void writeStabilityLog(QJsonObject *record, bool isFinal);
    QJsonObject readStabilityReadings();
    void sampleStabilityMonitors(QJsonObject *record);
    void analyseStabilityPeaks(QJsonObject *record, double *binSize, double *slope, double *offset);
    void updateStabilityStatistics(const XrfSpectrum &spectrum, double resolution, double slope,
                                   double offset);
    void runFirstShotChecks(const QJsonObject &record, double binSize);
    QJsonObject stabilityDisplayCopy(const QJsonObject &record) const;
    // The run's files (stabilityfiles.cpp) and their assembly (stabilityassembly.cpp).
    bool saveStabilityResult(StabilityResultType type, const QJsonObject &data, QString *error);
    void saveStabilityTestHeader();
    bool isUnProcessedStabilityResults(qint32 *summaryCount);
    bool isPendingStabilityUploads();
    bool isInsideStabilityCompletedFolder(const QString &path) const;
    bool removeStabilityFile(const QString &path);
    bool processStabilityResults(qint32 &shotsTaken, qint32 *shotsProcessed, QString *error);
    bool assembleStabilityResults(QString *error);
    bool stampStabilityHeaderEndTime(QString *error);
    bool assembleStabilitySummaryResult(QString *error);
    bool assembleStabilitySpectraResult(QString *error);
    bool assembleStabilityFirmwareLogs(QString *error);
    bool checkCollimatedStabilityMeanAndRSD(bool *runAgainInFreezeFilterMode);
    // The upload chain and the cloud's verdict (stabilityupload.cpp).
    void uploadStabilityData();
    void continueStabilityUpload();
    bool checkStabilityUploadConnectivity(const QString &failureText, QString *error);
    bool uploadStabilitySummary(QString *error);
    bool uploadStabilitySpectra(QString *error);
    bool uploadStabilityFirmwareLogs(QString *error);
    void onStabilitySummaryUploadProgressChanged(int progress);
    void onStabilitySpectraUploadProgressChanged(int progress);
    void onStabilityFirmwareLogsUploadProgressChanged(int progress);
    void onStabilitySummaryUploadComplete(const XrfCloudResponse &response);
    void onStabilityTestQueryComplete(const XrfCloudResponse &response);
    bool readStabilityVerdict(const QJsonObject &answer, bool *passed, int *uploadId,
                              QString *error);
    void applyStabilityGainCorrections(const QJsonObject &answer);
    void onStabilityQueryRetryTimerTimeout();
    void onStabilitySpectraUploadComplete(bool status, QString error);
    void onStabilityFirmwareLogsUploadComplete(bool status, QString error);
    void disconnectStabilityUploadSignals();
    void onStabilityDataUploadComplete(bool hasSucceeded, QString errorMsg);
    void discardStabilityResults();
    bool selectStabilityStepData(XrfUtils::FactoryStepId stepId);
    void uploadStabilityStepResult(XrfUtils::FactoryStepId stepId);
    void discardStabilityStepResult(XrfUtils::FactoryStepId stepId);

    struct StabilityFolders
    {
        QString root;
        QString inProgress;
        QString summary;
        QString spectra;
        QString firmwareLogs;
        QString headerFile;
        QString completed;
    };
    // The tube monitors and battery readings, read afresh only at the start of a shot.
    struct StabilityMonitors
    {
        double tubeVoltage = 0;
        double tubeCurrent = 0;
        double tubeInputVoltage = 0;
        double tubeInputCurrent = 0;
        double batteryVoltage = 0;
        double batteryCurrent = 0;
    };
    StabilityTestType stabilityTestType = StabilityPlain;
    StabilityFolders stabilityFolders;
    XrfFactoryStabilityParams stabilityParams;
    XrfStabilityTestMetaInfo stabilityMetaInfo;
    QJsonObject stabilityHeader;
    std::atomic<bool> stabilityAbortRequested{false};
    // Each run gets a number; delayed starts of an earlier run are dropped.
    int stabilityRunNumber = 0;
    bool stabilityRunning = false;
    bool stabilityExposureRequested = false;
    bool stabilityExposureActive = false;
    int stabilityExposureState = 0;
    // The watchdog stopped an attempt whose stop has not been reported yet.
    bool stabilityStaleStopOwed = false;
    bool stabilityWatch = false;
    bool stabilityCheckFailed = false;
    int stabilityShotNumber = 0;
    int stabilityShotsRemaining = 0;
    int stabilityRetryCount = 0;
    int stabilityMaxRetries = 3;
    int stabilityIntraShotDelay = 1;
    int stabilityMinRepeats = 10;
    bool stabilitySaveFirmwareLogs = false;
    int stabilityErrorsCount = 0;
    int stabilityShotsAveraged = 0;
    QList<XrfHardwareManager::XrfExposureEndCondition> stabilityEndConditions;
    QList<XrfErrorInfo> stabilityHardwareErrors;
    XrfErrorInfo stabilityLastHardwareError;
    QJsonObject stabilityExposureStartInfo;
    XrfExposureSettings stabilityCurrentExposure;
    XrfSpectrum stabilityCurrentSpectrum;
    // Instrument readings of the running attempt and the real time they were taken at: spectrum
    // updates reuse them for a while, so that an update costs few engine reads.
    QJsonObject stabilityReadings;
    double stabilityReadingsRealTime = -1;
    StabilityMonitors stabilityMonitors;
    QVector<double> stabilityPeakEnergies;
    bool stabilityProbeTemperatureUnused = false;
    bool stabilityDarkRatePending = false;
    QString stabilityResultGuid;
    int stabilityQueryIntervalSeconds = 1;
    QTimer *stabilityQueryRetryTimer = nullptr;
    int stabilityQueryMaxIntervalSeconds = 60;

    // Beams setup and air shots, factory steps 7 and 8 (shots/).
    // Beams setup: the beam list and the start (shots/beamssetup.cpp), the shots and the
    // count-rate loop (shots/beamssetupshot.cpp), closing beams and the step, the result file and
    // invalidation (shots/beamssetupresult.cpp).
    void initBeamsSetup();
    bool populateBeamsSetupBeamList(bool quiet);
    void loadBeamsSetupResults();
    void publishBeamsSetupBeamList();
    void startBeamConditionSetup(const QString &beamName);
    void abortBeamConditionSetup();
    void doBeamCurrentSetup(const QString &beamName);
    void startBeamShot();
    // Starts an exposure with the beam's settings; a refusal fails the beam.
    void startBeamExposure();
    void onBeamsSetupExposureStarted();
    void onBeamsSetupSpectrum(const XrfSpectrum &spectrum);
    void onBeamsSetupExposureStopped(XrfHardwareManager::XrfExposureEndCondition endCondition,
                                     bool tubeStillOn);
    void onBeamsSetupError(const XrfErrorInfo &error);
    // The peak check of a spectrum update; false when it stopped the shot.
    bool validateBeamsSetupSpectrum(const XrfSpectrum &spectrum);
    // The current limits of the beam being shot, from the engine.
    BeamCurrentLimits readBeamCurrentLimits();
    void retryBeamShot(float currentUa);
    // The cal-check count rate from an alloy (or precious metal) beam 1; false with the error.
    bool populateBeamCalCheckCountRate(QString *error);
    void onBeamsSetupShotComplete(bool passed, const QString &message, bool continueWithNext);
    // The step waits for the technician: the exposure signals go back to the test manager.
    void pauseBeamsSetup();
    bool saveBeamsSetupResultToLastResult(QString *err);
    QJsonObject beamsSetupResultMap();
    void onBeamsSetupComplete();
    void assembleBeamsSetupResultJson(QJsonObject *out);
    void onBeamsSetupResultUploadComplete(const XrfCloudResponse &response);
    void invalidateBeamSetupShot(const QString &beamName);
    // Invalidating a beam invalidates what was measured with it: steps 8 to 11.
    void invalidateStepsAfterBeamsSetup();
    void setTarvoHDLidTestComplete(bool completed);
    void setTarvoHDButtonTestComplete(bool completed);
    // Sets an HD flag and saves the step result when it changes.
    void setBeamsSetupFlag(bool *flag, bool value);
    XrfBeamInfoList beamsSetupBeamList;
    XrfBeamInfo currentBeam;
    // State, settings, last spectrum and last hardware error of the beam's shots.
    StepExposure beamExposure;
    int beamIterationCount = 0;
    bool beamValidationFailed = false;
    bool hdLidTestCompleted = false;
    bool hdButtonTestCompleted = false;
    int maxBeamIterations = 5;
    int defaultTubeMaxPower = 4;
    int beamRetryDelaySeconds = 1;

    // Final QC (calibration/): the template download and the batch settings
    // (finalqctemplates.cpp), the record of each method's batch (finalqc.cpp) and the upload of
    // the record and the batches' progress data (finalqcupload.cpp).
    void downloadFinalQcTemplates();
    void onGetFinalQcTemplatesResponseReceived(const XrfCloudResponse &response);
    void onFinalQcTemplatesDownloadComplete(bool status, QString error);
    // Replaces the templates with those of the downloaded file (a template or a zip archive of
    // them, unpacked safely, kept by base name); false with the message, the old ones kept.
    bool installFinalQcTemplates(const QString &downloaded, QString *errorMsg);
    void endFinalQcTemplatesDownload(bool status, const QString &failure);
    QString findFinalQcTemplate(const QString &methodId);
    bool startFinalQC(const QString &methodId, QJsonObject *multiTestSettings, QString *errorMsg);
    void onFinalQCBatchComplete(bool success);
    void refreshFinalQcEntries();
    bool saveFinalQcToLastResult(QString *errorMsg);
    void uploadFinalQcResult();
    // The progress archive of one templated method; false with the message.
    bool prepareFinalQcProgressArchive(const QString &methodId, QJsonObject *body,
                                       QString *errorMsg);
    void uploadNextFinalQcData();
    void onFinalQcUploadProgressChanged(int progress);
    void onFinalQcUploadComplete(bool status, QString error);
    void endFinalQcUpload(bool status, const QString &error);
    QString finalQcRunningMethod;
    QString finalQcTemplatesDownload;
    // The progress archives still to upload, one at a time, and the failures so far.
    QList<QJsonObject> finalQcPendingUploads;
    int finalQcUploadCount = 0;
    QStringList finalQcUploadErrors;
    bool finalQcUploading = false;

    // Radiation survey (survey/radiationsurvey.cpp).
    void startRadiationSurvey();
    void stopRadiationSurvey();
    void evaluateRadiationSurveyResult(const XrfRadiationSurveyResult &entered);
    bool restoreRadiationSurveyFromLastResult(const QJsonObject &lastResultJson, bool *restored,
                                              QString *errorMsg);
    bool loadRadiationSurveyParamsFromSetupData(QString *errorMsg);
    void onRadiationSurveyExposureStopped(XrfHardwareManager::XrfExposureEndCondition endCondition,
                                          bool tubeStillOn);
    void onRadiactionSurveyError(const XrfErrorInfo &error);
    void onRadiationSurveyComplete(XrfRadiationSurveyResult::Status status,
                                   const QString &statusMsg);
    bool saveRadiationSurveyToLastResult(QString *errorMsg);
    StepExposure radiationSurveyExposure;
    // From the start of the survey exposure until its end is known: a second start waits.
    bool radiationSurveyExposing = false;

    // Profile packages (packages/): the profile backup (profilebackup.cpp), the hand-over
    // settings after its upload (handover.cpp), the remote method diagnostic and update packages
    // (remotemethoddiagnostic.cpp, remotemethodupdate.cpp) and what they share
    // (packagearchive.cpp). One result record serves all three.
    void doProfileBackupAndUpload(bool diagPurpose, QString fileName);
    void stashUniversalSettings();
    bool zipProfileBackup(bool diagPurpose, const QString &fileName, QString *errorMsg);
    void onProfileUploadProgressChanged(int progress);
    void onProfileUploadComplete(bool status, QString error);
    void onProfileBackupAndUploadComplete(bool succeeded, QString err);
    void prepareInstrumentForShipping();
    void applyHandOverSafetySettings();
    void resetLogLevelsToWarning();
    void doRemoteMethodDiagnosticUpload(XrfProfileZipOption options, QString signedInitial);
    bool createUploadZipFile(XrfProfileZipOption options, QString packageFolder);
    bool exportResultsDatabase(int daysOfResult, const QString &packageFolder);
    void onRemoteMethodDiagnosticUploadProgressChanged(int progress);
    void onRemoteMethodDiagnosticUploadComplete(bool status, QString error);
    void doRemoteMethodUpdateUpload(QJsonObject obj);
    bool remoteMethodUpdateName(const QJsonObject &obj, int instrumentSerial, QString *name,
                                QString *errorMsg);
    bool buildRemoteMethodUpdatePackage(const QJsonObject &obj, const QString &target,
                                        QString *errorMsg);
    void onRemoteMethodUpdateUploadProgressChanged(int progress);
    void onRemoteMethodUpdateUploadComplete(bool status, QString error);
    // The folder of the diagnostic ("RMD") or update ("RMU") packages, beside the factory data.
    QString remoteMethodFolder(const QString &name) const;
    // The instrument serial number as an archive's meta information carries it; false with the
    // message (`failurePrefix` first) when it is not a number.
    bool profileSerialNumber(const QString &failurePrefix, int *serial, QString *errorMsg);
    static QString packageArchiveTime(const QString &format);
    // Describes the archive `folder`/`name` in the record's meta information (time, path, size,
    // MD5, version); false with the message when the archive is missing or unreadable.
    bool describeProfileArchive(const QString &folder, const QString &name,
                                const QString &failurePrefix, QString *errorMsg);
    // Uploads the described archive; `progress` and `complete` receive the upload's signals until
    // stopListeningForProfileUpload().
    void uploadProfileArchive(XrfNetworkManager::CloudRequestIds requestId,
                              const QString &failurePrefix,
                              void (XrfFactoryManagerPrivate::*progress)(int),
                              void (XrfFactoryManagerPrivate::*complete)(bool, QString));
    void stopListeningForProfileUpload();
    void showProfileUploadProgress(int progress, const QString &statusText);
    // The record's status and error, the task status text and progress of an ended upload.
    void recordProfileUploadOutcome(bool status, const QString &error);
    // Ends a diagnostic ("RMD") or update ("RMU") upload: its folder goes, the outcome is recorded.
    void endRemoteMethodUpload(const QString &folderName, bool status, const QString &error);
    XrfProfileBackupResult profileBackupResult;
    // Air shots: the shot lists and the start (shots/airshots.cpp), the shots
    // (shots/airshotrun.cpp), the safe background rates (shots/airshotbackground.cpp), the
    // cal-check settings (shots/calchecksettings.cpp) and the recovery of lost records
    // (shots/airshotrecovery.cpp).
    bool getListOfAirShots();
    bool buildAirShotsFromScratch(XrfAirShotList *unCollimated, XrfAirShotList *collimated);
    void updateAirShotsFromLastResult(XrfAirShotList *unCollimated, XrfAirShotList *collimated);
    void startAirShot();
    void abortAirShot();
    void doAirShotSetup();
    void loadSafeBackgroundRate();
    // Compares the shot's background with its safe rate; false with the failure text.
    bool checkAirShotBackground(double background, QString *failure);
    void onAirShotExposureStarted();
    void onAirShotSpectrum(const XrfSpectrum &spectrum);
    void onAirShotExposureStopped(XrfHardwareManager::XrfExposureEndCondition endCondition,
                                  bool tubeStillOn);
    void onAirShotError(const XrfErrorInfo &error);
    void recordAirShot(bool passed);
    void onAirShotPassed();
    void onAirShotFailed(const QString &failure);
    void onAirShotsSetupComplete();
    bool saveAirShotResult();
    void recoverBeamSetupAirShot();
    // The newest passing air shot file; empty when there is none.
    QString newestPassingAirShotFile(QJsonObject *content);
    bool rebuildBeamsSetupFromAirShots(const QJsonObject &file);
    void applyRecoveredCurrents(const QHash<QString, float> &currentById);
    bool storeRecoveredRecords(const QJsonObject &file);
    XrfAirShotList uncollimatedAirShotList;
    XrfAirShotList collimatedAirShotList;
    XrfAirShot currentAirShot;
    QJsonObject airShotResults;
    QString airShotResultFileName;
    StepExposure airShotExposure;
    int totalAirShots = 0;
    int remainingAirShots = 0;
    QVariantMap safeBackgroundRates;
    bool safeBackgroundRatesLoaded = false;
    // Why the safe background rate table could not be read; empty when it was.
    QString safeBackgroundRateProblem;
    int percentTolerance = 0;
    int minTolerance = 0;
    int airShotPauseSeconds = 2;

    // The cal-check settings: "hardware.calCheck" (the first check's flag),
    // "hardware.calCheck.exposure" and "hardware.calCheck.calculation". A settings file written
    // with the exposure and calculation inside "hardware.calCheck" is migrated on first use.
    bool migrateCalCheckSettings(QString *errorMsg);
    int readCalCheckSection(const QString &section, QJsonObject *value);
    int writeCalCheckSection(const QString &section, QJsonObject value);
    void populateCalCheckExposureSettings();
    bool populateCalCheckTargetCountRate(const XrfSpectrum &spectrum, QString *err);
    // The statistics of the last stability run, from lastResult.json ({} when there is none).
    QJsonObject lastStabilityMetaInfo();

    // ---- Calibration shots, factory step 10 (calibration/) ----
    // The step list and the standards (calibrationsteps.cpp: lists, index, findNextStandard;
    // calibrationworkspaces.cpp: the workspaces built from the method templates), the shots
    // (calibrationshots.cpp: the 50 kV rule, the time, count and wrong-shot checks;
    // calibrationshotend.cpp: status, custom-window background, library, completion) and the
    // stored record, invalidation and cleanup (calibrationrecord.cpp); the wrong-shot criteria
    // download (calibrationcriteria.cpp).
    bool populateCalibrationStepList();
    bool populateCalibrationStepListFromScratch();
    bool populateCalibrationStepListFromLastResult();
    // The workspace (or synthetic method file) of one method; false ends the list build.
    bool prepareCalibrationWorkspace(const ModelMethod &method, QStringList *methodsWithSteps);
    bool createCalibrationWorkspace(const ModelMethod &method,
                                    const QList<XrfExposureSettings> &exposures);
    void adjustCalibrationMethodFile(const ModelMethod &method,
                                     const QList<XrfExposureSettings> &exposures);
    // The air shots' exposures per "method~beam" key, open and collimated; the first shot wins.
    void buildCalibrationExposureMaps();
    QList<XrfExposureSettings> calibrationExposures(const ModelMethod &method) const;
    // Method id -> synthetic shot folder, from the prerequisite selection (empty ids added for
    // the factory methods it does not name).
    QMap<QString, QString> calibrationSyntheticShotFolders(const QList<ModelMethod> &methods);
    void indexCalibrationStandards();
    // The single "---NO CAL SHOT---" step, done, of a unit calibrated from synthetic shots only.
    void setNoCalShotStepList();
    bool populateCalibrationStandardList();
    // The first standard from the one after `current`, wrapping once, with steps to shoot now:
    // without the closed test stand one with only 50 kV steps left is passed over. Empty: none.
    QString findNextStandard(const QString &current);
    void getCalibrationStepList();
    void getCalibrationStandardsList(const QString &argument);
    void shootCalibrationSample(const QString &standardName);
    void doCalibrationShot(const QString &standard, int stepIndex);
    void finishCalibrationStandard(const QString &standard);
    // With no standard left to shoot, the standards whose 50 kV steps alone are left wait for the
    // closed test stand: asks for it and offers the first of them. False when all are done.
    bool offerSetAsideCalibrationStandards();
    // The test stand is present with its lid closed: 50 kV steps may be shot.
    bool calibration50kVAllowed();
    int calibrationTimeRemaining(const XrfCalibrationStandard &standard, bool allow50kV) const;
    void onCalibrationShotExposureStarted();
    void onCalibrationShotExposureStopped(XrfHardwareManager::XrfExposureEndCondition endCondition,
                                          bool tubeStillOn);
    // Why the shot's spectrum or time is not good; empty when they are.
    QString calibrationShotProblem(XrfCalibrationStep *step);
    void onCalibrationShotComplete(XrfCalibrationStep *step);
    void applyCustomWindowBackground(const XrfCalibrationStep &step);
    void saveCalibrationShotToLibrary(const XrfCalibrationStep &step);
    bool isGoodCalibrationShot(XrfCalibrationShot &shot, QString *err);
    void onCalibrationComplete(bool passed, const QString &message, bool report);
    void completeAddPureCalibrationWorkflow();
    void updateCalibrationShotStatus(XrfCalibrationStep &step);
    void onUpdateCalibrationShotStatus(const QJsonObject &stepJson);
    void invalidateCalibrationShots(const QString &standards);
    bool saveCalibrationStatusToLastResult(int status = XrfFactoryStepInfo::InProgress);
    // Removes the method's workspace and the stored calibration shots; with an empty id only the
    // stored calibration shots go, never a method folder.
    void cleanupCalibrationWorkspace(const QString &methodId);
    bool isCalibrationWrongShotCriteriaPresent();
    void downloadCalibrationWrongShotCriteria();
    void onGetCalibrationCheckCriteriaResponseReceived(const XrfCloudResponse &response);
    void onCalibrationCheckCriteriaDownloaded(bool success, QString error);
    // Set when the standards list was asked for with an argument (the pure calibration workflow).
    bool calibrationListFlag = false;
    QString calibrationListArgument;
    XrfCalibrationStepList calibrationStepList;
    XrfCalibrationStandardList calibrationStandardList;
    QString currentCalibrationStandard;
    QMap<QString, int> calibrationStandardFirstStep;
    QMap<QString, int> calibrationStandardStepCount;
    int currentCalibrationStepIndex = 0;
    // Index of the running step in the step list; -1 when none runs.
    int runningCalibrationStep = -1;
    int calibrationRemainingSeconds = 0;
    StepExposure calibrationExposure;
    QHash<QString, XrfExposureSettings> calibrationExposureMap;
    QHash<QString, XrfExposureSettings> collimatedCalibrationExposureMap;
    QMap<QString, QString> methodIdSyntheticShotDirMap;
    QStringList calibrationMethodsWithSteps;
    // What the running shot's wrong-shot check could not judge; kept with the shot.
    QString calibrationShotCheckError;
    // A shot's measured time may fall short of its set time by less than one spectrum update.
    double calibrationTimeToleranceSeconds = 1.0;

    // Methods and prerequisite shots, factory step 9. The method lists of the work order
    // (calibration/modelmethods.cpp) and the reaction to a changed method selection
    // (calibration/methodmodalchange.cpp); the prerequisite shot list
    // (shots/prerequisiteshots.cpp), its shots (shots/prerequisiteshotrun.cpp), the synthetic shot
    // selection and processing (shots/syntheticshots.cpp) and the synthetic package downloads
    // (shots/syntheticshotdownload.cpp).
    // Appends the method of one work order part number (and first its collimated twin); false,
    // with the reason in `errorMsg` when given, when the map has no usable method for it.
    bool getMethodModelFromPartNumber(const QString &partNumber, QList<ModelMethod> *out,
                                      QString *errorMsg = nullptr);
    // The methods of the work order: all of them, or the technician's selection. Built once and
    // cached until a call with `reload`. False with the error when the list could not be built
    // or a sold part number has no method (the other methods are still listed).
    bool getMethodsList(QList<ModelMethod> *out, QString *err, bool allMethods, bool reload);
    bool buildMethodsList(QString *err);
    bool appendWorkOrderMethods(const QMap<QString, QJsonArray> &partNumbers,
                                QList<ModelMethod> *methods, QStringList *errors);
    bool appendFullDemoMethods(const QString &partNumber, const QJsonObject &defaultMap,
                               QList<ModelMethod> *methods, QStringList *errors);
    QString readFactorySelectedMethod();
    void doMethodModalChange();
    void removeMethodFoldersNotFactorSet(const QMap<QString, QString> &idToPartNumber);
    struct MethodListCache
    {
        QList<ModelMethod> allMethods;
        QList<ModelMethod> selectedMethods;
        QString error;
        bool succeeded = false;
        bool valid = false;
    };
    MethodListCache methodListCache;

    void populatePrerequisiteShotList(bool publish, bool fromLastResultOnly);
    bool readPrerequisiteShotListFromScratch(XrfPrerequisiteShotList *shots);
    bool setPrerequisiteShotExposure(XrfPrerequisiteShot *shot);
    bool savePrerequisiteStepToLastResult(QString *errorMsg);
    void startPrerequisiteShot(const QString &shotId);
    void doPrerequisiteShots(QString shotId);
    void onPrerequisiteShotExposureStarted();
    void onPrerequisiteShotSpectrum(const XrfSpectrum &spectrum);
    void onPrerequisiteShotExposureStopped(XrfHardwareManager::XrfExposureEndCondition endCondition,
                                           bool tubeStillOn);
    void onPrerequisiteShotError(const XrfErrorInfo &error);
    void onPrerequisiteShotComplete(bool passed, QString error);
    void onPrerequisiteShotAllComplete();
    void noSynthetiePackageComplete();
    void invalidatePrerequisiteShot(const QString &shotId);
    void selectSyntheticShots(bool process);
    void finishSyntheticShotSelection(XrfSyntheticShotSelectionCriteria &criteria, bool status,
                                      const QString &message);
    void downloadSyntheticShots(bool process, QString downloadUrl, QString fileName);
    void onGetSyntheticShotsResponseRecevied(const XrfCloudResponse &response);
    void startSyntheticPackageDownload(const QString &url, const QString &fileName);
    void onSyntheticShotsDownloadComplete(bool success, QString error);
    void endSyntheticShotsDownload(bool success, const QString &error);
    XrfPreRequisiteShotStepInfo prerequisiteStepInfo;
    XrfPrerequisiteShot currentPrerequisiteShot;
    StepExposure prerequisiteExposure;
    bool hasSyntheticPackage = true;
    // The download in flight: whether the selection processes the package afterwards, whether it
    // is a direct ("MB") download, and the archive's path.
    bool syntheticDownloadProcess = false;
    bool syntheticDownloadDirect = false;
    QString syntheticDownloadArchive;

    // ---- Factor set and QC summary, factory step 11 (calibration/) ----
    // The run of each method: workspace, archive and upload (factorsetrun.cpp); the polls of the
    // cloud run and the calibrated archive (factorsetprogress.cpp); the results in
    // lastResult.json, completion, abort and invalidation (factorsetstatus.cpp); the direct "MB"
    // path through the network manager (factorsetmb.cpp). `qcSummary` chooses the kind.
    void startFactorSet(const QString &methodName, bool qcSummary);
    void startFactorSetQCSummaryForMethod(const QString &methodName, bool qcSummary);
    bool prepareFactorSetWorkspace(const QString &methodName, const QString &methodFolder,
                                   bool qcSummary);
    bool uploadFactorSetMethod(XrfFactorSetQCSummaryResultPerMethod *record, bool qcSummary,
                               QString *error);
    // Runs one transfer through curl; `response` receives the JSON answer (when given).
    bool runCurlCommand(const struct CurlRequest &request, QJsonObject *response, QString *error);
    bool downloadCalibratedMethodZip(const QString &url, const QString &path, QString *error);
    void onCheckFactorSetQCSummaryProgress(bool qcSummary);
    void checkFactorSetRun(const QString &methodName, bool qcSummary);
    void installCalibratedMethod(const QString &methodName, const QJsonObject &answer,
                                 bool qcSummary);
    void handleFactorSetQCSummaryFailure(const QString &methodName, const QString &error,
                                         bool qcSummary);
    void onMethodFactorSetQCSummaryComplete(bool qcSummary);
    bool populateFactorSetQCSummaryStatusFromScratch(bool qcSummary);
    void loadFactorSetStatus();
    void doFactorSetQCSummaryAbort(bool qcSummary);
    void invalidateFactorSetQCSummaryResultForMethod(const QString &methodName, bool qcSummary);
    XrfFactorSetQCSummaryResults &factorSetQCSummaryResults(bool qcSummary);
    QTimer *factorSetQCSummaryTimer(bool qcSummary) const;
    void announceFactorSetQCSummary(bool qcSummary);
    void emitFactorSetQCSummaryComplete(bool qcSummary);
    void storeFactorSetQCSummaryMethod(const XrfFactorSetQCSummaryResultPerMethod &record,
                                       bool qcSummary);
    // Removes an archive by its recorded path; a warning when it cannot.
    static void removeFactorSetArchive(const QString &path);
    QString factorSetMethodsFolder();
    void onFactorSetUploadProgressChanged(int progress);
    void onFactorSetUploadCompleteResponse(const XrfCloudResponse &response);
    void onFactorSetResultDownloadComplete(bool status);
    // Set by factorSetStatus(true): the status is only looked at, and no step status is reported.
    bool factorSetStatusOnly = false;
    // The transfer running now, which an abort cancels; null when none runs.
    class CurlRunner *activeCurl = nullptr;
    // Set while a poll of the runs is under way, so that a timer tick during a transfer does not
    // poll again.
    bool factorSetPollBusy[2] = {false, false};
    // Each kind's polls end after an instrument hour (and at least 30 polls) without an answer.
    XrfPollBound factorSetPollBound[2] = {XrfPollBound(0), XrfPollBound(0)};
    qint64 factorSetPollDeadlineMs = 60 * 60 * 1000;
    int factorSetMinPolls = 30;
    // Set by an abort of the kind; a start clears it.
    bool factorSetAborted[2] = {false, false};
    QJsonObject factorSetMBUploadBody;
    QJsonObject factorSetMBUploadAnswer;
    bool factorSetMBDownloading = false;

    // Radiation survey (survey/).

    // Profile packages (packages/).

public slots:
    void onHardwareSetupResultUploadComplete(const XrfCloudResponse &response);
    // Cal-check resolution and energy scale from the last stability run.
    void populateCalCheckResolutionAndEnergyScale();

public:
public slots:
    void setupRegulatoryRegion(QString region);

public:
    XrfFactoryManager *q;
    QThread *factoryThread = nullptr;

    QString currentTaskStatus;
    double currentTaskProgress = 0;
    int currentTaskTimeRemainingInSeconds = 0;
    // Written from the caller's thread by the abort operations, read by the running step.
    std::atomic<bool> userAbort{false};

    int currentStepId = XrfUtils::None;
    XrfFactoryStepInfo currentStepInfo;
    bool isMovingBackward = false;

    QJsonObject lastResult;
    QMutex lastResultMutex;
    // Size and time of lastResult.json as the store last read or wrote it (under the mutex).
    QString lastResultFileStamp;
    // Why the last save of lastResult.json failed, naming the file; empty after a save.
    QString lastResultSaveError;
    QJsonObject workOrder;
    // Why workOrderInfo.json could not be read at its last load, naming the file and the key;
    // empty when it was read or is missing.
    QString workOrderProblem;
    QJsonArray modelMethods;
    bool modelMethodsLoaded = false;
    QJsonObject factorySetupInfo;
    QJsonObject defaultHwParams;
    int factorySetupDataVersion = 0;
    QString factorySelectedMethod;
    XrfHardwareConfig hardwareConfig;

    bool cloudConnected = false;
    bool wifiConnected = false;
    bool ethernetConnected = false;
    quint32 darkRate = 0;
    // Set while a stability upload waits for its cloud answer.
    bool stabilityUploadPending = false;

    QTimer *inactivityTimer = nullptr;
    QTimer *factorSetProgressTimer = nullptr;
    QTimer *factorSetMBProgressTimer = nullptr;
    QTimer *qcSummaryProgressTimer = nullptr;

    QString factoryDataPath;
    QString lastResultFilePath;
    QStringList factorySetupDataFilePaths; // default, LT, MP, HD, Harrier
    QStringList methodPartMapFilePaths; // same order
    QString workOrderFilePath;
    QString provisioningResultDirPath;
    QString hardwareSetupResultDirPath;

    QString profilePath;
    QString calibrationOverrideFilePath;
    QString calibrationShotLibDirPath;
    QString batchTemplatesDirPath;

    XrfAirShotList airShots;
    XrfFactorSetQCSummaryResults factorSetResults;
    XrfFactorSetQCSummaryResults qcSummaryResults;
    QJsonObject finalQcStatus;
    XrfRadiationSurveyResult radiationSurveyResult;

signals:
    void recalibrateAccelerometer();
    void checkFactorSetProgress();
    void checkQCSummaryProgress();
    void startStabilityExposure();
    void sigLoadRadiationSurveyParams();
    void sigInit();
    void sigGetAirShotList();
    void sigGetFactorSetStatus(bool refresh);
    void sigGetQcSummaryStatus();
    void sigGetFinalQcStatus();
    void sigStartFactorSetMB(QJsonObject request);
    void sigAbortCalibrateMethodMB();

public slots:
    void onInit();
    bool saveFactorySetupLastResult();
    bool loadFactorySetupLastResult(QString *errorMsg);
    bool loadFactorySetupLastResult() { return loadFactorySetupLastResult(nullptr); }

    void onCloudConnectivityStatusChanged(bool isConnected);
    void onWifiConnectivityStatusChanged(bool isConnected);
    void onEthernetConnectivityStatusChanged(bool isConnected);
    void onDarkRateUpdated(const unsigned int &rate);

    void onGetWorkorderResponseReceived(const XrfCloudResponse &response);
    void onGetFactorySetupDefaultsResponseRecevied(const XrfCloudResponse &response);
    void onPutDeviceFactoryStatusResponse(const XrfCloudResponse &response);
    void onGetDeviceFactoryStatusResponse(const XrfCloudResponse &response);

    // Shots (shots/airshots.cpp).
    void onGetAirShotList();
    // Stability (stability/stabilityrun.cpp).
    void onInactivityTimerTimeout();
    void onStartStabilityExposure();
    // Factor set and QC summary (calibration/factorset.cpp).
    void onGetFactorSetStatus(bool refresh);
    void onGetQcSummaryStatus();
    void onStartFactorSetMB(QJsonObject request);
    void onAbortCalibrateMethodMB();
    void onCheckFactorSetProgress();
    void onCheckFactorSetMBProgress();
    void onCheckQCSummaryProgress();
    void onFactorSetMBStatusChanged(QJsonObject status);
    // Final QC (calibration/finalqc.cpp).
    void onGetFinalQcStatus();
    // Radiation survey (survey/radiationsurvey.cpp).
    void onLoadRadiationSurveyParams();
};
