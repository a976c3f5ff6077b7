// The cloud calibration and the final QC per method: the status the library keeps of each.

#include "reportsections.h"
#include "svgplot.h"

namespace {

QList<QStringList> factorSetRows(const QJsonObject &record)
{
    QList<QStringList> rows;
    for (const QJsonValue &value : record.value(QStringLiteral("methodsStatus")).toArray()) {
        const QJsonObject method = value.toObject();
        QString error = method.value(QStringLiteral("errorMsg")).toString();
        if (error.isEmpty())
            error = method.value(QStringLiteral("error")).toString();
        rows << QStringList{SvgPlot::escape(method.value(QStringLiteral("methodName")).toString()),
                            SvgPlot::escape(method.value(QStringLiteral("status")).toString()),
                            method.value(QStringLiteral("hasFailed")).toBool()
                                ? QStringLiteral("FAILED")
                                : QStringLiteral("passed"),
                            SvgPlot::escape(error)};
    }
    return rows;
}

QList<QStringList> finalQcRows(const QJsonObject &record)
{
    QList<QStringList> rows;
    for (const QJsonValue &value : record.value(QStringLiteral("status")).toArray()) {
        const QJsonObject method = value.toObject();
        rows << QStringList{
            SvgPlot::escape(method.value(QStringLiteral("methodId")).toString()),
            SvgPlot::escape(method.value(QStringLiteral("overallStatus")).toString()),
            method.value(QStringLiteral("haveTemplate")).toBool() ? QStringLiteral("yes")
                                                                  : QStringLiteral("no"),
            SvgPlot::escape(method.value(QStringLiteral("error")).toString())};
    }
    return rows;
}

} // namespace

void addMethodResults(const ReportData &data, QList<ReportSection> *sections)
{
    const QStringList header = {QStringLiteral("Method"), QStringLiteral("Status"),
                                QStringLiteral("Result"), QStringLiteral("Message")};
    for (const auto &kind :
         {qMakePair(QStringLiteral("factorSet"), QStringLiteral("Factor set")),
          qMakePair(QStringLiteral("qcSummary"), QStringLiteral("QC summary"))}) {
        const QList<QStringList> rows = factorSetRows(data.lastResult.value(kind.first).toObject());
        if (!rows.isEmpty())
            sections->append(
                {kind.first, kind.second, htmlTable(QStringLiteral("data"), header, rows)});
    }
    const QList<QStringList> rows =
        finalQcRows(data.lastResult.value(QStringLiteral("finalQc")).toObject());
    if (!rows.isEmpty())
        sections->append({QStringLiteral("finalQc"), QStringLiteral("Final QC"),
                          htmlTable(QStringLiteral("data"),
                                    {QStringLiteral("Method"), QStringLiteral("Status"),
                                     QStringLiteral("Template"), QStringLiteral("Error")},
                                    rows)});
}
