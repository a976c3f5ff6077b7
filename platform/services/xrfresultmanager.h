#pragma once

#include "xrfservice.h"

#include <QDateTime>
#include <QJsonObject>
#include <QObject>

// The instrument's test results, kept by the application in one SQLite database. The factory
// exports a part of it into the diagnostic package.
class XrfResultManager : public QObject
{
    Q_OBJECT
    XRF_DECLARE_SERVICE(XrfResultManager)
public:
    explicit XrfResultManager(QObject *parent = nullptr) : QObject(parent) { }

    // Test times are kept as UTC text in this format (24-hour clock), so text order is time order.
    static QString dateTimeFormat();
    // The results database: "/media/sdcard/instrumentdata/db/results.sqlite" as a device path.
    static QString databasePath();

    // Records one test, as the application does after each one. The database is created when
    // missing.
    virtual bool addResult(const QDateTime &testDateTime, const QString &methodName,
                           const QString &sampleName, const QJsonObject &concentrations,
                           QString *errorMsg);
    // Exports the tests of `startDateTime` (dateTimeFormat(), UTC) and later into a new database
    // `databaseName` + ".sqlite"; `exported` receives their number and `total` the number in the
    // instrument's database. Without a results database the export is an empty one. On failure
    // no export file is left behind.
    virtual bool getResultsInASqlDbFromTestDateTime(const QString &startDateTime,
                                                    const QString &databaseName, int *exported,
                                                    int *total, QString *errorMsg);
};
