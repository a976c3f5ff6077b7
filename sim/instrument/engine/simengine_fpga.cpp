// SimEngine: FPGA pulse processor, auto-cal and gain correction.
#include "simengine_p.h"

#include <cmath>

using namespace xrf_hal;

namespace {

constexpr double kAutoCalReferenceEv = 5898.75;

double referenceChannel(SimState &state)
{
    return state.detector().energyScale(state.pulseSettings()).channel(kAutoCalReferenceEv);
}

double referenceWidth(SimState &state)
{
    const SimPulseSettings pulse = state.pulseSettings();
    const SimDetector &detector = state.detector();
    return detector.fwhmEv(kAutoCalReferenceEv, detector.peakingUs(pulse),
                           state.detectorTemperature())
        / detector.energyScale(pulse).slopeEv;
}

} // namespace

int SimEngine::getFpgaGain(quint32 *gain)
{
    SIM_ENGINE_OPERATION();
    return readTo(RegFpgaGain, gain);
}

int SimEngine::setFpgaGain(quint32 gain)
{
    SIM_ENGINE_OPERATION();
    if (m_state.faults().fpgaGainWritesLost()) {
        m_state.log(QStringLiteral("FPGA gain %1 not latched").arg(gain));
        return EngineOk;
    }
    m_state.log(QStringLiteral("FPGA gain %1").arg(gain));
    return write(RegFpgaGain, gain);
}

int SimEngine::getFpgaPeakingTime(unsigned short *ticks)
{
    SIM_ENGINE_OPERATION();
    return readTo(RegFpgaPeakingTime, ticks);
}

int SimEngine::setFpgaPeakingTime(unsigned short ticks)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaPeakingTime, ticks);
}

int SimEngine::getFpgaBeforePulseDelay(unsigned short *ticks)
{
    SIM_ENGINE_OPERATION();
    return readTo(RegFpgaBeforePulseDelay, ticks);
}

int SimEngine::setFpgaBeforePulseDelay(unsigned short ticks)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaBeforePulseDelay, ticks);
}

int SimEngine::getFpgaAfterPulseDelay(unsigned short *ticks)
{
    SIM_ENGINE_OPERATION();
    return readTo(RegFpgaAfterPulseDelay, ticks);
}

int SimEngine::setFpgaAfterPulseDelay(unsigned short ticks)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaAfterPulseDelay, ticks);
}

int SimEngine::setFpgaSyncDelay(qint16 ticks)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaSyncDelay, quint16(ticks));
}

int SimEngine::setFpgaThreshold(unsigned short threshold)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaThreshold, threshold);
}

int SimEngine::setFpgaMaxFastPulseWidth(unsigned short width)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaMaxFastPulseWidth, width);
}

int SimEngine::setFpgaPulseDelay(unsigned short delay)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaPulseDelay, delay);
}

int SimEngine::getFpgaResetWidth(unsigned short *clocks)
{
    SIM_ENGINE_OPERATION();
    return readTo(RegFpgaResetWidth, clocks);
}

int SimEngine::setFpgaResetWidth(unsigned short clocks)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaResetWidth, clocks);
}

int SimEngine::getFpgaResetHeight(unsigned short *height)
{
    SIM_ENGINE_OPERATION();
    return readTo(RegFpgaResetHeight, height);
}

int SimEngine::setFpgaInputControl(unsigned short control)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaInputControl, control);
}

int SimEngine::setFpgaPulseHeightMin(unsigned short value)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaPulseHeightMin, value);
}

int SimEngine::setFpgaPulseHeightMax(unsigned short value)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaPulseHeightMax, value);
}

int SimEngine::setFpgaResetThreshold(unsigned short value)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaResetThreshold, value);
}

int SimEngine::setFpgaTotalPulseTime(unsigned short value)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaTotalPulseTime, value);
}

int SimEngine::setFpgaGapTime(unsigned short value)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaGapTime, value);
}

int SimEngine::setFpgaAdcMin(unsigned short value)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaAdcMin, value);
}

int SimEngine::setFpgaAdcMax(unsigned short value)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaAdcMax, value);
}

int SimEngine::setFpgaAfterPulseResetThreshold(unsigned short value)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaAfterPulseResetThreshold, value);
}

int SimEngine::setFpgaPileUpResetThreshold(unsigned short value)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaPileUpResetThreshold, value);
}

int SimEngine::setFpgaSlopeCancellation(unsigned char value)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaSlopeCancellation, value);
}

int SimEngine::setFpgaLeakageRampFilter(quint32 value)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaLeakageRampFilter, value);
}

int SimEngine::setFpgaSlopeThreshold(unsigned short value)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaSlopeThreshold, value);
}

int SimEngine::getFpgaDiagnosticTrace(FpgaDiagnosticTraceParam trace, QVector<quint32> *bins)
{
    SIM_ENGINE_OPERATION();
    SIM_REQUIRE(bins);
    if (trace != FpgaTraceAdcHistogram && trace != FpgaTraceRawAdc)
        return EngineInvalidArgument;
    if (trace == FpgaTraceAdcHistogram) {
        *bins = m_state.adcHistogram();
        return EngineOk;
    }
    const double height = m_state.resetHeight();
    bins->resize(256);
    for (int i = 0; i < bins->size(); ++i)
        (*bins)[i] = quint32(4000 + std::fmod(i * 97.0, std::max(height, 1.0)));
    return EngineOk;
}

int SimEngine::setFpgaAutoCalSlopeCancellation(unsigned char value)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaAutoCalSlopeCancellation, value);
}

int SimEngine::setFpgaAutoCalLeakageRampFilter(quint32 value)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaAutoCalLeakageRampFilter, value);
}

int SimEngine::setFpgaAutoCalSlopeThreshold(unsigned short value)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaAutoCalSlopeThreshold, value);
}

int SimEngine::setFpgaAutoCalGain(quint32 value)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaAutoCalGain, value);
}

int SimEngine::setFpgaAutoCalOffset(quint32 value)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaAutoCalOffset, value);
}

int SimEngine::setFpgaAutoCalCountsLimit(quint32 value)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaAutoCalCountsLimit, value);
}

int SimEngine::setFpgaAutoCalTime(quint32 value)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaAutoCalTime, value);
}

int SimEngine::setFpgaAutoCalPosWindow(quint32 value)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaAutoCalPosWindow, value);
}

int SimEngine::setFpgaAutoCalSyncDelay(qint16 value)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaAutoCalSyncDelay, quint16(value));
}

int SimEngine::setFpgaAutoCalTotalPulseTime(unsigned short value)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaAutoCalTotalPulseTime, value);
}

int SimEngine::setFpgaAutoCalGapTime(unsigned short value)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaAutoCalGapTime, value);
}

int SimEngine::setFpgaAutoCalPeakingTime(unsigned short value)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaAutoCalPeakingTime, value);
}

int SimEngine::setFpgaAutoCalEnableAtStartup(bool enable)
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaAutoCalEnableAtStartup, enable ? 1 : 0);
}

int SimEngine::calibrateFpgaAutoCal()
{
    SIM_ENGINE_OPERATION();
    return m_state.calibrateAutoCal();
}

int SimEngine::disableAutoCal()
{
    SIM_ENGINE_OPERATION();
    return write(RegFpgaAutoCalEnabled, 0);
}

int SimEngine::getAutoCalRefPosition(float *channel)
{
    SIM_ENGINE_OPERATION();
    return readFloatTo(RegFpgaAutoCalRefPosition, channel);
}

int SimEngine::getAutoCalRefPeakWidth(float *channels)
{
    SIM_ENGINE_OPERATION();
    return readFloatTo(RegFpgaAutoCalRefPeakWidth, channels);
}

int SimEngine::getAutoCalPosition(float *channel)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, channel,
                    referenceChannel(m_state) + 0.05 * m_state.random().normal());
}

int SimEngine::getAutoCalWidth(float *channels)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, channels, referenceWidth(m_state));
}

int SimEngine::getFpgaAutoCalFpgaDifference(float *value)
{
    SIM_ENGINE_OPERATION();
    const double reference = m_state.readFloatRegister(RegFpgaAutoCalRefPosition);
    return measured(__func__, value,
                    std::isfinite(reference) ? referenceChannel(m_state) - reference : 0.0);
}

int SimEngine::getFpgaAutoCalFpgaAveragePos(float *value)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, value, referenceChannel(m_state) + referenceWidth(m_state) / 2);
}

int SimEngine::getFpgaAutoCalFpgaAverageNeg(float *value)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, value, referenceChannel(m_state) - referenceWidth(m_state) / 2);
}

int SimEngine::getFpgaAutoCalFpgaAverage(float *value)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, value, referenceChannel(m_state));
}

int SimEngine::getFpgaAutoCalCalculatedScale(unsigned int *scale)
{
    SIM_ENGINE_OPERATION();
    return readTo(RegFpgaGain, scale);
}

int SimEngine::setAutoCalGainCorrectionOffset(float value)
{
    SIM_ENGINE_OPERATION();
    return writeFloat(RegAutoCalGainCorrectionOffset, value);
}

int SimEngine::getAutoCalGainCorrectionOffset(float *value)
{
    SIM_ENGINE_OPERATION();
    return readFloatTo(RegAutoCalGainCorrectionOffset, value);
}

int SimEngine::setAutoCalGainCorrectionSlope(float value)
{
    SIM_ENGINE_OPERATION();
    return writeFloat(RegAutoCalGainCorrectionSlope, value);
}

int SimEngine::getAutoCalGainCorrectionSlope(float *value)
{
    SIM_ENGINE_OPERATION();
    return readFloatTo(RegAutoCalGainCorrectionSlope, value);
}

int SimEngine::setAutoCalTemperatureAtCal(float celsius)
{
    SIM_ENGINE_OPERATION();
    return writeFloat(RegAutoCalTemperatureAtCal, celsius);
}

int SimEngine::getAutoCalTemperatureAtCal(float *celsius)
{
    SIM_ENGINE_OPERATION();
    return readFloatTo(RegAutoCalTemperatureAtCal, celsius);
}
