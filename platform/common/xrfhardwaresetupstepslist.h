#pragma once

#include "xrfhardwaresetupstepinfo.h"

#include <QHash>
#include <QJsonObject>
#include <QList>

// The ordered sub-steps of a hardware setup run. Its JSON form, {"hardwareSetupSteps": [step,
// ...]}, is both the "hardwareSetup" object of the factory setup data and what the run stores in
// lastResult.json.
class XrfHardwareSetupStepsList
{
public:
    const QList<XrfHardwareSetupStepInfo> &list() const { return m_steps; }
    int size() const { return m_steps.size(); }
    bool isEmpty() const { return m_steps.isEmpty(); }

    // The step with that id, or null. The pointer is valid until the list changes.
    XrfHardwareSetupStepInfo *getHardwareSetupStep(const QString &stepId);
    const XrfHardwareSetupStepInfo *getHardwareSetupStep(const QString &stepId) const;
    // Replaces the step with the same id; a step with a new id is appended.
    void setHardwareSetupStep(const XrfHardwareSetupStepInfo &step);
    int getStepIdIndex(const QString &stepId) const;
    void removeByStepId(const QString &stepId);
    void append(const XrfHardwareSetupStepInfo &step);
    void clearItems();
    // Rebuilds the id index after the list was replaced.
    void regenerateMap();

    // Steps without an id, or with a malformed member, make the whole parse fail and leave the
    // list unchanged; `errorMsg` says which entry.
    bool fromJsonObject(const QJsonObject &json, QString *errorMsg = nullptr);
    QJsonObject toJsonObject() const;

private:
    QList<XrfHardwareSetupStepInfo> m_steps;
    QHash<QString, int> m_indexById;
};
