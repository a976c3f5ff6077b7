#pragma once

// The state of a factor set or QC summary run: one record per method and the status of the whole.

#include "xrfjsonhelper.h"

#include <QJsonArray>
#include <QList>

// One method's run in the cloud.
class XrfFactorSetQCSummaryResultPerMethod : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QString methodName MEMBER m_methodName)
    Q_PROPERTY(bool isDone MEMBER m_isDone)
    Q_PROPERTY(bool hasFailed MEMBER m_hasFailed)
    Q_PROPERTY(QString errorMsg MEMBER m_errorMsg)
    Q_PROPERTY(int statusRequestId MEMBER m_statusRequestId)
    Q_PROPERTY(int statusId MEMBER m_statusId)
    Q_PROPERTY(QString status READ status)
    Q_PROPERTY(QString methodZipDownloadUrl MEMBER m_methodZipDownloadUrl)
    Q_PROPERTY(QString methodInputZipFilePath MEMBER m_methodInputZipFilePath)
    Q_PROPERTY(QString methodOutputZipFilePath MEMBER m_methodOutputZipFilePath)

public:
    // The cloud's run status ("runStatusId"), and 0 before the run was started.
    enum StatusId {
        NotStarted = 0,
        Queued = 1,
        Processing = 2,
        StatusChanged = 3,
        OutputReady = 4,
        ApprovalFailed = 5,
        WorkspaceError = 6,
    };
    // The status of a cloud run number; NotStarted for a number outside 1 to 6.
    static StatusId cloudFactorSetStatusId(const int &cloudStatus);

    QString methodName() const { return m_methodName; }
    void setMethodName(const QString &name) { m_methodName = name; }
    bool isDone() const { return m_isDone; }
    void setIsDone(bool done) { m_isDone = done; }
    bool hasFailed() const { return m_hasFailed; }
    void setHasFailed(bool failed) { m_hasFailed = failed; }
    QString errorMsg() const { return m_errorMsg; }
    void setErrorMsg(const QString &error) { m_errorMsg = error; }
    int statusRequestId() const { return m_statusRequestId; }
    void setStatusRequestId(int id) { m_statusRequestId = id; }
    StatusId statusId() const { return StatusId(m_statusId); }
    void setStatusId(StatusId id) { m_statusId = int(id); }
    // "notStarted", "queued", "processing", "processed", "outputReady", "approvalFailed",
    // "workspaceError".
    QString status() const;
    QString methodZipDownloadUrl() const { return m_methodZipDownloadUrl; }
    void setMethodZipDownloadUrl(const QString &url) { m_methodZipDownloadUrl = url; }
    QString methodInputZipFilePath() const { return m_methodInputZipFilePath; }
    void setMethodInputZipFilePath(const QString &path) { m_methodInputZipFilePath = path; }
    QString methodOutputZipFilePath() const { return m_methodOutputZipFilePath; }
    void setMethodOutputZipFilePath(const QString &path) { m_methodOutputZipFilePath = path; }

private:
    QString m_methodName;
    bool m_isDone = false;
    bool m_hasFailed = false;
    QString m_errorMsg;
    int m_statusRequestId = 0;
    int m_statusId = NotStarted;
    QString m_methodZipDownloadUrl;
    QString m_methodInputZipFilePath;
    QString m_methodOutputZipFilePath;
};

class XrfFactorSetQCSummaryResults : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QString status MEMBER m_status)

public:
    // "notStarted", "inProgress", "pass" or "fail".
    QString status() const { return m_status; }
    void setStatus(const QString &status) { m_status = status; }
    // The per-method records in list order, as the JSON array "methodsStatus".
    QList<XrfFactorSetQCSummaryResultPerMethod> list() const { return m_methods; }
    QJsonArray methodsStatus() const;
    bool isEmpty() const { return m_methods.isEmpty(); }
    // False when the list has no record of that method.
    bool getMethodFactorSetQCSummaryResult(const QString &methodName,
                                           XrfFactorSetQCSummaryResultPerMethod *result) const;
    // Replaces the record of the method, or appends it.
    void setMethodFactorSetQCSummaryResult(const XrfFactorSetQCSummaryResultPerMethod &result);
    // The method's record back to not started; false when there is none.
    bool resetMethodFactorSetQCSummaryResult(const QString &methodName);
    // Keeps only the records of `methodNames` and appends a fresh record for each name that has
    // none, in the order of `methodNames`.
    void followMethodList(const QStringList &methodNames);
    // Each method not yet run whose installed method file
    // ("<profile>/instrumentsettings/methods/<M>/ CalcMethod_<M>.json") says it is factor-set
    // becomes done and passed; a passed record whose method is no longer factor-set starts over.
    // Then the status follows the records.
    void updateStatusBasedOnMethodFileStatus(const QString &profilePath);
    // The status the records give: "pass" or "fail" when all are done (fail when one failed),
    // "inProgress" while a run is pending, else "notStarted".
    void updateStatusFromMethods();

    QJsonObject toJsonObject() const override;
    bool fromJsonObject(const QJsonObject &json, QString *errorMsg = nullptr) override;

private:
    QString m_status = QStringLiteral("notStarted");
    QList<XrfFactorSetQCSummaryResultPerMethod> m_methods;
};

Q_DECLARE_METATYPE(XrfFactorSetQCSummaryResults)
