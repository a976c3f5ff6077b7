#pragma once

// The detected configuration as the facade shows it.

#include "xrfjsonhelper.h"

class XrfProvisioningData : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QJsonObject data MEMBER m_data)

public:
    QJsonObject data() const { return m_data; }

private:
    QJsonObject m_data;
};

Q_DECLARE_METATYPE(XrfProvisioningData)
