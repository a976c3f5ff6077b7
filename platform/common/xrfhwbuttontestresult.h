#pragma once

#include "xrfjsonhelper.h"

// What the operator's test of the instrument buttons found.
class XrfHwButtonTestResult : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(bool status MEMBER m_status)
    Q_PROPERTY(QString statusString MEMBER m_statusString)

public:
    bool status() const { return m_status; }
    void setStatus(bool status) { m_status = status; }
    QString statusString() const { return m_statusString; }
    void setStatusString(const QString &text) { m_statusString = text; }

private:
    bool m_status = false;
    QString m_statusString;
};

Q_DECLARE_METATYPE(XrfHwButtonTestResult)
