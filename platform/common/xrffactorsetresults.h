#pragma once

// The state of a factor set or QC summary run.

#include "xrfjsonhelper.h"

#include <QJsonArray>
#include <QList>

class XrfFactorSetQCSummaryResults : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QString status MEMBER m_status)
    Q_PROPERTY(QJsonArray methodsStatus MEMBER m_methodsStatus)

public:
    // "notStarted", "inProgress", "pass" or "fail".
    QString status() const { return m_status; }
    void setStatus(const QString &status) { m_status = status; }
    QJsonArray methodsStatus() const { return m_methodsStatus; }

private:
    QString m_status = QStringLiteral("notStarted");
    QJsonArray m_methodsStatus;
};

Q_DECLARE_METATYPE(XrfFactorSetQCSummaryResults)
