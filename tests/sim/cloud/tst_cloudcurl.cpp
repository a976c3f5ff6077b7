#include "cloudtestbench.h"

#include <QJsonDocument>
#include <QProcess>
#include <QtTest>

// Command lines built from requestInfo, run with the real curl program against the simulator,
// the way the factor set upload and status polls are sent.
class TestCloudCurl : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void requestInfoGivesTheAddressTemplateAndHeaders();
    void uploadAndPollThroughCurl();

private:
    QString headerText(XrfNetworkManager::CloudRequestIds id) const
    {
        XrfHttpRequestInfo info;
        bench.network->requestInfo(id, &info);
        QString text;
        for (const auto &header : info.headers())
            text += QStringLiteral(" -H \"%1:%2\"").arg(header.first, header.second);
        return text;
    }
    QString url(XrfNetworkManager::CloudRequestIds id) const
    {
        XrfHttpRequestInfo info;
        bench.network->requestInfo(id, &info);
        return info.baseUrl() + info.extendedUrl();
    }
    QJsonObject runCurl(const QString &command)
    {
        QProcess curl;
        QStringList arguments = QProcess::splitCommand(command);
        curl.start(arguments.takeFirst(), arguments);
        if (!curl.waitForFinished(30000) || curl.exitCode() != 0)
            qWarning() << "curl failed:" << curl.readAllStandardError();
        return QJsonDocument::fromJson(curl.readAllStandardOutput()).object();
    }
    CloudTestBench bench;
};

void TestCloudCurl::initTestCase()
{
    QProcess probe;
    probe.start("curl", {"--version"});
    if (!probe.waitForFinished(10000) || probe.exitCode() != 0)
        QSKIP("the curl program is not installed");
}

void TestCloudCurl::requestInfoGivesTheAddressTemplateAndHeaders()
{
    XrfHttpRequestInfo info;
    QVERIFY(bench.network->requestInfo(XrfNetworkManager::UploadFactorSetMethod, &info));
    QCOMPARE(info.baseUrl(), bench.cloud->baseUrl());
    QCOMPARE(info.extendedUrl(), QString("/api/v1/devices/%1/methods/%2/%3"));
    QCOMPARE(info.method(), QString("PUT"));
    QVERIFY(info.headers().contains({"x-tenant-id", bench.network->tenantId()}));
    QVERIFY(info.headers().contains({"Content-Type", "application/octet-stream"}));
    QVERIFY(bench.network->requestInfo(XrfNetworkManager::GetFactorSetStatus, &info));
    QCOMPARE(info.extendedUrl(), QString("/api/v1/calibration/runs/%1"));
    QVERIFY(!bench.network->requestInfo(XrfNetworkManager::CloudRequestIds(999), &info));
}

void TestCloudCurl::uploadAndPollThroughCurl()
{
    // Not a workspace: the scenario's forced outcome serves the upload back.
    bench.cloud->setCalibrationRunOutcome(4);
    const QString zip = bench.writeFile("method.zip", "CALIBRATION WORKSPACE");
    const QString uploadUrl =
        url(XrfNetworkManager::UploadFactorSetMethod).arg(SERIAL, "Soils", "QCSummary");
    const QJsonObject upload =
        runCurl(QStringLiteral("curl --upload-file \"%1\" %2 -X PUT \"%3\"")
                    .arg(zip, headerText(XrfNetworkManager::UploadFactorSetMethod), uploadUrl));
    const int runId = upload.value("id").toInt();
    QVERIFY2(runId > 0, QJsonDocument(upload).toJson());
    const auto files = bench.cloud->uploadedFiles(SERIAL);
    QCOMPARE(files.size(), 1);
    QCOMPARE(files.first().size, qint64(21));

    const QString statusUrl = url(XrfNetworkManager::GetFactorSetStatus).arg(runId);
    const QString poll = QStringLiteral("curl %1 -X GET \"%2\"")
                             .arg(headerText(XrfNetworkManager::GetFactorSetStatus), statusUrl);
    QCOMPARE(runCurl(poll).value("runStatusId").toInt(), 2);
    QCOMPARE(runCurl(poll).value("runStatusId").toInt(), 3);
    const QJsonObject done = runCurl(poll);
    QCOMPARE(done.value("runStatusId").toInt(), 4);
    const QString output = bench.dir.filePath("result.zip");
    runCurl(
        QStringLiteral("curl \"%1\" -o \"%2\"").arg(done.value("zipOutputUrl").toString(), output));
    QFile result(output);
    QVERIFY(result.open(QIODevice::ReadOnly));
    QCOMPARE(result.readAll(), QByteArray("CALIBRATION WORKSPACE"));
}

QTEST_GUILESS_MAIN(TestCloudCurl)
#include "tst_cloudcurl.moc"
