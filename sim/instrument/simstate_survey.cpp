// The stray radiation beside the instrument, where the survey meter sits.
#include "simstate.h"

#include "simfaults.h"

SimStrayField SimState::strayRadiation()
{
    if (!m_tube.isOn())
        return SimStrayField();
    SimShielding shielding;
    shielding.gapFraction = m_faults.shieldingGap();
    const double emittedUa = double(m_tube.currentSet()) * m_faults.tubeEmissionFactor();
    return ::strayRadiation(m_tube.spec(), m_tube.voltageSet(), emittedUa, shielding);
}

void SimState::armStrayRadiationHold()
{
    m_strayHoldArmed = true;
    m_heldStray = SimStrayField();
}

void SimState::noteStrayRadiation()
{
    if (!m_strayHoldArmed)
        return;
    const SimStrayField now = strayRadiation();
    if (now.microRoentgenPerHour() > m_heldStray.microRoentgenPerHour())
        m_heldStray = now;
}
