#pragma once

#include "xrfjsonhelper.h"

// One sub-step of the hardware setup run.
class XrfHardwareSetupStepInfo : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QString stepId MEMBER m_stepId)
    Q_PROPERTY(QString displayName MEMBER m_displayName)
    Q_PROPERTY(QJsonObject setupParams MEMBER m_setupParams)
    Q_PROPERTY(QJsonObject results MEMBER m_results)
    Q_PROPERTY(bool isDone MEMBER m_isDone)
    Q_PROPERTY(bool hasFailed MEMBER m_hasFailed)
    Q_PROPERTY(QString statusMsg MEMBER m_statusMsg)
    Q_PROPERTY(QString startTime MEMBER m_startTime)
    Q_PROPERTY(QString endTime MEMBER m_endTime)
    Q_PROPERTY(QString sessionId MEMBER m_sessionId)

public:
    QString stepId() const { return m_stepId; }
    void setStepId(const QString &id) { m_stepId = id; }
    QString displayName() const { return m_displayName; }
    void setDisplayName(const QString &name) { m_displayName = name; }
    QJsonObject setupParams() const { return m_setupParams; }
    void setSetupParams(const QJsonObject &params) { m_setupParams = params; }
    QJsonObject results() const { return m_results; }
    void setResults(const QJsonObject &results) { m_results = results; }
    bool isDone() const { return m_isDone; }
    void setIsDone(bool done) { m_isDone = done; }
    bool hasFailed() const { return m_hasFailed; }
    void setHasFailed(bool failed) { m_hasFailed = failed; }
    QString statusMsg() const { return m_statusMsg; }
    void setStatusMsg(const QString &msg) { m_statusMsg = msg; }
    QString startTime() const { return m_startTime; }
    void setStartTime(const QString &time) { m_startTime = time; }
    QString endTime() const { return m_endTime; }
    void setEndTime(const QString &time) { m_endTime = time; }
    QString sessionId() const { return m_sessionId; }
    void setSessionId(const QString &id) { m_sessionId = id; }

private:
    QString m_stepId;
    QString m_displayName;
    QJsonObject m_setupParams;
    QJsonObject m_results;
    bool m_isDone = false;
    bool m_hasFailed = false;
    QString m_statusMsg;
    QString m_startTime;
    QString m_endTime;
    QString m_sessionId;
};

Q_DECLARE_METATYPE(XrfHardwareSetupStepInfo)
