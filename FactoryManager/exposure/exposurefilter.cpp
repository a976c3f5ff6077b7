// Filter parameters of factory exposures, the fixed-filter mode and default filter table of the
// controller, the safety settings of the factory pages, the test stand check and the detector
// EEPROM saves.

#include "xrffactorymanager_p.h"

#include "xrfengine.h"
#include "xrfexposuresettings.h"
#include "xrfsettingsmanager.h"

#include <QVector>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {
constexpr quint16 kFixedFilterBit = 0x0001;
constexpr quint16 kTestStandPresentBit = 0x0002;
constexpr quint16 kInterlockOpenBit = 0x0020;
constexpr quint16 kTestStandCommOkBit = 0x0001;
constexpr quint16 kTestStandLidClosedBit = 0x0002;
constexpr quint16 kSafetyModeLowBits = 0x0003; // bits 0 and 1
constexpr quint16 kSafetyMode50kVRequiresStand = 0x0008; // bit 3
constexpr quint16 kSafetyModeStandBits = 0x000C; // bits 2 and 3
constexpr int kNvCommitWaitMs = 1000;
// The EEPROM's status moves on with the controller's status polls; waits never end early, so the
// 40 polls span at least 10 s of instrument time at any scale.
constexpr int kEepromPolls = 40;
constexpr int kEepromPollIntervalMs = 250;

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString hexText(quint16 value)
{
    return QString::number(value, 16);
}

// One unsigned 16-bit value of a default filter table entry.
bool filterTableValue(const QJsonObject &entry, const char *key, unsigned short *value,
                      QString *errorMsg)
{
    const QJsonValue json = entry.value(QLatin1String(key));
    const double number = json.toDouble(-1);
    if (!json.isDouble() || number < 0 || number > 0xFFFF || number != int(number)) {
        *errorMsg = QStringLiteral("'%1' is missing or not a 16-bit unsigned integer")
                        .arg(QLatin1String(key));
        return false;
    }
    *value = static_cast<unsigned short>(number);
    return true;
}

bool toFilterParams(const QJsonValue &entry, xrf_hal::FilterParams *params, QString *errorMsg)
{
    if (!entry.isObject()) {
        *errorMsg = QStringLiteral("entry is not an object");
        return false;
    }
    const QJsonObject object = entry.toObject();
    return filterTableValue(object, "diameterInMicrons", &params->diameterInMicrons, errorMsg)
        && filterTableValue(object, "approxEncoder", &params->encoder, errorMsg)
        && filterTableValue(object, "materialAtomicNumber", &params->materialAtomicNumber, errorMsg)
        && filterTableValue(object, "thicknessInMicrons", &params->thicknessInMicrons, errorMsg);
}

// The texts and engine calls of one EEPROM transfer direction.
struct EepromTransfer
{
    int (xrf_hal::XrfEngine::*start)();
    int (xrf_hal::XrfEngine::*status)(unsigned char *);
    const char *startFailed;
    const char *pollFailed;
    const char *timedOut;
    const char *reportedFailure;
};

const EepromTransfer kEepromSave{
    &xrf_hal::XrfEngine::saveDataToEeprom,
    &xrf_hal::XrfEngine::eepromSaveStatus,
    "Command to save data to eeprom failed, HwRet:%1",
    "K60 command to read eeprom save status failed, HwRet=%1",
    "EEPROM save failed, waited for: %1seconds, status: %2",
    "EEPROM save failed, controller reported status: %1",
};

const EepromTransfer kEepromLoad{
    &xrf_hal::XrfEngine::loadDataFromEeprom,
    &xrf_hal::XrfEngine::eepromLoadStatus,
    "Command to load data from eeprom failed, HwRet:%1",
    "K60 command to read eeprom load status failed, HwRet=%1",
    "Failed to load eeprom, waited for: %1seconds, status: %2",
    "Failed to load eeprom, controller reported status: %1",
};

// Starts the transfer and polls its status until the controller reports it finished.
bool runEepromTransfer(const EepromTransfer &transfer, QString *errorMsg)
{
    if (!errorMsg)
        return false;
    errorMsg->clear();
    xrf_hal::XrfEngine *engine = xrf_hal::XrfEngine::instance();
    if (const int ret = (engine->*transfer.start)()) {
        errorMsg->append(QString::fromLatin1(transfer.startFailed).arg(ret));
        return false;
    }
    unsigned char status = xrf_hal::EepromBusy;
    for (int poll = 0; poll < kEepromPolls; ++poll) {
        unsigned char polled = xrf_hal::EepromBusy;
        if (const int ret = (engine->*transfer.status)(&polled)) {
            *errorMsg = QString::fromLatin1(transfer.pollFailed).arg(ret);
            qWarning().noquote() << *errorMsg;
        } else if (polled == xrf_hal::EepromFailed) {
            // Finished, but not written: the controller's own failure is no success.
            *errorMsg = QString::fromLatin1(transfer.reportedFailure).arg(polled);
            return false;
        } else if (polled != xrf_hal::EepromBusy) {
            errorMsg->clear();
            return true;
        } else {
            status = polled;
        }
        XrfUtils::activeSleep(kEepromPollIntervalMs);
    }
    *errorMsg = QString::fromLatin1(transfer.timedOut)
                    .arg(kEepromPolls * kEepromPollIntervalMs / 1000)
                    .arg(status);
    return false;
}
} // namespace

// ---- Filter parameters of an exposure ----

bool Worker::configureExposureFilterParams(const quint16 &filterPosition,
                                           XrfExposureSettings *settings)
{
    if (!settings)
        return false;
    const QList<XrfFilterProperties> &filters = hardwareConfig.filters();
    if (filters.isEmpty()) {
        qWarning() << "Failed to set filter params from exposure, filters list read from K60 is "
                      "empty.";
        return false;
    }
    if (filterPosition >= filters.size()) {
        qWarning().noquote() << QStringLiteral("Failed to set filter params for exposure, "
                                               "filterposition:%1 is out of range, max filter "
                                               "position is:%2.")
                                    .arg(filterPosition)
                                    .arg(filters.size());
        return false;
    }
    XrfFilterProperties filter = filters.at(filterPosition);
    if (!filter.isValid()) {
        qWarning() << "Failed to set filter params for exposure, filter properties are not valid."
                   << filter.toJsonObject();
        return false;
    }
    const auto diameter = static_cast<quint16>(filter.diameterInMicrons());
    filter.setHasCollimator(diameter == collimatorDiameterInMicrons);
    settings->setFilterProperties(filter);
    return true;
}

// ---- Fixed filter ----

bool Worker::setFixedFilterMode(QString *errorMsg, const bool &enable)
{
    if (!errorMsg)
        return false;
    qDebug() << "setting fixed filter mode";
    errorMsg->clear();
    xrf_hal::XrfEngine *engine = xrf_hal::XrfEngine::instance();
    if (const int ret = engine->setFilterType(enable ? kFixedFilterBit : 0)) {
        errorMsg->append(
            QStringLiteral("K60 command to set fixed filter mode bit failed, err:%1").arg(ret));
        return false;
    }
    if (const int ret = engine->saveToNv()) {
        errorMsg->append(QStringLiteral("K60 failed to save to NV, err:%1").arg(ret));
        return false;
    }
    // The controller needs a moment to commit its non-volatile memory.
    XrfUtils::activeSleep(kNvCommitWaitMs);
    return true;
}

bool Worker::isFixedFilterInstrument()
{
    unsigned short type = 0;
    if (const int ret = xrf_hal::XrfEngine::instance()->getFilterType(&type)) {
        qWarning() << "Failed to read filter type reg(0x0453) from K60, retCode:" << ret;
        type = 0;
    }
    return (type & kFixedFilterBit) != 0;
}

bool Worker::writeDefaultFilterParamsToK60()
{
    qDebug() << "Writing default hardware parameters to K60";
    if (currentWorkOrder().isEmpty()) {
        qWarning() << "Cannot write default filter parameters, the work order is empty";
        return false;
    }
    loadFactorySetupParamsFromFile();

    unsigned char maxPosition = 0;
    xrf_hal::XrfEngine *engine = xrf_hal::XrfEngine::instance();
    if (const int ret = engine->getMaxFilterPosition(&maxPosition)) {
        qWarning() << "Failed to read max filter position: " << ret;
        return false;
    }
    QJsonArray positions;
    if (!readDefaultFilterPositions(&positions))
        return false;
    if (positions.size() > maxPosition + 1) {
        qWarning().noquote() << QStringLiteral("Default filter table has %1 positions, the K60 "
                                               "holds at most %2.")
                                    .arg(positions.size())
                                    .arg(maxPosition + 1);
        return false;
    }
    QVector<xrf_hal::FilterParams> params(positions.size());
    for (int i = 0; i < positions.size(); ++i) {
        QString error;
        if (!toFilterParams(positions.at(i), &params[i], &error)) {
            qWarning().noquote() << QStringLiteral("Failed to read default filter position %1 "
                                                   "from factory_setup_data.json: %2")
                                        .arg(i)
                                        .arg(error);
            return false;
        }
    }
    if (const int ret = engine->setFilterData(params.constData(), quint8(params.size()))) {
        qWarning() << "setFilterData failed to write default filter positions to K60: " << ret;
        return false;
    }
    if (const int ret = engine->saveToNv()) {
        qWarning().noquote() << QStringLiteral("K60 command to SaveToNV failed, ret:%1").arg(ret);
        return false;
    }
    return true;
}

// The default filter table of the work order's filter type.
bool Worker::readDefaultFilterPositions(QJsonArray *positions)
{
    const QString filterType = workOrder.value(QStringLiteral("filterType")).toString();
    const QJsonObject filters = defaultHwParams.value(QStringLiteral("filter")).toObject();
    if (filters.isEmpty()) {
        qWarning() << "Failed to read 'filter' options from factory_setup_data.json: object empty";
        return false;
    }
    const QJsonValue table =
        filters.value(filterType).toObject().value(QStringLiteral("positions"));
    if (!table.isArray() || table.toArray().isEmpty()) {
        qWarning().noquote() << "Failed to read filter " + filterType
                + " positions from factory_setup_data.json.";
        return false;
    }
    *positions = table.toArray();
    return true;
}

// ---- Safety ----

void Worker::setFactoryPageSafetySettings(bool testStandFor50kV)
{
    XrfSettingsManager *settingsManager = XrfSettingsManager::instance();
    XrfSafetySettings safety;
    if (const int code = settingsManager->getSafetySettings(&safety))
        qWarning().noquote() << QStringLiteral("Failed to read safety settings \"system.safety\" "
                                               "from %1, err:%2; the factory page settings are "
                                               "written over defaults")
                                    .arg(settingsManager->globalSettingsFilePath(),
                                         XrfSettingsManager::errorText(code));
    qInfo().noquote() << "Setting safety settings for factory pages. Test stand for 50 kV ="
                      << boolText(testStandFor50kV);
    safety.setTestStandRequired(false);
    safety.setTestStandRequiredFor50kV(testStandFor50kV);
    safety.setAutoLogoutEnabled(false);
    safety.setFrenchModeEnabled(false);
    safety.setDeadmanTriggerEnabled(false);
    safety.setTwoHandTriggerEnabled(false);
    safety.setProximitySensorEnabled(false);
    safety.setTriggerLock(XrfSafetySettings::TriggerLockNone);
    if (const int code = settingsManager->setSafetySettings(safety))
        qWarning() << "Failed to store safety settings, err:"
                   << XrfSettingsManager::errorText(code);

    xrf_hal::XrfEngine *engine = xrf_hal::XrfEngine::instance();
    unsigned short flags = 0;
    if (const int ret = engine->getSafetyModeFlags(&flags)) {
        qWarning() << "Failed to read safety mode flags from K60, HwErr:" << ret;
        return;
    }
    if (testStandFor50kV)
        flags |= kSafetyMode50kVRequiresStand;
    else
        flags &= ~kSafetyModeStandBits;
    flags &= ~kSafetyModeLowBits;
    if (const int ret = engine->setSafetyModeFlags(flags))
        qWarning() << "Failed to write safety mode flags to K60, HwErr:" << ret;
}

bool Worker::isTestStandPresentAndLidClosed()
{
    xrf_hal::XrfEngine *engine = xrf_hal::XrfEngine::instance();
    unsigned short statusFlags = 0;
    if (const int ret = engine->getExposureStatusFlags(&statusFlags)) {
        qWarning() << "Failed to get workstation status from K60, HwErr:" << ret;
        return false;
    }
    const bool present = statusFlags & kTestStandPresentBit;
    qInfo().noquote() << " is workstation detected: " + boolText(present)
            + ", External Device status flags:0x" + hexText(statusFlags);
    if (!present)
        return false;

    unsigned short interlockFlags = kInterlockOpenBit;
    if (const int ret = engine->getInterlockFlags(&interlockFlags)) {
        qWarning() << "Failed to get interlock flags status from K60, HwErr:" << ret;
        interlockFlags = kInterlockOpenBit;
    }
    const bool interlockClosed = !(interlockFlags & kInterlockOpenBit);
    qInfo().noquote() << "is workstation interlock closed: " + boolText(interlockClosed)
            + ", Interlock flags:0x" + hexText(interlockFlags);

    unsigned short standFlags = 0;
    if (const int ret = engine->getTestStandStatusFlags(&standFlags)) {
        qWarning() << "Failed to get workstation status flags from K60, HwErr:" << ret;
        standFlags = 0;
    }
    const bool lidClosed = standFlags & kTestStandLidClosedBit;
    const bool commOk = standFlags & kTestStandCommOkBit;
    qInfo().noquote() << "is workstation lid closed:" + boolText(lidClosed)
            + ", is workstation comm ok:" + boolText(commOk) + ", workstation status flags:0x"
            + hexText(standFlags);
    return interlockClosed && lidClosed && commOk;
}

// ---- Detector EEPROM ----

bool Worker::saveEepromData(QString *errorMsg)
{
    return runEepromTransfer(kEepromSave, errorMsg);
}

bool Worker::loadEepromData(QString *errorMsg)
{
    return runEepromTransfer(kEepromLoad, errorMsg);
}
