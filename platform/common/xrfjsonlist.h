#pragma once

// Lists of records as JSON arrays, for records that nest lists of other records.

#include "xrfjsonhelper.h"

#include <QJsonArray>
#include <QList>

// Reads a JSON array of record objects; an absent or null value is an empty list. False, with
// the list unchanged and the message naming `key`, when it is not an array of objects that each
// record accepts.
template<typename Record>
bool recordsFromJson(const QJsonValue &json, const QString &key, QList<Record> *records,
                     QString *errorMsg)
{
    if (json.isUndefined() || json.isNull()) {
        records->clear();
        return true;
    }
    if (!json.isArray()) {
        if (errorMsg)
            *errorMsg = QStringLiteral("JSON key '%1' is not an array").arg(key);
        return false;
    }
    QList<Record> parsed;
    for (const QJsonValue &entry : json.toArray()) {
        Record record;
        QString error;
        if (!entry.isObject() || !record.fromJsonObject(entry.toObject(), &error)) {
            if (errorMsg)
                *errorMsg =
                    QStringLiteral("JSON key '%1' holds a malformed entry %2").arg(key, error);
            return false;
        }
        parsed.append(record);
    }
    *records = parsed;
    return true;
}

template<typename Record>
QJsonArray recordsToJson(const QList<Record> &records)
{
    QJsonArray array;
    for (const Record &record : records)
        array.append(record.toJsonObject());
    return array;
}
