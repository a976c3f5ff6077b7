// Scenarios of the factor set: the cloud's runs fail, the cloud misbehaves, or the technician
// aborts.
#include "simscenarios_p.h"

#include "simcloudserver.h"
#include "simtechnician.h"

#include "xrfnetworkmanager.h"
#include "xrfzipwriter.h"

#include <QFile>
#include <QJsonObject>
#include <QTemporaryDir>

namespace {
// Calibration runs that never end: processing, then processed, for ever.
constexpr int kEndlessPolls = 1000000;
constexpr int kRunPolls = 2;

// A calibrated archive whose second entry climbs out of the method folder.
QByteArray escapingArchive()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("escaping.zip"));
    XrfZipWriter writer(path);
    QString error;
    if (!writer.open(&error) || !writer.beginEntry(QStringLiteral("readme.txt"), &error)
        || !writer.write(QByteArrayLiteral("calibrated"))
        || !writer.beginEntry(QStringLiteral("../../../home/escaped.sh"), &error)
        || !writer.write(QByteArrayLiteral("#!/bin/sh\n")) || !writer.commit(&error))
        return QByteArray();
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

QVector<SimScenario> factorSetScenarios()
{
    using Id = XrfNetworkManager::CloudRequestIds;
    return {
        {QStringLiteral("factorset-approval-failed"),
         QStringLiteral("The cloud's fit of the standards is poor, and the factory's calibration "
                        "engineer does not approve the factor set."),
         nullptr,
         [](SimCloudServer &cloud) {
             cloud.setCalibrationRunOutcome(5, kRunPolls);
         }},
        {QStringLiteral("factorset-workspace-error"),
         QStringLiteral("The cloud cannot read the calibration workspace it received and ends the "
                        "run with a workspace error."),
         nullptr,
         [](SimCloudServer &cloud) {
             cloud.setCalibrationRunOutcome(6, kRunPolls);
         }},
        {QStringLiteral("factorset-upload-refused"),
         QStringLiteral("The cloud's storage is full: every method archive upload is refused."),
         nullptr,
         [](SimCloudServer &cloud) {
             cloud.scriptFailure(Id::UploadFactorSetMethod, 507,
                                 QStringLiteral("Insufficient storage"), SimCloudServer::Always);
         }},
        {QStringLiteral("factorset-run-id-zero"),
         QStringLiteral("The cloud takes the upload but answers with a run id of zero, which no "
                        "poll can follow."),
         nullptr,
         [](SimCloudServer &cloud) {
             cloud.scriptPayload(
                 Id::UploadFactorSetMethod,
                 QJsonObject{{QStringLiteral("id"), 0}, {QStringLiteral("runStatusId"), 1}},
                 SimCloudServer::Always);
         }},
        {QStringLiteral("factorset-escaping-archive"),
         QStringLiteral("A tampered calibrated archive: one of its entries climbs out of the "
                        "method folder; the archive is refused and the method left as it was."),
         nullptr,
         [](SimCloudServer &cloud) {
             const QString url =
                 cloud.publishFile(QStringLiteral("tampered_calibrated.zip"), escapingArchive());
             cloud.scriptPayload(Id::GetFactorSetStatus,
                                 QJsonObject{{QStringLiteral("runStatusId"), 4},
                                             {QStringLiteral("zipOutputUrl"), url}},
                                 SimCloudServer::Always);
         }},
        {QStringLiteral("factorset-abort-while-polling"),
         QStringLiteral("The cloud's calibration queue is stuck; the technician presses abort "
                        "while the runs are being polled."),
         nullptr, [](SimCloudServer &cloud) { cloud.setCalibrationRunOutcome(4, kEndlessPolls); },
         [](SimTechnician &t) {
             t.abortsFactorSetWhilePolling = true;
         }},
    };
}
