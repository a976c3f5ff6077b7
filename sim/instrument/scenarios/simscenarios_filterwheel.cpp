// Scenarios of the filter wheel scan (with its tube voltage check) and move exercise.
#include "simscenarios_p.h"

#include "simfaults.h"
#include "siminstrument.h"
#include "simpresets.h"

namespace {

// Another assembly that the wheel identification can tell from the fitted one: ASSY-20853 and
// ASSY-20854 differ in F3 against F5, ASSY-20772 by its open F7.
QString otherAssembly(const QString &fitted)
{
    if (fitted == QLatin1String("ASSY-20853"))
        return QStringLiteral("ASSY-20854");
    if (fitted == QLatin1String("ASSY-20772"))
        return QStringLiteral("ASSY-20853");
    return QStringLiteral("ASSY-20772");
}

} // namespace

QVector<SimScenario> filterWheelScenarios()
{
    return {
        {QStringLiteral("wheel-motor-slips"),
         QStringLiteral("The pinion's set screw on the wheel motor shaft is working loose: after "
                        "20 moves across more than half the wheel, every 4th such move slips. The "
                        "scan's short steps pass; the move exercise never makes 100 clean moves in "
                        "a row."),
         [](SimInstrument &i) {
             i.faults().setWheelPinionSlip({20, 4});
         }},
        {QStringLiteral("tube-hv-sags"),
         QStringLiteral("A failing capacitor in the tube's high-voltage multiplier: the high "
                        "voltage sags 4 kV below its set point, and the filter scan finds the "
                        "monitor out of tolerance."),
         [](SimInstrument &i) {
             i.faults().setTubeVoltageSagKv(4.0);
         }},
        {QStringLiteral("wrong-wheel-assembly"),
         QStringLiteral("A filter wheel of another assembly than the work order names was fitted: "
                        "the filter scan's wheel identification refuses it."),
         [](SimInstrument &i) {
             i.amendHardware(
                 [](SimModelPreset &p) { p.wheelPartNumber = otherAssembly(p.wheelPartNumber); });
         }},
        {QStringLiteral("bad-encoder"),
         QStringLiteral(
             "The encoder disc has slipped 55 ticks on the wheel shaft: every hole reads "
             "55 ticks late, so the filter scan's fitted offset is out of tolerance."),
         [](SimInstrument &i) {
             i.amendHardware([](SimModelPreset &p) { p.wheelUnitShiftTicks = 62; });
         }},
    };
}
