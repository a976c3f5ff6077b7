// The step table: every step the root has a record of, with its result, start, duration and
// message; the hardware setup's sub-steps beneath it.

#include "reportsections.h"
#include "runlog.h"
#include "stepsequence.h"
#include "svgplot.h"

#include <QDateTime>

namespace {

struct StepRow
{
    QString step;
    QString result;
    QString start;
    double seconds = -1;
    QString message;
    bool subStep = false;
};

double secondsBetween(const QString &start, const QString &end)
{
    const QDateTime from = QDateTime::fromString(start, Qt::ISODate);
    const QDateTime to = QDateTime::fromString(end, Qt::ISODate);
    return from.isValid() && to.isValid() ? from.msecsTo(to) / 1000.0 : -1;
}

// A step the line did not log (a root from another line, or an older one): its record.
StepRow rowFromRecord(const QString &step, const QJsonObject &record)
{
    StepRow row;
    row.step = step;
    row.result = FactoryState::recordStatus(record).toUpper();
    row.start = record.value(QStringLiteral("startTime")).toString();
    row.seconds = secondsBetween(row.start, record.value(QStringLiteral("endTime")).toString());
    const QJsonObject meta = record.value(QStringLiteral("stabilityTestMetaInfo")).toObject();
    row.message = meta.value(QStringLiteral("errorMsg")).toString();
    return row;
}

StepRow rowFromLog(const QJsonObject &entry)
{
    StepRow row;
    row.step = entry.value(QStringLiteral("step")).toString();
    row.result = entry.value(QStringLiteral("result")).toString();
    if (row.result == RunLog::kRunning)
        row.result = QStringLiteral("INTERRUPTED");
    row.start = entry.value(QStringLiteral("startTime")).toString();
    row.seconds = entry.value(QStringLiteral("seconds")).toDouble(-1);
    row.message = entry.value(QStringLiteral("detail")).toString();
    return row;
}

QList<StepRow> hardwareSubSteps(const QJsonObject &hardwareSetup)
{
    QList<StepRow> rows;
    const QJsonArray steps = hardwareSetup.value(QStringLiteral("result"))
                                 .toObject()
                                 .value(QStringLiteral("hardwareSetupSteps"))
                                 .toArray();
    for (const QJsonValue &value : steps) {
        const QJsonObject step = value.toObject();
        StepRow row;
        row.subStep = true;
        row.step = step.value(QStringLiteral("stepId")).toString();
        const bool done = step.value(QStringLiteral("isDone")).toBool();
        row.result = !done                                     ? QStringLiteral("NOT RUN")
            : step.value(QStringLiteral("hasFailed")).toBool() ? QStringLiteral("FAILED")
                                                               : QStringLiteral("PASSED");
        row.start = step.value(QStringLiteral("startTime")).toString();
        row.seconds = secondsBetween(row.start, step.value(QStringLiteral("endTime")).toString());
        row.message = step.value(QStringLiteral("statusMsg")).toString();
        rows << row;
    }
    return rows;
}

QList<StepRow> stepRows(const ReportData &data)
{
    QList<StepRow> rows;
    QStringList order = StepSequence::allSteps() + StepSequence::pseudoSteps();
    for (const QString &step : qAsConst(order)) {
        const QJsonObject entry = data.lineStep(step);
        const QJsonObject record = data.lastResult.value(step).toObject();
        if (!entry.isEmpty())
            rows << rowFromLog(entry);
        else if (!record.isEmpty())
            rows << rowFromRecord(step, record);
        else
            continue;
        if (step == QLatin1String("hardwareSetup"))
            rows << hardwareSubSteps(record);
    }
    return rows;
}

QString rowHtml(const StepRow &row)
{
    const QString resultClass = row.result.toLower().replace(QLatin1Char(' '), QLatin1Char('-'));
    return QStringLiteral("<tr class=\"%1\" data-step=\"%2\" data-result=\"%3\" "
                          "data-seconds=\"%4\"><td>%5</td><td class=\"result %6\">%3</td>"
                          "<td>%7</td><td class=\"num\">%8</td><td>%9</td></tr>")
        .arg(row.subStep ? QStringLiteral("substep") : QStringLiteral("step"),
             SvgPlot::escape(row.step), SvgPlot::escape(row.result),
             QString::number(row.seconds, 'f', 3), SvgPlot::escape(row.step), resultClass,
             SvgPlot::escape(row.start),
             row.seconds < 0 ? QString() : QString::number(row.seconds, 'f', 1),
             SvgPlot::escape(row.message));
}

} // namespace

void addStepTable(const ReportData &data, QList<ReportSection> *sections)
{
    const QList<StepRow> rows = stepRows(data);
    QString html;
    if (rows.isEmpty()) {
        html = QStringLiteral("<p>No step has run on this root yet.</p>");
    } else {
        html = QStringLiteral("<table class=\"steps\"><thead><tr><th>Step</th><th>Result</th>"
                              "<th>Started (UTC)</th><th>Seconds</th><th>Message</th></tr>"
                              "</thead><tbody>");
        for (const StepRow &row : rows)
            html += rowHtml(row);
        html += QStringLiteral("</tbody></table>");
    }
    sections->append({QStringLiteral("steps"), QStringLiteral("Factory steps"), html});
}
