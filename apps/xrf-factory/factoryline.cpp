#include "factoryline.h"

#include "rootseeder.h"

#include "simcloudserver.h"
#include "siminstrument.h"
#include "simnetworklink.h"
#include "simnetworkmanager.h"
#include "simresults.h"
#include "simscenarios.h"
#include "simunitvariation.h"
#include "xrffactorymanager.h"
#include "xrfhardwaremanager.h"
#include "xrflogging.h"
#include "xrfresultmanager.h"
#include "xrfsettingsmanager.h"
#include "xrftimescale.h"

#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <QTemporaryDir>
#include <QThread>

namespace {
const int kResultDays = 7;
const int kResultsPerDay = 3;
} // namespace

FactoryLine::FactoryLine() = default;

FactoryLine::~FactoryLine()
{
    stop();
}

bool FactoryLine::prepareRoot(const QString &requested, QString *errorMsg)
{
    if (requested.isEmpty()) {
        QTemporaryDir temporary(QDir::tempPath() + QStringLiteral("/xrf-factory-XXXXXX"));
        if (!temporary.isValid()) {
            *errorMsg = QStringLiteral("Cannot create a temporary instrument root: %1")
                            .arg(temporary.errorString());
            return false;
        }
        temporary.setAutoRemove(false);
        m_root = temporary.path();
    } else {
        m_root = QFileInfo(requested).absoluteFilePath();
    }
    for (const char *folder : {"home/factoryData", "home/calibrationdefault",
                               "home/profile/instrumentsettings", "sysroot", "sim"}) {
        if (!QDir().mkpath(m_root + QLatin1Char('/') + QLatin1String(folder))) {
            *errorMsg = QStringLiteral("Cannot create %1 below the instrument root %2")
                            .arg(QLatin1String(folder), m_root);
            return false;
        }
    }
    XrfUtils::setInstrumentRoot(m_root);
    return true;
}

bool FactoryLine::startCloud(const QString &cloudUrl, QString *errorMsg)
{
    const auto config = XrfHardwareManager::instance()->hardwareConfig();
    const QString serial = config ? config->insSerialNumber() : QString();
    // A batch's cloud holds every unit's work order already.
    if (cloudUrl.isEmpty()) {
        m_cloud.reset(new SimCloudServer);
        if (!m_cloud->start()) {
            *errorMsg = QStringLiteral("Cannot start the cloud simulator on 127.0.0.1");
            return false;
        }
        // The cloud knows the instrument's work order, as the manufacturing cloud does once the
        // order is released.
        const QJsonObject workOrder = RootSeeder::workOrderOf(XrfUtils::homeCorvaneAppDirPath());
        if (!workOrder.isEmpty())
            m_cloud->setWorkOrder(serial, workOrder);
    }
    m_network.reset(new SimNetworkManager(QUrl(m_cloud ? m_cloud->baseUrl() : cloudUrl)));
    m_network->setInstrumentSerial(serial);
    XrfNetworkManager::install(m_network.get());
    m_link.reset(new SimNetworkLink(m_network.get()));
    return true;
}

bool FactoryLine::start(const Options &options, QString *errorMsg)
{
    if (!SimInstrument::models().contains(options.model)) {
        *errorMsg = QStringLiteral("Unknown model '%1'; choose one of: %2")
                        .arg(options.model, SimInstrument::models().join(QStringLiteral(", ")));
        return false;
    }
    if (!prepareRoot(options.root, errorMsg))
        return false;
    if (!RootSeeder::seed(options.dataDir.isEmpty() ? RootSeeder::defaultDataDir()
                                                    : options.dataDir,
                          options.model, XrfUtils::homeCorvaneAppDirPath(), errorMsg))
        return false;
    XrfLogger::install(XrfUtils::homeCorvaneAppDirPath() + QStringLiteral("/logs/xrf-factory.log"),
                       QtCriticalMsg);
    XrfTimeScale::setScale(options.timeScale);

    for (const QString &scenario : options.scenarios) {
        if (!SimScenarios::contains(scenario)) {
            *errorMsg = QStringLiteral("Unknown scenario '%1'; `xrf-factory scenarios` lists them")
                            .arg(scenario);
            return false;
        }
    }
    m_instrument.reset(SimUnitVariation::of(options.model, options.serial).build());
    // The tests the instrument ran before the end of the line, for the diagnostic package.
    if (!QFileInfo::exists(XrfResultManager::databasePath())
        && !SimResults::seed(QDateTime::currentDateTimeUtc(), kResultDays, kResultsPerDay,
                             errorMsg))
        return false;
    m_technician.instrument = m_instrument.get();
    SimScenarioTargets targets;
    targets.instrument = m_instrument.get();
    targets.technician = &m_technician;
    for (const QString &scenario : options.scenarios)
        SimScenarios::apply(scenario, targets);
    m_instrument->install();
    if (!startCloud(options.cloudUrl, errorMsg))
        return false;
    // The cloud's part of a scenario, once the cloud runs (only a line's own cloud).
    targets = SimScenarioTargets();
    targets.cloud = m_cloud.get();
    for (const QString &scenario : options.scenarios)
        SimScenarios::apply(scenario, targets);

    XrfFactoryManager *manager = XrfFactoryManager::instance();
    manager->init();
    manager->setProfilePath(XrfUtils::homeCorvaneAppDirPath() + QStringLiteral("/profile"));
    m_libraryStarted = true;
    return true;
}

QString FactoryLine::serial() const
{
    return m_instrument ? QString::number(m_instrument->serialNumber()) : QString();
}

void FactoryLine::stop()
{
    if (m_libraryStarted) {
        XrfFactoryManager *manager = XrfFactoryManager::instance();
        QThread *thread = manager->factoryThread();
        QThread *home = QThread::currentThread();
        // deInit() leaves the thread to its owner: bring the facade home, then end the thread.
        QMetaObject::invokeMethod(
            manager,
            [manager, home] {
                manager->deInit();
                manager->moveToThread(home);
            },
            Qt::BlockingQueuedConnection);
        thread->quit();
        thread->wait();
        delete thread;
        m_libraryStarted = false;
    }
    // The client goes first: its open keep-alive connections would hold the server's stop.
    m_link.reset();
    if (m_network) {
        XrfNetworkManager::install(nullptr);
        m_network.reset();
    }
    if (m_cloud)
        m_cloud->stop();
    XrfLogger::uninstall();
}
