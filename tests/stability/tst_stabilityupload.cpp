// The upload of an assembled stability run: its order, the cloud's evaluation polled with
// back-off, the verdict and the PIN gain corrections, refusals and failures, discard, and one
// chain at a time.

#include "stabilitytest.h"

using namespace stabilitytest;

namespace {

const QString kRun = QStringLiteral("800123_20261206_0915");

QJsonObject shotRecord(int shot)
{
    return {{"iteration", shot},
            {"exposureRetries", 0},
            {"exposureEndConditions", QJsonArray{0}},
            {"exposureType", "HV"},
            {"icr", 32000 + shot},
            {"spectrumPeak1Channel", 321.0},
            {"spectrumPeak2Channel", 875.0 + 0.01 * shot},
            {"spectrumResolution", 145.0},
            {"afeTemperature", 31.0 + 0.5 * shot}};
}

QString completedFolder()
{
    return stabilityFolder("stability") + "/completed";
}

} // namespace

class TstStabilityUpload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void filesGoInOrderWhileTheCloudBacksOff();
    void offlineUploadIsRefusedAndKeepsTheFiles();
    void failedVerdictStillUploadsTheSpectra_data();
    void failedVerdictStillUploadsTheSpectra();
    void invalidRunIdLeavesTheSummaryUnaccepted();
    void withoutFirmwareLogsTheChainEndsAfterTheSpectra();
    void discardCancelsTheQueryAndDeletesOnlyTheRunsFiles();
    void oneUploadChainAtATime();
    void pinInstrumentTakesTheGainCorrections();

private:
    // A run assembled and waiting for its upload, as lastResult.json and the completed folder
    // hold it.
    void prepareAssembledRun(bool firmwareLogs = true);
    void upload();
    QPair<bool, QString> waitForUpload();
    int requests(int id) const { return env().cloud().requestCount(id); }

    std::unique_ptr<LogCapture> m_log;
    std::unique_ptr<Recorder> m_recorder;
};

void TstStabilityUpload::initTestCase()
{
    m_log.reset(new LogCapture);
    FactoryTestEnv::start();
    env().network().setInstrumentSerial(serial());
    m_recorder.reset(new Recorder);
    writeSetupData();
    QTRY_VERIFY_WITH_TIMEOUT(env().onFactoryThread([] { return worker()->cloudConnected; }), 20000);
}

void TstStabilityUpload::cleanupTestCase()
{
    env().settleBeforeExit();
}

void TstStabilityUpload::init()
{
    env().cloud().clearScripts();
    env().cloud().setStabilityEvaluation(1, 4);
    env().network().setForcedOffline(false);
    QTRY_VERIFY_WITH_TIMEOUT(env().onFactoryThread([] { return worker()->cloudConnected; }), 20000);
    m_recorder->clear();
    m_log->clear();
}

void TstStabilityUpload::prepareAssembledRun(bool firmwareLogs)
{
    QDir(stabilityFolder("stability")).removeRecursively();
    QJsonArray data;
    for (int shot = 1; shot <= 3; ++shot)
        data.append(shotRecord(shot));
    const QString summary = completedFolder() + "/stabRun_" + kRun + ".json";
    QVERIFY(XrfUtils::writeJsonFile(
        summary, QJsonDocument(QJsonObject{{"serial", serial()}, {"data", data}})));
    const QString spectraJson = completedFolder() + "/stabSpectra_" + kRun + ".json";
    QVERIFY(XrfUtils::writeJsonFile(spectraJson,
                                    QJsonDocument(QJsonObject{{"spectrums", QJsonArray()}})));
    QVERIFY(XrfUtils::zip(spectraJson, "stabSpectra_" + kRun + ".zip", completedFolder(), true,
                          true, false, QString()));
    QFile::remove(spectraJson);
    QVERIFY(XrfUtils::zip(summary, "firmwareLogs_" + kRun + ".zip", completedFolder(), true, true,
                          false, QString()));
    env().onFactoryThread([&] {
        worker()->selectStabilityType(Worker::StabilityPlain);
        XrfStabilityTestMetaInfo meta;
        meta.setStatus("waitingForCloudResponse");
        meta.setRunOutcome("shotsComplete");
        meta.setStartTimeUTC("2026-12-06T09:15:00Z");
        meta.setSaveFirmwareLogs(firmwareLogs);
        meta.setSummaryFilePath(summary);
        meta.setSpectraFilePath(completedFolder() + "/stabSpectra_" + kRun + ".zip");
        meta.setFirmwareLogsFilePath(completedFolder() + "/firmwareLogs_" + kRun + ".zip");
        worker()->stabilityMetaInfo = meta;
        worker()->saveStabilityTestInfoToLastResult();
    });
}

void TstStabilityUpload::upload()
{
    QMetaObject::invokeMethod(env().manager(), "uploadFactoryStepResult", Qt::QueuedConnection,
                              Q_ARG(QString, "stability"));
}

QPair<bool, QString> TstStabilityUpload::waitForUpload()
{
    if (!QTest::qWaitFor([this] { return !m_recorder->uploads.isEmpty(); }, 30000))
        return {false, QStringLiteral("no upload result")};
    return m_recorder->uploads.takeFirst();
}

void TstStabilityUpload::filesGoInOrderWhileTheCloudBacksOff()
{
    prepareAssembledRun();
    env().cloud().setStabilityEvaluation(8, 4);
    const int summaries = requests(XrfNetworkManager::PutStabilityTestResult);
    const int queries = requests(XrfNetworkManager::GetStabilityTestRun);
    upload();
    const auto result = waitForUpload();
    QVERIFY2(result.first, qPrintable(result.second));
    QCOMPARE(requests(XrfNetworkManager::PutStabilityTestResult), summaries + 1);
    QCOMPARE(requests(XrfNetworkManager::GetStabilityTestRun), queries + 9);
    QStringList waits;
    for (const LogCapture::Record &record : m_log->records()) {
        const auto match =
            QRegularExpression("Scheduling another check in (\\d+) seconds").match(record.message);
        if (match.hasMatch())
            waits << match.captured(1);
    }
    QCOMPARE(waits, QStringList({"1", "2", "4", "8", "16", "32", "60", "60"}));
    // Spectra before firmware logs, both after the verdict.
    QList<SimCloudFile> files = env().cloud().uploadedFiles(serial());
    std::sort(files.begin(), files.end(), [](const SimCloudFile &a, const SimCloudFile &b) {
        return a.id.toInt() < b.id.toInt();
    });
    QCOMPARE(files.at(files.size() - 2).requestId, int(XrfNetworkManager::UploadStabilitySpectra));
    QCOMPARE(files.last().requestId, int(XrfNetworkManager::UploadStabilityFirmwareLogs));
    QCOMPARE(files.last().meta.value("checksum").toString().size(), 32);
    QCOMPARE(m_recorder->lastStatus(), QStringLiteral("cloudResponseReceived"));
    QVERIFY(m_recorder->last().value("hasPassed").toBool());
    QVERIFY(QDir(completedFolder()).entryList(QDir::Files).isEmpty());
}

void TstStabilityUpload::offlineUploadIsRefusedAndKeepsTheFiles()
{
    prepareAssembledRun();
    env().network().setForcedOffline(true);
    QTRY_VERIFY(!env().onFactoryThread([] { return worker()->cloudConnected; }));
    upload();
    const auto refused = waitForUpload();
    QVERIFY(!refused.first);
    const QString text = "Failed to upload stability summary, device is not connected to internet. "
                         "Wireless LAN: Not Connected, Ethernet: Not Connected";
    QCOMPARE(refused.second, text);
    QVERIFY(m_log->contains(text, QtCriticalMsg));
    QCOMPARE(QDir(completedFolder()).entryList(QDir::Files).size(), 3);
    // Later, with the cloud back, the same files go.
    env().network().setForcedOffline(false);
    QTRY_VERIFY_WITH_TIMEOUT(env().onFactoryThread([] { return worker()->cloudConnected; }), 20000);
    upload();
    QVERIFY(waitForUpload().first);
    QVERIFY(QDir(completedFolder()).entryList(QDir::Files).isEmpty());
}

void TstStabilityUpload::failedVerdictStillUploadsTheSpectra_data()
{
    QTest::addColumn<QJsonValue>("verdict");
    QTest::newRow("failed") << QJsonValue(5);
    QTest::newRow("null") << QJsonValue(QJsonValue::Null);
}

void TstStabilityUpload::failedVerdictStillUploadsTheSpectra()
{
    QFETCH(QJsonValue, verdict);
    prepareAssembledRun();
    env().cloud().setStabilityEvaluation(0, verdict);
    const int spectra = requests(XrfNetworkManager::UploadStabilitySpectra);
    upload();
    QVERIFY(waitForUpload().first);
    QCOMPARE(requests(XrfNetworkManager::UploadStabilitySpectra), spectra + 1);
    QCOMPARE(m_recorder->lastStatus(), QStringLiteral("cloudResponseReceived"));
    QCOMPARE(m_recorder->last().value("hasPassed").toBool(), false);
    QTRY_COMPARE(env().cloud().stepStatuses(serial()).value(XrfUtils::Stability), 3);
}

void TstStabilityUpload::invalidRunIdLeavesTheSummaryUnaccepted()
{
    prepareAssembledRun();
    env().cloud().scriptPayload(XrfNetworkManager::GetStabilityTestRun,
                                QJsonObject{{"stabilityTestRunProcessingStatusId", 3},
                                            {"testResultStatusId", 4},
                                            {"stabilityTestRunId", "0"}});
    upload();
    const auto result = waitForUpload();
    QCOMPARE(result,
             qMakePair(false,
                       QStringLiteral("spectrum upload id 0 received in the response is invalid")));
    const QJsonObject stored = storedMeta("stability");
    QCOMPARE(stored.value("summaryUploadStatus").toBool(), false);
    QVERIFY(QFileInfo::exists(stored.value("summaryFilePath").toString()));
}

void TstStabilityUpload::withoutFirmwareLogsTheChainEndsAfterTheSpectra()
{
    prepareAssembledRun(false);
    const int logs = requests(XrfNetworkManager::UploadStabilityFirmwareLogs);
    upload();
    QVERIFY(waitForUpload().first);
    QCOMPARE(requests(XrfNetworkManager::UploadStabilityFirmwareLogs), logs);
    QCOMPARE(m_recorder->lastStatus(), QStringLiteral("cloudResponseReceived"));
}

void TstStabilityUpload::discardCancelsTheQueryAndDeletesOnlyTheRunsFiles()
{
    prepareAssembledRun();
    const QString foreign = env().factoryDataPath() + "/keep.zip";
    QVERIFY(XrfUtils::writeJsonFile(foreign, QJsonDocument(QJsonObject{{"keep", true}})));
    env().onFactoryThread([&] {
        worker()->stabilityMetaInfo.setFirmwareLogsFilePath(foreign);
        worker()->saveStabilityTestInfoToLastResult();
    });
    env().cloud().setStabilityEvaluation(1000, 4);
    upload();
    QTRY_VERIFY(m_log->count("Stability processing still in progress") >= 2);
    QMetaObject::invokeMethod(env().manager(), "discardFactoryStepResult", Qt::QueuedConnection,
                              Q_ARG(QString, "stability"));
    QTRY_COMPARE(m_recorder->lastStatus(), QStringLiteral("error"));
    QCOMPARE(m_recorder->last().value("errorMsg").toString(),
             QStringLiteral("Failed to upload stability data, data discarded by the user."));
    env().drainFactoryThread();
    const int queries = requests(XrfNetworkManager::GetStabilityTestRun);
    QTest::qWait(300);
    QCOMPARE(requests(XrfNetworkManager::GetStabilityTestRun), queries);
    QVERIFY(!env().onFactoryThread([] { return worker()->stabilityQueryRetryTimer->isActive(); }));
    QCOMPARE(QDir(completedFolder()).entryList(QDir::Files),
             QStringList{"firmwareLogs_" + kRun + ".zip"}); // no longer the record's
    QVERIFY(QFileInfo::exists(foreign));
    QVERIFY(m_log->contains("Refusing to delete"));
}

void TstStabilityUpload::oneUploadChainAtATime()
{
    prepareAssembledRun();
    env().cloud().setStabilityEvaluation(3, 4);
    const int summaries = requests(XrfNetworkManager::PutStabilityTestResult);
    upload();
    upload();
    QVERIFY(waitForUpload().first);
    env().waitForCloudRequests();
    QCOMPARE(requests(XrfNetworkManager::PutStabilityTestResult), summaries + 1);
    QVERIFY(m_log->contains("A stability upload is already in progress; not starting another"));
}

void TstStabilityUpload::pinInstrumentTakesTheGainCorrections()
{
    prepareAssembledRun();
    env().onFactoryThread([] { worker()->hardwareConfig.setDetectorModel("XDET-20430"); });
    upload();
    QVERIFY(waitForUpload().first);
    env().onFactoryThread(
        [] { worker()->hardwareConfig = *XrfHardwareManager::instance()->hardwareConfig(); });
    QVERIFY(m_log->contains("Gain correction values received from cloud"));
    float offset = 0;
    float temperature = 0;
    QCOMPARE(xrf_hal::XrfEngine::instance()->getAutoCalGainCorrectionOffset(&offset), 0);
    QCOMPARE(xrf_hal::XrfEngine::instance()->getAutoCalTemperatureAtCal(&temperature), 0);
    QVERIFY(std::abs(offset - 1.0f) < 0.01f);
    QVERIFY(std::abs(temperature - 32.0f) < 0.01f);
    QVERIFY(!m_log->contains("Failed to set gain slope and offset correction values."));
}

QTEST_GUILESS_MAIN(TstStabilityUpload)
#include "tst_stabilityupload.moc"
