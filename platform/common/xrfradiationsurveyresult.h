#pragma once

// The outcome of a radiation survey.

#include "xrfjsonhelper.h"

class XrfRadiationSurveyResult : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(int status MEMBER m_status)
    Q_PROPERTY(QString statusMsg MEMBER m_statusMsg)
    Q_PROPERTY(double reading MEMBER m_reading)

public:
    int status() const { return m_status; }
    QString statusMsg() const { return m_statusMsg; }
    double reading() const { return m_reading; }

private:
    int m_status = 0;
    QString m_statusMsg;
    double m_reading = 0;
};

Q_DECLARE_METATYPE(XrfRadiationSurveyResult)
