#pragma once

#include "xrfengine.h"
#include "xrferrorinfo.h"
#include "xrfjsonhelper.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QVector>

// The "filterScan" sub-step's parameters; absent keys keep their defaults.
class FilterScanParams : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(int approxEncOffset MEMBER approxEncOffset)
    Q_PROPERTY(int approxEncSlope MEMBER approxEncSlope)
    Q_PROPERTY(int encoderStep MEMBER encoderStep)
    Q_PROPERTY(int dwellTimeInms MEMBER dwellTimeInms)
    Q_PROPERTY(double range2Examine MEMBER range2Examine)
    Q_PROPERTY(int sweepTubeVoltageInKV MEMBER sweepTubeVoltageInKV)
    Q_PROPERTY(int sweepTubeCurrentInUA MEMBER sweepTubeCurrentInUA)
    Q_PROPERTY(int wheelCheckVoltageInKV MEMBER wheelCheckVoltageInKV)
    Q_PROPERTY(int wheelCheckCurrentInUA MEMBER wheelCheckCurrentInUA)
    Q_PROPERTY(int tubeVoltageMonToleranceInkV MEMBER tubeVoltageMonToleranceInkV)
    Q_PROPERTY(int darkRateMaxAllowable MEMBER darkRateMaxAllowable)
    Q_PROPERTY(int darkRateCheckRangeEncoderMin MEMBER darkRateCheckRangeEncoderMin)
    Q_PROPERTY(int darkRateCheckRangeEncoderMax MEMBER darkRateCheckRangeEncoderMax)
    Q_PROPERTY(int openFilterICRMax MEMBER openFilterICRMax)
    Q_PROPERTY(int encoderOffsetTolerance MEMBER encoderOffsetTolerance)
    Q_PROPERTY(int encoderSlopeTolerance MEMBER encoderSlopeTolerance)
    Q_PROPERTY(int filterEncoderTolerance MEMBER filterEncoderTolerance)
    Q_PROPERTY(double linearFitRSquaredMinReq MEMBER linearFitRSquaredMinReq)
    Q_PROPERTY(int encoderEnd MEMBER encoderEnd)
    Q_PROPERTY(int encoderStart MEMBER encoderStart)

public:
    int approxEncOffset = 0;
    int approxEncSlope = 0;
    int encoderStep = 20;
    int dwellTimeInms = 500;
    double range2Examine = 0;
    int sweepTubeVoltageInKV = 0;
    int sweepTubeCurrentInUA = 0;
    int wheelCheckVoltageInKV = 0;
    int wheelCheckCurrentInUA = 0;
    int tubeVoltageMonToleranceInkV = 0;
    int darkRateMaxAllowable = 0;
    int darkRateCheckRangeEncoderMin = 0;
    int darkRateCheckRangeEncoderMax = 0;
    int openFilterICRMax = 0;
    int encoderOffsetTolerance = 0;
    int encoderSlopeTolerance = 0;
    int filterEncoderTolerance = 0;
    double linearFitRSquaredMinReq = 0;
    int encoderEnd = 0;
    int encoderStart = 0;
};

// The "filterMoveExercise" sub-step's parameters; absent keys keep their defaults.
class FilterMoveExerciseParams : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QJsonArray filterMovementSequence MEMBER filterMovementSequence)
    Q_PROPERTY(int minSucceedCount MEMBER minSucceedCount)
    Q_PROPERTY(int maxCount MEMBER maxCount)
    Q_PROPERTY(int movementTimeoutInMs MEMBER movementTimeoutInMs)
    Q_PROPERTY(int pollIntervalInMs MEMBER pollIntervalInMs)
    Q_PROPERTY(int waitTimeBetweenMoveInMs MEMBER waitTimeBetweenMoveInMs)

public:
    QJsonArray filterMovementSequence;
    int minSucceedCount = 100;
    int maxCount = 2000;
    int movementTimeoutInMs = 500;
    int pollIntervalInMs = 20;
    int waitTimeBetweenMoveInMs = 0;
};

// What the wheel identification measured: the input count rates at the F7, F5 and F3 encoders
// (F5 and F3 are not measured for an ASSY-20772 work order).
struct WheelCheckRates
{
    QString filterType;
    int kv = 0;
    int ua = 0;
    double icrF7 = 0;
    double icrF5 = 0;
    double icrF3 = 0;
};

// The filter wheel scan: finds the encoder of every filter position with the X-ray tube on and
// writes the table into the controller. Every operation blocks the factory thread; waits keep its
// event loop running so that hardware errors and the abort request arrive during the scan.
class FilterWheelSetup
{
public:
    static bool doFilterWheelSweep(xrf_hal::XrfEngine *engine, QJsonObject *params,
                                   const QJsonObject *workOrder, const QJsonObject *defaultHwParams,
                                   QJsonObject *results, XrfErrorInfo &hardwareError);

    // The default table of the wheel assembly `filterType` from the factory setup data's
    // "defaultHwParams"; `out` must hold room for every position of that table.
    static bool getDefaultFilterValues(const QJsonObject &defaultHwParams,
                                       const QString &filterType, xrf_hal::FilterParams *out,
                                       QString *error);
    // The number of positions of that table, or -1 when there is none.
    static int defaultFilterCount(const QJsonObject &defaultHwParams, const QString &filterType);

    // The largest hole (by diameter, the first on ties) among positions 0..maxFilterPosition
    // with that material and thickness. Gives -1, -1 when there is none and -2, -2 without a
    // table.
    static void findMaxHoleGivenZThickness(int maxFilterPosition, xrf_hal::FilterParams *table,
                                           int atomicNumber, int thicknessUm, int *diameter,
                                           int *encoder);

    // Moves the wheel to `target`, waits for it, then counts for `dwellMs`. The first call (with
    // `*tolerance` 0) reads the controller's scan tolerance and checks it against
    // `expectedTolerance`. Failures go into results "errorMsg"; an abort returns false without.
    static bool moveFilterToEncoderValueCheckAndGetCRs(
        xrf_hal::XrfEngine *engine, QJsonObject *results, quint16 target, quint16 *monitored,
        quint16 expectedTolerance, quint16 *tolerance, quint16 dwellMs, double *icr, double *ocr,
        double *realTimeMs, double *liveTimeMs);

    // The message of a wheel that is not the work order's, or an empty string.
    static QString wheelIdentityError(const WheelCheckRates &rates, int darkRateMaxAllowable);

    // Blocking positions (tungsten) take their encoder from their neighbours, kept within the
    // encoder limits.
    static void interpolateBlockedPositions(QVector<int> *encoders,
                                            const QVector<int> &atomicNumbers, int encoderMin,
                                            int encoderMax);

    // Least squares of encoder against position over every position but the last.
    static bool fitEncoders(const QVector<int> &encoders, double *offset, double *slope,
                            double *rSquared, QString *error);
    // The fit's checks against the expected offset and slope.
    static bool checkEncoderFit(const FilterScanParams &params, double offset, double slope,
                                double rSquared, QString *error);

    static constexpr int kBlockingAtomicNumber = 74;
};
