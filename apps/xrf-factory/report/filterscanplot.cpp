// The filter wheel sweep: the count rate over the encoder, with the positions the scan found.

#include "reportsections.h"
#include "svgplot.h"

void addFilterScan(const ReportData &data, QList<ReportSection> *sections)
{
    const QJsonObject scan = data.hardwareSubStep(QStringLiteral("filterScan"));
    const QVector<double> encoders =
        numbers(scan.value(QStringLiteral("monitoredEncoders")).toArray());
    const QVector<double> icr = numbers(scan.value(QStringLiteral("icr")).toArray());
    if (encoders.isEmpty() || encoders.size() != icr.size())
        return;
    SvgPlot plot(QStringLiteral("filterScan"), QStringLiteral("Filter wheel sweep"));
    plot.setAxes(QStringLiteral("encoder (ticks)"), QStringLiteral("ICR (cps)"));
    plot.setSize(900, 300);
    plot.addSeries(QStringLiteral("sweep"), SvgPlot::Line, encoders, icr);
    QVector<double> foundEncoder;
    QVector<double> foundIcr;
    QList<QStringList> rows;
    for (const QJsonValue &value : scan.value(QStringLiteral("filterScanResults")).toArray()) {
        const QJsonObject found = value.toObject();
        const double encoder = found.value(QStringLiteral("encoder")).toDouble();
        const int position = found.value(QStringLiteral("position")).toInt();
        foundEncoder << encoder;
        foundIcr << found.value(QStringLiteral("icr")).toDouble();
        plot.addVerticalMarker(encoder, QStringLiteral("F%1").arg(position));
        rows << QStringList{QString::number(position),
                            QString::number(found.value(QStringLiteral("approxEncoder")).toInt()),
                            QString::number(encoder),
                            QStringLiteral("%1-%2-%3")
                                .arg(found.value(QStringLiteral("materialAtomicNumber")).toInt())
                                .arg(found.value(QStringLiteral("thicknessInMicrons")).toInt())
                                .arg(found.value(QStringLiteral("diameterInMicrons")).toInt()),
                            QString::number(found.value(QStringLiteral("icr")).toDouble(), 'f', 0)};
    }
    plot.addSeries(QStringLiteral("found positions"), SvgPlot::Points, foundEncoder, foundIcr);
    QString html = plot.toHtml();
    if (scan.contains(QStringLiteral("linearFitSlope")))
        html += QStringLiteral("<p>Linear fit of the found positions: %1 ticks per position, "
                               "offset %2, R&#178; %3.</p>")
                    .arg(scan.value(QStringLiteral("linearFitSlope")).toDouble(), 0, 'f', 1)
                    .arg(scan.value(QStringLiteral("linearFitOffset")).toDouble(), 0, 'f', 1)
                    .arg(scan.value(QStringLiteral("linearFitRSquared")).toDouble(), 0, 'f', 6);
    html += htmlTable(QStringLiteral("data"),
                      {QStringLiteral("Position"), QStringLiteral("Nominal"),
                       QStringLiteral("Found"), QStringLiteral("Filter"), QStringLiteral("ICR")},
                      rows);
    sections->append({QStringLiteral("filterScan"), QStringLiteral("Filter wheel scan"), html});
}
