#pragma once

#include <QJsonObject>
#include <QString>

// Fills an instrument's home folder with a model's default data: data/common/ first, then
// data/<model>/. Files the home folder already holds are kept, so a root that has run before
// keeps its work order, setup data and results.
class RootSeeder
{
public:
    // The data folder: XRF_DATA_DIR from the environment, else the one of the source tree.
    static QString defaultDataDir();

    static bool seed(const QString &dataDir, const QString &model, const QString &homeDir,
                     QString *errorMsg);

    // The work order in a home folder's workOrderInfo.json; empty when there is none.
    static QJsonObject workOrderOf(const QString &homeDir);
    // The work order of a model's default data, as the cloud holds it for the model's units;
    // empty with a message when the data cannot be read.
    static QJsonObject defaultWorkOrder(const QString &model, QString *errorMsg);

private:
    static bool copyMissing(const QString &from, const QString &to, QString *errorMsg);
};
