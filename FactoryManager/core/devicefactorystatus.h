#pragma once

#include "xrfjsonhelper.h"

#include <QJsonArray>
#include <QList>

// The status of one factory step as the cloud keeps it.
class StepStatus : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(int stepId MEMBER m_stepId)
    Q_PROPERTY(int statusId MEMBER m_statusId)

public:
    StepStatus() = default;
    StepStatus(int stepId, int statusId) : m_stepId(stepId), m_statusId(statusId) { }

    int stepId() const { return m_stepId; }
    int statusId() const { return m_statusId; }

private:
    int m_stepId = 0;
    int m_statusId = 0;
};

// What the instrument tells or asks the cloud about its factory progress.
class DeviceFactoryStatusRequest : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(int stepId MEMBER m_stepId)
    Q_PROPERTY(int status MEMBER m_status)
    Q_PROPERTY(QString factoryFileVersion MEMBER m_factoryFileVersion)
    Q_PROPERTY(QString workOrderCheckSum MEMBER m_workOrderCheckSum)

public:
    DeviceFactoryStatusRequest() = default;
    DeviceFactoryStatusRequest(int stepId, int status,
                               const QString &factoryFileVersion = QString(),
                               const QString &workOrderCheckSum = QString())
        : m_stepId(stepId),
          m_status(status),
          m_factoryFileVersion(factoryFileVersion),
          m_workOrderCheckSum(workOrderCheckSum)
    { }

private:
    int m_stepId = 0;
    int m_status = 0;
    QString m_factoryFileVersion;
    QString m_workOrderCheckSum;
};

// The cloud's view of the instrument's factory progress.
class DeviceFactoryStatusResponse : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(int stepId MEMBER m_stepId)
    Q_PROPERTY(bool hasWorkOrderChanged MEMBER m_hasWorkOrderChanged)
    Q_PROPERTY(bool hasFactorySetupFileChanged MEMBER m_hasFactorySetupFileChanged)
    Q_PROPERTY(bool hasFactoryStepInvalidated MEMBER m_hasFactoryStepInvalidated)

public:
    int stepId() const { return m_stepId; }
    bool hasWorkOrderChanged() const { return m_hasWorkOrderChanged; }
    bool hasFactorySetupFileChanged() const { return m_hasFactorySetupFileChanged; }
    bool hasFactoryStepInvalidated() const { return m_hasFactoryStepInvalidated; }
    const QList<StepStatus> &stepStatuses() const { return m_stepStatus; }
    // The first entry of "workOrder", or an empty object.
    QJsonObject workOrder() const;

    // The status of the last entry for `stepId`, 0 when the list has none.
    int stepStatus(int stepId) const;

    // "stepStatus" and "workOrder" travel as arrays beside the properties.
    QJsonObject toJsonObject() const override;
    bool fromJsonObject(const QJsonObject &json, QString *errorMsg = nullptr) override;

private:
    int m_stepId = 0;
    bool m_hasWorkOrderChanged = false;
    bool m_hasFactorySetupFileChanged = false;
    bool m_hasFactoryStepInvalidated = false;
    QList<StepStatus> m_stepStatus;
    QJsonArray m_workOrder;
};
