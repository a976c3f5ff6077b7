// The line's report, status and run log, read as a factory engineer reads them: from the files
// of an instrument root, including one left by a killed run.

#include "reportpageparser.h"

#include <QtTest>

class TstReport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void reportHoldsTheStepTableWithDurations();
    void reportPlotsCarryTheRootsData();
    void reportCommandRebuildsItFromTheRootAlone();
    void calibrationFitsAndQcErrorsComeFromTheInstalledMethods();
    void aKilledRunIsToldAndStillReported();
    void runLogRecordsEveryStepOfTheRun();

private:
    struct Result
    {
        int exitCode = -1;
        QString out;
    };
    static Result xrfFactory(const QStringList &arguments);
    QJsonObject lastResult() const;

    QTemporaryDir m_dir;
    QString m_root;
    ParsedReport m_report;
};

TstReport::Result TstReport::xrfFactory(const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(XRF_FACTORY_BIN), arguments);
    Result result;
    if (!process.waitForFinished(180000))
        return result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAll());
    return result;
}

QJsonObject TstReport::lastResult() const
{
    QFile file(m_root + "/home/factoryData/lastResult.json");
    if (!file.open(QIODevice::ReadOnly))
        return QJsonObject();
    return QJsonDocument::fromJson(file.readAll()).object();
}

void TstReport::initTestCase()
{
    m_root = m_dir.path() + "/unit";
    const Result run = xrfFactory(
        {"run", "--root", m_root, "--time-scale", "0.0001", "--report", m_root + "/report.html"});
    QVERIFY2(run.exitCode == 0, qPrintable(run.out));
    QVERIFY2(run.out.contains("Report:"), qPrintable(run.out));
    // Not a terminal: each step starts and ends on a plain line of its own.
    QVERIFY2(run.out.contains(QRegularExpression("\\nstability +started\\n")), qPrintable(run.out));
    QVERIFY(run.out.contains(QRegularExpression("\\nstability +PASSED in [0-9.]+ s")));
    m_report = ParsedReport::read(m_root + "/report.html");
    QVERIFY2(m_report.wellFormed, qPrintable(m_report.error));
}

void TstReport::reportHoldsTheStepTableWithDurations()
{
    for (const char *step : {"provisioning", "hardwareSetup", "cameraSetup", "stability",
                             "collimatedStability", "beamsSetup", "airShot"}) {
        QCOMPARE(m_report.stepResults.value(step), QStringLiteral("PASSED"));
        QVERIFY2(m_report.stepSeconds.value(step) > 0, step);
    }
    // The hardware setup's sub-steps sit beneath it.
    for (const char *subStep : {"filterScan", "fpgaGainSetup", "collimatorRatioSetup"})
        QCOMPARE(m_report.stepResults.value(subStep), QStringLiteral("PASSED"));
    QVERIFY(m_report.text.contains("hardware matches the work order"));
}

void TstReport::reportPlotsCarryTheRootsData()
{
    const QJsonObject results = lastResult();
    QJsonObject scan;
    QJsonObject gain;
    for (const QJsonValue &step :
         results["hardwareSetup"]["result"]["hardwareSetupSteps"].toArray()) {
        if (step["stepId"] == "filterScan")
            scan = step["results"].toObject();
        if (step["stepId"] == "fpgaGainSetup")
            gain = step["results"].toObject();
    }
    QCOMPARE(m_report.series("filterScan", "sweep"), scan["icr"].toArray());
    QCOMPARE(m_report.series("filterScan", "found positions", "x").size(),
             scan["filterScanResults"].toArray().size());
    const QJsonArray iterations = gain["iterations"].toArray();
    QCOMPARE(m_report.series("fpgaGain", "before"),
             iterations.first()["spectrum"]["data"].toArray());
    QCOMPARE(m_report.series("fpgaGain", "after"), iterations.last()["spectrum"]["data"].toArray());

    const int shots = results["stability"]["stabilityTestMetaInfo"]["shotsTaken"].toInt();
    QVERIFY(shots > 0);
    for (const char *plot : {"stabilityIcr", "stabilityPeaks", "stabilityResolution"})
        QVERIFY2(m_report.plotData.value(plot)["series"][0]["y"].toArray().size() == shots, plot);
    QVERIFY(m_report.plots.contains("collimatedStabilityBrCu"));

    for (const QJsonValue &beam : results["beamsSetup"]["result"]["beams"].toArray()) {
        const QString plot = "beam-" + beam["beamName"].toString();
        QCOMPARE(m_report.series(plot, "ICR").size(), beam["iterationGroups"].toArray().size());
        QCOMPARE(m_report.series(plot, "ICR").last().toDouble(),
                 beam["iterationGroups"].toArray().last()["iterICR"].toDouble());
    }
    const QJsonArray background = m_report.series("airShots", "background");
    QCOMPARE(background.size(),
             results["airShot"]["data"]["unCollimatedShots"].toArray().size()
                 + results["airShot"]["data"]["collimatedShots"].toArray().size());
    QCOMPARE(
        background.first().toDouble(),
        results["airShot"]["data"]["unCollimatedShots"][0]["calculatedBackgoundRate"].toDouble());
    QCOMPARE(m_report.series("airShots", "safe rate").first().toDouble(),
             results["airShot"]["data"]["unCollimatedShots"][0]["safeBackgroundRate"].toDouble());
    // The soil method the cloud calibrated from the standards: a fit per element and its QC.
    const QStringList fits = m_report.plots.keys().filter(QRegularExpression("^fit-soil-"));
    QVERIFY2(fits.size() >= 3, qPrintable(m_report.plots.keys().join(' ')));
    QVERIFY(m_report.series(fits.first(), "standards").size() >= 3);
    QVERIFY(m_report.plots.contains("qc-soil"));
    QVERIFY(m_report.text.contains("Final QC"));
}

void TstReport::reportCommandRebuildsItFromTheRootAlone()
{
    const QString file = m_dir.path() + "/again.html";
    const Result report = xrfFactory({"report", "--root", m_root, "--out", file});
    QVERIFY2(report.exitCode == 0, qPrintable(report.out));
    const ParsedReport again = ParsedReport::read(file);
    QVERIFY(again.wellFormed);
    QCOMPARE(again.plots.keys(), m_report.plots.keys());
    QCOMPARE(again.stepResults, m_report.stepResults);
    QVERIFY(!again.text.contains("http://") && !again.text.contains("https://"));
}

void TstReport::calibrationFitsAndQcErrorsComeFromTheInstalledMethods()
{
    // A root holding only an installed, calibrated method and its QC summary, as the cloud
    // writes them; a folder whose name breaks the method-id rule is not read.
    const QString root = m_dir.path() + "/calibrated";
    const QString method = root + "/home/profile/instrumentsettings/methods/Alloy";
    QVERIFY(QDir().mkpath(method + "/calibrationworkspace/calibrationsummary"));
    QVERIFY(QDir().mkpath(root + "/home/profile/instrumentsettings/methods/bad name"));
    const auto write = [](const QString &path, const QByteArray &json) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(json) == json.size();
    };
    QVERIFY(write(method + "/CalcMethod_Alloy.json", R"({"id": "Alloy", "isFactorSet": true,
        "calibration": {"fittedBy": "simulated cloud", "runId": 7, "elements": [
          {"element": "Cr", "line": "KA", "energyKeV": 5.41, "beam": 1, "slope": 0.0001,
           "intercept": 0.002, "rSquared": 0.9991, "standards": 3, "worstStandard": "SS316",
           "worstAbsError": 0.003, "points": [
             {"standard": "SS304", "intensity": 1800, "certified": 0.182},
             {"standard": "SS316", "intensity": 1650, "certified": 0.17},
             {"standard": "CS1018", "intensity": 10, "certified": 0.0005}]}]}})"));
    QVERIFY(write(method + "/calibrationworkspace/calibrationsummary/qcSummary.json",
                  R"({"passed": false, "maxAbsError": 0.03, "tolerance": 0.02, "elements": [
          {"element": "Cr", "standards": [
             {"standard": "SS304", "certified": 0.182, "computed": 0.185, "absError": 0.003},
             {"standard": "SS316", "certified": 0.17, "computed": 0.14, "absError": 0.03}]}]})"));

    const Result report = xrfFactory({"report", "--root", root});
    QVERIFY2(report.exitCode == 0, qPrintable(report.out));
    const ParsedReport parsed = ParsedReport::read(root + "/report.html");
    QVERIFY2(parsed.wellFormed, qPrintable(parsed.error));
    QCOMPARE(parsed.series("fit-Alloy-Cr", "standards", "x"), QJsonArray({1800.0, 1650.0, 10.0}));
    QCOMPARE(parsed.series("fit-Alloy-Cr", "standards"), QJsonArray({0.182, 0.17, 0.0005}));
    QCOMPARE(parsed.series("fit-Alloy-Cr", "fit").last().toDouble(), 0.002 + 0.0001 * 1800);
    QVERIFY(parsed.text.contains("SS316"));
    QCOMPARE(parsed.series("qc-Alloy", "largest error"), QJsonArray({0.03}));
    QVERIFY(parsed.text.contains("Alloy QC summary: FAILED"));
    QCOMPARE(parsed.plots.size(), 2);
}

void TstReport::aKilledRunIsToldAndStillReported()
{
    // A copy of the root as a run killed during the air shots leaves it: lastResult.json torn in
    // the middle of a write, the run log with the step still running.
    const QString root = m_dir.path() + "/killed";
    QVERIFY(QDir().mkpath(root + "/home/factoryData"));
    QVERIFY(QDir().mkpath(root + "/line"));
    QFile torn(root + "/home/factoryData/lastResult.json");
    QVERIFY(torn.open(QIODevice::WriteOnly));
    torn.write("{\"provisioning\": {\"stepId\": 2, \"sta");
    torn.close();
    QFile log(root + "/line/runLog.json");
    QVERIFY(log.open(QIODevice::WriteOnly));
    log.write(R"({"model": "default", "steps": [
        {"step": "provisioning", "result": "PASSED", "seconds": 0.1, "detail": "ok"},
        {"step": "airShot", "result": "RUNNING", "startTime": "2026-12-06T09:00:00Z"}]})");
    log.close();

    const Result status = xrfFactory({"status", "--root", root});
    QCOMPARE(status.exitCode, 1);
    QVERIFY2(status.out.contains("Interrupted:             the line stopped during airShot"),
             qPrintable(status.out));
    QVERIFY(status.out.contains("Problem: Invalid JSON file"));
    QVERIFY(status.out.contains("Resume with:             xrf-factory run --root"));
    const Result json = xrfFactory({"status", "--root", root, "--json"});
    QCOMPARE(
        QJsonDocument::fromJson(json.out.toUtf8()).object()["remainingSteps"].toArray().first(),
        QJsonValue("provisioning"));

    const Result report = xrfFactory({"report", "--root", root});
    QVERIFY2(report.exitCode == 0, qPrintable(report.out));
    const ParsedReport parsed = ParsedReport::read(root + "/report.html");
    QVERIFY(parsed.wellFormed);
    QCOMPARE(parsed.stepResults.value("airShot"), QStringLiteral("INTERRUPTED"));
    QVERIFY(parsed.text.contains("Could not read"));
    QVERIFY(parsed.plots.isEmpty());

    // A run log that is not JSON is named, not trusted.
    QVERIFY(log.open(QIODevice::WriteOnly | QIODevice::Truncate));
    log.write("[1, 2");
    log.close();
    const Result again = xrfFactory({"status", "--root", root});
    QVERIFY2(again.out.contains("runLog.json"), qPrintable(again.out));
}

void TstReport::runLogRecordsEveryStepOfTheRun()
{
    QFile file(m_root + "/line/runLog.json");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject log = QJsonDocument::fromJson(file.readAll()).object();
    QCOMPARE(log["model"].toString(), QStringLiteral("default"));
    QCOMPARE(log["serial"].toString(), QStringLiteral("800123"));
    const QJsonArray steps = log["steps"].toArray();
    QCOMPARE(steps.size(), 13); // provisioning through the profile hand-over
    for (const QJsonValue &step : steps) {
        QCOMPARE(step["result"].toString(), QStringLiteral("PASSED"));
        QVERIFY(!step["startTime"].toString().isEmpty() && !step["endTime"].toString().isEmpty());
    }
    QVERIFY(steps[3]["shots"][0]["icr"].toDouble() > 0);
}

QTEST_GUILESS_MAIN(TstReport)
#include "tst_report.moc"
