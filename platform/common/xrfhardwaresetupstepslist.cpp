#include "xrfhardwaresetupstepslist.h"

#include <QJsonArray>

namespace {
const QString kStepsKey = QStringLiteral("hardwareSetupSteps");
}

XrfHardwareSetupStepInfo *XrfHardwareSetupStepsList::getHardwareSetupStep(const QString &stepId)
{
    const int index = getStepIdIndex(stepId);
    return index < 0 ? nullptr : &m_steps[index];
}

const XrfHardwareSetupStepInfo *
XrfHardwareSetupStepsList::getHardwareSetupStep(const QString &stepId) const
{
    const int index = getStepIdIndex(stepId);
    return index < 0 ? nullptr : &m_steps.at(index);
}

void XrfHardwareSetupStepsList::setHardwareSetupStep(const XrfHardwareSetupStepInfo &step)
{
    const int index = getStepIdIndex(step.stepId());
    if (index < 0)
        append(step);
    else
        m_steps[index] = step;
}

int XrfHardwareSetupStepsList::getStepIdIndex(const QString &stepId) const
{
    return m_indexById.value(stepId, -1);
}

void XrfHardwareSetupStepsList::removeByStepId(const QString &stepId)
{
    const int index = getStepIdIndex(stepId);
    if (index < 0)
        return;
    m_steps.removeAt(index);
    regenerateMap();
}

void XrfHardwareSetupStepsList::append(const XrfHardwareSetupStepInfo &step)
{
    m_steps.append(step);
    m_indexById.insert(step.stepId(), m_steps.size() - 1);
}

void XrfHardwareSetupStepsList::clearItems()
{
    m_steps.clear();
    m_indexById.clear();
}

void XrfHardwareSetupStepsList::regenerateMap()
{
    m_indexById.clear();
    for (int i = 0; i < m_steps.size(); ++i)
        m_indexById.insert(m_steps.at(i).stepId(), i);
}

bool XrfHardwareSetupStepsList::fromJsonObject(const QJsonObject &json, QString *errorMsg)
{
    const QJsonValue stepsValue = json.value(kStepsKey);
    if (!stepsValue.isArray()) {
        if (errorMsg)
            *errorMsg = QStringLiteral("'%1' is not an array").arg(kStepsKey);
        return false;
    }
    QList<XrfHardwareSetupStepInfo> steps;
    const QJsonArray array = stepsValue.toArray();
    for (int i = 0; i < array.size(); ++i) {
        XrfHardwareSetupStepInfo step;
        QString error;
        if (!array.at(i).isObject() || !step.fromJsonObject(array.at(i).toObject(), &error)
            || step.stepId().isEmpty()) {
            if (errorMsg)
                *errorMsg =
                    QStringLiteral("hardware setup step %1 is malformed %2").arg(i).arg(error);
            return false;
        }
        steps.append(step);
    }
    m_steps = steps;
    regenerateMap();
    return true;
}

QJsonObject XrfHardwareSetupStepsList::toJsonObject() const
{
    QJsonArray array;
    for (const XrfHardwareSetupStepInfo &step : m_steps)
        array.append(step.toJsonObject());
    return QJsonObject{{kStepsKey, array}};
}
