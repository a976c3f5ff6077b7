#pragma once

// What every fuzz target shares: the input as JSON, and an instrument root of its own below the
// system's temporary folder for the targets that read files.

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace FuzzInput {

inline QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), int(size));
}

// The input parsed as a JSON object; empty when it is not one.
QJsonObject object(const uint8_t *data, size_t size);

// Sets up a fresh instrument root for the process (once) and returns its home folder.
QString instrumentHome();

// Writes `content` to `path` as it is, creating the folders.
void writeFile(const QString &path, const QByteArray &content);

// Removes the files kept aside as unreadable below `folder`, which would pile up over millions of
// inputs.
void removeKeptAside(const QString &folder);

} // namespace FuzzInput

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
