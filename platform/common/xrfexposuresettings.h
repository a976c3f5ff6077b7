#pragma once

#include "xrffilterproperties.h"

// One exposure: tube set points, time and filter.
class XrfExposureSettings : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(double tubeVoltageKv MEMBER m_tubeVoltageKv)
    Q_PROPERTY(double tubeCurrentUa MEMBER m_tubeCurrentUa)
    Q_PROPERTY(int maxTime MEMBER m_maxTime)
    Q_PROPERTY(double backgroundRate MEMBER m_backgroundRate)
    Q_PROPERTY(bool useLiveTime MEMBER m_useLiveTime)
    Q_PROPERTY(bool enabled MEMBER m_enabled)
    Q_PROPERTY(bool freezeFilterMode MEMBER m_freezeFilterMode)

public:
    float tubeVoltageKv() const { return float(m_tubeVoltageKv); }
    void setTubeVoltageKv(float kv) { m_tubeVoltageKv = kv; }
    float tubeCurrentUa() const { return float(m_tubeCurrentUa); }
    void setTubeCurrentUa(float ua) { m_tubeCurrentUa = ua; }
    int maxTime() const { return m_maxTime; }
    void setMaxTime(int seconds) { m_maxTime = seconds; }
    double backgroundRate() const { return m_backgroundRate; }
    void setBackgroundRate(double cps) { m_backgroundRate = cps; }
    bool useLiveTime() const { return m_useLiveTime; }
    void setUseLiveTime(bool live) { m_useLiveTime = live; }
    bool enabled() const { return m_enabled; }
    void setEnabled(bool enabled) { m_enabled = enabled; }
    bool freezeFilterMode() const { return m_freezeFilterMode; }
    void setFreezeFilterMode(bool freeze) { m_freezeFilterMode = freeze; }

    const XrfFilterProperties &filter() const { return m_filter; }
    XrfFilterProperties &filter() { return m_filter; }
    void setFilter(const XrfFilterProperties &filter) { m_filter = filter; }
    void setFilterProperties(const XrfFilterProperties &filter) { m_filter = filter; }

    // The filter travels as the nested object "filter".
    QJsonObject toJsonObject() const override;
    bool fromJsonObject(const QJsonObject &json, QString *errorMsg = nullptr) override;

    QString toString() const;

private:
    double m_tubeVoltageKv = 0;
    double m_tubeCurrentUa = 0;
    int m_maxTime = 0;
    double m_backgroundRate = 0;
    bool m_useLiveTime = false;
    bool m_enabled = true;
    bool m_freezeFilterMode = false;
    XrfFilterProperties m_filter;
};

Q_DECLARE_METATYPE(XrfExposureSettings)
