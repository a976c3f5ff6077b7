// SimEngine: housekeeping sensors.
#include "simengine_p.h"

using namespace xrf_hal;

int SimEngine::getAnalogFrontEndTemperature(float *celsius)
{
    SIM_ENGINE_OPERATION();
    return measured(
        __func__, celsius,
        m_state.sensors().analogFrontEndC(m_state.environment(), m_state.tube().powerWatts()));
}

int SimEngine::getDigitalBoardTemperature(float *celsius)
{
    SIM_ENGINE_OPERATION();
    return measured(
        __func__, celsius,
        m_state.sensors().digitalBoardC(m_state.environment(), m_state.tube().powerWatts()));
}

int SimEngine::getBarometerTemperature(float *celsius)
{
    SIM_ENGINE_OPERATION();
    return measured(
        __func__, celsius,
        m_state.sensors().barometerC(m_state.environment(), m_state.tube().powerWatts()));
}

int SimEngine::getProximityTemperature(float *celsius)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, celsius, m_state.sensors().probeC(m_state.environment()));
}

int SimEngine::getPreampTemperature(float *celsius)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, celsius, m_state.sensors().preampC(m_state.environment()));
}

int SimEngine::getPreampHotSideTemperature(float *celsius)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, celsius, m_state.sensors().preampHotSideC(m_state.environment()));
}

int SimEngine::getAmbientPressureMillibars(float *millibar)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, millibar, m_state.sensors().pressure(m_state.environment()));
}

int SimEngine::setAccelerometerNormal(float x, float y, float z)
{
    SIM_ENGINE_OPERATION();
    if (x == 0 && y == 0 && z == 0)
        return EngineInvalidArgument;
    writeFloat(RegAccelerometerNormalX, x);
    writeFloat(RegAccelerometerNormalY, y);
    return writeFloat(RegAccelerometerNormalZ, z);
}

int SimEngine::getAccelerometerVector(float *x, float *y, float *z)
{
    SIM_ENGINE_OPERATION();
    double values[3];
    m_state.sensors().accelerometer(m_state.environment(), values);
    return measuredVector(__func__, x, y, z, values);
}

int SimEngine::setProximitySensorThreshold(unsigned short threshold)
{
    SIM_ENGINE_OPERATION();
    if (!m_state.preset().proximitySensorPresent)
        return EngineNotPresent;
    return write(RegProximityThreshold, threshold);
}

int SimEngine::getProximitySensorDistance(unsigned short *value)
{
    SIM_ENGINE_OPERATION();
    if (!m_state.preset().proximitySensorPresent)
        return EngineNotPresent;
    return measured(__func__, value, m_state.sensors().proximity(m_state.sampleAtWindow()));
}

int SimEngine::setFanSpeed(unsigned char duty)
{
    SIM_ENGINE_OPERATION();
    return write(RegFanSpeedSet, duty);
}

int SimEngine::getFanSpeed(unsigned short *rpm)
{
    SIM_ENGINE_OPERATION();
    const int duty = int(m_state.registers().raw(RegFanSpeedSet));
    return measured(__func__, rpm, m_state.sensors().fanRpm(m_state.preset().fanPresent, duty));
}

int SimEngine::getSupplyVoltage(float *volts)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, volts, m_state.sensors().supplyVolts(m_state.environment()));
}

int SimEngine::getSupercapVoltage(float *volts)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, volts, m_state.sensors().supercapVolts(m_state.environment()));
}

int SimEngine::getDebugRegister0(unsigned short *value)
{
    SIM_ENGINE_OPERATION();
    return readTo(RegDebug0, value);
}

int SimEngine::getDebugRegister1(unsigned short *value)
{
    SIM_ENGINE_OPERATION();
    return readTo(RegDebug0 + 1, value);
}

int SimEngine::getDebugRegister2(unsigned int *value)
{
    SIM_ENGINE_OPERATION();
    return readTo(RegDebug0 + 2, value);
}

int SimEngine::getDebugRegister3(unsigned int *value)
{
    SIM_ENGINE_OPERATION();
    return readTo(RegDebug0 + 3, value);
}

int SimEngine::getDebugRegister4(float *value)
{
    SIM_ENGINE_OPERATION();
    return readFloatTo(RegDebug0 + 4, value);
}

int SimEngine::getDebugRegister5(float *value)
{
    SIM_ENGINE_OPERATION();
    return readFloatTo(RegDebug0 + 5, value);
}

int SimEngine::getDebugRegister6(float *value)
{
    SIM_ENGINE_OPERATION();
    return readFloatTo(RegDebug0 + 6, value);
}

int SimEngine::getDebugRegister7(float *value)
{
    SIM_ENGINE_OPERATION();
    return readFloatTo(RegDebug0 + 7, value);
}
