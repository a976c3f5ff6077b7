#pragma once

#include "filterwheelsetup.h"

#include <QJsonObject>
#include <QVector>

// One move and count of the sweep.
struct SweepSample
{
    quint16 monitored = 0;
    double icr = 0;
    double ocr = 0;
    double realTimeMs = 0;
    double liveTimeMs = 0;
};

// The state of one filter scan: the instrument, what it has read and what it has measured.
// Operations that fail store their message in results "errorMsg" and return false.
class SweepRun
{
public:
    SweepRun(xrf_hal::XrfEngine *engine, QJsonObject *results, XrfErrorInfo &hardwareError)
        : engine(engine), results(results), hardwareError(hardwareError)
    { }

    // The scan tolerance is half the move tolerance.
    quint16 expectedTolerance() const { return quint16(params.filterEncoderTolerance / 2); }
    bool setTube(int kv, int ua, const QString &voltageError, const QString &currentError);
    // enableTube, again while the high voltage ramps up; 0 or the last code.
    int enableTube();
    // The input count rate at an encoder of the wheel identification (`name` "F7", "F5", "F3").
    bool measureRate(int encoder, const QString &name, double *icr);
    bool moveAndCount(int encoder, int dwellMs, SweepSample *sample);
    bool checkTubeVoltage();
    // True (with the failure stored) after an abort or a hardware error.
    bool abortedOrFaulted();
    // True (with the failure stored) when a hardware error arrived.
    bool hardwareErrorPending();
    void setProgress(double progress);
    void append(int encoder, const SweepSample &sample);
    bool storeSweep();

    xrf_hal::XrfEngine *engine;
    QJsonObject *results;
    XrfErrorInfo &hardwareError;
    const QJsonObject *defaultHwParams = nullptr;
    FilterScanParams params;
    QString filterType;
    int encoderMin = 0;
    int encoderMax = 0;
    int maxPosition = 0;
    QVector<xrf_hal::FilterParams> table;
    quint16 confirmedTolerance = 0;

    bool darkRangeSeen = false;
    bool darkRangeCounted = false;
    double darkRangeMinIcr = 0;

    QVector<int> setEncoders;
    QVector<int> monitoredEncoders;
    QVector<double> icr;
    QVector<double> ocr;
    QVector<double> realTime;
    QVector<double> liveTime;
};

// The encoder of every position from the sweep (blocking positions keep their expected
// encoder), with the per-position results stored as "filterScanResults" by
// storePositionResults once the encoders are final.
struct PositionFinding
{
    int encoder = 0;
    int stepIndex = -1; // the sweep step of the highest rate, -1 when not searched
    double amplitude = 0;
};
QVector<PositionFinding> findPositions(SweepRun &run);
void storePositionResults(SweepRun &run, const QVector<PositionFinding> &findings,
                          const QVector<int> &encoders);
