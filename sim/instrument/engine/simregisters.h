#pragma once

#include "xrfengine.h"

#include <QMap>

// How a controller register is stored and where it persists.
struct SimRegisterInfo
{
    enum Kind { Unsigned, Signed, Float };
    int width = 16; // bits: 8, 16 or 32
    Kind kind = Unsigned;
    xrf_hal::NvSector sector = xrf_hal::NvSectorCalibration;
    bool persistent = true; // saved by saveToNv
    bool live = false; // computed from the instrument on every read; not writable
};

// The controller's register RAM: raw 32-bit words by address. Addresses of the documented map
// have a SimRegisterInfo; any other address of the user range is a plain persistent word, so
// register overrides of the factory setup data land somewhere, as on the K60.
class SimRegisterFile
{
public:
    static constexpr quint16 kUserRangeFirst = 0x0100;
    static constexpr quint16 kUserRangeLast = 0x0fff;
    static constexpr int kMaxFilterPositions = 16;

    static bool isAddressable(quint16 address);
    static SimRegisterInfo info(quint16 address);
    static quint16 filterTableAddress(int position, int field);

    quint32 raw(quint16 address) const { return m_values.value(address, 0); }
    void setRaw(quint16 address, quint32 value);
    bool contains(quint16 address) const { return m_values.contains(address); }

    float toFloat(quint16 address) const;
    void setFloat(quint16 address, float value);
    qint32 toSigned(quint16 address) const;

    // The persistent words of the given sector (NvSectorAll: every sector).
    QMap<quint16, quint32> persistentValues(xrf_hal::NvSector sector) const;
    void assign(const QMap<quint16, quint32> &values) { m_values = values; }
    const QMap<quint16, quint32> &values() const { return m_values; }

private:
    QMap<quint16, quint32> m_values;
};
