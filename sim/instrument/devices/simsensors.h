#pragma once

class SimPoisson;

// The instrument's surroundings and housekeeping sensors: temperatures follow the ambient and the
// tube power, the barometer the room, the accelerometer the bench the instrument lies on.
struct SimEnvironment
{
    double ambientC = 23.5;
    double pressureMillibar = 1013.25;
    double gravity[3] = {0.012, -0.021, -0.998}; // g, instrument frame, lying flat
    bool testStandPresent = true;
    bool testStandLidClosed = true;
    bool testStandCommunicationOk = true;
    bool interlockClosed = true;
    double supplyVolts = 12.1;
    double supercapVolts = 5.35;
    double batteryVolts = 8.12;
    double batteryAmps = -0.85;
    int batteryStateOfCharge = 87;
    int batteryRemainingMah = 4300;
};

// The battery as the power manager reports it.
struct SimBatteryReading
{
    unsigned short voltageMv = 0;
    short currentMa = 0;
    unsigned short stateOfCharge = 0; // percent
    unsigned short remainingMah = 0;
};

// A unit's housekeeping sensors as built: what each reads above the truth.
struct SimSensorOffsets
{
    double digitalBoardC = 0;
    double barometerC = 0;
    double probeC = 0;
    double preampC = 0;
    double pressureMillibar = 0;
};

// Readings with their noise; every function draws from the instrument's generator.
class SimSensors
{
public:
    explicit SimSensors(SimPoisson &random) : m_random(random) { }

    void setOffsets(const SimSensorOffsets &offsets) { m_offsets = offsets; }

    double digitalBoardC(const SimEnvironment &env, double tubeWatts);
    double barometerC(const SimEnvironment &env, double tubeWatts);
    double probeC(const SimEnvironment &env);
    double preampC(const SimEnvironment &env);
    double preampHotSideC(const SimEnvironment &env);
    double analogFrontEndC(const SimEnvironment &env, double tubeWatts);
    double tubeC(const SimEnvironment &env, double tubeWatts);
    double socC(const SimEnvironment &env);
    double pressure(const SimEnvironment &env);
    void accelerometer(const SimEnvironment &env, double out[3]);
    // Raw proximity counts: high with a sample against the window, low with air.
    unsigned short proximity(bool sampleAtWindow);
    unsigned short fanRpm(bool fanPresent, int duty);
    double supplyVolts(const SimEnvironment &env);
    double supercapVolts(const SimEnvironment &env);
    SimBatteryReading battery(const SimEnvironment &env);

private:
    double noisy(double value, double sigma);

    SimPoisson &m_random;
    SimSensorOffsets m_offsets;
};
