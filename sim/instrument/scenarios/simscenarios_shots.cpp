// Scenarios of the beams setup and the air shots.
#include "simscenarios_p.h"

#include "simfaults.h"
#include "siminstrument.h"
#include "simtechnician.h"

namespace {
// A tube that has lost most of its emission, and one whose current sense reads far too low.
constexpr double kWeakTubeEmission = 0.25;
constexpr double kOverEmittingTube = 25.0;
// Brass dust from the machining bay, a few micrometres on the window.
constexpr double kResidueThicknessUm = 3.0;
constexpr double kBrassDensity = 8.5;
} // namespace

QVector<SimScenario> shotScenarios()
{
    return {
        {QStringLiteral("wrong-beam-sample"),
         QStringLiteral("The technician takes the copper disc for the stainless steel one: the "
                        "stainless steel beam's spectrum has no iron peak where the energy scale "
                        "puts it, and the shot check stops the beam."),
         nullptr, nullptr,
         [](SimTechnician &t) {
             t.sampleMixUps.insert(QStringLiteral("SS316"), QStringLiteral("Cu"));
         }},
        {QStringLiteral("weak-tube"),
         QStringLiteral("The tube's emission has fallen to a quarter of its set current: even at "
                        "full current no beam reaches its target count rate, nor its dimmer "
                        "target (run after the hardware setup: --steps beamsSetup on its root)."),
         [](SimInstrument &i) {
             i.faults().setTubeEmissionFactor(kWeakTubeEmission);
         }},
        {QStringLiteral("over-emitting-tube"),
         QStringLiteral("The tube's current sense reads 25 times too low: the tube over-emits, and "
                        "even at its minimum current a beam stays above its target (run after the "
                        "hardware setup: --steps beamsSetup on its root)."),
         [](SimInstrument &i) {
             i.faults().setTubeEmissionFactor(kOverEmittingTube);
         }},
        {QStringLiteral("beam-interlock"),
         QStringLiteral("The technician lifts the test stand lid two seconds into the first beam's "
                        "shot: the safety interlock opens and ends the exposure."),
         nullptr, nullptr,
         [](SimTechnician &t) {
             t.liftsLidDuringBeamsSetup = true;
         }},
        {QStringLiteral("contaminated-window"),
         QStringLiteral("A film of brass dust lies on the measurement window: with nothing but air "
                        "in front of it the window fluoresces, and the air background rises above "
                        "the safe background rate."),
         [](SimInstrument &i) {
             i.faults().setWindowResidue(
                 SimMaterial::fromFractions(QStringLiteral("brass dust"), {{29, 0.6}, {30, 0.4}},
                                            kBrassDensity, kResidueThicknessUm));
         }},
        {QStringLiteral("air-shot-record-lost"),
         QStringLiteral("After the air shots the technician restores a lastResult.json copied "
                        "before the beams setup: both records are lost, and the library rebuilds "
                        "them from the newest passing air shot file."),
         nullptr, nullptr,
         [](SimTechnician &t) {
             t.restoresOldLastResult = true;
         }},
    };
}
