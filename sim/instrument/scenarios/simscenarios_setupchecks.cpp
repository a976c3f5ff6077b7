// Scenarios of collimator ratios, camera collimation, register overrides, operator tests and
// the clock check.
#include "simscenarios_p.h"

#include "simfaults.h"
#include "siminstrument.h"
#include "simrtc.h"
#include "simstate.h"
#include "simtechnician.h"
#include "xrfengine.h"

namespace {
constexpr int kCollimatorBoreUm = 482;
constexpr int kWrongBoreUm = 700;
constexpr qint64 kRtcStoppedAgoSeconds = 3600;
} // namespace

QVector<SimScenario> setupCheckScenarios()
{
    return {
        {QStringLiteral("collimator-out-of-ratio"),
         QStringLiteral("A collimator insert with a 700 um bore instead of 482 um was fitted: the "
                        "collimated positions pass too much and the ratios fall below 2."),
         [](SimInstrument &i) {
             const auto lock = i.state().lock();
             i.state().wheel().reboreHoles(kCollimatorBoreUm, kWrongBoreUm);
         }},
        {QStringLiteral("register-write-fails"),
         QStringLiteral("Every 16-bit register write fails with the communication error."),
         [](SimInstrument &i) {
             i.faults().failOperation(QStringLiteral("writeValue16"),
                                      xrf_hal::EngineCommunicationError, SimFaults::kAlways);
         }},
        {QStringLiteral("trigger-not-responding"),
         QStringLiteral("The trigger's flex cable is not seated in its connector: the trigger does "
                        "not respond, so the technician fails the buttons test."),
         {},
         {},
         [](SimTechnician &t) {
             t.failedOperatorTests.insert(QStringLiteral("instrumentButtonsTest"),
                                          QStringLiteral("The trigger does not respond"));
         }},
        {QStringLiteral("customer-output-dead"),
         QStringLiteral("The driver transistor of customer output 1 is open: the output does not "
                        "toggle, so the technician fails the customer IO test (use with --model "
                        "MP)."),
         {},
         {},
         [](SimTechnician &t) {
             t.failedOperatorTests.insert(QStringLiteral("customerIOTest"),
                                          QStringLiteral("Customer output 1 does not toggle"));
         }},
        {QStringLiteral("rtc-stopped"),
         QStringLiteral("The real-time clock stopped an hour ago and does not move."),
         [](SimInstrument &i) {
             i.rtc().stopAt(QDateTime::currentDateTimeUtc().addSecs(-kRtcStoppedAgoSeconds));
         }},
    };
}
