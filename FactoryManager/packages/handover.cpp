// The hand-over settings: once the final profile backup of a complete instrument is uploaded, the
// instrument leaves the factory's rules for the customer's.

#include "xrffactorymanager_p.h"

#include "xrfcalcmanager.h"
#include "xrfengine.h"
#include "xrflogging.h"
#include "xrfsafetysettings.h"
#include "xrfsettingsmanager.h"

#include <QSettings>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {
// The controller's safety mode flags of the test stand rules.
constexpr unsigned short kStandRequiredFlag = 0x0004;
constexpr unsigned short kStandRequiredFor50kVFlag = 0x0008;
const QString kHardwareConfig = QStringLiteral("hardware.config");
const QString kLogLevelPrefix = QStringLiteral("logLevel");

// Stores the interlock rules and sets the controller's test stand flags to them.
bool applySafetySettings(const XrfSafetySettings &safety)
{
    if (const int code = XrfSettingsManager::instance()->setSafetySettings(safety)) {
        qWarning() << "Failed to store safety settings, err:"
                   << XrfSettingsManager::errorText(code);
        return false;
    }
    xrf_hal::XrfEngine *engine = xrf_hal::XrfEngine::instance();
    unsigned short flags = 0;
    if (const int ret = engine->getSafetyModeFlags(&flags)) {
        qWarning() << "Failed to read safety mode flags from K60, HwErr:" << ret;
        return false;
    }
    flags &= ~(kStandRequiredFlag | kStandRequiredFor50kVFlag);
    if (safety.testStandRequired())
        flags |= kStandRequiredFlag;
    if (safety.testStandRequiredFor50kV())
        flags |= kStandRequiredFor50kVFlag;
    if (const int ret = engine->setSafetyModeFlags(flags)) {
        qWarning() << "Failed to write safety mode flags to K60, HwErr:" << ret;
        return false;
    }
    return true;
}
} // namespace

void Worker::prepareInstrumentForShipping()
{
    loadWorkOrderInfoFromFile();
    qInfo() << "Setting regulatory region safety settings ...";
    const QString region = workOrder.value(QStringLiteral("regulatoryRegion")).toString();
    // A work order without a region must not blank the one the instrument has.
    if (region.isEmpty())
        qWarning() << "The work order names no regulatoryRegion; the region is left as it is.";
    else
        setupRegulatoryRegion(region);
    applyHandOverSafetySettings();
    qInfo() << "Disabling calc debug data ...";
    XrfCalcManager::instance()->setCalcDebugEnable(false, true);
    qInfo() << "Resetting all log levels to warning ...";
    resetLogLevelsToWarning();
}

// The factory's 50 kV test stand rule goes; the customer's test stand and two-hand rules from the
// work order come in. A safety store that cannot be read does not keep the customer's rules out:
// they are written over the defaults, and the unreadable file is kept aside by the write.
void Worker::applyHandOverSafetySettings()
{
    qInfo() << "Removing factory 50 kV workstation requirement ...";
    XrfSettingsManager *settings = XrfSettingsManager::instance();
    XrfSafetySettings safety;
    if (const int code = settings->getSafetySettings(&safety)) {
        qWarning().noquote() << QStringLiteral("Failed to read safety settings \"system.safety\" "
                                               "from %1, err:%2; the customer's rules are "
                                               "written over defaults")
                                    .arg(settings->globalSettingsFilePath(),
                                         XrfSettingsManager::errorText(code));
        safety = XrfSafetySettings();
    }
    safety.setTestStandRequiredFor50kV(false);
    applySafetySettings(safety);

    qInfo() << "Adding customer requested safety requirements ...";
    const bool standRequired = workOrder.value(QStringLiteral("workStationRequired")).toBool();
    const bool twoHandMode = workOrder.value(QStringLiteral("twoHandModeRequired")).toBool();
    safety.setTestStandRequired(standRequired);
    safety.setTwoHandTriggerEnabled(twoHandMode);
    applySafetySettings(safety);

    QJsonObject config;
    int code = settings->getUniversalSetting(kHardwareConfig, &config);
    if (code == 0) {
        config.insert(QStringLiteral("forceTestStandRequired"), standRequired);
        config.insert(QStringLiteral("forceTwoHandMode"), twoHandMode);
        code = settings->setUniversalSetting(kHardwareConfig, &config);
    }
    if (code != 0)
        qWarning() << "Failed to store the customer safety rules in hardware.config, err:"
                   << XrfSettingsManager::errorText(code);
}

void Worker::resetLogLevelsToWarning()
{
    XrfLogger::setLoggerLevel(QtWarningMsg);
    QSettings store(XrfUtils::applicationSettingsFilePath(), QSettings::IniFormat);
    const QStringList keys = store.allKeys();
    for (const QString &key : keys) {
        if (key.startsWith(kLogLevelPrefix))
            store.remove(key);
    }
    store.sync();
    if (store.status() != QSettings::NoError)
        qWarning().noquote() << "Failed to write the application settings"
                             << XrfUtils::applicationSettingsFilePath();
}
