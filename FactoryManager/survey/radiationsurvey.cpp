// Radiation survey: the tube runs a fixed exposure while the operator measures the stray radiation
// beside the instrument with a survey meter; the reading the operator enters is corrected for the
// meter, compared with the threshold, stored, sent to the cloud and announced.

#include "xrffactorymanager_p.h"

#include "xrfsettingsmanager.h"

#include <QFile>

#include <cmath>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;
using Survey = XrfRadiationSurveyResult;

namespace {

const QString kLastResultKey = QStringLiteral("radiationSurvey");
const QString kLastResultNotObject =
    QStringLiteral("Failed to load radiation survey params from lastResult, the params is not in "
                   "expected format.");
const QString kNoSetupParams =
    QStringLiteral("Failed to load radition survey params. No params found in the file.");
const QString kSetupParamsNotObject =
    QStringLiteral("Failed to load radiation survey params from factory_setup_data.json, params "
                   "are not in expected format.");
const QString kSetupParamsUnreadable =
    QStringLiteral("Failed to radiation survey params, make sure factory_setup_data.json is at the "
                   "latest version.");
const QString kNoModel = QStringLiteral("Failed to determine instrument model.");
const QString kNoProbeType = QStringLiteral("Failed to determine probe type of the instrument.");
const QString kNoEntry =
    QStringLiteral("Failed to load radiation survey params, factory_setup_data.json has no "
                   "'radiationSurvey' entry for instrument model %1 and probe type %2.");
const QString kBadEntry =
    QStringLiteral("Failed to load radiation survey params of instrument model %1 and probe type "
                   "%2 from factory_setup_data.json 'radiationSurvey': %3.");
const QString kNotLoaded =
    QStringLiteral("Radiation survey cannot start, its params are not loaded.");
const QString kAlreadyRunning =
    QStringLiteral("Radiation survey is already running, the start is ignored.");
const QString kExposureDidNotStart =
    QStringLiteral("Radition survey failed, the exposure did not start, err:%1");
const QString kExposureFailed = QStringLiteral("Radition survey failed");
const QString kEndedDueTo = QStringLiteral(", exposure ended due to:%1");
const QString kFaults = QStringLiteral(", faults:%1");
const QString kNotAwaitingReading =
    QStringLiteral("Radiation survey reading cannot be evaluated, the survey exposure has not "
                   "ended normally.");
const QString kInvalidReading =
    QStringLiteral("Radiation survey failed, the reading %1 is not a valid dose rate.");
const QString kAboveThreshold =
    QStringLiteral("Radiation survey failed, monitored reading: %1uR/hr is greater than expected "
                   "threshold: %2 uR/hr");
const QString kSaveFailed =
    QStringLiteral("Failed to save radiation survey result to lastResult.json.");
const QString kSaveLoadFailed =
    QStringLiteral("Failed to save radiation survey result, failed to load lastResult.json");

constexpr double kMicroPerMilli = 1000.0;
// The open position, for a survey exposure that names no filter of its own.
constexpr quint16 kOpenFilterPosition = 0;

// Queued signals and invocations carry the record by its type name.
const int kRegistered = qRegisterMetaType<XrfRadiationSurveyResult>();

QString compactJson(const QJsonObject &json)
{
    return QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Compact));
}

} // namespace

void XrfFactoryManager::startRadiationSurvey()
{
    d->startRadiationSurvey();
}

void XrfFactoryManager::stopRadiationSurvey()
{
    d->stopRadiationSurvey();
}

void XrfFactoryManager::evaluateRadiationSurveyResult(XrfRadiationSurveyResult result)
{
    d->evaluateRadiationSurveyResult(result);
}

void Worker::onLoadRadiationSurveyParams()
{
    qDebug() << "Entering onLoadRadiationSurveyParams()";
    Q_UNUSED(kRegistered)
    qDebug() << "Loading radiation survey params......";
    QString error;
    // Without a readable file there is nothing stored to restore, whatever was read before.
    QJsonObject stored;
    if (loadFactorySetupLastResult(&error))
        stored = lastResult;
    else
        qWarning().noquote() << "Failed to read lastResult.json, error:" << error;
    loadFactorySetupParamsFromFile();
    radiationSurveyResult = XrfRadiationSurveyResult();

    bool restored = false;
    QString message;
    bool loaded = restoreRadiationSurveyFromLastResult(stored, &restored, &message)
        && loadRadiationSurveyParamsFromSetupData(&message);
    Survey::Status status = restored ? radiationSurveyResult.status() : Survey::Ready;
    if (loaded && status == Survey::ParamsLoadFailed) {
        loaded = false;
        message = radiationSurveyResult.statusMsg();
    }
    if (!loaded) {
        qWarning().noquote() << "Failed to load radiation survey params, error:" << message;
        status = Survey::ParamsLoadFailed;
    }
    radiationSurveyResult.setStatus(status);
    radiationSurveyResult.setStatusMsg(loaded ? QString() : message);
    radiationSurveyResult.setInstrumentSerial(hardwareConfig.insSerialNumber());
    qDebug().noquote() << "Radiation survey params:"
                       << compactJson(radiationSurveyResult.params().toJsonObject());
    qDebug() << "Leaving onLoadRadiationSurveyParams()";
}

// A survey stored earlier (its reading, times and status) comes back as it was.
bool Worker::restoreRadiationSurveyFromLastResult(const QJsonObject &lastResultJson, bool *restored,
                                                  QString *errorMsg)
{
    *restored = false;
    if (!lastResultJson.contains(kLastResultKey))
        return true;
    const QJsonValue stored = lastResultJson.value(kLastResultKey);
    QString parseError;
    if (!stored.isObject()
        || !radiationSurveyResult.fromJsonObject(stored.toObject(), &parseError)) {
        *errorMsg = kLastResultNotObject;
        return false;
    }
    qDebug() << "Loading radiation survey params from lastResult...";
    *restored = true;
    return true;
}

// The parameters of this instrument's model and probe type, checked so that a survey with a
// missing entry, a zero factor or a zero threshold cannot pass whatever the meter shows.
bool Worker::loadRadiationSurveyParamsFromSetupData(QString *errorMsg)
{
    if (!factorySetupInfo.contains(kLastResultKey)) {
        *errorMsg = kNoSetupParams;
        return false;
    }
    const QJsonValue setup = factorySetupInfo.value(kLastResultKey);
    if (!setup.isObject()) {
        *errorMsg = kSetupParamsNotObject;
        return false;
    }
    XrfRadiationSurveyParams params;
    QString parseError;
    if (!params.fromJsonObject(setup.toObject(), &parseError)) {
        qWarning().noquote() << "radiationSurvey in factory_setup_data.json:" << parseError;
        *errorMsg = kSetupParamsUnreadable;
        return false;
    }
    qDebug() << "Loading radiation survey exposure params & threshold from "
                "factory_setup_data.json";
    QString model;
    XrfSettingsManager::instance()->getInstrumentModel(&model, nullptr);
    if (model.isEmpty()) {
        *errorMsg = kNoModel;
        return false;
    }
    const QString probeType = XrfHardwareConfig::getProbeTypeFromInstrumentModel(
        workOrder.value(QStringLiteral("deviceType")).toString());
    if (probeType == QLatin1String("Unknown")) {
        *errorMsg = kNoProbeType;
        return false;
    }
    if (!params.contains(model, probeType)) {
        *errorMsg = kNoEntry.arg(model, probeType);
        return false;
    }
    const XrfRadiationSurveyParam param = params.param(model, probeType);
    QString invalid;
    if (!param.validate(&invalid)) {
        *errorMsg = kBadEntry.arg(model, probeType, invalid);
        return false;
    }
    radiationSurveyResult.setParams(param);
    radiationSurveyResult.setInstrumentModel(model);
    radiationSurveyResult.setProbeType(probeType);
    return true;
}

void Worker::startRadiationSurvey()
{
    const Survey::Status status = radiationSurveyResult.status();
    if (status == Survey::NotLoaded || status == Survey::ParamsLoadFailed) {
        qWarning().noquote() << kNotLoaded << radiationSurveyResult.statusMsg();
        if (status == Survey::NotLoaded)
            radiationSurveyResult.setStatusMsg(kNotLoaded);
        emit q->radiationSurveyStatusChanged(radiationSurveyResult);
        return;
    }
    if (radiationSurveyExposing) {
        qWarning().noquote() << kAlreadyRunning;
        return;
    }
    userAbort = false;
    radiationSurveyExposing = true;
    radiationSurveyExposure.reset();
    radiationSurveyExposure.settings = radiationSurveyResult.params().exposure();
    if (!radiationSurveyExposure.settings.filter().isValid())
        configureExposureFilterParams(kOpenFilterPosition, &radiationSurveyExposure.settings);
    takeExposureSignals({[this] { radiationSurveyExposure.onStarted(); },
                         {},
                         [this](XrfHardwareManager::XrfExposureEndCondition end, bool tubeOn) {
                             onRadiationSurveyExposureStopped(end, tubeOn);
                         },
                         [this](const XrfErrorInfo &error) {
                             onRadiactionSurveyError(error);
                         }});
    radiationSurveyResult.setStartTime(XrfUtils::currentUtcIsoTime());
    radiationSurveyResult.setEndTime(QString());
    qDebug().noquote() << "Starting radition survey exposure..."
                       << radiationSurveyExposure.settings.toString();
    if (const int code = XrfHardwareManager::instance()->startExposure(
            radiationSurveyExposure.settings, 0, 0, 0, 0, 0, 0)) {
        const QString message = kExposureDidNotStart.arg(code);
        qWarning().noquote() << message;
        onRadiationSurveyComplete(Survey::ExposureFailed, message);
    }
}

void Worker::stopRadiationSurvey()
{
    qDebug() << "Stopping radition survey...";
    XrfHardwareManager::instance()->stopExposure(false);
}

// A hardware error ends the survey at once: the exposure is stopped whatever its state (it may
// still be ramping), and its later stop signal is absorbed.
void Worker::onRadiactionSurveyError(const XrfErrorInfo &error)
{
    qWarning().noquote() << "Radiation survey hardware error:" << error.errorString()
                         << error.extendedErrorInfo();
    radiationSurveyExposure.lastError = error;
    XrfHardwareManager::instance()->stopExposure(true);
    onRadiationSurveyExposureStopped(XrfHardwareManager::EndHardwareError, false);
}

// The operator may stop the exposure once the meter is read: a stop by request ends the survey
// exposure as normally as its set time does.
void Worker::onRadiationSurveyExposureStopped(
    XrfHardwareManager::XrfExposureEndCondition endCondition, bool)
{
    qDebug() << "Radiation survey exposure stopped..." << endCondition;
    if (!radiationSurveyExposure.onStopped())
        return;
    const XrfErrorInfo &error = radiationSurveyExposure.lastError;
    const bool normalEnd = endCondition == XrfHardwareManager::EndNormal
        || endCondition == XrfHardwareManager::EndStoppedByUser;
    if (normalEnd && !error.hasError()) {
        onRadiationSurveyComplete(Survey::AwaitingReading, QString());
        return;
    }
    QString message = kExposureFailed;
    const QString ended = XrfHardwareManager::exposureEndConditionToString(endCondition);
    if (!normalEnd && !ended.isEmpty())
        message += kEndedDueTo.arg(ended);
    if (!error.extendedErrorInfo().isEmpty())
        message += kFaults.arg(error.extendedErrorInfo());
    qWarning().noquote() << message;
    onRadiationSurveyComplete(Survey::ExposureFailed, message);
}

// Only the reading, the meter and its unit come from the caller: the parameters, the status and
// the times stay the library's. A reading is evaluated only after a normal end of the exposure.
void Worker::evaluateRadiationSurveyResult(const XrfRadiationSurveyResult &entered)
{
    qDebug().noquote() << "Evaluating radiation survey result:"
                       << compactJson(entered.toJsonObject());
    if (radiationSurveyResult.status() != Survey::AwaitingReading) {
        qWarning().noquote() << kNotAwaitingReading << "status:" << radiationSurveyResult.status();
        XrfRadiationSurveyResult refused = radiationSurveyResult;
        refused.setStatusMsg(kNotAwaitingReading);
        emit q->radiationSurveyStatusChanged(refused);
        return;
    }
    radiationSurveyResult.setReading(entered.reading());
    radiationSurveyResult.setMeterType(entered.meterType());
    radiationSurveyResult.setMeterUnit(entered.meterUnit());
    const double reading = entered.reading();
    if (!std::isfinite(reading) || reading < 0) {
        onRadiationSurveyComplete(Survey::Failed, kInvalidReading.arg(reading));
        return;
    }
    const XrfRadiationSurveyParam &params = radiationSurveyResult.params();
    const double factor = entered.meterType() == Survey::BlueMeter
        ? params.blueMeterCorrectionFactor()
        : params.yellowMeterCorrectionFactor();
    const double adjusted = reading * factor;
    radiationSurveyResult.setAdjustedReading(adjusted);
    const double microPerHour =
        entered.meterUnit() == Survey::MilliRoentgenPerHour ? adjusted * kMicroPerMilli : adjusted;
    const qint64 value = qRound64(microPerHour);
    const qint64 threshold = qRound64(params.milliRadPerHourThreshold() * kMicroPerMilli);
    if (value < threshold)
        onRadiationSurveyComplete(Survey::Passed, QString());
    else
        onRadiationSurveyComplete(Survey::Failed, kAboveThreshold.arg(value).arg(threshold));
}

void Worker::onRadiationSurveyComplete(XrfRadiationSurveyResult::Status status,
                                       const QString &statusMsg)
{
    qDebug().noquote() << "On radiation survey complete, error:" << statusMsg;
    radiationSurveyExposing = false;
    radiationSurveyResult.setStatusMsg(statusMsg);
    radiationSurveyResult.setStatus(status);
    if (status == Survey::Failed || status == Survey::Passed) {
        radiationSurveyResult.setEndTime(XrfUtils::currentUtcIsoTime());
        XrfNetworkManager::instance()->sendToCloud(
            XrfNetworkManager::PutRadiationSurveyResult,
            QJsonObject{{QStringLiteral("body"), radiationSurveyResult.toJsonObject()}});
    }
    QString error;
    if (!saveRadiationSurveyToLastResult(&error))
        qWarning().noquote() << error;
    emit q->radiationSurveyStatusChanged(radiationSurveyResult);
    releaseExposureSignals();
}

// A lastResult.json that exists but cannot be read is left as it is; a missing one is started.
bool Worker::saveRadiationSurveyToLastResult(QString *errorMsg)
{
    QString loadError;
    if (!loadFactorySetupLastResult(&loadError)) {
        if (QFile::exists(lastResultFilePath)) {
            *errorMsg = kSaveLoadFailed;
            return false;
        }
        lastResult = QJsonObject();
    }
    lastResult.insert(kLastResultKey, radiationSurveyResult.toJsonObject());
    if (saveFactorySetupLastResult())
        return true;
    *errorMsg = kSaveFailed;
    return false;
}
