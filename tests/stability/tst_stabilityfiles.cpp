// A stability run's files: the streaming assembly of the summary (shot order, bad files, Br/Cu
// statistics) and of the spectra archive, the Br/Cu verdict, an assembly resumed after a restart,
// the run's record in lastResult.json and the zip utility.

#include "stabilityassembler.h"
#include "stabilitytest.h"

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

#include <cmath>

using namespace stabilitytest;

namespace {

void writeFile(const QString &path, const QByteArray &content)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

void writeShot(const QString &folder, int shot, const QJsonObject &record)
{
    writeFile(QStringLiteral("%1/%2.json").arg(folder).arg(shot),
              QJsonDocument(record).toJson(QJsonDocument::Compact));
}

QByteArray zipEntry(const QString &zipPath, const QString &entry)
{
    QuaZip zip(zipPath);
    if (!zip.open(QuaZip::mdUnzip) || !zip.setCurrentFile(entry))
        return QByteArray();
    QuaZipFile file(&zip);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

QStringList zipEntries(const QString &zipPath)
{
    QuaZip zip(zipPath);
    return zip.open(QuaZip::mdUnzip) ? zip.getFileNameList() : QStringList();
}

} // namespace

class TstStabilityFiles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void summaryTakesShotsInNumberOrderAndSkipsBadFiles();
    void brCuStatistics_data();
    void brCuStatistics();
    void spectraArchiveHoldsEveryShotInOrder();
    void collimatedVerdict_data();
    void collimatedVerdict();
    void interruptedAssemblyResumesTheMissingParts();
    void errorOfARunWithoutTimesIsPersisted();
    void zipUtilityOptions();

private:
    std::unique_ptr<LogCapture> m_log;
    QTemporaryDir m_dir;
};

void TstStabilityFiles::initTestCase()
{
    m_log.reset(new LogCapture);
    FactoryTestEnv::start();
    writeSetupData();
}

void TstStabilityFiles::cleanupTestCase()
{
    env().settleBeforeExit();
}

void TstStabilityFiles::init()
{
    m_log->clear();
    QDir(m_dir.path()).removeRecursively();
    QDir().mkpath(m_dir.path());
}

void TstStabilityFiles::summaryTakesShotsInNumberOrderAndSkipsBadFiles()
{
    const QString folder = m_dir.path() + "/summary";
    // Written in reverse, so that modification times would give the wrong order.
    for (int shot = 12; shot >= 1; --shot)
        writeShot(folder, shot, {{"iteration", shot}});
    writeFile(folder + "/5.json", "{\"iteration\": ");
    writeFile(folder + "/7.json", "[7]");
    writeFile(folder + "/notes.txt", "not a shot");
    const QString output = m_dir.path() + "/completed/stabRun_1_2.json";
    StabilityAssembler::SummaryResult result;
    QString error;
    QVERIFY2(StabilityAssembler::writeSummary({{"serial", "800123"}, {"data", QJsonArray()}},
                                              folder, output, false, &result, &error),
             qPrintable(error));
    QCOMPARE(result.shots, 10);
    const QJsonObject summary = readJson(output);
    QCOMPARE(summary.value("serial").toString(), QStringLiteral("800123"));
    QJsonArray iterations;
    for (const QJsonValue &record : summary.value("data").toArray())
        iterations.append(record.toObject().value("iteration"));
    QCOMPARE(iterations, QJsonArray({1, 2, 3, 4, 6, 8, 9, 10, 11, 12}));
    QVERIFY(m_log->contains("failed to read stability summary file at:" + folder + "/5.json"));
    QVERIFY(
        m_log->contains("Stability summary JSON value in read from file " + folder
                        + "/7.json is in invalid format and will NOT be included in the result."));
}

void TstStabilityFiles::brCuStatistics_data()
{
    QTest::addColumn<QVector<double>>("cu");
    QTest::addColumn<QVector<double>>("br");
    QTest::addColumn<double>("mean");
    QTest::addColumn<double>("rsd");
    // Ratios 0.8, 1.0 and 1.2: mean 1, sample standard deviation 0.2.
    QTest::newRow("three ratios") << QVector<double>{1000, 1000, 1000}
                                  << QVector<double>{800, 1000, 1200} << 1.0 << 0.2;
    QTest::newRow("empty Cu window left out")
        << QVector<double>{1000, 0, 1000, 1000} << QVector<double>{800, 500, 1000, 1200} << 1.0
        << 0.2;
    QTest::newRow("one ratio") << QVector<double>{1000, 0} << QVector<double>{800, 900} << -1.0
                               << -1.0;
}

void TstStabilityFiles::brCuStatistics()
{
    QFETCH(QVector<double>, cu);
    QFETCH(QVector<double>, br);
    QFETCH(double, mean);
    QFETCH(double, rsd);
    const QString folder = m_dir.path() + "/summary";
    for (int i = 0; i < cu.size(); ++i)
        writeShot(folder, i + 1,
                  {{"collimatedCuCounts", cu.at(i)}, {"collimatedBrCounts", br.at(i)}});
    QCOMPARE(
        StabilityAssembler::brOverCuRatio({{"collimatedCuCounts", 0}, {"collimatedBrCounts", 5}}),
        -99.0);
    const QString output = m_dir.path() + "/collStabRun.json";
    StabilityAssembler::SummaryResult result;
    QString error;
    const bool written = StabilityAssembler::writeSummary({{"collimatedTest", true}}, folder,
                                                          output, true, &result, &error);
    if (mean < 0) {
        QVERIFY(!written);
        QCOMPARE(error, QStringLiteral("Failed to compute Br/Cu statistics, error code -1"));
        QVERIFY(!QFileInfo::exists(output));
        return;
    }
    QVERIFY2(written, qPrintable(error));
    QCOMPARE(result.ratios, 3);
    QVERIFY(std::abs(result.meanBrOverCu - mean) < 1e-12);
    QVERIFY(std::abs(result.rsdBrOverCu - rsd) < 1e-12);
    const QJsonObject summary = readJson(output);
    QVERIFY(std::abs(summary.value("collimatedRSDBrOverCu").toDouble() - rsd) < 1e-12);
    QCOMPARE(summary.value("data").toArray().size(), cu.size());
}

void TstStabilityFiles::spectraArchiveHoldsEveryShotInOrder()
{
    const QString folder = m_dir.path() + "/spectra";
    for (int shot = 1; shot <= 11; ++shot)
        writeShot(folder, shot, {{"realTime", shot}, {"data", QJsonArray({1, 2, 3})}});
    const QString zipPath = m_dir.path() + "/completed/stabSpectra_1_2.zip";
    int shots = 0;
    QString error;
    QVERIFY2(StabilityAssembler::writeSpectraArchive(folder, zipPath, "stabSpectra_1_2.json",
                                                     &shots, &error),
             qPrintable(error));
    QCOMPARE(shots, 11);
    QCOMPARE(zipEntries(zipPath), QStringList{"stabSpectra_1_2.json"});
    const QJsonArray spectra = QJsonDocument::fromJson(zipEntry(zipPath, "stabSpectra_1_2.json"))
                                   .object()
                                   .value("spectrums")
                                   .toArray();
    QCOMPARE(spectra.size(), 11);
    QCOMPARE(spectra.at(9).toObject().value("realTime").toInt(), 10);
    QVERIFY(!QFileInfo::exists(zipPath + ".part"));
}

void TstStabilityFiles::collimatedVerdict_data()
{
    QTest::addColumn<double>("mean");
    QTest::addColumn<double>("rsd");
    QTest::addColumn<bool>("freeze");
    QTest::addColumn<bool>("passed");
    QTest::addColumn<bool>("runAgain");
    QTest::addColumn<QString>("message");
    QTest::newRow("in range") << 0.9 << 0.02 << false << true << false << "";
    QTest::newRow("mean too high")
        << 1.5 << 0.02 << false << false << false
        << "Calculated Br/Cu mean 1.5 is not within min:0.6, max:1.4 range, "
           "Adjust beam spot and start collimator stability again.";
    QTest::newRow("spread in range when frozen")
        << 0.9 << 0.02 << true << false << false << "Make filter wheel stable.";
    QTest::newRow("spread too wide") << 0.9 << 0.05 << false << false << true << "";
    QTest::newRow("spread too wide when frozen")
        << 0.9 << 0.05 << true << false << false
        << "Collimated stability failed, calculated Br/Cu RSD: 0.05 is not within min:0.001, "
           "max:0.04 "
           "range,even after running stability in freeze filter mode.Replace tube.";
}

void TstStabilityFiles::collimatedVerdict()
{
    QFETCH(double, mean);
    QFETCH(double, rsd);
    QFETCH(bool, freeze);
    QFETCH(bool, passed);
    QFETCH(bool, runAgain);
    QFETCH(QString, message);
    bool again = !runAgain;
    const bool verdict = env().onFactoryThread([&] {
        worker()->selectStabilityType(Worker::StabilityCollimated);
        QJsonObject options = collimatedOptions();
        options.insert("minBrCuRatioTestRSD", 0.001);
        options.insert("maxBrCuRatioTestRSD", 0.04);
        worker()->stabilityParams.fromJsonObject(options);
        XrfStabilityTestMetaInfo meta;
        meta.setStatus("cloudResponseReceived");
        meta.setCollimatedMeanBrOverCu(mean);
        meta.setCollimatedRSDBrOverCu(rsd);
        meta.setIsFreezeFilterMode(freeze);
        worker()->stabilityMetaInfo = meta;
        worker()->saveStabilityTestInfoToLastResult();
        return worker()->checkCollimatedStabilityMeanAndRSD(&again);
    });
    QCOMPARE(verdict, passed);
    QCOMPARE(again, runAgain);
    const QJsonObject stored = storedMeta("collimatedStability");
    QCOMPARE(stored.value("hasPassed").toBool(), passed);
    QCOMPARE(stored.value("errorMsg").toString(), message);
}

// The summary was assembled before the instrument stopped; the spectra were not.
void TstStabilityFiles::interruptedAssemblyResumesTheMissingParts()
{
    const QString root = stabilityFolder("stability");
    QDir(root).removeRecursively();
    const QString summaryPath = root + "/completed/stabRun_800123_20261206_0915.json";
    writeFile(summaryPath, "{\"data\":[{\"iteration\":1}]}");
    for (int shot = 1; shot <= 3; ++shot)
        writeShot(root + "/inProgress/spectra", shot, {{"realTime", shot}});
    const QPair<bool, int> processed = env().onFactoryThread([&] {
        worker()->selectStabilityType(Worker::StabilityPlain);
        XrfStabilityTestMetaInfo meta;
        meta.setStartTimeUTC("2026-12-06T09:15:00Z");
        meta.setStatus("processingResults");
        meta.setShotsTaken(12);
        meta.setSummaryFilePath(summaryPath);
        meta.setSpectraFilePath(root + "/completed/stabSpectra_800123_20261206_0915.json");
        worker()->stabilityMetaInfo = meta;
        worker()->saveStabilityTestInfoToLastResult();
        worker()->stabilityMinRepeats = 10;
        qint32 summaries = 0;
        worker()->isUnProcessedStabilityResults(&summaries);
        qint32 done = 0;
        QString error;
        const bool ok = worker()->processStabilityResults(summaries, &done, &error);
        return qMakePair(ok, int(done));
    });
    QVERIFY(processed.first);
    QCOMPARE(processed.second, 12);
    QVERIFY(QFileInfo::exists(summaryPath));
    const QString zip = root + "/completed/stabSpectra_800123_20261206_0915.zip";
    QVERIFY(QFileInfo::exists(zip));
    QVERIFY(!QFileInfo::exists(root + "/inProgress/spectra"));
    QCOMPARE(storedMeta("stability").value("spectraFilePath").toString(), zip);
    QVERIFY(!m_log->contains("Ignoring stability result"));
}

// A run that failed before it had times still replaces a stored pass.
void TstStabilityFiles::errorOfARunWithoutTimesIsPersisted()
{
    env().onFactoryThread([] {
        worker()->selectStabilityType(Worker::StabilityPlain);
        XrfStabilityTestMetaInfo passed;
        passed.setStartTimeUTC("2026-12-06T09:15:00Z");
        passed.setStatus("cloudResponseReceived");
        passed.setHasPassed(true);
        worker()->stabilityMetaInfo = passed;
        worker()->saveStabilityTestInfoToLastResult();
        XrfStabilityTestMetaInfo failed;
        failed.setStatus("error");
        failed.setErrorMsg("Failed to find stability test params in factory file.");
        worker()->stabilityMetaInfo = failed;
        worker()->saveStabilityTestInfoToLastResult();
    });
    const QJsonObject stored = readJson(env().lastResultPath()).value("stability").toObject();
    QCOMPARE(stored.value("stabilityTestMetaInfo").toObject().value("errorMsg").toString(),
             QStringLiteral("Failed to find stability test params in factory file."));
    QCOMPARE(stored.value("stabilityTestMetaInfo").toObject().value("hasPassed").toBool(), false);
    QCOMPARE(stored.value("status").toInt(), int(XrfFactoryStepInfo::Failed));
}

void TstStabilityFiles::zipUtilityOptions()
{
    const QString folder = m_dir.path() + "/logs";
    writeFile(folder + "/a.txt", "a");
    writeFile(folder + "/sub/b.txt", "b");
    const QString out = m_dir.path() + "/out";
    QString error;
    QVERIFY(XrfUtils::zip(folder, "all.zip", out, true, true, false, QString(), &error));
    QStringList entries = zipEntries(out + "/all.zip");
    entries.sort();
    QCOMPARE(entries, QStringList({"a.txt", "sub/", "sub/b.txt"}));
    QVERIFY(XrfUtils::zip(folder, "top.zip", out, false, true, true, QString(), &error));
    QCOMPARE(zipEntries(out + "/top.zip"), QStringList{"logs/a.txt"});
    QVERIFY(!XrfUtils::zip(folder, "all.zip", out, true, false, false, QString(), &error));
    QCOMPARE(error, "Archive " + out + "/all.zip already exists");
    QVERIFY(!XrfUtils::zip(folder, "../escape.zip", out, true, true, false, QString(), &error));
    QVERIFY(!QFileInfo::exists(m_dir.path() + "/escape.zip"));
    QVERIFY(XrfUtils::zip(folder + "/a.txt", "one.zip", out, true, true, false, QString(), &error));
    QCOMPARE(zipEntry(out + "/one.zip", "a.txt"), QByteArray("a"));
}

QTEST_GUILESS_MAIN(TstStabilityFiles)
#include "tst_stabilityfiles.moc"
