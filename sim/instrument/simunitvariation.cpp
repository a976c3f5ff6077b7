#include "simunitvariation.h"

#include "simfaults.h"
#include "siminstrument.h"
#include "simpresets.h"
#include "simstate.h"

#include <QCryptographicHash>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

// Production spreads (one standard deviation) and the clips that keep a unit physical.
const double kGainSigma = 0.04; // detector charge gain, relative
const double kGainClip = 0.12;
const double kNoiseLogSigma = 0.22; // electronic noise, log-normal
const double kResetMidpointSigma = 45; // reset-width DAC steps
const double kPinFetSigma = 12; // FET DAC steps
const double kWheelShiftSigmaTicks = 10;
const double kTubeOutputSigma = 0.05; // relative
const double kBoardSensorSigmaC = 1.3;
const double kProbeSensorSigmaC = 0.5;
const double kPressureSigmaMillibar = 2.0;
// One unit in this many has a shielding gap somewhere in its case.
const int kShieldingGapOneIn = 25;
const double kShieldingGapMax = 3e-4;

// The unit's own generator: the same serial is always the same unit.
std::mt19937 generatorOf(const QString &model, unsigned int serial)
{
    const QByteArray key = model.toUtf8() + '/' + QByteArray::number(serial);
    const QByteArray hash = QCryptographicHash::hash(key, QCryptographicHash::Sha256);
    std::seed_seq seed(hash.begin(), hash.end());
    return std::mt19937(seed);
}

double normal(std::mt19937 &random, double sigma)
{
    return std::normal_distribution<double>(0.0, sigma)(random);
}

} // namespace

SimUnitVariation SimUnitVariation::of(const QString &model, unsigned int serial)
{
    SimUnitVariation unit;
    unit.model = model;
    const unsigned int usual = SimModelPreset::byModel(model).serialNumber;
    unit.serial = serial == 0 ? usual : serial;
    unit.nominal = unit.serial == usual;
    if (unit.nominal)
        return unit;
    std::mt19937 random = generatorOf(model, unit.serial);
    unit.detectorGainFactor = 1 + std::clamp(normal(random, kGainSigma), -kGainClip, kGainClip);
    unit.detectorNoiseFactor = std::exp(normal(random, kNoiseLogSigma));
    unit.resetMidpointShift = normal(random, kResetMidpointSigma);
    unit.wheelShiftTicks = int(std::lround(normal(random, kWheelShiftSigmaTicks)));
    unit.tubeOutputFactor = 1 + normal(random, kTubeOutputSigma);
    unit.sensorOffsets.digitalBoardC = normal(random, kBoardSensorSigmaC);
    unit.sensorOffsets.barometerC = normal(random, kBoardSensorSigmaC);
    unit.sensorOffsets.probeC = normal(random, kProbeSensorSigmaC);
    unit.sensorOffsets.preampC = normal(random, kProbeSensorSigmaC);
    unit.sensorOffsets.pressureMillibar = normal(random, kPressureSigmaMillibar);
    if (std::uniform_int_distribution<int>(1, kShieldingGapOneIn)(random) == 1)
        unit.shieldingGap = std::uniform_real_distribution<double>(0, kShieldingGapMax)(random);
    return unit;
}

SimModelPreset SimUnitVariation::preset() const
{
    SimModelPreset preset = SimModelPreset::byModel(model);
    preset.serialNumber = serial;
    if (nominal)
        return preset;
    SimDetectorSpec &detector = preset.detector;
    detector.unitGain *= detectorGainFactor;
    detector.seriesNoise2 *= detectorNoiseFactor;
    detector.parallelNoise2 *= detectorNoiseFactor;
    detector.flickerNoise2 *= detectorNoiseFactor;
    if (detector.isPin)
        detector.pinFetZero += resetMidpointShift * kPinFetSigma / kResetMidpointSigma;
    else
        detector.resetWidthMidpoint += resetMidpointShift;
    preset.wheelUnitShiftTicks += wheelShiftTicks;
    return preset;
}

SimInstrument *SimUnitVariation::build() const
{
    auto *instrument = new SimInstrument(preset());
    if (nominal)
        return instrument;
    instrument->setSeed(serial);
    instrument->faults().setTubeEmissionFactor(tubeOutputFactor);
    instrument->faults().setShieldingGap(shieldingGap);
    const auto lock = instrument->state().lock();
    instrument->state().sensors().setOffsets(sensorOffsets);
    return instrument;
}

QJsonObject SimUnitVariation::toJson() const
{
    return {
        {QStringLiteral("model"), model},
        {QStringLiteral("serial"), qint64(serial)},
        {QStringLiteral("nominal"), nominal},
        {QStringLiteral("detectorGainFactor"), detectorGainFactor},
        {QStringLiteral("detectorNoiseFactor"), detectorNoiseFactor},
        {QStringLiteral("resetMidpointShift"), resetMidpointShift},
        {QStringLiteral("wheelShiftTicks"), wheelShiftTicks},
        {QStringLiteral("tubeOutputFactor"), tubeOutputFactor},
        {QStringLiteral("digitalBoardOffsetC"), sensorOffsets.digitalBoardC},
        {QStringLiteral("barometerOffsetC"), sensorOffsets.barometerC},
        {QStringLiteral("probeOffsetC"), sensorOffsets.probeC},
        {QStringLiteral("preampOffsetC"), sensorOffsets.preampC},
        {QStringLiteral("pressureOffsetMillibar"), sensorOffsets.pressureMillibar},
        {QStringLiteral("shieldingGap"), shieldingGap},
    };
}
