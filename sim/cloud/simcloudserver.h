#pragma once

#include "simcloudtypes.h"
#include "simstabilityevaluation.h"

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>

#include <memory>

// The simulated manufacturing cloud: an HTTP server on 127.0.0.1 serving JSON on its own threads.
//
// By default it behaves as the factory's cloud does: it hands out work orders and factory
// defaults, keeps each instrument's step statuses and results, stores uploads (checking their
// described size and checksum), evaluates stability runs and calibrates methods over a few polls.
// Scripting makes any request id fail, answer malformed data, answer late or answer a given
// payload. Every function is thread-safe.
class SimCloudServer
{
public:
    static constexpr int Always = -1;
    // Limits that keep the cloud answering a careless or hostile client.
    static constexpr int kWorkerThreads = 64;
    static constexpr int kReadTimeoutSeconds = 2;
    static constexpr size_t kMaxRequestBytes = 64 * 1024 * 1024;

    SimCloudServer();
    ~SimCloudServer();

    // How long a connection may keep a worker waiting for the rest of a request (default
    // kReadTimeoutSeconds); set before start().
    void setReadTimeoutSeconds(int seconds);
    // Listens on `port` (0 picks a free one); false when it cannot bind.
    bool start(quint16 port = 0);
    void stop();
    quint16 port() const;
    QString baseUrl() const;

    // Seeding. A work order without "checkSum" gets one.
    void setWorkOrder(const QString &serial, const QJsonObject &workOrder);
    QJsonObject workOrder(const QString &serial) const;
    // Defaults for every instrument type, or for one "instrumentTypeCode".
    void setFactoryDefaults(const QJsonObject &defaults);
    void setFactoryDefaults(const QString &instrumentTypeCode, const QJsonObject &defaults);
    // Publishes a package for download; empty content withdraws it.
    void setPackage(SimCloudPackage package, const QString &fileName, const QByteArray &content);
    // Stores a file for download and returns its absolute URL.
    QString publishFile(const QString &fileName, const QByteArray &content);
    // Stability runs answer "in progress" `pollsInProgress` times, then the verdict: the cloud's
    // own judgement of the summary when `testResultStatusId` is undefined (the default, after two
    // polls in progress), otherwise that value (4 passed, 5 failed, null) for every run.
    void setStabilityEvaluation(int pollsInProgress,
                                const QJsonValue &testResultStatusId = QJsonValue::Undefined);
    void setStabilityLimits(const SimStabilityLimits &limits);
    // The cloud's judgement of each stability summary an instrument uploaded, in order.
    QList<SimStabilityEvaluation> stabilityEvaluations(const QString &serial) const;
    // The cloud becomes unreachable (its health check and every request fail) once an instrument
    // asks for its factory status on entering `stepId`; -1 never.
    void goOfflineWhenStepEntered(int stepId);
    void setOffline(bool offline);
    // Calibration runs answer 2 and 3 for `pollsBeforeFinal` polls, then the final run status
    // (4 output ready, 5 approval failed, 6 workspace error). By default (and with 0) a run ends
    // with the status the cloud computed from the uploaded workspace (SimFactorSetFit), after 2
    // polls. A forced 4 on a run the cloud failed serves the upload itself as the output.
    void setCalibrationRunOutcome(int finalRunStatusId, int pollsBeforeFinal = 2);

    // What the factory's staff do in the cloud.
    void markWorkOrderChanged(const QString &serial);
    void markFactorySetupChanged(const QString &serial);
    // Asks the instrument to go back to `stepId`: that step and every later one get status 4
    // until the instrument reports the step again.
    void invalidateStep(const QString &serial, int stepId);

    // Scripting, per request id; entries for one id are used in the order they were given.
    void scriptFailure(int requestId, int httpStatus, const QString &error, int times = 1);
    void scriptMalformed(int requestId, int times = 1);
    void scriptDelay(int requestId, int delayMs, int times = 1);
    void scriptPayload(int requestId, const QJsonValue &payload, int times = 1,
                       int httpStatus = 200);
    void clearScripts();

    // Inspection.
    QList<QJsonObject> receivedResults(const QString &serial, int requestId) const;
    QList<SimCloudFile> uploadedFiles(const QString &serial) const;
    QByteArray fileContent(const QString &fileId) const;
    QMap<int, int> stepStatuses(const QString &serial) const;
    int requestCount(int requestId) const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
