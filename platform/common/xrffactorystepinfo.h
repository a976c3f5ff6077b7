#pragma once

#include "xrfjsonhelper.h"

#include <QVariantMap>

// The status record of one factory step, as stored under the step's name in lastResult.json.
class XrfFactoryStepInfo : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(int stepId MEMBER m_stepId)
    Q_PROPERTY(QString stepIdStr MEMBER m_stepIdStr)
    Q_PROPERTY(QString sessionId MEMBER m_sessionId)
    Q_PROPERTY(int status MEMBER m_status)
    Q_PROPERTY(QString startTime MEMBER m_startTime)
    Q_PROPERTY(QString endTime MEMBER m_endTime)
    Q_PROPERTY(QString resultFile MEMBER m_resultFile)
    Q_PROPERTY(QVariantMap result MEMBER m_result)

public:
    // Status values shared with the cloud.
    enum StepStatus : int {
        None = 0,
        NotStarted = 1, // also sent when a step's stored result is invalidated
        Passed = 2,
        Failed = 3,
        InvalidatedByCloud = 4,
        InProgress = 5,
    };
    Q_ENUM(StepStatus)

    int stepId() const { return m_stepId; }
    void setStepId(int id) { m_stepId = id; }
    QString stepIdStr() const { return m_stepIdStr; }
    void setStepIdStr(const QString &name) { m_stepIdStr = name; }
    QString sessionId() const { return m_sessionId; }
    void setSessionId(const QString &id) { m_sessionId = id; }
    int status() const { return m_status; }
    void setStatus(int status) { m_status = status; }
    QString statusStr() const;
    QString startTime() const { return m_startTime; }
    void setStartTime(const QString &time) { m_startTime = time; }
    QString endTime() const { return m_endTime; }
    void setEndTime(const QString &time) { m_endTime = time; }
    QString resultFile() const { return m_resultFile; }
    void setResultFile(const QString &path) { m_resultFile = path; }
    QVariantMap result() const { return m_result; }
    void setResult(const QVariantMap &result) { m_result = result; }
    QJsonObject resultToJsonObj() const { return QJsonObject::fromVariantMap(m_result); }
    void setResultFromJsonObj(const QJsonObject &result) { m_result = result.toVariantMap(); }

private:
    int m_stepId = 0;
    QString m_stepIdStr;
    QString m_sessionId;
    int m_status = None;
    QString m_startTime;
    QString m_endTime;
    QString m_resultFile;
    QVariantMap m_result;
};

Q_DECLARE_METATYPE(XrfFactoryStepInfo)
