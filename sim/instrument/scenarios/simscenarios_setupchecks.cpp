// Scenarios of collimator ratios, camera collimation, register overrides and operator tests.
#include "simscenarios_p.h"

#include "simfaults.h"
#include "siminstrument.h"
#include "simrtc.h"
#include "simstate.h"
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
        {QStringLiteral("rtc-stopped"),
         QStringLiteral("The real-time clock stopped an hour ago and does not move."),
         [](SimInstrument &i) {
             i.rtc().stopAt(QDateTime::currentDateTimeUtc().addSecs(-kRtcStoppedAgoSeconds));
         }},
    };
}
