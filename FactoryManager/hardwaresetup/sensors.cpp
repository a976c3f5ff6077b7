// System temperature, barometer, accelerometer and proximity sensor checks.
#include "xrffactorymanager_p.h"

#include "xrfengine.h"
#include "xrfutils.h"

#include <QDebug>
#include <QVector3D>

#include <cmath>
#include <cstdlib>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

constexpr unsigned char kFullFanSpeed = 255;
constexpr int kFanSettleMs = 3000;
constexpr int kBarometerSettleMs = 2000;

xrf_hal::XrfEngine *engine()
{
    return xrf_hal::XrfEngine::instance();
}

// One temperature sensor, compared in whole degrees.
struct Reading
{
    const char *key; // its key in the results
    float celsius = 0;
    int whole() const { return int(std::lround(celsius)); }
};

using Getter = int (xrf_hal::XrfEngine::*)(float *);

bool read(Getter getter, const char *failureText, Reading *reading, QJsonObject *results,
          QString *error)
{
    if (const int ret = (engine()->*getter)(&reading->celsius)) {
        *error = QString::fromLatin1(failureText).arg(ret);
        return false;
    }
    results->insert(QLatin1String(reading->key), double(reading->celsius));
    return true;
}

// Two sensors that should agree within the tolerance (inclusive) once rounded to whole degrees;
// `text` names the first as %1 and the second as %3.
bool agree(const Reading &first, const Reading &second, int tolerance, const char *text,
           QString *error)
{
    if (std::abs(first.whole() - second.whole()) <= tolerance)
        return true;
    *error = QString::fromLatin1(text).arg(first.whole()).arg(tolerance).arg(second.whole());
    return false;
}

const char *const kDigitalBoardVsBarometer = "System temp check failed. Digital board temp:%1C is "
                                             "not within tolerance:%2 of barometer temp:%3C";
const char *const kPreampVsProbe = "System temp check failed. Preamp board temp:%1C is not within "
                                   "tolerance:%2 of probe temp:%3C";
const char *const kBarometerReadFailed =
    "System temp check failed. Failed to read barometer temperature, ret:%1";
const char *const kDigitalBoardReadFailed =
    "System temp check failed. Failed to read digital board temp, ret:%1";
const char *const kProbeReadFailed = "System temp check failed. Failed to read probe temp, ret:%1";
const char *const kPreampReadFailed =
    "System temp check failed. Failed to read preamp temperature, ret:%1";

int intParam(const QJsonObject &params, const char *key, int fallback = 0)
{
    return params.value(QLatin1String(key)).toInt(fallback);
}

} // namespace

void Worker::finishSensorCheck(bool passed, const QString &message, const QJsonObject &results)
{
    hardwareSetupCurrentStep.setResults(results);
    if (!passed)
        qWarning().noquote() << message;
    setCurrentTaskProgress(100);
    onHardwareSetupStepComplete(passed, message);
}

bool Worker::checkFanSpeed(QJsonObject *results, QString *error)
{
    const int minFanSpeed = intParam(hardwareSetupCurrentStep.setupParams(), "minFanSpeed");
    XrfHardwareManager::instance()->setFanEnabled(true, true);
    if (const int ret = engine()->setFanSpeed(kFullFanSpeed)) {
        *error =
            QStringLiteral("System temp check failed. Failed to set fan speed. ret:%1").arg(ret);
        return false;
    }
    XrfUtils::activeSleep(kFanSettleMs);
    unsigned short fanSpeed = 0;
    if (const int ret = engine()->getFanSpeed(&fanSpeed)) {
        *error = QStringLiteral("System temp check failed. Failed to read fan speed from K60, "
                                "ret:%1")
                     .arg(ret);
        return false;
    }
    results->insert(QStringLiteral("fanSpeed"), int(fanSpeed));
    if (fanSpeed < minFanSpeed) {
        *error = QStringLiteral("System temp check failed. Monitored fan speed:%1 is less then "
                                "minimum fan speed:%2")
                     .arg(fanSpeed)
                     .arg(minFanSpeed);
        return false;
    }
    return true;
}

void Worker::doSystemTemperatureChecks()
{
    setCurrentTaskProgress(-1);
    beginHardwareSetupStep(QStringLiteral("temperatureChecks"));
    setCurrentTaskStatus(tr("Checking system temperatures"));
    const QJsonObject params = hardwareSetupCurrentStep.setupParams();
    QJsonObject results;
    QString error;
    Reading barometer{"barometerTemperature"}, board{"digitalBoardTemperature"};
    Reading probe{"probeTemperature"}, preamp{"preampTemperature"};
    const bool passed = checkFanSpeed(&results, &error)
        && read(&xrf_hal::XrfEngine::getBarometerTemperature, kBarometerReadFailed, &barometer,
                &results, &error)
        && read(&xrf_hal::XrfEngine::getDigitalBoardTemperature, kDigitalBoardReadFailed, &board,
                &results, &error)
        && agree(board, barometer, intParam(params, "digitalboardTemperatureTolerance"),
                 kDigitalBoardVsBarometer, &error)
        && read(&xrf_hal::XrfEngine::getProximityTemperature, kProbeReadFailed, &probe, &results,
                &error)
        && read(&xrf_hal::XrfEngine::getPreampTemperature, kPreampReadFailed, &preamp, &results,
                &error)
        && agree(preamp, probe, intParam(params, "preampTemperatureTolerance"), kPreampVsProbe,
                 &error);
    if (passed)
        qDebug().noquote() << QStringLiteral("Temperatures:: Barometer: %1, Digital Board: %2, "
                                             "Probe: %3, Preamp: %4. Fan Speed: %5")
                                  .arg(barometer.celsius)
                                  .arg(board.celsius)
                                  .arg(probe.celsius)
                                  .arg(preamp.celsius)
                                  .arg(results.value(QStringLiteral("fanSpeed")).toInt());
    finishSensorCheck(passed, passed ? QString() : error, results);
}

// The tube temperature is a whole number of degrees already.
static bool readTubeTemperature(Reading *tube, QJsonObject *results, QString *error)
{
    signed char celsius = 0;
    if (const int ret = engine()->getTubeTemperature(&celsius)) {
        *error = QString::fromLatin1(kProbeReadFailed).arg(ret);
        return false;
    }
    tube->celsius = celsius;
    results->insert(QLatin1String(tube->key), int(celsius));
    return true;
}

// The model variants check no fan: a first sensor against the digital board, then the tube
// against the preamp.
struct Worker::TemperatureVariant
{
    const char *stepId;
    const char *startLog;
    const char *status;
    const char *firstKey;
    int (xrf_hal::XrfEngine::*firstGetter)(float *);
    const char *firstReadFailed;
    const char *boardToleranceKey;
    const char *boardVsFirst;
    const char *finalLog;
};

void Worker::runTemperatureVariant(const TemperatureVariant &variant)
{
    qDebug() << variant.startLog;
    setCurrentTaskProgress(-1);
    beginHardwareSetupStep(QLatin1String(variant.stepId));
    setCurrentTaskStatus(tr(variant.status));
    const QJsonObject params = hardwareSetupCurrentStep.setupParams();
    QJsonObject results;
    QString error;
    Reading first{variant.firstKey};
    Reading board{"digitalBoardTemperature"}, tube{"tubeTemperature"}, preamp{"preampTemperature"};
    const bool passed = read(variant.firstGetter, variant.firstReadFailed, &first, &results, &error)
        && read(&xrf_hal::XrfEngine::getDigitalBoardTemperature, kDigitalBoardReadFailed, &board,
                &results, &error)
        && agree(board, first, intParam(params, variant.boardToleranceKey), variant.boardVsFirst,
                 &error)
        && readTubeTemperature(&tube, &results, &error)
        && read(&xrf_hal::XrfEngine::getPreampTemperature, kPreampReadFailed, &preamp, &results,
                &error)
        && agree(preamp, tube, intParam(params, "preampVsTubeToleranceInC"), kPreampVsProbe,
                 &error);
    if (passed)
        qDebug().noquote() << QString::fromLatin1(variant.finalLog)
                                  .arg(first.celsius)
                                  .arg(board.celsius)
                                  .arg(tube.celsius)
                                  .arg(preamp.celsius);
    finishSensorCheck(passed, passed ? QString() : error, results);
}

void Worker::doSystemTemperatureChecksLT()
{
    static const TemperatureVariant lt{
        "temperatureChecksLT",
        "Starting temperature checks LT",
        QT_TR_NOOP("Checking system temperatures LT"),
        "afeTemperature",
        &xrf_hal::XrfEngine::getAnalogFrontEndTemperature,
        "System temp check failed. Failed to read AFE temperature, ret:%1",
        "digitalBoardVsAFEToleranceInC",
        "System temp check failed. Digital board temp:%1C is not within tolerance:%2 of AFE "
        "temp:%3C",
        "Temperatures:: AFE: %1, Digital Board: %2, Tube: %3, Preamp: %4"};
    runTemperatureVariant(lt);
}

void Worker::doSystemTemperatureChecksMP()
{
    static const TemperatureVariant mp{
        "temperatureChecksMP",
        "Starting temperature checks MP",
        QT_TR_NOOP("Checking system temperatures MP"),
        "barometerTemperature",
        &xrf_hal::XrfEngine::getBarometerTemperature,
        kBarometerReadFailed,
        "digitalboardTemperatureTolerance",
        kDigitalBoardVsBarometer,
        "Temperatures:: Barometer: %1, Digital Board: %2, Tube: %3, Preamp: %4"};
    runTemperatureVariant(mp);
}

void Worker::doBarometerCheck()
{
    qDebug() << "Starting barometer check";
    setCurrentTaskProgress(-1);
    beginHardwareSetupStep(QStringLiteral("barometerSetup"));
    setCurrentTaskStatus(tr("Checking barometer..."));
    const QJsonObject params = hardwareSetupCurrentStep.setupParams();
    const double minPressure = params.value(QStringLiteral("minPressureInMilliBar")).toDouble(0);
    const double maxPressure = params.value(QStringLiteral("maxPressureInMilliBar")).toDouble(0);
    XrfUtils::activeSleep(kBarometerSettleMs);

    float pressure = 0;
    const int ret = engine()->getAmbientPressureMillibars(&pressure);
    QJsonObject results{{QStringLiteral("present"), ret == 0},
                        {QStringLiteral("minPressure"), minPressure},
                        {QStringLiteral("maxPressure"), maxPressure}};
    if (ret) {
        finishSensorCheck(false,
                          QStringLiteral("Failed to read pressure from K60. ret code:%1").arg(ret),
                          results);
        return;
    }
    qDebug() << "Here are the barometer levels min/max: " << minPressure << maxPressure;
    qDebug() << "Here is the devices pressure " << pressure;
    const bool outOfRange = pressure < minPressure || pressure > maxPressure;
    const bool passed = !outOfRange;
    results.insert(QStringLiteral("pressure"), double(pressure));
    results.insert(QStringLiteral("isOutOfRange"), outOfRange);
    QString message;
    if (outOfRange) {
        message = QStringLiteral("Pressure out of range Min:%1, Max:%2, Mon:%3")
                      .arg(minPressure)
                      .arg(maxPressure)
                      .arg(double(pressure));
        qDebug() << message << "isOutOfRange: " << true << " hasStepPassed: " << false;
    } else {
        qInfo().noquote() << QStringLiteral("Device has passed second range test| Max:%1  Min:%2, "
                                            "Mon:%3")
                                 .arg(maxPressure, 0, 'f', 2)
                                 .arg(minPressure, 0, 'f', 2)
                                 .arg(double(pressure), 0, 'f', 2);
        message = QStringLiteral("Pressure %1 mbar is within expected range(%2-%3)")
                      .arg(double(pressure))
                      .arg(minPressure)
                      .arg(maxPressure);
    }
    finishSensorCheck(passed, message, results);
}

void Worker::doAccelerometerCalibration()
{
    qDebug() << "Checking Accelerometer";
    setCurrentTaskProgress(-1);
    beginHardwareSetupStep(QStringLiteral("accelerometerSetup"));
    setCurrentTaskStatus(QStringLiteral("Checking accelerometer..."));
    const QJsonObject params = hardwareSetupCurrentStep.setupParams();
    const double expected = params.value(QStringLiteral("expectedMagnitude")).toDouble(1.0);
    const double tolerance = params.value(QStringLiteral("magnitudeTolerance")).toDouble(0.1);

    if (const int ret = engine()->setAccelerometerNormal(0, 0, -1)) {
        qDebug() << "Failed to set accelerometer normal";
        finishSensorCheck(
            false,
            QStringLiteral("Failed to set accelerometer normal, K60 return code: %1").arg(ret), {});
        return;
    }
    float x = 0, y = 0, z = 0;
    if (const int ret = engine()->getAccelerometerVector(&x, &y, &z)) {
        finishSensorCheck(
            false,
            QStringLiteral("Failed to read accelerometer vector, K60 return code: %1").arg(ret),
            {{QStringLiteral("pass"), false}});
        return;
    }
    const double magnitude = double(QVector3D(x, y, z).length());
    const bool passed = magnitude > expected - tolerance && magnitude < expected + tolerance;
    const QJsonObject results{
        {QStringLiteral("pass"), passed},
        {QStringLiteral("normalVector"), QJsonArray{double(x), double(y), double(z)}}};
    qDebug() << "Accelerometer Check Result" << results;
    const QString vector =
        QStringLiteral("Accelerometer vector: <%1, %2, %3>").arg(x).arg(y).arg(z);
    finishSensorCheck(passed,
                      passed ? vector
                             : vector
                              + QStringLiteral("\nMagnitude: %1\nExpected Magnitude: %2\n"
                                               "Tolerance: %3")
                                    .arg(magnitude)
                                    .arg(expected)
                                    .arg(tolerance),
                      results);
}

void Worker::doProximitySensorSetup()
{
    setCurrentTaskProgress(-1);
    beginHardwareSetupStep(QStringLiteral("proximitySensorSetup"));
    setCurrentTaskStatus(QStringLiteral("Checking proximity sensor..."));
    const QJsonObject params = hardwareSetupCurrentStep.setupParams();
    const int threshold = intParam(params, "proximityThreshold");
    const int highLimit = intParam(params, "proximityHighLimit");

    if (const int ret = engine()->setProximitySensorThreshold((unsigned short)threshold)) {
        finishSensorCheck(
            false,
            QStringLiteral("K60 command to set proximity sensor threshold failed, ret "
                           "code:%1")
                .arg(ret),
            {{QStringLiteral("pass"), false}});
        return;
    }
    unsigned short value = 0;
    if (const int ret = engine()->getProximitySensorDistance(&value)) {
        finishSensorCheck(false,
                          QStringLiteral("K60 command to read proximity sensor value failed, ret "
                                         "code:%1")
                              .arg(ret),
                          {{QStringLiteral("pass"), false}});
        return;
    }
    QString message;
    if (value < threshold)
        message = QStringLiteral("Proximity sensor value %1, expected at least %2")
                      .arg(value)
                      .arg(threshold);
    else if (value > highLimit)
        message = QStringLiteral("Proximity sensor value %1, over high limit %2")
                      .arg(value)
                      .arg(highLimit);
    const bool passed = message.isEmpty();
    if (passed)
        message =
            QStringLiteral("Proximity sensor value %1, >= minimum %2").arg(value).arg(threshold);
    finishSensorCheck(
        passed, message,
        {{QStringLiteral("proximityValue"), int(value)}, {QStringLiteral("pass"), passed}});
}
