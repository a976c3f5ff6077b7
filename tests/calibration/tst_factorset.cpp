// The factor set: the calibrated archive checks, the curl argument list, and the cloud runs of a
// method through the simulated cloud with their step status and failure paths.

#include "calibratedarchive.h"
#include "curlrunner.h"
#include "factorytestenv.h"
#include "logcapture.h"
#include "simcloudserver.h"
#include "xrfmethod.h"
#include "xrfutils.h"
#include "xrfzipwriter.h"

#include <QtTest>

using Method = XrfFactorSetQCSummaryResultPerMethod;

using Entries = QList<QPair<QString, QByteArray>>;

namespace {
const QString kMethod = QStringLiteral("testMethod");

QJsonObject methodJson(const QString &id, bool factorSet)
{
    XrfMethod method;
    method.setId(id);
    method.setIsSyntheticMethod(true);
    method.setIsFactorSetted(factorSet);
    XrfExposureSettings exposure;
    exposure.setEnabled(true);
    exposure.setTubeVoltageKv(40);
    exposure.setMaxTime(10);
    method.setExposureSettings(false, {exposure});
    return method.toJsonObject();
}

// An archive of the given entries (name -> content).
QString writeArchive(const QString &path, const Entries &entries)
{
    XrfZipWriter writer(path);
    QString error;
    if (!writer.open(&error))
        return error;
    for (const auto &entry : entries) {
        if (!writer.beginEntry(entry.first, &error) || !writer.write(entry.second))
            return error;
    }
    return writer.commit(&error) ? QString() : error;
}

QByteArray methodFileContent(const QString &id, bool factorSet)
{
    return QJsonDocument(methodJson(id, factorSet)).toJson();
}

QJsonObject readJson(const QString &path)
{
    QJsonValue value;
    XrfUtils::readJsonFile(path, &value);
    return value.toObject();
}
} // namespace

class TstFactorSet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void archiveIsInstalledOnlyWhenItHoldsAFactorSetMethod_data();
    void archiveIsInstalledOnlyWhenItHoldsAFactorSetMethod();
    void curlGetsAnArgumentListWithEncodedValues();
    void curlRefusesWhatIsNotHttp();
    void anErrorPageNeverBecomesADownload();

    void factorSetInstallsTheCalibratedMethodAndReportsTheStep();
    void approvalFailureKeepsTheInstalledMethod();
    void qcSummaryWorkspaceFailureIsReportedAgainstTheQcSummary();
    void abortEndsEveryPendingMethod();

private:
    QString methodFolder() const;
    void installWorkspace(bool factorSet) const;
    QJsonObject runFactorSet(bool qcSummary);

    std::unique_ptr<LogCapture> m_log;
    QTemporaryDir m_dir;
};

void TstFactorSet::initTestCase()
{
    m_log.reset(new LogCapture);
    FactoryTestEnv::start();
}

void TstFactorSet::init()
{
    auto &env = FactoryTestEnv::get();
    env.cloud().setCalibrationRunOutcome(4, 2);
    env.cloud().clearScripts();
    QFile::remove(env.lastResultPath());
    env.onFactoryThread([&] {
        env.worker()->lastResult = QJsonObject();
        env.worker()->factorSetResults = XrfFactorSetQCSummaryResults();
        env.worker()->qcSummaryResults = XrfFactorSetQCSummaryResults();
    });
    m_log->clear();
}

void TstFactorSet::cleanupTestCase()
{
    FactoryTestEnv::get().settleBeforeExit();
}

QString TstFactorSet::methodFolder() const
{
    return XrfMethod::methodFolder(FactoryTestEnv::get().worker()->profilePath, kMethod);
}

void TstFactorSet::installWorkspace(bool factorSet) const
{
    QDir(methodFolder()).removeRecursively();
    QVERIFY(QDir().mkpath(methodFolder()));
    QVERIFY(XrfUtils::writeJsonFile(methodFolder() + "/" + XrfMethod::methodFileName(kMethod),
                                    QJsonDocument(methodJson(kMethod, factorSet))));
}

QJsonObject TstFactorSet::runFactorSet(bool qcSummary)
{
    auto &env = FactoryTestEnv::get();
    QSignalSpy complete(env.manager(),
                        qcSummary ? &XrfFactoryManager::qcSummaryComplete
                                  : &XrfFactoryManager::factorSetComplete);
    env.onFactoryThread([&] {
        if (qcSummary)
            env.manager()->startQCSummary(kMethod);
        else
            env.manager()->startFactorSet(kMethod);
    });
    if (!complete.count() && !complete.wait(60000))
        return QJsonObject();
    env.waitForCloudRequests();
    return complete.first().first().toJsonObject();
}

void TstFactorSet::archiveIsInstalledOnlyWhenItHoldsAFactorSetMethod_data()
{
    QTest::addColumn<Entries>("entries");
    QTest::addColumn<bool>("qcSummary");
    QTest::addColumn<QString>("error");
    const QString file = XrfMethod::methodFileName("m1");
    QTest::newRow("factor set") << Entries{{file, methodFileContent("m1", true)},
                                           {"calibrationworkspace/new.txt", "x"}}
                                << false << QString();
    QTest::newRow("escaping entry")
        << Entries{{file, methodFileContent("m1", true)}, {"../outside.txt", "x"}} << false
        << "'m1' validation failed, failed to unzip "
           "downloaded method.";
    QTest::newRow("no method file") << Entries{{"other.json", "{}"}} << false
                                    << "'m1' validation failed, failed to de-serialize method "
                                       "JSON.";
    QTest::newRow("not JSON") << Entries{{file, "<html>502</html>"}} << false
                              << "'m1' validation failed, failed to de-serialize method JSON.";
    QTest::newRow("not factor set") << Entries{{file, methodFileContent("m1", false)}} << false
                                    << "'m1' validation failed, see log for details";
    QTest::newRow("qc summary without factor set")
        << Entries{{file, methodFileContent("m1", false)}} << true << QString();
}

void TstFactorSet::archiveIsInstalledOnlyWhenItHoldsAFactorSetMethod()
{
    QFETCH(Entries, entries);
    QFETCH(bool, qcSummary);
    QFETCH(QString, error);
    const QString methods = m_dir.filePath(QTest::currentDataTag());
    QVERIFY(QDir().mkpath(methods + "/m1"));
    QFile old(methods + "/m1/old.txt");
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.close();
    const QString archive = m_dir.filePath("archive.zip");
    QCOMPARE(writeArchive(archive, entries), QString());
    QString message;
    const bool installed = CalibratedArchive::install(archive, methods, "m1", !qcSummary, &message);
    QCOMPARE(message, error);
    QCOMPARE(installed, error.isEmpty());
    // Installed: exactly the archive's files; refused: the method as it was.
    QCOMPARE(QFileInfo::exists(methods + "/m1/old.txt"), !installed);
    QCOMPARE(QDir(methods).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"m1"});
    QVERIFY(!QFileInfo::exists(m_dir.filePath("outside.txt")));
}

void TstFactorSet::curlGetsAnArgumentListWithEncodedValues()
{
    QString error;
    const QUrl url = CurlRunner::buildUrl("http://127.0.0.1:8080", "/devices/%1/methods/%2/%3",
                                          {"SN 1", "../etc;rm -rf", "FactorSet"}, &error);
    QCOMPARE(url.toString(QUrl::FullyEncoded),
             QStringLiteral("http://127.0.0.1:8080/devices/SN%201/methods/..%2Fetc%3Brm%20-rf/"
                            "FactorSet"));
    CurlRequest request;
    request.method = CurlRequest::Put;
    request.url = url;
    request.uploadFile = "/data/methods/SN1m1.zip";
    request.headers = {{"x-tenant-id", "a b\"c"}};
    QStringList arguments;
    QVERIFY(CurlRunner::arguments(request, &arguments, &error));
    // Each value is one argument: nothing is ever joined into a command line.
    QVERIFY(arguments.contains("x-tenant-id: a b\"c"));
    QCOMPARE(arguments.at(arguments.indexOf("--upload-file") + 1),
             QStringLiteral("/data/methods/SN1m1.zip"));
    QCOMPARE(arguments.mid(arguments.size() - 2),
             (QStringList{"--url", url.toString(QUrl::FullyEncoded)}));
    QVERIFY(arguments.contains("=http,https"));
    QVERIFY(!arguments.contains("-L") && !arguments.contains("--location"));

    request.headers = {{"x-evil", "a\r\nHost: elsewhere"}};
    QVERIFY(!CurlRunner::arguments(request, &arguments, &error));
    QVERIFY(error.contains("malformed header"));
}

void TstFactorSet::curlRefusesWhatIsNotHttp()
{
    QString error;
    for (const char *base :
         {"file:///etc/passwd", "ftp://host", "http://user:pw@host", "-o/tmp/x", ""})
        QVERIFY2(!CurlRunner::buildUrl(base, "/x", {}, &error).isValid(), base);
    CurlRequest request;
    request.url = QUrl("file:///etc/passwd");
    QStringList arguments;
    QVERIFY(!CurlRunner::arguments(request, &arguments, &error));
}

void TstFactorSet::anErrorPageNeverBecomesADownload()
{
    auto &cloud = FactoryTestEnv::get().cloud();
    const QString target = m_dir.filePath("download.zip");
    CurlRequest request;
    request.url = QUrl(cloud.baseUrl() + "/no/such/file");
    request.outputFile = target;
    CurlRunner runner;
    QString error;
    int status = 0;
    QVERIFY(!runner.run(request, 10000, 60000, nullptr, &status, &error));
    QCOMPARE(status, 404);
    QVERIFY(!QFileInfo::exists(target));
    QVERIFY(!QFileInfo::exists(target + ".part"));

    request.url = QUrl(cloud.publishFile("ok.zip", "PK content"));
    QVERIFY2(runner.run(request, 10000, 60000, nullptr, &status, &error), qPrintable(error));
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("PK content"));
}

void TstFactorSet::factorSetInstallsTheCalibratedMethodAndReportsTheStep()
{
    auto &env = FactoryTestEnv::get();
    installWorkspace(false);
    const QString serial = env.worker()->hardwareConfig.insSerialNumber();
    const QJsonObject results = runFactorSet(false);
    QCOMPARE(results.value("status").toString(), QStringLiteral("pass"));
    XrfMethod installed;
    QVERIFY(installed.setMethodFile(methodFolder() + "/" + XrfMethod::methodFileName(kMethod)));
    QVERIFY(installed.isFactorSetted());
    const QJsonObject stored = readJson(env.lastResultPath()).value("factorSet").toObject();
    QCOMPARE(stored.value("status").toString(), QStringLiteral("pass"));
    const QJsonObject method = stored.value("methodsStatus").toArray().first().toObject();
    QVERIFY(method.value("statusRequestId").toInt() > 0);
    QCOMPARE(method.value("status").toString(), QStringLiteral("outputReady"));
    QCOMPARE(env.cloud().stepStatuses(serial).value(XrfUtils::FactorSet), 2);
    // The archives went by their recorded paths.
    QVERIFY(!QFileInfo::exists(method.value("methodInputZipFilePath").toString()));
    QVERIFY(!QFileInfo::exists(method.value("methodOutputZipFilePath").toString()));
    QVERIFY(m_log->contains("Sending request to cloud: "));
}

void TstFactorSet::approvalFailureKeepsTheInstalledMethod()
{
    auto &env = FactoryTestEnv::get();
    installWorkspace(false);
    const QString serial = env.worker()->hardwareConfig.insSerialNumber();
    env.cloud().setCalibrationRunOutcome(5, 1);
    const QJsonObject results = runFactorSet(false);
    QCOMPARE(results.value("status").toString(), QStringLiteral("fail"));
    const QJsonObject method = results.value("methodsStatus").toArray().first().toObject();
    // The cloud's reason follows the text.
    QVERIFY2(method.value("errorMsg")
                 .toString()
                 .startsWith("Factor set for " + kMethod + " failed: factor set approval failed ("),
             qPrintable(method.value("errorMsg").toString()));
    XrfMethod installed;
    QVERIFY(installed.setMethodFile(methodFolder() + "/" + XrfMethod::methodFileName(kMethod)));
    QVERIFY(!installed.isFactorSetted());
    QCOMPARE(env.cloud().stepStatuses(serial).value(XrfUtils::FactorSet), 3);
    QVERIFY(m_log->contains("factor set approval failed", QtCriticalMsg));
}

void TstFactorSet::qcSummaryWorkspaceFailureIsReportedAgainstTheQcSummary()
{
    auto &env = FactoryTestEnv::get();
    QDir(methodFolder()).removeRecursively();
    const QJsonObject results = runFactorSet(true);
    QCOMPARE(results.value("status").toString(), QStringLiteral("fail"));
    QVERIFY(results.value("methodsStatus")
                .toArray()
                .first()
                .toObject()
                .value("errorMsg")
                .toString()
                .contains("workspace is currupt"));
    const QJsonObject stored = readJson(env.lastResultPath());
    QCOMPARE(stored.value("qcSummary").toObject().value("status").toString(),
             QStringLiteral("fail"));
    QVERIFY(!stored.contains("factorSet"));
}

void TstFactorSet::abortEndsEveryPendingMethod()
{
    auto &env = FactoryTestEnv::get();
    installWorkspace(false);
    env.cloud().setCalibrationRunOutcome(4, 1000000);
    QSignalSpy complete(env.manager(), &XrfFactoryManager::factorSetComplete);
    env.onFactoryThread([&] { env.manager()->startFactorSet(kMethod); });
    QTRY_VERIFY_WITH_TIMEOUT(m_log->contains("Factor set cloud status changed: processing"), 60000);
    env.onFactoryThread([&] { env.manager()->abortFactorSet(); });
    QTRY_COMPARE_WITH_TIMEOUT(complete.count(), 1, 60000);
    const QJsonObject results = complete.first().first().toJsonObject();
    QCOMPARE(results.value("status").toString(), QStringLiteral("fail"));
    QCOMPARE(results.value("methodsStatus").toArray().first().toObject().value("errorMsg"),
             QJsonValue("Factor set aborted by the user."));
    QVERIFY(!env.onFactoryThread([&] { return env.worker()->factorSetProgressTimer->isActive(); }));
    env.waitForCloudRequests();
}

QTEST_GUILESS_MAIN(TstFactorSet)
#include "tst_factorset.moc"
