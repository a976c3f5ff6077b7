#pragma once

#include "xrferrorinfo.h"
#include "xrfhardwareconfig.h"
#include "xrfhardwaresetupstepinfo.h"
#include "xrfsteprecords.h"
#include "xrfutils.h"

#include <QJsonObject>
#include <QMap>
#include <QObject>

// The factory workflow of the instrument. One process-wide object: the application calls
// instance(), init() and setProfilePath(), then invokes the step operations as queued calls so
// that they run on the library's factory thread, and follows the signals.
class XrfFactoryManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QJsonObject provisioningData READ provisioningData NOTIFY provisioningDataChanged)
    Q_PROPERTY(QString currentTaskStatus READ currentTaskStatus NOTIFY currentTaskStatusChanged)
    Q_PROPERTY(
        double currentTaskProgress READ currentTaskProgress NOTIFY currentTaskProgressChanged)
    Q_PROPERTY(int currentTaskTimeRemainingInSeconds READ currentTaskTimeRemainingInSeconds NOTIFY
                   currentTaskTimeRemainingInSecondsChanged)

public:
    class XrfFactoryManagerPrivate;

    explicit XrfFactoryManager(QObject *parent = nullptr);
    ~XrfFactoryManager() override;

    static XrfFactoryManager *instance();

    // Creates the worker and the factory thread and queues the loading of the stored state.
    int init();

    static QString factoryStepNameFromId(XrfUtils::FactoryStepId id);
    static XrfUtils::FactoryStepId factoryStepIdFromName(const QString &name);
    static QMap<XrfUtils::FactoryStepId, QString> initFactoryStepIdNameMap();

    // The detected tube, detector and digital board; empty while no configuration is known.
    QJsonObject provisioningData() const;
    // Versions of the setup data and templates on the instrument; empty when unknown.
    QString getFactorySetupDataVersion() const;
    QString getFinalQcTemplateVersion() const;
    QString getWrongShotCriteriaVersion() const;
    QString getMethodsPartIdMapFileVersion() const;
    QString currentTaskStatus() const;
    double currentTaskProgress() const;
    int currentTaskTimeRemainingInSeconds() const;
    bool isUserAbort() const;

    // These run on the factory thread: from another thread the caller blocks until it has run.
    XrfAirShotList &airShotList();
    XrfFactorSetQCSummaryResults &factorSetStatus(bool refresh) const;
    XrfFactorSetQCSummaryResults &qcSummaryStatus() const;
    QJsonObject finalQcStatus() const;
    // Final QC: fills the caller's batch settings for the method's template ("type" "batchTests",
    // "batch" {"selectedTemplate"}) and remembers the method until its batch completes; false
    // with the message for a null settings object.
    bool startFinalQC(QString methodId, QJsonObject *multiTestSettings,
                      QString *errorMsg = nullptr);
    void startFactorSetMB(QJsonObject request);
    void abortCalibrateMethodMB();
    // Must be called from a thread other than the factory thread.
    XrfRadiationSurveyResult loadRadiationSurveyParams() const;
    // The prerequisite shot list as the step holds it now.
    XrfPrerequisiteShotList prerequisiteShotsList() const;
    // The ids of every method of the work order; false with the error for null arguments or
    // when the method list could not be built.
    bool getFactoryMethodIds(QStringList *ids, QString *err) const;

    // The factory thread, for callers that invoke or connect to the library; null before init().
    QThread *factoryThread() const;
    // The worker, for the library's own files and its tests; null before init().
    XrfFactoryManagerPrivate *d_func() const { return d; }

public slots:
    // Must run on the factory thread.
    XrfErrorInfo::XrfError deInit();
    void setProfilePath(QString profilePath);
    void onHardwareConfigUpdated(XrfHardwareConfig hwConfig);
    void onFinalQCBatchComplete(bool success);

    // Final QC: the batch templates from the cloud, and the upload of the record and of each
    // templated method's batch progress data (one file at a time; the task status ends with
    // "Final QC data uploaded." or "Final QC upload failed").
    void downloadFinalQcTemplates();
    void uploadFinalQcResult() const;

    // Factory steps.
    void initFactoryStep(QString stepId);
    void resetDeviceFactoryStatus(QJsonObject newStatus);

    // Work order and factory setup data.
    void saveProvisioningData(QJsonObject workOrderInfo);
    void getWorkOrderInfo();
    void saveFactorySetupData(QJsonObject factorySetupData);
    void getWorkOrderFromCloud();
    void getFactoryDefaultsFromCloud();

    // Factory status exchanged with the cloud, and step result uploads.
    void refreshWorkOrder();
    void uploadFactoryStepResult(QString stepName);
    void discardFactoryStepResult(QString setName);
    void abortResultUpload();

    // Provisioning check.
    void startProvisioningCheck(QJsonObject provisioningData);

    // Hardware setup (factory step 3) and its operator tests.
    void getHardwareSetupStepsList();
    void startHardwareSetup(QString stepId);
    void abortHardwareSetup();
    void markHardwareSetupStepComplete(const QString &stepId);
    void invalidateHardwareSetupResults(QString stepId);
    void onHardwareSetupButtonTestComplete(const QJsonObject &result);
    void onHardwareSetupCustomerIOTestComplete(const QJsonObject &result);
    // The filter wheel move exercise outside hardware setup.
    bool getFilterWheelTestStepsList();
    void startFilterWheelTest();
    void stopFilterWheelTest();
    // Camera collimation (factory step 4).
    void startCameraCollimationSetup();

    // Stability tests (factory steps 5 and 6): the run of the step entered last, and its abort.
    void startStabilityTest(bool isMiniStability);
    void abortStabilityTest();

    // Beams setup and air shots (factory steps 7 and 8).
    void startBeamConditionSetup(QString beamName);
    void abortBeamConditionSetup();
    void invalidateBeamSetupShot(QString beamName);
    void getBeamsSetupBeamList();
    void setTarvoHDLidTestComplete(bool completed);
    void setTarvoHDButtonTestComplete(bool completed);
    void startAirShot();
    void abortAirShot();
    // Prerequisite shots (factory step 9) and the synthetic shots: shoot the next shot (empty id)
    // or the named one; forget a shot's result (empty id: every shot); download the synthetic
    // package the cloud offers (then select and, with `process`, process the synthetic shots),
    // or a package at a given address.
    void startPrerequisiteShot(const QString &shotId);
    void invalidatePrerequisiteShot(const QString &shotId);
    void downloadSyntheticShots(bool process);
    void downloadSyntheticShotsMB(QString downloadUrl, QString fileName);
    // Rebuilds lost air shot and beams setup records from the newest passing air shot file (the
    // calibration steps do it themselves when they find the records missing).
    void recoverBeamSetupAirShot();

    // Calibration shots (factory step 10). The application fetches the step and standards lists
    // (an argument to getCalibrationStandardsList starts the pure calibration workflow), asks for
    // the wrong-shot criteria, and for each standard the library names
    // (calibrationCurrentSampleChanged, "Place %1 at window.") has the technician place it and
    // calls shootCalibrationSample. A failed shot ends the pass over its standard: shoot it again.
    void getCalibrationStepList();
    void getCalibrationStandardsList(QString argument);
    void shootCalibrationSample(QString standardName);
    // `standards`: names separated by commas; empty: every standard of the selected methods.
    void invalidateCalibrationShots(QString standards);
    // Sets the status of the step that `calibrationStep` (a step's JSON) names.
    void onUpdateCalibrationShotStatus(QJsonObject const &calibrationStep);
    void downloadCalibrationWrongShotCriteria();
    void completeAddPureCalibrationWorkflow();

    // Factor set and QC summary (factory step 11): each method's workspace goes to the cloud,
    // which returns the calibrated method (or its QC summary); without a name every method not
    // yet done (or failed) is started. Progress: factorSetStatusChanged / qcSummaryStatusChanged;
    // the end: factorSetComplete / qcSummaryComplete.
    void startFactorSet(QString methodName = QString());
    void abortFactorSet();
    void invalidateFactorSetResult(QString methodName);
    void startQCSummary(QString methodName = QString());
    void abortQCSummary();
    void invalidateQCSummaryResult(QString methodName);

    // Radiation survey: load the parameters (loadRadiationSurveyParams), start, let the operator
    // read the meter, stop, then evaluate the record with the reading, meter type and unit.
    void startRadiationSurvey();
    void stopRadiationSurvey();
    void evaluateRadiationSurveyResult(XrfRadiationSurveyResult result);

    // Profile packages: the profile backup at the end of the factory run (which prepares a
    // complete instrument for shipping once it is uploaded), the remote method diagnostic and
    // update packages.
    void backupAndUploadProfile(bool diagPurpose, QString fileName);
    void remoteMethodDiagnosticUpload(XrfProfileZipOption pzOption, QString signedInitial);
    void remoteMethodUpdateUpload(QJsonObject obj);

    // Instrument identity.
    void setInstrumentSerialNumber(QString serialNumber);
    void setInstrumentType(QString instrumentType);
    bool isTarvoHD();
    bool isTarvoMP();
    bool isHarrier();
    bool isTarvoLitePin();
    bool isTarvoLiteSdd();
    bool isTarvoLitePinOrSdd();

signals:
    void updatesDownloadComplete(bool success);
    void workOrderInfoChanged(const QJsonObject &workOrder);
    void provisioningCheckComplete(QJsonObject provisioningCheckResult);

    void hardwareSetupStepsListChanged(const QJsonObject &hwSetupStepList);
    void hardwareSetupStepComplete(const XrfHardwareSetupStepInfo &hwSetupStepResult);
    void hardwareSetupCurrentStepChanged(QString stepId);
    void hardwareSetupComplete(QJsonObject results);
    void cameraCollimationSetupComplete(QJsonObject results);

    void stabilityTestComplete(QJsonObject results);
    void stabilitySpectrumReady(QJsonObject summaryObj);

    void beamCurrentReady(const XrfBeamInfo &beamStatus);
    void beamSetupSampleChanged(QString targetSampleName);
    void beamConditionSetupComplete(const QString &status);
    void beamsSetupBeamListChanged(const QJsonObject &beamsList);
    void tarvoHDLidTestComplete(bool passed);
    void tarvoHDButtonTestComplete(bool passed);

    void factorSetStatusChanged(XrfFactorSetQCSummaryResults result);
    void factorSetComplete(QJsonObject results);
    void qcSummaryStatusChanged(XrfFactorSetQCSummaryResults result);
    void qcSummaryComplete(QJsonObject results);
    void factorSetUploadProgressChanged(int progress);
    void factorSetUploadComplete(bool status, QString error);
    void factorSetApprovalStatusChanged(int status);

    void provisioningDataChanged(XrfProvisioningData arg);
    void currentTaskStatusChanged(QString arg);
    void currentTaskProgressChanged(double arg);
    void currentTaskTimeRemainingInSecondsChanged(int arg);

    void airShotSingleComplete(const XrfAirShot &airShot);
    void airShotAllComplete(bool succeeded, QJsonObject results);

    void calibrationShotComplete(QJsonObject calibrationStep);
    void calibrationStandardShotsComplete(const XrfCalibrationStandard &std);
    void calibrationStepListChanged(QJsonObject calibrationSteps);
    void calibrationStandardListChanged(QJsonObject calibrationStandards);
    void calibrationComplete(bool succeeded, QJsonObject results);
    void calibrationCurrentSampleChanged(QString arg);
    void pureCalibrationCurrentSampleChanged(QString arg);
    void calibrationWrongShotCriteriaReady(const bool &status);

    void profileBackupAndUploadComplete(const QJsonObject &results);
    void remoteMethodDiagnosticUploadComplete(const QJsonObject &results);
    void remoteMethodUpdateUploadComplete(const QJsonObject &results);

    void deviceFactoryStatusChanged(const QJsonObject &deviceFactoryStatusResponse);
    void refreshWorkOrderComplete();
    void uploadingFactoryStepResult(bool waitForUpload);
    void factoryStepResultUploadComplete(bool status, QString error);

    void updateHardwareConfig();

    void factoryStepsCompletedChanged(unsigned int stepsCompleted);
    void resetToFactoryStepComplete(unsigned int stepToResetTo);
    void markFactoryStepComplete(const QString &stepName);
    void currentFactoryStepChanged(int min, int max, int current);

    void getWorkOrderFromCloudComplete(const QJsonObject &workOrder);
    void getFactoryDefaultsFromCloudComplete(const QJsonObject &factoryDefaults);
    void finalQcTemplatesDownloadComplete(const bool &status);
    void radiationSurveyStatusChanged(const XrfRadiationSurveyResult &result);

    void prerequisiteShotsListChanged(const XrfPrerequisiteShotList &shots);
    void prerequisiteShotCurrentSampleChanged(const QString &sampleName);
    void preRequisiteShotComplete(const XrfPrerequisiteShot &shot);
    void preRequisiteShotAllComplete(const XrfPrerequisiteShotList &allShots);
    void syntheticShotsDownloadMBComplete(bool status);
    void syntheticShotsDownloadComplete(const bool &status);
    void syntheticShotSelectionComplete(const XrfSyntheticShotSelectionCriteria &criteria);

private:
    bool onFactoryThread() const;

    XrfFactoryManagerPrivate *d = nullptr;

    static const QMap<XrfUtils::FactoryStepId, QString> _stepIdNameMap;
};
