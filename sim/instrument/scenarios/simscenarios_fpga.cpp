// Scenarios of FPGA gain setup.
#include "simscenarios_p.h"

#include "simfaults.h"
#include "siminstrument.h"
#include "xrfengine.h"

QVector<SimScenario> fpgaScenarios()
{
    return {
        {QStringLiteral("gain-will-not-converge"),
         QStringLiteral("A broken register line between the K60 and the FPGA: gain writes are "
                        "acknowledged but never latched, so the verification exposure still finds "
                        "the energy scale off target."),
         [](SimInstrument &i) {
             i.faults().setFpgaGainWritesLost(true);
         }},
        {QStringLiteral("count-rate-ceiling"),
         QStringLiteral("A drifted current-sense resistor in the tube supply: the tube emits 3.5 "
                        "times its set current, so the first gain exposure overshoots the "
                        "count-rate ceiling and restarts at a lower current."),
         [](SimInstrument &i) {
             i.faults().setTubeEmissionFactor(3.5);
         }},
        {QStringLiteral("autocal-enable-refused"),
         QStringLiteral("A write-protect jumper left fitted on the controller: the gain is set, "
                        "but the controller refuses to enable auto-cal at start-up with the NV "
                        "write error."),
         [](SimInstrument &i) {
             i.faults().failOperation(QStringLiteral("setFpgaAutoCalEnableAtStartup"),
                                      xrf_hal::EngineNvWriteFailed, SimFaults::kAlways);
         }},
    };
}
