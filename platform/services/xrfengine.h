#pragma once

#include "xrfservice.h"

#include <QVector>
#include <QtGlobal>

namespace xrf_hal {

enum ShutterStatus : int {
    ShutterClosed = 0,
    ShutterOpen = 1,
};

// Return codes shared by every operation. 0 is success; the K60 answers the negative codes.
enum EngineReturnCode : int {
    EngineOk = 0,
    EngineGeneralError = -1,
    EngineInvalidArgument = -2,
    EngineBusy = -3,
    EngineOutOfRange = -5,
    EngineNotPresent = -6,
    EngineTimeout = -7,
    EngineNotReady = -9,
    EngineTubeNotReady = -14, // enableTube: the high voltage is still ramping; call again
    EngineTubeFault = -15,
    EngineInterlockOpen = -16,
    EngineNvWriteFailed = -20,
    EngineEepromFailed = -21,
    EngineCommunicationError = -30,
};

// Filter wheel move status (getFilterMoveStatus).
enum FilterMoveStatus : unsigned char {
    FilterMoveIdle = 0,
    FilterMoveInPosition = 1,
    FilterMoving = 8,
    FilterMoveFailed = 18,
};

// Detector DAC channels (setDetectorDac).
enum DetectorDacChannels : int {
    DetectorDacBias = 0,
    DetectorDacFetSub = 1, // FET subtraction, 12 bits
    DetectorDacRing1 = 2,
    DetectorDacRingX = 3,
    DetectorDacBack = 4,
    DetectorDacResetWidth = 5, // reset width ("reset timer"), 12 bits
};

enum LogLevel : int {
    LogLevelError = 0,
    LogLevelInfo = 1,
    LogLevelDebug = 2,
    LogLevelTrace = 3,
};

// Traces of the FPGA diagnostic port (getFpgaDiagnosticTrace).
enum FpgaDiagnosticTraceParam : int {
    FpgaTraceAdcHistogram = 0, // 256 bins of 256 ADC codes each
    FpgaTraceRawAdc = 1, // the latest 256 raw ADC samples
};

// Non-volatile memory sectors (eraseNvSector).
enum NvSector : unsigned char {
    NvSectorIdentity = 0, // serial number, instrument type
    NvSectorCalibration = 1, // FPGA, auto-cal, gain and temperature correction, detector set points
    NvSectorFilter = 2, // filter table, filter type and tolerances
    NvSectorSafety = 3, // safety mode flags
    NvSectorAll = 0xff,
};

// Status bytes of eepromSaveStatus / eepromLoadStatus: 0 while busy, non-zero when done.
enum EepromStatus : unsigned char {
    EepromBusy = 0,
    EepromDone = 1,
    EepromFailed = 2,
};

// Register addresses of the K60 controller. Values are 16 or 32 bits wide; readValue16 of a
// 32-bit register answers its low half. Float registers hold the IEEE-754 bit pattern.
enum RegisterAddress : unsigned short {
    RegInstrumentSerialNumber = 0x0100, // 32 bits
    RegInstrumentType = 0x0102,

    RegTubeVoltageSet = 0x0200, // float kV
    RegTubeCurrentSet = 0x0202, // float uA
    RegTubeEnable = 0x0204,
    RegTubeFaultFlags = 0x0206, // live
    RegTubeVoltageMonitored = 0x0220, // live, float kV
    RegTubeCurrentMonitored = 0x0222, // live, float uA

    RegFpgaGain = 0x0300, // 32 bits
    RegFpgaPeakingTime = 0x0302,
    RegFpgaBeforePulseDelay = 0x0303,
    RegFpgaAfterPulseDelay = 0x0304,
    RegFpgaSyncDelay = 0x0305,
    RegFpgaThreshold = 0x0306,
    RegFpgaMaxFastPulseWidth = 0x0307,
    RegFpgaPulseDelay = 0x0308,
    RegFpgaResetWidth = 0x0309,
    RegFpgaInputControl = 0x030a,
    RegFpgaPulseHeightMin = 0x030b,
    RegFpgaPulseHeightMax = 0x030c,
    RegFpgaResetThreshold = 0x030d,
    RegFpgaTotalPulseTime = 0x030e,
    RegFpgaGapTime = 0x030f,
    RegFpgaAdcMin = 0x0310,
    RegFpgaAdcMax = 0x0311,
    RegFpgaAfterPulseResetThreshold = 0x0312,
    RegFpgaPileUpResetThreshold = 0x0313,
    RegFpgaSlopeCancellation = 0x0314,
    RegFpgaLeakageRampFilter = 0x0315, // 32 bits
    RegFpgaSlopeThreshold = 0x0316,
    RegFpgaAutoCalSlopeCancellation = 0x0317,
    RegFpgaAutoCalLeakageRampFilter = 0x0318, // 32 bits
    RegFpgaAutoCalSlopeThreshold = 0x0319,
    RegFpgaAutoCalGain = 0x0320, // 32 bits
    RegFpgaAutoCalOffset = 0x0321, // 32 bits
    RegFpgaAutoCalCountsLimit = 0x0322, // 32 bits
    RegFpgaAutoCalTime = 0x0323, // 32 bits
    RegFpgaAutoCalPosWindow = 0x0324, // 32 bits
    RegFpgaAutoCalSyncDelay = 0x0325,
    RegFpgaAutoCalTotalPulseTime = 0x0326,
    RegFpgaAutoCalGapTime = 0x0327,
    RegFpgaAutoCalPeakingTime = 0x0328,
    RegFpgaAutoCalEnableAtStartup = 0x0329,
    RegFpgaAutoCalEnabled = 0x032a,
    RegFpgaAutoCalRefPosition = 0x032b, // float channel
    RegFpgaAutoCalRefPeakWidth = 0x032c, // float channels
    RegAutoCalGainCorrectionOffset = 0x0330, // float
    RegAutoCalGainCorrectionSlope = 0x0331, // float
    RegAutoCalTemperatureAtCal = 0x0332, // float
    RegFpgaResetHeight = 0x0340, // live

    RegFilterMoveTolerance = 0x0440,
    RegFilterScanTolerance = 0x0441,
    RegFilterEncoderSetPoint = 0x0442,
    RegFilterEncoderMonitored = 0x0443, // live
    RegFilterMoveStatus = 0x0444, // live
    RegFilterPositionMonitored = 0x0445, // live
    RegFilterType = 0x0453, // bit 0: fixed filter
    RegFilterTable = 0x0460, // 4 words per position: encoder, atomic number, thickness, diameter

    RegDetectorStatus = 0x0500, // live: bit 0 bias on, bit 1 ready (at its set temperature)
    RegDetectorSetTemperature = 0x0501, // signed degrees C
    RegDetectorDac = 0x0510, // + channel
    RegDetectorTempCorrectionEpsilon = 0x0520, // float
    RegDetectorTempCorrectionCoeff1 = 0x0521, // float
    RegDetectorTempCorrectionCoeff2 = 0x0522, // float
    RegDetectorResetHeightTarget = 0x0523,
    RegDetectorResetTrackingEnabled = 0x0524,
    RegDetectorShutter = 0x0525,

    RegSafetyModeFlags = 0x0600,
    RegExposureStatusFlags = 0x0601, // live: bit 1 test stand present
    RegInterlockFlags = 0x0602, // live: bit 5 interlock open
    RegTestStandStatusFlags = 0x0603, // live: bit 0 communication ok, bit 1 lid closed
    RegLatchingSafetyFaults = 0x0604,
    RegInterruptFlags = 0x0605,

    RegFanSpeedSet = 0x0700,
    RegProximityThreshold = 0x0701,
    RegAccelerometerNormalX = 0x0702, // float
    RegAccelerometerNormalY = 0x0703, // float
    RegAccelerometerNormalZ = 0x0704, // float
    RegGlobalLogLevel = 0x0705,

    RegEepromSaveStatus = 0x0800, // live
    RegEepromLoadStatus = 0x0801, // live
    RegEepromResetTimerInit = 0x0810,
    RegEepromResetClocks = 0x0811,
    RegEepromFetSubInit = 0x0812,

    RegDebug0 = 0x0900, // 0x0900..0x0907: debug variables 0-7
};

// One filter wheel position as the controller keeps it.
struct FilterParams
{
    unsigned short encoder = 0;
    unsigned short materialAtomicNumber = 0;
    unsigned short thicknessInMicrons = 0;
    unsigned short diameterInMicrons = 0;
};

// Statistics of the last MCA acquisition (startMCA .. stopMCA).
struct AcquisitionStats
{
    quint64 realTimeUs = 0;
    quint64 liveTimeUs = 0;
    unsigned int inputCounts = 0; // fast channel ("fast counts")
    unsigned int outputCounts = 0; // slow channel, processed events ("slow counts")
    unsigned int acquisitionTime = 0; // ms
    quint64 resetTime = 0; // ns spent in detector resets
    unsigned int resetCount = 0;
    unsigned int topResetCount = 0;
    unsigned int pileupCount = 0;
    unsigned int clippedTopCount = 0;
    unsigned int clippedBottomCount = 0;
    unsigned int widthRejectsCount = 0;
};

// Register-level access to the instrument's controller, its non-volatile memory ("NV") and the
// detector EEPROM. Every operation returns 0 on success and otherwise a hardware error code.
// Units: kV, uA, W for the tube; degrees C; V; millibar; encoder ticks; FPGA ticks of 1/64 us.
class XrfEngine
{
    XRF_DECLARE_SERVICE(XrfEngine)
public:
    virtual ~XrfEngine() = default;

    // Tube.
    virtual int enableTube() = 0; // EngineTubeNotReady while the high voltage ramps up
    virtual int disableTube() = 0;
    virtual int setTubeVoltage(float kv) = 0;
    virtual int setTubeCurrent(float ua) = 0;
    virtual int getTubeVoltageSet(float *kv) = 0;
    virtual int getTubeCurrentSet(float *ua) = 0;
    virtual int getTubeVoltageMonitored(float *kv) = 0;
    virtual int getTubeCurrentMonitored(float *ua) = 0;
    virtual int getTubeInputVoltageMonitored(float *volts) = 0;
    virtual int getTubeInputCurrentMonitored(float *amps) = 0;
    virtual int getTubeMaxVoltageLimit(unsigned char *kv) = 0;
    virtual int getTubeMinVoltageLimit(unsigned char *kv) = 0;
    virtual int getTubeMaxCurrentLimit(unsigned char *ua) = 0;
    virtual int getTubeMinCurrentLimit(unsigned char *ua) = 0;
    virtual int getTubeMaxPower(unsigned char *watts) = 0;
    virtual int getTubeTemperature(signed char *celsius) = 0;
    virtual int getTubeReadyTime(unsigned int *ms) = 0; // ramp time of the last enable
    virtual int getTubeFirmwareVersion(unsigned char *version) = 0;
    virtual int getTubeFaultFlags(unsigned short *flags) = 0;
    virtual int clearTubeFaults() = 0;
    virtual int clearFaults() = 0;
    virtual int clearInterrupts(unsigned short mask) = 0;

    // FPGA pulse processor.
    virtual int getFpgaGain(quint32 *gain) = 0;
    virtual int setFpgaGain(quint32 gain) = 0;
    virtual int getFpgaPeakingTime(unsigned short *ticks) = 0;
    virtual int setFpgaPeakingTime(unsigned short ticks) = 0;
    virtual int getFpgaBeforePulseDelay(unsigned short *ticks) = 0;
    virtual int setFpgaBeforePulseDelay(unsigned short ticks) = 0;
    virtual int getFpgaAfterPulseDelay(unsigned short *ticks) = 0;
    virtual int setFpgaAfterPulseDelay(unsigned short ticks) = 0;
    virtual int setFpgaSyncDelay(qint16 ticks) = 0;
    virtual int setFpgaThreshold(unsigned short threshold) = 0;
    virtual int setFpgaMaxFastPulseWidth(unsigned short width) = 0;
    virtual int setFpgaPulseDelay(unsigned short delay) = 0;
    virtual int getFpgaResetWidth(unsigned short *clocks) = 0;
    virtual int setFpgaResetWidth(unsigned short clocks) = 0;
    virtual int getFpgaResetHeight(unsigned short *height) = 0;
    virtual int setFpgaInputControl(unsigned short control) = 0;
    virtual int setFpgaPulseHeightMin(unsigned short value) = 0;
    virtual int setFpgaPulseHeightMax(unsigned short value) = 0;
    virtual int setFpgaResetThreshold(unsigned short value) = 0;
    virtual int setFpgaTotalPulseTime(unsigned short value) = 0;
    virtual int setFpgaGapTime(unsigned short value) = 0;
    virtual int setFpgaAdcMin(unsigned short value) = 0;
    virtual int setFpgaAdcMax(unsigned short value) = 0;
    virtual int setFpgaAfterPulseResetThreshold(unsigned short value) = 0;
    virtual int setFpgaPileUpResetThreshold(unsigned short value) = 0;
    virtual int setFpgaSlopeCancellation(unsigned char value) = 0;
    virtual int setFpgaLeakageRampFilter(quint32 value) = 0;
    virtual int setFpgaSlopeThreshold(unsigned short value) = 0;
    virtual int getFpgaDiagnosticTrace(FpgaDiagnosticTraceParam trace, QVector<quint32> *bins) = 0;

    // FPGA auto-cal (automatic gain tracking) and PIN gain correction.
    virtual int setFpgaAutoCalSlopeCancellation(unsigned char value) = 0;
    virtual int setFpgaAutoCalLeakageRampFilter(quint32 value) = 0;
    virtual int setFpgaAutoCalSlopeThreshold(unsigned short value) = 0;
    virtual int setFpgaAutoCalGain(quint32 value) = 0;
    virtual int setFpgaAutoCalOffset(quint32 value) = 0;
    virtual int setFpgaAutoCalCountsLimit(quint32 value) = 0;
    virtual int setFpgaAutoCalTime(quint32 value) = 0;
    virtual int setFpgaAutoCalPosWindow(quint32 value) = 0;
    virtual int setFpgaAutoCalSyncDelay(qint16 value) = 0;
    virtual int setFpgaAutoCalTotalPulseTime(unsigned short value) = 0;
    virtual int setFpgaAutoCalGapTime(unsigned short value) = 0;
    virtual int setFpgaAutoCalPeakingTime(unsigned short value) = 0;
    virtual int setFpgaAutoCalEnableAtStartup(bool enable) = 0;
    virtual int calibrateFpgaAutoCal() = 0; // takes the reference peak and enables tracking
    virtual int disableAutoCal() = 0;
    virtual int getAutoCalRefPosition(float *channel) = 0; // NaN before the first calibration
    virtual int getAutoCalRefPeakWidth(float *channels) = 0;
    virtual int getAutoCalPosition(float *channel) = 0;
    virtual int getAutoCalWidth(float *channels) = 0;
    virtual int getFpgaAutoCalFpgaDifference(float *value) = 0;
    virtual int getFpgaAutoCalFpgaAveragePos(float *value) = 0;
    virtual int getFpgaAutoCalFpgaAverageNeg(float *value) = 0;
    virtual int getFpgaAutoCalFpgaAverage(float *value) = 0;
    virtual int getFpgaAutoCalCalculatedScale(unsigned int *scale) = 0;
    virtual int setAutoCalGainCorrectionOffset(float value) = 0;
    virtual int getAutoCalGainCorrectionOffset(float *value) = 0;
    virtual int setAutoCalGainCorrectionSlope(float value) = 0;
    virtual int getAutoCalGainCorrectionSlope(float *value) = 0;
    virtual int setAutoCalTemperatureAtCal(float celsius) = 0;
    virtual int getAutoCalTemperatureAtCal(float *celsius) = 0;

    // Filter wheel. Positions run from 0 to the maximum filter position, both included.
    virtual int isFilterWheelMotorPresent(unsigned char *present) = 0;
    virtual int getFilterEncoderMax(unsigned short *encoder) = 0;
    virtual int getFilterEncoderMin(unsigned short *encoder) = 0;
    virtual int getMaxFilterPosition(unsigned char *position) = 0;
    virtual int setFilterMoveTolerance(unsigned short ticks) = 0; // moves to a position
    virtual int getFilterMoveTolerance(unsigned short *ticks) = 0;
    virtual int setFilterScanTolerance(unsigned short ticks) = 0; // moves to an encoder value
    virtual int getFilterTolerance(unsigned short *ticks) = 0; // the scan tolerance in force
    virtual int moveFilterWheel(unsigned short encoder) = 0;
    virtual int moveFilterWheelPos(unsigned char position) = 0;
    virtual int getFilterMoveStatus(unsigned char *status) = 0; // FilterMoveStatus
    virtual int getFilterPositionMonitored(unsigned short *position) = 0;
    virtual int getFilterEncoderSetPoint(unsigned short *encoder) = 0;
    virtual int getFilterEncoderMonitored(unsigned short *encoder) = 0;
    // `count` entries from position 0 on.
    virtual int getFilterData(FilterParams *params, unsigned char count) = 0;
    virtual int setFilterData(const FilterParams *params, unsigned char count) = 0;
    virtual int getFilterType(unsigned short *type) = 0;
    virtual int setFilterType(unsigned short type) = 0;
    virtual int getFilterMoveTime(unsigned int *ms) = 0;
    virtual int getFilterHomeTime(unsigned int *ms) = 0;
    virtual int getFilterOsc(unsigned short *oscillations) = 0;

    // MCA acquisition.
    virtual int startMCA() = 0;
    virtual int stopMCA() = 0;
    virtual int getAcquisitionStats(AcquisitionStats *stats) = 0;

    // Detector.
    virtual int setDetectorDac(DetectorDacChannels channel, unsigned short value) = 0;
    virtual int getDetectorDac(DetectorDacChannels channel, unsigned short *value) = 0;
    virtual int setShutterStatus(ShutterStatus status) = 0;
    virtual int getShutterStatus(ShutterStatus *status) = 0;
    virtual int setEepromResetTimerInit(unsigned short value) = 0;
    virtual int getEepromResetTimerInit(unsigned short *value) = 0;
    virtual int setEepromResetClocks(unsigned short value) = 0;
    virtual int getEepromResetClocks(unsigned short *value) = 0;
    virtual int setEepromFetSubInit(unsigned short value) = 0;
    virtual int getEepromFetSubInit(unsigned short *value) = 0;
    virtual int setDetectorResetHeightTarget(unsigned short height) = 0;
    virtual int setDetectorResetTrackingEnabled(bool enable) = 0;
    virtual int setDetectorTemperatureCorrectionEpsilon(float value) = 0;
    virtual int getDetectorTemperatureCorrectionEpsilon(float *value) = 0;
    virtual int setDetectorTemperatureCorrectionCoeff1(float value) = 0;
    virtual int getDetectorTemperatureCorrectionCoeff1(float *value) = 0;
    virtual int setDetectorTemperatureCorrectionCoeff2(float value) = 0;
    virtual int getDetectorTemperatureCorrectionCoeff2(float *value) = 0;
    virtual int setDetectorSetTemperature(signed char celsius) = 0;
    virtual int getDetectorSetTemperature(signed char *celsius) = 0;
    virtual int getDetectorMonitorTemperature(float *celsius) = 0;
    virtual int getDetectorSddTempSet(float *volts) = 0;
    virtual int getDetectorBiasVoltageMonitored(float *volts) = 0;
    virtual int getDetectorRing1Voltage(float *volts) = 0;
    virtual int getDetectorRingXVoltage(float *volts) = 0;
    virtual int getDetectorBackVoltage(float *volts) = 0;
    virtual int getDetectorResetDacOffset(short *offset) = 0;
    virtual int getPeltierVoltage(unsigned short *millivolts) = 0;
    virtual int getPeltierCurrent(short *milliamps) = 0;
    virtual int getDetectorADCPulseRef1VMon(float *volts) = 0;
    virtual int getDetectorADCPulseRef2VMon(float *volts) = 0;
    virtual int getDetectorADCPulseDiffVMon(float *volts) = 0;
    virtual int getDetectorADCVRefBuf(float *volts) = 0;
    virtual int getDetectorADCVCom(float *volts) = 0;
    virtual int getDetectorADCTecVRef(float *volts) = 0;

    // Sensors.
    virtual int getAnalogFrontEndTemperature(float *celsius) = 0;
    virtual int getDigitalBoardTemperature(float *celsius) = 0;
    virtual int getBarometerTemperature(float *celsius) = 0;
    virtual int getProximityTemperature(float *celsius) = 0; // the probe temperature
    virtual int getPreampTemperature(float *celsius) = 0;
    virtual int getPreampHotSideTemperature(float *celsius) = 0;
    virtual int getAmbientPressureMillibars(float *millibar) = 0;
    virtual int setAccelerometerNormal(float x, float y, float z) = 0;
    virtual int getAccelerometerVector(float *x, float *y, float *z) = 0; // in g
    virtual int setProximitySensorThreshold(unsigned short threshold) = 0;
    virtual int getProximitySensorDistance(unsigned short *value) = 0;
    virtual int setFanSpeed(unsigned char duty) = 0; // 0..255
    virtual int getFanSpeed(unsigned short *rpm) = 0;
    virtual int getSupplyVoltage(float *volts) = 0;
    virtual int getSupercapVoltage(float *volts) = 0;
    virtual int getDebugRegister0(unsigned short *value) = 0;
    virtual int getDebugRegister1(unsigned short *value) = 0;
    virtual int getDebugRegister2(unsigned int *value) = 0;
    virtual int getDebugRegister3(unsigned int *value) = 0;
    virtual int getDebugRegister4(float *value) = 0;
    virtual int getDebugRegister5(float *value) = 0;
    virtual int getDebugRegister6(float *value) = 0;
    virtual int getDebugRegister7(float *value) = 0;

    // Safety and test stand.
    virtual int getSafetyModeFlags(unsigned short *flags) = 0;
    virtual int setSafetyModeFlags(unsigned short flags) = 0;
    virtual int getExposureStatusFlags(unsigned short *flags) = 0;
    virtual int getInterlockFlags(unsigned short *flags) = 0;
    virtual int getTestStandStatusFlags(unsigned short *flags) = 0;
    virtual int clearLatchingSafetyFaults() = 0;

    // Identity and memory.
    virtual int setInstrumentSerialNumber(unsigned int serialNumber) = 0; // committed at once
    virtual int getInstrumentSerialNumber(unsigned int *serialNumber) = 0;
    virtual int setInstrumentType(unsigned short type) = 0;
    virtual int getInstrumentType(unsigned short *type) = 0;
    virtual int saveToNv() = 0;
    virtual int eraseNvSector(unsigned char sector) = 0; // NvSector; takes effect at the next boot
    virtual int saveDataToEeprom() = 0;
    virtual int loadDataFromEeprom() = 0;
    virtual int eepromSaveStatus(unsigned char *status) = 0; // EepromStatus
    virtual int eepromLoadStatus(unsigned char *status) = 0;
    virtual int k60Reboot() = 0;
    virtual int setGlobalLogLevel(LogLevel level) = 0;

    // Raw access.
    virtual int readValue16(RegisterAddress address, unsigned short *value) = 0;
    virtual int readValue32(RegisterAddress address, quint32 *value) = 0;
    virtual int writeValue8(RegisterAddress address, quint8 value) = 0;
    virtual int writeValue16(RegisterAddress address, quint16 value) = 0;
    virtual int writeValue32(RegisterAddress address, quint32 value) = 0;
    // Sends a raw command frame; the answer is written to `response` (at most `responseCapacity`).
    virtual int sendCommandBuffer(const unsigned char *command, unsigned short length,
                                  unsigned char *response, unsigned short responseCapacity) = 0;
};

} // namespace xrf_hal
