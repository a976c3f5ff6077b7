// SimEngine: filter wheel and MCA acquisition.
#include "simengine_p.h"

using namespace xrf_hal;

int SimEngine::isFilterWheelMotorPresent(unsigned char *present)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, present, m_state.wheel().assembly().motorized ? 1 : 0);
}

int SimEngine::getFilterEncoderMax(unsigned short *encoder)
{
    SIM_ENGINE_OPERATION();
    if (!m_state.wheel().assembly().motorized)
        return EngineNotPresent;
    return measured(__func__, encoder, m_state.wheel().assembly().encoderMax);
}

int SimEngine::getFilterEncoderMin(unsigned short *encoder)
{
    SIM_ENGINE_OPERATION();
    if (!m_state.wheel().assembly().motorized)
        return EngineNotPresent;
    return measured(__func__, encoder, m_state.wheel().assembly().encoderMin);
}

int SimEngine::getMaxFilterPosition(unsigned char *position)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, position, m_state.maxFilterPosition());
}

int SimEngine::setFilterMoveTolerance(unsigned short ticks)
{
    SIM_ENGINE_OPERATION();
    return write(RegFilterMoveTolerance, ticks);
}

int SimEngine::getFilterMoveTolerance(unsigned short *ticks)
{
    SIM_ENGINE_OPERATION();
    return readTo(RegFilterMoveTolerance, ticks);
}

int SimEngine::setFilterScanTolerance(unsigned short ticks)
{
    SIM_ENGINE_OPERATION();
    return write(RegFilterScanTolerance, ticks);
}

int SimEngine::getFilterTolerance(unsigned short *ticks)
{
    SIM_ENGINE_OPERATION();
    return readTo(RegFilterScanTolerance, ticks);
}

int SimEngine::moveFilterWheel(unsigned short encoder)
{
    SIM_ENGINE_OPERATION();
    const unsigned short tolerance =
        (unsigned short)m_state.registers().raw(RegFilterScanTolerance);
    const int result =
        m_state.wheel().moveTo(encoder, tolerance, m_state.nowMs(), m_state.random());
    if (result == EngineOk)
        m_state.registers().setRaw(RegFilterEncoderSetPoint, encoder);
    return result;
}

int SimEngine::moveFilterWheelPos(unsigned char position)
{
    SIM_ENGINE_OPERATION();
    const QVector<FilterParams> table = m_state.filterTable();
    if (position >= table.size())
        return EngineOutOfRange;
    const unsigned short encoder = table.at(position).encoder;
    const unsigned short tolerance =
        (unsigned short)m_state.registers().raw(RegFilterMoveTolerance);
    const int result =
        m_state.wheel().moveTo(encoder, tolerance, m_state.nowMs(), m_state.random());
    if (result == EngineOk)
        m_state.registers().setRaw(RegFilterEncoderSetPoint, encoder);
    return result;
}

int SimEngine::getFilterMoveStatus(unsigned char *status)
{
    SIM_ENGINE_OPERATION();
    return readTo(RegFilterMoveStatus, status);
}

int SimEngine::getFilterPositionMonitored(unsigned short *position)
{
    SIM_ENGINE_OPERATION();
    return readTo(RegFilterPositionMonitored, position);
}

int SimEngine::getFilterEncoderSetPoint(unsigned short *encoder)
{
    SIM_ENGINE_OPERATION();
    return readTo(RegFilterEncoderSetPoint, encoder);
}

int SimEngine::getFilterEncoderMonitored(unsigned short *encoder)
{
    SIM_ENGINE_OPERATION();
    return readTo(RegFilterEncoderMonitored, encoder);
}

int SimEngine::getFilterData(FilterParams *params, unsigned char count)
{
    SIM_ENGINE_OPERATION();
    SIM_REQUIRE(params);
    const QVector<FilterParams> table = m_state.filterTable();
    if (count > table.size())
        return EngineOutOfRange;
    for (int p = 0; p < count; ++p)
        params[p] = table.at(p);
    return EngineOk;
}

int SimEngine::setFilterData(const FilterParams *params, unsigned char count)
{
    SIM_ENGINE_OPERATION();
    SIM_REQUIRE(params);
    if (count > m_state.maxFilterPosition() + 1)
        return EngineOutOfRange;
    m_state.log(QStringLiteral("Filter table written, %1 positions").arg(count));
    return m_state.setFilterTable(params, count);
}

int SimEngine::getFilterType(unsigned short *type)
{
    SIM_ENGINE_OPERATION();
    return readTo(RegFilterType, type);
}

int SimEngine::setFilterType(unsigned short type)
{
    SIM_ENGINE_OPERATION();
    return write(RegFilterType, type);
}

int SimEngine::getFilterMoveTime(unsigned int *ms)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, ms, m_state.wheel().lastMoveTimeMs());
}

int SimEngine::getFilterHomeTime(unsigned int *ms)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, ms, SimFilterWheel::kHomeTimeMs);
}

int SimEngine::getFilterOsc(unsigned short *oscillations)
{
    SIM_ENGINE_OPERATION();
    return measured(__func__, oscillations, m_state.wheel().oscillations());
}

int SimEngine::startMCA()
{
    SIM_ENGINE_OPERATION();
    m_state.startMca();
    return EngineOk;
}

int SimEngine::stopMCA()
{
    SIM_ENGINE_OPERATION();
    m_state.stopMca();
    return EngineOk;
}

int SimEngine::getAcquisitionStats(AcquisitionStats *stats)
{
    SIM_ENGINE_OPERATION();
    SIM_REQUIRE(stats);
    *stats = m_state.acquisitionStats();
    return EngineOk;
}
