#include "cloudtestbench.h"

#include <QtTest>

// Scripted cloud answers and how the network manager reports them.
class TestCloudScripting : public QObject
{
    Q_OBJECT
private slots:
    void init() { bench.cloud->clearScripts(); }
    void httpErrorCarriesStatusAndErrorText();
    void malformedJsonFailsWithAParseMessage();
    void lateAnswerStillArrives();
    void answerLaterThanTheTimeoutFails();
    void scriptsApplyTheGivenNumberOfTimes();
    void payloadReplacesTheAnswer();

private:
    XrfCloudResponse fetchWorkOrder()
    {
        QSignalSpy responses(bench.network.get(), &XrfNetworkManager::responseFromNetwork);
        bench.network->fetchFromCloud(XrfNetworkManager::GetWorkOrder, {});
        return bench.awaitResponse(responses, XrfNetworkManager::GetWorkOrder);
    }
    CloudTestBench bench;
};

void TestCloudScripting::httpErrorCarriesStatusAndErrorText()
{
    bench.cloud->scriptFailure(XrfNetworkManager::GetWorkOrder, 500, "database unavailable");
    const XrfCloudResponse response = fetchWorkOrder();
    QVERIFY(response.hasFailed());
    QCOMPARE(response.httpStatusCode(), 500);
    QCOMPARE(response.error(), QString("HTTP 500: database unavailable"));
}

void TestCloudScripting::malformedJsonFailsWithAParseMessage()
{
    bench.cloud->setWorkOrder(SERIAL, {{"deviceType", "X"}});
    bench.cloud->scriptMalformed(XrfNetworkManager::GetWorkOrder);
    const XrfCloudResponse response = fetchWorkOrder();
    QVERIFY(response.hasFailed());
    QVERIFY2(response.error().startsWith("Malformed JSON in the answer to request 105:"),
             qPrintable(response.error()));
    QVERIFY(!response.isObject());
    QVERIFY2(!fetchWorkOrder().hasFailed(), "a scripted answer is used once by default");
}

void TestCloudScripting::lateAnswerStillArrives()
{
    bench.cloud->setWorkOrder(SERIAL, {{"deviceType", "X"}});
    bench.cloud->scriptDelay(XrfNetworkManager::GetWorkOrder, 200);
    const XrfCloudResponse response = fetchWorkOrder();
    QVERIFY2(!response.hasFailed(), qPrintable(response.error()));
    QCOMPARE(response.responseData().toArray().size(), 1);
}

void TestCloudScripting::answerLaterThanTheTimeoutFails()
{
    bench.network->setRequestTimeoutMs(100);
    bench.cloud->scriptDelay(XrfNetworkManager::GetWorkOrder, 1000);
    const XrfCloudResponse response = fetchWorkOrder();
    bench.network->setRequestTimeoutMs(30000);
    QVERIFY(response.hasFailed());
    QCOMPARE(response.error(), QString("Request 105 timed out after 100 ms"));
}

void TestCloudScripting::scriptsApplyTheGivenNumberOfTimes()
{
    bench.cloud->setWorkOrder(SERIAL, {{"deviceType", "X"}});
    bench.cloud->scriptFailure(XrfNetworkManager::GetWorkOrder, 503, "busy", 2);
    QVERIFY(fetchWorkOrder().hasFailed());
    QVERIFY(fetchWorkOrder().hasFailed());
    QVERIFY(!fetchWorkOrder().hasFailed());

    bench.cloud->scriptFailure(XrfNetworkManager::GetWorkOrder, 502, "gateway",
                               SimCloudServer::Always);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(fetchWorkOrder().httpStatusCode(), 502);
}

void TestCloudScripting::payloadReplacesTheAnswer()
{
    bench.cloud->scriptPayload(XrfNetworkManager::GetWorkOrder, QJsonObject{{"unexpected", true}});
    const XrfCloudResponse response = fetchWorkOrder();
    QVERIFY(!response.hasFailed());
    QVERIFY(response.isObject());
    QCOMPARE(response.responseData().toObject().value("unexpected").toBool(), true);
}

QTEST_GUILESS_MAIN(TestCloudScripting)
#include "tst_cloudscripting.moc"
