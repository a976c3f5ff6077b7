#include "simstabilityevaluation.h"

#include <QJsonArray>
#include <QVector>

#include <algorithm>
#include <cmath>

namespace {

struct Series
{
    QVector<double> values;

    void add(double value) { values.append(value); }
    double mean() const
    {
        double sum = 0;
        for (const double v : values)
            sum += v;
        return values.isEmpty() ? 0 : sum / values.size();
    }
    double rsd() const
    {
        if (values.size() < 2 || mean() == 0)
            return 0;
        const double m = mean();
        double sum = 0;
        for (const double v : values)
            sum += (v - m) * (v - m);
        return std::sqrt(sum / (values.size() - 1)) / std::abs(m);
    }
    double spread() const
    {
        if (values.isEmpty())
            return 0;
        const auto range = std::minmax_element(values.begin(), values.end());
        return *range.second - *range.first;
    }
};

// A shot whose last attempt ended normally carries a usable spectrum.
bool endedNormally(const QJsonObject &record)
{
    const QJsonArray conditions = record.value(QStringLiteral("exposureEndConditions")).toArray();
    return !conditions.isEmpty() && conditions.last().toInt(-1) == 0;
}

// Least-squares slope of y over x.
double slopeOf(const QVector<double> &x, const QVector<double> &y)
{
    const int n = std::min(x.size(), y.size());
    if (n < 2)
        return 0;
    double mx = 0;
    double my = 0;
    for (int i = 0; i < n; ++i) {
        mx += x.at(i) / n;
        my += y.at(i) / n;
    }
    double sxy = 0;
    double sxx = 0;
    for (int i = 0; i < n; ++i) {
        sxy += (x.at(i) - mx) * (y.at(i) - my);
        sxx += (x.at(i) - mx) * (x.at(i) - mx);
    }
    return sxx > 0 ? sxy / sxx : 0;
}

QString percent(double fraction)
{
    return QString::number(fraction * 100, 'f', 2) + QLatin1Char('%');
}

void judgeSpread(const QJsonArray &records, const SimStabilityLimits &limits,
                 SimStabilityEvaluation *e)
{
    Series icr;
    Series peak;
    Series resolution;
    QVector<double> afe;
    QVector<double> gain;
    double firstPeakDistance = 0;
    for (const QJsonValue &value : records) {
        const QJsonObject r = value.toObject();
        if (!endedNormally(r) || r.value(QStringLiteral("exposureType")).toString() == "LV")
            continue;
        icr.add(r.value(QStringLiteral("icr")).toDouble());
        const double p1 = r.value(QStringLiteral("spectrumPeak1Channel")).toDouble();
        const double p2 = r.value(QStringLiteral("spectrumPeak2Channel")).toDouble();
        peak.add(p1);
        const double fwhm = r.value(QStringLiteral("spectrumResolution")).toDouble();
        if (fwhm > 0)
            resolution.add(fwhm);
        if (p2 > p1 && p1 > 0) {
            if (firstPeakDistance == 0)
                firstPeakDistance = p2 - p1;
            gain.append((p2 - p1) / firstPeakDistance);
            afe.append(r.value(QStringLiteral("afeTemperature")).toDouble());
        }
    }
    e->countRateRsd = icr.rsd();
    e->peakPositionRsd = peak.rsd();
    e->resolutionSpreadEv = resolution.spread();
    if (e->countRateRsd > limits.countRateRsdMax)
        e->failures << QStringLiteral("count rate spread %1 exceeds %2")
                           .arg(percent(e->countRateRsd), percent(limits.countRateRsdMax));
    if (e->peakPositionRsd > limits.peakPositionRsdMax)
        e->failures << QStringLiteral("peak position spread %1 exceeds %2")
                           .arg(percent(e->peakPositionRsd), percent(limits.peakPositionRsdMax));
    if (e->resolutionSpreadEv > limits.resolutionSpreadMaxEv)
        e->failures << QStringLiteral("resolution spread %1 eV exceeds %2 eV")
                           .arg(e->resolutionSpreadEv, 0, 'f', 1)
                           .arg(limits.resolutionSpreadMaxEv);
    Series gains;
    gains.values = gain;
    Series temperatures;
    temperatures.values = afe;
    if (!gain.isEmpty()) {
        e->gainOffsetCorrection = gains.mean();
        e->gainSlopeCorrection = slopeOf(afe, gain);
        e->temperatureAtCal = temperatures.mean();
    }
}

} // namespace

QJsonObject SimStabilityEvaluation::toJson() const
{
    return {{QStringLiteral("shots"), shots},
            {QStringLiteral("retriedShots"), retriedShots},
            {QStringLiteral("countRateRsd"), countRateRsd},
            {QStringLiteral("peakPositionRsd"), peakPositionRsd},
            {QStringLiteral("resolutionSpreadEv"), resolutionSpreadEv},
            {QStringLiteral("failures"), QJsonArray::fromStringList(failures)}};
}

SimStabilityEvaluation evaluateStabilitySummary(const QJsonObject &summary,
                                                const SimStabilityLimits &limits)
{
    SimStabilityEvaluation e;
    const QJsonArray records = summary.value(QStringLiteral("data")).toArray();
    e.shots = records.size();
    for (const QJsonValue &value : records) {
        if (value.toObject().value(QStringLiteral("exposureRetries")).toInt() > 0)
            ++e.retriedShots;
    }
    if (e.shots == 0)
        e.failures << QStringLiteral("the summary holds no shots");
    const int allowed = int(std::floor(e.shots * limits.retriedShotFractionMax));
    if (e.retriedShots > allowed)
        e.failures << QStringLiteral("%1 of %2 shots were retried (at most %3)")
                          .arg(e.retriedShots)
                          .arg(e.shots)
                          .arg(allowed);
    if (!summary.value(QStringLiteral("collimatedTest")).toBool())
        judgeSpread(records, limits, &e);
    e.passed = e.failures.isEmpty();
    return e;
}
