// lastResult.json and the JSON file primitives: refusals, error texts, layout, step records.

#include "asidefiles.h"
#include "factorytestenv.h"
#include "logcapture.h"

#include <QtTest>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

XrfFactoryStepInfo passedStep(XrfUtils::FactoryStepId id)
{
    XrfFactoryStepInfo info;
    info.setStepId(id);
    info.setStepIdStr(XrfFactoryManager::factoryStepNameFromId(id));
    info.setSessionId("session-1");
    info.setStatus(XrfFactoryStepInfo::Passed);
    info.setStartTime("2026-12-06T08:00:00Z");
    info.setEndTime("2026-12-06T08:10:00Z");
    info.setResultFile("/x/provisioningCheck_800123_12-06-2026_08-00.json");
    info.setResultFromJsonObj(QJsonObject{{"tubeSerialOk", true}});
    return info;
}

} // namespace

class TstResultStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void saveFromAnotherThreadIsRefusedAndLeavesTheFile();
    void saveOfAnEmptyObjectIsRefused();
    void saveWritesIndentedJsonThatLoadsBack();
    void saveReplacesTheFileWhole();
    void saveKeepsAnUnreadableFileAsideAndRaisesAnAlarm_data();
    void saveKeepsAnUnreadableFileAsideAndRaisesAnAlarm();
    void saveKeepsAFileAsideThatBecameUnreadableSinceItWasRead();
    void loadReportsMissingUnreadableAndInvalidFiles();
    void loadOfAnArrayKeepsTheCurrentImage();
    void loadFromAnotherThreadIsLoggedButRuns();
    void jsonPrimitivesRefuseBadArguments();
    void jsonSaveReportsAFolderThatCannotHoldTheFile();
    void spectraFilesAreReadQuietlyExceptTheFirstOfASeries();
    void stepRecordRoundTripKeepsOtherKeys();
    void stepRecordSaveNeedsAnErrorPointer();
    void stepPresenceFollowsTheTopLevelKeys();
    void stepLookupReportsAbsentAndMalformedRecords();

private:
    Worker *worker() const { return FactoryTestEnv::get().worker(); }
    template<typename Work>
    auto onFactoryThread(Work work) const
    {
        return FactoryTestEnv::get().onFactoryThread(work);
    }
    QString lastResultPath() const { return FactoryTestEnv::get().lastResultPath(); }

    std::unique_ptr<LogCapture> m_log;
};

void TstResultStore::initTestCase()
{
    m_log.reset(new LogCapture);
    FactoryTestEnv::start();
}

void TstResultStore::init()
{
    QFile::remove(lastResultPath());
    removeUnreadableCopiesOf(lastResultPath());
    onFactoryThread([this] { worker()->lastResult = QJsonObject(); });
    m_log->clear();
}

void TstResultStore::saveFromAnotherThreadIsRefusedAndLeavesTheFile()
{
    writeFile(lastResultPath(), "{\"provisioning\": {}}");
    QThread::currentThread()->setObjectName("application thread");
    worker()->lastResult = QJsonObject{{"beamsSetup", QJsonObject()}};
    QVERIFY(!worker()->saveFactorySetupLastResult());
    QVERIFY(m_log->contains("**CRITICAL** An attempt to save lastResult was made from "
                            "non-factoryManager thread ,thread id:\"application thread\"",
                            QtCriticalMsg));
    QCOMPARE(readFile(lastResultPath()), QByteArray("{\"provisioning\": {}}"));
}

void TstResultStore::saveOfAnEmptyObjectIsRefused()
{
    writeFile(lastResultPath(), "{\"provisioning\": {}}");
    QVERIFY(!onFactoryThread([this] { return worker()->saveFactorySetupLastResult(); }));
    QVERIFY(m_log->contains("**CRITICAL** An attempt to write empty object to lastResult was made",
                            QtCriticalMsg));
    QCOMPARE(readFile(lastResultPath()), QByteArray("{\"provisioning\": {}}"));
}

void TstResultStore::saveWritesIndentedJsonThatLoadsBack()
{
    const QJsonObject image{{"radiationSurvey", QJsonObject{{"status", 2}}},
                            {"airShot", QJsonObject{{"airShots", QJsonArray{1, 2}}}}};
    QVERIFY(onFactoryThread([&] {
        worker()->lastResult = image;
        return worker()->saveFactorySetupLastResult();
    }));
    const QByteArray written = readFile(lastResultPath());
    QCOMPARE(written, QJsonDocument(image).toJson(QJsonDocument::Indented));

    QString error = "stale";
    QVERIFY(onFactoryThread([&] {
        worker()->lastResult = QJsonObject();
        return worker()->loadFactorySetupLastResult(&error);
    }));
    QVERIFY(error.isEmpty());
    QCOMPARE(worker()->lastResult, image);
}

void TstResultStore::saveReplacesTheFileWhole()
{
    writeFile(lastResultPath(), QByteArray(64 * 1024, ' ') + "{\"old\": true}");
    QVERIFY(onFactoryThread([&] {
        worker()->lastResult = QJsonObject{{"new", true}};
        return worker()->saveFactorySetupLastResult();
    }));
    QCOMPARE(QJsonDocument::fromJson(readFile(lastResultPath())).object(),
             QJsonObject({{"new", true}}));
    // No temporary file is left beside it.
    const QStringList entries =
        QDir(QFileInfo(lastResultPath()).absolutePath()).entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(entries, QStringList{"lastResult.json"});
}

void TstResultStore::saveKeepsAnUnreadableFileAsideAndRaisesAnAlarm_data()
{
    QTest::addColumn<QByteArray>("damaged");
    QTest::newRow("torn") << QByteArray("{\"provisioning\": {\"status\": 2}, \"hardw");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("array") << QByteArray("[{\"provisioning\": {\"status\": 2}}]");
}

void TstResultStore::saveKeepsAnUnreadableFileAsideAndRaisesAnAlarm()
{
    QFETCH(QByteArray, damaged);
    writeFile(lastResultPath(), damaged);
    QString error;
    QVERIFY(onFactoryThread([&] {
        return worker()->saveFactoryStepToLastResult(passedStep(XrfUtils::HardwareSetup), &error);
    }));
    // The earlier content is still there to recover, beside the new file.
    const QStringList copies = unreadableCopiesOf(lastResultPath());
    QCOMPARE(copies.size(), 1);
    QCOMPARE(readFile(copies.first()), damaged);
    const QJsonObject saved = QJsonDocument::fromJson(readFile(lastResultPath())).object();
    QCOMPARE(saved.keys(), QStringList{"hardwareSetup"});
    // The technician's alarm names the file and where its content went.
    int alarms = 0;
    for (const LogCapture::Record &record : m_log->records()) {
        if (record.category == "alarm" && record.type == QtCriticalMsg
            && record.message.contains(lastResultPath() + " cannot be read")
            && record.message.contains(copies.first()))
            ++alarms;
    }
    QCOMPARE(alarms, 1);
}

void TstResultStore::saveKeepsAFileAsideThatBecameUnreadableSinceItWasRead()
{
    writeFile(lastResultPath(), "{\"provisioning\": {\"status\": 2}}");
    QVERIFY(onFactoryThread([this] { return worker()->loadFactorySetupLastResult(nullptr); }));
    writeFile(lastResultPath(), "{\"provisioning\": {\"status\": 2}, \"hardwareSetup\": ");
    QVERIFY(onFactoryThread([this] {
        worker()->lastResult.insert("cameraSetup", QJsonObject{{"status", 2}});
        return worker()->saveFactorySetupLastResult();
    }));
    QCOMPARE(unreadableCopiesOf(lastResultPath()).size(), 1);
    // A readable file is simply replaced: nothing more is kept aside.
    QVERIFY(onFactoryThread([this] { return worker()->saveFactorySetupLastResult(); }));
    QCOMPARE(unreadableCopiesOf(lastResultPath()).size(), 1);
}

void TstResultStore::loadReportsMissingUnreadableAndInvalidFiles()
{
    const QString path = lastResultPath();
    QString error;
    QVERIFY(!onFactoryThread([&] { return worker()->loadFactorySetupLastResult(&error); }));
    QCOMPARE(error,
             QStringLiteral("Failed to load factory setup lastResult from file %1, error:%1 "
                            "does not exist")
                 .arg(path));
    QVERIFY(m_log->contains(error, QtWarningMsg));

    writeFile(path, "{\"provisioning\": ");
    QVERIFY(!onFactoryThread([&] { return worker()->loadFactorySetupLastResult(&error); }));
    QVERIFY2(error.startsWith(QStringLiteral("Failed to load factory setup lastResult from file "
                                             "%1, error:Invalid JSON file %1, error:")
                                  .arg(path)),
             qPrintable(error));

    QFile::remove(path);
    QVERIFY(QDir().mkpath(path)); // a folder where the file should be cannot be read as one
    QVERIFY(!onFactoryThread([&] { return worker()->loadFactorySetupLastResult(&error); }));
    QVERIFY2(error.endsWith(QStringLiteral("Failed to open JSON file %1").arg(path)),
             qPrintable(error));
    QDir(path).removeRecursively();
}

void TstResultStore::loadOfAnArrayKeepsTheCurrentImage()
{
    const QJsonObject image{{"provisioning", QJsonObject{{"status", 2}}}};
    onFactoryThread([&] { worker()->lastResult = image; });
    writeFile(lastResultPath(), "[1, 2, 3]");
    QJsonValue value;
    QString loaderError;
    QVERIFY(onFactoryThread(
        [&] { return worker()->loadJsonFromFile(lastResultPath(), &value, &loaderError); }));
    QVERIFY(value.isArray());

    QString error;
    QVERIFY(!onFactoryThread([&] { return worker()->loadFactorySetupLastResult(&error); }));
    QCOMPARE(error,
             QStringLiteral("Failed to load factory setup last result from file, value read "
                            "is not a valid JSON object format."));
    QCOMPARE(worker()->lastResult, image);
}

void TstResultStore::loadFromAnotherThreadIsLoggedButRuns()
{
    writeFile(lastResultPath(), "{\"stability\": {}}");
    QThread::currentThread()->setObjectName("application thread");
    QVERIFY(worker()->loadFactorySetupLastResult(nullptr));
    QVERIFY(m_log->contains("***CRITICAL*** loadFactorySetupLastResult was called from "
                            "non-factorymanager thread., threadId:\"application thread\"",
                            QtCriticalMsg));
    QVERIFY(worker()->lastResult.contains("stability"));
}

void TstResultStore::jsonPrimitivesRefuseBadArguments()
{
    QJsonValue value;
    QString error;
    QVERIFY(!worker()->loadJsonFromFile(lastResultPath(), nullptr, &error));
    QVERIFY(!worker()->loadJsonFromFile(lastResultPath(), &value, nullptr));

    QVERIFY(!worker()->loadJsonFromFile(QString(), &value, &error));
    QCOMPARE(error, QStringLiteral("failed to load JSON from file, file path is empty"));

    error = "untouched";
    QVERIFY(!worker()->saveJsonDataToFile(QString(), QJsonObject{{"a", 1}}, &error));
    QCOMPARE(error, QStringLiteral("untouched"));
    QVERIFY(m_log->contains("filepath argument can not be empty"));
}

void TstResultStore::jsonSaveReportsAFolderThatCannotHoldTheFile()
{
    const QString blocker = FactoryTestEnv::get().root() + "/not-a-folder";
    writeFile(blocker, "plain file");
    const QString target = blocker + "/result.json";
    QString error = "earlier. ";
    QVERIFY(!worker()->saveJsonDataToFile(target, QJsonObject{{"a", 1}}, &error));
    QCOMPARE(error, QStringLiteral("earlier. Failed to open file %1").arg(target));
    QVERIFY(m_log->contains("Failed to save json data to file", QtWarningMsg));
    QCOMPARE(readFile(blocker), QByteArray("plain file"));
}

void TstResultStore::spectraFilesAreReadQuietlyExceptTheFirstOfASeries()
{
    const QString folder = FactoryTestEnv::get().factoryDataPath() + "/stability/spectra";
    writeFile(folder + "/shot_00.json", "{}");
    writeFile(folder + "/shot_07.json", "{}");
    QJsonValue value;
    QString error;
    QVERIFY(worker()->loadJsonFromFile(folder + "/shot_07.json", &value, &error));
    QVERIFY(!m_log->contains("shot_07.json"));
    QVERIFY(worker()->loadJsonFromFile(folder + "/shot_00.json", &value, &error));
    QVERIFY(m_log->contains("Reading json value from file"));
    QVERIFY(m_log->contains("shot_00.json"));
}

void TstResultStore::stepRecordRoundTripKeepsOtherKeys()
{
    writeFile(lastResultPath(), "{\"factoryStepsStatus\": {\"stepId\": 3}}");
    const XrfFactoryStepInfo stored = passedStep(XrfUtils::Provisioning);
    QString error = "stale";
    QVERIFY(onFactoryThread([&] { return worker()->saveFactoryStepToLastResult(stored, &error); }));
    QVERIFY(error.isEmpty());

    const QJsonObject onDisk = QJsonDocument::fromJson(readFile(lastResultPath())).object();
    QCOMPARE(onDisk.value("factoryStepsStatus").toObject().value("stepId").toInt(), 3);
    const QJsonObject record = onDisk.value("provisioning").toObject();
    for (const char *key : {"stepId", "stepIdStr", "sessionId", "status", "startTime", "endTime",
                            "resultFile", "result"})
        QVERIFY2(record.contains(key), key);

    XrfFactoryStepInfo loaded;
    QVERIFY(onFactoryThread([&] {
        return worker()->loadFactoryStepFromLastResult(XrfUtils::Provisioning, &loaded, &error);
    }));
    QCOMPARE(loaded.toJsonObject(), stored.toJsonObject());
    QCOMPARE(loaded.resultToJsonObj().value("tubeSerialOk").toBool(), true);
}

void TstResultStore::stepRecordSaveNeedsAnErrorPointer()
{
    QVERIFY(!onFactoryThread([&] {
        return worker()->saveFactoryStepToLastResult(passedStep(XrfUtils::Stability), nullptr);
    }));
    QVERIFY(!QFile::exists(lastResultPath()));
}

void TstResultStore::stepPresenceFollowsTheTopLevelKeys()
{
    XrfUtils::FactoryStepId beams = XrfUtils::BeamsSetup;
    QVERIFY(!onFactoryThread([&] { return worker()->isFactoryStepInLastResult(beams); }));
    QVERIFY(m_log->contains("Failed to read lastResult.json", QtWarningMsg));

    // With an empty image the file is read first.
    writeFile(lastResultPath(), "{\"beamsSetup\": {}, \"AirShot\": {}}");
    QVERIFY(onFactoryThread([&] { return worker()->isFactoryStepInLastResult(beams); }));
    XrfUtils::FactoryStepId air = XrfUtils::AirShot;
    QVERIFY(!onFactoryThread([&] { return worker()->isFactoryStepInLastResult(air); }));
}

void TstResultStore::stepLookupReportsAbsentAndMalformedRecords()
{
    XrfFactoryStepInfo info;
    QString error;
    QVERIFY(!worker()->loadFactoryStepFromLastResult(XrfUtils::Stability, nullptr, &error));
    QVERIFY(!worker()->loadFactoryStepFromLastResult(XrfUtils::Stability, &info, nullptr));

    QVERIFY(!onFactoryThread([&] {
        return worker()->loadFactoryStepFromLastResult(XrfUtils::Stability, &info, &error);
    }));
    QVERIFY2(error.startsWith("Failed to load factory step stability from lastResult.json, "
                              "error:Failed to load factory setup lastResult from file"),
             qPrintable(error));

    writeFile(lastResultPath(),
              "{\"provisioning\": {}, \"stability\": [1], "
              "\"beamsSetup\": {\"status\": \"passed\"}}");
    QVERIFY(!onFactoryThread(
        [&] { return worker()->loadFactoryStepFromLastResult(XrfUtils::AirShot, &info, &error); }));
    QCOMPARE(error,
             QStringLiteral("Failed to load factory step from lastResult.json, airShot key "
                            "is not found in lastResult.json"));

    QVERIFY(!onFactoryThread([&] {
        return worker()->loadFactoryStepFromLastResult(XrfUtils::Stability, &info, &error);
    }));
    QCOMPARE(error,
             QStringLiteral("Failed to load factory step from lastResult.josn, Result for "
                            "key stability is not valid JSON object"));

    // A record whose fields have the wrong types is refused and the output left alone.
    info.setSessionId("kept");
    QVERIFY(!onFactoryThread([&] {
        return worker()->loadFactoryStepFromLastResult(XrfUtils::BeamsSetup, &info, &error);
    }));
    QCOMPARE(info.sessionId(), QStringLiteral("kept"));
}

QTEST_GUILESS_MAIN(TstResultStore)
#include "tst_resultstore.moc"
