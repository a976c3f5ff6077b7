#pragma once

#include <QStringList>

class QCommandLineParser;

// `xrf-factory batch --model M --units N --jobs J [--dir DIR]`: a batch of simulated units
// against one simulated cloud; prints the yield and writes the batch report.
int batchCommand(QCommandLineParser &parser, const QStringList &arguments);
