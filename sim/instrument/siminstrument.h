#pragma once

#include "simleakage.h"

#include <QObject>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>

class SimHardwareManager;
class SimEngine;
class SimFaults;
class SimRtc;
class SimState;
class XrfHardwareConfig;
struct SimBatteryReading;
struct SimModelPreset;

// A simulated instrument of one model family: its hardware manager and register engine over one
// instrument state, its faults and the sample at its window. install() puts both behind the
// platform's service slots. The controller's NV and EEPROM persist below
// XrfUtils::simStatePath(), so a new SimInstrument on the same root finds them again.
class SimInstrument
{
public:
    // Model families of the work order: "default", "LT", "MP", "HD", "Harrier".
    static QStringList models();

    explicit SimInstrument(const QString &model = QStringLiteral("default"));
    // An instrument built to a preset of its own (a unit of a production batch).
    explicit SimInstrument(const SimModelPreset &preset);
    ~SimInstrument();

    QString model() const;
    const SimModelPreset &preset() const;
    void install();

    SimHardwareManager *hardwareManager() const;
    SimEngine *engine() const;
    SimFaults &faults() const;
    // For tools and tests that need what the engine does not expose; take its lock().
    SimState &state() const;

    // The sample at the measurement window: a catalogue name ("SS316", "air", "Cu", "BrCu",
    // "SiO2", "Al", calibration standards), mass fractions "Fe:0.7,Cr:0.3@7.9" or a formula.
    bool loadSample(const QString &name);
    QString sampleName() const;
    static QStringList sampleNames();
    static void defineStandard(const QString &name,
                               const QVector<QPair<int, double>> &massFractions, double density);

    // Seeds every random process (counting noise, sensor noise, wheel landing).
    void setSeed(unsigned int seed);
    unsigned int serialNumber() const;
    // Camera hardware: 0 none, 1 aiming (USB), 2 sample (MIPI), 3 both.
    int installedCamera() const;
    // The hardware address of the digital board's "eth0".
    QString ethernetMac() const;
    // Swaps hardware (another tube or detector serial, a wheel assembly, cameras, the board's
    // MAC) as a technician would; the hardware manager reports the new configuration.
    void amendHardware(const std::function<void(SimModelPreset &)> &change);
    // The K60 firmware log: one line per notable controller event.
    QStringList firmwareLog() const;
    // Power manager and processor readings, for the hardware manager's battery and SoC queries.
    SimBatteryReading batteryStatus() const;
    double socTemperature() const;

    // The real-time clock. install() writes its program below XrfUtils::simStatePath() and
    // points XrfUtils::hwClockProgram() at it.
    SimRtc &rtc() const;

    // The test stand and the safety interlock the instrument sits in.
    void setTestStand(bool present, bool lidClosed);
    void setInterlockClosed(bool closed);

    // The survey meter's position beside the instrument: the stray radiation there now, and the
    // meter's max-hold, armed before a radiation survey and read after it.
    SimStrayField strayRadiation() const;
    void armSurveyMeterHold();
    SimStrayField surveyMeterHold() const;

    // The instrument installed last, for the line's tools that stand beside it (the survey
    // meter); null when none is.
    static SimInstrument *installed();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
