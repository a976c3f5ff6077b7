#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

// The streaming writers of a stability run's assembled files. Each shot file passes through
// memory on its own, so the memory an assembly needs does not grow with the number of shots.
namespace StabilityAssembler {

// The shot files of a folder ("N.json"), ordered by shot number. Other files are not shots.
QStringList shotFiles(const QString &folder);

// The Br/Cu ratio of a collimated shot record; -99 when its Cu window is empty.
double brOverCuRatio(const QJsonObject &record);
constexpr double kEmptyCuRatio = -99;

struct SummaryResult
{
    int shots = 0;
    int ratios = 0; // ratios of shots with counts in the Cu window
    double meanBrOverCu = 0;
    double rsdBrOverCu = 0; // sample standard deviation / mean, a fraction
};

// Writes `header` with "data" = the records of the summary folder's shot files (and, for the
// collimated kind, "collimatedMeanBrOverCu" and "collimatedRSDBrOverCu" of the ratios) to
// `outputPath`, which appears whole or not at all. Unreadable or non-object files are skipped
// with a warning. False with the message when fewer than two ratios exist (collimated) or the
// file cannot be written.
bool writeSummary(const QJsonObject &header, const QString &folder, const QString &outputPath,
                  bool collimated, SummaryResult *result, QString *error);

// Writes {"spectrums": [the spectrum files' objects]} as the entry `entryName` of the zip archive
// `zipPath`, which appears whole or not at all. `shots` receives the count.
bool writeSpectraArchive(const QString &folder, const QString &zipPath, const QString &entryName,
                         int *shots, QString *error);

} // namespace StabilityAssembler
