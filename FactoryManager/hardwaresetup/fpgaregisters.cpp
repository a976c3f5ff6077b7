// FPGA pulse-processor defaults and auto-cal, the FPGA's automatic gain tracking.
#include "xrffactorymanager_p.h"

#include "xrfengine.h"
#include "xrfsettingsmanager.h"

#include <QDebug>

#include <cmath>
#include <functional>
#include <limits>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

const QString kPinDetectorModel = QStringLiteral("XDET-20430");
const XrfVersion kPinFpgaRegistersFirmware(1, 7, 0);
constexpr int kTicksPerUs = 64;
constexpr int kAutoCalSettleMs = 1000;

// A JSON number as an integer of type T: truncated toward zero and kept within T's range;
// anything else gives `fallback`.
template<typename T>
T intParam(const QJsonObject &params, const char *key, T fallback = 0)
{
    const QJsonValue value = params.value(QLatin1String(key));
    if (!value.isDouble())
        return fallback;
    const double bounded =
        qBound(double(std::numeric_limits<T>::min()), std::trunc(value.toDouble()),
               double(std::numeric_limits<T>::max()));
    return T(bounded);
}

// One register write of a list: the operation and the message of its failure.
struct RegisterWrite
{
    std::function<int()> write;
    const char *failure;
};

// Runs the writes in order; the first failure ends them with its message, logged and appended.
bool runWrites(const QVector<RegisterWrite> &writes, QString *error)
{
    for (const RegisterWrite &step : writes) {
        if (const int code = step.write()) {
            const QString message = QString::fromLatin1(step.failure).arg(code);
            qWarning().noquote() << message;
            error->append(message);
            return false;
        }
    }
    return true;
}

} // namespace

bool Worker::isPinDetector() const
{
    return hardwareConfig.detectorModel() == kPinDetectorModel;
}

XrfVersion Worker::k60FirmwareVersion() const
{
    bool ok = false;
    const XrfVersion configured = XrfVersion::fromString(hardwareConfig.k60FirmwareVersion(), &ok);
    if (ok && !configured.isNull())
        return configured;
    return XrfHardwareManager::instance()->firmwareVersion(0);
}

QJsonObject Worker::fpgaDefaultParams(QString *detectorType)
{
    *detectorType = currentWorkOrder().value(QStringLiteral("detectorType")).toString();
    return defaultHwParams.value(QStringLiteral("fpga")).toObject().value(*detectorType).toObject();
}

bool Worker::saveDefaultFpgaParams(QString *error)
{
    if (!error)
        return false;
    error->clear();
    QString detectorType;
    const QJsonObject params = fpgaDefaultParams(&detectorType);
    qDebug() << "Found detector type: " << detectorType;
    if (detectorType.isEmpty()) {
        *error = QStringLiteral("FPGA gain setup failed. \n Failed tor read detector type from "
                                "workOrder");
        return false;
    }
    qInfo().noquote() << QStringLiteral("Writing default FPGA parameters for detector type '%1' "
                                        "to k60")
                             .arg(detectorType);
    if (params.isEmpty()) {
        *error = QStringLiteral("fpgaParams is empty, probably the detector type wasn't found in "
                                "factory_setup_data.json!");
        return false;
    }
    const double peakingUs = params.value(QStringLiteral("peakingTime_us")).toDouble(0);
    if (!(peakingUs > 0)) {
        // The gain is the 1 us gain divided by the peaking time.
        *error = QStringLiteral("FPGA gain setup failed.\nThe FPGA parameters of detector type "
                                "'%1' need a positive peakingTime_us")
                     .arg(detectorType);
        return false;
    }

    xrf_hal::XrfEngine *e = xrf_hal::XrfEngine::instance();
    const bool pin = isPinDetector();
    const auto u16 = [&params](const char *key) {
        return intParam<quint16>(params, key);
    };
    // The writes run after the block below: the helpers they call must outlive it.
    const auto u8 = [&params](const char *key) {
        return intParam<quint8>(params, key);
    };
    const auto u32 = [&params](const char *key) {
        return intParam<quint32>(params, key);
    };
    QVector<RegisterWrite> writes{
        {[&] { return e->setFpgaInputControl(u16("inputControl")); },
         "Failed to set fpga input control, err=%1"},
    };
    if (pin && !(k60FirmwareVersion() < kPinFpgaRegistersFirmware)) {
        writes
            << RegisterWrite{[&] { return e->setFpgaPulseHeightMin(u16("pulseHeightMin")); },
                             "Failed to set fpga pulseHeightMin, err=%1"}
            << RegisterWrite{[&] { return e->setFpgaPulseHeightMax(u16("pulseHeightMax")); },
                             "Failed to set fpga pulseHeightMax, err=%1"}
            << RegisterWrite{[&] { return e->setFpgaResetThreshold(u16("resetThreshold")); },
                             "Failed to set fpga resetThreshold, err=%1"}
            << RegisterWrite{[&] { return e->setFpgaTotalPulseTime(u16("pulseTime")); },
                             "Failed to set fpga totalPulseTime, err=%1"}
            << RegisterWrite{[&] { return e->setFpgaGapTime(u16("gapTime")); },
                             "Failed to set fpga gapTime, err=%1"}
            << RegisterWrite{[&] { return e->setFpgaAdcMin(u16("adcMin")); },
                             "Failed to set fpga adcMin, err=%1"}
            << RegisterWrite{[&] { return e->setFpgaAdcMax(u16("adcMax")); },
                             "Failed to set fpga adcMax, err=%1"}
            << RegisterWrite{[&] {
                                 return e->setFpgaAfterPulseResetThreshold(
                                     u16("afterPulseResetThreshold"));
                             },
                             "Failed to set fpga afterPulseResetThreshold, err=%1"}
            << RegisterWrite{[&] {
                                 return e->setFpgaPileUpResetThreshold(u16("pileUpResetThreshold"));
                             },
                             "Failed to set fpga pileUpResetThreshold, err=%1"}
            << RegisterWrite{[&] {
                                 return e->setFpgaAutoCalSlopeCancellation(
                                     u8("autoCalSlopeCancellation"));
                             },
                             "Failed to set FpgaAutocalSlopeCancellation register, err=%1"}
            << RegisterWrite{[&] {
                                 return e->setFpgaAutoCalLeakageRampFilter(
                                     u32("autoCalLeakageRampFilter"));
                             },
                             "Failed to set FpgaAutoCalLeakageRampFilter register, err=%1"}
            << RegisterWrite{[&] {
                                 return e->setFpgaAutoCalSlopeThreshold(
                                     u16("autoCalSlopeThreshold"));
                             },
                             "Failed to set FpgaAutoCalSlopeThreshold register, err=%1"}
            << RegisterWrite{[&] { return e->setFpgaSlopeCancellation(u8("slopeCancellation")); },
                             "Failed to set FpgaSlopeCancellation register, err=%1"}
            << RegisterWrite{[&] { return e->setFpgaLeakageRampFilter(u32("leakageRampFilter")); },
                             "Failed to set FpgaLeakageRampFilter register, err=%1"}
            << RegisterWrite{[&] { return e->setFpgaSlopeThreshold(u16("slopeThreshold")); },
                             "Failed to set FpgaSlopeThreshold register, err=%1"};
    }

    const auto ticks = quint16(qBound(0.0, std::trunc(peakingUs * kTicksPerUs), 65535.0));
    qDebug().noquote() << QStringLiteral("peaking time is %1us").arg(peakingUs);
    if (pin) {
        writes << RegisterWrite{[&] { return e->setFpgaPeakingTime(ticks); },
                                "Failed to set fpga peaking time, err=%1"};
    } else {
        qDebug().noquote()
            << QStringLiteral("resulting before/after pulse delay is %1 ticks").arg(ticks);
        writes << RegisterWrite{[&] { return e->setFpgaBeforePulseDelay(ticks); },
                                "Failed to set fpga before pulse delay, err=%1"}
               << RegisterWrite{[&] { return e->setFpgaAfterPulseDelay(ticks); },
                                "Failed to set fpga after pulse delay, err=%1"};
    }
    const int offset = intParam<qint16>(params, "syncDelayOffset");
    const auto syncDelay = qint16(qBound(-32768, pin ? offset : ticks + offset, 32767));
    qDebug().noquote() << QStringLiteral("resulting syncDelay is %1 ticks").arg(syncDelay);
    const double gain1us = params.value(QStringLiteral("fpgaScale1us")).toDouble(0);
    const auto gain = quint32(
        qBound(0.0, std::trunc(gain1us / peakingUs), double(std::numeric_limits<quint32>::max())));
    qDebug().noquote() << QStringLiteral("gain for 1us peaking time is %1\nadjusted for %2us "
                                         "peaking time, gain is %3")
                              .arg(gain1us)
                              .arg(peakingUs)
                              .arg(gain);
    writes << RegisterWrite{[&] { return e->setFpgaSyncDelay(syncDelay); },
                            "Failed to set fpga sync delay, err=%1"}
           << RegisterWrite{[&] { return e->setFpgaThreshold(u16("threshold")); },
                            "Failed to set fpga threshold, err=%1"}
           << RegisterWrite{[&] { return e->setFpgaMaxFastPulseWidth(u16("maxFastPulseWidth")); },
                            "Failed to set fpga max fast pulse width, err=%1"}
           << RegisterWrite{[&] { return e->setFpgaPulseDelay(u16("pulseDelay")); },
                            "Failed to set fpga pulse delay, err=%1"}
           << RegisterWrite{[&] { return e->setFpgaResetWidth(u16("microResetWidth")); },
                            "Failed to set fpga reset width, err=%1"}
           << RegisterWrite{[&] { return e->setFpgaGain(gain); }, "Failed to set FPGa gain, err=%1"}
           << RegisterWrite{[&] { return e->saveToNv(); },
                            "Failed to write FPGA settings to NV, err=%1"};
    return runWrites(writes, error);
}

bool Worker::disableFpgaAutoCal(QString *error)
{
    if (!error)
        return false;
    error->clear();
    if (const int code = xrf_hal::XrfEngine::instance()->disableAutoCal()) {
        error->append(QStringLiteral("Failed to disable auto cal, error code:%1").arg(code));
        qWarning().noquote() << *error;
        return false;
    }
    return true;
}

bool Worker::enableFpgaAutoCal(QString *error)
{
    if (!error)
        return false;
    error->clear();
    QString detectorType;
    const QJsonObject params = fpgaDefaultParams(&detectorType);
    if (detectorType.isEmpty()) {
        *error = QStringLiteral("Enabling auto cal failed:\nFailed to read detector type from "
                                "workOrder");
        return false;
    }
    if (!params.contains(QStringLiteral("autoCalTime"))) {
        *error = QStringLiteral("Enabling auto cal failed:\nAuto cal params missing in JSON");
        return false;
    }

    qDebug() << "Setting up FPGA auto-cal";
    xrf_hal::XrfEngine *e = xrf_hal::XrfEngine::instance();
    const auto u32 = [&params](const char *key, quint32 fallback) {
        return intParam<quint32>(params, key, fallback);
    };
    const auto u16 = [&params](const char *key, quint16 fallback) {
        return intParam<quint16>(params, key, fallback);
    };
    QVector<RegisterWrite> writes{
        {[&] { return e->setFpgaAutoCalGain(u32("autoCalGain", 10000000)); },
         "Command to set fpga auto cal gain failed, error code: %1"},
        {[&] { return e->setFpgaAutoCalOffset(u32("autoCalOffset", 0)); },
         "Command to set fpga auto cal offset failed, error code: %1"},
        {[&] { return e->setFpgaAutoCalCountsLimit(u32("autoCalCountsLimit", 20000)); },
         "Command to set fpga auto cal counts limit failed, error code: %1"},
        {[&] { return e->setFpgaAutoCalTime(u32("autoCalTime", 100)); },
         "Command to set fpga auto cal time failed, error code: %1"},
        {[&] { return e->setFpgaAutoCalPosWindow(u32("autoCalPosWindow", 10)); },
         "Command to set fpga auto cal position window failed, error code: %1"},
    };
    if (isPinDetector()) {
        writes << RegisterWrite{[&] {
                                    return e->setFpgaAutoCalSyncDelay(
                                        intParam<qint16>(params, "autoCalSyncDelay", 50));
                                },
                                "Command to set fpga auto cal sync delay failed, error code: %1"}
               << RegisterWrite{[&] {
                                    return e->setFpgaAutoCalTotalPulseTime(
                                        u16("autoCalTotalPulseTime", 250));
                                },
                                "Command to set fpga auto cal total pulse time failed, error "
                                "code: %1"}
               << RegisterWrite{[&] { return e->setFpgaAutoCalGapTime(u16("autoCalGapTime", 10)); },
                                "Command to set fpga auto cal gap time failed, error code: %1"}
               << RegisterWrite{
                      [&] { return e->setFpgaAutoCalPeakingTime(u16("autoCalPeakingTime", 64)); },
                      "Command to set fpga auto cal peaking time failed, error code: "
                      "%1"};
    }
    if (!runWrites(writes, error))
        return false;

    qDebug() << "FPGA auto-cal calibration in progress...";
    if (!runWrites({{[&] { return e->calibrateFpgaAutoCal(); },
                     "Command to start auto-cal calibration failed, error code: %1"}},
                   error))
        return false;
    XrfUtils::activeSleep(kAutoCalSettleMs);
    if (!runWrites(
            {{[&] { return e->setFpgaAutoCalEnableAtStartup(true); },
              "Command to enable fpga autocal at startup failed, error code: %1"},
             {[&] { return e->saveToNv(); }, "K60 Failed to save auto-cal status to NV, %1"}},
            error))
        return false;

    float refPosition = 0;
    float refWidth = 0;
    if (!runWrites({{[&] { return e->getAutoCalRefPosition(&refPosition); },
                     "Failed to read fpga autocal reference position from K60, Err:%1"}},
                   error))
        return false;
    if (!std::isfinite(refPosition)) {
        *error = QStringLiteral("FPGA autocal reference position is not finite, autoCalRefPos:%1")
                     .arg(double(refPosition));
        return false;
    }
    qDebug() << "FPGA autocal ref pos:" << refPosition;
    if (!runWrites({{[&] { return e->getAutoCalRefPeakWidth(&refWidth); },
                     "Failed to read fpga autocal ref peak width from K60, Err:%1"}},
                   error))
        return false;
    if (!std::isfinite(refWidth) || std::lround(refWidth) == 0) {
        *error = QStringLiteral("FPGA autocal ref peak width(resolution) is zero");
        return false;
    }
    qDebug() << "FPGA autocal ref peak width(resolution):" << refWidth;
    return true;
}
