// The instrument state's live side: values that the controller measures when they are read.
#include "simstate.h"

#include "simfaults.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace xrf_hal;

namespace {
constexpr double kDarkRateCps = 0.3;
constexpr double kResetSettleMs = 25.0;
constexpr double kResetHeightNoise = 1.5;
constexpr double kReadyWithinC = 1.0;
constexpr double kImmediateAcquisitionMs = 500.0;
constexpr double kMinAcquisitionMs = 1.0;
constexpr double kAutoCalReferenceEv = 5898.75;
constexpr double kAdcBaseline = 4000;
constexpr double kAdcHistogramSamples = 200000;
constexpr int kAdcBins = 256;
constexpr int kAdcCodesPerBin = 256;

quint32 floatBits(float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}
} // namespace

quint32 SimState::liveRegister(quint16 address)
{
    switch (address) {
    case RegTubeFaultFlags:
        return m_tube.faultFlags();
    case RegTubeVoltageMonitored:
        return floatBits(m_tube.voltageMonitored(m_random.normal(), m_faults.tubeVoltageSagKv()));
    case RegTubeCurrentMonitored:
        return floatBits(m_tube.currentMonitored(m_random.normal()));
    case RegFpgaResetHeight:
        return quint32(std::lround(resetHeight()));
    case RegFilterEncoderMonitored:
        return wheel().encoderMonitored();
    case RegFilterMoveStatus:
        return wheel().moveStatus();
    case RegFilterPositionMonitored:
        return quint32(filterPositionMonitored());
    case RegDetectorStatus:
        return 0x1u | (detectorReady() ? 0x2u : 0u);
    case RegExposureStatusFlags:
        return exposureStatusFlags();
    case RegInterlockFlags:
        return interlockFlags();
    case RegTestStandStatusFlags:
        return testStandStatusFlags();
    case RegEepromSaveStatus:
        return pollEepromSave();
    case RegEepromLoadStatus:
        return pollEepromLoad();
    default:
        return m_registers.raw(address);
    }
}

SimPulseSettings SimState::pulseSettings() const
{
    SimPulseSettings pulse;
    pulse.gain = m_registers.raw(RegFpgaGain);
    pulse.peakingTicks = quint16(
        m_registers.raw(m_preset.detector.isPin ? RegFpgaPeakingTime : RegFpgaBeforePulseDelay));
    return pulse;
}

void SimState::updateDetectorTemperature(double now)
{
    const std::optional<double> failingCooler = m_faults.coolerMaxDeltaC();
    const double maxDelta = failingCooler ? *failingCooler : m_preset.detector.coolerMaxDeltaC;
    const double setPoint = m_registers.toSigned(RegDetectorSetTemperature);
    const double target = std::max(setPoint, m_environment.ambientC - maxDelta);
    const double elapsed = std::max(0.0, now - m_detectorTemperatureAtMs);
    const double approach = 1.0 - std::exp(-elapsed / m_preset.detector.coolingTauMs);
    m_detectorTemperatureC += (target - m_detectorTemperatureC) * approach;
    m_detectorTemperatureAtMs = now;
}

double SimState::detectorTemperature()
{
    updateDetectorTemperature(nowMs());
    return m_detectorTemperatureC + 0.02 * m_random.normal();
}

bool SimState::detectorReady()
{
    updateDetectorTemperature(nowMs());
    const double setPoint = m_registers.toSigned(RegDetectorSetTemperature);
    return std::abs(m_detectorTemperatureC - setPoint) < kReadyWithinC;
}

double SimState::resetHeight()
{
    const double target =
        m_detector.resetHeight(m_registers.raw(RegDetectorDac + DetectorDacResetWidth),
                               m_registers.raw(RegDetectorDac + DetectorDacFetSub));
    const double elapsed = nowMs() - m_resetDacChangedAtMs;
    const double settled =
        target + (m_resetHeightFrom - target) * std::exp(-elapsed / kResetSettleMs);
    return std::clamp(settled + kResetHeightNoise * m_random.normal(), 0.0, 65535.0);
}

int SimState::setDetectorDac(int channel, unsigned short value)
{
    if (channel < DetectorDacBias || channel > DetectorDacResetWidth)
        return EngineInvalidArgument;
    if (value > 4095)
        return EngineOutOfRange;
    m_resetHeightFrom = resetHeight();
    m_resetDacChangedAtMs = nowMs();
    m_registers.setRaw(RegDetectorDac + channel, value);
    return EngineOk;
}

int SimState::calibrateAutoCal()
{
    if (m_registers.raw(RegFpgaAutoCalTime) == 0 || m_registers.raw(RegFpgaAutoCalGain) == 0)
        return EngineNotReady;
    const SimPulseSettings pulse = pulseSettings();
    const SimEnergyScale scale = m_detector.energyScale(pulse);
    const double width =
        m_detector.fwhmEv(kAutoCalReferenceEv, m_detector.peakingUs(pulse), detectorTemperature())
        / scale.slopeEv;
    m_registers.setFloat(RegFpgaAutoCalRefPosition, float(scale.channel(kAutoCalReferenceEv)));
    m_registers.setFloat(RegFpgaAutoCalRefPeakWidth, float(width));
    m_registers.setRaw(RegFpgaAutoCalEnabled, 1);
    log(QStringLiteral("Auto-cal reference at channel %1").arg(scale.channel(kAutoCalReferenceEv)));
    return EngineOk;
}

QVector<quint32> SimState::adcHistogram()
{
    const double span = std::max(resetHeight(), 1.0);
    QVector<quint32> bins(kAdcBins, 0);
    for (int i = 0; i < kAdcBins; ++i) {
        const double low = std::max(double(i * kAdcCodesPerBin), kAdcBaseline);
        const double high = std::min(double((i + 1) * kAdcCodesPerBin), kAdcBaseline + span);
        const double expected = high > low ? kAdcHistogramSamples * (high - low) / span : 0.0;
        bins[i] = m_random(expected + 2.0);
    }
    return bins;
}

int SimState::filterPositionMonitored()
{
    const unsigned short encoder = wheel().encoderMonitored();
    const unsigned short tolerance = (unsigned short)m_registers.raw(RegFilterMoveTolerance);
    const QVector<FilterParams> table = filterTable();
    for (int p = 0; p < table.size(); ++p)
        if (std::abs(int(table.at(p).encoder) - int(encoder)) <= std::max<int>(tolerance, 1))
            return p;
    return 0xff;
}

bool SimState::sampleAtWindow() const
{
    return m_sample.material.name.compare(QLatin1String("air"), Qt::CaseInsensitive) != 0;
}

SimBeamSnapshot SimState::beamSnapshot()
{
    SimBeamSnapshot snapshot;
    snapshot.tube = m_preset.tube;
    snapshot.kv = std::max(0.0, m_tube.voltageSet() - m_faults.tubeVoltageSagKv());
    snapshot.ua = m_tube.currentSet() * m_faults.tubeEmissionFactor()
        * m_faults.tubeOutputSagFactor(m_tubeOnSeconds);
    snapshot.xraysOn = m_tube.isOn();
    snapshot.sample = m_sample.material;
    snapshot.sampleSecond = m_sample.secondMaterial;
    snapshot.sampleGradientUm = m_sample.gradientUm;
    snapshot.spotOffsetUm =
        m_sample.placementOffsetUm + m_faults.focalSpotDriftMicrons(m_tubeOnSeconds);
    // A film on the window shows when only air lies behind it.
    const std::optional<SimMaterial> residue = m_faults.windowResidue();
    if (residue && m_sample.name.compare(QLatin1String("air"), Qt::CaseInsensitive) == 0)
        snapshot.sample = *residue;
    const SimWheelAssembly &assembly = wheel().assembly();
    const double encoder = assembly.motorized ? m_wheel.encoderMonitored() : 0;
    for (int p = 0; p < assembly.holes.size(); ++p) {
        const SimWheelHole &hole = assembly.holes.at(p);
        const double offsetUm = assembly.motorized
            ? (encoder - assembly.trueEncoder(p)) * assembly.micronsPerTick
            : 0.0;
        const double acceptance = apertureAcceptance(hole.diameterUm, offsetUm);
        if (acceptance > 1.0e-7)
            snapshot.paths.append(
                {SimMaterial::element(hole.materialAtomicNumber, hole.thicknessUm), acceptance,
                 offsetUm});
    }
    if (assembly.motorized)
        snapshot.paths.append({SimMaterial::element(0, 0), kWheelRimLeakFraction});
    snapshot.pulse = pulseSettings();
    snapshot.detectorTemperatureC = detectorTemperature();
    snapshot.darkRateCps = kDarkRateCps + m_faults.extraDarkRate();
    return snapshot;
}

void SimState::startMca()
{
    m_mcaRunning = true;
    m_mcaStartMs = nowMs();
}

double SimState::measuredAcquisitionMs(double stoppedAtMs) const
{
    if (SimClock::isImmediate())
        return kImmediateAcquisitionMs;
    return std::max(stoppedAtMs - m_mcaStartMs, kMinAcquisitionMs);
}

void SimState::stopMca()
{
    if (!m_mcaRunning)
        return;
    m_mcaRunning = false;
    const double realMs = measuredAcquisitionMs(nowMs());
    const double seconds = realMs / 1000.0;
    const SimDetectorResponse response = SimBeam::respond(m_detector, beamSnapshot(), false);
    AcquisitionStats stats;
    stats.realTimeUs = quint64(std::llround(realMs * 1000.0));
    stats.inputCounts = m_random(response.icr * seconds);
    const double lostFraction = response.icr > 0 ? 1.0 - response.ocr / response.icr : 0.0;
    stats.outputCounts =
        stats.inputCounts - std::min(stats.inputCounts, m_random(stats.inputCounts * lostFraction));
    stats.liveTimeUs = response.icr > 0 ? quint64(stats.realTimeUs * response.ocr / response.icr)
                                        : stats.realTimeUs;
    stats.acquisitionTime = (unsigned int)std::lround(realMs);
    stats.resetCount = m_random(seconds * (20.0 + response.icr / 200.0));
    stats.topResetCount = stats.resetCount / 10;
    stats.resetTime = quint64(stats.resetCount) * 2000u;
    stats.pileupCount =
        m_random(seconds * response.icr * response.icr * response.deadTimeUs * 0.5e-6);
    stats.widthRejectsCount = m_random(seconds * response.icr * 1.0e-4);
    m_lastStats = stats;
}

// Bit 1: test stand present; bit 7: X-rays on.
unsigned short SimState::exposureStatusFlags() const
{
    return (m_environment.testStandPresent ? 0x0002 : 0x0000) | (m_tube.isOn() ? 0x0080 : 0x0000);
}

unsigned short SimState::interlockFlags() const
{
    return m_environment.interlockClosed ? 0x0000 : 0x0020;
}

unsigned short SimState::testStandStatusFlags() const
{
    unsigned short flags = 0;
    if (m_environment.testStandPresent && m_environment.testStandCommunicationOk)
        flags |= 0x0001;
    if (m_environment.testStandPresent && m_environment.testStandLidClosed)
        flags |= 0x0002;
    return flags;
}
