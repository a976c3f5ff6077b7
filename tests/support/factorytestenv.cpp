#include "factorytestenv.h"

#include "simcloudserver.h"
#include "siminstrument.h"
#include "simnetworkmanager.h"
#include "xrfhardwaremanager.h"
#include "xrftimescale.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace {
FactoryTestEnv *g_env = nullptr;
}

FactoryTestEnv &FactoryTestEnv::start(const Options &options)
{
    if (!g_env) {
        g_env = new FactoryTestEnv;
        g_env->create(options);
    }
    return *g_env;
}

FactoryTestEnv &FactoryTestEnv::get()
{
    Q_ASSERT_X(g_env, "FactoryTestEnv::get", "call FactoryTestEnv::start() first");
    return *g_env;
}

void FactoryTestEnv::create(const Options &options)
{
    if (options.root.isEmpty()) {
        m_root.reset(new QTemporaryDir);
        QVERIFY2(m_root->isValid(), "cannot create a temporary instrument root");
        XrfUtils::setInstrumentRoot(m_root->path());
    } else {
        XrfUtils::setInstrumentRoot(options.root);
    }
    XrfTimeScale::setScale(options.timeScale);
    QDir().mkpath(homePath() + QStringLiteral("/factoryData"));
    QDir().mkpath(homePath() + QStringLiteral("/profile/instrumentsettings"));

    m_instrument.reset(new SimInstrument(options.model));
    m_instrument->install();
    m_cloud.reset(new SimCloudServer);
    QVERIFY2(m_cloud->start(), "cannot start the cloud simulator");
    m_network.reset(new SimNetworkManager(QUrl(m_cloud->baseUrl())));
    XrfNetworkManager::install(m_network.get());

    if (!options.startLibrary)
        return;
    manager()->init();
    manager()->setProfilePath(homePath() + QStringLiteral("/profile"));
    drainFactoryThread();
}

void FactoryTestEnv::drainFactoryThread() const
{
    QMetaObject::invokeMethod(
        worker(), [] {}, Qt::BlockingQueuedConnection);
}

QString FactoryTestEnv::root() const
{
    return XrfUtils::instrumentRoot();
}

QString FactoryTestEnv::homePath() const
{
    return XrfUtils::homeCorvaneAppDirPath();
}

QString FactoryTestEnv::factoryDataPath() const
{
    return homePath() + QStringLiteral("/factoryData");
}

QString FactoryTestEnv::lastResultPath() const
{
    return factoryDataPath() + QStringLiteral("/lastResult.json");
}

SimInstrument &FactoryTestEnv::instrument() const
{
    return *m_instrument;
}

SimCloudServer &FactoryTestEnv::cloud() const
{
    return *m_cloud;
}

SimNetworkManager &FactoryTestEnv::network() const
{
    return *m_network;
}

bool FactoryTestEnv::seedModelData(const QString &model) const
{
    const QDir from(QStringLiteral(XRF_DATA_DIR "/") + model + QStringLiteral("/factoryData"));
    const QString to = factoryDataPath();
    QDir().mkpath(to);
    const QStringList files = from.entryList({QStringLiteral("*.json")}, QDir::Files);
    for (const QString &file : files) {
        QFile::remove(to + QLatin1Char('/') + file);
        if (!QFile::copy(from.filePath(file), to + QLatin1Char('/') + file))
            return false;
    }
    reloadFactoryData();
    return !files.isEmpty();
}

void FactoryTestEnv::reloadFactoryData() const
{
    onFactoryThread([this] {
        worker()->workOrder = QJsonObject();
        worker()->factorySetupInfo = QJsonObject();
        worker()->defaultHwParams = QJsonObject();
        worker()->loadWorkOrderInfoFromFile();
        worker()->loadFactorySetupParamsFromFile();
        if (const auto config = XrfHardwareManager::instance()->hardwareConfig())
            worker()->hardwareConfig = *config;
    });
}

void FactoryTestEnv::settleBeforeExit() const
{
    // No new request starts (the reachability checks stop too), and those under way are answered
    // while the process still runs: nothing is served while the program's statics go.
    m_network->setForcedOffline(true);
    waitForCloudRequests();
}

// Answers reach the factory thread through the test thread's event loop and may start further
// requests there: it is over when two rounds in a row find nothing under way.
void FactoryTestEnv::waitForCloudRequests() const
{
    QElapsedTimer waited;
    waited.start();
    for (int quietRounds = 0; quietRounds < 2 && waited.elapsed() < 30000;) {
        QCoreApplication::processEvents();
        drainFactoryThread();
        if (network().requestsUnderWay() == 0) {
            ++quietRounds;
        } else {
            quietRounds = 0;
            QTest::qWait(1);
        }
    }
}
