#pragma once

#include "xrfengine.h"

#include <QByteArray>
#include <QVector>

class SimState;

// The simulated register engine: every operation of xrf_hal::XrfEngine over the one instrument
// state. Each operation first asks SimFaults for an injected return code (by its own name), then
// takes the state's lock for its whole run. The operations live in one file per family
// (simengine_tube.cpp, _fpga, _filter, _detector, _sensors, _memory).
class SimEngine : public xrf_hal::XrfEngine
{
public:
    explicit SimEngine(SimState &state);

    // Tube.
    int enableTube() override;
    int disableTube() override;
    int setTubeVoltage(float kv) override;
    int setTubeCurrent(float ua) override;
    int getTubeVoltageSet(float *kv) override;
    int getTubeCurrentSet(float *ua) override;
    int getTubeVoltageMonitored(float *kv) override;
    int getTubeCurrentMonitored(float *ua) override;
    int getTubeInputVoltageMonitored(float *volts) override;
    int getTubeInputCurrentMonitored(float *amps) override;
    int getTubeMaxVoltageLimit(unsigned char *kv) override;
    int getTubeMinVoltageLimit(unsigned char *kv) override;
    int getTubeMaxCurrentLimit(unsigned char *ua) override;
    int getTubeMinCurrentLimit(unsigned char *ua) override;
    int getTubeMaxPower(unsigned char *watts) override;
    int getTubeTemperature(signed char *celsius) override;
    int getTubeReadyTime(unsigned int *ms) override;
    int getTubeFirmwareVersion(unsigned char *version) override;
    int getTubeFaultFlags(unsigned short *flags) override;
    int clearTubeFaults() override;
    int clearFaults() override;
    int clearInterrupts(unsigned short mask) override;
    // FPGA pulse processor.
    int getFpgaGain(quint32 *gain) override;
    int setFpgaGain(quint32 gain) override;
    int getFpgaPeakingTime(unsigned short *ticks) override;
    int setFpgaPeakingTime(unsigned short ticks) override;
    int getFpgaBeforePulseDelay(unsigned short *ticks) override;
    int setFpgaBeforePulseDelay(unsigned short ticks) override;
    int getFpgaAfterPulseDelay(unsigned short *ticks) override;
    int setFpgaAfterPulseDelay(unsigned short ticks) override;
    int setFpgaSyncDelay(qint16 ticks) override;
    int setFpgaThreshold(unsigned short threshold) override;
    int setFpgaMaxFastPulseWidth(unsigned short width) override;
    int setFpgaPulseDelay(unsigned short delay) override;
    int getFpgaResetWidth(unsigned short *clocks) override;
    int setFpgaResetWidth(unsigned short clocks) override;
    int getFpgaResetHeight(unsigned short *height) override;
    int setFpgaInputControl(unsigned short control) override;
    int setFpgaPulseHeightMin(unsigned short value) override;
    int setFpgaPulseHeightMax(unsigned short value) override;
    int setFpgaResetThreshold(unsigned short value) override;
    int setFpgaTotalPulseTime(unsigned short value) override;
    int setFpgaGapTime(unsigned short value) override;
    int setFpgaAdcMin(unsigned short value) override;
    int setFpgaAdcMax(unsigned short value) override;
    int setFpgaAfterPulseResetThreshold(unsigned short value) override;
    int setFpgaPileUpResetThreshold(unsigned short value) override;
    int setFpgaSlopeCancellation(unsigned char value) override;
    int setFpgaLeakageRampFilter(quint32 value) override;
    int setFpgaSlopeThreshold(unsigned short value) override;
    int getFpgaDiagnosticTrace(xrf_hal::FpgaDiagnosticTraceParam trace,
                               QVector<quint32> *bins) override;
    // FPGA auto-cal (automatic gain tracking) and PIN gain correction.
    int setFpgaAutoCalSlopeCancellation(unsigned char value) override;
    int setFpgaAutoCalLeakageRampFilter(quint32 value) override;
    int setFpgaAutoCalSlopeThreshold(unsigned short value) override;
    int setFpgaAutoCalGain(quint32 value) override;
    int setFpgaAutoCalOffset(quint32 value) override;
    int setFpgaAutoCalCountsLimit(quint32 value) override;
    int setFpgaAutoCalTime(quint32 value) override;
    int setFpgaAutoCalPosWindow(quint32 value) override;
    int setFpgaAutoCalSyncDelay(qint16 value) override;
    int setFpgaAutoCalTotalPulseTime(unsigned short value) override;
    int setFpgaAutoCalGapTime(unsigned short value) override;
    int setFpgaAutoCalPeakingTime(unsigned short value) override;
    int setFpgaAutoCalEnableAtStartup(bool enable) override;
    int calibrateFpgaAutoCal() override;
    int disableAutoCal() override;
    int getAutoCalRefPosition(float *channel) override;
    int getAutoCalRefPeakWidth(float *channels) override;
    int getAutoCalPosition(float *channel) override;
    int getAutoCalWidth(float *channels) override;
    int getFpgaAutoCalFpgaDifference(float *value) override;
    int getFpgaAutoCalFpgaAveragePos(float *value) override;
    int getFpgaAutoCalFpgaAverageNeg(float *value) override;
    int getFpgaAutoCalFpgaAverage(float *value) override;
    int getFpgaAutoCalCalculatedScale(unsigned int *scale) override;
    int setAutoCalGainCorrectionOffset(float value) override;
    int getAutoCalGainCorrectionOffset(float *value) override;
    int setAutoCalGainCorrectionSlope(float value) override;
    int getAutoCalGainCorrectionSlope(float *value) override;
    int setAutoCalTemperatureAtCal(float celsius) override;
    int getAutoCalTemperatureAtCal(float *celsius) override;
    int isFilterWheelMotorPresent(unsigned char *present) override;
    int getFilterEncoderMax(unsigned short *encoder) override;
    int getFilterEncoderMin(unsigned short *encoder) override;
    int getMaxFilterPosition(unsigned char *position) override;
    int setFilterMoveTolerance(unsigned short ticks) override;
    int getFilterMoveTolerance(unsigned short *ticks) override;
    int setFilterScanTolerance(unsigned short ticks) override;
    int getFilterTolerance(unsigned short *ticks) override;
    int moveFilterWheel(unsigned short encoder) override;
    int moveFilterWheelPos(unsigned char position) override;
    int getFilterMoveStatus(unsigned char *status) override;
    int getFilterPositionMonitored(unsigned short *position) override;
    int getFilterEncoderSetPoint(unsigned short *encoder) override;
    int getFilterEncoderMonitored(unsigned short *encoder) override;
    // `count` entries from position 0 on.
    int getFilterData(xrf_hal::FilterParams *params, unsigned char count) override;
    int setFilterData(const xrf_hal::FilterParams *params, unsigned char count) override;
    int getFilterType(unsigned short *type) override;
    int setFilterType(unsigned short type) override;
    int getFilterMoveTime(unsigned int *ms) override;
    int getFilterHomeTime(unsigned int *ms) override;
    int getFilterOsc(unsigned short *oscillations) override;
    // MCA acquisition.
    int startMCA() override;
    int stopMCA() override;
    int getAcquisitionStats(xrf_hal::AcquisitionStats *stats) override;
    // Detector.
    int setDetectorDac(xrf_hal::DetectorDacChannels channel, unsigned short value) override;
    int getDetectorDac(xrf_hal::DetectorDacChannels channel, unsigned short *value) override;
    int setShutterStatus(xrf_hal::ShutterStatus status) override;
    int getShutterStatus(xrf_hal::ShutterStatus *status) override;
    int setEepromResetTimerInit(unsigned short value) override;
    int getEepromResetTimerInit(unsigned short *value) override;
    int setEepromResetClocks(unsigned short value) override;
    int getEepromResetClocks(unsigned short *value) override;
    int setEepromFetSubInit(unsigned short value) override;
    int getEepromFetSubInit(unsigned short *value) override;
    int setDetectorResetHeightTarget(unsigned short height) override;
    int setDetectorResetTrackingEnabled(bool enable) override;
    int setDetectorTemperatureCorrectionEpsilon(float value) override;
    int getDetectorTemperatureCorrectionEpsilon(float *value) override;
    int setDetectorTemperatureCorrectionCoeff1(float value) override;
    int getDetectorTemperatureCorrectionCoeff1(float *value) override;
    int setDetectorTemperatureCorrectionCoeff2(float value) override;
    int getDetectorTemperatureCorrectionCoeff2(float *value) override;
    int setDetectorSetTemperature(signed char celsius) override;
    int getDetectorSetTemperature(signed char *celsius) override;
    int getDetectorMonitorTemperature(float *celsius) override;
    int getDetectorSddTempSet(float *volts) override;
    int getDetectorBiasVoltageMonitored(float *volts) override;
    int getDetectorRing1Voltage(float *volts) override;
    int getDetectorRingXVoltage(float *volts) override;
    int getDetectorBackVoltage(float *volts) override;
    int getDetectorResetDacOffset(short *offset) override;
    int getPeltierVoltage(unsigned short *millivolts) override;
    int getPeltierCurrent(short *milliamps) override;
    int getDetectorADCPulseRef1VMon(float *volts) override;
    int getDetectorADCPulseRef2VMon(float *volts) override;
    int getDetectorADCPulseDiffVMon(float *volts) override;
    int getDetectorADCVRefBuf(float *volts) override;
    int getDetectorADCVCom(float *volts) override;
    int getDetectorADCTecVRef(float *volts) override;
    // Sensors.
    int getAnalogFrontEndTemperature(float *celsius) override;
    int getDigitalBoardTemperature(float *celsius) override;
    int getBarometerTemperature(float *celsius) override;
    int getProximityTemperature(float *celsius) override;
    int getPreampTemperature(float *celsius) override;
    int getPreampHotSideTemperature(float *celsius) override;
    int getAmbientPressureMillibars(float *millibar) override;
    int setAccelerometerNormal(float x, float y, float z) override;
    int getAccelerometerVector(float *x, float *y, float *z) override;
    int setProximitySensorThreshold(unsigned short threshold) override;
    int getProximitySensorDistance(unsigned short *value) override;
    int setFanSpeed(unsigned char duty) override;
    int getFanSpeed(unsigned short *rpm) override;
    int getSupplyVoltage(float *volts) override;
    int getSupercapVoltage(float *volts) override;
    int getDebugRegister0(unsigned short *value) override;
    int getDebugRegister1(unsigned short *value) override;
    int getDebugRegister2(unsigned int *value) override;
    int getDebugRegister3(unsigned int *value) override;
    int getDebugRegister4(float *value) override;
    int getDebugRegister5(float *value) override;
    int getDebugRegister6(float *value) override;
    int getDebugRegister7(float *value) override;
    // Safety and test stand.
    int getSafetyModeFlags(unsigned short *flags) override;
    int setSafetyModeFlags(unsigned short flags) override;
    int getExposureStatusFlags(unsigned short *flags) override;
    int getInterlockFlags(unsigned short *flags) override;
    int getTestStandStatusFlags(unsigned short *flags) override;
    int clearLatchingSafetyFaults() override;
    // Identity and memory.
    int setInstrumentSerialNumber(unsigned int serialNumber) override;
    int getInstrumentSerialNumber(unsigned int *serialNumber) override;
    int setInstrumentType(unsigned short type) override;
    int getInstrumentType(unsigned short *type) override;
    int saveToNv() override;
    int eraseNvSector(unsigned char sector) override;
    int saveDataToEeprom() override;
    int loadDataFromEeprom() override;
    int eepromSaveStatus(unsigned char *status) override;
    int eepromLoadStatus(unsigned char *status) override;
    int k60Reboot() override;
    int setGlobalLogLevel(xrf_hal::LogLevel level) override;
    // Raw access.
    int readValue16(xrf_hal::RegisterAddress address, unsigned short *value) override;
    int readValue32(xrf_hal::RegisterAddress address, quint32 *value) override;
    int writeValue8(xrf_hal::RegisterAddress address, quint8 value) override;
    int writeValue16(xrf_hal::RegisterAddress address, quint16 value) override;
    int writeValue32(xrf_hal::RegisterAddress address, quint32 value) override;
    int sendCommandBuffer(const unsigned char *command, unsigned short length,
                          unsigned char *response, unsigned short responseCapacity) override;

    // The command frames sent with sendCommandBuffer, oldest first, for inspection.
    QVector<QByteArray> sentCommandFrames() const;
    void clearSentCommandFrames();

private:
    template<typename T>
    int readTo(quint16 address, T *out);
    int readFloatTo(quint16 address, float *out);
    int write(quint16 address, quint32 value);
    int writeFloat(quint16 address, float value);
    // A measured value, unless SimFaults overrides the getter's reading.
    template<typename T>
    int measured(const char *getter, T *out, double value);
    int measuredVector(const char *getter, float *x, float *y, float *z, const double values[3]);

    SimState &m_state;
    QVector<QByteArray> m_commandFrames; // guarded by the state's lock
};
