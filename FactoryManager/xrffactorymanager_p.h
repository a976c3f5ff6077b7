#pragma once

#include "xrffactorymanager.h"

#include "devicefactorystatus.h"
#include "stepexposure.h"
#include "xrfcloudresponse.h"
#include "xrffactorystepinfo.h"
#include "xrffilterpair.h"
#include "xrfhardwareconfig.h"
#include "xrfhardwaremanager.h"
#include "xrfhardwaresetupstepslist.h"
#include "xrfnetworkmanager.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QObject>
#include <QString>

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
    void storeProvisioningResult(const QJsonObject &result);
    void reportProvisioningResult(const QJsonObject &result);
    bool resetToProvisioning(QString *errorMsg);

    // Instrument identity and reset (provisioning/identity.cpp).
    bool setSerialNumberAndHostName(QString serialNumber, QString *errorMsg);
    bool setHostName(const QString &hostName, QString *errorMsg);
    bool setInstrumentType(const QString &instrumentType);
    bool writeInstrumentTypeToK60(const QString &instrumentType, bool *written);
    bool resetInstrumentToVirginState(QString *errorMsg);
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

    // Stability tests, factory steps 5 and 6 (stability/).

    // Beams setup and air shots, factory steps 7 and 8 (shots/).

    // Radiation survey (survey/).

    // Profile packages (packages/).

public slots:
    void onHardwareSetupResultUploadComplete(const XrfCloudResponse &response);

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
    QJsonObject workOrder;
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
