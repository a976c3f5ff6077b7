// SimEngine: detector DACs, EEPROM shadow values, cooling and bias monitors.
#include "simengine_p.h"

#include <algorithm>

using namespace xrf_hal;

namespace {

double coolingEffortC(SimState &state)
{
    return std::max(0.0, state.environment().ambientC - state.detectorTemperature());
}

double reference(SimState &state, double volts)
{
    return volts * (1.0 + 0.0005 * state.random().normal());
}

} // namespace

int SimEngine::setDetectorDac(DetectorDacChannels channel, unsigned short value)
{
    SIM_ENGINE_OPERATION();
    return m_state.setDetectorDac(channel, value);
}

int SimEngine::getDetectorDac(DetectorDacChannels channel, unsigned short *value)
{
    SIM_ENGINE_OPERATION();
    if (channel < DetectorDacBias || channel > DetectorDacResetWidth)
        return EngineInvalidArgument;
    return readTo(RegDetectorDac + channel, value);
}

int SimEngine::setShutterStatus(ShutterStatus status)
{
    SIM_ENGINE_OPERATION();
    if (status != ShutterClosed && status != ShutterOpen)
        return EngineInvalidArgument;
    return write(RegDetectorShutter, quint32(status));
}

int SimEngine::getShutterStatus(ShutterStatus *status)
{
    SIM_ENGINE_OPERATION();
    SIM_REQUIRE(status);
    *status = m_state.readRegister(RegDetectorShutter) ? ShutterOpen : ShutterClosed;
    return EngineOk;
}

int SimEngine::setEepromResetTimerInit(unsigned short value)
{
    SIM_ENGINE_OPERATION();
    return write(RegEepromResetTimerInit, value);
}

int SimEngine::getEepromResetTimerInit(unsigned short *value)
{
    SIM_ENGINE_OPERATION();
    return readTo(RegEepromResetTimerInit, value);
}

int SimEngine::setEepromResetClocks(unsigned short value)
{
    SIM_ENGINE_OPERATION();
    return write(RegEepromResetClocks, value);
}

int SimEngine::getEepromResetClocks(unsigned short *value)
{
    SIM_ENGINE_OPERATION();
    return readTo(RegEepromResetClocks, value);
}

int SimEngine::setEepromFetSubInit(unsigned short value)
{
    SIM_ENGINE_OPERATION();
    return write(RegEepromFetSubInit, value);
}

int SimEngine::getEepromFetSubInit(unsigned short *value)
{
    SIM_ENGINE_OPERATION();
    return readTo(RegEepromFetSubInit, value);
}

int SimEngine::setDetectorResetHeightTarget(unsigned short height)
{
    SIM_ENGINE_OPERATION();
    return write(RegDetectorResetHeightTarget, height);
}

int SimEngine::setDetectorResetTrackingEnabled(bool enable)
{
    SIM_ENGINE_OPERATION();
    return write(RegDetectorResetTrackingEnabled, enable ? 1 : 0);
}

int SimEngine::setDetectorTemperatureCorrectionEpsilon(float value)
{
    SIM_ENGINE_OPERATION();
    return writeFloat(RegDetectorTempCorrectionEpsilon, value);
}

int SimEngine::getDetectorTemperatureCorrectionEpsilon(float *value)
{
    SIM_ENGINE_OPERATION();
    return readFloatTo(RegDetectorTempCorrectionEpsilon, value);
}

int SimEngine::setDetectorTemperatureCorrectionCoeff1(float value)
{
    SIM_ENGINE_OPERATION();
    return writeFloat(RegDetectorTempCorrectionCoeff1, value);
}

int SimEngine::getDetectorTemperatureCorrectionCoeff1(float *value)
{
    SIM_ENGINE_OPERATION();
    return readFloatTo(RegDetectorTempCorrectionCoeff1, value);
}

int SimEngine::setDetectorTemperatureCorrectionCoeff2(float value)
{
    SIM_ENGINE_OPERATION();
    return writeFloat(RegDetectorTempCorrectionCoeff2, value);
}

int SimEngine::getDetectorTemperatureCorrectionCoeff2(float *value)
{
    SIM_ENGINE_OPERATION();
    return readFloatTo(RegDetectorTempCorrectionCoeff2, value);
}

int SimEngine::setDetectorSetTemperature(signed char celsius)
{
    SIM_ENGINE_OPERATION();
    if (celsius < -50 || celsius > 30)
        return EngineOutOfRange;
    return write(RegDetectorSetTemperature, quint32(qint32(celsius)));
}

int SimEngine::getDetectorSetTemperature(signed char *celsius)
{
    SIM_ENGINE_OPERATION();
    return readTo(RegDetectorSetTemperature, celsius);
}

int SimEngine::getDetectorMonitorTemperature(float *celsius)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, celsius, m_state.detectorTemperature());
}

int SimEngine::getDetectorSddTempSet(float *volts)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, volts,
                    1.5 + 0.01 * m_state.registers().toSigned(RegDetectorSetTemperature));
}

int SimEngine::getDetectorBiasVoltageMonitored(float *volts)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, volts,
                    reference(m_state, m_state.detector().spec().isPin ? 100.0 : -130.0));
}

int SimEngine::getDetectorRing1Voltage(float *volts)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, volts,
                    m_state.detector().spec().isPin ? 0.0 : reference(m_state, -18.0));
}

int SimEngine::getDetectorRingXVoltage(float *volts)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, volts,
                    m_state.detector().spec().isPin ? 0.0 : reference(m_state, -112.0));
}

int SimEngine::getDetectorBackVoltage(float *volts)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, volts,
                    m_state.detector().spec().isPin ? 0.0 : reference(m_state, -55.0));
}

int SimEngine::getDetectorResetDacOffset(short *offset)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, offset, 12);
}

int SimEngine::getPeltierVoltage(unsigned short *millivolts)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, millivolts, 300.0 + 28.0 * coolingEffortC(m_state));
}

int SimEngine::getPeltierCurrent(short *milliamps)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, milliamps, 150.0 + 14.0 * coolingEffortC(m_state));
}

int SimEngine::getDetectorADCPulseRef1VMon(float *volts)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, volts, reference(m_state, 1.25));
}

int SimEngine::getDetectorADCPulseRef2VMon(float *volts)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, volts, reference(m_state, 2.5));
}

int SimEngine::getDetectorADCPulseDiffVMon(float *volts)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, volts, reference(m_state, 1.25));
}

int SimEngine::getDetectorADCVRefBuf(float *volts)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, volts, reference(m_state, 2.048));
}

int SimEngine::getDetectorADCVCom(float *volts)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, volts, reference(m_state, 1.65));
}

int SimEngine::getDetectorADCTecVRef(float *volts)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, volts, reference(m_state, 1.0));
}
