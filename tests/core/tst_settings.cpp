// The settings manager over the instrument's settings files.

#include "asidefiles.h"
#include "logcapture.h"
#include "xrfsettingsmanager.h"
#include "xrfutils.h"

#include <QtTest>

class TstSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void aSectionNeverWrittenReadsEmpty();
    void writesKeepTheOtherSections();
    void globalSettingsLiveInTheirOwnFile();
    void anUnparsableFileIsKeptAsideBeforeTheNextWrite_data();
    void anUnparsableFileIsKeptAsideBeforeTheNextWrite();
    void aSectionThatIsNotAnObjectIsReported();
    void badArgumentsAreRefused();
    void modelQueriesFollowTheStoredInstrumentModel_data();
    void modelQueriesFollowTheStoredInstrumentModel();

private:
    XrfSettingsManager m_settings;
    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<LogCapture> m_log;
};

namespace {
QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

void TstSettings::initTestCase()
{
    m_log.reset(new LogCapture);
}

void TstSettings::init()
{
    m_root.reset(new QTemporaryDir);
    XrfUtils::setInstrumentRoot(m_root->path());
}

void TstSettings::aSectionNeverWrittenReadsEmpty()
{
    QJsonObject value{{"stale", true}};
    QCOMPARE(m_settings.getUniversalSetting("factory.settings", &value), 0);
    QVERIFY(value.isEmpty());
    QVERIFY(!QFile::exists(m_settings.universalSettingsFilePath()));
    QCOMPARE(m_settings.universalSettingsFilePath(),
             m_root->path() + "/home/profile/instrumentsettings/universalSettings.json");
}

void TstSettings::writesKeepTheOtherSections()
{
    QJsonObject factory{{"factoryStepsCompleted", 3}};
    QJsonObject fpga{{"slope", 0.01}, {"offset", -0.02}};
    QCOMPARE(m_settings.setUniversalSetting("factory.settings", &factory), 0);
    QCOMPARE(m_settings.setUniversalSetting("hardware.fpga", &fpga), 0);
    factory["factoryStepsCompleted"] = 4;
    QCOMPARE(m_settings.setUniversalSetting("factory.settings", &factory), 0);

    QJsonObject read;
    QCOMPARE(m_settings.getUniversalSetting("hardware.fpga", &read), 0);
    QCOMPARE(read, fpga);
    QCOMPARE(m_settings.getUniversalSetting("factory.settings", &read), 0);
    QCOMPARE(read.value("factoryStepsCompleted").toInt(), 4);

    // A fresh manager sees the same file: the state lives on disk, not in the object.
    XrfSettingsManager other;
    QCOMPARE(other.getUniversalSetting("hardware.fpga", &read), 0);
    QCOMPARE(read, fpga);
}

void TstSettings::globalSettingsLiveInTheirOwnFile()
{
    QCOMPARE(m_settings.setGlobalSetting("system.safety", QJsonObject{{"testStand", true}}), 0);
    QJsonObject read;
    QCOMPARE(m_settings.getUniversalSetting("system.safety", &read), 0);
    QVERIFY(read.isEmpty());
    QCOMPARE(m_settings.getGlobalSetting("system.safety", &read), 0);
    QCOMPARE(read.value("testStand").toBool(), true);
    QVERIFY(QFile::exists(m_settings.globalSettingsFilePath()));
}

void TstSettings::anUnparsableFileIsKeptAsideBeforeTheNextWrite_data()
{
    QTest::addColumn<bool>("universal");
    QTest::newRow("universal settings") << true;
    QTest::newRow("global settings") << false;
}

void TstSettings::anUnparsableFileIsKeptAsideBeforeTheNextWrite()
{
    QFETCH(bool, universal);
    const QString path =
        universal ? m_settings.universalSettingsFilePath() : m_settings.globalSettingsFilePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QByteArray damaged = "{\"factory.settings\": {\"factoryStepsCompleted\": 7}, \"hard";
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(damaged);
    }
    QJsonObject value;
    const int readCode = universal ? m_settings.getUniversalSetting("factory.settings", &value)
                                   : m_settings.getGlobalSetting("factory.settings", &value);
    QCOMPARE(readCode, int(XrfSettingsManager::ParseFailed));
    QVERIFY(!XrfSettingsManager::errorText(XrfSettingsManager::ParseFailed).isEmpty());
    // A read changes nothing; the next write keeps the damaged file aside and goes on.
    QCOMPARE(readFile(path), damaged);
    QJsonObject update{{"factoryStepsCompleted", 8}};
    const int writeCode = universal ? m_settings.setUniversalSetting("factory.settings", &update)
                                    : m_settings.setGlobalSetting("factory.settings", update);
    QCOMPARE(writeCode, 0);
    const QStringList copies = unreadableCopiesOf(path);
    QCOMPARE(copies.size(), 1);
    QCOMPARE(readFile(copies.first()), damaged);
    QVERIFY(m_log->contains(copies.first(), QtCriticalMsg));
    QCOMPARE(QJsonDocument::fromJson(readFile(path)).object(),
             QJsonObject({{"factory.settings", update}}));
}

void TstSettings::aSectionThatIsNotAnObjectIsReported()
{
    const QString path = m_settings.universalSettingsFilePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("{\"factory.settings\": [3]}");
    file.close();
    QJsonObject value;
    QCOMPARE(m_settings.getUniversalSetting("factory.settings", &value),
             int(XrfSettingsManager::SectionNotAnObject));
}

void TstSettings::badArgumentsAreRefused()
{
    QJsonObject value;
    QCOMPARE(m_settings.getUniversalSetting("factory.settings", nullptr),
             int(XrfSettingsManager::InvalidArgument));
    QCOMPARE(m_settings.getUniversalSetting(QString(), &value),
             int(XrfSettingsManager::InvalidArgument));
    QCOMPARE(m_settings.setUniversalSetting("factory.settings", nullptr),
             int(XrfSettingsManager::InvalidArgument));
    QCOMPARE(m_settings.getProfilePath(nullptr), int(XrfSettingsManager::InvalidArgument));
}

void TstSettings::modelQueriesFollowTheStoredInstrumentModel_data()
{
    QTest::addColumn<QString>("deviceType");
    QTest::addColumn<QString>("probeType");
    QTest::addColumn<QString>("expected");
    QTest::newRow("HD") << "TARVO-KHP-1"
                        << "SDD"
                        << "HD";
    QTest::newRow("MP") << "TARVO-MMR"
                        << "SDD"
                        << "MP";
    QTest::newRow("Harrier") << "TARVO2-X"
                             << "SDD"
                             << "Harrier";
    QTest::newRow("LT PIN") << "TARVO-KTR"
                            << "PIN"
                            << "LitePin";
    QTest::newRow("LT SDD") << "TARVO-KTS"
                            << "SDD"
                            << "LiteSdd";
    QTest::newRow("default") << "TARVO-K100"
                             << "SDD"
                             << "";
}

void TstSettings::modelQueriesFollowTheStoredInstrumentModel()
{
    QFETCH(QString, deviceType);
    QFETCH(QString, probeType);
    QFETCH(QString, expected);
    QJsonObject config{{"instrumentModel", deviceType}, {"probeType", probeType}};
    QCOMPARE(m_settings.setUniversalSetting("hardware.config", &config), 0);
    QCOMPARE(m_settings.isTarvoHD(), expected == "HD");
    QCOMPARE(m_settings.isTarvoMP(), expected == "MP");
    QCOMPARE(m_settings.isHarrier(), expected == "Harrier");
    QCOMPARE(m_settings.isTarvoLitePin(), expected == "LitePin");
    QCOMPARE(m_settings.isTarvoLiteSdd(), expected == "LiteSdd");
    QCOMPARE(m_settings.isTarvoLitePinOrSdd(), expected.startsWith("Lite"));
}

QTEST_GUILESS_MAIN(TstSettings)
#include "tst_settings.moc"
