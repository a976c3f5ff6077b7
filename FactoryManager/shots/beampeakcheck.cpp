#include "beampeakcheck.h"

#include "xrfutils.h"

#include <cmath>

namespace {

constexpr int kPeakSearchHalfWidth = 10;
constexpr double kPeakTolerance = 2.0;
constexpr float kSiliconCheckMaxKv = 15.0f;
constexpr double kEvPerKev = 1000.0;

const QString kDescription =
    QStringLiteral("BeamsSetup validation - peakSearchPostionInt : %1 peakSearchPostion : %2 "
                   "slope : %3 offset : %4 doValidation : %5 postiveCheck : %6 "
                   "peakActualPosition : %7 peakWidth : %8 peakLocationCheckResult : %9 "
                   "peakHeightCheckResult : %10 maxPeakIndex : %11 maxPeakCount : %12 "
                   "checkResultCombine : %13 realTime : %14");
const QString kNoEnergyScale =
    QStringLiteral("the spectrum has no energy scale (energy slope %1 eV per channel)");

QString bit(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

BeamPeakCheck BeamPeakCheck::forSample(const QString &targetSample, float beamKv)
{
    BeamPeakCheck check;
    if (targetSample.contains(QLatin1String("SS316"), Qt::CaseInsensitive)) {
        check.symbol = QStringLiteral("Fe");
    } else if (targetSample.contains(QLatin1String("Al"), Qt::CaseInsensitive)) {
        check.symbol = QStringLiteral("Al");
    } else if (targetSample.contains(QLatin1String("SiO2"), Qt::CaseInsensitive)) {
        const bool lowVoltage = beamKv <= kSiliconCheckMaxKv;
        check.symbol = lowVoltage ? QStringLiteral("Si") : QStringLiteral("Fe");
        check.positive = lowVoltage;
    }
    return check;
}

bool BeamPeakCheck::run(const XrfSpectrum &spectrum)
{
    error.clear();
    realTime = spectrum.realTime();
    slope = spectrum.energySlope();
    offset = spectrum.energyOffset();
    peakPosition = 0;
    peakWidth = 0;
    maxIndex = 0;
    maxCount = 0;
    if (!(slope > 0) || !std::isfinite(slope) || !std::isfinite(offset)) {
        error = kNoEnergyScale.arg(slope);
        locationOk = heightOk = passed = false;
        return false;
    }
    const double lineKev =
        XrfUtils::emissionLineEnergy(XrfUtils::atomicNumber(symbol), XrfUtils::KAlpha);
    expectedChannel = (lineKev * kEvPerKev - offset) / slope;
    expectedChannelInt = int(expectedChannel);
    spectrum.findMaxBin(&maxIndex, &maxCount, 0);
    spectrum.findPeak(expectedChannelInt, kPeakSearchHalfWidth, &peakPosition, &peakWidth);
    locationOk = std::abs(expectedChannel - peakPosition) <= kPeakTolerance;
    heightOk = std::abs(maxIndex - peakPosition) <= kPeakTolerance;
    passed = positive ? (locationOk && heightOk) : !(locationOk && heightOk);
    return passed;
}

QString BeamPeakCheck::describe() const
{
    return kDescription.arg(expectedChannelInt)
        .arg(expectedChannel)
        .arg(slope)
        .arg(offset)
        .arg(bit(true))
        .arg(bit(positive))
        .arg(peakPosition)
        .arg(peakWidth)
        .arg(bit(locationOk))
        .arg(bit(heightOk))
        .arg(maxIndex)
        .arg(maxCount)
        .arg(bit(passed))
        .arg(realTime);
}
