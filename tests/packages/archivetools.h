#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The archive checks of the package tests, through the unzip program (an argument list, no
// shell): what an engineer who receives the archive sees.
namespace ArchiveTools {

// True when `unzip -t` finds no error in the archive.
bool passesUnzipTest(const QString &archive, QString *output = nullptr);
// The entry names (`unzip -Z1`).
QStringList entries(const QString &archive);
// One entry's content (`unzip -p`).
QByteArray entry(const QString &archive, const QString &name);

} // namespace ArchiveTools
