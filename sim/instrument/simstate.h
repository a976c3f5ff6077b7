#pragma once

#include <functional>

#include "simbeam.h"
#include "simclock.h"
#include "simdetector.h"
#include "simfilterwheel.h"
#include "simleakage.h"
#include "simnvstore.h"
#include "simpoisson.h"
#include "simpresets.h"
#include "simregisters.h"
#include "simsamples.h"
#include "simsensors.h"
#include "simtube.h"
#include "xrfengine.h"
#include "xrfhardwareconfig.h"

#include <QStringList>

#include <mutex>

class SimFaults;

// The one state of a simulated instrument: controller registers, NV and EEPROM, tube, filter
// wheel, detector, sensors, the sample at the window. One mutex guards all of it: callers take
// lock() and keep it for the whole operation; every other member assumes it is held.
class SimState
{
public:
    SimState(const SimModelPreset &preset, SimFaults &faults);

    std::unique_lock<std::mutex> lock() { return std::unique_lock<std::mutex>(m_mutex); }

    const SimModelPreset &preset() const { return m_preset; }
    // Swaps hardware as a technician would: another tube, detector, wheel or camera. The
    // identities change; the tube's and detector's physics stay those of the model.
    void amendHardware(const std::function<void(SimModelPreset &)> &change);
    SimFaults &faults() { return m_faults; }
    double nowMs() { return m_clock.nowMs(); }
    SimPoisson &random() { return m_random; }
    void seed(unsigned int seed) { m_random.seed(seed); }

    // Controller power-up: RAM from NV over the firmware defaults, tube off, wheel homed.
    void boot();

    // Registers as the raw-access operations see them: live registers computed, overrides of
    // SimFaults applied.
    SimRegisterFile &registers() { return m_registers; }
    quint32 readRegister(quint16 address);
    float readFloatRegister(quint16 address);
    int writeRegister(quint16 address, quint32 value);

    int saveToNv();
    int eraseNvSector(unsigned char sector);
    int commitSerialNumber(unsigned int serial);
    int startEepromSave();
    int startEepromLoad();
    unsigned char pollEepromSave();
    unsigned char pollEepromLoad();

    SimTube &tube() { return m_tube; }
    SimFilterWheel &wheel();
    const SimDetector &detector() const { return m_detector; }
    SimEnvironment &environment() { return m_environment; }
    SimSensors &sensors() { return m_sensors; }
    const SimSample &sample() const { return m_sample; }
    void setSample(const SimSample &sample) { m_sample = sample; }
    bool sampleAtWindow() const;

    QVector<xrf_hal::FilterParams> filterTable() const;
    int setFilterTable(const xrf_hal::FilterParams *params, int count);
    int maxFilterPosition() const;
    int filterPositionMonitored();
    // The table position whose filter matches, or -1.
    int findFilterPosition(int atomicNumber, int thicknessUm, int diameterUm, int hint) const;
    XrfHardwareConfig hardwareConfig() const;

    SimPulseSettings pulseSettings() const;
    double detectorTemperature();
    bool detectorReady();
    double resetHeight();
    int setDetectorDac(int channel, unsigned short value);
    int calibrateAutoCal();
    QVector<quint32> adcHistogram();

    SimBeamSnapshot beamSnapshot();
    void startMca();
    void stopMca();
    xrf_hal::AcquisitionStats acquisitionStats() const { return m_lastStats; }

    unsigned short exposureStatusFlags() const;
    unsigned short interlockFlags() const;
    unsigned short testStandStatusFlags() const;
    bool exposureActive() const { return m_exposureActive; }
    // The tube's total on-time of its exposures, in instrument seconds: how hot it has run.
    double tubeOnSeconds() const { return m_tubeOnSeconds; }
    void addTubeOnSeconds(double seconds) { m_tubeOnSeconds += seconds; }
    void setExposureActive(bool active) { m_exposureActive = active; }

    void log(const QString &line);
    QStringList firmwareLog() const { return m_log; }

    // The survey meter beside the instrument (simstate_survey.cpp): the stray radiation there now
    // (none with the tube off), and the meter's max-hold, which the technician arms before a
    // survey and the exposure runner updates whenever the tube comes on.
    SimStrayField strayRadiation();
    void armStrayRadiationHold();
    void noteStrayRadiation();
    SimStrayField heldStrayRadiation() const { return m_heldStray; }

private:
    void loadDefaults();
    void applyFilterAssemblyDefaults();
    void applyFpgaDefaults();
    double measuredAcquisitionMs(double stoppedAtMs) const;
    void updateDetectorTemperature(double nowMs);
    quint32 liveRegister(quint16 address);

    std::mutex m_mutex;
    SimModelPreset m_preset;
    SimFaults &m_faults;
    SimClock m_clock;
    SimPoisson m_random;
    SimRegisterFile m_registers;
    SimNvStore m_store;
    SimNvStore::Words m_eepromChip;
    SimTube m_tube;
    SimFilterWheel m_wheel;
    SimDetector m_detector;
    SimEnvironment m_environment;
    SimSensors m_sensors;
    SimSample m_sample;

    double m_detectorTemperatureC = 23.5;
    double m_detectorTemperatureAtMs = 0;
    double m_resetHeightFrom = 0;
    double m_resetDacChangedAtMs = 0;
    bool m_mcaRunning = false;
    double m_mcaStartMs = 0;
    xrf_hal::AcquisitionStats m_lastStats;
    int m_eepromSavePolls = -1; // polls left until done; -1 idle
    int m_eepromLoadPolls = -1;
    unsigned char m_eepromSaveStatus = xrf_hal::EepromDone;
    unsigned char m_eepromLoadStatus = xrf_hal::EepromDone;
    bool m_exposureActive = false;
    double m_tubeOnSeconds = 0;
    QStringList m_log;
    bool m_strayHoldArmed = false;
    SimStrayField m_heldStray;
};
