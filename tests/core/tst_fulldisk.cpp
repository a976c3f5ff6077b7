// A full disk or an interrupted write: every atomic write fails with the file's name in its message
// and leaves the old file as it was, a step that cannot store its outcome fails, and the temporary
// files of interrupted writes go when the library starts.

#include "factorytestenv.h"
#include "xrfatomicfile.h"
#include "xrfsettingsmanager.h"

#include <QtTest>

#include <csignal>
#include <cstring>
#include <sys/resource.h>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

// The process may grow no file beyond `bytes` while it lives, as on a disk with that much room
// left: write() fails with EFBIG where a full disk gives ENOSPC, and both reach Qt the same way.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        m_applied = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_saved); }
    bool applied() const { return m_applied; }

private:
    rlimit m_saved{};
    bool m_applied = false;
};

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QStringList temporaryFilesIn(const QString &folder)
{
    QStringList found;
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
        if (XrfAtomicFile::isTemporaryFileName(name))
            found << name;
    }
    return found;
}

// Files an interrupted write leaves, planted before the library starts, and files that only look
// alike and must stay.
const QStringList kStaleFiles = {
    "home/factoryData/lastResult.json.AbCdEf",
    "home/factoryData/provisioningCheck/provisioningCheck_1.json.QwErTy",
    "home/profile/instrumentsettings/universalSettings.json.ZxCvBn",
    "home/globalSettings.json.AsDfGh"};
const QStringList kKeptFiles = {"home/factoryData/lastResult.json.unreadable-20260101T000000",
                                "home/factoryData/notes.json.AbCdEfG",
                                "home/calibrationdefault/x.json.AbCdEf"};

} // namespace

class TstFullDisk : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void staleTemporaryFilesGoWhenTheLibraryStarts();
    void writesOnAFullDiskFailAndKeepTheOldFile_data();
    void writesOnAFullDiskFailAndKeepTheOldFile();
    void provisioningThatCannotStoreItsOutcomeFails();

private:
    QTemporaryDir m_root;
};

void TstFullDisk::initTestCase()
{
    QVERIFY(m_root.isValid());
    for (const QString &file : kStaleFiles + kKeptFiles) {
        const QString path = m_root.filePath(file);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile planted(path);
        QVERIFY(planted.open(QIODevice::WriteOnly));
        planted.write("{\"torn");
    }
    FactoryTestEnv::Options options;
    options.root = m_root.path();
    FactoryTestEnv::start(options);
    FactoryTestEnv::get().drainFactoryThread();
}

void TstFullDisk::cleanupTestCase()
{
    FactoryTestEnv::get().settleBeforeExit();
}

void TstFullDisk::cleanup()
{
    XrfAtomicFile::simulateFullDisk(QString());
}

void TstFullDisk::staleTemporaryFilesGoWhenTheLibraryStarts()
{
    for (const QString &file : kStaleFiles)
        QVERIFY2(!QFileInfo::exists(m_root.filePath(file)), qPrintable(file));
    for (const QString &file : kKeptFiles)
        QVERIFY2(QFileInfo::exists(m_root.filePath(file)), qPrintable(file));
}

void TstFullDisk::writesOnAFullDiskFailAndKeepTheOldFile_data()
{
    QTest::addColumn<QString>("writer");
    QTest::newRow("JSON file") << "json";
    QTest::newRow("settings file") << "settings";
    QTest::newRow("result store") << "store";
    QTest::newRow("streamed file") << "stream";
    QTest::newRow("archive") << "archive";
}

// Qt buffers a small write, and a failed flush of that buffer is what a full disk looks like:
// the file must not be replaced by the empty or short temporary file.
void TstFullDisk::writesOnAFullDiskFailAndKeepTheOldFile()
{
    QFETCH(QString, writer);
    auto &env = FactoryTestEnv::get();
    const QString folder = env.factoryDataPath() + "/fulldisk/";
    const QString path = writer == "settings"
        ? XrfSettingsManager::instance()->universalSettingsFilePath()
        : folder + writer + (writer == "archive" ? ".zip" : ".json");
    const QString archived = folder + "archived";
    QJsonObject old{{"section", QJsonObject{{"kept", true}}}};
    QVERIFY(XrfUtils::writeJsonFile(writer == "archive" ? archived + "/a.json" : path,
                                    QJsonDocument(old)));
    if (writer == "archive") {
        QVERIFY(XrfUtils::backupDirectory(archived, path, nullptr));
        QFile noise(archived + "/noise.bin");
        QVERIFY(noise.open(QIODevice::WriteOnly));
        for (int i = 0; i < 2048; ++i)
            noise.write(QByteArray::number(QRandomGenerator::global()->generate()));
    }
    const QByteArray before = contentOf(path);
    QJsonObject bigger{{"payload", QString(4000, 'x')}};

    bool written = true;
    QString error;
    {
        FileSizeLimit limit(64);
        QVERIFY(limit.applied());
        if (writer == "json") {
            written = XrfUtils::writeJsonFile(path, QJsonDocument(bigger), &error);
        } else if (writer == "settings") {
            const int code =
                XrfSettingsManager::instance()->setUniversalSetting("section", &bigger);
            written = code == XrfSettingsManager::NoError;
            error = path; // the settings manager answers with a code and logs the file
        } else if (writer == "store") {
            written = env.onFactoryThread(
                [&] { return env.worker()->saveJsonDataToFile(path, bigger, &error); });
        } else if (writer == "archive") {
            written = XrfUtils::backupDirectory(archived, path, &error);
        } else {
            XrfAtomicFile file(path);
            QVERIFY(file.open(&error));
            for (int i = 0; i < 100; ++i)
                file.write("{\"line\": \"................................\"}\n");
            written = file.commit(&error);
        }
    }
    QVERIFY(!written);
    QVERIFY2(error.contains(path), qPrintable(error));
    QCOMPARE(contentOf(path), before);
    QCOMPARE(temporaryFilesIn(QFileInfo(path).absolutePath()), QStringList());
}

void TstFullDisk::provisioningThatCannotStoreItsOutcomeFails()
{
    auto &env = FactoryTestEnv::get();
    QVERIFY(env.seedModelData("default"));
    env.onFactoryThread([&] {
        env.worker()->currentStepId = XrfUtils::Provisioning;
        env.worker()->lastResult = QJsonObject{{"note", "earlier outcome"}};
        QVERIFY(env.worker()->saveFactorySetupLastResult());
    });
    const QByteArray before = contentOf(env.lastResultPath());
    XrfAtomicFile::simulateFullDisk("/lastResult\\.json$");

    QSignalSpy complete(env.manager(), &XrfFactoryManager::provisioningCheckComplete);
    env.onFactoryThread([&] { env.manager()->startProvisioningCheck(QJsonObject()); });
    QCOMPARE(complete.count(), 1);
    const QJsonObject data = complete.first().first().toJsonObject().value("data").toObject();
    QCOMPARE(data.value("status").toString(), QStringLiteral("fail"));
    const QJsonArray errors = data.value("errors").toArray();
    QCOMPARE(errors.size(), 1);
    const QString message = errors.first().toString();
    QVERIFY2(message.startsWith("Failed to save provisioning result to lastResult.json")
                 && message.contains("Failed to write data to file " + env.lastResultPath()),
             qPrintable(message));
    QVERIFY2(message.contains(QString::fromLocal8Bit(std::strerror(ENOSPC))), qPrintable(message));
    QCOMPARE(env.worker()->currentStepInfo.status(), int(XrfFactoryStepInfo::Failed));
    QCOMPARE(contentOf(env.lastResultPath()), before);
    QCOMPARE(temporaryFilesIn(env.factoryDataPath()), QStringList());
}

QTEST_GUILESS_MAIN(TstFullDisk)
#include "tst_fulldisk.moc"
