#pragma once

#include "reportdata.h"

#include <QList>
#include <QString>

// One section of the report: a heading and its HTML (tables, plots).
struct ReportSection
{
    QString id;
    QString title;
    QString html;
};

// A section builder appends its sections when the root holds their data, and nothing otherwise,
// so a report of a line that stopped early simply has fewer sections. One file per kind of plot.
using SectionBuilder = void (*)(const ReportData &data, QList<ReportSection> *sections);

void addStepTable(const ReportData &data, QList<ReportSection> *sections);
void addFilterScan(const ReportData &data, QList<ReportSection> *sections);
void addFpgaGain(const ReportData &data, QList<ReportSection> *sections);
void addStabilityShots(const ReportData &data, QList<ReportSection> *sections);
void addBeams(const ReportData &data, QList<ReportSection> *sections);
void addAirShots(const ReportData &data, QList<ReportSection> *sections);
void addMethodResults(const ReportData &data, QList<ReportSection> *sections);
void addCalibrationFits(const ReportData &data, QList<ReportSection> *sections);
void addQcErrors(const ReportData &data, QList<ReportSection> *sections);

// The sections in the order of the line.
const QList<SectionBuilder> &reportSections();

// A small HTML table: a header row and rows of already escaped cells.
QString htmlTable(const QString &cssClass, const QStringList &header,
                  const QList<QStringList> &rows);
