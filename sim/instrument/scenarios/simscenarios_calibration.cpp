// Scenarios of the calibration shots on the standards.
#include "simscenarios_p.h"

#include "simfaults.h"
#include "siminstrument.h"
#include "simtechnician.h"

namespace {
// The shot ends, as if it had run its time, after this many instrument seconds.
constexpr double kCutShortSeconds = 5.0;
// Spectrum channels of the silent detector.
constexpr int kChannels = 4096;
} // namespace

QVector<SimScenario> calibrationScenarios()
{
    return {
        {QStringLiteral("wrong-calibration-standard"),
         QStringLiteral("The technician takes the brass disc C36000 for the stainless steel SS304 "
                        "every time: the spectrum has no iron, chromium or nickel peak, and the "
                        "wrong-shot criteria reject the shot."),
         nullptr, nullptr,
         [](SimTechnician &t) {
             t.sampleMixUps.insert(QStringLiteral("SS304"), QStringLiteral("C36000"));
         }},
        {QStringLiteral("calibration-shot-cut-short"),
         QStringLiteral("A loose contact in the trigger cable: every calibration exposure ends "
                        "after 5 s as if it had run its time, and the measured time falls short "
                        "of the set time."),
         nullptr, nullptr,
         [](SimTechnician &t) {
             t.calibrationFault = [](SimInstrument &i) {
                 i.faults().endExposureAfter(kCutShortSeconds, XrfHardwareManager::EndNormal);
             };
         }},
        {QStringLiteral("calibration-lid-open"),
         QStringLiteral("The technician leaves the test stand lid open: the 50 kV steps are "
                        "skipped and their standards set aside, until the run asks for the lid "
                        "and the technician closes it."),
         nullptr, nullptr,
         [](SimTechnician &t) {
             t.leavesLidOpenForCalibration = true;
         }},
        {QStringLiteral("calibration-no-counts"),
         QStringLiteral("The detector's signal cable comes loose before the calibration shots: "
                        "the spectra are empty."),
         nullptr, nullptr,
         [](SimTechnician &t) {
             t.calibrationFault = [](SimInstrument &i) {
                 i.faults().overrideSpectrum(QVector<quint32>(kChannels, 0));
             };
         }},
    };
}
