// The filter wheel scan: wheel identification, the sweep of the whole encoder range with the tube
// on, the encoder of every filter position, the table written to the controller and its fit.
#include "filterwheelsetup.h"
#include "filterwheelsetup_p.h"
#include "filterwheelsweep_p.h"
#include "xrffactorymanager_p.h"

#include <QDebug>

#include <cmath>

using FilterWheelScan::fail;

namespace {

constexpr int kDarkRateSettleMs = 1000;
constexpr int kLongDwellEncoderLimit = 1499;
constexpr int kLongDwellFactor = 10;

bool checkMotor(SweepRun &run)
{
    unsigned char present = 0;
    const int code = run.engine->isFilterWheelMotorPresent(&present);
    if (code != 0)
        return fail(run.results,
                    QStringLiteral("Filter scan error.\nFailed to get filter wheel "
                                   "\nmotor status from K60,  %1")
                        .arg(code));
    if (present == 0)
        return fail(run.results,
                    QStringLiteral("Failed to detect filter wheel motor. Filter motor "
                                   "status returned by K60 is: %1")
                        .arg(present));
    return true;
}

// One encoder limit from the K60, or the setup file's value (with the warning) when it cannot
// tell; `warning` takes the error code and the value used.
int readEncoderLimit(int (xrf_hal::XrfEngine::*getter)(unsigned short *), SweepRun &run,
                     int fallback, const char *warning)
{
    unsigned short value = 0;
    const int code = (run.engine->*getter)(&value);
    if (code == 0)
        return value;
    qWarning().noquote() << QString::fromLatin1(warning).arg(code).arg(fallback);
    return fallback;
}

void readEncoderLimits(SweepRun &run)
{
    run.encoderMax =
        readEncoderLimit(&xrf_hal::XrfEngine::getFilterEncoderMax, run, run.params.encoderEnd,
                         "Failed to read filter encoder max from K60, Err:%1. Using "
                         "value:%2 from setup file.");
    run.results->insert(QStringLiteral("encoderMax"), run.encoderMax);
    qDebug() << "Filter sweep -  current max encoder value read: " << run.encoderMax;
    run.encoderMin =
        readEncoderLimit(&xrf_hal::XrfEngine::getFilterEncoderMin, run, run.params.encoderStart,
                         "Filter sweep: Failed to read filter encoder min from K60, "
                         "Err:%1.Using value %2 from setup file");
    qDebug() << "Filter sweep - Encoder Min: " << run.encoderMin;
    run.results->insert(QStringLiteral("encoderMin"), run.encoderMin);
}

bool readTable(SweepRun &run)
{
    unsigned char maxPosition = 0;
    const int code = run.engine->getMaxFilterPosition(&maxPosition);
    if (code != 0)
        return fail(run.results,
                    QStringLiteral("Filter scan FAILED.\nFailed to get max filter "
                                   "position from K60,  %1")
                        .arg(code));
    run.maxPosition = maxPosition;
    qDebug() << "Filter sweep - max filter position: " << run.maxPosition;
    QString error;
    const int count = FilterWheelSetup::defaultFilterCount(*run.defaultHwParams, run.filterType);
    run.table.resize(qMax(count, 0));
    if (!FilterWheelSetup::getDefaultFilterValues(*run.defaultHwParams, run.filterType,
                                                  run.table.data(), &error))
        return fail(run.results,
                    QStringLiteral("Filter scan failed. Failed to read default filter "
                                   "params from factory_setup_data.json, error:%1")
                        .arg(error));
    // A table of another length than the wheel would leave positions unset or be refused.
    if (run.table.size() != run.maxPosition + 1)
        return fail(run.results,
                    QStringLiteral("Filter scan failed. Default filter params of %1 "
                                   "hold %2 positions, the K60 reports %3.")
                        .arg(run.filterType)
                        .arg(run.table.size())
                        .arg(run.maxPosition + 1));
    return true;
}

bool setTolerances(SweepRun &run)
{
    const int tolerance = run.params.filterEncoderTolerance;
    int code = run.engine->setFilterMoveTolerance(quint16(tolerance));
    if (code == 0)
        code = run.engine->setFilterScanTolerance(run.expectedTolerance());
    if (code != 0)
        return fail(run.results,
                    QStringLiteral("Failed to set filter tolerance in K60 NV, %1").arg(code));
    return true;
}

bool checkDarkRate(SweepRun &run)
{
    const QString stage =
        QStringLiteral("Filter scan FAILED checking dark rate before tube turn-on");
    run.engine->disableTube();
    XrfUtils::activeSleep(kDarkRateSettleMs);
    run.engine->clearFaults();
    int code = run.engine->startMCA();
    if (code != 0)
        return fail(run.results, stage + QStringLiteral(" 1.\nFailed to start MCA, %1").arg(code));
    XrfUtils::activeSleep(run.params.dwellTimeInms);
    code = run.engine->stopMCA();
    if (code != 0)
        return fail(run.results, stage + QStringLiteral(" 2.\nFailed to stop MCA, %1").arg(code));
    xrf_hal::AcquisitionStats stats;
    code = run.engine->getAcquisitionStats(&stats);
    if (code == 0 && stats.realTimeUs == 0)
        code = xrf_hal::EngineOutOfRange;
    if (code != 0)
        return fail(run.results,
                    stage + QStringLiteral(" 3.\nFailed to get acquisition stats, %1").arg(code));
    const double darkRate = stats.inputCounts / (stats.realTimeUs / 1000000.0);
    if (darkRate >= run.params.darkRateMaxAllowable)
        return fail(run.results,
                    stage
                        + QStringLiteral(".\nDark rate %1cps exceeds threshold %2cps")
                              .arg(darkRate)
                              .arg(run.params.darkRateMaxAllowable));
    return true;
}

// The encoders of F7, F5 and F3 as the expected table places them.
bool identifyWheel(SweepRun &run)
{
    const FilterScanParams &p = run.params;
    if (!run.setTube(p.wheelCheckVoltageInKV, p.wheelCheckCurrentInUA,
                     QStringLiteral("Filter scan FAILED.\nFailed to set tube voltage for filter "
                                    "wheel check, %1"),
                     QStringLiteral("Filter scan FAILED.\nFailed to set tube current for filter "
                                    "wheel check, %1")))
        return false;
    qDebug() << "Checking filter wheel correct using " << p.wheelCheckVoltageInKV << "kV "
             << p.wheelCheckCurrentInUA << "uA";
    run.engine->clearTubeFaults();
    run.engine->setShutterStatus(xrf_hal::ShutterOpen);
    const int code = run.enableTube();
    if (code != 0)
        return fail(run.results,
                    QStringLiteral("Filter scan FAILED.\nFailed to enable tube for wheel check, %1")
                        .arg(code));
    WheelCheckRates rates{run.filterType, p.wheelCheckVoltageInKV, p.wheelCheckCurrentInUA};
    const int f7 = 7 * p.approxEncSlope + p.approxEncOffset;
    if (!run.measureRate(qMin(f7, run.encoderMax), QStringLiteral("F7"), &rates.icrF7))
        return false;
    if (rates.filterType != QLatin1String("ASSY-20772")) {
        const int f5 = f7 - 2 * p.approxEncSlope;
        if (!run.measureRate(f5, QStringLiteral("F5"), &rates.icrF5)
            || !run.measureRate(f5 - 2 * p.approxEncSlope, QStringLiteral("F3"), &rates.icrF3))
            return false;
    }
    const QString error = FilterWheelSetup::wheelIdentityError(rates, p.darkRateMaxAllowable);
    return error.isEmpty() || fail(run.results, error);
}

bool setUpSweep(SweepRun &run)
{
    const FilterScanParams &p = run.params;
    qDebug() << "Initializing filter wheel sweep:"
             << " HVSet:" << p.sweepTubeVoltageInKV << " IASet:" << p.sweepTubeCurrentInUA
             << " maxSafeEncoder:" << run.encoderMax << " encoderStep:" << p.encoderStep
             << " encRange2Examine:" << p.range2Examine << " encoderSlope:" << p.approxEncSlope
             << " tubeVoltageMonToleranceInkV:" << p.tubeVoltageMonToleranceInkV;
    if (!run.setTube(p.sweepTubeVoltageInKV, p.sweepTubeCurrentInUA,
                     QStringLiteral("Filter scan FAILED.\nFailed to set tube voltage, %1"),
                     QStringLiteral("Filter scan FAILED.\nFailed to set tube current, %1")))
        return false;
    if (run.hardwareErrorPending())
        return false;
    int code = run.engine->clearTubeFaults();
    if (code != 0)
        return fail(run.results,
                    QStringLiteral("Filter scan FAILED.\nFailed to clearTubeFaults, %1").arg(code));
    if (run.hardwareErrorPending())
        return false;
    code = run.enableTube();
    if (code != 0)
        return fail(run.results,
                    QStringLiteral("Filter scan FAILED.\nFailed to enable tube, %1").arg(code));
    return !run.hardwareErrorPending();
}

bool findOpenPosition(SweepRun &run, int *openEncoder)
{
    int diameter = 0;
    FilterWheelSetup::findMaxHoleGivenZThickness(run.maxPosition, run.table.data(), 0, 0, &diameter,
                                                 openEncoder);
    qDebug() << "Max filter diameter-encoder found of given Z-thickness: " << diameter << "-"
             << *openEncoder;
    if (*openEncoder < 0)
        return fail(run.results,
                    QStringLiteral("Filter scan FAILED.\nNo open position in the "
                                   "default filter params of %1")
                        .arg(run.filterType));
    if (*openEncoder > run.encoderMax) {
        qWarning().noquote() << QStringLiteral("estimated encoder %1 greater than actual max value "
                                               "%2, will use lower value")
                                    .arg(*openEncoder)
                                    .arg(run.encoderMax);
        *openEncoder = run.encoderMax;
    }
    if (run.hardwareError.errorCode() != 0)
        return fail(run.results,
                    QStringLiteral("Hardware setup failed prior to determining sweep current"));
    return true;
}

// Around the open position: the highest input count rate at the starting current.
bool miniSweep(SweepRun &run, int openEncoder, double *highestIcr)
{
    qDebug() << "Filter sweep: mini-sweep loop to determining sweep current";
    const int halfWidth = int(run.params.approxEncSlope * run.params.range2Examine);
    const int first = qMax(openEncoder - halfWidth, run.encoderMin);
    const int last = qMin(openEncoder + halfWidth, run.encoderMax);
    *highestIcr = 0;
    for (int encoder = first; encoder <= last; encoder += run.params.encoderStep) {
        SweepSample sample;
        if (!run.moveAndCount(encoder, run.params.dwellTimeInms, &sample))
            return false;
        qDebug() << "mini sweep encSet:" << encoder << " encMon:" << sample.monitored
                 << " ICR:" << sample.icr << " OCR:" << sample.ocr;
        *highestIcr = qMax(*highestIcr, sample.icr);
        if (!run.checkTubeVoltage() || run.abortedOrFaulted())
            return false;
        run.setProgress(10.0 * (encoder - first + 1) / qMax(1, last - first + 1));
    }
    return true;
}

bool chooseSweepCurrent(SweepRun &run, double highestIcr)
{
    unsigned char maxLimit = 0, minLimit = 0, maxPower = 0;
    int code = run.engine->getTubeMaxCurrentLimit(&maxLimit);
    if (code == 0)
        code = run.engine->getTubeMinCurrentLimit(&minLimit);
    if (code == 0)
        code = run.engine->getTubeMaxPower(&maxPower);
    if (code != 0)
        return fail(run.results,
                    QStringLiteral("Filter scan FAILED.\nFailed to read tube limits from K60, %1")
                        .arg(code));
    const int voltage = qMax(1, run.params.sweepTubeVoltageInKV);
    const int maxCurrent = qMin(int(maxLimit), int(maxPower * 1000 / voltage));
    if (minLimit > maxCurrent)
        return fail(run.results,
                    QStringLiteral("Filter scan FAILED.\nmin tube IA %1 > max tube IA %2")
                        .arg(minLimit)
                        .arg(maxCurrent));
    // Without counts at the open position there is nothing to scale the current by.
    if (!(highestIcr > 0))
        return fail(run.results,
                    QStringLiteral("Filter scan FAILED.\nNo counts found around the "
                                   "open position at %1kV %2uA")
                        .arg(run.params.sweepTubeVoltageInKV)
                        .arg(run.params.sweepTubeCurrentInUA));
    qDebug().noquote() << QStringLiteral("orig IASet %1, openFilterICRMax %2, ICR %3")
                              .arg(run.params.sweepTubeCurrentInUA)
                              .arg(run.params.openFilterICRMax)
                              .arg(highestIcr);
    const double scaled =
        double(run.params.openFilterICRMax) * run.params.sweepTubeCurrentInUA / highestIcr;
    int current = int(qMin(scaled, double(maxCurrent)));
    qDebug().noquote() << QStringLiteral("new IASet %1 to maximize ICR while not exceeding DPP "
                                         "comfort zone")
                              .arg(int(scaled));
    current = qBound(int(minLimit), current, maxCurrent);
    qDebug().noquote()
        << QStringLiteral("newer IASet %1 after correcting for tube limits").arg(current);
    code = run.engine->setTubeCurrent(float(current));
    if (code != 0)
        return fail(
            run.results,
            QStringLiteral("Filter scan FAILED.\nFailed to set tube current, %1").arg(code));
    run.results->insert(QStringLiteral("sweepCurrent"), current);
    if (run.hardwareError.errorCode() != 0)
        return fail(run.results,
                    QStringLiteral("Hardware setup failed prior to sweeping filter wheel encoder "
                                   "values"));
    return true;
}

int dwellAt(const SweepRun &run, int encoder)
{
    // The ASSY-20854 holes below F5 pass little, so they count longer.
    if (run.filterType == QLatin1String("ASSY-20854") && encoder <= kLongDwellEncoderLimit)
        return kLongDwellFactor * run.params.dwellTimeInms;
    return run.params.dwellTimeInms;
}

void trackDarkRange(SweepRun &run, int encoder, double icr)
{
    if (encoder < run.params.darkRateCheckRangeEncoderMin
        || encoder > run.params.darkRateCheckRangeEncoderMax)
        return;
    if (icr > 0)
        run.darkRangeCounted = true;
    if (!run.darkRangeSeen || icr < run.darkRangeMinIcr) {
        run.darkRangeSeen = true;
        run.darkRangeMinIcr = icr;
        qDebug() << "new min ICR:" << icr << "at encoder" << encoder;
    }
}

bool sweep(SweepRun &run)
{
    qDebug() << "Filter sweep: starting filter sweep loop";
    const int steps = qMax(
        1, (run.encoderMax - run.encoderMin + run.params.encoderStep - 1) / run.params.encoderStep);
    int index = 0;
    for (int encoder = run.encoderMin; encoder < run.encoderMax;
         encoder += run.params.encoderStep, ++index) {
        SweepSample sample;
        if (!run.moveAndCount(encoder, dwellAt(run, encoder), &sample))
            return false;
        run.append(encoder, sample);
        qDebug() << "encSet:" << encoder << " encMon:" << sample.monitored << " ICR:" << sample.icr
                 << " OCR:" << sample.ocr << " LT:" << sample.liveTimeMs << "ms";
        run.setProgress(10.0 + 90.0 * index / steps);
        trackDarkRange(run, encoder, sample.icr);
        if (!run.checkTubeVoltage() || run.abortedOrFaulted())
            return false;
    }
    return true;
}

bool checkSweepDarkRange(SweepRun &run)
{
    const int from = run.params.darkRateCheckRangeEncoderMin;
    const int to = run.params.darkRateCheckRangeEncoderMax;
    if (!run.darkRangeCounted)
        return fail(run.results,
                    QStringLiteral("Filter scan failed.\nFor encoder range of %1 to %2 "
                                   "ICR has never been above zero.")
                        .arg(from)
                        .arg(to));
    if (run.darkRangeMinIcr >= run.params.darkRateMaxAllowable)
        return fail(run.results,
                    QStringLiteral("Filter scan failed.\nFor encoder range of %1 to %2, "
                                   "minICR %3 is no less than "
                                   "darkRateMaxAllowable:%4.")
                        .arg(from)
                        .arg(to)
                        .arg(run.darkRangeMinIcr)
                        .arg(run.params.darkRateMaxAllowable));
    run.engine->moveFilterWheel(quint16(run.encoderMin));
    if (!run.storeSweep())
        return fail(run.results, QStringLiteral("Filter scan FAILED.\nFailed to record ICR & OCR"));
    if (run.hardwareError.errorCode() != 0)
        return fail(run.results, QStringLiteral("Hardware setup failed"));
    return true;
}

bool writeTable(SweepRun &run, const QVector<int> &encoders)
{
    int minEncoder = encoders.value(0);
    int minPosition = 0;
    for (int p = 0; p < encoders.size(); ++p) {
        run.table[p].encoder = quint16(qBound(0, encoders.at(p), 0xFFFF));
        if (encoders.at(p) < minEncoder) {
            minEncoder = encoders.at(p);
            minPosition = p;
        }
    }
    int code = run.engine->setFilterData(run.table.constData(), (unsigned char)run.table.size());
    if (code != 0)
        return fail(run.results,
                    QStringLiteral("Filter scan FAILED.\nFailed to write encoder values "
                                   "to K60, %1\n\nmin enc %2 @F%3, min safe enc %4\n")
                        .arg(code)
                        .arg(minEncoder)
                        .arg(minPosition)
                        .arg(run.encoderMin));
    code = run.engine->saveToNv();
    if (code != 0)
        return fail(run.results,
                    QStringLiteral("Filter scan FAILED. \nK60 Failed to save encoder "
                                   "values to NV, %1")
                        .arg(code));
    return true;
}

bool fitTable(SweepRun &run, const QVector<int> &encoders)
{
    double offset = 0, slope = 0, rSquared = 0;
    QString error;
    if (!FilterWheelSetup::fitEncoders(encoders, &offset, &slope, &rSquared, &error))
        return fail(run.results, error);
    run.results->insert(QStringLiteral("linearFitOffset"), offset);
    run.results->insert(QStringLiteral("linearFitSlope"), slope);
    run.results->insert(QStringLiteral("linearFitRSquared"), rSquared);
    if (!FilterWheelSetup::checkEncoderFit(run.params, offset, slope, rSquared, &error))
        return fail(run.results, error);
    return true;
}

bool readParams(SweepRun &run, const QJsonObject *params)
{
    QString error;
    if (params && !run.params.fromJsonObject(*params, &error))
        return fail(
            run.results,
            QStringLiteral("Filter scan failed. Bad filter scan parameters, error:%1").arg(error));
    if (run.params.encoderStep <= 0)
        return fail(run.results,
                    QStringLiteral("Filter scan failed. encoderStep %1 must be above 0")
                        .arg(run.params.encoderStep));
    return true;
}

bool prepare(SweepRun &run, const QJsonObject *params)
{
    if (!readParams(run, params) || !checkMotor(run))
        return false;
    qDebug() << "Work Order filterType: " << run.filterType;
    run.results->insert(QStringLiteral("filterType"), run.filterType);
    run.results->insert(QStringLiteral("present"), true);
    readEncoderLimits(run);
    return readTable(run) && setTolerances(run) && checkDarkRate(run) && identifyWheel(run)
        && setUpSweep(run);
}

bool scan(SweepRun &run)
{
    int openEncoder = 0;
    double highestIcr = 0;
    if (!findOpenPosition(run, &openEncoder) || !miniSweep(run, openEncoder, &highestIcr)
        || !chooseSweepCurrent(run, highestIcr) || !sweep(run) || !checkSweepDarkRange(run))
        return false;
    const QVector<PositionFinding> findings = findPositions(run);
    QVector<int> encoders;
    QVector<int> atomicNumbers;
    for (int p = 0; p < run.table.size(); ++p) {
        encoders.append(findings.at(p).encoder);
        atomicNumbers.append(run.table.at(p).materialAtomicNumber);
    }
    FilterWheelSetup::interpolateBlockedPositions(&encoders, atomicNumbers, run.encoderMin,
                                                  run.encoderMax);
    storePositionResults(run, findings, encoders);
    return writeTable(run, encoders) && fitTable(run, encoders);
}

} // namespace

bool FilterWheelSetup::doFilterWheelSweep(xrf_hal::XrfEngine *engine, QJsonObject *params,
                                          const QJsonObject *workOrder,
                                          const QJsonObject *defaultHwParams, QJsonObject *results,
                                          XrfErrorInfo &hardwareError)
{
    QJsonObject ignored;
    QJsonObject *out = results ? results : &ignored;
    if (!engine || !workOrder || !defaultHwParams)
        return fail(out, QStringLiteral("Filter scan failed. No engine, work order or setup data"));
    out->remove(QStringLiteral("errorMsg"));
    SweepRun run(engine, out, hardwareError);
    run.defaultHwParams = defaultHwParams;
    run.filterType = workOrder->value(QStringLiteral("filterType")).toString();
    return prepare(run, params) && scan(run);
}
