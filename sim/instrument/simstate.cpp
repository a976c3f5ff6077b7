#include "simstate.h"

#include "simfaults.h"

#include <cmath>
#include <cstring>
#include <limits>

using namespace xrf_hal;

namespace {
constexpr int kEepromPollsUntilDone = 3;
constexpr int kFirmwareLogLines = 500;
constexpr unsigned short kDefaultMoveTolerance = 10;
constexpr unsigned short kDefaultScanTolerance = 5;
constexpr unsigned short kDefaultResetClocks = 40;
constexpr unsigned short kSddResetWidthDac = 900;
constexpr unsigned short kPinResetWidthDac = 300;
constexpr unsigned short kPinFetSubDac = 2000;
} // namespace

SimState::SimState(const SimModelPreset &preset, SimFaults &faults)
    : m_preset(preset),
      m_faults(faults),
      m_store(preset.model, preset.detector.serialNumber),
      m_tube(preset.tube),
      m_wheel(SimWheelAssembly::byPartNumber(preset.wheelPartNumber, preset.wheelUnitShiftTicks)),
      m_detector(preset.detector),
      m_sensors(m_random)
{
    SimSamples::find(QStringLiteral("SS316"), &m_sample);
    m_detectorTemperatureC = m_environment.ambientC;
    m_detectorTemperatureAtMs = m_clock.nowMs();
    boot();
}

void SimState::boot()
{
    loadDefaults();
    const SimNvStore::Words nv = m_store.loadNv();
    for (auto it = nv.cbegin(); it != nv.cend(); ++it)
        m_registers.setRaw(it.key(), it.value());
    m_eepromChip = m_store.loadEeprom();
    for (auto it = m_eepromChip.cbegin(); it != m_eepromChip.cend(); ++it)
        m_registers.setRaw(it.key(), it.value());
    m_registers.setRaw(RegDetectorDac + DetectorDacResetWidth,
                       m_registers.raw(RegEepromResetTimerInit));
    m_registers.setRaw(RegDetectorDac + DetectorDacFetSub, m_registers.raw(RegEepromFetSubInit));
    m_registers.setRaw(RegFpgaAutoCalEnabled, m_registers.raw(RegFpgaAutoCalEnableAtStartup));
    m_tube = SimTube(m_preset.tube);
    m_wheel = SimFilterWheel(m_wheel.assembly());
    m_mcaRunning = false;
    m_eepromSavePolls = m_eepromLoadPolls = -1;
    m_resetHeightFrom =
        m_detector.resetHeight(m_registers.raw(RegDetectorDac + DetectorDacResetWidth),
                               m_registers.raw(RegDetectorDac + DetectorDacFetSub));
    m_resetDacChangedAtMs = nowMs();
    log(QStringLiteral("K60 boot: firmware %1, serial %2")
            .arg(m_preset.k60FirmwareVersion)
            .arg(m_registers.raw(RegInstrumentSerialNumber)));
}

void SimState::loadDefaults()
{
    m_registers.assign({});
    m_registers.setRaw(RegInstrumentSerialNumber, m_preset.serialNumber);
    m_registers.setRaw(RegInstrumentType, 0);
    applyFpgaDefaults();
    applyFilterAssemblyDefaults();
    m_registers.setRaw(RegDetectorSetTemperature,
                       quint32(qint32(std::lround(m_preset.detector.defaultSetTemperatureC))));
    m_registers.setRaw(RegEepromResetTimerInit,
                       m_preset.detector.isPin ? kPinResetWidthDac : kSddResetWidthDac);
    m_registers.setRaw(RegEepromResetClocks, kDefaultResetClocks);
    m_registers.setRaw(RegEepromFetSubInit, kPinFetSubDac);
    m_registers.setRaw(RegSafetyModeFlags, 0);
    m_registers.setFloat(RegAccelerometerNormalX, 0);
    m_registers.setFloat(RegAccelerometerNormalY, 0);
    m_registers.setFloat(RegAccelerometerNormalZ, -1);
    m_registers.setRaw(RegGlobalLogLevel, LogLevelInfo);
}

void SimState::applyFpgaDefaults()
{
    const unsigned short ticks = (unsigned short)std::lround(m_preset.peakingTimeUs * 64.0);
    m_registers.setRaw(RegFpgaPeakingTime, ticks);
    m_registers.setRaw(RegFpgaBeforePulseDelay, m_preset.detector.isPin ? 16 : ticks);
    m_registers.setRaw(RegFpgaAfterPulseDelay, m_preset.detector.isPin ? 16 : ticks);
    m_registers.setRaw(RegFpgaGain, quint32(m_preset.nominalGain1us * 64.0 / ticks));
    m_registers.setRaw(RegFpgaSyncDelay, ticks + 4u);
    m_registers.setRaw(RegFpgaThreshold, 60);
    m_registers.setRaw(RegFpgaMaxFastPulseWidth, 40);
    m_registers.setRaw(RegFpgaPulseDelay, 10);
    m_registers.setRaw(RegFpgaResetWidth, kDefaultResetClocks);
    m_registers.setFloat(RegFpgaAutoCalRefPosition, std::numeric_limits<float>::quiet_NaN());
    m_registers.setFloat(RegFpgaAutoCalRefPeakWidth, 0);
}

void SimState::applyFilterAssemblyDefaults()
{
    const QVector<FilterParams> table = m_wheel.assembly().nominalTable();
    setFilterTable(table.constData(), table.size());
    m_registers.setRaw(RegFilterType, 0);
    m_registers.setRaw(RegFilterMoveTolerance, kDefaultMoveTolerance);
    m_registers.setRaw(RegFilterScanTolerance, kDefaultScanTolerance);
    m_registers.setRaw(RegFilterEncoderSetPoint, table.value(0).encoder);
}

quint32 SimState::readRegister(quint16 address)
{
    if (const std::optional<quint32> forced = m_faults.registerOverride(address))
        return *forced;
    if (SimRegisterFile::info(address).live)
        return liveRegister(address);
    return m_registers.raw(address);
}

float SimState::readFloatRegister(quint16 address)
{
    const quint32 bits = readRegister(address);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

int SimState::writeRegister(quint16 address, quint32 value)
{
    if (!SimRegisterFile::isAddressable(address))
        return EngineOutOfRange;
    if (SimRegisterFile::info(address).live)
        return EngineInvalidArgument;
    if (address >= RegDetectorDac && address <= RegDetectorDac + DetectorDacResetWidth)
        return setDetectorDac(address - RegDetectorDac, (unsigned short)value);
    if (address == RegTubeVoltageSet || address == RegTubeCurrentSet) {
        float number;
        std::memcpy(&number, &value, sizeof number);
        const int result =
            address == RegTubeVoltageSet ? m_tube.setVoltage(number) : m_tube.setCurrent(number);
        if (result != EngineOk)
            return result;
    }
    m_registers.setRaw(address, value);
    return EngineOk;
}

int SimState::saveToNv()
{
    QString error;
    if (!m_store.saveNv(m_registers.persistentValues(NvSectorAll), &error)) {
        log(QStringLiteral("NV save failed: %1").arg(error));
        return EngineNvWriteFailed;
    }
    log(QStringLiteral("NV saved"));
    return EngineOk;
}

int SimState::eraseNvSector(unsigned char sector)
{
    if (sector > NvSectorSafety && sector != NvSectorAll)
        return EngineInvalidArgument;
    SimNvStore::Words nv = m_store.loadNv();
    for (auto it = nv.begin(); it != nv.end();) {
        if (sector == NvSectorAll || SimRegisterFile::info(it.key()).sector == sector)
            it = nv.erase(it);
        else
            ++it;
    }
    log(QStringLiteral("NV sector %1 erased").arg(sector));
    return m_store.saveNv(nv) ? EngineOk : EngineNvWriteFailed;
}

int SimState::commitSerialNumber(unsigned int serial)
{
    m_registers.setRaw(RegInstrumentSerialNumber, serial);
    SimNvStore::Words nv = m_store.loadNv();
    nv.insert(RegInstrumentSerialNumber, serial);
    log(QStringLiteral("Serial number set to %1").arg(serial));
    return m_store.saveNv(nv) ? EngineOk : EngineNvWriteFailed;
}

int SimState::startEepromSave()
{
    if (m_eepromSavePolls >= 0 || m_eepromLoadPolls >= 0)
        return EngineBusy;
    m_eepromSavePolls = kEepromPollsUntilDone;
    m_eepromSaveStatus = EepromBusy;
    return EngineOk;
}

int SimState::startEepromLoad()
{
    if (m_eepromSavePolls >= 0 || m_eepromLoadPolls >= 0)
        return EngineBusy;
    m_eepromLoadPolls = kEepromPollsUntilDone;
    m_eepromLoadStatus = EepromBusy;
    return EngineOk;
}

unsigned char SimState::pollEepromSave()
{
    if (m_eepromSavePolls < 0 || --m_eepromSavePolls > 0)
        return m_eepromSaveStatus;
    m_eepromSavePolls = -1;
    for (quint16 address : {RegEepromResetTimerInit, RegEepromResetClocks, RegEepromFetSubInit})
        m_eepromChip.insert(address, m_registers.raw(address));
    m_eepromSaveStatus = m_store.saveEeprom(m_eepromChip) ? EepromDone : EepromFailed;
    log(QStringLiteral("EEPROM save %1").arg(m_eepromSaveStatus == EepromDone ? "done" : "failed"));
    return m_eepromSaveStatus;
}

unsigned char SimState::pollEepromLoad()
{
    if (m_eepromLoadPolls < 0 || --m_eepromLoadPolls > 0)
        return m_eepromLoadStatus;
    m_eepromLoadPolls = -1;
    m_eepromChip = m_store.loadEeprom();
    for (auto it = m_eepromChip.cbegin(); it != m_eepromChip.cend(); ++it)
        m_registers.setRaw(it.key(), it.value());
    m_eepromLoadStatus = m_eepromChip.isEmpty() ? EepromFailed : EepromDone;
    return m_eepromLoadStatus;
}

SimFilterWheel &SimState::wheel()
{
    m_wheel.setJammed(m_faults.filterWheelJammed());
    m_wheel.setLandingJitter(m_faults.filterWheelLandingJitter(m_tubeOnSeconds));
    const SimFaults::PinionSlip slip = m_faults.wheelPinionSlip();
    m_wheel.setPinionSlip(slip.afterLongMoves, slip.every);
    m_wheel.update(nowMs());
    return m_wheel;
}

QVector<FilterParams> SimState::filterTable() const
{
    QVector<FilterParams> table;
    for (int p = 0; p <= maxFilterPosition(); ++p) {
        FilterParams params;
        params.encoder = (unsigned short)m_registers.raw(SimRegisterFile::filterTableAddress(p, 0));
        params.materialAtomicNumber =
            (unsigned short)m_registers.raw(SimRegisterFile::filterTableAddress(p, 1));
        params.thicknessInMicrons =
            (unsigned short)m_registers.raw(SimRegisterFile::filterTableAddress(p, 2));
        params.diameterInMicrons =
            (unsigned short)m_registers.raw(SimRegisterFile::filterTableAddress(p, 3));
        table.append(params);
    }
    return table;
}

int SimState::setFilterTable(const FilterParams *params, int count)
{
    if (!params || count < 0 || count > SimRegisterFile::kMaxFilterPositions)
        return EngineInvalidArgument;
    for (int p = 0; p < count; ++p) {
        m_registers.setRaw(SimRegisterFile::filterTableAddress(p, 0), params[p].encoder);
        m_registers.setRaw(SimRegisterFile::filterTableAddress(p, 1),
                           params[p].materialAtomicNumber);
        m_registers.setRaw(SimRegisterFile::filterTableAddress(p, 2), params[p].thicknessInMicrons);
        m_registers.setRaw(SimRegisterFile::filterTableAddress(p, 3), params[p].diameterInMicrons);
    }
    return EngineOk;
}

int SimState::maxFilterPosition() const
{
    return m_wheel.assembly().holes.size() - 1;
}

int SimState::findFilterPosition(int atomicNumber, int thicknessUm, int diameterUm, int hint) const
{
    const QVector<FilterParams> table = filterTable();
    auto matches = [&](int p) {
        const FilterParams &f = table.at(p);
        return f.materialAtomicNumber == atomicNumber && f.thicknessInMicrons == thicknessUm
            && f.diameterInMicrons == diameterUm;
    };
    if (hint >= 0 && hint < table.size() && matches(hint))
        return hint;
    for (int p = 0; p < table.size(); ++p)
        if (matches(p))
            return p;
    return -1;
}

void SimState::amendHardware(const std::function<void(SimModelPreset &)> &change)
{
    const QString wheelBefore = m_preset.wheelPartNumber;
    const int shiftBefore = m_preset.wheelUnitShiftTicks;
    change(m_preset);
    if (m_preset.wheelPartNumber != wheelBefore || m_preset.wheelUnitShiftTicks != shiftBefore)
        m_wheel = SimFilterWheel(
            SimWheelAssembly::byPartNumber(m_preset.wheelPartNumber, m_preset.wheelUnitShiftTicks));
}

XrfHardwareConfig SimState::hardwareConfig() const
{
    XrfHardwareConfig config;
    config.setInsSerialNumber(QString::number(m_registers.raw(RegInstrumentSerialNumber)));
    config.setTubeModel(m_preset.tube.model);
    config.setTubeSerialNumber(m_preset.tube.serialNumber);
    config.setDetectorModel(m_preset.detector.model);
    config.setDetectorSerialNumber(m_preset.detector.serialNumber);
    // The preamplifier and the detector assembly carry the detector's serial with their own
    // prefixes; the power board the digital board's.
    config.setDetectorPreampSerialNumber(QStringLiteral("PA-") + m_preset.detector.serialNumber);
    config.setDetectorAssemblySerialNumber(QStringLiteral("DA-") + m_preset.detector.serialNumber);
    config.setTubeFirmware(QStringLiteral("%1.%2")
                               .arg(m_preset.tube.firmwareVersion / 10)
                               .arg(m_preset.tube.firmwareVersion % 10));
    config.setPowerPcbSerial(QStringLiteral("PWR-") + m_preset.digitalBoardSerialNumber);
    config.setXrfEngineSerialNumber(m_preset.xrfEngineSerialNumber);
    config.setDigitalBoardSerialNumber(m_preset.digitalBoardSerialNumber);
    config.setFpgaFirmwareVersion(m_preset.fpgaFirmwareVersion);
    config.setK60FirmwareVersion(m_preset.k60FirmwareVersion);
    config.setFpgaDna(m_preset.fpgaDna);
    config.setFanPresent(m_preset.fanPresent);
    config.setFilterWheelMotorPresent(m_wheel.assembly().motorized);
    config.setProximitySensorPresent(m_preset.proximitySensorPresent);
    QList<XrfFilterProperties> filters;
    const QVector<FilterParams> table = filterTable();
    for (int p = 0; p < table.size(); ++p) {
        XrfFilterProperties filter(table.at(p).materialAtomicNumber, table.at(p).thicknessInMicrons,
                                   table.at(p).diameterInMicrons);
        filter.setPosition(p);
        filter.setPartNumber(m_wheel.assembly().partNumber);
        filters.append(filter);
    }
    config.setFilters(filters);
    return config;
}

void SimState::log(const QString &line)
{
    m_log.append(QStringLiteral("[%1] %2").arg(qint64(m_clock.nowMs()), 10).arg(line));
    while (m_log.size() > kFirmwareLogLines)
        m_log.removeFirst();
}
