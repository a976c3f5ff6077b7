// The beams setup: each beam's count rate over its current iterations, against its target.

#include "reportsections.h"
#include "svgplot.h"

namespace {
const int kSmallWidth = 440;
const int kSmallHeight = 240;
} // namespace

void addBeams(const ReportData &data, QList<ReportSection> *sections)
{
    const QJsonArray beams = data.lastResult.value(QStringLiteral("beamsSetup"))
                                 .toObject()
                                 .value(QStringLiteral("result"))
                                 .toObject()
                                 .value(QStringLiteral("beams"))
                                 .toArray();
    QString plots;
    QList<QStringList> rows;
    for (const QJsonValue &value : beams) {
        const QJsonObject beam = value.toObject();
        const QString name = beam.value(QStringLiteral("beamName")).toString();
        QVector<double> iteration;
        QVector<double> icr;
        QVector<double> current;
        for (const QJsonValue &group : beam.value(QStringLiteral("iterationGroups")).toArray()) {
            iteration << group.toObject().value(QStringLiteral("iterNumber")).toDouble();
            icr << group.toObject().value(QStringLiteral("iterICR")).toDouble();
            current << group.toObject().value(QStringLiteral("iterCurrent")).toDouble();
        }
        if (icr.isEmpty())
            continue;
        const double target = beam.value(QStringLiteral("targetICR")).toDouble();
        const double tolerance = beam.value(QStringLiteral("icrTolerance")).toDouble();
        SvgPlot plot(QStringLiteral("beam-") + name,
                     QStringLiteral("%1 on %2")
                         .arg(name, beam.value(QStringLiteral("targetSample")).toString()));
        plot.setSize(kSmallWidth, kSmallHeight);
        plot.setAxes(QStringLiteral("iteration"), QStringLiteral("ICR (cps)"));
        plot.addSeries(QStringLiteral("ICR"), SvgPlot::Points, iteration, icr);
        plot.addHorizontalMarker(target, QStringLiteral("target"));
        if (tolerance > 0) {
            plot.addHorizontalMarker(target - tolerance, QStringLiteral("-tol"));
            plot.addHorizontalMarker(target + tolerance, QStringLiteral("+tol"));
        }
        plots += plot.toHtml();
        rows << QStringList{
            SvgPlot::escape(name),
            SvgPlot::escape(beam.value(QStringLiteral("targetSample")).toString()),
            QString::number(target, 'f', 0),
            QString::number(beam.value(QStringLiteral("actualCps")).toDouble(), 'f', 0),
            QString::number(beam.value(QStringLiteral("tubeCurrentUa")).toDouble(), 'f', 2),
            QString::number(icr.size()),
            beam.value(QStringLiteral("hasFailed")).toBool() ? QStringLiteral("FAILED ")
                    + SvgPlot::escape(beam.value(QStringLiteral("errorMsg")).toString())
                                                             : QStringLiteral("passed")};
    }
    if (rows.isEmpty())
        return;
    const QString html = QStringLiteral("<div class=\"row\">") + plots + QStringLiteral("</div>")
        + htmlTable(QStringLiteral("data"),
                    {QStringLiteral("Beam"), QStringLiteral("Sample"), QStringLiteral("Target cps"),
                     QStringLiteral("Reached cps"), QStringLiteral("Current uA"),
                     QStringLiteral("Iterations"), QStringLiteral("Result")},
                    rows);
    sections->append({QStringLiteral("beams"), QStringLiteral("Beams setup"), html});
}
