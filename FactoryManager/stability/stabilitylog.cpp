// Stability tests: the record of one shot (about a hundred readings of the instrument and the
// analysis of its spectrum), the running statistics, the first-shot checks and the display copy.
#include "xrffactorymanager_p.h"

#include "xrfengine.h"

#include <QDebug>

#include <cmath>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

using Engine = xrf_hal::XrfEngine;

// Spectrum updates reuse the readings for this long (seconds of the shot's real time); the final
// record of a shot always reads afresh.
const double kReadingsRefreshSeconds = 30;
const unsigned short kXraysOnBit = 0x0080;
const double kMonitorSampleBeforeSeconds = 2;
const char *kIcrText = "icr:%1 is less than set threshold:%2";
const char *kBinSizeText =
    "Calculated binsize:%1, is not within set tolerance:%2 of target binsize:%3";

// One engine reading; a failed read gives 0.
template<typename T>
double read(int (Engine::*getter)(T *))
{
    T value{};
    if ((Engine::instance()->*getter)(&value) != 0)
        value = T{};
    return double(value);
}

void insertReadings(QJsonObject *record, const QJsonObject &readings)
{
    for (auto it = readings.begin(); it != readings.end(); ++it)
        record->insert(it.key(), it.value());
}

QJsonObject acquisitionReadings()
{
    xrf_hal::AcquisitionStats stats;
    if (Engine::instance()->getAcquisitionStats(&stats) != 0)
        stats = xrf_hal::AcquisitionStats();
    return {{QStringLiteral("fastCounts"), double(stats.inputCounts)},
            {QStringLiteral("slowCounts"), double(stats.outputCounts)},
            {QStringLiteral("fpgaAcqTime"), double(stats.acquisitionTime)},
            {QStringLiteral("fpgaResetTime"), double(stats.resetTime) / 1000000.0},
            {QStringLiteral("fpgaResetCount"), double(stats.resetCount)},
            {QStringLiteral("fpgaTopResetCount"), double(stats.topResetCount)},
            {QStringLiteral("fpgaPileupCount"), double(stats.pileupCount)},
            {QStringLiteral("fpgaClippedTopCount"), double(stats.clippedTopCount)},
            {QStringLiteral("fpgaClippedBottomCount"), double(stats.clippedBottomCount)},
            {QStringLiteral("fpgaWidthRejectsCount"), double(stats.widthRejectsCount)}};
}

QJsonObject detectorReadings()
{
    return {
        {QStringLiteral("detectorChipSetTemperature"), read(&Engine::getDetectorSetTemperature)},
        {QStringLiteral("detectorChipTemperature"), read(&Engine::getDetectorMonitorTemperature)},
        {QStringLiteral("detectorPreampTemperature"), read(&Engine::getPreampTemperature)},
        {QStringLiteral("preampHotSideTemperature"), read(&Engine::getPreampHotSideTemperature)},
        {QStringLiteral("detectorTECVoltage"), read(&Engine::getPeltierVoltage)},
        {QStringLiteral("detectorTECCurrent"), read(&Engine::getPeltierCurrent)},
        {QStringLiteral("detectorBiasVoltage"), read(&Engine::getDetectorBiasVoltageMonitored)},
        {QStringLiteral("detectorRing1Voltage"), read(&Engine::getDetectorRing1Voltage)},
        {QStringLiteral("detectorBackVoltage"), read(&Engine::getDetectorBackVoltage)},
        {QStringLiteral("detectorRingXVoltage"), read(&Engine::getDetectorRingXVoltage)},
        {QStringLiteral("pulseRef1"), read(&Engine::getDetectorADCPulseRef1VMon)},
        {QStringLiteral("pulseRef2"), read(&Engine::getDetectorADCPulseRef2VMon)},
        {QStringLiteral("pulseDiff"), read(&Engine::getDetectorADCPulseDiffVMon)},
        {QStringLiteral("adcVRefBuf"), read(&Engine::getDetectorADCVRefBuf)},
        {QStringLiteral("sddTempSet"), read(&Engine::getDetectorSddTempSet)},
        {QStringLiteral("detectorAdcVCom"), read(&Engine::getDetectorADCVCom)},
        {QStringLiteral("detectorADCTecVRef"), read(&Engine::getDetectorADCTecVRef)},
        {QStringLiteral("detectorResetDacOffset"), read(&Engine::getDetectorResetDacOffset)},
        {QStringLiteral("fpgaResetHeight"), read(&Engine::getFpgaResetHeight)},
    };
}

QJsonObject fpgaReadings()
{
    return {
        {QStringLiteral("autoCalPosition"), read(&Engine::getAutoCalPosition)},
        {QStringLiteral("autoCalWidth"), read(&Engine::getAutoCalWidth)},
        {QStringLiteral("fpgaAutoCalFpgaDifference"), read(&Engine::getFpgaAutoCalFpgaDifference)},
        {QStringLiteral("fpgaAutoCalFpgaAveragePos"), read(&Engine::getFpgaAutoCalFpgaAveragePos)},
        {QStringLiteral("fpgaAutoCalFpgaAverageNeg"), read(&Engine::getFpgaAutoCalFpgaAverageNeg)},
        {QStringLiteral("fpgaAutoCalFpgaAverage"), read(&Engine::getFpgaAutoCalFpgaAverage)},
        {QStringLiteral("autoCalCalculatedScale"), read(&Engine::getFpgaAutoCalCalculatedScale)},
        {QStringLiteral("debugVar0"), read(&Engine::getDebugRegister0)},
        {QStringLiteral("debugVar1"), read(&Engine::getDebugRegister1)},
        {QStringLiteral("debugVar2"), read(&Engine::getDebugRegister2)},
        {QStringLiteral("debugVar3"), read(&Engine::getDebugRegister3)},
        {QStringLiteral("debugVar4"), read(&Engine::getDebugRegister4)},
        {QStringLiteral("debugVar5"), read(&Engine::getDebugRegister5)},
        {QStringLiteral("debugVar6"), read(&Engine::getDebugRegister6)},
        {QStringLiteral("debugVar7"), read(&Engine::getDebugRegister7)},
    };
}

QJsonObject housekeepingReadings(bool probeUnused)
{
    XrfHardwareManager *hardware = XrfHardwareManager::instance();
    XrfPwrBatteryInfo battery;
    hardware->batteryStatus(&battery);
    return {
        {QStringLiteral("tubeTemperature"), read(&Engine::getTubeTemperature)},
        {QStringLiteral("socTemperature"), hardware->socTemperature()},
        {QStringLiteral("digitalBoardTemperature"), read(&Engine::getDigitalBoardTemperature)},
        {QStringLiteral("afeTemperature"), read(&Engine::getAnalogFrontEndTemperature)},
        {QStringLiteral("probeTemperature"),
         probeUnused ? 0.0 : read(&Engine::getProximityTemperature)},
        {QStringLiteral("barometerPressure"), read(&Engine::getAmbientPressureMillibars)},
        {QStringLiteral("barometerTemperature"), read(&Engine::getBarometerTemperature)},
        {QStringLiteral("filterMoveTime"), read(&Engine::getFilterMoveTime)},
        {QStringLiteral("filterHomeTime"), read(&Engine::getFilterHomeTime)},
        {QStringLiteral("filterOsc"), read(&Engine::getFilterOsc)},
        {QStringLiteral("supercapVoltage"), read(&Engine::getSupercapVoltage)},
        {QStringLiteral("supplyVoltage"), read(&Engine::getSupplyVoltage)},
        {QStringLiteral("batteryStateOfCharge"), double(battery.stateOfCharge)},
        {QStringLiteral("batteryRemainingCapacity"), double(battery.remainingCapacity)},
        {QStringLiteral("proximitySensorDistance"), read(&Engine::getProximitySensorDistance)},
        {QStringLiteral("fanSpeed"), read(&Engine::getFanSpeed)},
    };
}

QJsonArray faultsOf(const QList<XrfErrorInfo> &errors)
{
    QJsonArray faults;
    for (const XrfErrorInfo &error : errors)
        faults.append(error.extendedErrorInfoAsJsonArray());
    return faults;
}

QJsonArray endConditionsOf(const QList<XrfHardwareManager::XrfExposureEndCondition> &conditions)
{
    QJsonArray array;
    for (const auto condition : conditions)
        array.append(int(condition));
    return array;
}

bool sameVoltage(double a, double b)
{
    return std::abs(a - b) <= 1e-12 * std::max(std::abs(a), std::abs(b));
}

} // namespace

QJsonObject Worker::readStabilityReadings()
{
    QJsonObject readings = housekeepingReadings(stabilityProbeTemperatureUnused);
    insertReadings(&readings, detectorReadings());
    insertReadings(&readings, fpgaReadings());
    insertReadings(&readings, acquisitionReadings());
    return readings;
}

// The tube monitors and the battery's voltage and current are read afresh at the start of a
// shot, while the X-rays are on; later records repeat those values.
void Worker::sampleStabilityMonitors(QJsonObject *record)
{
    StabilityMonitors &m = stabilityMonitors;
    if (stabilityCurrentSpectrum.realTime() < kMonitorSampleBeforeSeconds) {
        unsigned short flags = 0;
        if (Engine::instance()->getExposureStatusFlags(&flags) == 0 && (flags & kXraysOnBit)) {
            m.tubeVoltage = read(&Engine::getTubeVoltageMonitored);
            m.tubeCurrent = read(&Engine::getTubeCurrentMonitored);
            m.tubeInputVoltage = read(&Engine::getTubeInputVoltageMonitored);
            m.tubeInputCurrent = read(&Engine::getTubeInputCurrentMonitored);
            XrfPwrBatteryInfo battery;
            if (XrfHardwareManager::instance()->batteryStatus(&battery)) {
                m.batteryVoltage = battery.voltage;
                m.batteryCurrent = battery.current;
            }
        }
    }
    record->insert(QStringLiteral("tubeVoltageMonitor"), m.tubeVoltage);
    record->insert(QStringLiteral("tubeCurrentMonitor"), m.tubeCurrent);
    record->insert(QStringLiteral("tubeInputVoltage"), m.tubeInputVoltage);
    record->insert(QStringLiteral("tubeInputCurrent"), m.tubeInputCurrent);
    record->insert(QStringLiteral("batteryVoltage"), m.batteryVoltage);
    record->insert(QStringLiteral("batteryCurrent"), m.batteryCurrent);
}

void Worker::writeStabilityLog(QJsonObject *record, bool isFinal)
{
    const XrfSpectrum &spectrum = stabilityCurrentSpectrum;
    QJsonObject &r = *record;
    r.insert(QStringLiteral("iteration"), stabilityShotNumber);
    r.insert(QStringLiteral("timeStamp"), XrfUtils::currentUtcIsoTime());
    r.insert(QStringLiteral("faults"), faultsOf(stabilityHardwareErrors));
    r.insert(QStringLiteral("exposureRetries"), stabilityRetryCount);
    r.insert(QStringLiteral("exposureEndConditions"), endConditionsOf(stabilityEndConditions));
    r.insert(QStringLiteral("emptySpectrumRetries"), 0);
    r.insert(QStringLiteral("realTime"), spectrum.realTime());
    r.insert(QStringLiteral("liveTimeFromHardware"), spectrum.liveTimeFromHardware());
    r.insert(QStringLiteral("icr"), spectrum.inputCountRate());
    r.insert(QStringLiteral("ocr"), spectrum.outputCountRate());
    r.insert(QStringLiteral("tubeVoltageSetpoint"), spectrum.tubeVoltageKv());
    r.insert(QStringLiteral("tubeCurrentSetpoint"), spectrum.tubeCurrentUa());
    sampleStabilityMonitors(record);
    for (const char *key :
         {"tubeReadyTime", "filterPosition", "filterEncoderSetPoint", "filterEncoder"})
        r.insert(QLatin1String(key), stabilityExposureStartInfo.value(QLatin1String(key)).toInt());
    if (isFinal || stabilityReadings.isEmpty()
        || spectrum.realTime() - stabilityReadingsRealTime >= kReadingsRefreshSeconds) {
        stabilityReadings = readStabilityReadings();
        stabilityReadingsRealTime = spectrum.realTime();
    }
    insertReadings(record, stabilityReadings);
    r.insert(QStringLiteral("stabilityErrorsCount"), stabilityErrorsCount);

    const XrfExposureSettings &hv = stabilityParams.exposureHv();
    const XrfExposureSettings &lv = stabilityParams.exposureLv();
    const float kv = stabilityCurrentExposure.tubeVoltageKv();
    r.insert(QStringLiteral("exposureType"),
             kv == hv.tubeVoltageKv()       ? QStringLiteral("HV")
                 : kv == lv.tubeVoltageKv() ? QStringLiteral("LV")
                                            : QString());

    double binSize = 0;
    if (stabilityTestType == StabilityPlain) {
        double slope = -1;
        double offset = -1;
        analyseStabilityPeaks(record, &binSize, &slope, &offset);
        if (isFinal)
            updateStabilityStatistics(
                spectrum, r.value(QStringLiteral("spectrumResolution")).toDouble(), slope, offset);
    } else {
        r.insert(QStringLiteral("collimatedCuCounts"),
                 double(spectrum.sumCountsInRegion(
                     stabilityParams.energyCuRegionStart(), stabilityParams.energyCuRegionEnd(),
                     stabilityParams.fpgaOffsetInEv(), stabilityParams.fpgaSlopeInEvPerBin())));
        r.insert(QStringLiteral("collimatedBrCounts"),
                 double(spectrum.sumCountsInRegion(
                     stabilityParams.energyBrRegionStart(), stabilityParams.energyBrRegionEnd(),
                     stabilityParams.fpgaOffsetInEv(), stabilityParams.fpgaSlopeInEvPerBin())));
    }
    if (!isFinal)
        return;

    QString error;
    if (!saveStabilityResult(StabilitySummary, r, &error))
        qWarning().noquote() << QStringLiteral("Failed to save stability summary for shot #%1, "
                                               "error:%2")
                                    .arg(stabilityShotNumber)
                                    .arg(error);
    error.clear();
    if (!saveStabilityResult(StabilitySpectrum, spectrum.toJsonObject(), &error))
        qWarning().noquote() << QStringLiteral("Failed to save stability spectrum for shot #%1, "
                                               "error:%2")
                                    .arg(stabilityShotNumber)
                                    .arg(error);
    if (stabilityTestType == StabilityPlain && stabilityShotNumber == 1)
        runFirstShotChecks(r, binSize);
    *record = stabilityDisplayCopy(r);
}

// Resolution, peak channels and counts of the two reference peaks (eV, from the setup data).
void Worker::analyseStabilityPeaks(QJsonObject *record, double *binSize, double *slope,
                                   double *offset)
{
    const XrfSpectrum &spectrum = stabilityCurrentSpectrum;
    double resolution = -1;
    double ch1 = -1;
    double ch2 = -1;
    quint64 counts1 = 0;
    quint64 counts2 = 0;
    if (stabilityPeakEnergies.size() >= 2 && !spectrum.isEmptySpectrum()) {
        const double e1 = stabilityPeakEnergies.at(0);
        const double e2 = stabilityPeakEnergies.at(1);
        resolution = spectrum.calculateResolution(e1, e2, &ch1, &ch2);
        if (!spectrum.calculateSlopeAndOffset(e1 / 1000, e2 / 1000, slope, offset)) {
            *slope = -1;
            *offset = -1;
        }
        counts1 = spectrum.sumCountsInRegion(stabilityParams.energyPeak1RegionBegin(),
                                             stabilityParams.energyPeak1RegionEnd(), *offset * 1000,
                                             *slope * 1000);
        counts2 = spectrum.sumCountsInRegion(stabilityParams.energyPeak2RegionBegin(),
                                             stabilityParams.energyPeak2RegionEnd(), *offset * 1000,
                                             *slope * 1000);
        *binSize = ch1 < ch2 ? (e2 - e1) / (ch2 - ch1) : 0;
    }
    record->insert(QStringLiteral("spectrumResolution"), resolution);
    record->insert(QStringLiteral("spectrumPeak1Channel"), ch1);
    record->insert(QStringLiteral("spectrumPeak2Channel"), ch2);
    record->insert(QStringLiteral("spectrumPeak1Counts"), double(counts1));
    record->insert(QStringLiteral("spectrumPeak2Counts"), double(counts2));
}

// Only the shots at the HV exposure's voltage count.
void Worker::updateStabilityStatistics(const XrfSpectrum &spectrum, double resolution, double slope,
                                       double offset)
{
    if (!sameVoltage(spectrum.tubeVoltageKv(), stabilityParams.exposureHv().tubeVoltageKv()))
        return;
    XrfStabilityTestMetaInfo &m = stabilityMetaInfo;
    const double icr = spectrum.inputCountRate();
    const int n = ++stabilityShotsAveraged;
    struct Statistic
    {
        double value;
        double (XrfStabilityTestMetaInfo::*average)() const;
        void (XrfStabilityTestMetaInfo::*setAverage)(double);
        double (XrfStabilityTestMetaInfo::*minimum)() const;
        void (XrfStabilityTestMetaInfo::*setMinimum)(double);
        double (XrfStabilityTestMetaInfo::*maximum)() const;
        void (XrfStabilityTestMetaInfo::*setMaximum)(double);
    };
    using M = XrfStabilityTestMetaInfo;
    const Statistic statistics[] = {
        {resolution, &M::averageResolution, &M::setAverageResolution, &M::minResolution,
         &M::setMinResolution, &M::maxResolution, &M::setMaxResolution},
        {slope, &M::averageSlope, &M::setAverageSlope, &M::minSlope, &M::setMinSlope, &M::maxSlope,
         &M::setMaxSlope},
        {offset, &M::averageOffset, &M::setAverageOffset, &M::minOffset, &M::setMinOffset,
         &M::maxOffset, &M::setMaxOffset},
        {icr, &M::averageInputCountRate, &M::setAverageInputCountRate, &M::minInputCountRate,
         &M::setMinInputCountRate, &M::maxInputCountRate, &M::setMaxInputCountRate},
    };
    for (const Statistic &s : statistics) {
        if (n == 1) {
            (m.*s.setAverage)(s.value);
            (m.*s.setMinimum)(s.value);
            (m.*s.setMaximum)(s.value);
            continue;
        }
        (m.*s.setMinimum)(std::min((m.*s.minimum)(), s.value));
        (m.*s.setMaximum)(std::max((m.*s.maximum)(), s.value));
        (m.*s.setAverage)((double(n - 1) / n) * (m.*s.average)() + s.value / n);
    }
    qDebug() << "Average resolution: " << m.averageResolution() << " shots averaged: " << n;
}

// A first shot without counts or on the wrong energy scale ends the run; the shot is still
// assembled and uploaded.
void Worker::runFirstShotChecks(const QJsonObject &record, double binSize)
{
    QString failure;
    const double icr = record.value(QStringLiteral("icr")).toDouble();
    const double target = stabilityParams.targetBinsize();
    const double tolerance = stabilityParams.binsizeTolerance();
    if (icr < stabilityParams.icrMinThreshold())
        failure = QString::fromLatin1(kIcrText).arg(icr).arg(stabilityParams.icrMinThreshold());
    else if (std::abs(std::lround(binSize * 100) - target * 100) > std::lround(tolerance * 100))
        failure = QString::fromLatin1(kBinSizeText)
                      .arg(QString::number(binSize, 'g', 6), QString::number(tolerance, 'g', 6))
                      .arg(qint64(target));
    if (failure.isEmpty())
        return;
    qWarning().noquote() << failure;
    if (stabilityParams.soundEffectsEnabled())
        XrfHardwareManager::instance()->factoryPlayAlertSound();
    stabilityMinRepeats = 0;
    stabilityCheckFailed = true;
    stabilityMetaInfo.setErrorMsg(failure);
    abortStabilityTest();
}

QJsonObject Worker::stabilityDisplayCopy(const QJsonObject &record) const
{
    QJsonObject copy = record;
    for (const char *key : {"realTime",
                            "spectrumResolution",
                            "liveTimeFromHardware",
                            "icr",
                            "ocr",
                            "fpgaResetTime",
                            "spectrumPeak1Channel",
                            "spectrumPeak2Channel",
                            "detectorChipTemperature",
                            "detectorPreampTemperature",
                            "preampHotSideTemperature",
                            "socTemperature",
                            "tubeTemperature",
                            "afeTemperature",
                            "digitalBoardTemperature",
                            "barometerTemperature",
                            "probeTemperature",
                            "detectorTECCurrent",
                            "tubeVoltageSetpoint",
                            "tubeCurrentSetpoint",
                            "tubeVoltageMonitor",
                            "tubeCurrentMonitor",
                            "collimatedCuCounts",
                            "collimatedBrCounts"})
        copy.insert(QLatin1String(key),
                    QString::number(record.value(QLatin1String(key)).toDouble(), 'f', 2));
    for (const char *key :
         {"fpgaResetCount", "fpgaClippedTopCount", "fpgaClippedBottomCount", "fpgaPileupCount"})
        copy.insert(QLatin1String(key),
                    QString::number(qint64(record.value(QLatin1String(key)).toDouble())));
    QJsonArray counts;
    for (const quint32 count : stabilityCurrentSpectrum.data())
        counts.append(double(count));
    copy.insert(QStringLiteral("spectrum"), counts);
    return copy;
}
