#include "cloudtestbench.h"

#include <QFile>
#include <QJsonArray>
#include <QtTest>

// The cloud's view of an instrument's factory progress, and its evaluation services.
class TestCloudFactoryStatus : public QObject
{
    Q_OBJECT
private slots:
    void reportedStatusesComeBackInTheDeviceStatus();
    void invalidatedStepAsksTheDeviceToGoBackUntilItReportsThatStep();
    void workOrderChangeIsDeliveredOnce();
    void statusWithoutAStepIsRejected();
    void stabilityRunIsInProgressThenPasses();
    void calibrationRunProgressesAndReturnsTheWorkspace();

private:
    XrfCloudResponse call(XrfNetworkManager::CloudRequestIds id, const QJsonObject &body)
    {
        QSignalSpy responses(bench.network.get(), &XrfNetworkManager::responseFromNetwork);
        if (id < 300)
            bench.network->fetchFromCloud(id, body);
        else
            bench.network->sendToCloud(id, body);
        return bench.awaitResponse(responses, id);
    }
    XrfCloudResponse putStatus(int stepId, int status)
    {
        return call(
            XrfNetworkManager::PutDeviceFactoryStepStatus,
            {{"serial", SERIAL}, {"body", QJsonObject{{"stepId", stepId}, {"status", status}}}});
    }
    QJsonObject deviceStatus(int currentStep, const QString &checksum = QString())
    {
        const XrfCloudResponse response = call(XrfNetworkManager::GetDeviceFactoryStatus,
                                               {{"stepId", currentStep},
                                                {"status", 5},
                                                {"factoryFileVersion", "1.1"},
                                                {"workOrderCheckSum", checksum},
                                                {"instrumentSerialNumber", SERIAL}});
        return response.responseData().toObject();
    }
    static int statusOf(const QJsonObject &status, int stepId)
    {
        int found = 0;
        for (const QJsonValue &entry : status.value("stepStatus").toArray()) {
            if (entry.toObject().value("stepId").toInt() == stepId)
                found = entry.toObject().value("statusId").toInt();
        }
        return found;
    }
    CloudTestBench bench;
};

void TestCloudFactoryStatus::reportedStatusesComeBackInTheDeviceStatus()
{
    bench.cloud->setWorkOrder(SERIAL, {{"deviceType", "X"}, {"checkSum", "c1"}});
    QVERIFY(!putStatus(2, 2).hasFailed());
    const XrfCloudResponse put = putStatus(3, 2);
    QVERIFY(put.isObject());
    QCOMPARE(put.responseData().toObject().value("stepId").toInt(), 3);
    QCOMPARE(bench.cloud->stepStatuses(SERIAL), (QMap<int, int>{{2, 2}, {3, 2}}));

    const QJsonObject status = deviceStatus(3, "c1");
    QCOMPARE(status.value("stepId").toInt(), 3);
    QCOMPARE(statusOf(status, 3), 2);
    QCOMPARE(status.value("hasWorkOrderChanged").toBool(), false);
    QCOMPARE(status.value("hasFactoryStepInvalidated").toBool(), false);
    QCOMPARE(status.value("workOrder").toArray().first().toObject().value("deviceType").toString(),
             QString("X"));
    QCOMPARE(deviceStatus(7).value("stepId").toInt(), 7);
}

void TestCloudFactoryStatus::invalidatedStepAsksTheDeviceToGoBackUntilItReportsThatStep()
{
    putStatus(4, 2);
    putStatus(5, 2);
    bench.cloud->invalidateStep(SERIAL, 4);
    QCOMPARE(bench.cloud->stepStatuses(SERIAL).value(4), 4);
    QCOMPARE(bench.cloud->stepStatuses(SERIAL).value(5), 4);
    QJsonObject status = deviceStatus(6, "c1");
    QCOMPARE(status.value("hasFactoryStepInvalidated").toBool(), true);
    QCOMPARE(status.value("stepId").toInt(), 4);
    QCOMPARE(statusOf(status, 4), 4);
    QCOMPARE(deviceStatus(6, "c1").value("hasFactoryStepInvalidated").toBool(), true);

    putStatus(4, 1);
    status = deviceStatus(4, "c1");
    QCOMPARE(status.value("hasFactoryStepInvalidated").toBool(), false);
    QCOMPARE(statusOf(status, 4), 1);
}

void TestCloudFactoryStatus::workOrderChangeIsDeliveredOnce()
{
    bench.cloud->markWorkOrderChanged(SERIAL);
    bench.cloud->markFactorySetupChanged(SERIAL);
    QJsonObject status = deviceStatus(4, "c1");
    QCOMPARE(status.value("hasWorkOrderChanged").toBool(), true);
    QCOMPARE(status.value("hasFactorySetupFileChanged").toBool(), true);
    status = deviceStatus(4, "c1");
    QCOMPARE(status.value("hasWorkOrderChanged").toBool(), false);
    QCOMPARE(status.value("hasFactorySetupFileChanged").toBool(), false);
    QCOMPARE(deviceStatus(4, "outdated").value("hasWorkOrderChanged").toBool(), true);
}

void TestCloudFactoryStatus::statusWithoutAStepIsRejected()
{
    const XrfCloudResponse response =
        call(XrfNetworkManager::PutDeviceFactoryStepStatus, {{"serial", SERIAL}, {"body", 3}});
    QVERIFY(response.hasFailed());
    QCOMPARE(response.httpStatusCode(), 400);
    QVERIFY(response.error().contains("\"stepId\""));
}

void TestCloudFactoryStatus::stabilityRunIsInProgressThenPasses()
{
    bench.cloud->setStabilityEvaluation(2, 4);
    const XrfCloudResponse summary =
        call(XrfNetworkManager::PutStabilityTestResult, {{"body", QJsonObject{{"shots", 10}}}});
    const QString guid = summary.responseData().toObject().value("stabilityResultGuid").toString();
    QVERIFY(!guid.isEmpty());
    const QJsonObject query{{"testQueryGuid", guid}};
    for (int poll = 0; poll < 2; ++poll) {
        const QJsonObject answer =
            call(XrfNetworkManager::GetStabilityTestRun, query).responseData().toObject();
        QCOMPARE(answer.value("stabilityTestRunProcessingStatusId").toInt(), 1);
    }
    const QJsonObject done =
        call(XrfNetworkManager::GetStabilityTestRun, query).responseData().toObject();
    QCOMPARE(done.value("stabilityTestRunProcessingStatusId").toInt(), 3);
    QCOMPARE(done.value("testResultStatusId").toInt(), 4);
    QVERIFY(done.value("stabilityTestRunId").toString().toInt() > 0);
}

void TestCloudFactoryStatus::calibrationRunProgressesAndReturnsTheWorkspace()
{
    // Not a workspace: the scenario's forced outcome serves the upload back.
    bench.cloud->setCalibrationRunOutcome(4);
    const QString zip = bench.writeFile(SERIAL + "Mining.zip", "WORKSPACE");
    QSignalSpy uploaded(bench.network.get(), &XrfNetworkManager::fileUploadCompleteResponse);
    bench.network->uploadBinaryFileToCloud(
        XrfNetworkManager::UploadFactorSetMethod,
        {{"filePath", zip}, {"zipFileName", SERIAL + "Mining.zip"}});
    QTRY_COMPARE(uploaded.count(), 1);
    const int runId = uploaded.first()
                          .at(0)
                          .value<XrfCloudResponse>()
                          .responseData()
                          .toObject()
                          .value("id")
                          .toInt();

    QSignalSpy statuses(bench.network.get(), &XrfNetworkManager::methodFactorSetStatusChange);
    QList<int> seen;
    for (int poll = 0; poll < 3; ++poll) {
        call(XrfNetworkManager::GetFactorSetStatus, {{"statusRequestId", runId}});
        QTRY_COMPARE(statuses.count(), poll + 1);
        seen << statuses.last().at(0).toJsonObject().value("runStatusId").toInt();
    }
    QCOMPARE(seen, (QList<int>{2, 3, 4}));
    const QString url = statuses.last().at(0).toJsonObject().value("zipOutputUrl").toString();
    QSignalSpy downloaded(bench.network.get(), &XrfNetworkManager::fileDownloadCompleted);
    bench.network->downloadBinaryFile(XrfNetworkManager::DownloadFactorSetResult,
                                      {{"zipOutputUrl", url},
                                       {"zipOutputFileName", "out.zip"},
                                       {"zipOutputFileDir", bench.dir.path()}});
    QTRY_COMPARE(downloaded.count(), 1);
    QVERIFY2(downloaded.first().at(0).toBool(), qPrintable(downloaded.first().at(1).toString()));
    QFile out(bench.dir.filePath("out.zip"));
    QVERIFY(out.open(QIODevice::ReadOnly));
    QCOMPARE(out.readAll(), QByteArray("WORKSPACE"));
}

QTEST_GUILESS_MAIN(TestCloudFactoryStatus)
#include "tst_cloudfactorystatus.moc"
