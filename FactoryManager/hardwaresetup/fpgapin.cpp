// The PIN detector's correction registers: the gain correction that auto-cal applies against
// temperature, and the detector temperature correction.
#include "xrffactorymanager_p.h"

#include "xrfengine.h"
#include "xrfsettingsmanager.h"

#include <QDebug>

#include <cmath>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

const QString kFpgaSetting = QStringLiteral("hardware.fpga");
const QString kPinGainCorrectionKey = QStringLiteral("pinGainCorrectionParams");
const XrfVersion kPinGainCorrectionFirmware(1, 7, 3);
const XrfVersion kPinTemperatureCorrectionFirmware(1, 9, 8);

// Equal when the difference is negligible against the smaller magnitude.
bool fuzzyEqual(float a, float b)
{
    return std::abs(a - b) * 100000.f <= qMin(std::abs(a), std::abs(b));
}

} // namespace

bool Worker::writePinGainCorrectionRegisters(float offsetCorrection, float slopeCorrection,
                                             float temperatureAtCal)
{
    if (k60FirmwareVersion() < kPinGainCorrectionFirmware) {
        qWarning() << "Failed to set Offset, slope correction registers, K60 firmware version "
                      "must be >= 1.7.3.";
        return false;
    }
    qDebug() << "Setting K60 Gain correction registers, "
             << " offsetCorrection:" << offsetCorrection << ", slopeCorrection:" << slopeCorrection
             << ", temperatureAtCal:" << temperatureAtCal;
    xrf_hal::XrfEngine *engine = xrf_hal::XrfEngine::instance();
    QStringList failures;
    if (const int code = engine->setAutoCalGainCorrectionOffset(offsetCorrection))
        failures
            << QStringLiteral("Failed to set GainCorrectionOffset register, hwRet:%1").arg(code);
    if (const int code = engine->setAutoCalGainCorrectionSlope(slopeCorrection))
        failures
            << QStringLiteral("Failed to set SlopeCorrectionOffset register, hwRet:%1").arg(code);
    if (const int code = engine->setAutoCalTemperatureAtCal(temperatureAtCal))
        failures << QStringLiteral("Failed to set TemperatureAtGainCalibration register, hwRet:%1")
                        .arg(code);
    if (failures.isEmpty()) {
        if (const int code = engine->saveToNv())
            failures << QStringLiteral("K60 command save to NV failed, hwRet: %1").arg(code);
    }
    if (!failures.isEmpty())
        qWarning().noquote() << failures.join(QLatin1Char(','));
    return failures.isEmpty();
}

bool Worker::readPinGainCorrectionRegisters(float *offsetCorrection, float *slopeCorrection,
                                            float *temperatureAtCal)
{
    if (!offsetCorrection || !slopeCorrection || !temperatureAtCal)
        return false;
    *offsetCorrection = *slopeCorrection = *temperatureAtCal = 0;
    if (k60FirmwareVersion() < kPinGainCorrectionFirmware) {
        qWarning() << "Failed to get offset, slope correction registers, K60 firmware version "
                      "must be >= 1.7.3";
        return false;
    }
    xrf_hal::XrfEngine *engine = xrf_hal::XrfEngine::instance();
    QStringList failures;
    if (const int code = engine->getAutoCalGainCorrectionOffset(offsetCorrection))
        failures
            << QStringLiteral("Failed to read GainCorrectionOffset register, hwRet: %1").arg(code);
    if (const int code = engine->getAutoCalGainCorrectionSlope(slopeCorrection))
        failures
            << QStringLiteral("Failed to read SlopeCorrectionOffset register, hwRet: %1").arg(code);
    if (const int code = engine->getAutoCalTemperatureAtCal(temperatureAtCal))
        failures << QStringLiteral("Failed to read AutocalTempAtCal register, hwRet: %1").arg(code);
    if (!failures.isEmpty())
        qWarning().noquote() << failures.join(QLatin1Char(','));
    return failures.isEmpty();
}

bool Worker::savePinGainCorrectionValues(float offsetCorrection, float slopeCorrection,
                                         float temperatureAtCal, bool writeRegisters)
{
    if (!(offsetCorrection > 0) || !(temperatureAtCal > 0)) {
        qWarning() << "offsetCorrection OR temperatureAtGainCalibration is zero.";
        return false;
    }
    bool result = true;
    if (writeRegisters
        && !writePinGainCorrectionRegisters(offsetCorrection, slopeCorrection, temperatureAtCal)) {
        qWarning() << "Failed to write gain offset correction & slope correction registers.";
        result = false;
    }
    XrfSettingsManager *settings = XrfSettingsManager::instance();
    QJsonObject fpga;
    if (settings->getUniversalSetting(kFpgaSetting, &fpga)) {
        qWarning() << "Failed to read 'hardware.fpga' settings from UniversalSettings.json";
        return false;
    }
    fpga.insert(
        kPinGainCorrectionKey,
        QJsonObject{{QStringLiteral("offsetCorrection"), double(offsetCorrection)},
                    {QStringLiteral("slopeCorrection"), double(slopeCorrection)},
                    {QStringLiteral("temperatureAtGainCalibration"), double(temperatureAtCal)}});
    if (settings->setUniversalSetting(kFpgaSetting, &fpga)) {
        qWarning() << "Failed to cache PIN gain correction values in universalSettings.json";
        return false;
    }
    return result;
}

bool Worker::applyPinGainCorrectionValuesFromSettings()
{
    if (!isPinDetector())
        return true;
    QJsonObject fpga;
    if (XrfSettingsManager::instance()->getUniversalSetting(kFpgaSetting, &fpga)) {
        qWarning() << "Failed to read 'hardware.fpga' settings from universalSettings.json";
        return false;
    }
    const QJsonValue cachedValue = fpga.value(kPinGainCorrectionKey);
    if (!cachedValue.isObject()) {
        qWarning() << "pinGainCorrectionParams is not a JSON object.";
        return false;
    }
    const QJsonObject cached = cachedValue.toObject();
    const auto offset = float(cached.value(QStringLiteral("offsetCorrection")).toDouble());
    const auto slope = float(cached.value(QStringLiteral("slopeCorrection")).toDouble());
    const auto temperature =
        float(cached.value(QStringLiteral("temperatureAtGainCalibration")).toDouble());
    float readOffset = 0;
    float readSlope = 0;
    float readTemperature = 0;
    // A failed read leaves zeroes, which differ from usable cached values: they are written.
    readPinGainCorrectionRegisters(&readOffset, &readSlope, &readTemperature);
    if (fuzzyEqual(offset, readOffset) && fuzzyEqual(slope, readSlope)
        && fuzzyEqual(temperature, readTemperature))
        return true;
    qDebug() << "PIN gain correction registers differ from the cached values, writing them";
    return writePinGainCorrectionRegisters(offset, slope, temperature);
}

bool Worker::writePinTemperatureCorrectionRegisters(float epsilon, float coeff1, float coeff2)
{
    if (!isPinDetector() || k60FirmwareVersion() < kPinTemperatureCorrectionFirmware)
        return true;
    xrf_hal::XrfEngine *engine = xrf_hal::XrfEngine::instance();
    if (const int code = engine->setDetectorTemperatureCorrectionEpsilon(epsilon)) {
        qWarning() << "Failed to write detector temp. correction epsilon: error =" << code;
        return false;
    }
    if (const int code = engine->setDetectorTemperatureCorrectionCoeff1(coeff1)) {
        qWarning() << "Failed to write detector temp. correction coefficient 1: error =" << code;
        return false;
    }
    if (const int code = engine->setDetectorTemperatureCorrectionCoeff2(coeff2)) {
        qWarning() << "Failed to write detector temp. correction coefficient 2: error =" << code;
        return false;
    }
    return true;
}

bool Worker::readPinTemperatureCorrectionRegisters(float *epsilon, float *coeff1, float *coeff2)
{
    if (!isPinDetector() || k60FirmwareVersion() < kPinTemperatureCorrectionFirmware)
        return true;
    if (!epsilon || !coeff1 || !coeff2)
        return false;
    xrf_hal::XrfEngine *engine = xrf_hal::XrfEngine::instance();
    if (const int code = engine->getDetectorTemperatureCorrectionEpsilon(epsilon)) {
        qWarning() << "Failed to read detector temp. correction epsilon: error =" << code;
        return false;
    }
    if (const int code = engine->getDetectorTemperatureCorrectionCoeff1(coeff1)) {
        qWarning() << "Failed to read detector temp. correction coefficient 1: error =" << code;
        return false;
    }
    if (const int code = engine->getDetectorTemperatureCorrectionCoeff2(coeff2)) {
        qWarning() << "Failed to read detector temp. correction coefficient 2: error =" << code;
        return false;
    }
    return true;
}

void Worker::setupPinDetectorTemperatureCorrection(const QJsonObject &params)
{
    const QString epsilonKey = QStringLiteral("temperatureCorrectionEpsilon");
    const QString coeff1Key = QStringLiteral("temperatureCorrectionCoeff1");
    const QString coeff2Key = QStringLiteral("temperatureCorrectionCoeff2");
    if (!params.contains(epsilonKey) || !params.contains(coeff1Key)
        || !params.contains(coeff2Key)) {
        qWarning() << "Cannot set PIN detector temperature correction registers. Setup"
                   << "parameters are missing.";
        return;
    }
    if (!isPinDetector() || k60FirmwareVersion() < kPinTemperatureCorrectionFirmware) {
        // The registers do not exist: nothing is written, read back or saved.
        qWarning().noquote() << QStringLiteral("PIN detector temperature correction registers "
                                               "need K60 firmware %1 or later, found %2; "
                                               "nothing written")
                                    .arg(kPinTemperatureCorrectionFirmware.toString(),
                                         k60FirmwareVersion().toString());
        return;
    }
    const auto epsilon = float(params.value(epsilonKey).toDouble());
    const auto coeff1 = float(params.value(coeff1Key).toDouble());
    const auto coeff2 = float(params.value(coeff2Key).toDouble());
    if (!writePinTemperatureCorrectionRegisters(epsilon, coeff1, coeff2)) {
        qWarning() << "Failed to write PIN detector temperature correction registers to K60";
        return;
    }
    float readEpsilon = 0;
    float readCoeff1 = 0;
    float readCoeff2 = 0;
    if (!readPinTemperatureCorrectionRegisters(&readEpsilon, &readCoeff1, &readCoeff2)) {
        qWarning() << "Could not read PIN detector temperature correction registers from K60";
        return;
    }
    if (readEpsilon != epsilon || readCoeff1 != coeff1 || readCoeff2 != coeff2) {
        qWarning() << "PIN detector temperature correction register readback failed";
        return;
    }
    if (const int code = xrf_hal::XrfEngine::instance()->saveToNv())
        qWarning() << "Failed to save PIN detector temperature correction registers to NV:" << code;
}
