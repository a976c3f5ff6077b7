// xrf-factory as a factory engineer uses it: run on a fresh root, then status.

#include <QtTest>

class TstCli : public QObject
{
    Q_OBJECT

private slots:
    void runPreparesAFreshRootAndReportsItsState();
    void runKeepsWhatARootAlreadyHolds();
    void requestedStepsAreEnteredAndSummarised();
    void scenariosAreListedAndChecked();
    void hardwareSetupListsEverySubStep();
    void technicianAbortStopsTheHardwareSetup();
    void aFailedStepsResultFileGoesOnceTheCloudHasIt();
    void hardwareSetupFaultsFailTheirSubStep_data();
    void hardwareSetupFaultsFailTheirSubStep();
    void cloudRunsOnItsOwn();
    void statusPrintsJsonOfAStoredState();
    void statusReportsUnreadableFilesAndFails();
    void statusNamesFileAndKeyOfEveryProblem();
    void badInvocationsExplainThemselves_data();
    void badInvocationsExplainThemselves();

private:
    struct Result
    {
        int exitCode = -1;
        QString out;
        QString err;
    };
    static Result xrfFactory(const QStringList &arguments);
};

// The line runs at a scale that leaves its pace to the CPU, unless a test asks for another one.
TstCli::Result TstCli::xrfFactory(const QStringList &arguments)
{
    QStringList withScale = arguments;
    if (arguments.value(0) == "run" && !arguments.contains("--time-scale"))
        withScale << "--time-scale"
                  << "0.0001";
    QProcess process;
    process.start(QStringLiteral(XRF_FACTORY_BIN), withScale);
    Result result;
    if (!process.waitForFinished(180000))
        return result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

void TstCli::runPreparesAFreshRootAndReportsItsState()
{
    QTemporaryDir dir;
    const QString root = dir.path() + "/line1";
    const Result run = xrfFactory({"run", "--root", root, "--model", "HD"});
    QCOMPARE(run.exitCode, 0);
    // The runnable steps run by default and pass on every model; the cloud's confirmation moves
    // the count on.
    for (const char *step :
         {"provisioning", "hardwareSetup", "cameraSetup", "stability", "collimatedStability",
          "beamsSetup", "airShot", "prerequisiteShots", "calibrationShot", "factorSet"})
        QVERIFY2(run.out.contains(QRegularExpression(QString("\\n%1 +PASSED").arg(step))),
                 qPrintable(run.out));
    QVERIFY2(run.out.contains("Factory steps completed: 11"), qPrintable(run.out));
    QVERIFY(run.out.contains("Current step:            complete"));
    QVERIFY(run.out.contains("xrf-factory status --root " + root));
    for (const char *folder :
         {"home/factoryData", "home/profile/instrumentsettings", "sysroot", "sim"})
        QVERIFY2(QFileInfo(root + "/" + folder).isDir(), folder);
    QVERIFY(QFileInfo(root + "/home/logs/xrf-factory.log").size() > 0);
    // The model's default data seeds the root.
    for (const char *file :
         {"home/factoryData/workOrderInfo.json", "home/factoryData/factory_setup_dataHD.json",
          "home/calibrationdefault/methodsPartIdMapHD.json"})
        QVERIFY2(QFileInfo(root + "/" + file).isFile(), file);
}

void TstCli::runKeepsWhatARootAlreadyHolds()
{
    QTemporaryDir dir;
    const QString workOrder = dir.path() + "/home/factoryData/workOrderInfo.json";
    QDir().mkpath(QFileInfo(workOrder).absolutePath());
    QFile file(workOrder);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"workOrder": {"deviceType": "TARVO-K100", "note": "kept"}})");
    file.close();
    QCOMPARE(xrfFactory({"run", "--root", dir.path(), "--steps", ""}).exitCode, 0);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("kept"));
}

void TstCli::requestedStepsAreEnteredAndSummarised()
{
    QTemporaryDir dir;
    const Result run = xrfFactory({"run", "--root", dir.path(), "--steps", "provisioning"});
    QVERIFY2(run.out.contains(QRegularExpression("provisioning +(PASSED|FAILED|NOT RUN)")),
             qPrintable(run.out));
    QCOMPARE(run.exitCode, run.out.contains(QRegularExpression("provisioning +PASSED")) ? 0 : 1);
    QVERIFY(QFileInfo(dir.path() + "/home/logs/xrf-factory.log").size() > 0);
    QFile log(dir.path() + "/home/logs/xrf-factory.log");
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY(log.readAll().contains("Initializing factory step: \"provisioning\""));
}

void TstCli::scenariosAreListedAndChecked()
{
    const Result list = xrfFactory({"scenarios"});
    QCOMPARE(list.exitCode, 0);
    const QStringList lines = list.out.split('\n', Qt::SkipEmptyParts);
    QVERIFY(lines.size() >= 3);
    // The descriptions start in one column, past the longest name.
    int longest = 0;
    for (const QString &line : lines)
        longest = qMax(longest, line.indexOf(' '));
    for (const QString &line : lines) {
        const QString gap = line.mid(line.indexOf(' '), longest + 2 - line.indexOf(' '));
        QVERIFY2(gap.trimmed().isEmpty() && line.at(longest + 2) != ' ', qPrintable(line));
    }
    const QString first = lines.first().section(' ', 0, 0);
    QTemporaryDir dir;
    QCOMPARE(
        xrfFactory({"run", "--root", dir.path(), "--steps", "provisioning", "--scenario", first})
            .exitCode,
        0);
    const Result unknown = xrfFactory({"run", "--scenario", "no-such-fault"});
    QCOMPARE(unknown.exitCode, 1);
    QVERIFY(unknown.err.contains("Unknown scenario 'no-such-fault'"));
}

void TstCli::hardwareSetupListsEverySubStep()
{
    QTemporaryDir dir;
    const Result run =
        xrfFactory({"run", "--root", dir.path(), "--steps", "provisioning,hardwareSetup"});
    QVERIFY2(run.out.contains(QRegularExpression("hardwareSetup +PASSED")), qPrintable(run.out));
    QCOMPARE(run.exitCode, 0);
    for (const char *subStep : {"doOverrides", "accelerometerSetup", "filterScan",
                                "detectorMicroReset", "fpgaGainSetup", "instrumentButtonsTest"})
        QVERIFY2(run.out.contains(QRegularExpression(QString("\\n +%1 +passed").arg(subStep))),
                 subStep);
    QCOMPARE(run.out.count("technician aligns the instrument and resumes"), 2);
    QVERIFY(run.out.contains("Factory steps completed: 3"));
}

void TstCli::technicianAbortStopsTheHardwareSetup()
{
    QTemporaryDir dir;
    const Result run = xrfFactory({"run", "--root", dir.path(), "--steps",
                                   "provisioning,hardwareSetup", "--abort-during", "filterScan"});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(
        run.out.contains(QRegularExpression("hardwareSetup +FAILED .*aborted by the technician")),
        qPrintable(run.out));
    QVERIFY(!run.out.contains(QRegularExpression("fpgaGainSetup +passed")));
}

void TstCli::aFailedStepsResultFileGoesOnceTheCloudHasIt()
{
    QTemporaryDir dir;
    const Result run =
        xrfFactory({"run", "--root", dir.path(), "--steps", "provisioning,hardwareSetup",
                    "--time-scale", "0.0001", "--scenario", "pressure-out-of-range"});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.out.contains(QRegularExpression("hardwareSetup +FAILED")), qPrintable(run.out));
    // The line waited for the upload's answer, and the library deleted the uploaded file.
    const QDir results(dir.path() + "/home/factoryData/hardwareSetup");
    QVERIFY2(results.entryList(QDir::Files).isEmpty(),
             qPrintable(results.entryList(QDir::Files).join(", ")));
}

void TstCli::hardwareSetupFaultsFailTheirSubStep_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("failure");
    QTest::newRow("buttons") << "trigger-not-responding"
                             << "default"
                             << "instrumentButtonsTest: The trigger does not respond";
    QTest::newRow("customer IO") << "customer-output-dead"
                                 << "MP"
                                 << "customerIOTest: Customer output 1 does not toggle";
    QTest::newRow("move exercise") << "wheel-motor-slips"
                                   << "default"
                                   << "filterMoveExercise: Filter move exercise - Failed";
    QTest::newRow("sensor bus") << "sensor-bus-error"
                                << "default"
                                << "temperatureChecks: System temp check failed. Failed to read "
                                   "preamp temperature, ret:";
    QTest::newRow("high voltage") << "tube-hv-sags"
                                  << "default"
                                  << "filterScan: Filter scan failed. Tube monitored voltage is "
                                     "not within tolerance of set voltage.";
    QTest::newRow("auto-cal") << "autocal-enable-refused"
                              << "default"
                              << "fpgaGainSetup: Command to enable fpga autocal at startup "
                                 "failed, error code: ";
    QTest::newRow("PIN search") << "pin-reset-stuck"
                                << "LT"
                                << "pinDetectorCalibration: PIN detector calibration failed, "
                                   "height: false";
}

void TstCli::hardwareSetupFaultsFailTheirSubStep()
{
    QFETCH(QString, scenario);
    QFETCH(QString, model);
    QFETCH(QString, failure);
    QTemporaryDir dir;
    const Result run = xrfFactory({"run", "--root", dir.path(), "--model", model, "--steps",
                                   "provisioning,hardwareSetup", "--time-scale", "0.0001",
                                   "--scenario", scenario});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.out.contains(QRegularExpression("\\nprovisioning +PASSED")), qPrintable(run.out));
    QVERIFY2(run.out.contains(QRegularExpression("\\nhardwareSetup +FAILED +[0-9.]+ +"
                                                 + QRegularExpression::escape(failure))),
             qPrintable(run.out));
}

void TstCli::cloudRunsOnItsOwn()
{
    QProcess cloud;
    cloud.start(QStringLiteral(XRF_FACTORY_BIN), {"cloud", "--model", "MP", "--seconds", "20"});
    QVERIFY(cloud.waitForReadyRead(10000));
    const QString banner = QString::fromUtf8(cloud.readLine());
    const QRegularExpressionMatch url = QRegularExpression("(http://127.0.0.1:\\d+)").match(banner);
    QVERIFY2(url.hasMatch(), qPrintable(banner));
    QProcess curl;
    curl.start("curl", {"-s", "-f", url.captured(1) + "/health"});
    QVERIFY(curl.waitForFinished(10000));
    QCOMPARE(curl.exitCode(), 0);
    QVERIFY(curl.readAllStandardOutput().contains("ok"));
    cloud.terminate();
    QVERIFY(cloud.waitForFinished(10000));
    QCOMPARE(cloud.exitCode(), 0);
}

void TstCli::statusPrintsJsonOfAStoredState()
{
    QTemporaryDir dir;
    QDir().mkpath(dir.path() + "/home/factoryData");
    QDir().mkpath(dir.path() + "/home/profile/instrumentsettings");
    QFile lastResult(dir.path() + "/home/factoryData/lastResult.json");
    QVERIFY(lastResult.open(QIODevice::WriteOnly));
    lastResult.write(R"({"provisioning": {"stepId": 2, "status": 2},
                         "hardwareSetup": {"stepId": 3, "status": 3},
                         "factoryStepsStatus": {"stepId": 3}})");
    lastResult.close();
    QFile settings(dir.path() + "/home/profile/instrumentsettings/universalSettings.json");
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write(R"({"factory.settings": {"factoryStepsCompleted": 2}})");
    settings.close();

    const Result status = xrfFactory({"status", "--root", dir.path(), "--json"});
    QCOMPARE(status.exitCode, 0);
    const QJsonObject json = QJsonDocument::fromJson(status.out.toUtf8()).object();
    QCOMPARE(json.value("factoryStepsCompleted").toInt(), 2);
    QCOMPARE(json.value("currentStep").toString(), QStringLiteral("hardwareSetup"));
    QCOMPARE(json.value("steps").toObject(),
             QJsonObject({{"provisioning", "Passed"}, {"hardwareSetup", "Failed"}}));
    QCOMPARE(json.value("otherKeys").toArray(), QJsonArray({"factoryStepsStatus"}));
}

void TstCli::statusReportsUnreadableFilesAndFails()
{
    QTemporaryDir dir;
    QDir().mkpath(dir.path() + "/home/factoryData");
    QFile lastResult(dir.path() + "/home/factoryData/lastResult.json");
    QVERIFY(lastResult.open(QIODevice::WriteOnly));
    lastResult.write("{\"provisioning\": ");
    lastResult.close();
    const Result status = xrfFactory({"status", "--root", dir.path()});
    QCOMPARE(status.exitCode, 1);
    QVERIFY2(status.out.contains("Problem: Invalid JSON file"), qPrintable(status.out));
}

void TstCli::statusNamesFileAndKeyOfEveryProblem()
{
    QTemporaryDir dir;
    const QString factoryData = dir.path() + "/home/factoryData";
    QDir().mkpath(factoryData);
    const auto write = [](const QString &path, const QByteArray &content) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    };
    QVERIFY(write(factoryData + "/lastResult.json",
                  R"({"provisioning": {"stepId": 2, "status": 2},
                      "hardwareSetup": {"stepId": 3, "status": 2}})"));
    QVERIFY(write(factoryData + "/workOrderInfo.json", R"({"order": {}})"));
    QVERIFY(write(dir.path() + "/home/globalSettings.json", "{\"system.safety\": {"));
    // universalSettings.json is gone although hardware setup passed.

    const Result status = xrfFactory({"status", "--root", dir.path()});
    QCOMPARE(status.exitCode, 1);
    const QString home = QDir::cleanPath(QDir(dir.path()).absolutePath()) + "/home";
    for (const QString &problem :
         {"Problem: " + home
              + "/profile/instrumentsettings/universalSettings.json is missing, but "
                "lastResult.json records passed steps (provisioning, hardwareSetup)",
          "Problem: Invalid JSON file " + home + "/globalSettings.json",
          "Problem: " + home + "/factoryData/workOrderInfo.json has no \"workOrder\" object"})
        QVERIFY2(status.out.contains(problem), qPrintable(status.out));

    QVERIFY(write(dir.path() + "/home/profile/instrumentsettings/universalSettings.json",
                  R"({"factory.settings": {"factoryStepsCompleted": "4"}})"));
    const Result count = xrfFactory({"status", "--root", dir.path()});
    QVERIFY2(count.out.contains("Problem: \"factoryStepsCompleted\" in \"factory.settings\" of "
                                + home
                                + "/profile/instrumentsettings/universalSettings.json is "
                                  "not a number"),
             qPrintable(count.out));
}

void TstCli::badInvocationsExplainThemselves_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("no command") << QStringList() << 2 << "Commands:";
    QTest::newRow("unknown command") << QStringList{"fly"} << 2 << "Unknown command 'fly'";
    QTest::newRow("status without root") << QStringList{"status"} << 2 << "status needs --root DIR";
    QTest::newRow("status of nothing") << QStringList{"status", "--root", "/nonexistent/xrf"} << 1
                                       << "No instrument root at /nonexistent/xrf";
    QTest::newRow("unknown model")
        << QStringList{"run", "--model", "XL"} << 1
        << "Unknown model 'XL'; choose one of: default, LT, MP, HD, Harrier";
    QTest::newRow("unknown step") << QStringList{"run", "--steps", "provisioning,polish"} << 2
                                  << "Unknown factory step 'polish'";
    QTest::newRow("bad time scale") << QStringList{"run", "--time-scale", "fast"} << 2
                                    << "--time-scale needs a finite number of 0 or more";
    QTest::newRow("time scale nan") << QStringList{"run", "--time-scale", "nan"} << 2
                                    << "--time-scale needs a finite number of 0 or more, not 'nan'";
    QTest::newRow("time scale inf") << QStringList{"run", "--time-scale", "inf"} << 2
                                    << "--time-scale needs a finite number of 0 or more, not 'inf'";
    QTest::newRow("cloud of an unknown model")
        << QStringList{"cloud", "--model", "../..", "--seconds", "1"} << 2
        << "Unknown model '../..'; choose one of: default, LT, MP, HD, Harrier";
}

void TstCli::badInvocationsExplainThemselves()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    const Result result = xrfFactory(arguments);
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2((result.out + result.err).contains(message), qPrintable(result.out + result.err));
}

QTEST_GUILESS_MAIN(TstCli)
#include "tst_cli.moc"
