// The cloud's factor sets: each method's calibration fit, certified concentration against net
// line intensity per element with the fitted line, and the QC summary's error per standard.
// Both are read from the installed method folders (installedCalibrations).

#include "reportsections.h"
#include "svgplot.h"

#include <algorithm>

namespace {

const int kFitWidth = 320;
const int kFitHeight = 220;

QString number(double value, int significant = 4)
{
    return QString::number(value, 'g', significant);
}

QString fitPlot(const QString &method, const QJsonObject &element)
{
    QVector<double> intensity;
    QVector<double> certified;
    for (const QJsonValue &point : element.value(QStringLiteral("points")).toArray()) {
        intensity << point.toObject().value(QStringLiteral("intensity")).toDouble(qQNaN());
        certified << point.toObject().value(QStringLiteral("certified")).toDouble(qQNaN());
    }
    if (intensity.isEmpty())
        return QString();
    const QString symbol = element.value(QStringLiteral("element")).toString();
    const double slope = element.value(QStringLiteral("slope")).toDouble();
    const double intercept = element.value(QStringLiteral("intercept")).toDouble();
    const auto [low, high] = std::minmax_element(intensity.cbegin(), intensity.cend());
    SvgPlot plot(QStringLiteral("fit-%1-%2").arg(method, symbol),
                 QStringLiteral("%1 %2 %3, beam %4: R² %5")
                     .arg(method, symbol, element.value(QStringLiteral("line")).toString())
                     .arg(element.value(QStringLiteral("beam")).toInt())
                     .arg(number(element.value(QStringLiteral("rSquared")).toDouble())));
    plot.setSize(kFitWidth, kFitHeight);
    plot.setAxes(QStringLiteral("net intensity (cps)"), QStringLiteral("mass fraction"));
    plot.addSeries(QStringLiteral("standards"), SvgPlot::Points, intensity, certified);
    plot.addSeries(QStringLiteral("fit"), SvgPlot::Line, {*low, *high},
                   {intercept + slope * *low, intercept + slope * *high});
    return plot.toHtml();
}

QStringList fitRow(const QString &method, const QJsonObject &element)
{
    return {SvgPlot::escape(method),
            SvgPlot::escape(element.value(QStringLiteral("element")).toString()),
            SvgPlot::escape(element.value(QStringLiteral("line")).toString()),
            QString::number(element.value(QStringLiteral("beam")).toInt()),
            number(element.value(QStringLiteral("slope")).toDouble()),
            number(element.value(QStringLiteral("intercept")).toDouble()),
            number(element.value(QStringLiteral("rSquared")).toDouble(), 5),
            QString::number(element.value(QStringLiteral("standards")).toInt()),
            SvgPlot::escape(element.value(QStringLiteral("worstStandard")).toString()),
            number(element.value(QStringLiteral("worstAbsError")).toDouble(), 3)};
}

// The largest error per element and the rows of every standard of one QC summary.
QString qcPlot(const QString &method, const QJsonObject &summary, QList<QStringList> *rows)
{
    QStringList elements;
    QVector<double> worst;
    for (const QJsonValue &value : summary.value(QStringLiteral("elements")).toArray()) {
        const QJsonObject element = value.toObject();
        const QString symbol = element.value(QStringLiteral("element")).toString();
        double largest = 0;
        for (const QJsonValue &standard : element.value(QStringLiteral("standards")).toArray()) {
            const QJsonObject entry = standard.toObject();
            const double error = entry.value(QStringLiteral("absError")).toDouble();
            largest = std::max(largest, error);
            *rows << QStringList{
                SvgPlot::escape(method),
                SvgPlot::escape(symbol),
                SvgPlot::escape(entry.value(QStringLiteral("standard")).toString()),
                number(entry.value(QStringLiteral("certified")).toDouble()),
                number(entry.value(QStringLiteral("computed")).toDouble()),
                number(error, 3)};
        }
        elements << symbol;
        worst << largest;
    }
    if (elements.isEmpty())
        return QString();
    const bool passed = summary.value(QStringLiteral("passed")).toBool();
    SvgPlot plot(QStringLiteral("qc-") + method,
                 QStringLiteral("%1 QC summary: %2")
                     .arg(method, passed ? QStringLiteral("passed") : QStringLiteral("FAILED")));
    plot.setSize(kFitWidth + 120, kFitHeight);
    plot.setCategories(elements);
    plot.setAxes(QStringLiteral("element"), QStringLiteral("largest |error| (mass fraction)"));
    plot.addSeries(QStringLiteral("largest error"), SvgPlot::Bars, QVector<double>(), worst);
    plot.addHorizontalMarker(summary.value(QStringLiteral("tolerance")).toDouble(),
                             QStringLiteral("tolerance"));
    return plot.toHtml();
}

} // namespace

void addCalibrationFits(const ReportData &data, QList<ReportSection> *sections)
{
    QString plots;
    QList<QStringList> rows;
    for (const InstalledCalibration &method : installedCalibrations(data.root)) {
        for (const QJsonValue &value :
             method.calibration.value(QStringLiteral("elements")).toArray()) {
            plots += fitPlot(method.methodId, value.toObject());
            rows << fitRow(method.methodId, value.toObject());
        }
    }
    if (rows.isEmpty())
        return;
    const QString html = QStringLiteral("<div class=\"row\">") + plots + QStringLiteral("</div>")
        + htmlTable(QStringLiteral("data"),
                    {QStringLiteral("Method"), QStringLiteral("Element"), QStringLiteral("Line"),
                     QStringLiteral("Beam"), QStringLiteral("Slope"), QStringLiteral("Intercept"),
                     QStringLiteral("R²"), QStringLiteral("Standards"),
                     QStringLiteral("Worst standard"), QStringLiteral("Worst |error|")},
                    rows);
    sections->append({QStringLiteral("calibrationFits"), QStringLiteral("Calibration fits"), html});
}

void addQcErrors(const ReportData &data, QList<ReportSection> *sections)
{
    QString plots;
    QList<QStringList> rows;
    for (const InstalledCalibration &method : installedCalibrations(data.root))
        plots += qcPlot(method.methodId, method.qcSummary, &rows);
    if (rows.isEmpty())
        return;
    const QString html = QStringLiteral("<div class=\"row\">") + plots + QStringLiteral("</div>")
        + htmlTable(QStringLiteral("data"),
                    {QStringLiteral("Method"), QStringLiteral("Element"),
                     QStringLiteral("Standard"), QStringLiteral("Certified"),
                     QStringLiteral("Computed"), QStringLiteral("|Error|")},
                    rows);
    sections->append({QStringLiteral("qcErrors"), QStringLiteral("QC summary errors"), html});
}
