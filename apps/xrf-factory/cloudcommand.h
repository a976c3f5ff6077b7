#pragma once

#include <QStringList>

class QCommandLineParser;

// `xrf-factory cloud`: the simulated manufacturing cloud on its own, for curl and manual use.
int cloudCommand(QCommandLineParser &parser, const QStringList &arguments);
