// FPGA gain setup: the sub-step's start, its exposures and its end. The evaluation of a gain
// exposure is in fpgaeval.cpp.
#include "xrffactorymanager_p.h"

#include "xrfengine.h"

#include <QDebug>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

// Gain exposures run at no more than this voltage: the Mo K lines need no more, and the energy
// scale is set for the spectrum's range at this voltage.
constexpr unsigned char kGainSetupMaxKv = 40;

enum ExposureState {
    ExposureIdle = 0,
    ExposureStarted = 1,
    ExposureStopped = 2,
    ExposureFaulted = 3
};

QString tubeLimitFailure(const char *limit, int code)
{
    return QStringLiteral("FPGA gain setup failed.\nFailed to read tube max %1\nlimit from K60, %2")
        .arg(QLatin1String(limit))
        .arg(code);
}

} // namespace

void Worker::doFpgaSetup()
{
    qDebug() << "Starting FPGA setup";
    setCurrentTaskStatus(tr("Starting FPGA gain setup..."));
    beginHardwareSetupStep(QStringLiteral("fpgaGainSetup"));
    fpgaSetupResults = QJsonObject();
    fpgaSetupIterations = QJsonArray();
    fpgaSetupCurrentIteration = QJsonObject();
    fpgaSetupCeilingRestarts = 0;
    fpgaExposureState = ExposureIdle;

    if (workOrder.isEmpty())
        loadWorkOrderInfoFromFile();
    if (factorySetupInfo.isEmpty())
        loadFactorySetupParamsFromFile();
    if (workOrder.isEmpty() || factorySetupInfo.isEmpty()) {
        finishFpgaSetup(false,
                        QStringLiteral("Fpga gain setup failed.\nEither factory_setup_data.json or "
                                       "workOrder.json is missing"));
        return;
    }

    QString error;
    if (!disableFpgaAutoCal(&error)) {
        finishFpgaSetup(false, error);
        return;
    }
    qInfo() << "Autocal disabled";
    if (isPinDetector()) {
        if (!writePinGainCorrectionRegisters(0, 0, 0)) {
            finishFpgaSetup(
                false,
                QStringLiteral("Failed to clear gain slope and offset correction registers."));
            return;
        }
        qDebug() << "Offset and slope correction registers cleared";
    }

    if (!prepareFpgaSetupExposure(&error) || !saveDefaultFpgaParams(&error)) {
        finishFpgaSetup(false, error);
        return;
    }

    xrf_hal::XrfEngine *engine = xrf_hal::XrfEngine::instance();
    if (const int code = engine->clearFaults())
        qWarning() << "Failed to clear controller faults before the gain setup exposure:" << code;
    if (const int code = engine->clearTubeFaults())
        qWarning() << "Failed to clear tube faults before the gain setup exposure:" << code;
    fpgaSetupIteration = 0;
    qInfo().noquote() << "Starting FPGA Gain setup exposure: "
            + fpgaSetupExposureSettings.toString();

    takeExposureSignals(
        {[this] {
             if (fpgaExposureState == ExposureFaulted || userAbort) {
                 XrfHardwareManager::instance()->stopExposure(true);
                 return;
             }
             fpgaExposureState = ExposureStarted;
         },
         [this](const XrfSpectrum &spectrum) {
             fpgaSetupSpectrum = spectrum;
             const int maxTime = fpgaSetupExposureSettings.maxTime();
             if (maxTime > 0)
                 setCurrentTaskProgress(50.0 * fpgaSetupIteration
                                        + 50.0 * spectrum.realTime() / maxTime);
         },
         [this](XrfHardwareManager::XrfExposureEndCondition condition, bool tubeStillOn) {
             onFpgaSetupExposureStopped(condition, tubeStillOn);
         },
         [this](const XrfErrorInfo &error) {
             onFpgaSetupError(error);
         }});
    fpgaSetupOwnsExposureSignals = true;
    setCurrentTaskProgress(0);
    startFpgaSetupExposure();
}

// Tube set points from the tube's limits, the filter of the work order's wheel, the shot time.
bool Worker::prepareFpgaSetupExposure(QString *error)
{
    xrf_hal::XrfEngine *engine = xrf_hal::XrfEngine::instance();
    unsigned char maxKv = 0;
    unsigned char maxUa = 0;
    unsigned char maxPower = 0;
    if (const int code = engine->getTubeMaxVoltageLimit(&maxKv)) {
        *error = tubeLimitFailure("voltage", code);
        return false;
    }
    if (const int code = engine->getTubeMaxCurrentLimit(&maxUa)) {
        *error = tubeLimitFailure("current", code);
        return false;
    }
    if (const int code = engine->getTubeMaxPower(&maxPower)) {
        *error = tubeLimitFailure("power", code);
        return false;
    }
    qDebug() << "tube max power  = " << maxPower << "Watt";

    unsigned char kv = maxKv;
    if (maxKv > kGainSetupMaxKv) {
        kv = kGainSetupMaxKv;
        qInfo().noquote() << QStringLiteral("Tube max voltage: %1kV is greater than max voltage "
                                            "allowed for Gain setup %2kV, adjusted gain setup "
                                            "exposure tube voltage to: %3kV")
                                 .arg(maxKv)
                                 .arg(kGainSetupMaxKv)
                                 .arg(kGainSetupMaxKv);
    }
    if (kv == 0) {
        *error = QStringLiteral("FPGA gain setup failed.\nThe tube reports a max voltage of 0kV");
        return false;
    }
    const auto fromPower = quint16(quint32(maxPower) * 1000u / kv);
    const quint16 ua = qMin<quint16>(fromPower, maxUa);

    const QJsonObject params = hardwareSetupCurrentStep.setupParams();
    const int shotTime = params.value(QStringLiteral("shotTime_in_s")).toInt(0);
    qDebug() << "SHOT TIME without default from gainSetupParams: " << shotTime;
    const QString filterType = workOrder.value(QStringLiteral("filterType")).toString();
    qDebug() << "FILTER TYPE from provisionedInfo: " << filterType;
    const QJsonValue position =
        params.value(QStringLiteral("filterPositions")).toObject().value(filterType);
    qDebug() << "FILTER POSITION from gainSetupParams: " << position.toInt(-1);
    if (!position.isDouble() || position.toInt(-1) < 0) {
        // Another wheel's position would expose through the wrong filter.
        *error = QStringLiteral("FPGA gain setup failed.\nNo filter position for filter type "
                                "'%1' in the gain setup parameters")
                     .arg(filterType);
        return false;
    }

    fpgaSetupExposureSettings = XrfExposureSettings();
    fpgaSetupExposureSettings.setTubeCurrentUa(ua);
    fpgaSetupExposureSettings.setTubeVoltageKv(kv);
    fpgaSetupExposureSettings.setMaxTime(shotTime);
    fpgaSetupExposureSettings.setBackgroundRate(0);
    fpgaSetupExposureSettings.setUseLiveTime(false);
    fpgaSetupExposureSettings.setEnabled(true);
    if (!configureExposureFilterParams(quint16(position.toInt()), &fpgaSetupExposureSettings)) {
        *error = QStringLiteral("Failed to configure gain setup exposure filter params");
        return false;
    }
    return true;
}

bool Worker::startFpgaSetupExposure()
{
    fpgaExposureState = ExposureIdle;
    fpgaSetupSpectrum = XrfSpectrum();
    if (const int code = XrfHardwareManager::instance()->startExposure(fpgaSetupExposureSettings, 0,
                                                                       0, 0, 0, 0, 0)) {
        // Nothing would ever end the sub-step otherwise.
        finishFpgaSetup(false,
                        QStringLiteral("FPGA gain setup failed.\nFailed to start gain setup "
                                       "exposure, %1")
                            .arg(code),
                        !fpgaSetupCurrentIteration.isEmpty());
        return false;
    }
    return true;
}

void Worker::onFpgaSetupError(const XrfErrorInfo &error)
{
    qWarning().noquote()
        << QStringLiteral("Fpga Gain setup error:%1").arg(error.extendedErrorInfo());
    if (fpgaExposureState == ExposureStarted)
        XrfHardwareManager::instance()->stopExposure(true);
    if (fpgaExposureState == ExposureStopped)
        return;
    fpgaExposureState = ExposureFaulted;
    onFpgaSetupExposureStopped(XrfHardwareManager::EndStoppedByUser, false);
}

void Worker::storeFpgaSetupResults()
{
    fpgaSetupResults.insert(QStringLiteral("iterations"), fpgaSetupIterations);
    hardwareSetupCurrentStep.setResults(fpgaSetupResults);
}

void Worker::finishFpgaSetup(bool passed, const QString &message, bool storeIteration)
{
    if (storeIteration) {
        fpgaSetupIterations.append(fpgaSetupCurrentIteration);
        storeFpgaSetupResults();
    }
    if (!passed)
        qWarning().noquote() << message;
    if (fpgaSetupOwnsExposureSignals) {
        fpgaSetupOwnsExposureSignals = false;
        releaseExposureSignals();
    }
    onHardwareSetupStepComplete(passed, message);
}
