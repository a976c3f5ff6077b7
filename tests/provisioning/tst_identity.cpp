// Serial number and host name over a private bus, instrument type codes and the regulatory region
// settings.

#include "factorytestenv.h"
#include "logcapture.h"
#include "privatebus.h"
#include "simfaults.h"
#include "siminstrument.h"
#include "simnetworkmanager.h"
#include "xrfengine.h"
#include "xrfsettingsmanager.h"

#include <QtTest>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

unsigned int controllerSerial()
{
    unsigned int serial = 0;
    xrf_hal::XrfEngine::instance()->getInstrumentSerialNumber(&serial);
    return serial;
}

unsigned short controllerType()
{
    unsigned short type = 0;
    xrf_hal::XrfEngine::instance()->getInstrumentType(&type);
    return type;
}

QJsonObject universal(const QString &section)
{
    QJsonObject value;
    XrfSettingsManager::instance()->getUniversalSetting(section, &value);
    return value;
}

void setUniversal(const QString &section, QJsonObject value)
{
    QCOMPARE(XrfSettingsManager::instance()->setUniversalSetting(section, &value), 0);
}

QJsonObject global(const QString &section)
{
    QJsonObject value;
    XrfSettingsManager::instance()->getGlobalSetting(section, &value);
    return value;
}

SimFaults &faults()
{
    return FactoryTestEnv::get().instrument().faults();
}

int calls(const char *operation)
{
    return faults().operationCalls(QLatin1String(operation));
}

} // namespace

class TstIdentity : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void serialOtherThanPlainDigitsIsRefused_data();
    void serialOtherThanPlainDigitsIsRefused();
    void serialOfTheControllerOnlySetsTheHostName();
    void newSerialIsWrittenThenTheHostName();
    void controllerWriteFailureStopsBeforeTheHostName();
    void hostNameFailures_data();
    void hostNameFailures();
    void facadeLogsTheFailure();

    void typeCodes_data();
    void typeCodes();
    void typeWriteFailureSkipsTheNvSave();
    void nvSaveFailureStillSucceeds();

    void regulatoryRegion_data();
    void regulatoryRegion();
    void startupScriptEntryIsNotDuplicated();
    void startupCommandWordsAreQuotedForTheShell_data();
    void startupCommandWordsAreQuotedForTheShell();
    void modelQueriesFollowTheSettings();

private:
    Worker *worker() const { return FactoryTestEnv::get().worker(); }
    bool setSerial(const QString &serial, QString *error) const
    {
        return FactoryTestEnv::get().onFactoryThread(
            [&] { return worker()->setSerialNumberAndHostName(serial, error); });
    }
    QStringList receivedHostNames() const;
    void startService(const QStringList &arguments = {});

    std::unique_ptr<LogCapture> m_log;
    PrivateBus m_bus;
    QTemporaryDir m_dir;
    QString m_recordFile;
};

void TstIdentity::initTestCase()
{
    m_log.reset(new LogCapture);
    auto &env = FactoryTestEnv::start();
    env.network().setForcedOffline(true);
    QString error;
    QVERIFY2(m_bus.start(&error), qPrintable(error));
    m_recordFile = m_dir.filePath("hostnames.txt");
    startService();
}

void TstIdentity::cleanupTestCase()
{
    m_bus.stopService();
}

void TstIdentity::startService(const QStringList &arguments)
{
    QString error;
    QVERIFY2(m_bus.startService(QStringList{"--record", m_recordFile} + arguments, &error),
             qPrintable(error));
}

void TstIdentity::init()
{
    faults().clear();
    QFile::remove(m_recordFile);
    setUniversal("system", QJsonObject{{"hostname", "before"}, {"language", "en"}});
    m_log->clear();
}

QStringList TstIdentity::receivedHostNames() const
{
    QFile file(m_recordFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

void TstIdentity::serialOtherThanPlainDigitsIsRefused_data()
{
    QTest::addColumn<QString>("serial");
    QTest::newRow("letter") << "80a123";
    QTest::newRow("plus sign") << "+12";
    QTest::newRow("minus sign") << "-12";
    QTest::newRow("inner blank") << "80 0123";
    QTest::newRow("empty") << "   ";
    QTest::newRow("overflow") << "4294967296";
    QTest::newRow("non-ASCII digits") << QString::fromUtf8("\xd9\xa1\xd9\xa2");
    QTest::newRow("shell text") << "1;reboot";
}

void TstIdentity::serialOtherThanPlainDigitsIsRefused()
{
    QFETCH(QString, serial);
    const unsigned int before = controllerSerial();
    const int writes = calls("setInstrumentSerialNumber");
    QString error = "stale";
    QVERIFY(!setSerial(serial, &error));
    QCOMPARE(error, QStringLiteral("Invalid serial number, serial number can only have Digits."));
    QCOMPARE(controllerSerial(), before);
    QCOMPARE(calls("setInstrumentSerialNumber"), writes);
    QVERIFY(receivedHostNames().isEmpty());
    QCOMPARE(universal("system").value("hostname").toString(), QStringLiteral("before"));
}

void TstIdentity::serialOfTheControllerOnlySetsTheHostName()
{
    const QString serial = QString::number(controllerSerial());
    QSignalSpy hardwareConfig(FactoryTestEnv::get().manager(),
                              &XrfFactoryManager::updateHardwareConfig);
    const int writes = calls("setInstrumentSerialNumber");
    QString error;
    QVERIFY2(setSerial(" " + serial + "\n", &error), qPrintable(error));
    QVERIFY(error.isEmpty());
    QCOMPARE(calls("setInstrumentSerialNumber"), writes);
    QCOMPARE(hardwareConfig.count(), 0);
    QCOMPARE(receivedHostNames(), QStringList{"tarvo-" + serial});
    const QJsonObject system = universal("system");
    QCOMPARE(system.value("hostname").toString(), "tarvo-" + serial);
    QCOMPARE(system.value("language").toString(), QStringLiteral("en"));
    QVERIFY(m_log->contains("hostname set to ", QtInfoMsg));
}

void TstIdentity::newSerialIsWrittenThenTheHostName()
{
    QSignalSpy hardwareConfig(FactoryTestEnv::get().manager(),
                              &XrfFactoryManager::updateHardwareConfig);
    QString error;
    QVERIFY2(setSerial("4294967295", &error), qPrintable(error));
    QCOMPARE(controllerSerial(), 4294967295u);
    QCOMPARE(hardwareConfig.count(), 1);
    QVERIFY(m_log->contains("New serial number assigned to the instrument::  4294967295"));
    QCOMPARE(receivedHostNames(), QStringList{"tarvo-4294967295"});
    QCOMPARE(universal("system").value("hostname").toString(), QStringLiteral("tarvo-4294967295"));

    QVERIFY2(setSerial("800123", &error), qPrintable(error));
    QCOMPARE(controllerSerial(), 800123u);
}

void TstIdentity::controllerWriteFailureStopsBeforeTheHostName()
{
    faults().failOperation("setInstrumentSerialNumber", 7);
    QString error;
    QVERIFY(!setSerial("900556", &error));
    QCOMPARE(error, QStringLiteral("Failed to write serial number:900556 to K60, err code:7."));
    QCOMPARE(controllerSerial(), 800123u);
    QVERIFY(receivedHostNames().isEmpty());
    QCOMPARE(universal("system").value("hostname").toString(), QStringLiteral("before"));
}

void TstIdentity::hostNameFailures_data()
{
    QTest::addColumn<QString>("failure");
    QTest::newRow("refused by the service") << "refused";
    QTest::newRow("service not running") << "no service";
    QTest::newRow("no bus") << "no bus";
}

void TstIdentity::hostNameFailures()
{
    QFETCH(QString, failure);
    if (failure == "refused")
        startService({"--refuse", "tarvo-800999"});
    else if (failure == "no service")
        m_bus.stopService();
    else
        qputenv("XRF_SYSTEM_BUS_ADDRESS", "unix:path=" + QFile::encodeName(m_dir.filePath("none")));

    QString error;
    const bool set = setSerial("800999", &error);
    qputenv("XRF_SYSTEM_BUS_ADDRESS", m_bus.address().toLocal8Bit());
    startService();

    QVERIFY(!set);
    QCOMPARE(error, QStringLiteral("Failed to set hostname"));
    // Nothing is rolled back: the serial number stays written.
    QCOMPARE(controllerSerial(), 800999u);
    QCOMPARE(universal("system").value("hostname").toString(), QStringLiteral("before"));
    QVERIFY2(setSerial("800123", &error), qPrintable(error));
}

void TstIdentity::facadeLogsTheFailure()
{
    auto &env = FactoryTestEnv::get();
    faults().failOperation("setInstrumentType", 3);
    QMetaObject::invokeMethod(env.manager(), "setInstrumentSerialNumber", Qt::QueuedConnection,
                              Q_ARG(QString, "12ab"));
    QMetaObject::invokeMethod(env.manager(), "setInstrumentType", Qt::QueuedConnection,
                              Q_ARG(QString, "TARVO-KRW"));
    QTRY_VERIFY(m_log->contains("Failed to set Instrument Type", QtWarningMsg));
    const LogCapture::Record record = m_log->first("Failed to set serial number/host name, error:");
    QCOMPARE(record.type, QtWarningMsg);
    QVERIFY(record.message.contains("Invalid serial number, serial number can only have Digits."));
}

void TstIdentity::typeCodes_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("code"); // -1: nothing written

    QTest::newRow("KRW") << "TARVO-KRW-40" << 2;
    QTest::newRow("KTR") << "TARVO-KTR" << 702;
    QTest::newRow("KTS") << "TARVO-KTS" << 668;
    QTest::newRow("KTS and KTR") << "TARVO-KTS/TARVO-KTR" << 702;
    QTest::newRow("MCW") << "TARVO-MCW" << 920;
    QTest::newRow("MMR") << "X TARVO-MMR" << 920;
    QTest::newRow("KHP") << "TARVO-KHP" << 414;
    QTest::newRow("KHS") << "TARVO-KHS" << 414;
    QTest::newRow("TARVO2 with XXX") << "TARVO2-XXX" << 24;
    QTest::newRow("TARVO2 without XXX") << "TARVO2-ABC" << -1;
    QTest::newRow("case differs") << "tarvo-krw" << -1;
    QTest::newRow("empty") << "" << -1;
}

void TstIdentity::typeCodes()
{
    QFETCH(QString, model);
    QFETCH(int, code);
    QCOMPARE(xrf_hal::XrfEngine::instance()->setInstrumentType(0x7777), 0);
    const int saves = calls("saveToNv");
    const int clears = calls("clearLatchingSafetyFaults");

    bool written = true;
    QVERIFY(FactoryTestEnv::get().onFactoryThread(
        [&] { return worker()->writeInstrumentTypeToK60(model, &written); }));
    QCOMPARE(written, code >= 0);
    QCOMPARE(int(controllerType()), code >= 0 ? code : 0x7777);
    if (code >= 0)
        QVERIFY(
            m_log->contains(QStringLiteral("XrfFactoryManager::writeInstrumentTypeToK60 set to %1")
                                .arg(code, 8, 16, QLatin1Char('0'))));

    QVERIFY(
        FactoryTestEnv::get().onFactoryThread([&] { return worker()->setInstrumentType(model); }));
    const int expectedCalls = code >= 0 ? 1 : 0;
    QCOMPARE(calls("saveToNv") - saves, expectedCalls);
    QCOMPARE(calls("clearLatchingSafetyFaults") - clears, expectedCalls);
    QCOMPARE(m_log->count("Saving instrumentType to K60 NV"), expectedCalls);
}

void TstIdentity::typeWriteFailureSkipsTheNvSave()
{
    faults().failOperation("setInstrumentType", 5, 2);
    const int saves = calls("saveToNv");
    bool written = true;
    QVERIFY(!FactoryTestEnv::get().onFactoryThread(
        [&] { return worker()->writeInstrumentTypeToK60("TARVO-KHP", &written); }));
    QVERIFY(!written);
    QVERIFY(m_log->contains("Failed to set instrument type, 5", QtWarningMsg));
    QVERIFY(!FactoryTestEnv::get().onFactoryThread(
        [&] { return worker()->setInstrumentType("TARVO-KHP"); }));
    QCOMPARE(calls("saveToNv"), saves);
}

void TstIdentity::nvSaveFailureStillSucceeds()
{
    faults().failOperation("saveToNv", 3);
    faults().failOperation("clearLatchingSafetyFaults", 4);
    QVERIFY(FactoryTestEnv::get().onFactoryThread(
        [&] { return worker()->setInstrumentType("TARVO-KRW"); }));
    QCOMPARE(int(controllerType()), 2);
    QVERIFY(m_log->contains("clearLatchingSafetyFaults"));
}

void TstIdentity::regulatoryRegion_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("region");
    QTest::addColumn<bool>("frenchMode");
    QTest::addColumn<bool>("deadMan");
    QTest::addColumn<bool>("allowGps");

    QTest::newRow("France") << "TARVO-KHP"
                            << "FRANCE" << true << false << true;
    QTest::newRow("france, lower case") << "TARVO-KHP"
                                        << "eu-france" << true << false << true;
    QTest::newRow("China") << "TARVO-KHP"
                           << "China" << false << false << false;
    QTest::newRow("Canada") << "TARVO-KHP"
                            << "CANADA" << false << true << true;
    QTest::newRow("elsewhere") << "TARVO-KHP"
                               << "USA" << false << false << true;
    QTest::newRow("MP in France") << "TARVO-MCW"
                                  << "FRANCE" << false << false << true;
    QTest::newRow("MP in Canada") << "TARVO-MMR"
                                  << "CANADA" << false << false << true;
    QTest::newRow("MP in China") << "TARVO-MCW"
                                 << "CHINA" << false << false << false;
}

void TstIdentity::regulatoryRegion()
{
    QFETCH(QString, model);
    QFETCH(QString, region);
    QFETCH(bool, frenchMode);
    QFETCH(bool, deadMan);
    QFETCH(bool, allowGps);
    auto &env = FactoryTestEnv::get();
    QVERIFY(XrfSettingsManager::instance()->setGlobalSetting("system.safety", {{"beep", true}})
            == 0);
    setUniversal("hardware.config", {{"instrumentModel", model}, {"allowGps", !allowGps}});
    QFile::remove(XrfUtils::startupScriptInfoFilePath());
    const QString instConfig = env.homePath() + "/profile/instrumentsettings/instConfig.json";
    QVERIFY(XrfUtils::writeJsonFile(instConfig, QJsonDocument(QJsonObject{{"old", 1}})));

    env.onFactoryThread([&] { worker()->setupRegulatoryRegion(region); });

    QJsonValue stored;
    QVERIFY(XrfUtils::readJsonFile(instConfig, &stored));
    QCOMPARE(stored.toObject(), (QJsonObject{{"regulatoryRegion", region}}));
    const QJsonObject safety = global("system.safety");
    QCOMPARE(safety.value("beep").toBool(), true);
    QCOMPARE(safety.contains("frenchMode"), frenchMode);
    QCOMPARE(safety.value("frenchMode").toBool(), frenchMode);
    QCOMPARE(safety.value("deadManTrigger").toBool(), deadMan);
    const QJsonObject hardware = universal("hardware.config");
    QCOMPARE(hardware.value("instrumentModel").toString(), model);
    QCOMPARE(hardware.value("allowGps").toBool(), allowGps);
    QCOMPARE(hardware.contains("forceDeadManTrigger"), deadMan);
    QCOMPARE(QFile::exists(XrfUtils::startupScriptInfoFilePath()), deadMan);
    if (!deadMan)
        return;
    QCOMPARE(hardware.value("forceDeadManTrigger").toBool(), true);
    QVERIFY(XrfUtils::readJsonFile(XrfUtils::startupScriptInfoFilePath(), &stored));
    const QString home = XrfUtils::homeCorvaneAppDirPath();
    const QJsonObject entry{
        {"command",
         QStringLiteral("/usr/bin/python3 %1/scripts/disableMultipleTestForDeadman.py %2")
             .arg(home)
             .arg(controllerSerial())},
        {"workingDir", home + "/scripts/"},
        {"stdErrFile", "/media/sdcard/StartupScript.log"},
        {"stdOutFile", "/media/sdcard/StartupScript.log"}};
    QCOMPARE(stored.toArray(), QJsonArray{entry});
}

void TstIdentity::startupCommandWordsAreQuotedForTheShell_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("quoted");
    QTest::newRow("plain path") << "/home/x/scripts/a.py"
                                << "/home/x/scripts/a.py";
    QTest::newRow("space") << "/home/tech one/a.py"
                           << "'/home/tech one/a.py'";
    QTest::newRow("command") << "/h/$(reboot);x"
                             << "'/h/$(reboot);x'";
    QTest::newRow("quote") << "/h/it's"
                           << "'/h/it'\\''s'";
    QTest::newRow("empty") << ""
                           << "''";
}

// The home folder goes into a command line that the start-up runs through a shell.
void TstIdentity::startupCommandWordsAreQuotedForTheShell()
{
    QFETCH(QString, word);
    QFETCH(QString, quoted);
    QCOMPARE(XrfUtils::shellQuoted(word), quoted);
    QProcess shell;
    shell.start("/bin/sh", {"-c", "printf %s " + XrfUtils::shellQuoted(word)});
    QVERIFY(shell.waitForFinished());
    QCOMPARE(QString::fromUtf8(shell.readAllStandardOutput()), word);
}

void TstIdentity::startupScriptEntryIsNotDuplicated()
{
    const QJsonObject other{
        {"command", "/bin/true"}, {"workingDir", "/"}, {"stdErrFile", "e"}, {"stdOutFile", "o"}};
    QVERIFY(XrfUtils::writeJsonFile(XrfUtils::startupScriptInfoFilePath(),
                                    QJsonDocument(QJsonArray{other})));
    setUniversal("hardware.config", {{"instrumentModel", "TARVO-KHP"}});
    for (int i = 0; i < 2; ++i)
        FactoryTestEnv::get().onFactoryThread([&] { worker()->setupRegulatoryRegion("CANADA"); });
    QJsonValue stored;
    QVERIFY(XrfUtils::readJsonFile(XrfUtils::startupScriptInfoFilePath(), &stored));
    QCOMPARE(stored.toArray().size(), 2);
    QCOMPARE(stored.toArray().first().toObject(), other);
}

void TstIdentity::modelQueriesFollowTheSettings()
{
    auto *manager = FactoryTestEnv::get().manager();
    setUniversal("hardware.config", {{"instrumentModel", "TARVO-KTR"}, {"probeType", "PIN"}});
    QVERIFY(manager->isTarvoLitePin() && manager->isTarvoLitePinOrSdd());
    QVERIFY(!manager->isTarvoLiteSdd() && !manager->isTarvoHD() && !manager->isTarvoMP()
            && !manager->isHarrier());
    setUniversal("hardware.config", {{"instrumentModel", "TARVO-KHS"}});
    QVERIFY(manager->isTarvoHD() && !manager->isTarvoLitePinOrSdd());
    setUniversal("hardware.config", {{"instrumentModel", "TARVO-MMR"}});
    QVERIFY(manager->isTarvoMP());
    setUniversal("hardware.config", {{"instrumentModel", "TARVO2-A"}});
    QVERIFY(manager->isHarrier());
}

QTEST_GUILESS_MAIN(TstIdentity)
#include "tst_identity.moc"
