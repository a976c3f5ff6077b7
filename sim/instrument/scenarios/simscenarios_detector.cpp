// Scenarios of detector cooling, reset width and PIN calibration, and the sensor checks.
#include "simscenarios_p.h"

#include "simfaults.h"
#include "siminstrument.h"
#include "xrfengine.h"

QVector<SimScenario> detectorScenarios()
{
    return {
        {QStringLiteral("detector-never-cools"),
         QStringLiteral("The detector's Peltier cooler gets no current: the detector stays at "
                        "ambient temperature and never reaches its set point."),
         [](SimInstrument &i) {
             i.faults().setCoolerMaxDeltaC(0.0);
         }},
        {QStringLiteral("reset-height-out-of-reach"),
         QStringLiteral("The detector preamplifier's reset saturates: the reset height stays at "
                        "10400 whatever the reset width, below the calibration target."),
         [](SimInstrument &i) {
             i.faults().overrideRegister(xrf_hal::RegFpgaResetHeight, 10400);
         }},
        {QStringLiteral("pin-reset-stuck"),
         QStringLiteral("The PIN detector preamplifier's reset switch is shorted: the reset height "
                        "stays at 60 whatever the FET subtraction and reset width, so the PIN "
                        "search runs out of iterations (use with --model LT)."),
         [](SimInstrument &i) {
             i.faults().overrideRegister(xrf_hal::RegFpgaResetHeight, 60);
         }},
        {QStringLiteral("sensor-bus-error"),
         QStringLiteral(
             "A cracked solder joint on the preamp board's sensor bus: every read of the "
             "preamp temperature sensor answers the communication error."),
         [](SimInstrument &i) {
             i.faults().failOperation(QStringLiteral("getPreampTemperature"),
                                      xrf_hal::EngineCommunicationError, SimFaults::kAlways);
         }},
        {QStringLiteral("fan-too-slow"),
         QStringLiteral("The fan is clogged with dust: at full duty it turns at only 4200 rpm."),
         [](SimInstrument &i) {
             i.faults().overrideSensor(QStringLiteral("getFanSpeed"), 4200);
         }},
        {QStringLiteral("pressure-out-of-range"),
         QStringLiteral("The barometer's port is blocked by potting compound: it reads 640 mbar, "
                        "below the lowest pressure accepted."),
         [](SimInstrument &i) {
             i.faults().overrideSensor(QStringLiteral("getAmbientPressureMillibars"), 640);
         }},
        {QStringLiteral("accelerometer-tilted"),
         QStringLiteral("The accelerometer was soldered tilted and one axis has lost gain: lying "
                        "flat the instrument reads 0.84 g."),
         [](SimInstrument &i) {
             i.faults().overrideSensor(QStringLiteral("getAccelerometerVector"),
                                       QVector<double>{0.31, -0.05, -0.78});
         }},
        {QStringLiteral("proximity-over-limit"),
         QStringLiteral("A reflective shim left on the window saturates the proximity sensor: it "
                        "reads 4600 counts, over its high limit."),
         [](SimInstrument &i) {
             i.faults().overrideSensor(QStringLiteral("getProximitySensorDistance"), 4600);
         }},
    };
}
