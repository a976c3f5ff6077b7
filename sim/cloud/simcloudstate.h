#pragma once

#include "simcloudtypes.h"
#include "simstabilityevaluation.h"

#include <QHash>
#include <QJsonArray>
#include <QList>
#include <QMap>
#include <QMutex>

// What the simulated manufacturing cloud knows and does: per-instrument work orders, factory
// status and results, published packages, received files, stability evaluations and method
// calibration runs. Every public function is thread-safe.
class SimCloudState
{
public:
    void setBaseUrl(const QString &baseUrl);
    SimCloudReply handle(const SimCloudCall &call);
    SimCloudReply serveFile(const QString &fileId) const;

    void setWorkOrder(const QString &serial, const QJsonObject &workOrder);
    QJsonObject workOrder(const QString &serial) const;
    void setFactoryDefaults(const QString &instrumentTypeCode, const QJsonObject &defaults);
    QString publishFile(const QString &name, const QByteArray &content);
    void setPackage(SimCloudPackage package, const QString &name, const QByteArray &content);
    void setStabilityEvaluation(int pollsInProgress, const QJsonValue &testResultStatusId);
    void setStabilityLimits(const SimStabilityLimits &limits);
    QList<SimStabilityEvaluation> stabilityEvaluations(const QString &serial) const;
    void setCalibrationRunOutcome(int finalRunStatusId, int pollsBeforeFinal);

    void markWorkOrderChanged(const QString &serial);
    void markFactorySetupChanged(const QString &serial);
    void invalidateStep(const QString &serial, int stepId);

    QList<QJsonObject> receivedResults(const QString &serial, int requestId) const;
    QList<SimCloudFile> uploadedFiles(const QString &serial) const;
    QByteArray fileContent(const QString &fileId) const;
    QMap<int, int> stepStatuses(const QString &serial) const;

private:
    struct Instrument
    {
        QJsonObject workOrder;
        QMap<int, int> stepStatuses;
        int invalidatedStep = -1;
        bool workOrderChanged = false;
        bool setupChanged = false;
        QHash<int, QList<QJsonObject>> results;
        quint64 lastUse = 0;
    };
    struct StoredFile
    {
        SimCloudFile info;
        QByteArray content;
    };
    struct StabilityRun
    {
        QString serial;
        int pollsLeft = 0;
        QJsonValue verdict;
        int runId = 0;
        SimStabilityEvaluation evaluation;
    };
    struct CalibrationRun
    {
        int id = 0;
        QString serial;
        QString methodId;
        QString runKind;
        QString inputFileId;
        QString outputFileId;
        int polls = 0;
        int finalStatus = 0; // computed when the workspace arrives
        QString message; // why a run failed
    };

    // Instruments and their factory progress.
    SimCloudReply workOrderReply(const SimCloudCall &call);
    SimCloudReply factoryDefaultsReply(const SimCloudCall &call);
    SimCloudReply deviceStatusReply(const SimCloudCall &call);
    SimCloudReply putStepStatus(const SimCloudCall &call);
    SimCloudReply storeResult(const SimCloudCall &call);
    QJsonObject statusResponse(Instrument &instrument, int requestStepId, const QString &checksum,
                               bool deliverFlags) const;

    // Files, evaluations and calibration runs.
    SimCloudReply startStabilityRun(const SimCloudCall &call);
    SimCloudReply stabilityRunReply(const SimCloudCall &call);
    SimCloudReply packageReply(SimCloudPackage package);
    SimCloudReply receiveUpload(const SimCloudCall &call);
    SimCloudReply startCalibrationRun(const SimCloudCall &call, const SimCloudFile &input);
    SimCloudReply calibrationRunReply(const SimCloudCall &call);
    void computeCalibrationRun(CalibrationRun *run);
    static SimCloudFile runOutputFile(const CalibrationRun &run);
    QString storeFile(SimCloudFile info, const QByteArray &content);
    QString fileUrl(const QString &fileId) const;
    QString uploadSerial(const SimCloudCall &call) const;
    // The state of one instrument, made when first asked for. Every new serial adds state, so
    // the cloud keeps at most kMaxInstruments and forgets the one it heard of longest ago.
    Instrument &instrumentFor(const QString &serial);
    void recordResult(const QString &serial, const SimCloudCall &call);
    void forgetOldFiles();

public:
    static constexpr int kMaxInstruments = 2048;
    static constexpr int kMaxResultsPerRequest = 256;
    static constexpr qint64 kMaxStoredFileBytes = 512LL * 1024 * 1024;

private:
    mutable QMutex m_mutex;
    quint64 m_useClock = 0;
    qint64 m_storedFileBytes = 0;
    QString m_baseUrl;
    QHash<QString, Instrument> m_instruments;
    QHash<QString, QJsonObject> m_defaults;
    QMap<QString, StoredFile> m_files;
    int m_nextFileId = 1;
    QHash<int, QString> m_packages;
    QHash<QString, StabilityRun> m_stabilityRuns;
    int m_stabilityPolls = 2;
    // Undefined: the cloud judges the summary; otherwise the verdict it gives every run.
    QJsonValue m_stabilityVerdict = QJsonValue(QJsonValue::Undefined);
    SimStabilityLimits m_stabilityLimits;
    QHash<QString, QList<SimStabilityEvaluation>> m_stabilityEvaluations;
    int m_nextStabilityRunId = 1001;
    QHash<int, CalibrationRun> m_runs;
    int m_nextRunId = 1;
    // 0: every run ends as the cloud computed it; otherwise the status every run ends with.
    int m_runFinalStatus = 0;
    int m_runPollsBeforeFinal = 2;
};
