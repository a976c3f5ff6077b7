// SimEngine: tube operations.
#include "simengine_p.h"

using namespace xrf_hal;

namespace {
constexpr double kTubeSupplyEfficiency = 0.7;
}

int SimEngine::enableTube()
{
    SIM_ENGINE_OPERATION();
    if (!m_state.environment().interlockClosed)
        return EngineInterlockOpen;
    const int result = m_state.tube().enable(m_state.nowMs());
    if (result == EngineOk)
        m_state.log(QStringLiteral("Tube on: %1 kV, %2 uA")
                        .arg(m_state.tube().voltageSet())
                        .arg(m_state.tube().currentSet()));
    return result;
}

int SimEngine::disableTube()
{
    SIM_ENGINE_OPERATION();
    m_state.tube().disable();
    return EngineOk;
}

int SimEngine::setTubeVoltage(float kv)
{
    SIM_ENGINE_OPERATION();
    return writeFloat(RegTubeVoltageSet, kv);
}

int SimEngine::setTubeCurrent(float ua)
{
    SIM_ENGINE_OPERATION();
    return writeFloat(RegTubeCurrentSet, ua);
}

int SimEngine::getTubeVoltageSet(float *kv)
{
    SIM_ENGINE_OPERATION();
    return readFloatTo(RegTubeVoltageSet, kv);
}

int SimEngine::getTubeCurrentSet(float *ua)
{
    SIM_ENGINE_OPERATION();
    return readFloatTo(RegTubeCurrentSet, ua);
}

int SimEngine::getTubeVoltageMonitored(float *kv)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, kv, m_state.readFloatRegister(RegTubeVoltageMonitored));
}

int SimEngine::getTubeCurrentMonitored(float *ua)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, ua, m_state.readFloatRegister(RegTubeCurrentMonitored));
}

int SimEngine::getTubeInputVoltageMonitored(float *volts)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, volts, m_state.sensors().supplyVolts(m_state.environment()));
}

int SimEngine::getTubeInputCurrentMonitored(float *amps)
{
    SIM_ENGINE_OPERATION();
    const double watts = m_state.tube().powerWatts() / kTubeSupplyEfficiency;
    return measured(__func__, amps, 0.02 + watts / m_state.environment().supplyVolts);
}

int SimEngine::getTubeMaxVoltageLimit(unsigned char *kv)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, kv, m_state.tube().spec().maxKv);
}

int SimEngine::getTubeMinVoltageLimit(unsigned char *kv)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, kv, m_state.tube().spec().minKv);
}

int SimEngine::getTubeMaxCurrentLimit(unsigned char *ua)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, ua, m_state.tube().spec().maxUa);
}

int SimEngine::getTubeMinCurrentLimit(unsigned char *ua)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, ua, m_state.tube().spec().minUa);
}

int SimEngine::getTubeMaxPower(unsigned char *watts)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, watts, m_state.tube().spec().maxPowerW);
}

int SimEngine::getTubeTemperature(signed char *celsius)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, celsius,
                    m_state.sensors().tubeC(m_state.environment(), m_state.tube().powerWatts()));
}

int SimEngine::getTubeReadyTime(unsigned int *ms)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, ms, m_state.tube().lastReadyTimeMs());
}

int SimEngine::getTubeFirmwareVersion(unsigned char *version)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, version, m_state.tube().spec().firmwareVersion);
}

int SimEngine::getTubeFaultFlags(unsigned short *flags)
{
    SIM_ENGINE_OPERATION();
    return readTo(RegTubeFaultFlags, flags);
}

int SimEngine::clearTubeFaults()
{
    SIM_ENGINE_OPERATION();
    m_state.tube().clearFaults();
    return EngineOk;
}

int SimEngine::clearFaults()
{
    SIM_ENGINE_OPERATION();
    m_state.tube().clearFaults();
    m_state.registers().setRaw(RegInterruptFlags, 0);
    return EngineOk;
}

int SimEngine::clearInterrupts(unsigned short mask)
{
    SIM_ENGINE_OPERATION();
    m_state.registers().setRaw(RegInterruptFlags,
                               m_state.registers().raw(RegInterruptFlags) & ~quint32(mask));
    return EngineOk;
}
