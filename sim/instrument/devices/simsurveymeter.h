#pragma once

#include "simleakage.h"

// A survey meter of the factory: the blue one, an ionisation chamber whose response is flat in
// energy, or the yellow one, an energy-compensated Geiger-Mueller probe that under-reads the soft
// X-rays of a handheld tube. It shows mR/hr or uR/hr, natural background included.
class SimSurveyMeter
{
public:
    // As the radiation survey record numbers them.
    enum Type { Yellow = 0, Blue = 1 };
    enum Unit { MilliRoentgenPerHour = 0, MicroRoentgenPerHour = 1 };

    static constexpr double kBackgroundMicroRoentgenPerHour = 12.0;

    SimSurveyMeter(Type type, Unit unit) : m_type(type), m_unit(unit) { }

    Type type() const { return m_type; }
    Unit unit() const { return m_unit; }
    // What the display shows in the field, rounded to the display's last digit.
    double read(const SimStrayField &field) const;
    // Shown over true exposure rate for photons of the energy.
    double response(double energyKeV) const;

private:
    Type m_type;
    Unit m_unit;
};
