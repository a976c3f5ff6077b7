// Start-up, shut-down, the worker's timers and service connections, connectivity and task status.

#include "xrffactorymanager_p.h"

#include "xrfatomicfile.h"
#include "xrfhardwaremanager.h"
#include "xrfnetworkmanager.h"
#include "xrfnetworkstatusmanager.h"
#include "xrfsettingsmanager.h"
#include "xrftestmanager.h"
#include "xrftimescale.h"

#include <QFileInfo>
#include <QThread>
#include <QTimer>

namespace {
// A watchdog on a controller that stops sending spectrum updates, in process time so that a loaded
// machine does not trip it at small time scales.
const int kInactivityTimeoutMs = 10000;
// The cloud's progress on a factor set or a QC summary is asked for every 5 s of instrument time
// (scaled when the library starts).
const int kProgressPollMs = 5000;

const char *boolText(bool value)
{
    return value ? "true" : "false";
}

// A process killed during an atomic write leaves its temporary file ("lastResult.json.AbCdEf")
// beside the file it was writing. At start-up no write of the library is under way, so what is
// left of those in the library's folders is removed.
void removeStaleTemporaryFiles(const QString &factoryDataPath)
{
    const QString home = XrfUtils::homeCorvaneAppDirPath();
    const QFileInfo universal(XrfSettingsManager::instance()->universalSettingsFilePath());
    const int removed = XrfAtomicFile::removeStaleTemporaryFiles(factoryDataPath, true)
        + XrfAtomicFile::removeStaleTemporaryFiles(universal.absolutePath(), false)
        + XrfAtomicFile::removeStaleTemporaryFiles(home, false)
        + XrfAtomicFile::removeStaleTemporaryFiles(home + QStringLiteral("/scripts"), false);
    if (removed > 0)
        qInfo() << "Removed" << removed << "temporary files left by an interrupted write";
}
} // namespace

XrfFactoryManager::XrfFactoryManagerPrivate::XrfFactoryManagerPrivate(XrfFactoryManager *facade)
    : q(facade)
{
    connect(this, &XrfFactoryManagerPrivate::startStabilityExposure, this,
            &XrfFactoryManagerPrivate::onStartStabilityExposure);
}

XrfFactoryManager::XrfFactoryManagerPrivate::~XrfFactoryManagerPrivate() = default;

bool XrfFactoryManager::XrfFactoryManagerPrivate::onFactoryThread() const
{
    return QThread::currentThread() == factoryThread;
}

int XrfFactoryManager::init()
{
    d = new XrfFactoryManagerPrivate(this);

    d->factoryThread = new QThread();
    d->factoryThread->setObjectName(QStringLiteral("FactoryManager Thread"));
    d->factoryThread->start(QThread::InheritPriority);

    moveToThread(d->factoryThread);
    d->moveToThread(d->factoryThread);

    d->buildFilePaths();
    d->cloudConnected = false;
    d->wifiConnected = false;
    d->ethernetConnected = false;
    d->isMovingBackward = false;
    d->currentStepId = XrfUtils::None;

    d->createTimers();
    d->connectServices();
    d->connectDispatchSignals();

    d->stabilityUploadPending = false;
    emit d->sigInit();
    emit currentFactoryStepChanged(0, 12, 0);
    return 0;
}

XrfErrorInfo::XrfError XrfFactoryManager::deInit()
{
    if (!d || QThread::currentThread() != d->factoryThread) {
        qWarning() << "Failed to de-Init FactoryManager service, deInit called from thread:"
                   << QThread::currentThread()->objectName();
        return XrfErrorInfo::NoError;
    }
    d->destroyTimers();
    {
        // No save or load of lastResult.json may be under way while the worker goes.
        QMutexLocker lock(&d->lastResultMutex);
    }
    delete d;
    d = nullptr;
    return XrfErrorInfo::NoError;
}

void XrfFactoryManager::XrfFactoryManagerPrivate::buildFilePaths()
{
    factoryDataPath = XrfUtils::homeCorvaneAppDirPath() + QStringLiteral("/factoryData");
    lastResultFilePath = factoryDataPath + QStringLiteral("/lastResult.json");
    factorySetupDataFilePaths.clear();
    methodPartMapFilePaths.clear();
    for (const char *model : {"", "LT", "MP", "HD", "Harrier"}) {
        factorySetupDataFilePaths.append(
            factoryDataPath
            + QStringLiteral("/factory_setup_data%1.json").arg(QLatin1String(model)));
        methodPartMapFilePaths.append(
            factoryDataPath
            + QStringLiteral("/../calibrationdefault/methodsPartIdMap%1.json")
                  .arg(QLatin1String(model)));
    }
    workOrderFilePath = factoryDataPath + QStringLiteral("/workOrderInfo.json");
    provisioningResultDirPath = factoryDataPath + QStringLiteral("/provisioningCheck/");
    hardwareSetupResultDirPath = factoryDataPath + QStringLiteral("/hardwareSetup/");
}

void XrfFactoryManager::XrfFactoryManagerPrivate::createTimers()
{
    inactivityTimer = new QTimer();
    inactivityTimer->setInterval(kInactivityTimeoutMs);
    inactivityTimer->setSingleShot(true);
    connect(inactivityTimer, &QTimer::timeout, this,
            &XrfFactoryManagerPrivate::onInactivityTimerTimeout);
    inactivityTimer->moveToThread(factoryThread);

    const QList<QPair<QTimer **, void (XrfFactoryManagerPrivate::*)()>> progressTimers = {
        {&factorSetProgressTimer, &XrfFactoryManagerPrivate::onCheckFactorSetProgress},
        {&factorSetMBProgressTimer, &XrfFactoryManagerPrivate::onCheckFactorSetMBProgress},
        {&qcSummaryProgressTimer, &XrfFactoryManagerPrivate::onCheckQCSummaryProgress},
    };
    for (const auto &timer : progressTimers) {
        *timer.first = new QTimer();
        (*timer.first)->setInterval(XrfTimeScale::scaledMs(kProgressPollMs));
        (*timer.first)->moveToThread(factoryThread);
        connect(*timer.first, &QTimer::timeout, this, timer.second);
    }
}

void XrfFactoryManager::XrfFactoryManagerPrivate::destroyTimers()
{
    for (QTimer **timer : {&inactivityTimer, &factorSetProgressTimer, &factorSetMBProgressTimer,
                           &qcSummaryProgressTimer}) {
        if (!*timer)
            continue;
        if ((*timer)->isActive())
            (*timer)->stop();
        disconnect(*timer, &QTimer::timeout, this, nullptr);
        delete *timer;
        *timer = nullptr;
    }
}

void XrfFactoryManager::XrfFactoryManagerPrivate::connectServices()
{
    XrfHardwareManager *hardware = XrfHardwareManager::instance();
    connect(hardware, &XrfHardwareManager::hardwareConfigUpdated, q,
            &XrfFactoryManager::onHardwareConfigUpdated);
    connect(q, &XrfFactoryManager::updateHardwareConfig, hardware,
            &XrfHardwareManager::onUpdateHardwareConfig);
    connect(this, &XrfFactoryManagerPrivate::checkFactorSetProgress, this,
            &XrfFactoryManagerPrivate::onCheckFactorSetProgress);
    connect(XrfNetworkManager::instance(), &XrfNetworkManager::cloudConnectivityStatusChanged, this,
            &XrfFactoryManagerPrivate::onCloudConnectivityStatusChanged);
    connect(XrfNetworkStatusManager::instance(),
            &XrfNetworkStatusManager::wifiConnectionStatusChanged, this,
            &XrfFactoryManagerPrivate::onWifiConnectivityStatusChanged);
    connect(XrfNetworkStatusManager::instance(),
            &XrfNetworkStatusManager::wiredConnectionStatusChanged, this,
            &XrfFactoryManagerPrivate::onEthernetConnectivityStatusChanged);
    connect(XrfNetworkManager::instance(), &XrfNetworkManager::methodFactorSetStatusChange, this,
            &XrfFactoryManagerPrivate::onFactorSetMBStatusChanged);
    connect(hardware, &XrfHardwareManager::darkRateUpdated, this,
            &XrfFactoryManagerPrivate::onDarkRateUpdated);
    connect(XrfTestManager::instance()->batchManager(), &XrfBatchManager::batchComplete, q,
            &XrfFactoryManager::onFinalQCBatchComplete);
}

void XrfFactoryManager::XrfFactoryManagerPrivate::connectDispatchSignals()
{
    const auto blocking = Qt::BlockingQueuedConnection;
    connect(this, &XrfFactoryManagerPrivate::sigLoadRadiationSurveyParams, this,
            &XrfFactoryManagerPrivate::onLoadRadiationSurveyParams, blocking);
    connect(this, &XrfFactoryManagerPrivate::sigInit, this, &XrfFactoryManagerPrivate::onInit);
    connect(this, &XrfFactoryManagerPrivate::sigGetAirShotList, this,
            &XrfFactoryManagerPrivate::onGetAirShotList, blocking);
    connect(this, &XrfFactoryManagerPrivate::sigGetFactorSetStatus, this,
            &XrfFactoryManagerPrivate::onGetFactorSetStatus, blocking);
    connect(this, &XrfFactoryManagerPrivate::sigGetFinalQcStatus, this,
            &XrfFactoryManagerPrivate::onGetFinalQcStatus, blocking);
    connect(this, &XrfFactoryManagerPrivate::sigGetQcSummaryStatus, this,
            &XrfFactoryManagerPrivate::onGetQcSummaryStatus, blocking);
    connect(this, &XrfFactoryManagerPrivate::sigStartFactorSetMB, this,
            &XrfFactoryManagerPrivate::onStartFactorSetMB, blocking);
    connect(this, &XrfFactoryManagerPrivate::sigAbortCalibrateMethodMB, this,
            &XrfFactoryManagerPrivate::onAbortCalibrateMethodMB, blocking);
}

void XrfFactoryManager::XrfFactoryManagerPrivate::onInit()
{
    removeStaleTemporaryFiles(factoryDataPath);
    loadFactorySetupParamsFromFile();
    loadFactorySetupLastResult(nullptr);
    // A configuration detected before init() is announced to nobody: take the current one.
    if (const auto config = XrfHardwareManager::instance()->hardwareConfig())
        q->onHardwareConfigUpdated(*config);
    // Links that came up before init() announce nothing until they change again.
    onCloudConnectivityStatusChanged(XrfNetworkManager::instance()->isCloudConnected());
    onWifiConnectivityStatusChanged(XrfNetworkStatusManager::instance()->isWifiConnected());
    onEthernetConnectivityStatusChanged(XrfNetworkStatusManager::instance()->isWiredConnected());
}

void XrfFactoryManager::XrfFactoryManagerPrivate::onCloudConnectivityStatusChanged(bool isConnected)
{
    qDebug() << "+++ FM recevied onCloudConnectivityStatusChanged, isConnected?:"
             << boolText(isConnected);
    if (cloudConnected != isConnected)
        cloudConnected = isConnected;
}

void XrfFactoryManager::XrfFactoryManagerPrivate::onWifiConnectivityStatusChanged(bool isConnected)
{
    if (wifiConnected == isConnected)
        return;
    wifiConnected = isConnected;
    qDebug() << "+++ FM received onWifiConnectivityStatusChanged, isConnected?:"
             << boolText(isConnected);
}

void XrfFactoryManager::XrfFactoryManagerPrivate::onEthernetConnectivityStatusChanged(
    bool isConnected)
{
    if (ethernetConnected == isConnected)
        return;
    ethernetConnected = isConnected;
    qDebug() << "+++ FM received onEthernetconnectivityStatusChanged, isConnected?:"
             << boolText(isConnected);
}

void XrfFactoryManager::XrfFactoryManagerPrivate::onDarkRateUpdated(const unsigned int &rate)
{
    darkRate = rate;
}

void XrfFactoryManager::XrfFactoryManagerPrivate::setCurrentTaskStatus(const QString &status)
{
    if (currentTaskStatus == status)
        return;
    currentTaskStatus = status;
    emit q->currentTaskStatusChanged(status);
}

void XrfFactoryManager::XrfFactoryManagerPrivate::setCurrentTaskProgress(double progress)
{
    if (qFuzzyCompare(1 + currentTaskProgress, 1 + progress))
        return;
    currentTaskProgress = progress;
    emit q->currentTaskProgressChanged(progress);
}

void XrfFactoryManager::XrfFactoryManagerPrivate::setCurrentTaskTimeRemainingInSeconds(int seconds)
{
    if (currentTaskTimeRemainingInSeconds == seconds)
        return;
    currentTaskTimeRemainingInSeconds = seconds;
    emit q->currentTaskTimeRemainingInSecondsChanged(seconds);
}
