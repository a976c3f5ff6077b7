// The settings of the instrument's calibration check: its exposure (from the alloy beam 1 air
// shot), its target count rate (from the alloy beam 1 of the beams setup) and its expected
// resolution and energy scale (from the gain setup and the stability runs).
//
// Layout in the universal settings: "hardware.calCheck" holds the first check's flag,
// "hardware.calCheck.exposure" the exposure and "hardware.calCheck.calculation" the expected
// values. Earlier software kept the exposure and the calculation inside "hardware.calCheck";
// such a file is migrated the first time the settings are used.

#include "xrffactorymanager_p.h"

#include "xrffilterproperties.h"
#include "xrfsettingsmanager.h"

#include <functional>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

const QString kCalCheck = QStringLiteral("hardware.calCheck");
const QString kCalCheckExposure = QStringLiteral("hardware.calCheck.exposure");
const QString kCalCheckCalculation = QStringLiteral("hardware.calCheck.calculation");
const QString kFpga = QStringLiteral("hardware.fpga");
// The sections that earlier software nested in "hardware.calCheck", by nested key.
const QList<QPair<QString, QString>> kNestedSections = {
    {QStringLiteral("exposure"), kCalCheckExposure},
    {QStringLiteral("calculation"), kCalCheckCalculation},
};

const QString kNoAirShots =
    QStringLiteral("AIR SHOTS ARRAY EMPTY. CAL CHECK EXPOSURE SETTINGS CANNOT BE SET");
const QString kNoAlloyBeamOne =
    QStringLiteral("COULD NOT FIND ALLOY BEAM 1 AIR SHOT. CAL CHECK EXPOSURE SETTINGS CANNOT BE "
                   "SET");
const QString kNoCalculationSettings =
    QStringLiteral("Cannot populate cal check target count rate. Cal check calculation settings do "
                   "not exist.");
const QString kNoResolutionSettings =
    QStringLiteral("Cannot populate cal check resolution, slope and offset. Cal check calculation "
                   "settings and/or FPGA settings do not exist.");

// The cal check shoots through 2000 um of aluminium with the open hole.
constexpr int kCalCheckFilterZ = 13;
constexpr double kCalCheckFilterThicknessUm = 2000;
constexpr double kCalCheckFilterDiameterUm = 2718;
constexpr int kCalCheckMaxTime = 15;
constexpr int kCalCheckBeamNo = 1;

bool usesBeamOneOf(const QJsonObject &shot, const std::function<bool(const QString &)> &method)
{
    for (const QJsonValue &use : shot.value(QStringLiteral("usage")).toArray()) {
        const QJsonObject object = use.toObject();
        if (method(object.value(QStringLiteral("method")).toString())
            && object.value(QStringLiteral("beam")).toInt() == kCalCheckBeamNo)
            return true;
    }
    return false;
}

// The air shot the cal check copies: the last alloy beam 1 shot, or else the first precious
// metal beam 1 shot.
QJsonObject calCheckAirShot(const QJsonArray &shots)
{
    QJsonObject chosen;
    for (const QJsonValue &value : shots) {
        const QJsonObject shot = value.toObject();
        if (usesBeamOneOf(shot,
                          [](const QString &m) { return m.contains(QLatin1String("alloy")); }))
            chosen = shot;
        else if (chosen.isEmpty() && usesBeamOneOf(shot, [](const QString &m) {
                     return m == QLatin1String("preciousMetal");
                 }))
            chosen = shot;
    }
    return chosen;
}

void critical(const QString &message)
{
    qCritical().noquote() << "**CRITICAL**" << message;
}

} // namespace

bool Worker::migrateCalCheckSettings(QString *errorMsg)
{
    XrfSettingsManager *settings = XrfSettingsManager::instance();
    QJsonObject calCheck;
    if (const int code = settings->getUniversalSetting(kCalCheck, &calCheck)) {
        if (errorMsg)
            *errorMsg = QStringLiteral("Failed to read '%1', err code:%2").arg(kCalCheck).arg(code);
        return false;
    }
    bool moved = false;
    for (const auto &nested : kNestedSections) {
        const QJsonValue old = calCheck.value(nested.first);
        if (!old.isObject())
            continue;
        QJsonObject section;
        int code = settings->getUniversalSetting(nested.second, &section);
        // The nested values are what the earlier software measured; they replace defaults.
        const QJsonObject oldValues = old.toObject();
        for (auto it = oldValues.begin(); !code && it != oldValues.end(); ++it)
            section.insert(it.key(), it.value());
        if (!code)
            code = settings->setUniversalSetting(nested.second, &section);
        if (code) {
            if (errorMsg)
                *errorMsg = QStringLiteral("Failed to move '%1.%2' to '%3', err code:%4")
                                .arg(kCalCheck, nested.first, nested.second)
                                .arg(code);
            return false;
        }
        calCheck.remove(nested.first);
        moved = true;
    }
    if (!moved)
        return true;
    if (const int code = settings->setUniversalSetting(kCalCheck, &calCheck)) {
        if (errorMsg)
            *errorMsg =
                QStringLiteral("Failed to write '%1', err code:%2").arg(kCalCheck).arg(code);
        return false;
    }
    qInfo().noquote() << QStringLiteral("Cal check settings moved from '%1' to '%2' and '%3'")
                             .arg(kCalCheck, kCalCheckExposure, kCalCheckCalculation);
    return true;
}

int Worker::readCalCheckSection(const QString &section, QJsonObject *value)
{
    QString error;
    if (!migrateCalCheckSettings(&error))
        qWarning().noquote() << error;
    return XrfSettingsManager::instance()->getUniversalSetting(section, value);
}

int Worker::writeCalCheckSection(const QString &section, QJsonObject value)
{
    QString error;
    if (!migrateCalCheckSettings(&error))
        qWarning().noquote() << error;
    return XrfSettingsManager::instance()->setUniversalSetting(section, &value);
}

void Worker::populateCalCheckExposureSettings()
{
    const QJsonArray shots = airShotResults.value(QStringLiteral("data"))
                                 .toObject()
                                 .value(QStringLiteral("unCollimatedShots"))
                                 .toArray();
    if (shots.isEmpty()) {
        critical(kNoAirShots);
        return;
    }
    const QJsonObject shot = calCheckAirShot(shots);
    if (shot.isEmpty()) {
        critical(kNoAlloyBeamOne);
        return;
    }
    const QJsonObject exposure = shot.value(QStringLiteral("exposureSettings")).toObject();
    QJsonObject calCheckExposure;
    if (const int code = readCalCheckSection(kCalCheckExposure, &calCheckExposure)) {
        qWarning().noquote()
            << QStringLiteral("Failed to read '%1', err code:%2").arg(kCalCheckExposure).arg(code);
        return;
    }
    XrfFilterProperties filter(kCalCheckFilterZ, kCalCheckFilterThicknessUm,
                               kCalCheckFilterDiameterUm);
    filter.setHasCollimator(false);
    calCheckExposure.insert(QStringLiteral("enabled"), true);
    calCheckExposure.insert(QStringLiteral("minTime"), 0);
    calCheckExposure.insert(QStringLiteral("maxTime"), kCalCheckMaxTime);
    calCheckExposure.insert(QStringLiteral("tubeVoltageKv"), exposure.value("tubeVoltageKv"));
    calCheckExposure.insert(QStringLiteral("tubeCurrentUa"), exposure.value("tubeCurrentUa"));
    calCheckExposure.insert(QStringLiteral("useLiveTime"), false);
    calCheckExposure.insert(QStringLiteral("backgroundRate"),
                            shot.value(QStringLiteral("calculatedBackgoundRate")));
    calCheckExposure.insert(QStringLiteral("filter"), filter.toJsonObject());
    if (const int code = writeCalCheckSection(kCalCheckExposure, calCheckExposure))
        qWarning().noquote()
            << QStringLiteral("Failed to write '%1', err code:%2").arg(kCalCheckExposure).arg(code);
    else
        qInfo() << "Cal check exposure settings set from air shot:" << calCheckExposure;
}

bool Worker::populateCalCheckTargetCountRate(const XrfSpectrum &spectrum, QString *err)
{
    QJsonObject calculation;
    const int code = readCalCheckSection(kCalCheckCalculation, &calculation);
    if (code || calculation.isEmpty()) {
        critical(kNoCalculationSettings);
        if (err)
            *err = kNoCalculationSettings;
        return false;
    }
    calculation.insert(QStringLiteral("maxCountRate"), spectrum.outputCountRate());
    if (const int writeCode = writeCalCheckSection(kCalCheckCalculation, calculation)) {
        const QString message = QStringLiteral("Failed to write '%1', err code:%2")
                                    .arg(kCalCheckCalculation)
                                    .arg(writeCode);
        qWarning().noquote() << message;
        if (err)
            *err = message;
        return false;
    }
    return true;
}

void Worker::populateCalCheckResolutionAndEnergyScale()
{
    const QJsonObject meta = lastStabilityMetaInfo();
    const auto stat = [&meta](const char *key) {
        return meta.value(QLatin1String(key)).toDouble();
    };
    qInfo() << "Stability resolution min: " << stat("minResolution")
            << "max: " << stat("maxResolution") << "average: " << stat("averageResolution");
    qInfo() << "Stability slope min: " << stat("minSlope") << "max: " << stat("maxSlope")
            << "average: " << stat("averageSlope");
    qInfo() << "Stability offset min: " << stat("minOffset") << "max: " << stat("maxOffset")
            << "average: " << stat("averageOffset");
    QJsonObject calculation;
    QJsonObject fpga;
    readCalCheckSection(kCalCheckCalculation, &calculation);
    XrfSettingsManager::instance()->getUniversalSetting(kFpga, &fpga);
    if (calculation.isEmpty() || fpga.isEmpty()) {
        critical(kNoResolutionSettings);
        return;
    }
    calculation.insert(QStringLiteral("resolution"), stat("averageResolution"));
    calculation.insert(QStringLiteral("slope"), stat("averageSlope"));
    calculation.insert(QStringLiteral("offset"), stat("averageOffset"));
    if (const int code = writeCalCheckSection(kCalCheckCalculation, calculation)) {
        qWarning().noquote() << QStringLiteral("Failed to write '%1', err code:%2")
                                    .arg(kCalCheckCalculation)
                                    .arg(code);
        return;
    }
    qInfo() << "Cal check expected resolution, slope, and offset updated";
}

// The statistics of the stability run as the stability steps store them: the plain run's (the
// cal check shoots without the collimator), else the collimated run's.
QJsonObject Worker::lastStabilityMetaInfo()
{
    loadFactorySetupLastResult(nullptr);
    const auto metaOf = [this](const QString &step) {
        const QJsonObject record = lastResult.value(step).toObject();
        const QJsonValue direct = record.value(QStringLiteral("stabilityTestMetaInfo"));
        if (direct.isObject())
            return direct.toObject();
        return record.value(QStringLiteral("result"))
            .toObject()
            .value(QStringLiteral("stabilityTestMetaInfo"))
            .toObject();
    };
    const QJsonObject plain = metaOf(QStringLiteral("stability"));
    return plain.isEmpty() ? metaOf(QStringLiteral("collimatedStability")) : plain;
}
