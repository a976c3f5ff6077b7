#pragma once

#include "xrfjsonhelper.h"

// What the library knows about one stability run: its status, its files and their uploads, the
// running statistics of its shots and the verdict. Persisted in lastResult.json under the step's
// key as "stabilityTestMetaInfo" after every change, so that a restarted instrument continues
// where the run stopped.
class XrfStabilityTestMetaInfo : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QString status MEMBER m_status)
    Q_PROPERTY(QString errorMsg MEMBER m_errorMsg)
    Q_PROPERTY(bool hasPassed MEMBER m_hasPassed)
    Q_PROPERTY(QString startTimeUTC MEMBER m_startTimeUTC)
    Q_PROPERTY(QString endTimeUTC MEMBER m_endTimeUTC)
    Q_PROPERTY(bool isFreezeFilterMode MEMBER m_isFreezeFilterMode)
    Q_PROPERTY(QString runOutcome MEMBER m_runOutcome)
    Q_PROPERTY(int shotsTaken MEMBER m_shotsTaken)
    Q_PROPERTY(int intendedShots MEMBER m_intendedShots)
    Q_PROPERTY(int stabilityErrorsCount MEMBER m_stabilityErrorsCount)
    Q_PROPERTY(bool saveFirmwareLogs MEMBER m_saveFirmwareLogs)
    Q_PROPERTY(QString summaryFilePath MEMBER m_summaryFilePath)
    Q_PROPERTY(QString spectraFilePath MEMBER m_spectraFilePath)
    Q_PROPERTY(QString firmwareLogsFilePath MEMBER m_firmwareLogsFilePath)
    Q_PROPERTY(bool summaryUploadStatus MEMBER m_summaryUploadStatus)
    Q_PROPERTY(bool spectraUploadStatus MEMBER m_spectraUploadStatus)
    Q_PROPERTY(bool firmwareLogsUploadStatus MEMBER m_firmwareLogsUploadStatus)
    Q_PROPERTY(QString summaryRequestToken MEMBER m_summaryRequestToken)
    Q_PROPERTY(QString spectraRequestToken MEMBER m_spectraRequestToken)
    Q_PROPERTY(QString firmwareLogsRequestToken MEMBER m_firmwareLogsRequestToken)
    Q_PROPERTY(int spectraUploadId MEMBER m_spectraUploadId)
    Q_PROPERTY(double averageResolution MEMBER m_averageResolution)
    Q_PROPERTY(double minResolution MEMBER m_minResolution)
    Q_PROPERTY(double maxResolution MEMBER m_maxResolution)
    Q_PROPERTY(double averageSlope MEMBER m_averageSlope)
    Q_PROPERTY(double minSlope MEMBER m_minSlope)
    Q_PROPERTY(double maxSlope MEMBER m_maxSlope)
    Q_PROPERTY(double averageOffset MEMBER m_averageOffset)
    Q_PROPERTY(double minOffset MEMBER m_minOffset)
    Q_PROPERTY(double maxOffset MEMBER m_maxOffset)
    Q_PROPERTY(double averageInputCountRate MEMBER m_averageInputCountRate)
    Q_PROPERTY(double minInputCountRate MEMBER m_minInputCountRate)
    Q_PROPERTY(double maxInputCountRate MEMBER m_maxInputCountRate)
    Q_PROPERTY(double collimatedMeanBrOverCu MEMBER m_collimatedMeanBrOverCu)
    Q_PROPERTY(double collimatedRSDBrOverCu MEMBER m_collimatedRSDBrOverCu)

public:
    // The status text ("ready", "error", "aborted", "shotsComplete", "processingResults",
    // "waitingForCloudResponse", "cloudResponseReceived", "runAgainInFreezeFilterMode").
    QString status() const { return m_status; }
    void setStatus(const QString &status) { m_status = status; }
    QString errorMsg() const { return m_errorMsg; }
    void setErrorMsg(const QString &message) { m_errorMsg = message; }
    bool hasPassed() const { return m_hasPassed; }
    void setHasPassed(bool passed) { m_hasPassed = passed; }
    QString startTimeUTC() const { return m_startTimeUTC; }
    void setStartTimeUTC(const QString &time) { m_startTimeUTC = time; }
    QString endTimeUTC() const { return m_endTimeUTC; }
    void setEndTimeUTC(const QString &time) { m_endTimeUTC = time; }
    bool isFreezeFilterMode() const { return m_isFreezeFilterMode; }
    void setIsFreezeFilterMode(bool freeze) { m_isFreezeFilterMode = freeze; }
    // How the shots ended: "shotsComplete", "aborted" or "error"; empty while they run (or when
    // the instrument stopped in the middle of them).
    QString runOutcome() const { return m_runOutcome; }
    void setRunOutcome(const QString &outcome) { m_runOutcome = outcome; }
    int shotsTaken() const { return m_shotsTaken; }
    void setShotsTaken(int shots) { m_shotsTaken = shots; }
    int intendedShots() const { return m_intendedShots; }
    void setIntendedShots(int shots) { m_intendedShots = shots; }
    // Shots that needed a retry.
    int stabilityErrorsCount() const { return m_stabilityErrorsCount; }
    void setStabilityErrorsCount(int count) { m_stabilityErrorsCount = count; }
    bool saveFirmwareLogs() const { return m_saveFirmwareLogs; }
    void setSaveFirmwareLogs(bool save) { m_saveFirmwareLogs = save; }

    QString summaryFilePath() const { return m_summaryFilePath; }
    void setSummaryFilePath(const QString &path) { m_summaryFilePath = path; }
    QString spectraFilePath() const { return m_spectraFilePath; }
    void setSpectraFilePath(const QString &path) { m_spectraFilePath = path; }
    QString firmwareLogsFilePath() const { return m_firmwareLogsFilePath; }
    void setFirmwareLogsFilePath(const QString &path) { m_firmwareLogsFilePath = path; }
    bool summaryUploadStatus() const { return m_summaryUploadStatus; }
    void setSummaryUploadStatus(bool uploaded) { m_summaryUploadStatus = uploaded; }
    bool spectraUploadStatus() const { return m_spectraUploadStatus; }
    void setSpectraUploadStatus(bool uploaded) { m_spectraUploadStatus = uploaded; }
    bool firmwareLogsUploadStatus() const { return m_firmwareLogsUploadStatus; }
    void setFirmwareLogsUploadStatus(bool uploaded) { m_firmwareLogsUploadStatus = uploaded; }
    QString summaryRequestToken() const { return m_summaryRequestToken; }
    void setSummaryRequestToken(const QString &token) { m_summaryRequestToken = token; }
    QString spectraRequestToken() const { return m_spectraRequestToken; }
    void setSpectraRequestToken(const QString &token) { m_spectraRequestToken = token; }
    QString firmwareLogsRequestToken() const { return m_firmwareLogsRequestToken; }
    void setFirmwareLogsRequestToken(const QString &token) { m_firmwareLogsRequestToken = token; }
    int spectraUploadId() const { return m_spectraUploadId; }
    void setSpectraUploadId(int id) { m_spectraUploadId = id; }

    // Running statistics of the shots: resolution (eV), energy slope (keV per channel) and offset
    // (keV), input count rate (cps).
    double averageResolution() const { return m_averageResolution; }
    void setAverageResolution(double value) { m_averageResolution = value; }
    double minResolution() const { return m_minResolution; }
    void setMinResolution(double value) { m_minResolution = value; }
    double maxResolution() const { return m_maxResolution; }
    void setMaxResolution(double value) { m_maxResolution = value; }
    double averageSlope() const { return m_averageSlope; }
    void setAverageSlope(double value) { m_averageSlope = value; }
    double minSlope() const { return m_minSlope; }
    void setMinSlope(double value) { m_minSlope = value; }
    double maxSlope() const { return m_maxSlope; }
    void setMaxSlope(double value) { m_maxSlope = value; }
    double averageOffset() const { return m_averageOffset; }
    void setAverageOffset(double value) { m_averageOffset = value; }
    double minOffset() const { return m_minOffset; }
    void setMinOffset(double value) { m_minOffset = value; }
    double maxOffset() const { return m_maxOffset; }
    void setMaxOffset(double value) { m_maxOffset = value; }
    double averageInputCountRate() const { return m_averageInputCountRate; }
    void setAverageInputCountRate(double value) { m_averageInputCountRate = value; }
    double minInputCountRate() const { return m_minInputCountRate; }
    void setMinInputCountRate(double value) { m_minInputCountRate = value; }
    double maxInputCountRate() const { return m_maxInputCountRate; }
    void setMaxInputCountRate(double value) { m_maxInputCountRate = value; }
    // Br/Cu intensity ratio of the collimated kind: mean and RSD (a fraction).
    double collimatedMeanBrOverCu() const { return m_collimatedMeanBrOverCu; }
    void setCollimatedMeanBrOverCu(double value) { m_collimatedMeanBrOverCu = value; }
    double collimatedRSDBrOverCu() const { return m_collimatedRSDBrOverCu; }
    void setCollimatedRSDBrOverCu(double value) { m_collimatedRSDBrOverCu = value; }

private:
    QString m_status;
    QString m_errorMsg;
    bool m_hasPassed = false;
    QString m_startTimeUTC;
    QString m_endTimeUTC;
    bool m_isFreezeFilterMode = false;
    QString m_runOutcome;
    int m_shotsTaken = 0;
    int m_intendedShots = 0;
    int m_stabilityErrorsCount = 0;
    bool m_saveFirmwareLogs = false;
    QString m_summaryFilePath;
    QString m_spectraFilePath;
    QString m_firmwareLogsFilePath;
    bool m_summaryUploadStatus = false;
    bool m_spectraUploadStatus = false;
    bool m_firmwareLogsUploadStatus = false;
    QString m_summaryRequestToken;
    QString m_spectraRequestToken;
    QString m_firmwareLogsRequestToken;
    int m_spectraUploadId = 0;
    double m_averageResolution = 0;
    double m_minResolution = 0;
    double m_maxResolution = 0;
    double m_averageSlope = 0;
    double m_minSlope = 0;
    double m_maxSlope = 0;
    double m_averageOffset = 0;
    double m_minOffset = 0;
    double m_maxOffset = 0;
    double m_averageInputCountRate = 0;
    double m_minInputCountRate = 0;
    double m_maxInputCountRate = 0;
    double m_collimatedMeanBrOverCu = 0;
    double m_collimatedRSDBrOverCu = 0;
};

Q_DECLARE_METATYPE(XrfStabilityTestMetaInfo)
