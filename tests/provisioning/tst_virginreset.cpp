// The reset of the instrument to its virgin state: archives of the factory data and profile
// folders, the default profile in place of the profile, the controller's NV erase and reboot.

#include "factorytestenv.h"
#include "logcapture.h"
#include "simfaults.h"
#include "siminstrument.h"
#include "simnetworkmanager.h"

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

#include <QtTest>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

void writeFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(data), qint64(data.size()));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every file of the archive with its contents.
QMap<QString, QByteArray> archiveFiles(const QString &path)
{
    QMap<QString, QByteArray> files;
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdUnzip))
        return files;
    for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
        const QString name = zip.getCurrentFileName();
        if (name.endsWith('/'))
            continue;
        QuaZipFile entry(&zip);
        if (entry.open(QIODevice::ReadOnly))
            files.insert(name, entry.readAll());
    }
    return files;
}

SimFaults &faults()
{
    return FactoryTestEnv::get().instrument().faults();
}

} // namespace

class TstVirginReset : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void nullErrorPointerIsRefused();
    void eraseFailureRemovesNothing();
    void backupFailureChangesNothing_data();
    void backupFailureChangesNothing();
    void rebootFailureComesAfterTheFolders();
    void resetArchivesAndInstallsTheDefaultProfile();
    void newSetupDataSurvivesTheResetItCauses();

private:
    Worker *worker() const { return FactoryTestEnv::get().worker(); }
    bool reset(QString *error) const
    {
        return FactoryTestEnv::get().onFactoryThread(
            [&] { return worker()->resetInstrumentToVirginState(error); });
    }
    QString home() const { return FactoryTestEnv::get().homePath(); }
    QString factoryData() const { return home() + "/factoryData"; }
    QString profile() const { return home() + "/profile"; }
    QString backups() const { return home() + "/backups"; }
    QStringList archives() const { return QDir(backups()).entryList(QDir::Files, QDir::Name); }

    std::unique_ptr<LogCapture> m_log;
};

void TstVirginReset::initTestCase()
{
    m_log.reset(new LogCapture);
    auto &env = FactoryTestEnv::start();
    env.network().setForcedOffline(true);
}

void TstVirginReset::init()
{
    faults().clear();
    QDir(backups()).removeRecursively();
    QFile::remove(backups());
    QDir(factoryData()).removeRecursively();
    QDir(profile()).removeRecursively();
    writeFile(factoryData() + "/lastResult.json", "{\"provisioning\":{}}");
    writeFile(factoryData() + "/hardwareSetup/hardwareSetup_1.json", "{\"gain\":1.5}");
    writeFile(profile() + "/instrumentsettings/universalSettings.json", "{\"system\":{}}");
    writeFile(profile() + "/methods/alloy.json", "{\"method\":\"alloy\"}");
    writeFile(home() + "/defaultProfile/instrumentsettings/universalSettings.json", "{}");
    writeFile(home() + "/defaultProfile/readme.txt", "default");
    FactoryTestEnv::get().onFactoryThread([this] {
        worker()->backupDirPath.clear();
        worker()->defaultProfilePath.clear();
    });
    m_log->clear();
}

void TstVirginReset::nullErrorPointerIsRefused()
{
    const int erases = faults().operationCalls("eraseNvSector");
    QVERIFY(!reset(nullptr));
    QCOMPARE(faults().operationCalls("eraseNvSector"), erases);
}

void TstVirginReset::eraseFailureRemovesNothing()
{
    faults().failOperation("eraseNvSector", 9);
    const int reboots = faults().operationCalls("k60Reboot");
    QString error = "stale";
    QVERIFY(!reset(&error));
    QCOMPARE(error, QStringLiteral("Failed to erase nv, ret:9"));
    QVERIFY(QFile::exists(factoryData() + "/lastResult.json"));
    QVERIFY(QFile::exists(profile() + "/methods/alloy.json"));
    QCOMPARE(faults().operationCalls("k60Reboot"), reboots);
}

void TstVirginReset::backupFailureChangesNothing_data()
{
    QTest::addColumn<QString>("broken");
    QTest::addColumn<QString>("message");
    QTest::newRow("no place for archives") << "backups"
                                           << "Failed to back up factoryData folder, err:";
    QTest::newRow("no profile folder") << "profile"
                                       << "Failed to backup profile folder, err:";
    QTest::newRow("no default profile") << "defaultProfile"
                                        << "Default profile folder ";
}

// The archives come first: until both are complete and a default profile is at hand, neither the
// controller's NV memory nor a folder is touched.
void TstVirginReset::backupFailureChangesNothing()
{
    QFETCH(QString, broken);
    QFETCH(QString, message);
    if (broken == "backups")
        writeFile(backups(), "a file where the archives should go");
    else
        QVERIFY(QDir(home() + "/" + broken).removeRecursively());
    const int erases = faults().operationCalls("eraseNvSector");
    const int reboots = faults().operationCalls("k60Reboot");

    QString error;
    QVERIFY(!reset(&error));
    QVERIFY2(error.startsWith(message), qPrintable(error));
    QVERIFY(error.size() > message.size());
    QCOMPARE(faults().operationCalls("eraseNvSector"), erases);
    QCOMPARE(faults().operationCalls("k60Reboot"), reboots);
    QCOMPARE(readFile(factoryData() + "/hardwareSetup/hardwareSetup_1.json"),
             QByteArray("{\"gain\":1.5}"));
    if (broken != "profile")
        QCOMPARE(readFile(profile() + "/methods/alloy.json"), QByteArray("{\"method\":\"alloy\"}"));
    QVERIFY(!QDir(home() + "/backups").entryList({"*.part"}).size());
}

void TstVirginReset::rebootFailureComesAfterTheFolders()
{
    faults().failOperation("k60Reboot", 4);
    QString error;
    QVERIFY(!reset(&error));
    QCOMPARE(error, QStringLiteral("Failed to reboot k60, err:4"));
    QCOMPARE(archives().size(), 2);
    QVERIFY(QFile::exists(profile() + "/readme.txt"));
}

void TstVirginReset::resetArchivesAndInstallsTheDefaultProfile()
{
    const int erases = faults().operationCalls("eraseNvSector");
    const int reboots = faults().operationCalls("k60Reboot");
    FactoryTestEnv::get().onFactoryThread([this] {
        worker()->lastResult = QJsonObject{{"provisioning", QJsonObject()}};
    });

    QString error = "stale";
    QVERIFY2(reset(&error), qPrintable(error));
    QVERIFY(error.isEmpty());
    QCOMPARE(faults().operationCalls("eraseNvSector"), erases + 1);
    QCOMPARE(faults().operationCalls("k60Reboot"), reboots + 1);

    const QStringList names = archives();
    QCOMPARE(names.size(), 2);
    const QRegularExpression stamp("^_800123_\\d\\d-\\d\\d-\\d{4}_\\d\\d:\\d\\d\\.zip$");
    QVERIFY2(names[0].startsWith("factoryData_backup")
                 && stamp.match(names[0].mid(qstrlen("factoryData_backup"))).hasMatch(),
             qPrintable(names[0]));
    QVERIFY2(names[1].startsWith("profile_backup")
                 && stamp.match(names[1].mid(qstrlen("profile_backup"))).hasMatch(),
             qPrintable(names[1]));
    const QMap<QString, QByteArray> factoryFiles = archiveFiles(backups() + "/" + names[0]);
    QCOMPARE(factoryFiles.keys(),
             (QStringList{"hardwareSetup/hardwareSetup_1.json", "lastResult.json"}));
    QCOMPARE(factoryFiles.value("hardwareSetup/hardwareSetup_1.json"),
             QByteArray("{\"gain\":1.5}"));
    const QMap<QString, QByteArray> profileFiles = archiveFiles(backups() + "/" + names[1]);
    QCOMPARE(profileFiles.value("methods/alloy.json"), QByteArray("{\"method\":\"alloy\"}"));
    QCOMPARE(profileFiles.size(), 2);

    QVERIFY(!QFileInfo::exists(factoryData()));
    QVERIFY(!QFileInfo::exists(profile() + "/methods"));
    QCOMPARE(readFile(profile() + "/readme.txt"), QByteArray("default"));
    QCOMPARE(readFile(profile() + "/instrumentsettings/universalSettings.json"), QByteArray("{}"));
    QVERIFY(worker()->lastResult.isEmpty());
}

// New setup data whose work order names other hardware than is fitted resets the instrument; the
// setup data it brought is still in place afterwards, not only inside the archive.
void TstVirginReset::newSetupDataSurvivesTheResetItCauses()
{
    auto &env = FactoryTestEnv::get();
    QVERIFY(env.seedModelData("default"));
    const QString setupPath = factoryData() + "/factory_setup_data.json";
    QJsonObject setupData = QJsonDocument::fromJson(readFile(setupPath)).object();
    setupData["version"] = 99;
    env.onFactoryThread([this] { worker()->workOrder["tubeSerialNumber"] = "TUBE-OTHER"; });
    const int erases = faults().operationCalls("eraseNvSector");

    env.onFactoryThread([&] { worker()->doSaveFactorySetupData(setupData); });
    QCOMPARE(faults().operationCalls("eraseNvSector"), erases + 1);
    QVERIFY(archives().first().startsWith("factoryData_backup_"));
    QCOMPARE(QJsonDocument::fromJson(readFile(setupPath)).object(), setupData);
    QCOMPARE(env.onFactoryThread([this] { return worker()->factorySetupDataVersion; }), 99);
}

QTEST_GUILESS_MAIN(TstVirginReset)
#include "tst_virginreset.moc"
