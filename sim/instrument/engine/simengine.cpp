#include "simengine_p.h"

SimEngine::SimEngine(SimState &state) : m_state(state) { }

int SimEngine::readFloatTo(quint16 address, float *out)
{
    SIM_REQUIRE(out);
    *out = m_state.readFloatRegister(address);
    return xrf_hal::EngineOk;
}

int SimEngine::write(quint16 address, quint32 value)
{
    return m_state.writeRegister(address, value);
}

int SimEngine::writeFloat(quint16 address, float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return m_state.writeRegister(address, bits);
}

int SimEngine::measuredVector(const char *getter, float *x, float *y, float *z,
                              const double values[3])
{
    SIM_REQUIRE(x && y && z);
    QVector<double> reading{values[0], values[1], values[2]};
    if (const std::optional<QVector<double>> forced = m_state.faults().sensorOverride(getter))
        reading = *forced;
    *x = float(reading.value(0));
    *y = float(reading.value(1));
    *z = float(reading.value(2));
    return xrf_hal::EngineOk;
}
