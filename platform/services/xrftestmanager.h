#pragma once

#include "xrfhardwaremanager.h"
#include "xrfservice.h"

#include <QJsonObject>
#include <QObject>

#include <atomic>

// Runs batches of tests (the final QC batch among them).
class XrfBatchManager : public QObject
{
    Q_OBJECT
public:
    explicit XrfBatchManager(QObject *parent = nullptr) : QObject(parent) { }

    // Starts the batch that `multiTestSettings` describes ({"type": "batchTests", "batch":
    // {"selectedTemplate": template base name}}); batchComplete reports its end. False with the
    // message when it cannot start; this base runs no batch.
    virtual bool startBatch(const QJsonObject &multiTestSettings, QString *errorMsg)
    {
        Q_UNUSED(multiTestSettings)
        if (errorMsg)
            *errorMsg = QStringLiteral("No batch test runner is installed");
        return false;
    }

signals:
    void batchComplete(bool success);
};

// Owns the exposures outside the factory pages. The factory steps hand the hardware manager's
// exposure signals back to these slots when they finish.
class XrfTestManager : public QObject
{
    Q_OBJECT
    XRF_DECLARE_SERVICE(XrfTestManager)
public:
    explicit XrfTestManager(QObject *parent = nullptr) : QObject(parent) { }

    virtual XrfBatchManager *batchManager() { return &m_batchManager; }

    int exposureEventsReceived() const { return m_exposureEvents; }

public slots:
    virtual void onExposureStarted() { ++m_exposureEvents; }
    virtual void onSpectrum(const XrfSpectrum &) { ++m_exposureEvents; }
    virtual void onExposureStopped(XrfHardwareManager::XrfExposureEndCondition, bool)
    {
        ++m_exposureEvents;
    }
    virtual void onHardwareError(const XrfErrorInfo &) { ++m_exposureEvents; }

private:
    XrfBatchManager m_batchManager;
    std::atomic<int> m_exposureEvents{0};
};
