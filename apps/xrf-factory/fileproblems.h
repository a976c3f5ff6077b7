#pragma once

#include <QStringList>

// What `xrf-factory status` finds wrong with the files of an instrument root besides
// lastResult.json: settings and work order files that cannot be read or hold a value of the
// wrong type, and files the recorded steps relied on that are gone. Each problem names the file
// and, where one is at fault, the key.
namespace FileProblems {

// `passedSteps`: the names of the steps lastResult.json records as passed.
QStringList scan(const QString &homeDir, const QStringList &passedSteps);

} // namespace FileProblems
