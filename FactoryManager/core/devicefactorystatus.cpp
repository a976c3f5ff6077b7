#include "devicefactorystatus.h"

QJsonObject DeviceFactoryStatusResponse::workOrder() const
{
    return m_workOrder.isEmpty() ? QJsonObject() : m_workOrder.first().toObject();
}

int DeviceFactoryStatusResponse::stepStatus(int stepId) const
{
    for (auto it = m_stepStatus.crbegin(); it != m_stepStatus.crend(); ++it) {
        if (it->stepId() == stepId)
            return it->statusId();
    }
    return 0;
}

QJsonObject DeviceFactoryStatusResponse::toJsonObject() const
{
    QJsonObject json = XrfJsonHelper::toJsonObject();
    QJsonArray statuses;
    for (const StepStatus &status : m_stepStatus)
        statuses.append(status.toJsonObject());
    json.insert(QStringLiteral("stepStatus"), statuses);
    json.insert(QStringLiteral("workOrder"), m_workOrder);
    return json;
}

bool DeviceFactoryStatusResponse::fromJsonObject(const QJsonObject &json, QString *errorMsg)
{
    QList<StepStatus> statuses;
    for (const QJsonValue &entry : json.value(QStringLiteral("stepStatus")).toArray()) {
        StepStatus status;
        if (!entry.isObject() || !status.fromJsonObject(entry.toObject(), errorMsg)) {
            if (errorMsg && errorMsg->isEmpty())
                *errorMsg = QStringLiteral("'stepStatus' holds an entry that is not a step status");
            return false;
        }
        statuses.append(status);
    }
    const QJsonValue workOrder = json.value(QStringLiteral("workOrder"));
    if (!workOrder.isUndefined() && !workOrder.isNull() && !workOrder.isArray()) {
        if (errorMsg)
            *errorMsg = QStringLiteral("'workOrder' is not an array");
        return false;
    }
    if (!XrfJsonHelper::fromJsonObject(json, errorMsg))
        return false;
    m_stepStatus = statuses;
    m_workOrder = workOrder.toArray();
    return true;
}
