#pragma once

// One beam condition of the beams setup.

#include "xrfjsonhelper.h"

class XrfBeamInfo : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QString name MEMBER m_name)
    Q_PROPERTY(double tubeCurrentUa MEMBER m_tubeCurrentUa)

public:
    QString name() const { return m_name; }
    double tubeCurrentUa() const { return m_tubeCurrentUa; }

private:
    QString m_name;
    double m_tubeCurrentUa = 0;
};

Q_DECLARE_METATYPE(XrfBeamInfo)
