#include "simregisters.h"

#include <QHash>

#include <cstring>

using namespace xrf_hal;

namespace {

SimRegisterInfo make(int width, SimRegisterInfo::Kind kind, NvSector sector, bool persistent = true)
{
    SimRegisterInfo info;
    info.width = width;
    info.kind = kind;
    info.sector = sector;
    info.persistent = persistent;
    return info;
}

SimRegisterInfo live(int width = 16, SimRegisterInfo::Kind kind = SimRegisterInfo::Unsigned)
{
    SimRegisterInfo info = make(width, kind, NvSectorCalibration, false);
    info.live = true;
    return info;
}

SimRegisterInfo volatileWord(int width = 16, SimRegisterInfo::Kind kind = SimRegisterInfo::Unsigned)
{
    return make(width, kind, NvSectorCalibration, false);
}

const QHash<quint16, SimRegisterInfo> &registerMap()
{
    using K = SimRegisterInfo;
    static const QHash<quint16, SimRegisterInfo> map = [] {
        QHash<quint16, SimRegisterInfo> m;
        m.insert(RegInstrumentSerialNumber, make(32, K::Unsigned, NvSectorIdentity));
        m.insert(RegInstrumentType, make(16, K::Unsigned, NvSectorIdentity));
        m.insert(RegTubeVoltageSet, volatileWord(32, K::Float));
        m.insert(RegTubeCurrentSet, volatileWord(32, K::Float));
        m.insert(RegTubeEnable, volatileWord());
        m.insert(RegTubeFaultFlags, live());
        m.insert(RegTubeVoltageMonitored, live(32, K::Float));
        m.insert(RegTubeCurrentMonitored, live(32, K::Float));
        for (quint16 a = RegFpgaGain; a <= RegFpgaAutoCalEnabled; ++a)
            m.insert(a, make(16, K::Unsigned, NvSectorCalibration));
        for (quint16 a : {RegFpgaGain, RegFpgaLeakageRampFilter, RegFpgaAutoCalLeakageRampFilter,
                          RegFpgaAutoCalGain, RegFpgaAutoCalOffset, RegFpgaAutoCalCountsLimit,
                          RegFpgaAutoCalTime, RegFpgaAutoCalPosWindow})
            m[a].width = 32;
        m[RegFpgaSyncDelay].kind = K::Signed;
        m[RegFpgaAutoCalSyncDelay].kind = K::Signed;
        for (quint16 a :
             {RegFpgaAutoCalRefPosition, RegFpgaAutoCalRefPeakWidth, RegAutoCalGainCorrectionOffset,
              RegAutoCalGainCorrectionSlope, RegAutoCalTemperatureAtCal})
            m.insert(a, make(32, K::Float, NvSectorCalibration));
        m.insert(RegFpgaResetHeight, live());
        m.insert(RegFilterMoveTolerance, make(16, K::Unsigned, NvSectorFilter));
        m.insert(RegFilterScanTolerance, make(16, K::Unsigned, NvSectorFilter));
        m.insert(RegFilterEncoderSetPoint, volatileWord());
        m.insert(RegFilterEncoderMonitored, live());
        m.insert(RegFilterMoveStatus, live());
        m.insert(RegFilterPositionMonitored, live());
        m.insert(RegFilterType, make(16, K::Unsigned, NvSectorFilter));
        m.insert(RegDetectorStatus, live());
        m.insert(RegDetectorSetTemperature, make(16, K::Signed, NvSectorCalibration));
        for (quint16 channel = 0; channel <= DetectorDacResetWidth; ++channel)
            m.insert(RegDetectorDac + channel, volatileWord());
        for (quint16 a : {RegDetectorTempCorrectionEpsilon, RegDetectorTempCorrectionCoeff1,
                          RegDetectorTempCorrectionCoeff2})
            m.insert(a, make(32, K::Float, NvSectorCalibration));
        m.insert(RegDetectorResetHeightTarget, make(16, K::Unsigned, NvSectorCalibration));
        m.insert(RegDetectorResetTrackingEnabled, make(16, K::Unsigned, NvSectorCalibration));
        m.insert(RegDetectorShutter, volatileWord());
        m.insert(RegSafetyModeFlags, make(16, K::Unsigned, NvSectorSafety));
        m.insert(RegExposureStatusFlags, live());
        m.insert(RegInterlockFlags, live());
        m.insert(RegTestStandStatusFlags, live());
        m.insert(RegLatchingSafetyFaults, volatileWord());
        m.insert(RegInterruptFlags, volatileWord());
        m.insert(RegFanSpeedSet, volatileWord());
        m.insert(RegProximityThreshold, make(16, K::Unsigned, NvSectorCalibration));
        for (quint16 a :
             {RegAccelerometerNormalX, RegAccelerometerNormalY, RegAccelerometerNormalZ})
            m.insert(a, make(32, K::Float, NvSectorCalibration));
        m.insert(RegGlobalLogLevel, volatileWord());
        m.insert(RegEepromSaveStatus, live());
        m.insert(RegEepromLoadStatus, live());
        for (quint16 a : {RegEepromResetTimerInit, RegEepromResetClocks, RegEepromFetSubInit})
            m.insert(a, volatileWord());
        for (quint16 i = 0; i < 8; ++i)
            m.insert(RegDebug0 + i, volatileWord(i < 2 ? 16 : 32, i < 4 ? K::Unsigned : K::Float));
        for (int p = 0; p < SimRegisterFile::kMaxFilterPositions; ++p)
            for (int field = 0; field < 4; ++field)
                m.insert(SimRegisterFile::filterTableAddress(p, field),
                         make(16, K::Unsigned, NvSectorFilter));
        return m;
    }();
    return map;
}

} // namespace

bool SimRegisterFile::isAddressable(quint16 address)
{
    return address >= kUserRangeFirst && address <= kUserRangeLast;
}

SimRegisterInfo SimRegisterFile::info(quint16 address)
{
    return registerMap().value(address, make(32, SimRegisterInfo::Unsigned, NvSectorCalibration));
}

quint16 SimRegisterFile::filterTableAddress(int position, int field)
{
    return quint16(RegFilterTable + position * 4 + field);
}

void SimRegisterFile::setRaw(quint16 address, quint32 value)
{
    const int width = info(address).width;
    m_values.insert(address, width >= 32 ? value : value & ((1u << width) - 1u));
}

float SimRegisterFile::toFloat(quint16 address) const
{
    const quint32 bits = raw(address);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void SimRegisterFile::setFloat(quint16 address, float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    m_values.insert(address, bits);
}

qint32 SimRegisterFile::toSigned(quint16 address) const
{
    const int width = info(address).width;
    const quint32 bits = raw(address);
    if (width >= 32)
        return qint32(bits);
    const quint32 signBit = 1u << (width - 1);
    return qint32(bits ^ signBit) - qint32(signBit);
}

QMap<quint16, quint32> SimRegisterFile::persistentValues(NvSector sector) const
{
    QMap<quint16, quint32> result;
    for (auto it = m_values.cbegin(); it != m_values.cend(); ++it) {
        const SimRegisterInfo registerInfo = info(it.key());
        if (registerInfo.persistent && !registerInfo.live
            && (sector == NvSectorAll || registerInfo.sector == sector))
            result.insert(it.key(), it.value());
    }
    return result;
}
