#include "factoryline.h"

#include "rootseeder.h"

#include "simcloudserver.h"
#include "simfinalqctemplates.h"
#include "siminstrument.h"
#include "simnetworklink.h"
#include "simnetworkmanager.h"
#include "simresults.h"
#include "simscenarios.h"
#include "simsyntheticpackage.h"
#include "simunitvariation.h"
#include "xrffactorymanager.h"
#include "xrfhardwaremanager.h"
#include "xrflogging.h"
#include "xrfresultmanager.h"
#include "xrfsettingsmanager.h"
#include "xrftimescale.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
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

// The work order and method part map as the technician's data have them (scenarios change
// them); written before the cloud and the library read them.
bool FactoryLine::installDataEdits(QString *errorMsg)
{
    const QString home = XrfUtils::homeCorvaneAppDirPath();
    if (!m_technician.extraWorkOrderPartNumbers.isEmpty()) {
        const QString path = home + QStringLiteral("/factoryData/workOrderInfo.json");
        QJsonValue info;
        if (!XrfUtils::readJsonFile(path, &info, errorMsg))
            return false;
        QJsonObject root = info.toObject();
        QJsonObject workOrder = root.value(QStringLiteral("workOrder")).toObject();
        QJsonArray methods = workOrder.value(QStringLiteral("modelMethod")).toArray();
        for (const QString &partNumber : m_technician.extraWorkOrderPartNumbers)
            methods.append(QJsonObject{{QStringLiteral("name"), partNumber},
                                       {QStringLiteral("customRegion"), QJsonArray()}});
        workOrder.insert(QStringLiteral("modelMethod"), methods);
        root.insert(QStringLiteral("workOrder"), workOrder);
        if (!XrfUtils::writeJsonFile(path, QJsonDocument(root), errorMsg))
            return false;
    }
    const QDir folder(home + QStringLiteral("/calibrationdefault"));
    for (const QString &name :
         folder.entryList({QStringLiteral("methodsPartIdMap*.json")}, QDir::Files)) {
        if (m_technician.methodIdEdits.isEmpty())
            break;
        QJsonValue map;
        if (!XrfUtils::readJsonFile(folder.filePath(name), &map, errorMsg))
            return false;
        QJsonObject root = map.toObject();
        for (auto it = m_technician.methodIdEdits.cbegin(); it != m_technician.methodIdEdits.cend();
             ++it) {
            const QString path = QStringLiteral("methods.default.%1.id").arg(it.key());
            if (XrfJsonHelper::getJsonValueFromPath(root, path).isString())
                XrfJsonHelper::setJsonValueFromPath(root, path, it.value());
        }
        if (!XrfUtils::writeJsonFile(folder.filePath(name), QJsonDocument(root), errorMsg))
            return false;
    }
    return true;
}

// The synthetic shot package prepared for the synthetic methods of the instrument's method part
// map; none when the map has no synthetic method.
void FactoryLine::publishSyntheticPackage()
{
    const QByteArray package = SimSyntheticPackage::forCalibrationDefaults(
        XrfUtils::homeCorvaneAppDirPath() + QStringLiteral("/calibrationdefault"));
    if (!package.isEmpty())
        m_cloud->setPackage(SimCloudPackage::SyntheticShots, QStringLiteral("syntheticShots.zip"),
                            package);
}

// The final QC batch templates of the instrument's methods.
void FactoryLine::publishFinalQcTemplates()
{
    const QByteArray templates = SimFinalQcTemplates::forCalibrationDefaults(
        XrfUtils::homeCorvaneAppDirPath() + QStringLiteral("/calibrationdefault"));
    if (!templates.isEmpty())
        m_cloud->setPackage(SimCloudPackage::FinalQcTemplates,
                            QStringLiteral("finalQcTemplates.zip"), templates);
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
        publishSyntheticPackage();
        publishFinalQcTemplates();
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
    if (!installDataEdits(errorMsg))
        return false;
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
