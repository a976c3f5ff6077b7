#include "simscenarios.h"
#include "simscenarios_p.h"

#include "simfaults.h"
#include "siminstrument.h"
#include "simpresets.h"
#include "xrfengine.h"

#include <functional>

QVector<SimScenario> instrumentScenarios()
{
    using HM = XrfHardwareManager;
    return {
        {QStringLiteral("tube-not-ready"),
         QStringLiteral("The tube high voltage never comes up: enableTube answers -14 and "
                        "exposures end with a tube fault."),
         [](SimInstrument &i) {
             i.faults().failOperation(QStringLiteral("enableTube"), xrf_hal::EngineTubeNotReady,
                                      SimFaults::kAlways);
             i.faults().endExposureAfter(0, HM::EndTubeFault);
         }},
        {QStringLiteral("exposure-interlock"),
         QStringLiteral("The safety interlock opens one second into every exposure."),
         [](SimInstrument &i) {
             i.faults().endExposureAfter(1, HM::EndInterlockOpened);
         }},
        {QStringLiteral("hardware-error"),
         QStringLiteral("The tube controller reports an arc two seconds into every exposure, "
                        "which ends it."),
         [](SimInstrument &i) {
             i.faults().raiseHardwareErrorAfter(
                 2,
                 XrfErrorInfo(0x31, QStringLiteral("Tube arc detected"),
                              QStringLiteral("HV supply: arc counter 1, HV tripped")));
         }},
        {QStringLiteral("hot-detector"),
         QStringLiteral("The detector's Peltier cooler fails: the detector settles only 15 C "
                        "below ambient, never ready, with poor resolution."),
         [](SimInstrument &i) {
             i.faults().setCoolerMaxDeltaC(15.0);
         }},
        {QStringLiteral("nv-save-fails"),
         QStringLiteral("Every saveToNv fails with the NV write error."),
         [](SimInstrument &i) {
             i.faults().failOperation(QStringLiteral("saveToNv"), xrf_hal::EngineNvWriteFailed,
                                      SimFaults::kAlways);
         }},
        {QStringLiteral("eeprom-timeout"),
         QStringLiteral("The detector EEPROM never finishes a save or a load: its status "
                        "stays busy."),
         [](SimInstrument &i) {
             i.faults().overrideRegister(xrf_hal::RegEepromSaveStatus, xrf_hal::EepromBusy);
             i.faults().overrideRegister(xrf_hal::RegEepromLoadStatus, xrf_hal::EepromBusy);
         }},
        {QStringLiteral("filter-wheel-jam"),
         QStringLiteral("The filter wheel does not turn: every move ends in status 18."),
         [](SimInstrument &i) {
             i.faults().setFilterWheelJammed(true);
         }},
        {QStringLiteral("high-dark-rate"),
         QStringLiteral("The detector counts 500 cps of noise with the tube off."),
         [](SimInstrument &i) {
             i.faults().setExtraDarkRate(500);
         }},
        {QStringLiteral("wrong-tube-serial"),
         QStringLiteral("A tube from another work order was fitted: its serial number differs "
                        "from the order's."),
         [](SimInstrument &i) {
             i.amendHardware(
                 [](SimModelPreset &p) { p.tube.serialNumber += QStringLiteral("-X"); });
         }},
        {QStringLiteral("wrong-detector-model"),
         QStringLiteral("A detector of another model was fitted."),
         [](SimInstrument &i) {
             i.amendHardware(
                 [](SimModelPreset &p) { p.detector.model = QStringLiteral("XDET-40SDD"); });
         }},
        {QStringLiteral("missing-camera"),
         QStringLiteral("The cameras are not connected: the camera controller finds none."),
         [](SimInstrument &i) {
             i.amendHardware([](SimModelPreset &p) { p.installedCamera = 0; });
         }},
        {QStringLiteral("wheel-on-fixed-filter-order"),
         QStringLiteral("A motorised filter wheel was fitted to an instrument ordered with a fixed "
                        "filter (use with --model LT)."),
         [](SimInstrument &i) {
             i.amendHardware(
                 [](SimModelPreset &p) { p.wheelPartNumber = QStringLiteral("ASSY-20853"); });
         }},
        {QStringLiteral("mp-mac-mismatch"),
         QStringLiteral("The digital board's Ethernet address differs from the work order's (use "
                        "with --model MP)."),
         [](SimInstrument &i) {
             i.amendHardware(
                 [](SimModelPreset &p) { p.ethernetMac = QStringLiteral("02:1A:7F:00:99:99"); });
         }},
        {QStringLiteral("test-stand-lid-open"),
         QStringLiteral("The test stand lid is open: 50 kV exposures are refused by the "
                        "interlock when the factory rule is set."),
         [](SimInstrument &i) {
             i.setTestStand(true, false);
         }},
    };
}

namespace {

const QVector<SimScenario> &scenarios()
{
    static const QVector<SimScenario> list = instrumentScenarios() + hardwareSetupScenarios()
        + fpgaScenarios() + filterWheelScenarios() + detectorScenarios() + setupCheckScenarios()
        + stabilityScenarios() + shotScenarios() + methodScenarios() + calibrationScenarios()
        + factorSetScenarios() + factorSetFitScenarios() + surveyScenarios() + finalQcScenarios();
    return list;
}

const SimScenario *find(const QString &name)
{
    for (const SimScenario &scenario : scenarios())
        if (scenario.name == name)
            return &scenario;
    return nullptr;
}

} // namespace

QStringList SimScenarios::names()
{
    QStringList names;
    for (const SimScenario &scenario : scenarios())
        names.append(scenario.name);
    return names;
}

bool SimScenarios::contains(const QString &name)
{
    return find(name) != nullptr;
}

QString SimScenarios::describe(const QString &name)
{
    const SimScenario *scenario = find(name);
    return scenario ? scenario->description : QString();
}

bool SimScenarios::apply(const QString &name, const SimScenarioTargets &targets)
{
    const SimScenario *scenario = find(name);
    if (!scenario)
        return false;
    if (targets.instrument && scenario->apply)
        scenario->apply(*targets.instrument);
    if (targets.cloud && scenario->applyToCloud)
        scenario->applyToCloud(*targets.cloud);
    if (targets.technician && scenario->applyToTechnician)
        scenario->applyToTechnician(*targets.technician);
    return true;
}

bool SimScenarios::apply(const QString &name, SimInstrument &instrument)
{
    SimScenarioTargets targets;
    targets.instrument = &instrument;
    return apply(name, targets);
}
