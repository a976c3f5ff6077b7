#include "reportsections.h"

// The sections in the order of the line, each a builder in its own file that reads the step's
// record and draws with SvgPlot. A builder adds nothing when its data is absent, so a section
// appears only when the step ran.
const QList<SectionBuilder> &reportSections()
{
    static const QList<SectionBuilder> sections = {
        addStepTable, addFilterScan,    addFpgaGain,        addStabilityShots, addBeams,
        addAirShots,  addMethodResults, addCalibrationFits, addQcErrors,
    };
    return sections;
}

QString htmlTable(const QString &cssClass, const QStringList &header,
                  const QList<QStringList> &rows)
{
    QString html = QStringLiteral("<table class=\"%1\"><thead><tr>").arg(cssClass);
    for (const QString &cell : header)
        html += QStringLiteral("<th>") + cell + QStringLiteral("</th>");
    html += QStringLiteral("</tr></thead><tbody>");
    for (const QStringList &row : rows) {
        html += QStringLiteral("<tr>");
        for (const QString &cell : row)
            html += QStringLiteral("<td>") + cell + QStringLiteral("</td>");
        html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</tbody></table>");
}
