#pragma once

// Shared by the files of SimEngine: the opening of every operation and the typed helpers.
#include "simengine.h"
#include "simfaults.h"
#include "simstate.h"

#include <cstring>
#include <type_traits>

// Opens an engine operation: an injected fault code wins; otherwise the state is locked for the
// rest of the operation.
#define SIM_ENGINE_OPERATION() \
    if (const int injectedCode = m_state.faults().takeOperationCode(__func__)) \
        return injectedCode; \
    const auto stateLock = m_state.lock()

#define SIM_REQUIRE(pointer) \
    if (!(pointer)) \
    return xrf_hal::EngineInvalidArgument

template<typename T>
int SimEngine::readTo(quint16 address, T *out)
{
    SIM_REQUIRE(out);
    const quint32 raw = m_state.readRegister(address);
    if constexpr (std::is_signed_v<T>) {
        const SimRegisterInfo info = SimRegisterFile::info(address);
        const int width = info.width >= 32 ? 32 : info.width;
        const quint32 signBit = 1u << (width - 1);
        const quint32 masked = width >= 32 ? raw : raw & ((1u << width) - 1u);
        *out = T(qint32(masked ^ signBit) - qint32(signBit));
    } else {
        *out = T(raw);
    }
    return xrf_hal::EngineOk;
}

template<typename T>
int SimEngine::measured(const char *getter, T *out, double value)
{
    SIM_REQUIRE(out);
    if (const std::optional<QVector<double>> forced = m_state.faults().sensorOverride(getter))
        value = forced->value(0);
    if constexpr (std::is_floating_point_v<T>)
        *out = T(value);
    else
        *out = T(std::llround(value));
    return xrf_hal::EngineOk;
}
