// xrf-factory as a factory engineer uses it: run on a fresh root, then status.

#include <QtTest>

class TstCli : public QObject
{
    Q_OBJECT

private slots:
    void runPreparesAFreshRootAndReportsItsState();
    void statusPrintsJsonOfAStoredState();
    void statusReportsUnreadableFilesAndFails();
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

TstCli::Result TstCli::xrfFactory(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(XRF_FACTORY_BIN), arguments);
    Result result;
    if (!process.waitForFinished(60000))
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
    QVERIFY2(run.out.contains("Factory steps completed: 0"), qPrintable(run.out));
    QVERIFY(run.out.contains("Current step:            softwareUpdate"));
    QVERIFY(run.out.contains("xrf-factory status --root " + root));
    for (const char *folder :
         {"home/factoryData", "home/profile/instrumentsettings", "sysroot", "sim"})
        QVERIFY2(QFileInfo(root + "/" + folder).isDir(), folder);
    QVERIFY(QFileInfo(root + "/home/logs/xrf-factory.log").size() > 0);
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
    QTest::newRow("bad time scale") << QStringList{"run", "--time-scale", "fast"} << 2
                                    << "--time-scale needs a number of 0 or more";
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
