#include "xrffactorsetresults.h"

#include "xrfjsonlist.h"
#include "xrfmethod.h"

namespace {
const QString kMethodsStatus = QStringLiteral("methodsStatus");
} // namespace

XrfFactorSetQCSummaryResultPerMethod::StatusId
XrfFactorSetQCSummaryResultPerMethod::cloudFactorSetStatusId(const int &cloudStatus)
{
    return cloudStatus >= Queued && cloudStatus <= WorkspaceError ? StatusId(cloudStatus)
                                                                  : NotStarted;
}

QString XrfFactorSetQCSummaryResultPerMethod::status() const
{
    static const QStringList texts = {
        QStringLiteral("notStarted"),    QStringLiteral("queued"),
        QStringLiteral("processing"),    QStringLiteral("processed"),
        QStringLiteral("outputReady"),   QStringLiteral("approvalFailed"),
        QStringLiteral("workspaceError")};
    return texts.value(m_statusId, texts.first());
}

QJsonArray XrfFactorSetQCSummaryResults::methodsStatus() const
{
    return recordsToJson(m_methods);
}

bool XrfFactorSetQCSummaryResults::getMethodFactorSetQCSummaryResult(
    const QString &methodName, XrfFactorSetQCSummaryResultPerMethod *result) const
{
    for (const XrfFactorSetQCSummaryResultPerMethod &method : m_methods) {
        if (method.methodName() == methodName) {
            if (result)
                *result = method;
            return true;
        }
    }
    return false;
}

void XrfFactorSetQCSummaryResults::setMethodFactorSetQCSummaryResult(
    const XrfFactorSetQCSummaryResultPerMethod &result)
{
    for (XrfFactorSetQCSummaryResultPerMethod &method : m_methods) {
        if (method.methodName() == result.methodName()) {
            method = result;
            return;
        }
    }
    m_methods.append(result);
}

bool XrfFactorSetQCSummaryResults::resetMethodFactorSetQCSummaryResult(const QString &methodName)
{
    for (XrfFactorSetQCSummaryResultPerMethod &method : m_methods) {
        if (method.methodName() == methodName) {
            method = XrfFactorSetQCSummaryResultPerMethod();
            method.setMethodName(methodName);
            return true;
        }
    }
    return false;
}

void XrfFactorSetQCSummaryResults::followMethodList(const QStringList &methodNames)
{
    QList<XrfFactorSetQCSummaryResultPerMethod> followed;
    for (const QString &name : methodNames) {
        XrfFactorSetQCSummaryResultPerMethod method;
        method.setMethodName(name);
        getMethodFactorSetQCSummaryResult(name, &method);
        followed.append(method);
    }
    m_methods = followed;
}

void XrfFactorSetQCSummaryResults::updateStatusBasedOnMethodFileStatus(const QString &profilePath)
{
    for (XrfFactorSetQCSummaryResultPerMethod &method : m_methods) {
        const QString file = XrfMethod::methodFilePath(profilePath, method.methodName());
        XrfMethod installed;
        const bool factorSet =
            !file.isEmpty() && installed.setMethodFile(file) && installed.isFactorSetted();
        // A run that is under way or ended keeps its own outcome.
        if (factorSet && !method.isDone() && method.statusRequestId() == 0) {
            method.setIsDone(true);
            method.setHasFailed(false);
        } else if (!factorSet && method.isDone() && !method.hasFailed()) {
            const QString name = method.methodName();
            method = XrfFactorSetQCSummaryResultPerMethod();
            method.setMethodName(name);
        }
    }
    updateStatusFromMethods();
}

void XrfFactorSetQCSummaryResults::updateStatusFromMethods()
{
    bool allDone = true;
    bool anyFailed = false;
    bool anyPending = false;
    for (const XrfFactorSetQCSummaryResultPerMethod &method : qAsConst(m_methods)) {
        allDone = allDone && method.isDone();
        anyFailed = anyFailed || (method.isDone() && method.hasFailed());
        anyPending = anyPending || (!method.isDone() && method.statusRequestId() > 0);
    }
    if (m_methods.isEmpty())
        m_status = QStringLiteral("notStarted");
    else if (allDone)
        m_status = anyFailed ? QStringLiteral("fail") : QStringLiteral("pass");
    else
        m_status = anyPending ? QStringLiteral("inProgress") : QStringLiteral("notStarted");
}

QJsonObject XrfFactorSetQCSummaryResults::toJsonObject() const
{
    QJsonObject json = XrfJsonHelper::toJsonObject();
    json.insert(kMethodsStatus, methodsStatus());
    return json;
}

bool XrfFactorSetQCSummaryResults::fromJsonObject(const QJsonObject &json, QString *errorMsg)
{
    QList<XrfFactorSetQCSummaryResultPerMethod> methods;
    if (!recordsFromJson(json.value(kMethodsStatus), kMethodsStatus, &methods, errorMsg))
        return false;
    if (!XrfJsonHelper::fromJsonObject(json, errorMsg))
        return false;
    m_methods = methods;
    return true;
}
