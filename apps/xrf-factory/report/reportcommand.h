#pragma once

#include <QString>
#include <QStringList>

class QCommandLineParser;
class QTextStream;

// `xrf-factory report --root DIR [--out FILE]`: the HTML report of an instrument root.
int reportCommand(QCommandLineParser &parser, const QStringList &arguments);

// Writes the report of `root` to `file` and says where; false (with the reason on `err`) when it
// cannot be written.
bool writeReport(const QString &root, const QString &file, QTextStream &out, QTextStream &err);
