#pragma once

#include "reportsections.h"

#include <QList>
#include <QString>

// One self-contained HTML page: inline styles, inline SVG plots and a short script that marks
// each plot with the size it rendered at (data-rendered-width, -height, -marks), so a headless
// browser can tell that every plot was drawn. Nothing is fetched from anywhere.
class ReportPage
{
public:
    // The page of an instrument root, from its files alone.
    static QString forRoot(const QString &root);
    static QString page(const QString &title, const QString &summaryHtml,
                        const QList<ReportSection> &sections);
    // Writes the page atomically; false with a message naming the file.
    static bool write(const QString &path, const QString &html, QString *errorMsg);
};
