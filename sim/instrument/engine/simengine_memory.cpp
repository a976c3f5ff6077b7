// SimEngine: safety flags, identity, NV and EEPROM, raw register access.
#include "simengine_p.h"

#include <cstring>

using namespace xrf_hal;

namespace {
constexpr unsigned char kCommandFrameStart = 0x20;
constexpr unsigned short kCommandHeaderLength = 7;
} // namespace

int SimEngine::getSafetyModeFlags(unsigned short *flags)
{
    SIM_ENGINE_OPERATION();
    return readTo(RegSafetyModeFlags, flags);
}

int SimEngine::setSafetyModeFlags(unsigned short flags)
{
    SIM_ENGINE_OPERATION();
    return write(RegSafetyModeFlags, flags);
}

int SimEngine::getExposureStatusFlags(unsigned short *flags)
{
    SIM_ENGINE_OPERATION();
    return readTo(RegExposureStatusFlags, flags);
}

int SimEngine::getInterlockFlags(unsigned short *flags)
{
    SIM_ENGINE_OPERATION();
    return readTo(RegInterlockFlags, flags);
}

int SimEngine::getTestStandStatusFlags(unsigned short *flags)
{
    SIM_ENGINE_OPERATION();
    return readTo(RegTestStandStatusFlags, flags);
}

int SimEngine::clearLatchingSafetyFaults()
{
    SIM_ENGINE_OPERATION();
    return write(RegLatchingSafetyFaults, 0);
}

int SimEngine::setInstrumentSerialNumber(unsigned int serialNumber)
{
    SIM_ENGINE_OPERATION();
    return m_state.commitSerialNumber(serialNumber);
}

int SimEngine::getInstrumentSerialNumber(unsigned int *serialNumber)
{
    SIM_ENGINE_OPERATION();
    return readTo(RegInstrumentSerialNumber, serialNumber);
}

int SimEngine::setInstrumentType(unsigned short type)
{
    SIM_ENGINE_OPERATION();
    return write(RegInstrumentType, type);
}

int SimEngine::getInstrumentType(unsigned short *type)
{
    SIM_ENGINE_OPERATION();
    return readTo(RegInstrumentType, type);
}

int SimEngine::saveToNv()
{
    SIM_ENGINE_OPERATION();
    return m_state.saveToNv();
}

int SimEngine::eraseNvSector(unsigned char sector)
{
    SIM_ENGINE_OPERATION();
    return m_state.eraseNvSector(sector);
}

int SimEngine::saveDataToEeprom()
{
    SIM_ENGINE_OPERATION();
    return m_state.startEepromSave();
}

int SimEngine::loadDataFromEeprom()
{
    SIM_ENGINE_OPERATION();
    return m_state.startEepromLoad();
}

int SimEngine::eepromSaveStatus(unsigned char *status)
{
    SIM_ENGINE_OPERATION();
    return readTo(RegEepromSaveStatus, status);
}

int SimEngine::eepromLoadStatus(unsigned char *status)
{
    SIM_ENGINE_OPERATION();
    return readTo(RegEepromLoadStatus, status);
}

int SimEngine::k60Reboot()
{
    SIM_ENGINE_OPERATION();
    if (m_state.exposureActive())
        return EngineBusy;
    m_state.boot();
    return EngineOk;
}

int SimEngine::setGlobalLogLevel(LogLevel level)
{
    SIM_ENGINE_OPERATION();
    if (level < LogLevelError || level > LogLevelTrace)
        return EngineInvalidArgument;
    return write(RegGlobalLogLevel, quint32(level));
}

int SimEngine::readValue16(RegisterAddress address, unsigned short *value)
{
    SIM_ENGINE_OPERATION();
    if (!SimRegisterFile::isAddressable(address))
        return EngineOutOfRange;
    return readTo(address, value);
}

int SimEngine::readValue32(RegisterAddress address, quint32 *value)
{
    SIM_ENGINE_OPERATION();
    if (!SimRegisterFile::isAddressable(address))
        return EngineOutOfRange;
    return readTo(address, value);
}

int SimEngine::writeValue8(RegisterAddress address, quint8 value)
{
    SIM_ENGINE_OPERATION();
    return write(address, value);
}

int SimEngine::writeValue16(RegisterAddress address, quint16 value)
{
    SIM_ENGINE_OPERATION();
    return write(address, value);
}

int SimEngine::writeValue32(RegisterAddress address, quint32 value)
{
    SIM_ENGINE_OPERATION();
    return write(address, value);
}

// Frame: 0x20 0x01 0x00 0x00, payload length (little endian), command code, arguments. The
// simulated K60 knows no command, acknowledges well-formed frames and echoes the command code.
int SimEngine::sendCommandBuffer(const unsigned char *command, unsigned short length,
                                 unsigned char *response, unsigned short responseCapacity)
{
    SIM_ENGINE_OPERATION();
    SIM_REQUIRE(command);
    m_commandFrames.append(QByteArray(reinterpret_cast<const char *>(command), length));
    if (length < kCommandHeaderLength || command[0] != kCommandFrameStart)
        return EngineInvalidArgument;
    const unsigned short payload = (unsigned short)(command[4] | (command[5] << 8));
    if (payload == 0 || kCommandHeaderLength - 1 + payload != length)
        return EngineInvalidArgument;
    m_state.log(QStringLiteral("Command 0x%1 with %2 argument bytes")
                    .arg(command[6], 2, 16, QLatin1Char('0'))
                    .arg(payload - 1));
    if (response && responseCapacity >= 2) {
        response[0] = 0x06; // ACK
        response[1] = command[6];
    }
    return EngineOk;
}

QVector<QByteArray> SimEngine::sentCommandFrames() const
{
    const auto lock = m_state.lock();
    return m_commandFrames;
}

void SimEngine::clearSentCommandFrames()
{
    const auto lock = m_state.lock();
    m_commandFrames.clear();
}
