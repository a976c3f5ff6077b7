// The air shots: each beam's background rate against its safe rate and the limit.

#include "reportsections.h"
#include "svgplot.h"

void addAirShots(const ReportData &data, QList<ReportSection> *sections)
{
    const QJsonObject shots = data.lastResult.value(QStringLiteral("airShot"))
                                  .toObject()
                                  .value(QStringLiteral("data"))
                                  .toObject();
    QStringList categories;
    QVector<double> background;
    QVector<double> safe;
    QVector<double> limit;
    QList<QStringList> rows;
    for (const char *group : {"unCollimatedShots", "collimatedShots"}) {
        for (const QJsonValue &value : shots.value(QLatin1String(group)).toArray()) {
            const QJsonObject shot = value.toObject();
            const bool collimated = shot.value(QStringLiteral("isCollimatedAirShot")).toBool();
            const QString name = shot.value(QStringLiteral("beamName")).toString()
                + (collimated ? QStringLiteral(" (coll.)") : QString());
            const bool checked = shot.value(QStringLiteral("safeBackgroundRateChecked")).toBool();
            categories << name;
            background << shot.value(QStringLiteral("calculatedBackgoundRate")).toDouble();
            safe << (checked ? shot.value(QStringLiteral("safeBackgroundRate")).toDouble()
                             : qQNaN());
            limit << (checked ? shot.value(QStringLiteral("safeBackgroundRateLimit")).toDouble()
                              : qQNaN());
            rows << QStringList{
                SvgPlot::escape(name), QString::number(background.last(), 'f', 1),
                checked ? QString::number(safe.last()) : QStringLiteral("-"),
                checked ? QString::number(limit.last()) : QStringLiteral("-"),
                shot.value(QStringLiteral("hasFailed")).toBool() ? QStringLiteral("FAILED ")
                        + SvgPlot::escape(shot.value(QStringLiteral("errorMsg")).toString())
                                                                 : QStringLiteral("passed")};
        }
    }
    if (categories.isEmpty())
        return;
    SvgPlot plot(QStringLiteral("airShots"),
                 QStringLiteral("Air backgrounds against their safe rates"));
    plot.setSize(900, 300);
    plot.setCategories(categories);
    plot.setAxes(QStringLiteral("beam"), QStringLiteral("background (cps)"));
    plot.addSeries(QStringLiteral("background"), SvgPlot::Bars, QVector<double>(), background);
    plot.addSeries(QStringLiteral("safe rate"), SvgPlot::Bars, QVector<double>(), safe);
    plot.addSeries(QStringLiteral("limit"), SvgPlot::Bars, QVector<double>(), limit);
    const QString html = plot.toHtml()
        + htmlTable(QStringLiteral("data"),
                    {QStringLiteral("Beam"), QStringLiteral("Background cps"),
                     QStringLiteral("Safe cps"), QStringLiteral("Limit cps"),
                     QStringLiteral("Result")},
                    rows);
    sections->append({QStringLiteral("airShots"), QStringLiteral("Air shots"), html});
}
