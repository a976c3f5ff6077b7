#include "xrfbeaminfo.h"

#include "xrfjsonlist.h"

namespace {

const QString kUsageGroups = QStringLiteral("usageGroups");
const QString kIterationGroups = QStringLiteral("iterationGroups");
const QString kSpectrum = QStringLiteral("spectrum");

} // namespace

void XrfBeamInfo::clearResults()
{
    copyResultsFrom(XrfBeamInfo());
}

void XrfBeamInfo::copyResultsFrom(const XrfBeamInfo &other)
{
    // A beam that was never shot keeps the current of the setup data.
    if (other.m_isDone)
        m_tubeCurrentUa = other.m_tubeCurrentUa;
    m_isDone = other.m_isDone;
    m_hasFailed = other.m_hasFailed;
    m_isMaxAttemptsReached = other.m_isMaxAttemptsReached;
    m_isCurrentLimitReached = other.m_isCurrentLimitReached;
    m_isUsingDimmerTargetIcr = other.m_isUsingDimmerTargetIcr && hasTargetIcrDim();
    m_actualCps = other.m_actualCps;
    m_errorMsg = other.m_errorMsg;
    m_startTime = other.m_startTime;
    m_endTime = other.m_endTime;
    m_peak1 = other.m_peak1;
    m_peak2 = other.m_peak2;
    m_resolution = other.m_resolution;
    m_spectrum = other.m_spectrum;
    m_iterationGroups = other.m_iterationGroups;
}

QJsonObject XrfBeamInfo::toJsonObject() const
{
    QJsonObject json = XrfJsonHelper::toJsonObject();
    json.insert(kUsageGroups, recordsToJson(m_usageGroups));
    json.insert(kIterationGroups, recordsToJson(m_iterationGroups));
    json.insert(kSpectrum, m_spectrum.toJsonObject());
    return json;
}

bool XrfBeamInfo::fromJsonObject(const QJsonObject &json, QString *errorMsg)
{
    QList<BeamUsageGroup> usage = m_usageGroups;
    if (json.contains(kUsageGroups)
        && !recordsFromJson(json.value(kUsageGroups), kUsageGroups, &usage, errorMsg))
        return false;
    QList<BeamIterationGroup> iterations = m_iterationGroups;
    if (json.contains(kIterationGroups)
        && !recordsFromJson(json.value(kIterationGroups), kIterationGroups, &iterations, errorMsg))
        return false;
    XrfSpectrum spectrum = m_spectrum;
    const QJsonValue spectrumJson = json.value(kSpectrum);
    if (spectrumJson.isObject() && !spectrum.fromJsonObject(spectrumJson.toObject(), errorMsg))
        return false;
    if (!XrfJsonHelper::fromJsonObject(json, errorMsg))
        return false;
    m_usageGroups = usage;
    m_iterationGroups = iterations;
    m_spectrum = spectrum;
    return true;
}
