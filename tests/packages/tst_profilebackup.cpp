// The profile backup at the end of the factory run: the archive, its description and upload, the
// copy of the settings, the failures, and the hand-over settings of a complete instrument.

#include "archivetools.h"
#include "factorytestenv.h"
#include "logcapture.h"
#include "simcloudserver.h"
#include "simnetworkmanager.h"
#include "xrfcalcmanager.h"
#include "xrfengine.h"
#include "xrflogging.h"
#include "xrfsettingsmanager.h"

#include <QtTest>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

Worker *worker()
{
    return FactoryTestEnv::get().worker();
}

QString serial()
{
    return XrfHardwareManager::instance()->hardwareConfig()->insSerialNumber();
}

QString backupFolder()
{
    return FactoryTestEnv::get().factoryDataPath() + "/profileBackups";
}

void setStepsCompleted(int steps)
{
    QJsonObject factory{{"factoryStepsCompleted", steps}};
    QCOMPARE(XrfSettingsManager::instance()->setUniversalSetting("factory.settings", &factory), 0);
}

QJsonObject universal(const QString &section)
{
    QJsonObject value;
    XrfSettingsManager::instance()->getUniversalSetting(section, &value);
    return value;
}

XrfSafetySettings safety()
{
    XrfSafetySettings settings;
    XrfSettingsManager::instance()->getSafetySettings(&settings);
    return settings;
}

void writeFile(const QString &path, const QByteArray &content)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

} // namespace

class TstProfileBackup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void backupIsZippedDescribedAndUploaded();
    void newArchiveIsInPlaceBeforeOlderOnesGo();
    void diagnosticBackupIsNamedBySerial();
    void fileNameIsReducedToASafeBaseName();
    void failuresEndTheBackup_data();
    void failuresEndTheBackup();
    void completeInstrumentIsHandedOver();
    void handOverAppliesTheCustomerRulesOverAnUnreadableSafetyStore();
    void handOverNeedsACompleteInstrumentAndAnUpload_data();
    void handOverNeedsACompleteInstrumentAndAnUpload();

private:
    QJsonObject backup(bool diagPurpose, const QString &fileName);
    // The state that the hand-over changes, to compare before and after.
    QJsonObject handOverState() const;

    std::unique_ptr<LogCapture> m_log;
    QObject m_receiver;
    QList<QJsonObject> m_completed;
    QString m_profile;
};

void TstProfileBackup::initTestCase()
{
    m_log.reset(new LogCapture);
    auto &env = FactoryTestEnv::start();
    QVERIFY(env.seedModelData("default"));
    env.network().setInstrumentSerial(serial());
    m_profile = env.homePath() + "/profile";
    writeFile(m_profile + "/instrumentsettings/methods/Alloy/CalcMethod_Alloy.json", "{}");
    writeFile(env.root() + "/private/secret.txt", "secret");
    QVERIFY(QFile::link(env.root() + "/private/secret.txt", m_profile + "/secret-link.txt"));
    connect(env.manager(), &XrfFactoryManager::profileBackupAndUploadComplete, &m_receiver,
            [this](const QJsonObject &results) { m_completed << results; });
}

void TstProfileBackup::cleanupTestCase()
{
    XrfLogger::setLoggerLevel(QtDebugMsg);
    FactoryTestEnv::get().settleBeforeExit();
}

void TstProfileBackup::init()
{
    FactoryTestEnv::get().cloud().clearScripts();
    setStepsCompleted(5);
    m_completed.clear();
    m_log->clear();
}

QJsonObject TstProfileBackup::backup(bool diagPurpose, const QString &fileName)
{
    QMetaObject::invokeMethod(FactoryTestEnv::get().manager(), "backupAndUploadProfile",
                              Qt::QueuedConnection, Q_ARG(bool, diagPurpose),
                              Q_ARG(QString, fileName));
    if (!QTest::qWaitFor([this] { return !m_completed.isEmpty(); }, 60000))
        return QJsonObject();
    return m_completed.takeFirst();
}

QJsonObject TstProfileBackup::handOverState() const
{
    return {{"safety", safety().toJsonObject()},
            {"hardware.config", universal("hardware.config")},
            {"calculation", universal("calculation")},
            {"loggerLevel", int(XrfLogger::loggerLevel())}};
}

void TstProfileBackup::backupIsZippedDescribedAndUploaded()
{
    const int hourBefore = QTime::currentTime().hour();
    const QJsonObject results = backup(false, "final");
    QVERIFY2(results.value("status").toBool(), qPrintable(results.value("errorMsg").toString()));
    QCOMPARE(results.value("errorMsg").toString(), QString());
    const QJsonObject meta = results.value("metaInfo").toObject();
    const QString name = meta.value("name").toString();
    const QRegularExpressionMatch match =
        QRegularExpression("^final_profile_\\d\\d-\\d\\d-\\d{4}_(\\d\\d):\\d\\d\\.zip$")
            .match(name);
    QVERIFY2(match.hasMatch(), qPrintable(name));
    // The hour is on the 24-hour clock.
    const int hour = match.captured(1).toInt();
    QVERIFY(hour == hourBefore || hour == QTime::currentTime().hour());

    const QString archive = backupFolder() + "/" + name;
    QCOMPARE(meta.value("filePath").toString(), archive);
    QCOMPARE(meta.value("serial").toInt(), serial().toInt());
    QCOMPARE(meta.value("size").toInt(), int(QFileInfo(archive).size()));
    QCOMPARE(meta.value("checksum").toString(), XrfUtils::md5OfFile(archive));
    QVERIFY(!meta.value("dateCreated").toString().isEmpty());
    QString output;
    QVERIFY2(ArchiveTools::passesUnzipTest(archive, &output), qPrintable(output));
    const QStringList entries = ArchiveTools::entries(archive);
    QVERIFY(entries.contains("instrumentsettings/methods/Alloy/CalcMethod_Alloy.json"));
    QVERIFY(!entries.contains("secret-link.txt"));

    bool uploaded = false;
    for (const SimCloudFile &file : FactoryTestEnv::get().cloud().uploadedFiles(serial()))
        uploaded |= file.requestId == XrfNetworkManager::UploadProfileBackup && file.name == name
            && file.md5 == meta.value("checksum").toString();
    QVERIFY(uploaded);
    QCOMPARE(FactoryTestEnv::get().onFactoryThread([] { return worker()->currentTaskStatus; }),
             QStringLiteral("Upload complete."));

    // The settings are kept beside the factory data too.
    QFile copy(FactoryTestEnv::get().factoryDataPath() + "/universalSettings.json");
    QFile original(m_profile + "/instrumentsettings/universalSettings.json");
    QVERIFY(copy.open(QIODevice::ReadOnly) && original.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), original.readAll());
    QVERIFY(m_log->contains("Stached away the universalSettings file"));
}

void TstProfileBackup::newArchiveIsInPlaceBeforeOlderOnesGo()
{
    writeFile(backupFolder() + "/old_profile_01-01-2020_09:00.zip", "old");
    writeFile(backupFolder() + "/interrupted.zip.part", "part");
    const QJsonObject results = backup(false, "final");
    QVERIFY(results.value("status").toBool());
    const QString name = results.value("metaInfo").toObject().value("name").toString();
    QCOMPARE(QDir(backupFolder()).entryList(QDir::Files), QStringList{name});
}

void TstProfileBackup::diagnosticBackupIsNamedBySerial()
{
    const QJsonObject results = backup(true, "ignored");
    QVERIFY(results.value("status").toBool());
    const QString name = results.value("metaInfo").toObject().value("name").toString();
    QVERIFY2(QRegularExpression(QString("^diagnosticProfile_%1_\\d\\d-\\d\\d-\\d{4}_\\d\\d:\\d\\d"
                                        "\\.zip$")
                                    .arg(serial()))
                 .match(name)
                 .hasMatch(),
             qPrintable(name));
    QVERIFY(ArchiveTools::passesUnzipTest(backupFolder() + "/" + name));
}

void TstProfileBackup::fileNameIsReducedToASafeBaseName()
{
    const QJsonObject results = backup(false, "../../outside/unit 7");
    QVERIFY(results.value("status").toBool());
    const QString path = results.value("metaInfo").toObject().value("filePath").toString();
    QCOMPARE(QFileInfo(path).absolutePath(), backupFolder());
    QVERIFY2(QFileInfo(path).fileName().startsWith("unit_7_profile_"), qPrintable(path));
    QVERIFY(!QFileInfo::exists(FactoryTestEnv::get().homePath() + "/outside"));
}

void TstProfileBackup::failuresEndTheBackup_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("message");
    QTest::newRow("no profile path") << "profile"
                                     << "final"
                                     << "backup failed, profile path is not set";
    QTest::newRow("serial not a number")
        << "serial"
        << "final"
        << "Backup failed, the instrument serial number 'X12' is not a number.";
    QTest::newRow("no usable file name")
        << ""
        << ".."
        << "Backup failed, the file name '..' has no usable characters.";
    QTest::newRow("upload refused") << "cloud"
                                    << "final"
                                    << "Profile storage unavailable";
}

// A failure is reported through the completion signal, with the task status "Upload failed" and
// the warning; a serial that is not a number never becomes instrument 0.
void TstProfileBackup::failuresEndTheBackup()
{
    QFETCH(QString, fault);
    QFETCH(QString, fileName);
    QFETCH(QString, message);
    auto &env = FactoryTestEnv::get();
    const int uploads = env.cloud().uploadedFiles(serial()).size();
    if (fault == "profile")
        env.onFactoryThread([] { worker()->profilePath.clear(); });
    else if (fault == "serial")
        env.onFactoryThread([] { worker()->hardwareConfig.setInsSerialNumber("X12"); });
    else if (fault == "cloud")
        env.cloud().scriptFailure(XrfNetworkManager::UploadProfileBackup, 503,
                                  "Profile storage unavailable");
    const QJsonObject results = backup(false, fileName);
    env.onFactoryThread([this] {
        worker()->profilePath = m_profile;
        worker()->hardwareConfig.setInsSerialNumber(serial());
    });
    QCOMPARE(results.value("status").toBool(), false);
    QVERIFY2(results.value("errorMsg").toString().contains(message),
             qPrintable(results.value("errorMsg").toString()));
    QVERIFY(m_log->contains("Profile backup and upload failed, err:", QtWarningMsg));
    QCOMPARE(env.onFactoryThread([] { return worker()->currentTaskStatus; }),
             QStringLiteral("Upload failed"));
    QCOMPARE(env.cloud().uploadedFiles(serial()).size(), uploads);
}

void TstProfileBackup::completeInstrumentIsHandedOver()
{
    auto &env = FactoryTestEnv::get();
    QJsonValue orderFile;
    const QString orderPath = env.factoryDataPath() + "/workOrderInfo.json";
    QVERIFY(XrfUtils::readJsonFile(orderPath, &orderFile));
    QJsonObject order = orderFile.toObject().value("workOrder").toObject();
    order.insert("regulatoryRegion", "USA");
    order.insert("workStationRequired", true);
    order.insert("twoHandModeRequired", true);
    QVERIFY(XrfUtils::writeJsonFile(orderPath, QJsonDocument(QJsonObject{{"workOrder", order}})));
    env.onFactoryThread([] { worker()->setFactoryPageSafetySettings(true); });
    XrfCalcManager::instance()->setCalcDebugEnable(true, false);
    {
        QSettings store(XrfUtils::applicationSettingsFilePath(), QSettings::IniFormat);
        store.setValue("logLevelCalc", "debug");
        store.setValue("logLevelNetwork", "info");
        store.setValue("language", "en");
    }
    setStepsCompleted(12);

    QVERIFY(backup(false, "final").value("status").toBool());
    const XrfSafetySettings handedOver = safety();
    QCOMPARE(handedOver.testStandRequiredFor50kV(), false);
    QCOMPARE(handedOver.testStandRequired(), true);
    QCOMPARE(handedOver.twoHandTriggerEnabled(), true);
    unsigned short flags = 0;
    QCOMPARE(xrf_hal::XrfEngine::instance()->getSafetyModeFlags(&flags), 0);
    QCOMPARE(flags & 0x000C, 0x0004);
    const QJsonObject config = universal("hardware.config");
    QCOMPARE(config.value("forceTestStandRequired").toBool(), true);
    QCOMPARE(config.value("forceTwoHandMode").toBool(), true);
    QJsonValue instConfig;
    QVERIFY(XrfUtils::readJsonFile(m_profile + "/instrumentsettings/instConfig.json", &instConfig));
    QCOMPARE(instConfig.toObject().value("regulatoryRegion").toString(), QStringLiteral("USA"));
    QCOMPARE(XrfCalcManager::instance()->calcDebugEnabled(), false);
    QCOMPARE(universal("calculation").value("calcDebugEnabled").toBool(true), false);
    QCOMPARE(XrfLogger::loggerLevel(), QtWarningMsg);
    QSettings store(XrfUtils::applicationSettingsFilePath(), QSettings::IniFormat);
    QCOMPARE(store.allKeys(), QStringList{"language"});
    for (const char *line :
         {"Setting regulatory region safety settings ...",
          "Removing factory 50 kV workstation requirement ...",
          "Adding customer requested safety requirements ...", "Disabling calc debug data ...",
          "Resetting all log levels to warning ..."})
        QVERIFY2(m_log->contains(line, QtInfoMsg), line);
    XrfLogger::setLoggerLevel(QtDebugMsg);
}

// A torn globalSettings.json must not keep the customer's rules out of the instrument.
void TstProfileBackup::handOverAppliesTheCustomerRulesOverAnUnreadableSafetyStore()
{
    auto &env = FactoryTestEnv::get();
    const QString orderPath = env.factoryDataPath() + "/workOrderInfo.json";
    QJsonValue orderFile;
    QVERIFY(XrfUtils::readJsonFile(orderPath, &orderFile));
    QJsonObject order = orderFile.toObject().value("workOrder").toObject();
    order.insert("workStationRequired", true);
    order.insert("twoHandModeRequired", true);
    QVERIFY(XrfUtils::writeJsonFile(orderPath, QJsonDocument(QJsonObject{{"workOrder", order}})));
    env.reloadFactoryData();
    const QString global = XrfSettingsManager::instance()->globalSettingsFilePath();
    writeFile(global, "{\"system.safety\": {\"testStandRequ");
    setStepsCompleted(12);

    QVERIFY(backup(false, "final").value("status").toBool());
    QVERIFY(m_log->contains("Failed to read safety settings \"system.safety\" from " + global,
                            QtWarningMsg));
    const XrfSafetySettings handedOver = safety();
    QCOMPARE(handedOver.testStandRequired(), true);
    QCOMPARE(handedOver.twoHandTriggerEnabled(), true);
    QCOMPARE(QFileInfo(global).dir().entryList({"globalSettings.json.unreadable-*"}).size(), 1);
    XrfLogger::setLoggerLevel(QtDebugMsg);
}

void TstProfileBackup::handOverNeedsACompleteInstrumentAndAnUpload_data()
{
    QTest::addColumn<int>("stepsCompleted");
    QTest::addColumn<bool>("uploadRefused");
    QTest::newRow("eleven steps") << 11 << false;
    QTest::newRow("upload refused") << 12 << true;
}

void TstProfileBackup::handOverNeedsACompleteInstrumentAndAnUpload()
{
    QFETCH(int, stepsCompleted);
    QFETCH(bool, uploadRefused);
    FactoryTestEnv::get().onFactoryThread([] { worker()->setFactoryPageSafetySettings(true); });
    QJsonObject config = universal("hardware.config");
    config.remove("forceTestStandRequired");
    QCOMPARE(XrfSettingsManager::instance()->setUniversalSetting("hardware.config", &config), 0);
    setStepsCompleted(stepsCompleted);
    if (uploadRefused)
        FactoryTestEnv::get().cloud().scriptFailure(XrfNetworkManager::UploadProfileBackup, 503,
                                                    "Profile storage unavailable");
    const QJsonObject before = handOverState();
    QCOMPARE(backup(false, "final").value("status").toBool(), !uploadRefused);
    QCOMPARE(handOverState(), before);
    QVERIFY(!m_log->contains("Removing factory 50 kV workstation requirement ..."));
}

QTEST_GUILESS_MAIN(TstProfileBackup)
#include "tst_profilebackup.moc"
