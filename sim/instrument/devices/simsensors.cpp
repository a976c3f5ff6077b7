#include "simsensors.h"

#include "simpoisson.h"

#include <algorithm>
#include <cmath>

double SimSensors::noisy(double value, double sigma)
{
    return value + sigma * m_random.normal();
}

double SimSensors::digitalBoardC(const SimEnvironment &env, double tubeWatts)
{
    return noisy(env.ambientC + 9.0 + 0.5 * tubeWatts + m_offsets.digitalBoardC, 0.1);
}

double SimSensors::barometerC(const SimEnvironment &env, double tubeWatts)
{
    return noisy(env.ambientC + 7.2 + 0.4 * tubeWatts + m_offsets.barometerC, 0.1);
}

double SimSensors::probeC(const SimEnvironment &env)
{
    return noisy(env.ambientC + 4.0 + m_offsets.probeC, 0.1);
}

double SimSensors::preampC(const SimEnvironment &env)
{
    return noisy(env.ambientC + 5.1 + m_offsets.preampC, 0.1);
}

double SimSensors::preampHotSideC(const SimEnvironment &env)
{
    return noisy(env.ambientC + 11.0, 0.15);
}

double SimSensors::analogFrontEndC(const SimEnvironment &env, double tubeWatts)
{
    return noisy(env.ambientC + 8.3 + 0.3 * tubeWatts, 0.1);
}

double SimSensors::tubeC(const SimEnvironment &env, double tubeWatts)
{
    return noisy(env.ambientC + 6.0 + 2.0 * tubeWatts, 0.2);
}

double SimSensors::socC(const SimEnvironment &env)
{
    return noisy(env.ambientC + 24.0, 0.3);
}

double SimSensors::pressure(const SimEnvironment &env)
{
    return noisy(env.pressureMillibar + m_offsets.pressureMillibar, 0.3);
}

void SimSensors::accelerometer(const SimEnvironment &env, double out[3])
{
    for (int axis = 0; axis < 3; ++axis)
        out[axis] = noisy(env.gravity[axis], 0.004);
}

unsigned short SimSensors::proximity(bool sampleAtWindow)
{
    const double counts = sampleAtWindow ? noisy(1850, 15) : noisy(42, 4);
    return (unsigned short)std::clamp(counts, 0.0, 65535.0);
}

unsigned short SimSensors::fanRpm(bool fanPresent, int duty)
{
    if (!fanPresent || duty <= 0)
        return 0;
    return (unsigned short)std::clamp(noisy(9000.0 * duty / 255.0, 40), 0.0, 65535.0);
}

double SimSensors::supplyVolts(const SimEnvironment &env)
{
    return noisy(env.supplyVolts, 0.02);
}

double SimSensors::supercapVolts(const SimEnvironment &env)
{
    return noisy(env.supercapVolts, 0.01);
}

SimBatteryReading SimSensors::battery(const SimEnvironment &env)
{
    SimBatteryReading reading;
    reading.voltageMv = (unsigned short)std::lround(noisy(env.batteryVolts, 0.005) * 1000.0);
    reading.currentMa = (short)std::lround(noisy(env.batteryAmps, 0.01) * 1000.0);
    reading.stateOfCharge = (unsigned short)env.batteryStateOfCharge;
    reading.remainingMah = (unsigned short)env.batteryRemainingMah;
    return reading;
}
