#include "reportpage.h"

#include "svgplot.h"

#include "xrfutils.h"

#include <QDateTime>

namespace {

const char *const kStyle = R"(
body { font-family: "DejaVu Sans", Arial, sans-serif; margin: 24px; color: #222; background: #fff; }
h1 { font-size: 22px; margin: 0 0 8px 0; }
h2 { font-size: 17px; margin: 28px 0 8px 0; border-bottom: 1px solid #ddd; padding-bottom: 4px; }
table { border-collapse: collapse; font-size: 12px; margin: 8px 0; }
th, td { border: 1px solid #ddd; padding: 3px 8px; text-align: left; vertical-align: top; }
th { background: #f2f4f7; }
td.num { text-align: right; }
table.steps td:nth-child(3) { white-space: nowrap; }
tr.substep td:first-child { padding-left: 24px; color: #555; }
td.result { font-weight: bold; }
td.passed { color: #1e7d3a; } td.failed, td.interrupted { color: #b3261e; }
td.skipped, td.not-run { color: #8a6d00; }
.summary td:first-child { font-weight: bold; }
.problem { color: #b3261e; }
nav a { margin-right: 12px; font-size: 13px; }
figure.chart { display: inline-block; margin: 4px 12px 4px 0; }
.row { display: flex; flex-wrap: wrap; }
.legend { font-size: 11px; } .legend span { margin-right: 12px; }
.legend i { display: inline-block; width: 10px; height: 10px; margin-right: 4px; }
)";

// Runs once the page is laid out: the size each plot took and how many marks it drew.
const char *const kRenderCheck = R"(
(function () {
  var plots = document.querySelectorAll('svg.plot');
  var rendered = 0;
  for (var i = 0; i !== plots.length; i++) {
    var svg = plots[i];
    var box = svg.getBoundingClientRect();
    var marks = svg.querySelectorAll('.mark');
    var drawn = 0;
    for (var j = 0; j !== marks.length; j++) {
      var b = marks[j].getBBox();
      if (b.width > 0 || b.height > 0) { drawn++; }
    }
    svg.setAttribute('data-rendered-width', Math.round(box.width));
    svg.setAttribute('data-rendered-height', Math.round(box.height));
    svg.setAttribute('data-rendered-marks', drawn);
    if (box.width > 0) { if (box.height > 0) { if (drawn > 0) { rendered++; } } }
  }
  document.body.setAttribute('data-plots', plots.length);
  document.body.setAttribute('data-plots-rendered', rendered);
})();
)";

QString summaryOf(const ReportData &data)
{
    const FactoryState &state = data.state;
    QList<QStringList> rows = {
        {QStringLiteral("Instrument root"), SvgPlot::escape(data.root)},
        {QStringLiteral("Model"),
         SvgPlot::escape(data.runLog.value(QStringLiteral("model")).toString())},
        {QStringLiteral("Serial"),
         SvgPlot::escape(data.runLog.value(QStringLiteral("serial")).toString())},
        {QStringLiteral("Factory steps completed"), QString::number(state.factoryStepsCompleted)},
        {QStringLiteral("Next step"), SvgPlot::escape(state.currentStep)},
    };
    if (!state.interruptedStep.isEmpty())
        rows << QStringList{QStringLiteral("Interrupted during"),
                            SvgPlot::escape(state.interruptedStep)};
    QString html = htmlTable(QStringLiteral("summary"),
                             {QStringLiteral("Item"), QStringLiteral("Value")}, rows);
    for (const QString &problem : data.problems)
        html += QStringLiteral("<p class=\"problem\">Could not read: %1</p>")
                    .arg(SvgPlot::escape(problem));
    return html;
}

} // namespace

QString ReportPage::forRoot(const QString &root)
{
    const ReportData data = ReportData::load(root);
    QList<ReportSection> sections;
    for (SectionBuilder build : reportSections())
        build(data, &sections);
    const QString serial = data.runLog.value(QStringLiteral("serial")).toString();
    return page(QStringLiteral("Factory report %1").arg(serial).trimmed(), summaryOf(data),
                sections);
}

QString ReportPage::page(const QString &title, const QString &summaryHtml,
                         const QList<ReportSection> &sections)
{
    QString html =
        QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"/>"
                       "<title>%1</title><style>%2</style></head><body>")
            .arg(SvgPlot::escape(title), QString::fromLatin1(kStyle));
    html += QStringLiteral("<h1>%1</h1><p>Written %2 by xrf-factory.</p>")
                .arg(SvgPlot::escape(title), QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    html += summaryHtml + QStringLiteral("<nav>");
    for (const ReportSection &section : sections)
        html += QStringLiteral("<a href=\"#%1\">%2</a>")
                    .arg(section.id, SvgPlot::escape(section.title));
    html += QStringLiteral("</nav>");
    for (const ReportSection &section : sections)
        html += QStringLiteral("<section id=\"%1\"><h2>%2</h2>")
                    .arg(section.id, SvgPlot::escape(section.title))
            + section.html + QStringLiteral("</section>");
    html += QStringLiteral("<script>") + QString::fromLatin1(kRenderCheck)
        + QStringLiteral("</script></body></html>\n");
    return html;
}

bool ReportPage::write(const QString &path, const QString &html, QString *errorMsg)
{
    QString error;
    if (XrfUtils::writeFileAtomically(path, html.toUtf8(), &error) != XrfUtils::WriteResult::Ok) {
        *errorMsg = QStringLiteral("Cannot write the report %1: %2").arg(path, error);
        return false;
    }
    return true;
}
