#include "xrffactorystabilityparams.h"

namespace {
const QString kHvKey = QStringLiteral("exposureHv");
const QString kLvKey = QStringLiteral("exposureLv");

// The exposure under `key`, when present; false (naming the key) when it is not an object or
// does not read.
bool readExposure(const QJsonObject &json, const QString &key, XrfExposureSettings *exposure,
                  QString *errorMsg)
{
    const QJsonValue value = json.value(key);
    if (value.isUndefined())
        return true;
    QString error;
    if (value.isObject() && exposure->fromJsonObject(value.toObject(), &error))
        return true;
    if (errorMsg)
        *errorMsg = value.isObject() ? QStringLiteral("%1: %2").arg(key, error)
                                     : QStringLiteral("'%1' is not an object").arg(key);
    return false;
}
} // namespace

QJsonObject XrfFactoryStabilityParams::toJsonObject() const
{
    QJsonObject json = XrfJsonHelper::toJsonObject();
    json.insert(kHvKey, m_exposureHv.toJsonObject());
    json.insert(kLvKey, m_exposureLv.toJsonObject());
    return json;
}

bool XrfFactoryStabilityParams::fromJsonObject(const QJsonObject &json, QString *errorMsg)
{
    XrfExposureSettings hv = m_exposureHv;
    XrfExposureSettings lv = m_exposureLv;
    if (!readExposure(json, kHvKey, &hv, errorMsg) || !readExposure(json, kLvKey, &lv, errorMsg))
        return false;
    if (!XrfJsonHelper::fromJsonObject(json, errorMsg))
        return false;
    m_exposureHv = hv;
    m_exposureLv = lv;
    return true;
}
