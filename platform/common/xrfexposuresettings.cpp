#include "xrfexposuresettings.h"

QJsonObject XrfExposureSettings::toJsonObject() const
{
    QJsonObject json = XrfJsonHelper::toJsonObject();
    json.insert(QStringLiteral("filter"), m_filter.toJsonObject());
    return json;
}

bool XrfExposureSettings::fromJsonObject(const QJsonObject &json, QString *errorMsg)
{
    XrfFilterProperties filter = m_filter;
    const QJsonValue filterJson = json.value(QStringLiteral("filter"));
    if (filterJson.isObject() && !filter.fromJsonObject(filterJson.toObject(), errorMsg))
        return false;
    if (!XrfJsonHelper::fromJsonObject(json, errorMsg))
        return false;
    m_filter = filter;
    return true;
}

QString XrfExposureSettings::toString() const
{
    return QStringLiteral("%1 kV, %2 uA, %3 s%4, filter Z=%5 %6 um / %7 um")
        .arg(m_tubeVoltageKv)
        .arg(m_tubeCurrentUa)
        .arg(m_maxTime)
        .arg(m_useLiveTime ? QStringLiteral(" live") : QString())
        .arg(m_filter.materialAtomicNumber())
        .arg(m_filter.thicknessInMicrons())
        .arg(m_filter.diameterInMicrons());
}
