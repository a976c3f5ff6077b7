// Scenarios of the stability tests: the instrument's part (detector, tube, filter wheel, the
// controller's updates) and the cloud's (its reachability, its verdict, its uploads).
#include "simscenarios_p.h"

#include "simcloudserver.h"
#include "simfaults.h"
#include "siminstrument.h"
#include "xrfengine.h"
#include "xrfnetworkmanager.h"

namespace {
// The hardware setup and camera steps run the tube for well under this; the faults of a hot tube
// appear in the long series of the stability run.
constexpr double kHotTubeSeconds = 150;
constexpr int kStabilityStep = 5;
constexpr int kVerdictFailed = 5;
} // namespace

QVector<SimScenario> stabilityScenarios()
{
    return {
        {QStringLiteral("noisy-detector"),
         QStringLiteral(
             "The detector's guard ring leaks: it counts 40 cps with the tube off, "
             "above the stability run's dark-rate limit (the filter scan still passes)."),
         [](SimInstrument &i) {
             i.faults().setExtraDarkRate(40);
         }},
        {QStringLiteral("detector-ready-stuck"),
         QStringLiteral("The controller's detector-ready flag is stuck clear: the detector cools, "
                        "but the stability run waits for it in vain."),
         [](SimInstrument &i) {
             i.faults().overrideRegister(xrf_hal::RegDetectorStatus, 0x0001);
         }},
        {QStringLiteral("tube-arcs-when-hot"),
         QStringLiteral("Once the tube has run for a few minutes it arcs 5 s into every exposure: "
                        "the stability shots exhaust their retries."),
         [](SimInstrument &i) {
             SimFaults::ExposureFault arc;
             arc.atSeconds = 5;
             arc.raisesError = true;
             arc.endCondition = XrfHardwareManager::EndHardwareError;
             arc.error = XrfErrorInfo(0x31, QStringLiteral("Tube arc detected"),
                                      QStringLiteral("HV supply: arc counter 1, HV tripped"));
             arc.afterTubeOnSeconds = kHotTubeSeconds;
             i.faults().addExposureFault(arc);
         }},
        {QStringLiteral("spectrum-updates-stop"),
         QStringLiteral("Once the tube has run for a few minutes the controller stops sending "
                        "spectrum updates 3 s into an exposure, six times: the inactivity "
                        "watchdog ends those attempts."),
         [](SimInstrument &i) {
             SimFaults::ExposureFault silence;
             silence.atSeconds = 3;
             silence.silences = true;
             silence.afterTubeOnSeconds = kHotTubeSeconds;
             i.faults().addExposureFault(silence, 6);
         }},
        {QStringLiteral("tube-output-drift"),
         QStringLiteral("The tube's emission sags as it heats, by up to 10% over a few minutes: "
                        "the count rate drifts over the stability run and the cloud fails it."),
         [](SimInstrument &i) {
             i.faults().setTubeOutputSag(0.10, 300);
         }},
        {QStringLiteral("filter-wheel-jitter"),
         QStringLiteral("The filter wheel's servo loses stiffness once the instrument is warm: it "
                        "lands three times farther off its set point, which moves the collimated "
                        "spot on the Br/Cu target from shot to shot; frozen, the spread is fine "
                        "and the wheel is to blame."),
         [](SimInstrument &i) {
             i.faults().setFilterWheelLandingJitter(3, kHotTubeSeconds);
         }},
        {QStringLiteral("focal-spot-drift"),
         QStringLiteral("The tube's focal spot wanders as it heats, 120 um a minute at the sample: "
                        "the Br/Cu ratio drifts even with the filter frozen, so the tube is to "
                        "blame."),
         [](SimInstrument &i) {
             i.faults().setFocalSpotDrift(120);
         }},
        {QStringLiteral("cloud-offline-at-upload"),
         QStringLiteral("The factory network drops once the stability step is entered: the run "
                        "completes, its upload is refused for want of a connection and its data "
                        "stays on the instrument."),
         {},
         [](SimCloudServer &c) {
             c.goOfflineWhenStepEntered(kStabilityStep);
         }},
        {QStringLiteral("cloud-verdict-fail"),
         QStringLiteral("The cloud's evaluation fails every stability run whatever its data."),
         {},
         [](SimCloudServer &c) {
             c.setStabilityEvaluation(2, kVerdictFailed);
         }},
        {QStringLiteral("spectra-upload-refused"),
         QStringLiteral("The cloud's file store refuses the stability spectra archive (HTTP 507)."),
         {},
         [](SimCloudServer &c) {
             c.scriptFailure(XrfNetworkManager::UploadStabilitySpectra, 507,
                             QStringLiteral("Insufficient storage for stability spectra"),
                             SimCloudServer::Always);
         }},
    };
}
