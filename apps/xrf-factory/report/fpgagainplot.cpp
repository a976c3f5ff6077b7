// The FPGA gain setup: the Fe and Mo peaks of the first exposure and of the check after the
// correction, on the channel axis, where the correction moves them.

#include "reportsections.h"
#include "svgplot.h"

#include <algorithm>

namespace {
const double kMarginChannels = 0.25;
}

void addFpgaGain(const ReportData &data, QList<ReportSection> *sections)
{
    const QJsonArray iterations = data.hardwareSubStep(QStringLiteral("fpgaGainSetup"))
                                      .value(QStringLiteral("iterations"))
                                      .toArray();
    if (iterations.isEmpty())
        return;
    SvgPlot plot(QStringLiteral("fpgaGain"),
                 QStringLiteral("FPGA gain: peaks before and after the correction"));
    plot.setAxes(QStringLiteral("channel"), QStringLiteral("counts"));
    plot.setSize(900, 300);
    QList<QStringList> rows;
    double low = 1e9;
    double high = 0;
    const QList<int> shown =
        iterations.size() > 1 ? QList<int>{0, int(iterations.size()) - 1} : QList<int>{0};
    for (int index : shown) {
        const QJsonObject iteration = iterations.at(index).toObject();
        const QString name = index == 0 ? QStringLiteral("before") : QStringLiteral("after");
        const QVector<double> counts = numbers(iteration.value(QStringLiteral("spectrum"))
                                                   .toObject()
                                                   .value(QStringLiteral("data"))
                                                   .toArray());
        plot.addSeries(name, SvgPlot::Line, QVector<double>(), counts);
        for (const char *key : {"peak1", "peak2"}) {
            const double peak = iteration.value(QLatin1String(key)).toDouble();
            low = std::min(low, peak);
            high = std::max(high, peak);
            plot.addVerticalMarker(peak, QStringLiteral("%1 %2").arg(name, QLatin1String(key)));
        }
        rows << QStringList{
            name,
            QString::number(iteration.value(QStringLiteral("oldGain")).toInt()),
            QString::number(iteration.value(QStringLiteral("newGain")).toInt()),
            QString::number(iteration.value(QStringLiteral("peak1")).toDouble(), 'f', 1),
            QString::number(iteration.value(QStringLiteral("peak2")).toDouble(), 'f', 1),
            QString::number(iteration.value(QStringLiteral("oldBinSize")).toDouble(), 'f', 3)};
    }
    if (high > low)
        plot.setXRange(std::max(0.0, low - (high - low) * kMarginChannels),
                       high + (high - low) * kMarginChannels);
    const QString html = plot.toHtml()
        + htmlTable(QStringLiteral("data"),
                    {QStringLiteral("Exposure"), QStringLiteral("Gain"),
                     QStringLiteral("Corrected gain"), QStringLiteral("Peak 1 (ch)"),
                     QStringLiteral("Peak 2 (ch)"), QStringLiteral("eV per channel")},
                    rows);
    sections->append({QStringLiteral("fpgaGain"), QStringLiteral("FPGA gain setup"), html});
}
