// Stability tests: assembly of a run's per-shot files into the summary, the spectra archive and
// the firmware log archive in the completed folder, and the Br/Cu verdict of the collimated kind.
// An assembly that stopped half way resumes with the parts still missing.
#include "xrffactorymanager_p.h"

#include "stabilityassembler.h"
#include "xrflogging.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

bool hasShotFiles(const QString &folder)
{
    return !QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty();
}

QString sixDigits(double value)
{
    return QString::number(value, 'g', 6);
}

} // namespace

bool Worker::processStabilityResults(qint32 &shotsTaken, qint32 *shotsProcessed, QString *error)
{
    qDebug() << "Entering processStabilityResults";
    if (shotsProcessed)
        *shotsProcessed = 0;
    loadStabilityMetaInfoFromLastResult();
    // A summary assembled before a restart had the shots it needed.
    const bool summaryAssembled = shotsTaken == 0
        && isInsideStabilityCompletedFolder(stabilityMetaInfo.summaryFilePath())
        && QFileInfo(stabilityMetaInfo.summaryFilePath()).isFile();
    if (!summaryAssembled && shotsTaken < stabilityMinRepeats) {
        qWarning().noquote() << QStringLiteral("Ignoring stability result as stability shots "
                                               "taken %1 are less than 'minRepeats' %2")
                                    .arg(shotsTaken)
                                    .arg(stabilityMinRepeats);
        discardStabilityResults();
        return true;
    }
    if (!assembleStabilityResults(error))
        return false;
    if (shotsProcessed)
        *shotsProcessed = summaryAssembled ? qMax(1, stabilityMetaInfo.shotsTaken()) : shotsTaken;
    qDebug() << "Leaving processStabilityResults";
    return true;
}

bool Worker::assembleStabilityResults(QString *error)
{
    qDebug() << "Entering assembleStabilityResults";
    if (!loadStabilityMetaInfoFromLastResult()) {
        error->append(QStringLiteral("Failed to load stabilityTestMetaInfo from lastResult.json"));
        return false;
    }
    QString partError;
    if (hasShotFiles(stabilityFolders.summary)) {
        if (!stampStabilityHeaderEndTime(error))
            return false;
        if (!assembleStabilitySummaryResult(&partError)) {
            error->append(
                QStringLiteral("Failed to assemble stabilty summary, error:%1").arg(partError));
            return false;
        }
    }
    if (hasShotFiles(stabilityFolders.spectra) && !assembleStabilitySpectraResult(&partError)) {
        error->append(
            QStringLiteral("Failed to assemble stability spectra, error:%1").arg(partError));
        return false;
    }
    const bool logsMissing = !QFileInfo(stabilityMetaInfo.firmwareLogsFilePath()).isFile()
        || QFileInfo(stabilityFolders.firmwareLogs).isDir();
    if (stabilityMetaInfo.saveFirmwareLogs() && logsMissing
        && !assembleStabilityFirmwareLogs(&partError)) {
        error->append(
            QStringLiteral("Failed to assemble stability firmware logs, error:%1").arg(partError));
        return false;
    }
    qDebug() << "Leaving assembleStabilityResults";
    return true;
}

bool Worker::stampStabilityHeaderEndTime(QString *error)
{
    QJsonValue header;
    QString readError;
    if (!loadJsonFromFile(stabilityFolders.headerFile, &header, &readError) || !header.isObject()) {
        error->append(QStringLiteral("Failed to read stability summary header json, error:%1")
                          .arg(readError.isEmpty() ? QStringLiteral("not an object") : readError));
        return false;
    }
    QJsonObject stamped = header.toObject();
    const QString now = XrfUtils::currentUtcIsoTime();
    stamped.insert(QStringLiteral("endTime"), now);
    stabilityMetaInfo.setEndTimeUTC(now);
    saveStabilityTestInfoToLastResult();
    QString writeError;
    if (!saveJsonDataToFile(stabilityFolders.headerFile, stamped, &writeError)) {
        error->append(QStringLiteral("Failed to save stability summary header json, error:%1")
                          .arg(writeError));
        return false;
    }
    return true;
}

bool Worker::assembleStabilitySummaryResult(QString *error)
{
    QJsonValue header;
    QString readError;
    if (!loadJsonFromFile(stabilityFolders.headerFile, &header, &readError) || !header.isObject()) {
        error->append(QStringLiteral("Failed to assemble stability result, error in reading "
                                     "stability header %1, error:%2")
                          .arg(stabilityFolders.headerFile, readError));
        return false;
    }
    if (stabilityMetaInfo.summaryFilePath().isEmpty())
        loadStabilityMetaInfoFromLastResult();
    const QString path = stabilityMetaInfo.summaryFilePath();
    if (!isInsideStabilityCompletedFolder(path)) {
        error->append(QStringLiteral("Failed to save assembled stability summary to json file:%1, "
                                     "error:%2")
                          .arg(path, QStringLiteral("not in the completed folder")));
        return false;
    }
    const bool collimated = stabilityTestType == StabilityCollimated;
    StabilityAssembler::SummaryResult result;
    QString writeError;
    if (!StabilityAssembler::writeSummary(header.toObject(), stabilityFolders.summary, path,
                                          collimated, &result, &writeError)) {
        if (writeError.startsWith(QLatin1String("Failed to compute")))
            error->append(writeError);
        else
            error->append(QStringLiteral("Failed to save assembled stability summary to json "
                                         "file:%1, error:%2")
                              .arg(path, writeError));
        return false;
    }
    if (collimated) {
        qDebug() << "collimatedMeanBrOverCu:" << result.meanBrOverCu
                 << "collimatedRSDBrOverCu:" << result.rsdBrOverCu;
        stabilityMetaInfo.setCollimatedMeanBrOverCu(result.meanBrOverCu);
        stabilityMetaInfo.setCollimatedRSDBrOverCu(result.rsdBrOverCu);
    }
    stabilityMetaInfo.setShotsTaken(result.shots);
    saveStabilityTestInfoToLastResult();
    qDebug() << "Stability summary assembled to file:" << path << ", shots found:" << result.shots;
    QFile::remove(stabilityFolders.headerFile);
    QDir(stabilityFolders.summary).removeRecursively();
    return true;
}

bool Worker::assembleStabilitySpectraResult(QString *error)
{
    QString jsonPath = stabilityMetaInfo.spectraFilePath();
    if (jsonPath.endsWith(QLatin1String(".zip"))) {
        jsonPath.chop(4);
        jsonPath += QStringLiteral(".json");
    }
    const QFileInfo json(jsonPath);
    const QString zipPath =
        json.absolutePath() + QLatin1Char('/') + json.completeBaseName() + QStringLiteral(".zip");
    if (!isInsideStabilityCompletedFolder(zipPath)) {
        error->append(QStringLiteral("Failed to zip spectra json, inputFile:%1, destinationDir:%2")
                          .arg(jsonPath, json.absolutePath()));
        return false;
    }
    int shots = 0;
    QString writeError;
    if (!StabilityAssembler::writeSpectraArchive(stabilityFolders.spectra, zipPath, json.fileName(),
                                                 &shots, &writeError)) {
        qWarning().noquote() << writeError;
        error->append(QStringLiteral("Failed to zip spectra json, inputFile:%1, destinationDir:%2")
                          .arg(jsonPath, json.absolutePath()));
        return false;
    }
    qDebug() << "Stability spectra assembled to the file:" << zipPath << ", Shots found:" << shots;
    stabilityMetaInfo.setSpectraFilePath(zipPath);
    saveStabilityTestInfoToLastResult();
    QDir(stabilityFolders.spectra).removeRecursively();
    QFile::remove(jsonPath);
    return true;
}

bool Worker::assembleStabilityFirmwareLogs(QString *error)
{
    const QString folder = stabilityFolders.firmwareLogs;
    QDir().mkpath(folder);
    const QString systemLog = XrfLogger::logFilePath();
    if (!systemLog.isEmpty()) {
        for (const QString &suffix : {QString(), QStringLiteral(".old")}) {
            const QString copy = folder + QStringLiteral("/Tarvo.log") + suffix;
            QFile::remove(copy);
            if (QFileInfo::exists(systemLog + suffix))
                QFile::copy(systemLog + suffix, copy);
        }
    }
    const QFileInfo archive(stabilityMetaInfo.firmwareLogsFilePath());
    QString zipError;
    if (!isInsideStabilityCompletedFolder(archive.filePath())
        || !XrfUtils::zip(folder, archive.fileName(), archive.absolutePath(), true, true, false,
                          QString(), &zipError)) {
        qWarning().noquote() << zipError;
        error->append(QStringLiteral("Failed to zip firmware logs, inputFile:%1, destinationDir:%2")
                          .arg(folder, archive.absolutePath()));
        return false;
    }
    qDebug() << "Saved firmware logs to file" << archive.filePath();
    saveStabilityTestInfoToLastResult();
    QDir(folder).removeRecursively();
    return true;
}

bool Worker::checkCollimatedStabilityMeanAndRSD(bool *runAgainInFreezeFilterMode)
{
    loadStabilityMetaInfoFromLastResult();
    *runAgainInFreezeFilterMode = false;
    const XrfFactoryStabilityParams &p = stabilityParams;
    const double mean = stabilityMetaInfo.collimatedMeanBrOverCu();
    const double rsd = stabilityMetaInfo.collimatedRSDBrOverCu();
    const bool freeze = stabilityMetaInfo.isFreezeFilterMode();
    bool passed = false;
    QString message;
    if (!(mean > p.minBrToCuRatioTestAvg() && mean < p.maxBrToCuRatioTestAvg())) {
        message = QStringLiteral("Calculated Br/Cu mean %1 is not within min:%2, max:%3 range, "
                                 "Adjust beam spot and start collimator stability again.")
                      .arg(sixDigits(mean), sixDigits(p.minBrToCuRatioTestAvg()),
                           sixDigits(p.maxBrToCuRatioTestAvg()));
    } else if (rsd > p.minBrCuRatioTestRSD() && rsd < p.maxBrCuRatioTestRSD()) {
        passed = !freeze;
        if (freeze)
            message = QStringLiteral("Make filter wheel stable.");
    } else if (!freeze) {
        *runAgainInFreezeFilterMode = true;
        qInfo().noquote() << QStringLiteral("Br/Cu RSD '%1' is not within expected "
                                            "range(%2-%3), will try running collimated "
                                            "stability again in freeze filter mode.")
                                 .arg(sixDigits(rsd), sixDigits(p.minBrCuRatioTestRSD()),
                                      sixDigits(p.maxBrCuRatioTestRSD()));
    } else {
        message = QStringLiteral("Collimated stability failed, calculated Br/Cu RSD: %1 is not "
                                 "within min:%2, max:%3 range,even after running stability in "
                                 "freeze filter mode.Replace tube.")
                      .arg(sixDigits(rsd), sixDigits(p.minBrCuRatioTestRSD()),
                           sixDigits(p.maxBrCuRatioTestRSD()));
    }
    stabilityMetaInfo.setHasPassed(passed);
    stabilityMetaInfo.setErrorMsg(message);
    saveStabilityTestInfoToLastResult();
    return passed;
}
