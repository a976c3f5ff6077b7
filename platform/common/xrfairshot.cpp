#include "xrfairshot.h"

#include <QJsonArray>

namespace {
const QString kExposure = QStringLiteral("exposureSettings");
const QString kUsage = QStringLiteral("usage");
const QString kSpectrumData = QStringLiteral("spectrumData");
const QString kMethod = QStringLiteral("method");
const QString kBeam = QStringLiteral("beam");

bool usageFromJson(const QJsonValue &json, QList<BeamUsageGroup> *groups, QString *errorMsg)
{
    groups->clear();
    if (json.isUndefined() || json.isNull())
        return true;
    if (!json.isArray()) {
        if (errorMsg)
            *errorMsg = QStringLiteral("JSON key 'usage' is not an array");
        return false;
    }
    for (const QJsonValue &entry : json.toArray()) {
        const QJsonObject use = entry.toObject();
        if (!entry.isObject() || !use.value(kMethod).isString() || !use.value(kBeam).isDouble()) {
            if (errorMsg)
                *errorMsg = QStringLiteral("JSON key 'usage' holds an entry without a text "
                                           "'method' and a number 'beam'");
            return false;
        }
        groups->append(BeamUsageGroup(use.value(kMethod).toString(), use.value(kBeam).toInt()));
    }
    return true;
}

bool countsFromJson(const QJsonValue &json, QList<uint> *counts, QString *errorMsg)
{
    counts->clear();
    if (json.isUndefined() || json.isNull())
        return true;
    if (!json.isArray()) {
        if (errorMsg)
            *errorMsg = QStringLiteral("JSON key 'spectrumData' is not an array");
        return false;
    }
    const QJsonArray array = json.toArray();
    counts->reserve(array.size());
    for (const QJsonValue &count : array) {
        if (!count.isDouble() || count.toDouble() < 0) {
            if (errorMsg)
                *errorMsg = QStringLiteral("JSON key 'spectrumData' holds a value that is not a "
                                           "count");
            return false;
        }
        counts->append(uint(count.toDouble()));
    }
    return true;
}

} // namespace

QString XrfAirShot::safeBackGroundRateKey(int index, const QString &model) const
{
    const XrfFilterProperties &filter = m_exposure.filter();
    QString key = QStringLiteral("%1_%2kV_%3-%4-%5")
                      .arg(model)
                      .arg(qRound(m_exposure.tubeVoltageKv()))
                      .arg(filter.materialAtomicNumber())
                      .arg(qRound(filter.thicknessInMicrons()))
                      .arg(qRound(filter.diameterInMicrons()));
    if (index > 0)
        key += QStringLiteral("#%1").arg(index);
    return key;
}

void XrfAirShot::copyResultsFrom(const XrfAirShot &stored)
{
    m_backgroundRate = stored.m_backgroundRate;
    m_isDone = stored.m_isDone;
    m_hasFailed = stored.m_hasFailed;
    m_errorMsg = stored.m_errorMsg;
    m_spectrumData = stored.m_spectrumData;
    m_energyOffset = stored.m_energyOffset;
    m_energySlope = stored.m_energySlope;
    m_safeRateChecked = stored.m_safeRateChecked;
    m_safeRate = stored.m_safeRate;
    m_safeRateLimit = stored.m_safeRateLimit;
}

bool XrfAirShot::isSameShotAs(const XrfAirShot &other) const
{
    const auto same = [](double a, double b) {
        return qFuzzyCompare(1.0 + a, 1.0 + b);
    };
    return m_isCollimated == other.m_isCollimated && usageGroupsId() == other.usageGroupsId()
        && same(m_exposure.tubeVoltageKv(), other.m_exposure.tubeVoltageKv())
        && same(m_exposure.tubeCurrentUa(), other.m_exposure.tubeCurrentUa())
        && m_exposure.filter() == other.m_exposure.filter();
}

QJsonObject XrfAirShot::toJsonObject() const
{
    QJsonObject json = XrfJsonHelper::toJsonObject();
    json.insert(kExposure, m_exposure.toJsonObject());
    QJsonArray usage;
    for (const BeamUsageGroup &group : m_usageGroups)
        usage.append(QJsonObject{{kMethod, group.methodName()}, {kBeam, group.beamNo()}});
    json.insert(kUsage, usage);
    QJsonArray counts;
    for (uint count : m_spectrumData)
        counts.append(double(count));
    json.insert(kSpectrumData, counts);
    return json;
}

bool XrfAirShot::fromJsonObject(const QJsonObject &json, QString *errorMsg)
{
    XrfExposureSettings exposure = m_exposure;
    const QJsonValue exposureJson = json.value(kExposure);
    if (!exposureJson.isUndefined() && !exposureJson.isNull()
        && (!exposureJson.isObject()
            || !exposure.fromJsonObject(exposureJson.toObject(), errorMsg))) {
        if (errorMsg && errorMsg->isEmpty())
            *errorMsg = QStringLiteral("JSON key 'exposureSettings' is not an object");
        return false;
    }
    QList<BeamUsageGroup> usage = m_usageGroups;
    if (json.contains(kUsage) && !usageFromJson(json.value(kUsage), &usage, errorMsg))
        return false;
    QList<uint> counts = m_spectrumData;
    if (json.contains(kSpectrumData)
        && !countsFromJson(json.value(kSpectrumData), &counts, errorMsg))
        return false;
    if (!XrfJsonHelper::fromJsonObject(json, errorMsg))
        return false;
    m_exposure = exposure;
    m_usageGroups = usage;
    m_spectrumData = counts;
    return true;
}
