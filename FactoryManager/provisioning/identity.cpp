// The instrument's identity: serial number and host name, instrument type code, regulatory region
// settings, and the reset to the virgin state.

#include "xrffactorymanager_p.h"

#include "xrfengine.h"
#include "xrfsettingsmanager.h"
#include "xrfsystembus.h"

#include <QDBusMessage>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

const char *const kHostNameService = "com.corvane.tarvod";
const char *const kHostNamePath = "/";
const char *const kHostNameInterface = "com.corvane.tarvod";
const char *const kHostNameMethod = "setHostname";
const char *const kSafetySettings = "system.safety";
const char *const kHardwareConfig = "hardware.config";

// The serial number as an unsigned number: plain decimal digits only, no sign, no blanks, and
// small enough for the controller's 32-bit register.
bool parseSerialNumber(const QString &serial, unsigned int *number)
{
    static const QRegularExpression digitsOnly(QStringLiteral("^[0-9]+$"));
    if (!digitsOnly.match(serial).hasMatch())
        return false;
    bool ok = false;
    *number = serial.toUInt(&ok, 10);
    return ok;
}

struct TypeCode
{
    QStringList anyOf;
    unsigned short code;
};

// The first row whose any model part the model string contains gives the code; the order matters
// ("TARVO-KTR" before "TARVO-KTS").
const QList<TypeCode> &typeCodes()
{
    static const QList<TypeCode> codes = {
        {{QStringLiteral("TARVO-KRW")}, 2},
        {{QStringLiteral("TARVO-KTR")}, 702},
        {{QStringLiteral("TARVO-KTS")}, 668},
        {{QStringLiteral("TARVO-MCW"), QStringLiteral("TARVO-MMR")}, 920},
        {{QStringLiteral("TARVO-KHP"), QStringLiteral("TARVO-KHS")}, 414},
    };
    return codes;
}

bool typeCodeForModel(const QString &model, unsigned short *code)
{
    for (const TypeCode &row : typeCodes()) {
        for (const QString &part : row.anyOf) {
            if (model.contains(part)) {
                *code = row.code;
                return true;
            }
        }
    }
    if (model.contains(QLatin1String("TARVO2-")) && model.contains(QLatin1String("XXX"))) {
        *code = 24;
        return true;
    }
    return false;
}

bool setSettingsKey(bool universal, const QString &section, const QString &key, bool value)
{
    XrfSettingsManager *settings = XrfSettingsManager::instance();
    QJsonObject object;
    int code = universal ? settings->getUniversalSetting(section, &object)
                         : settings->getGlobalSetting(section, &object);
    if (code == 0) {
        object.insert(key, value);
        code = universal ? settings->setUniversalSetting(section, &object)
                         : settings->setGlobalSetting(section, object);
    }
    if (code != 0)
        qWarning().noquote() << QStringLiteral("Failed to set '%1' in '%2', err:%3")
                                    .arg(key, section, XrfSettingsManager::errorText(code));
    return code == 0;
}

} // namespace

// Facade.

void XrfFactoryManager::setInstrumentSerialNumber(QString serialNumber)
{
    QString error;
    if (!d->setSerialNumberAndHostName(serialNumber, &error))
        qWarning() << "Failed to set serial number/host name, error:" << error;
}

void XrfFactoryManager::setInstrumentType(QString instrumentType)
{
    if (!d->setInstrumentType(instrumentType))
        qWarning() << "Failed to set Instrument Type";
}

bool XrfFactoryManager::isTarvoHD()
{
    return XrfSettingsManager::instance()->isTarvoHD();
}

bool XrfFactoryManager::isTarvoMP()
{
    return XrfSettingsManager::instance()->isTarvoMP();
}

bool XrfFactoryManager::isHarrier()
{
    return XrfSettingsManager::instance()->isHarrier();
}

bool XrfFactoryManager::isTarvoLitePin()
{
    return XrfSettingsManager::instance()->isTarvoLitePin();
}

bool XrfFactoryManager::isTarvoLiteSdd()
{
    return XrfSettingsManager::instance()->isTarvoLiteSdd();
}

bool XrfFactoryManager::isTarvoLitePinOrSdd()
{
    return XrfSettingsManager::instance()->isTarvoLitePinOrSdd();
}

// Serial number and host name.

QString Worker::instrumentSerialNumber()
{
    unsigned int serial = 0;
    const int code = xrf_hal::XrfEngine::instance()->getInstrumentSerialNumber(&serial);
    if (code != 0) {
        qWarning() << "Failed to read the instrument serial number from K60, err code:" << code;
        return QString();
    }
    return QString::number(serial);
}

bool Worker::setSerialNumberAndHostName(QString serialNumber, QString *errorMsg)
{
    if (!errorMsg)
        return false;
    errorMsg->clear();
    serialNumber = serialNumber.trimmed();
    unsigned int number = 0;
    if (!parseSerialNumber(serialNumber, &number)) {
        errorMsg->append(
            QStringLiteral("Invalid serial number, serial number can only have Digits."));
        return false;
    }
    if (instrumentSerialNumber() != serialNumber) {
        const int code = xrf_hal::XrfEngine::instance()->setInstrumentSerialNumber(number);
        if (code != 0) {
            errorMsg->append(QStringLiteral("Failed to write serial number:%1 to K60, err code:%2.")
                                 .arg(serialNumber)
                                 .arg(code));
            return false;
        }
        emit q->updateHardwareConfig();
        qDebug() << "New serial number assigned to the instrument:: " << number;
    }
    return setHostName(QStringLiteral("tarvo-%1").arg(serialNumber), errorMsg);
}

bool Worker::setHostName(const QString &hostName, QString *errorMsg)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QLatin1String(kHostNameService), QLatin1String(kHostNamePath),
        QLatin1String(kHostNameInterface), QLatin1String(kHostNameMethod));
    call << hostName;
    const QDBusConnection bus = XrfSystemBus::connection();
    const QDBusMessage reply = bus.isConnected() ? bus.call(call, QDBus::Block, hostNameTimeoutMs)
                                                 : QDBusMessage::createError(bus.lastError());
    const bool accepted = reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
        && reply.arguments().constFirst().toBool();
    if (!accepted) {
        qWarning() << "setHostname on" << kHostNameService << "failed:" << reply.errorName()
                   << reply.errorMessage();
        errorMsg->append(QStringLiteral("Failed to set hostname"));
        return false;
    }
    qInfo() << "hostname set to " << hostName;
    XrfSettingsManager *settings = XrfSettingsManager::instance();
    QJsonObject system;
    int code = settings->getUniversalSetting(QStringLiteral("system"), &system);
    if (code == 0) {
        system.insert(QStringLiteral("hostname"), hostName);
        code = settings->setUniversalSetting(QStringLiteral("system"), &system);
    }
    if (code != 0)
        qWarning() << "Failed to store the host name in the universal settings, err:"
                   << XrfSettingsManager::errorText(code);
    return true;
}

// Instrument type.

bool Worker::writeInstrumentTypeToK60(const QString &instrumentType, bool *written)
{
    bool ignored = false;
    if (!written)
        written = &ignored;
    *written = false;
    unsigned short code = 0;
    if (!typeCodeForModel(instrumentType, &code))
        return true;
    qDebug().noquote() << QStringLiteral("XrfFactoryManager::writeInstrumentTypeToK60 set to %1")
                              .arg(code, 8, 16, QLatin1Char('0'));
    const int result = xrf_hal::XrfEngine::instance()->setInstrumentType(code);
    if (result != 0) {
        qWarning().noquote() << QStringLiteral("Failed to set instrument type, %1").arg(result);
        return false;
    }
    *written = true;
    return true;
}

bool Worker::setInstrumentType(const QString &instrumentType)
{
    bool written = false;
    if (!writeInstrumentTypeToK60(instrumentType, &written))
        return false;
    if (written) {
        xrf_hal::XrfEngine *engine = xrf_hal::XrfEngine::instance();
        qDebug() << "Saving instrumentType to K60 NV";
        if (const int code = engine->saveToNv())
            qWarning() << "saveToNv failed, err code:" << code;
        qDebug() << "clearLatchingSafetyFaults";
        if (const int code = engine->clearLatchingSafetyFaults())
            qWarning() << "clearLatchingSafetyFaults failed, err code:" << code;
    }
    return true;
}

// Regulatory region.

void Worker::setupRegulatoryRegion(QString region)
{
    qDebug() << "Entering setupRegulatoryRegion" << region;
    QString profile = profilePath;
    if (profile.isEmpty())
        XrfSettingsManager::instance()->getProfilePath(&profile);
    const QString instConfigPath = profile + QStringLiteral("/instrumentsettings/instConfig.json");
    QString error;
    if (!XrfUtils::writeJsonFile(instConfigPath,
                                 QJsonDocument(QJsonObject{{"regulatoryRegion", region}}), &error))
        qWarning() << "Failed to write" << instConfigPath << "err:" << error;

    XrfSettingsManager *settings = XrfSettingsManager::instance();
    const bool mp = settings->isTarvoMP();
    const auto regionHas = [&region](const char *name) {
        return region.contains(QLatin1String(name), Qt::CaseInsensitive);
    };
    if (!mp && regionHas("FRANCE"))
        setSettingsKey(false, kSafetySettings, QStringLiteral("frenchMode"), true);

    QJsonObject hardwareConfig;
    const int readCode = settings->getUniversalSetting(kHardwareConfig, &hardwareConfig);
    if (readCode != 0) {
        qWarning() << "Failed to read hardware.config, err:"
                   << XrfSettingsManager::errorText(readCode);
        return;
    }
    hardwareConfig.insert(QStringLiteral("allowGps"), !regionHas("CHINA"));

    if (!mp && regionHas("CANADA")) {
        setSettingsKey(false, kSafetySettings, QStringLiteral("deadManTrigger"), true);
        hardwareConfig.insert(QStringLiteral("forceDeadManTrigger"), true);
        const QString home = XrfUtils::homeCorvaneAppDirPath();
        const QString log = QStringLiteral("/media/sdcard/StartupScript.log");
        if (!XrfUtils::addStartupScript(
                QStringLiteral("/usr/bin/python3 %1 %2")
                    .arg(XrfUtils::shellQuoted(
                             home + QStringLiteral("/scripts/disableMultipleTestForDeadman.py")),
                         XrfUtils::shellQuoted(instrumentSerialNumber())),
                home + QStringLiteral("/scripts/"), log, log, &error))
            qWarning() << "Failed to write the start-up script entry, err:" << error;
    }
    if (const int code = settings->setUniversalSetting(kHardwareConfig, &hardwareConfig))
        qWarning() << "Failed to write hardware.config, err:"
                   << XrfSettingsManager::errorText(code);
    qDebug() << "Leaving setupRegulatoryRegion";
}

// Virgin state.

bool Worker::backupFolder(const QString &folder, const QString &archiveName, QString *errorMsg)
{
    if (backupDirPath.isEmpty())
        backupDirPath = XrfUtils::homeCorvaneAppDirPath() + QStringLiteral("/backups");
    const QString archive = backupDirPath + QLatin1Char('/') + archiveName;
    if (!XrfUtils::backupDirectory(folder, archive, errorMsg))
        return false;
    qInfo() << "Backed up" << folder << "into" << archive;
    return true;
}

bool Worker::resetInstrumentToVirginState(QString *errorMsg)
{
    if (!errorMsg)
        return false;
    errorMsg->clear();
    // Nothing is erased or removed before both archives are complete and a default profile is
    // at hand to take the profile's place: a failure up to there leaves the instrument as it was.
    if (!backupForVirginState(errorMsg))
        return false;
    xrf_hal::XrfEngine *engine = xrf_hal::XrfEngine::instance();
    if (const int code = engine->eraseNvSector(virginResetNvSector)) {
        errorMsg->append(QStringLiteral("Failed to erase nv, ret:%1").arg(code));
        return false;
    }
    QDir(factoryDataPath).removeRecursively();
    {
        // What was loaded from the removed folder must not be saved back into the new one.
        QMutexLocker lock(&lastResultMutex);
        lastResult = QJsonObject();
        lastResultFileStamp.clear();
    }
    QDir(profilePath).removeRecursively();
    QString error;
    if (!XrfUtils::copyDirectory(defaultProfilePath, profilePath, &error)) {
        errorMsg->append(QStringLiteral("Failed to copy the default profile, err:%1").arg(error));
        return false;
    }
    if (!XrfUtils::syncDeviceFileSystem(&error)) {
        qWarning() << "Sync to device file system failed, err:" << error;
        errorMsg->append(QStringLiteral("Sync to device file system failed, err:%1").arg(error));
        return false;
    }
    if (const int code = engine->k60Reboot()) {
        errorMsg->append(QStringLiteral("Failed to reboot k60, err:%1").arg(code));
        return false;
    }
    return true;
}

bool Worker::backupForVirginState(QString *errorMsg)
{
    const QString serial = instrumentSerialNumber();
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("MM-dd-yyyy_hh:mm"));
    QString error;
    if (!backupFolder(factoryDataPath,
                      QStringLiteral("factoryData_backup_%1_%2.zip").arg(serial, stamp), &error)) {
        errorMsg->append(QStringLiteral("Failed to back up factoryData folder, err:%1").arg(error));
        return false;
    }
    if (!backupFolder(profilePath, QStringLiteral("profile_backup_%1_%2.zip").arg(serial, stamp),
                      &error)) {
        errorMsg->append(QStringLiteral("Failed to backup profile folder, err:%1").arg(error));
        return false;
    }
    if (defaultProfilePath.isEmpty())
        defaultProfilePath = XrfUtils::homeCorvaneAppDirPath() + QStringLiteral("/defaultProfile");
    if (!QFileInfo(defaultProfilePath).isDir()) {
        errorMsg->append(
            QStringLiteral("Default profile folder %1 does not exist").arg(defaultProfilePath));
        return false;
    }
    return true;
}
