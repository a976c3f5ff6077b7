// Scenarios of the filter wheel scan and move exercise.
#include "simscenarios_p.h"

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
