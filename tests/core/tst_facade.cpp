// The facade as an application uses it: one instance, the factory thread, dispatch of the
// blocking queries, profile paths, connectivity, task status and shut-down.

#include "factorytestenv.h"
#include "logcapture.h"
#include "xrfnetworkstatusmanager.h"

#include <QtConcurrent/QtConcurrentRun>
#include <QtTest>

#include <QTimer>

class TstFacade : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void instanceIsOneObjectAcrossThreads();
    void initAnnouncesTheStepRangeFirst();
    void initMovesFacadeAndWorkerToTheNamedThread();
    void initBuildsPathsBelowTheFactoryDataFolder();
    void blockingQueriesFromAnotherThreadReturnAfterTheSlotRan_data();
    void blockingQueriesFromAnotherThreadReturnAfterTheSlotRan();
    void queriesOnTheFactoryThreadRunDirectly();
    void radiationSurveyParamsOnTheFactoryThreadAreRefusedWithoutDeadlock();
    void profilePathDropsOneTrailingSlash();
    void profilePathIsSetOnTheFactoryThread();
    void cloudConnectivityLogsEveryReport();
    void linkConnectivityLogsOnlyChanges();
    void taskStatusSettersEmitOnlyOnChange();
    void hardwareConfigUpdateReplacesTheFilterList();
    void deInitFromAnotherThreadChangesNothing();
    void deInitOnTheFactoryThreadReleasesWorkerAndTimers();

private:
    std::unique_ptr<QSignalSpy> m_firstStepChanged;
    std::unique_ptr<LogCapture> m_capture;
    LogCapture &m_log() { return *m_capture; }
};

void TstFacade::initTestCase()
{
    m_capture.reset(new LogCapture);
    // Connected before init() so that the very first emission is seen.
    m_firstStepChanged.reset(new QSignalSpy(XrfFactoryManager::instance(),
                                            &XrfFactoryManager::currentFactoryStepChanged));
    FactoryTestEnv::start();
}

void TstFacade::instanceIsOneObjectAcrossThreads()
{
    QFuture<XrfFactoryManager *> other =
        QtConcurrent::run([] { return XrfFactoryManager::instance(); });
    QCOMPARE(other.result(), XrfFactoryManager::instance());
}

void TstFacade::initAnnouncesTheStepRangeFirst()
{
    QVERIFY(!m_firstStepChanged->isEmpty());
    const QList<QVariant> first = m_firstStepChanged->first();
    QCOMPARE(first.value(0).toInt(), 0);
    QCOMPARE(first.value(1).toInt(), 12);
    QCOMPARE(first.value(2).toInt(), 0);
}

void TstFacade::initMovesFacadeAndWorkerToTheNamedThread()
{
    auto &env = FactoryTestEnv::get();
    QThread *thread = env.manager()->factoryThread();
    QVERIFY(thread);
    QCOMPARE(thread->objectName(), QStringLiteral("FactoryManager Thread"));
    QVERIFY(thread->isRunning());
    QCOMPARE(env.manager()->thread(), thread);
    QCOMPARE(env.worker()->thread(), thread);
    QCOMPARE(env.worker()->currentStepId, int(XrfUtils::None));
}

void TstFacade::initBuildsPathsBelowTheFactoryDataFolder()
{
    auto &env = FactoryTestEnv::get();
    auto *worker = env.worker();
    QCOMPARE(worker->factoryDataPath, env.factoryDataPath());
    QCOMPARE(worker->lastResultFilePath, env.lastResultPath());
    QCOMPARE(worker->workOrderFilePath, env.factoryDataPath() + "/workOrderInfo.json");
    QCOMPARE(worker->factorySetupDataFilePaths.value(0),
             env.factoryDataPath() + "/factory_setup_data.json");
    QCOMPARE(worker->factorySetupDataFilePaths.value(4),
             env.factoryDataPath() + "/factory_setup_dataHarrier.json");
    QCOMPARE(worker->methodPartMapFilePaths.value(2),
             env.factoryDataPath() + "/../calibrationdefault/methodsPartIdMapMP.json");
    QCOMPARE(worker->provisioningResultDirPath, env.factoryDataPath() + "/provisioningCheck/");
    QCOMPARE(worker->hardwareSetupResultDirPath, env.factoryDataPath() + "/hardwareSetup/");
    // Nothing is created by init(): the steps make their folders when they first write.
    QVERIFY(!QFileInfo::exists(worker->provisioningResultDirPath));
}

void TstFacade::blockingQueriesFromAnotherThreadReturnAfterTheSlotRan_data()
{
    QTest::addColumn<QString>("slotLog");
    QTest::newRow("airShotList") << "Entering onGetAirShotList()";
    QTest::newRow("factorSetStatus") << "Entering onGetFactorSetStatus()";
    QTest::newRow("qcSummaryStatus") << "Entering onGetQcSummaryStatus()";
    QTest::newRow("finalQcStatus") << "Entering onGetFinalQcStatus()";
    QTest::newRow("startFactorSetMB") << "Entering onStartFactorSetMB()";
    QTest::newRow("abortCalibrateMethodMB") << "Entering onAbortCalibrateMethodMB()";
    QTest::newRow("loadRadiationSurveyParams") << "Entering onLoadRadiationSurveyParams()";
}

void TstFacade::blockingQueriesFromAnotherThreadReturnAfterTheSlotRan()
{
    QFETCH(QString, slotLog);
    auto *manager = FactoryTestEnv::get().manager();
    m_log().clear();
    const QString tag = QString::fromLatin1(QTest::currentDataTag());
    if (tag == "airShotList")
        manager->airShotList();
    else if (tag == "factorSetStatus")
        manager->factorSetStatus(true);
    else if (tag == "qcSummaryStatus")
        manager->qcSummaryStatus();
    else if (tag == "finalQcStatus")
        manager->finalQcStatus();
    else if (tag == "startFactorSetMB")
        manager->startFactorSetMB(QJsonObject{{"method", "Alloy"}});
    else if (tag == "abortCalibrateMethodMB")
        manager->abortCalibrateMethodMB();
    else
        manager->loadRadiationSurveyParams();
    // No waiting: the call itself must not return before the slot has run.
    QVERIFY2(m_log().contains(slotLog), qPrintable(slotLog));
    QCOMPARE(m_log().first(slotLog).thread, QStringLiteral("FactoryManager Thread"));
}

void TstFacade::queriesOnTheFactoryThreadRunDirectly()
{
    auto &env = FactoryTestEnv::get();
    m_log().clear();
    const int shots =
        env.onFactoryThread([&] { return env.manager()->airShotList().airShots().size() + 1; });
    QCOMPARE(shots, 1);
    QCOMPARE(m_log().first("Entering onGetAirShotList()").thread,
             QStringLiteral("FactoryManager Thread"));
}

void TstFacade::radiationSurveyParamsOnTheFactoryThreadAreRefusedWithoutDeadlock()
{
    auto &env = FactoryTestEnv::get();
    m_log().clear();
    env.onFactoryThread([&] { env.manager()->loadRadiationSurveyParams(); });
    QVERIFY(m_log().contains("loadRadiationSurveyParams called from the factory thread",
                             QtCriticalMsg));
    QVERIFY(!m_log().contains("Entering onLoadRadiationSurveyParams()"));
}

void TstFacade::profilePathDropsOneTrailingSlash()
{
    auto &env = FactoryTestEnv::get();
    auto *worker = env.worker();
    env.manager()->setProfilePath("/a/b/");
    const QStringList withSlash = {worker->profilePath, worker->calibrationOverrideFilePath,
                                   worker->calibrationShotLibDirPath,
                                   worker->batchTemplatesDirPath};
    env.manager()->setProfilePath("/a/b");
    const QStringList without = {worker->profilePath, worker->calibrationOverrideFilePath,
                                 worker->calibrationShotLibDirPath, worker->batchTemplatesDirPath};
    QCOMPARE(withSlash, without);
    QCOMPARE(without.value(1), QStringLiteral("/a/b/instrumentsettings/calibrationOverride.json"));
    QCOMPARE(without.value(2), QStringLiteral("/a/b/instrumentsettings/calibrationshotlib"));
    QCOMPARE(without.value(3), QStringLiteral("/a/b/templates/batch/"));

    env.manager()->setProfilePath("/a/b//");
    QCOMPARE(worker->profilePath, QStringLiteral("/a/b/"));
    env.manager()->setProfilePath(env.homePath() + "/profile");
}

void TstFacade::profilePathIsSetOnTheFactoryThread()
{
    auto &env = FactoryTestEnv::get();
    const QString profile = env.homePath() + "/profile";
    m_log().clear();
    env.manager()->setProfilePath("/c/d");
    // The call returns once the factory thread has set the paths.
    QCOMPARE(env.worker()->profilePath, QStringLiteral("/c/d"));
    QCOMPARE(m_log().first("Profile path set to \"/c/d\"").thread,
             QStringLiteral("FactoryManager Thread"));
    // On the factory thread itself the paths are set at once, without waiting on itself.
    env.onFactoryThread([&] { env.manager()->setProfilePath(profile); });
    QCOMPARE(env.worker()->profilePath, profile);
}

void TstFacade::cloudConnectivityLogsEveryReport()
{
    auto &env = FactoryTestEnv::get();
    auto *worker = env.worker();
    const bool before = worker->cloudConnected;
    m_log().clear();
    env.onFactoryThread([&] { worker->onCloudConnectivityStatusChanged(before); });
    QCOMPARE(m_log().count("+++ FM recevied onCloudConnectivityStatusChanged, isConnected?:"), 1);
    QCOMPARE(worker->cloudConnected, before);
    env.onFactoryThread([&] { worker->onCloudConnectivityStatusChanged(!before); });
    QCOMPARE(worker->cloudConnected, !before);
    env.onFactoryThread([&] { worker->onCloudConnectivityStatusChanged(before); });
}

void TstFacade::linkConnectivityLogsOnlyChanges()
{
    auto &env = FactoryTestEnv::get();
    auto *worker = env.worker();
    auto *links = XrfNetworkStatusManager::instance();
    const bool wifiBefore = links->isWifiConnected();
    m_log().clear();

    links->setWifiConnected(!wifiBefore);
    env.drainFactoryThread();
    QCOMPARE(worker->wifiConnected, !wifiBefore);
    QCOMPARE(m_log().count("+++ FM received onWifiConnectivityStatusChanged, isConnected?:"), 1);

    env.onFactoryThread([&] { worker->onWifiConnectivityStatusChanged(!wifiBefore); });
    QCOMPARE(m_log().count("+++ FM received onWifiConnectivityStatusChanged, isConnected?:"), 1);

    const bool wired = worker->ethernetConnected;
    env.onFactoryThread([&] { worker->onEthernetConnectivityStatusChanged(wired); });
    QVERIFY(!m_log().contains("+++ FM received onEthernetconnectivityStatusChanged"));
    env.onFactoryThread([&] { worker->onEthernetConnectivityStatusChanged(!wired); });
    QVERIFY(m_log().contains("+++ FM received onEthernetconnectivityStatusChanged, isConnected?:"));
    QCOMPARE(worker->ethernetConnected, !wired);

    links->setWifiConnected(wifiBefore);
    env.onFactoryThread([&] { worker->onEthernetConnectivityStatusChanged(wired); });
}

void TstFacade::taskStatusSettersEmitOnlyOnChange()
{
    auto &env = FactoryTestEnv::get();
    auto *manager = env.manager();
    auto *worker = env.worker();
    QSignalSpy status(manager, &XrfFactoryManager::currentTaskStatusChanged);
    QSignalSpy progress(manager, &XrfFactoryManager::currentTaskProgressChanged);
    QSignalSpy remaining(manager, &XrfFactoryManager::currentTaskTimeRemainingInSecondsChanged);
    env.onFactoryThread([&] {
        worker->setCurrentTaskStatus("Moving filter wheel");
        worker->setCurrentTaskStatus("Moving filter wheel");
        worker->setCurrentTaskProgress(42.5);
        worker->setCurrentTaskProgress(42.5);
        worker->setCurrentTaskTimeRemainingInSeconds(90);
        worker->setCurrentTaskTimeRemainingInSeconds(90);
    });
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.first().first().toString(), QStringLiteral("Moving filter wheel"));
    QCOMPARE(progress.count(), 1);
    QCOMPARE(remaining.count(), 1);
    QCOMPARE(manager->currentTaskStatus(), QStringLiteral("Moving filter wheel"));
    QCOMPARE(manager->currentTaskProgress(), 42.5);
    QCOMPARE(manager->currentTaskTimeRemainingInSeconds(), 90);
    QCOMPARE(manager->property("currentTaskStatus").toString(),
             QStringLiteral("Moving filter wheel"));
}

void TstFacade::hardwareConfigUpdateReplacesTheFilterList()
{
    auto &env = FactoryTestEnv::get();
    XrfHardwareConfig config;
    config.setInsSerialNumber("800555");
    config.setFilters({XrfFilterProperties(13, 100, 2718), XrfFilterProperties(29, 50, 2718)});
    env.onFactoryThread([&] { env.manager()->onHardwareConfigUpdated(config); });
    config.setFilters({XrfFilterProperties(74, 500, 0)});
    env.onFactoryThread([&] { env.manager()->onHardwareConfigUpdated(config); });
    const XrfHardwareConfig stored = env.worker()->hardwareConfig;
    QCOMPARE(stored.insSerialNumber(), QStringLiteral("800555"));
    QCOMPARE(stored.filters().size(), 1);
    QCOMPARE(stored.filters().first().materialAtomicNumber(), 74);
}

void TstFacade::deInitFromAnotherThreadChangesNothing()
{
    auto &env = FactoryTestEnv::get();
    auto *worker = env.worker();
    QThread::currentThread()->setObjectName("application thread");
    m_log().clear();
    QCOMPARE(env.manager()->deInit(), XrfErrorInfo::NoError);
    QVERIFY(m_log().contains("Failed to de-Init FactoryManager service, deInit called from thread: "
                             "\"application thread\"",
                             QtWarningMsg));
    QCOMPARE(env.worker(), worker);
    QVERIFY(worker->inactivityTimer);
    QVERIFY(worker->factorSetProgressTimer);
    QVERIFY(worker->factorSetMBProgressTimer);
    QVERIFY(worker->qcSummaryProgressTimer);
}

void TstFacade::deInitOnTheFactoryThreadReleasesWorkerAndTimers()
{
    auto &env = FactoryTestEnv::get();
    QPointer<QTimer> inactivity = env.worker()->inactivityTimer;
    QPointer<QTimer> progress = env.worker()->factorSetProgressTimer;
    XrfErrorInfo::XrfError result = XrfErrorInfo::GeneralError;
    QMetaObject::invokeMethod(
        env.manager(), [&] { result = env.manager()->deInit(); }, Qt::BlockingQueuedConnection);
    QCOMPARE(result, XrfErrorInfo::NoError);
    QVERIFY(!env.manager()->d_func());
    QVERIFY(inactivity.isNull());
    QVERIFY(progress.isNull());
}

QTEST_GUILESS_MAIN(TstFacade)
#include "tst_facade.moc"
