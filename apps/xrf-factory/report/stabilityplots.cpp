// The stability runs: count rate, peak positions and resolution (Br/Cu ratio on the collimated
// run) shot after shot, from the shots the line logged.

#include "reportsections.h"
#include "svgplot.h"

namespace {
const int kSmallWidth = 440;
const int kSmallHeight = 240;

struct ShotSeries
{
    QVector<double> shot;
    QVector<double> icr;
    QVector<double> peak1;
    QVector<double> peak2;
    QVector<double> resolution;
    QVector<double> brOverCu;
};

ShotSeries shotSeries(const QJsonArray &shots)
{
    ShotSeries s;
    for (const QJsonValue &value : shots) {
        const QJsonObject shot = value.toObject();
        s.shot << shot.value(QStringLiteral("iteration")).toDouble();
        s.icr << shot.value(QStringLiteral("icr")).toDouble(qQNaN());
        const double peak1 = shot.value(QStringLiteral("spectrumPeak1Channel")).toDouble(-1);
        const double peak2 = shot.value(QStringLiteral("spectrumPeak2Channel")).toDouble(-1);
        const double resolution = shot.value(QStringLiteral("spectrumResolution")).toDouble(-1);
        s.peak1 << (peak1 > 0 ? peak1 : qQNaN());
        s.peak2 << (peak2 > 0 ? peak2 : qQNaN());
        s.resolution << (resolution > 0 ? resolution : qQNaN());
        const double cu = shot.value(QStringLiteral("collimatedCuCounts")).toDouble();
        s.brOverCu << (cu > 0 ? shot.value(QStringLiteral("collimatedBrCounts")).toDouble() / cu
                              : qQNaN());
    }
    return s;
}

bool anyFinite(const QVector<double> &values)
{
    for (double v : values) {
        if (qIsFinite(v))
            return true;
    }
    return false;
}

QString smallPlot(const QString &id, const QString &title, const QString &yLabel,
                  const QList<QPair<QString, QVector<double>>> &series,
                  const QVector<double> &shots)
{
    SvgPlot plot(id, title);
    plot.setSize(kSmallWidth, kSmallHeight);
    plot.setAxes(QStringLiteral("shot"), yLabel);
    plot.setYFromZero(false);
    for (const auto &one : series)
        plot.addSeries(one.first, SvgPlot::Points, shots, one.second);
    return plot.toHtml();
}

void addRun(const ReportData &data, const QString &step, const QString &title,
            QList<ReportSection> *sections)
{
    const QJsonArray shots = data.lineStep(step).value(QStringLiteral("shots")).toArray();
    if (shots.isEmpty())
        return;
    const ShotSeries s = shotSeries(shots);
    QString html = QStringLiteral("<div class=\"row\">");
    html += smallPlot(step + QStringLiteral("Icr"), QStringLiteral("Count rate"),
                      QStringLiteral("ICR (cps)"), {{QStringLiteral("ICR"), s.icr}}, s.shot);
    if (anyFinite(s.peak1))
        html += smallPlot(
            step + QStringLiteral("Peaks"), QStringLiteral("Peak positions"),
            QStringLiteral("channel"),
            {{QStringLiteral("peak 1"), s.peak1}, {QStringLiteral("peak 2"), s.peak2}}, s.shot);
    if (anyFinite(s.resolution))
        html += smallPlot(step + QStringLiteral("Resolution"), QStringLiteral("Resolution"),
                          QStringLiteral("FWHM (eV)"),
                          {{QStringLiteral("resolution"), s.resolution}}, s.shot);
    if (anyFinite(s.brOverCu))
        html += smallPlot(step + QStringLiteral("BrCu"), QStringLiteral("Br/Cu counts"),
                          QStringLiteral("ratio"), {{QStringLiteral("Br/Cu"), s.brOverCu}}, s.shot);
    html += QStringLiteral("</div>");
    const QJsonObject meta = data.lastResult.value(step)
                                 .toObject()
                                 .value(QStringLiteral("stabilityTestMetaInfo"))
                                 .toObject();
    if (!meta.isEmpty())
        html += QStringLiteral("<p>%1 of %2 shots; outcome %3; passed: %4. %5</p>")
                    .arg(meta.value(QStringLiteral("shotsTaken")).toInt())
                    .arg(meta.value(QStringLiteral("intendedShots")).toInt())
                    .arg(SvgPlot::escape(meta.value(QStringLiteral("runOutcome")).toString()),
                         meta.value(QStringLiteral("hasPassed")).toBool() ? QStringLiteral("yes")
                                                                          : QStringLiteral("no"),
                         SvgPlot::escape(meta.value(QStringLiteral("errorMsg")).toString()));
    sections->append({step, title, html});
}
} // namespace

void addStabilityShots(const ReportData &data, QList<ReportSection> *sections)
{
    addRun(data, QStringLiteral("stability"), QStringLiteral("Stability test"), sections);
    addRun(data, QStringLiteral("collimatedStability"), QStringLiteral("Collimated stability test"),
           sections);
}
