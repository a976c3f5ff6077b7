#include "xrfspectrum.h"

#include <QJsonArray>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
// A channel position as an int, truncated toward zero; positions beyond the int range (a slope
// near zero) are clamped to it rather than converted with undefined behaviour.
int channelAt(double position)
{
    if (std::isnan(position))
        return -1;
    return int(std::clamp(position, double(std::numeric_limits<int>::min()),
                          double(std::numeric_limits<int>::max())));
}
} // namespace

bool XrfSpectrum::isEmptySpectrum() const
{
    return std::all_of(m_data.cbegin(), m_data.cend(), [](quint32 c) { return c == 0; });
}

quint64 XrfSpectrum::sumCountsInRegion(int first, int last) const
{
    first = std::max(first, 0);
    last = std::min(last, m_data.size() - 1);
    quint64 sum = 0;
    for (int channel = first; channel <= last; ++channel)
        sum += m_data.at(channel);
    return sum;
}

quint64 XrfSpectrum::sumCountsInRegion(int beginEv, int endEv, double offsetEv,
                                       double slopeEvPerBin) const
{
    if (slopeEvPerBin <= 0)
        return 0;
    return sumCountsInRegion(channelAt((beginEv - offsetEv) / slopeEvPerBin),
                             channelAt((endEv - offsetEv) / slopeEvPerBin));
}

QJsonObject XrfSpectrum::toJsonObject() const
{
    QJsonObject json = XrfJsonHelper::toJsonObject();
    QJsonArray counts;
    for (quint32 c : m_data)
        counts.append(qint64(c));
    json.insert(QStringLiteral("data"), counts);
    return json;
}

bool XrfSpectrum::fromJsonObject(const QJsonObject &json, QString *errorMsg)
{
    QVector<quint32> counts = m_data;
    const QJsonValue dataJson = json.value(QStringLiteral("data"));
    if (dataJson.isArray()) {
        const QJsonArray array = dataJson.toArray();
        counts.clear();
        counts.reserve(array.size());
        for (const QJsonValue &c : array) {
            if (!c.isDouble() || !(c.toDouble() >= 0)
                || c.toDouble() > double(std::numeric_limits<quint32>::max())) {
                if (errorMsg)
                    *errorMsg = QStringLiteral("JSON key 'data' holds a value that is not a count");
                return false;
            }
            counts.append(quint32(c.toDouble()));
        }
    }
    if (!XrfJsonHelper::fromJsonObject(json, errorMsg))
        return false;
    m_data = counts;
    return true;
}
