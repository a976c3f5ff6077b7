// Air shots: the table of safe background rates and the check of each shot's background.

#include "xrffactorymanager_p.h"

#include "safebackgroundrate.h"

#include "xrflogging.h"
#include "xrfsettingsmanager.h"

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {
const QString kFileMissing =
    QStringLiteral("XrfFactoryManagerPrivate::loadSafeBackgroundRate() : Fail to open ");
const QString kChecksSkipped =
    QStringLiteral("Safe background rates cannot be read from %1 (%2): the air shots are not "
                   "checked against safe background rates.");
const QString kValidationFailed = QStringLiteral("SafeBackGroundRate validation failed.");
} // namespace

void Worker::loadSafeBackgroundRate()
{
    const QJsonObject setup = factorySetupInfo.value(QStringLiteral("airShots")).toObject();
    const SafeBackgroundRate rule =
        SafeBackgroundRate::fromSetupData(setup.value(QStringLiteral("percentTolerance")),
                                          setup.value(QStringLiteral("minTolerance")));
    percentTolerance = rule.percentTolerance;
    minTolerance = rule.minTolerance;
    if (safeBackgroundRatesLoaded)
        return;
    const QString path =
        factoryDataPath + QStringLiteral("/../calibrationdefault/safeBackgroundRate.json");
    QJsonValue table;
    QString error;
    if (!XrfUtils::readJsonFile(path, &table, &error) || !table.isObject()) {
        if (error.isEmpty())
            error = QStringLiteral("the file is not a JSON object");
        qWarning().noquote() << kFileMissing + path << error;
        // Without the table no shot is compared: the technician hears of it and the result
        // keeps it.
        safeBackgroundRates.clear();
        safeBackgroundRateProblem = kChecksSkipped.arg(path, error);
        qWarning().noquote() << safeBackgroundRateProblem;
        XrfAlarm(safeBackgroundRateProblem).raise();
        airShotResults.insert(QStringLiteral("safeBackgroundRateCheck"), safeBackgroundRateProblem);
        return;
    }
    safeBackgroundRates = table.toObject().toVariantMap();
    safeBackgroundRatesLoaded = true;
    safeBackgroundRateProblem.clear();
}

bool Worker::checkAirShotBackground(double background, QString *failure)
{
    QString model;
    XrfSettingsManager::instance()->getInstrumentModel(&model, nullptr);
    const QString key = currentAirShot.safeBackGroundRateKey(0, model);
    const QVariant value = safeBackgroundRates.value(key);
    const bool isNumber = value.userType() == QMetaType::Double
        || value.userType() == QMetaType::Int || value.userType() == QMetaType::LongLong;
    if (!isNumber) {
        currentAirShot.clearSafeBackgroundRate();
        if (safeBackgroundRatesLoaded)
            qWarning().noquote() << "No safe background rate for air shot" << key
                                 << ", the shot is not checked";
        return true;
    }
    SafeBackgroundRate rule;
    rule.percentTolerance = percentTolerance;
    rule.minTolerance = minTolerance;
    const double safeRate = value.toDouble();
    const int tolerance = rule.tolerance(safeRate);
    currentAirShot.setSafeBackgroundRate(safeRate, rule.limit(safeRate));
    if (rule.passes(background, safeRate))
        return true;
    qWarning().noquote() << "AirShot validation failed - sampleName :"
                         << currentAirShot.sampleName()
                         << "calculatedBackgroundRate :" << background
                         << " safeBackGroundRate :" << safeRate
                         << " PercentTolerance :" << percentTolerance
                         << " MinTolerance :" << minTolerance << " tolerance :" << tolerance
                         << " ActualSafeBackGroundRateToCompare :" << rule.limit(safeRate);
    *failure = kValidationFailed;
    return false;
}
