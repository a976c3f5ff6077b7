#pragma once

// A standard of a calibration method.

#include "xrfjsonhelper.h"

class XrfCalibrationStandard : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QString name MEMBER m_name)

public:
    QString name() const { return m_name; }

private:
    QString m_name;
};

Q_DECLARE_METATYPE(XrfCalibrationStandard)
