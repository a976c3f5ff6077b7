// FPGA gain setup: the evaluation of a gain exposure. The Fe K-alpha and Mo K-alpha peaks of the
// stainless steel target give the energy per channel and the zero offset; the gain is corrected
// once and checked with a second exposure.
#include "xrffactorymanager_p.h"

#include "xrfengine.h"
#include "xrfsettingsmanager.h"

#include <QCoreApplication>
#include <QDebug>

#include <cmath>
#include <limits>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

struct XrfFactoryManager::XrfFactoryManagerPrivate::FpgaGainPeaks
{
    double e1 = 6399; // eV
    double e2 = 17441;
    double p1 = 0; // channels
    double p2 = 0;
    int peak1Max = 0; // highest count of peak 1 and of the peak 2 window
    int peak2Max = 0;
    double binSize = 0; // eV per channel
    double offset = 0; // eV
    double target = 0;
    double tolerance = 0;
    double deviation = 0;
    quint32 oldGain = 0; // normalised to 1 us
    quint32 newGain = 0;
};

namespace {

constexpr int kPeakHalfWindow = 10;
constexpr double kMaxPeak1Fraction = 0.3485;
constexpr double kPeak2MinDistanceFraction = 0.05;
constexpr double kCeilingCurrentMargin = 0.95;
constexpr int kTicksPerUs = 64;
// A gain setup runs two gain exposures: the first measures and corrects the gain, the second
// verifies it. The failure texts of the final evaluation name that number.
constexpr int kGainSetupIterations = 2;

const QString kFpgaSetting = QStringLiteral("hardware.fpga");

double param(const QJsonObject &params, const char *key, double fallback)
{
    return params.value(QLatin1String(key)).toDouble(fallback);
}

// The channel of the highest count in [first, end), the first one on ties.
int maxChannel(const QVector<quint32> &data, int first, int end)
{
    first = qMax(first, 0);
    end = qMin(end, data.size());
    if (first >= end)
        return -1;
    return int(std::max_element(data.cbegin() + first, data.cbegin() + end) - data.cbegin());
}

} // namespace

void Worker::onFpgaSetupExposureStopped(XrfHardwareManager::XrfExposureEndCondition endCondition,
                                        bool)
{
    if (fpgaExposureState == 2) {
        qDebug() << "Exposure is already in stopped state, absorbing stop signal from hardware "
                    "manager";
        return;
    }
    fpgaExposureState = 2;
    if (endCondition != XrfHardwareManager::EndNormal) {
        qWarning().noquote() << "Exposure stopped with error, endCondition:"
                             << XrfHardwareManager::exposureEndConditionToString(endCondition);
        finishFpgaSetup(false,
                        userAbort ? QStringLiteral("User Abort")
                                  : QStringLiteral("Exposure fault, error: ")
                                + XrfHardwareManager::exposureEndConditionToString(endCondition));
        return;
    }
    qDebug() << "Fpga setup exposure stopped";
    fpgaSetupCurrentIteration = QJsonObject{
        {QStringLiteral("index"), fpgaSetupIteration},
        {QStringLiteral("spectrum"), fpgaSetupSpectrum.toJsonObject()},
    };

    FpgaGainPeaks peaks;
    if (!checkFpgaSetupCountRates(&peaks))
        return;
    bool corrected = false;
    if (!findFpgaSetupPeaks(&peaks) || !updateFpgaGain(&peaks, &corrected))
        return;

    ++fpgaSetupIteration;
    if (userAbort) {
        qDebug() << "FPGA gain setup aborted";
        if (fpgaSetupOwnsExposureSignals) {
            fpgaSetupOwnsExposureSignals = false;
            releaseExposureSignals();
        }
        return;
    }
    if (corrected) {
        fpgaSetupCeilingRestarts = 0;
        fpgaSetupCurrentIteration = QJsonObject();
        startFpgaSetupExposure();
        return;
    }
    finishFpgaSetupEvaluation(peaks);
}

// The tube limit, the count rate floor and ceiling and the dead time. Above the ceiling the
// exposure restarts at a lower current; that restart is not an iteration.
bool Worker::checkFpgaSetupCountRates(FpgaGainPeaks *peaks)
{
    const QJsonObject params = hardwareSetupCurrentStep.setupParams();
    unsigned char maxKv = 0;
    if (const int code = xrf_hal::XrfEngine::instance()->getTubeMaxVoltageLimit(&maxKv)) {
        finishFpgaSetup(false,
                        QStringLiteral("FPGA gain setup failed\nFailed to read tube max voltage "
                                       "from K60\n return code %1")
                            .arg(code),
                        true);
        return false;
    }
    qDebug().noquote() << QStringLiteral("max voltage achievable read from tube:  %1kV").arg(maxKv);
    peaks->target = maxKv <= 40 ? params.value(QStringLiteral("target_evPerBin")).toInt(0)
                                : params.value(QStringLiteral("target50kV_evPerBin")).toInt(0);

    const double icr = fpgaSetupSpectrum.inputCountRate();
    const double minIcr = param(params, "minGainSetupICR", -1);
    const double maxIcr = param(params, "maxGainSetupICR", -1);
    if (icr < minIcr) {
        finishFpgaSetup(false,
                        QStringLiteral("FPGA gain setup failed\nICR = %1 below minimum "
                                       "expected %2")
                            .arg(icr)
                            .arg(minIcr));
        return false;
    }
    qDebug().noquote() << QStringLiteral("gain setup ICR %1cps satisfies minimum %2cps requirement")
                              .arg(icr)
                              .arg(minIcr);

    // Without a ceiling every rate would count as above it and the current would keep shrinking.
    if (maxIcr > 0 && icr > maxIcr) {
        qDebug() << "FPGA Gain setup ICR " << icr << "cps exceeded desired ceiling" << maxIcr
                 << "cps";
        if (++fpgaSetupCeilingRestarts > fpgaSetupMaxCeilingRestarts) {
            finishFpgaSetup(false,
                            QStringLiteral("FPGA gain setup failed\nICR = %1 still above "
                                           "the ceiling %2 after %3 current reductions")
                                .arg(icr)
                                .arg(maxIcr)
                                .arg(fpgaSetupMaxCeilingRestarts));
            return false;
        }
        float currentSet = 0;
        const int code = xrf_hal::XrfEngine::instance()->getTubeCurrentSet(&currentSet);
        if (code || !(currentSet > 0)) {
            qWarning() << "Failed to read the tube current set point, using the exposure's:" << code
                       << currentSet;
            currentSet = fpgaSetupExposureSettings.tubeCurrentUa();
        }
        fpgaSetupExposureSettings.setTubeCurrentUa(
            float(currentSet * kCeilingCurrentMargin * maxIcr / icr));
        const XrfFilterProperties &filter = fpgaSetupExposureSettings.filter();
        qDebug().noquote() << "Restarting FPGA Gain setup exposure with new current: "
                           << fpgaSetupExposureSettings.tubeVoltageKv() << "kV"
                           << fpgaSetupExposureSettings.tubeCurrentUa() << "uA"
                           << QStringLiteral("%1-%2-%3")
                                  .arg(filter.materialAtomicNumber())
                                  .arg(filter.thicknessInMicrons())
                                  .arg(filter.diameterInMicrons());
        startFpgaSetupExposure();
        return false;
    }

    const double ocr = fpgaSetupSpectrum.outputCountRate();
    const double ratio = ocr > 0 ? icr / ocr : std::numeric_limits<double>::infinity();
    const double maxRatio = params.value(QStringLiteral("icrToOcrRatioMax")).toInt(-1);
    if (ratio > maxRatio) {
        finishFpgaSetup(false,
                        QStringLiteral("FPGA gain setup failed\nICR/OCR = %1 is greater "
                                       "than maximum allowed %2")
                            .arg(ratio)
                            .arg(maxRatio));
        return false;
    }
    qDebug().noquote() << QStringLiteral("gain setup ICR/OCR %1 satisfies maximum %2 requirement")
                              .arg(ratio)
                              .arg(maxRatio);
    return true;
}

// Peak 1 is the highest channel of the spectrum; peak 2 is searched where the energy ratio of the
// two lines puts it.
bool Worker::findFpgaSetupPeaks(FpgaGainPeaks *peaks)
{
    const QJsonObject params = hardwareSetupCurrentStep.setupParams();
    peaks->tolerance = param(params, "evPerBin_tolerance", -1);
    if (peaks->target == 0 || peaks->tolerance <= 0)
        qWarning() << "Gain setup params look bad: targetBinSize:" << peaks->target
                   << ", binSizeTolerance" << peaks->tolerance;

    const QJsonArray energies = factorySetupInfo.value(QStringLiteral("peakEnergies")).toArray();
    if (energies.size() >= 2) {
        peaks->e1 = energies.at(0).toDouble();
        peaks->e2 = energies.at(1).toDouble();
    } else {
        qWarning() << "Could not load energies from peakEnergies key in setup data!";
    }
    const QVector<quint32> &data = fpgaSetupSpectrum.data();
    const int n = data.size();
    qDebug() << "FPGA gain spectrum size" << n;

    const int max1 = maxChannel(data, 0, n);
    if (max1 < 0 || !fpgaSetupSpectrum.findPeak(max1, kPeakHalfWindow, &peaks->p1, nullptr)) {
        finishFpgaSetup(false,
                        QStringLiteral("FPGA gain setup failed\nNo peak found in the gain setup "
                                       "spectrum of %1 channels")
                            .arg(n),
                        true);
        return false;
    }
    peaks->peak1Max = int(data.at(max1));
    qDebug() << "finding peak1 using maxLoc" << max1 << ", maxValue" << peaks->peak1Max;
    qDebug() << "peak1:" << peaks->p1;
    fpgaSetupCurrentIteration.insert(QStringLiteral("peak1"), peaks->p1);
    if (peaks->p1 > kMaxPeak1Fraction * n) {
        finishFpgaSetup(false,
                        QStringLiteral("FPGA gain setup failed\nFe peak @ch%1 implies Mo peak "
                                       "close to falling/has fallen out of spectrum")
                            .arg(peaks->p1),
                        true);
        return false;
    }

    const double estimate = peaks->e2 / (peaks->e1 / peaks->p1);
    const int window = int(kPeak2MinDistanceFraction * n);
    qDebug() << "Estimated Peak 2 is at" << estimate;
    if (estimate - peaks->p1 < window) {
        finishFpgaSetup(false,
                        QStringLiteral("FPGA gain setup failed\nFe peak @ch%1 resulted in est. Mo "
                                       "peak @ch%2 not even 5 percent of the spectrum size above "
                                       "Fe peak")
                            .arg(peaks->p1)
                            .arg(estimate),
                        true);
        return false;
    }
    const int start = int(estimate) - window;
    qDebug() << "Searching upwards for peak 2 from bin" << start;
    const int max2 = maxChannel(data, start, start + 2 * window);
    peaks->p2 = -1;
    if (max2 >= 0) {
        peaks->peak2Max = int(data.at(max2));
        qDebug() << "Finding peak 2 using maxLoc" << max2 << ", maxValue" << peaks->peak2Max;
        if (!fpgaSetupSpectrum.findPeak(max2, kPeakHalfWindow, &peaks->p2, nullptr))
            peaks->p2 = -1;
    }
    qDebug() << "peak2:" << peaks->p2;
    fpgaSetupCurrentIteration.insert(QStringLiteral("peak2"), peaks->p2);
    if (peaks->p2 <= peaks->p1 || peaks->p2 >= n) {
        finishFpgaSetup(false,
                        QStringLiteral("FPGA gain setup failed--peak 2 value unreasonable\n"
                                       "peak1@ch%1, peak2@ch%2")
                            .arg(peaks->p1)
                            .arg(peaks->p2),
                        true);
        return false;
    }

    peaks->binSize = (peaks->e2 - peaks->e1) / (peaks->p2 - peaks->p1);
    peaks->offset = peaks->e1 - peaks->binSize * peaks->p1;
    qDebug() << "BinSize: " << peaks->binSize << "eV/bin, Offset: " << peaks->offset << "eV";
    fpgaSetupCurrentIteration.insert(QStringLiteral("oldBinSize"), peaks->binSize);
    fpgaSetupCurrentIteration.insert(QStringLiteral("oldOffset"), peaks->offset);
    peaks->deviation = std::abs(peaks->binSize - peaks->target);
    return true;
}

// The gain now in the FPGA, normalised to 1 us, and the one correction of the first exposure.
bool Worker::updateFpgaGain(FpgaGainPeaks *peaks, bool *corrected)
{
    xrf_hal::XrfEngine *engine = xrf_hal::XrfEngine::instance();
    unsigned short ticks = 0;
    const int ticksCode = isPinDetector() ? engine->getFpgaPeakingTime(&ticks)
                                          : engine->getFpgaBeforePulseDelay(&ticks);
    if (ticksCode || ticks == 0) {
        // A zero peaking time would make the register gain infinite.
        finishFpgaSetup(false, QStringLiteral("Failed to read before Pulse Delay from FPGA"), true);
        return false;
    }
    quint32 registerGain = 0;
    if (engine->getFpgaGain(&registerGain)) {
        qWarning() << "Failed to read gain from FPGA, getting value from universalSettings.json";
        QJsonObject stored;
        XrfSettingsManager::instance()->getUniversalSetting(kFpgaSetting, &stored);
        peaks->oldGain = quint32(qBound(0.0, stored.value(QStringLiteral("gain")).toDouble(),
                                        double(std::numeric_limits<quint32>::max())));
    } else {
        peaks->oldGain = quint32(quint64(registerGain) * ticks / kTicksPerUs);
    }
    if (peaks->oldGain == 0)
        qWarning() << "oldGain1us is zero! maybe there's an error in the setup data?";

    *corrected =
        fpgaSetupIteration == 0 && peaks->deviation > peaks->tolerance && peaks->target > 0;
    peaks->newGain = peaks->oldGain;
    if (*corrected) {
        qDebug() << "to compute new Gain (normalized to 1us peaking time),\r\nold Gain (norm to "
                    "1us) is "
                 << peaks->oldGain;
        peaks->newGain = quint32(qBound(0.0, peaks->oldGain * peaks->binSize / peaks->target,
                                        double(std::numeric_limits<quint32>::max())));
    }
    qDebug() << "old gain = " << peaks->oldGain << "\tnew gain = " << peaks->newGain;
    fpgaSetupCurrentIteration.insert(QStringLiteral("newGain"), double(peaks->newGain));
    fpgaSetupCurrentIteration.insert(QStringLiteral("oldGain"), double(peaks->oldGain));
    fpgaSetupIterations.append(fpgaSetupCurrentIteration);
    storeFpgaSetupResults();
    if (!*corrected)
        return true;

    const auto gain = quint32(quint64(peaks->newGain) * kTicksPerUs / ticks);
    qDebug() << "FPGA: newGain " << gain << "for " << ticks / double(kTicksPerUs)
             << "us peaking time (not corrected to 1us)";
    qDebug() << "new Gain LSB:" << (gain & 0xFFFF) << "new Gain MSB:" << (gain >> 16);
    if (const int code = engine->setFpgaGain(gain)) {
        finishFpgaSetup(
            false,
            QStringLiteral("FPGA gain setup failed.\nFailed to set FPGA gain, %1").arg(code));
        return false;
    }
    float afeTemperature = 0;
    if (engine->getAnalogFrontEndTemperature(&afeTemperature)) {
        finishFpgaSetup(false,
                        QStringLiteral("FPGA gain setup failed. Failed to read AFE "
                                       "temperature from K60"));
        return false;
    }
    // The temperature belongs to the iteration that changed the gain, already in the results.
    fpgaSetupCurrentIteration.insert(QStringLiteral("afeTemperature"), afeTemperature);
    fpgaSetupIterations.replace(fpgaSetupIterations.size() - 1, fpgaSetupCurrentIteration);
    storeFpgaSetupResults();
    if (const int code = engine->saveToNv()) {
        finishFpgaSetup(false,
                        QStringLiteral("FPGA gain setup failed. \nFailed to save new FPGA "
                                       "gain to NV, err=%1")
                            .arg(code));
        return false;
    }
    return true;
}

void Worker::finishFpgaSetupEvaluation(const FpgaGainPeaks &peaks)
{
    const QJsonObject params = hardwareSetupCurrentStep.setupParams();
    setCurrentTaskProgress(-1);
    const double feMoMax = param(params, "ss316FeMoRatioMax", -1);
    const QString feMoText = peaks.peak2Max > 0 ? QString::number(peaks.peak1Max / peaks.peak2Max)
                                                : QStringLiteral("inf");
    if (peaks.peak2Max <= 0 || peaks.peak1Max / peaks.peak2Max > feMoMax) {
        finishFpgaSetup(false,
                        QStringLiteral("FPGA gain setup failed.\nFe/Mo = %1 greater than "
                                       "maximum expected %2")
                            .arg(feMoText)
                            .arg(feMoMax));
        return;
    }
    qDebug().noquote() << QStringLiteral("ss316 Fe/Mo = %1 passes, is less than maximum %2 "
                                         "requirement")
                              .arg(feMoText)
                              .arg(feMoMax);
    if (peaks.deviation > peaks.tolerance) {
        finishFpgaSetup(false,
                        QStringLiteral("FPGA gain setup failed.\nFinal bin size error "
                                       "%1eV/bin is greater than the %2eV/bin threshold "
                                       "after %3 iterations")
                            .arg(peaks.deviation)
                            .arg(peaks.tolerance)
                            .arg(kGainSetupIterations));
        return;
    }
    const double offsetTolerance = param(params, "offsetTolerance", -1);
    if (std::abs(peaks.offset / 1000) > offsetTolerance) {
        finishFpgaSetup(false,
                        QStringLiteral("FPGA gain setup failed.\nEOffset magnitude %1eV "
                                       "greater than maximum allowed %2eV after %3 "
                                       "iterations")
                            .arg(peaks.offset / 1000)
                            .arg(offsetTolerance)
                            .arg(kGainSetupIterations));
        return;
    }

    QString error;
    if (!storeFpgaCalibration(peaks, &error)) {
        finishFpgaSetup(false, error);
        return;
    }
    const QString offsetText = QString::number(peaks.offset / 1000, 'g', 2);
    setCurrentTaskStatus(currentTaskStatus + QLatin1Char('\n')
                         + tr("\nGain: %1, Offset=%2").arg(peaks.oldGain).arg(offsetText));
    const QString message =
        QStringLiteral("Succeeded: old gain %1, new gain %2, slope %3, offset %4")
            .arg(peaks.oldGain)
            .arg(peaks.newGain)
            .arg(peaks.binSize / 1000)
            .arg(offsetText);
    qInfo().noquote() << message;

    setCurrentTaskStatus(tr("Enabling autocal..."));
    if (!enableFpgaAutoCal(&error)) {
        qWarning().noquote() << "Failed to enable AutoCal" << error;
        finishFpgaSetup(false, error);
        return;
    }
    qDebug() << "FPGA auto-cal calibrated and enabled.";
    qDebug() << "Finished configuring FPGA";
    QCoreApplication::processEvents();
    setCurrentTaskProgress(100);
    finishFpgaSetup(true, message);
}

// The energy scale in "hardware.fpga" and the resolution for the calibration check.
bool Worker::storeFpgaCalibration(const FpgaGainPeaks &peaks, QString *error)
{
    QJsonObject fpga = fpgaSetupCurrentIteration;
    for (const char *key : {"spectrum", "index", "oldBinSize", "oldOffset", "oldGain", "newGain"})
        fpga.remove(QLatin1String(key));
    fpga.insert(QStringLiteral("offset"), peaks.offset / 1000);
    fpga.insert(QStringLiteral("slope"), peaks.binSize / 1000);
    fpga.insert(QStringLiteral("gain"), double(peaks.oldGain));
    qDebug() << "saving fpga params to universal settings";
    XrfSettingsManager *settings = XrfSettingsManager::instance();
    if (const int code = settings->setUniversalSetting(kFpgaSetting, &fpga)) {
        *error = QStringLiteral("FPGA gain setup failed.\nFailed to save '%1' to universal "
                                "settings, %2")
                     .arg(kFpgaSetting)
                     .arg(code);
        return false;
    }

    double ch1 = peaks.p1;
    double ch2 = peaks.p2;
    const double resolution = fpgaSetupSpectrum.calculateResolution(peaks.e1, peaks.e2, &ch1, &ch2);
    qInfo() << "FPGA gain setup resolution" << resolution << "eV";
    QJsonObject calculation;
    const QString calCheckSection = QStringLiteral("hardware.calCheck.calculation");
    int code = readCalCheckSection(calCheckSection, &calculation);
    if (!code) {
        calculation.insert(QStringLiteral("resolution"), resolution);
        code = writeCalCheckSection(calCheckSection, calculation);
    }
    if (code) {
        *error = QStringLiteral("FPGA gain setup failed.\nFailed to save the resolution to '%1', "
                                "%2")
                     .arg(calCheckSection)
                     .arg(code);
        return false;
    }
    return true;
}
