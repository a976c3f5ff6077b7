#include "cloudtestbench.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QtTest>

// Requests through the network manager against the cloud simulator, in its default behaviour.
class TestCloudRoundTrip : public QObject
{
    Q_OBJECT
private slots:
    void fetchAnswersTheSeededWorkOrderWithTheRequestToken();
    void workOrderIsFoundByTubeSerialBeforeTheInstrumentHasASerial();
    void sendStoresTheBodyUnderTheInstrumentSerial();
    void requestNeedingAPathValueFailsWithAClearMessage();
    void uploadReportsProgressAndTheCloudKeepsNameSizeAndChecksum();
    void uploadWithAWrongChecksumFails();
    void uploadOfAMissingFileFails();
    void factorSetUploadAnswersThroughTheResponseSignal();
    void downloadWritesTheFileInPlace();
    void failedDownloadLeavesNoFile();
    void discardedRequestNeverAnswers();
    void connectivityFollowsTheCloudAndForcedOffline();

private:
    CloudTestBench bench;
};

void TestCloudRoundTrip::fetchAnswersTheSeededWorkOrderWithTheRequestToken()
{
    bench.cloud->setWorkOrder(SERIAL, {{"deviceType", "TARVO-KTR"}, {"checkSum", "abc"}});
    QSignalSpy responses(bench.network.get(), &XrfNetworkManager::responseFromNetwork);
    QString token;
    QCOMPARE(bench.network->fetchFromCloud(XrfNetworkManager::GetWorkOrder, {}, &token), 0);
    QVERIFY(!token.isEmpty());
    const XrfCloudResponse response =
        bench.awaitResponse(responses, XrfNetworkManager::GetWorkOrder);
    QCOMPARE(response.requestToken(), token);
    QVERIFY2(!response.hasFailed(), qPrintable(response.error()));
    QCOMPARE(response.httpStatusCode(), 200);
    const QJsonArray orders = response.responseData().toArray();
    QCOMPARE(orders.size(), 1);
    QCOMPARE(orders.first().toObject().value("deviceType").toString(), QString("TARVO-KTR"));
}

void TestCloudRoundTrip::workOrderIsFoundByTubeSerialBeforeTheInstrumentHasASerial()
{
    bench.cloud->setWorkOrder("SN-77", {{"tubeSerialNumber", "T-9"}, {"deviceType", "X"}});
    SimNetworkManager fresh{QUrl(bench.cloud->baseUrl())};
    QSignalSpy responses(&fresh, &XrfNetworkManager::responseFromNetwork);
    fresh.fetchFromCloud(XrfNetworkManager::GetWorkOrder, {{"tubeSerialNumber", "T-9"}});
    const XrfCloudResponse response =
        bench.awaitResponse(responses, XrfNetworkManager::GetWorkOrder);
    QVERIFY2(!response.hasFailed(), qPrintable(response.error()));
    QVERIFY(!response.responseData()
                 .toArray()
                 .first()
                 .toObject()
                 .value("checkSum")
                 .toString()
                 .isEmpty());

    fresh.fetchFromCloud(XrfNetworkManager::GetWorkOrder, {{"tubeSerialNumber", "nope"}});
    responses.clear();
    const XrfCloudResponse missing =
        bench.awaitResponse(responses, XrfNetworkManager::GetWorkOrder);
    QVERIFY(missing.hasFailed());
    QCOMPARE(missing.httpStatusCode(), 404);
    QCOMPARE(missing.error(), QString("HTTP 404: No work order for instrument 0"));
}

void TestCloudRoundTrip::sendStoresTheBodyUnderTheInstrumentSerial()
{
    QSignalSpy responses(bench.network.get(), &XrfNetworkManager::responseFromNetwork);
    const QJsonObject body{{"body", QJsonObject{{"beams", 3}}}};
    bench.network->sendToCloud(XrfNetworkManager::PutBeamsSetupResult, body, nullptr);
    const XrfCloudResponse response =
        bench.awaitResponse(responses, XrfNetworkManager::PutBeamsSetupResult);
    QVERIFY2(!response.hasFailed(), qPrintable(response.error()));
    QVERIFY(response.isObject());
    const auto stored =
        bench.cloud->receivedResults(SERIAL, XrfNetworkManager::PutBeamsSetupResult);
    QCOMPARE(stored.size(), 1);
    QCOMPARE(stored.first(), body);
}

void TestCloudRoundTrip::requestNeedingAPathValueFailsWithAClearMessage()
{
    QSignalSpy responses(bench.network.get(), &XrfNetworkManager::responseFromNetwork);
    bench.network->fetchFromCloud(XrfNetworkManager::GetStabilityTestRun, {});
    const XrfCloudResponse response =
        bench.awaitResponse(responses, XrfNetworkManager::GetStabilityTestRun);
    QVERIFY(response.hasFailed());
    QCOMPARE(response.error(), QString("Request 130 needs \"testQueryGuid\" in its body"));
}

void TestCloudRoundTrip::uploadReportsProgressAndTheCloudKeepsNameSizeAndChecksum()
{
    const QByteArray content(256 * 1024, 'x');
    const QString md5 = QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex();
    const QString path = bench.writeFile("logs.zip", content);
    QSignalSpy progress(bench.network.get(), &XrfNetworkManager::fileUploadProgress);
    QSignalSpy complete(bench.network.get(), &XrfNetworkManager::fileUploadComplete);
    bench.network->uploadBinaryFileToCloud(XrfNetworkManager::UploadStabilityFirmwareLogs,
                                           {{"serial", SERIAL},
                                            {"name", "logs.zip"},
                                            {"size", content.size()},
                                            {"checksum", md5},
                                            {"filePath", path}},
                                           nullptr);
    QTRY_COMPARE(complete.count(), 1);
    QCOMPARE(complete.first().at(0).toBool(), true);
    QVERIFY(!progress.isEmpty());
    QCOMPARE(progress.last().at(0).toInt(), 100);
    const auto files = bench.cloud->uploadedFiles(SERIAL);
    QCOMPARE(files.size(), 1);
    QCOMPARE(files.first().name, QString("logs.zip"));
    QCOMPARE(files.first().size, qint64(content.size()));
    QCOMPARE(files.first().md5, md5);
    QCOMPARE(files.first().requestId, int(XrfNetworkManager::UploadStabilityFirmwareLogs));
}

void TestCloudRoundTrip::uploadWithAWrongChecksumFails()
{
    const QString path = bench.writeFile("backup.zip", "profile");
    QSignalSpy complete(bench.network.get(), &XrfNetworkManager::fileUploadComplete);
    bench.network->uploadBinaryFileToCloud(XrfNetworkManager::UploadProfileBackup,
                                           {{"filePath", path}, {"checksum", "00ff"}}, nullptr);
    QTRY_COMPARE(complete.count(), 1);
    QCOMPARE(complete.first().at(0).toBool(), false);
    QVERIFY2(
        complete.first().at(1).toString().startsWith("HTTP 400: Checksum mismatch for backup.zip"),
        qPrintable(complete.first().at(1).toString()));
}

void TestCloudRoundTrip::uploadOfAMissingFileFails()
{
    QSignalSpy complete(bench.network.get(), &XrfNetworkManager::fileUploadComplete);
    bench.network->uploadBinaryFileToCloud(XrfNetworkManager::UploadFinalQcData,
                                           {{"filePath", bench.dir.filePath("absent.zip")}},
                                           nullptr);
    QTRY_COMPARE(complete.count(), 1);
    QCOMPARE(complete.first().at(0).toBool(), false);
    QVERIFY(complete.first().at(1).toString().startsWith("Cannot open \""));
}

void TestCloudRoundTrip::factorSetUploadAnswersThroughTheResponseSignal()
{
    const QString path = bench.writeFile(SERIAL + "Alloys.zip", "workspace");
    QSignalSpy plainComplete(bench.network.get(), &XrfNetworkManager::fileUploadComplete);
    QSignalSpy complete(bench.network.get(), &XrfNetworkManager::fileUploadCompleteResponse);
    bench.network->uploadBinaryFileToCloud(
        XrfNetworkManager::UploadFactorSetMethod,
        {{"filePath", path}, {"zipFileName", SERIAL + "Alloys.zip"}}, nullptr);
    QTRY_COMPARE(complete.count(), 1);
    const auto response = complete.first().at(0).value<XrfCloudResponse>();
    QVERIFY2(!response.hasFailed(), qPrintable(response.error()));
    QVERIFY(response.responseData().toObject().value("id").toInt() > 0);
    QCOMPARE(response.responseData().toObject().value("methodId").toString(), QString("Alloys"));
    QCOMPARE(plainComplete.count(), 0);
}

void TestCloudRoundTrip::downloadWritesTheFileInPlace()
{
    const QString url = bench.cloud->publishFile("templates.zip", "TEMPLATES");
    const QString target = bench.dir.filePath("fqc/templates");
    QSignalSpy done(bench.network.get(), &XrfNetworkManager::fileDownloadCompleted);
    bench.network->downloadBinaryFile(
        XrfNetworkManager::DownloadFinalQcTemplates,
        {{"downloadUrl", url}, {"downloadFileName", "t.zip"}, {"downloadDirectory", target}},
        nullptr);
    QTRY_COMPARE(done.count(), 1);
    QCOMPARE(done.first().at(0).toBool(), true);
    QFile file(target + "/t.zip");
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("TEMPLATES"));
}

void TestCloudRoundTrip::failedDownloadLeavesNoFile()
{
    QSignalSpy done(bench.network.get(), &XrfNetworkManager::fileDownloadCompleted);
    bench.network->downloadBinaryFile(XrfNetworkManager::DownloadFactorSetResult,
                                      {{"zipOutputUrl", "/api/v1/files/999"},
                                       {"zipOutputFileName", "out.zip"},
                                       {"zipOutputFileDir", bench.dir.path()}},
                                      nullptr);
    QTRY_COMPARE(done.count(), 1);
    QCOMPARE(done.first().at(0).toBool(), false);
    QCOMPARE(done.first().at(1).toString(), QString("HTTP 404: No file with id 999"));
    QVERIFY(!QFile::exists(bench.dir.filePath("out.zip")));
}

void TestCloudRoundTrip::discardedRequestNeverAnswers()
{
    const auto id = XrfNetworkManager::PutAirShotResult;
    bench.cloud->scriptDelay(id, 300);
    QSignalSpy responses(bench.network.get(), &XrfNetworkManager::responseFromNetwork);
    QString discarded;
    bench.network->sendToCloud(id, {{"body", QJsonObject()}}, &discarded);
    QTRY_COMPARE(bench.cloud->requestCount(id), 1);
    bench.network->discardNetworkRequest(discarded);

    // A later request, answered after the discarded one would have been, shows none came.
    bench.cloud->scriptDelay(id, 600);
    QString later;
    bench.network->sendToCloud(id, {{"body", QJsonObject()}}, &later);
    QCOMPARE(bench.awaitResponse(responses, id).requestToken(), later);
    QCOMPARE(responses.count(), 1);
}

void TestCloudRoundTrip::connectivityFollowsTheCloudAndForcedOffline()
{
    QTRY_VERIFY(bench.network->isCloudConnected());
    QSignalSpy changes(bench.network.get(), &XrfNetworkManager::cloudConnectivityStatusChanged);
    bench.network->setForcedOffline(true);
    QTRY_COMPARE(changes.count(), 1);
    QCOMPARE(changes.last().at(0).toBool(), false);
    QSignalSpy responses(bench.network.get(), &XrfNetworkManager::responseFromNetwork);
    bench.network->fetchFromCloud(XrfNetworkManager::GetWorkOrder, {});
    QVERIFY(bench.awaitResponse(responses, XrfNetworkManager::GetWorkOrder).hasFailed());

    bench.network->setForcedOffline(false);
    QTRY_COMPARE(changes.count(), 2);
    QCOMPARE(changes.last().at(0).toBool(), true);

    bench.network->setConnectivityPollIntervalMs(0);
    bench.cloud->stop();
    QTRY_COMPARE_WITH_TIMEOUT(changes.count(), 3, 5000);
    QCOMPARE(changes.last().at(0).toBool(), false);
}

QTEST_GUILESS_MAIN(TestCloudRoundTrip)
#include "tst_cloudroundtrip.moc"
