// The filter scan's instrument operations (tube, move and count, checks between steps), the
// record of the sweep and the search of the filter positions in it.
#include "factoryutils.h"
#include "filterwheelsetup_p.h"
#include "filterwheelsweep_p.h"
#include "xrffactorymanager_p.h"
#include "xrftimescale.h"

#include <QDebug>
#include <QJsonArray>

#include <algorithm>
#include <cmath>

using FilterWheelScan::fail;
using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

// The high voltage is given 10 s of instrument time to come up, and at least a few tries.
constexpr int kTubeReadyTimeoutMs = 10000;
constexpr int kTubeReadyMinTries = 5;
constexpr int kTubeReadyWaitMs = 200;

quint16 toEncoder(int encoder)
{
    return quint16(qBound(0, encoder, 0xFFFF));
}

template<typename T>
QJsonArray toJsonArray(const QVector<T> &values)
{
    QJsonArray array;
    for (const T &value : values)
        array.append(value);
    return array;
}

} // namespace

namespace FilterWheelScan {

Worker *worker()
{
    return XrfFactoryManager::instance()->d_func();
}

bool userAborted()
{
    return XrfFactoryManager::instance()->isUserAbort();
}

void setTaskStatus(const QString &status)
{
    worker()->setCurrentTaskStatus(status);
}

void setTaskProgress(double progress)
{
    worker()->setCurrentTaskProgress(progress);
}

bool fail(QJsonObject *results, const QString &message)
{
    qWarning().noquote() << message;
    if (results)
        results->insert(QStringLiteral("errorMsg"), message);
    setTaskStatus(XrfFactoryManager::tr("Filter scan failed"));
    return false;
}

} // namespace FilterWheelScan

bool SweepRun::setTube(int kv, int ua, const QString &voltageError, const QString &currentError)
{
    int code = engine->setTubeVoltage(float(kv));
    if (code != 0)
        return fail(results, voltageError.arg(code));
    code = engine->setTubeCurrent(float(ua));
    if (code != 0)
        return fail(results, currentError.arg(code));
    return true;
}

int SweepRun::enableTube()
{
    XrfPollBound ramp(kTubeReadyTimeoutMs, kTubeReadyMinTries);
    int code = engine->enableTube();
    while (code == xrf_hal::EngineTubeNotReady && ramp.pollAgain()) {
        XrfUtils::activeSleep(kTubeReadyWaitMs);
        code = engine->enableTube();
    }
    return code;
}

bool SweepRun::measureRate(int encoder, const QString &name, double *rate)
{
    SweepSample sample;
    if (moveAndCount(encoder, params.dwellTimeInms, &sample)) {
        *rate = sample.icr;
        qInfo() << "ICR@" << name << sample.icr << "cps at encoder" << sample.monitored;
        return true;
    }
    if (FilterWheelScan::userAborted())
        return false;
    return fail(results,
                QStringLiteral("Filter scan FAILED.\nFailed to get ICR@%1 for wheel check, %2")
                    .arg(name, results->value(QStringLiteral("errorMsg")).toString()));
}

bool SweepRun::moveAndCount(int encoder, int dwellMs, SweepSample *sample)
{
    if (FilterWheelSetup::moveFilterToEncoderValueCheckAndGetCRs(
            engine, results, toEncoder(encoder), &sample->monitored, expectedTolerance(),
            &confirmedTolerance, quint16(qBound(0, dwellMs, 0xFFFF)), &sample->icr, &sample->ocr,
            &sample->realTimeMs, &sample->liveTimeMs))
        return true;
    // An abort ends the move without a message of its own.
    if (!results->contains(QStringLiteral("errorMsg")))
        abortedOrFaulted();
    return false;
}

bool SweepRun::checkTubeVoltage()
{
    float set = 0, monitored = 0;
    int code = engine->getTubeVoltageSet(&set);
    if (code == 0)
        code = engine->getTubeVoltageMonitored(&monitored);
    if (code != 0)
        return fail(
            results,
            QStringLiteral("Filter scan failed.\nFailed to read tube voltage, %1").arg(code));
    if (std::abs(monitored - set) <= params.tubeVoltageMonToleranceInkV)
        return true;
    return fail(results,
                QStringLiteral("Filter scan failed.\nTube monitored voltage is not within "
                               "tolerance of set voltage.\n HVSet:%1, HVMon:%2, "
                               "tolerance:%3")
                    .arg(set)
                    .arg(monitored)
                    .arg(params.tubeVoltageMonToleranceInkV));
}

bool SweepRun::abortedOrFaulted()
{
    if (FilterWheelScan::userAborted()) {
        qDebug() << "filter sweep detected user abort";
        fail(results, QStringLiteral("Filter scan aborted by user"));
        return true;
    }
    return hardwareErrorPending();
}

bool SweepRun::hardwareErrorPending()
{
    if (hardwareError.errorCode() == 0)
        return false;
    fail(results,
         QStringLiteral("Filter scan Failed, err:%1, code:%2")
             .arg(hardwareError.errorString())
             .arg(hardwareError.errorCode()));
    return true;
}

void SweepRun::setProgress(double progress)
{
    FilterWheelScan::setTaskProgress(progress);
}

void SweepRun::append(int encoder, const SweepSample &sample)
{
    setEncoders.append(encoder);
    monitoredEncoders.append(sample.monitored);
    icr.append(sample.icr);
    ocr.append(sample.ocr);
    realTime.append(sample.realTimeMs);
    liveTime.append(sample.liveTimeMs);
}

bool SweepRun::storeSweep()
{
    if (setEncoders.isEmpty())
        return false;
    // Where each step lies on the expected table, in positions.
    QJsonArray scannedPositions;
    for (int encoder : qAsConst(setEncoders))
        scannedPositions.append(params.approxEncSlope != 0
                                    ? double(encoder - params.approxEncOffset)
                                        / params.approxEncSlope
                                    : 0.0);
    results->insert(QStringLiteral("setEncoders"), toJsonArray(setEncoders));
    results->insert(QStringLiteral("monitoredEncoders"), toJsonArray(monitoredEncoders));
    results->insert(QStringLiteral("icr"), toJsonArray(icr));
    results->insert(QStringLiteral("ocr"), toJsonArray(ocr));
    results->insert(QStringLiteral("realTime"), toJsonArray(realTime));
    results->insert(QStringLiteral("liveTime"), toJsonArray(liveTime));
    results->insert(QStringLiteral("scannedPositions"), scannedPositions);
    return true;
}

namespace {

// The sweep steps searched for a position: its expected encoder within half the examined range
// of positions either side, clipped to the sweep. Empty when idxStart > idxEnd.
void searchWindow(const SweepRun &run, int approx, int *idxStart, int *idxEnd)
{
    const int step = run.params.encoderStep;
    const int halfWidth =
        int(std::lround(run.params.range2Examine * 0.5 * run.params.approxEncSlope));
    const int startEncoder = approx - halfWidth;
    const int endEncoder = approx + halfWidth;
    qDebug().noquote()
        << QStringLiteral("search range for range maxval start enc %1").arg(startEncoder);
    qDebug().noquote()
        << QStringLiteral("search range for range maxval end enc %1").arg(endEncoder);
    // Steps whose set encoder lies inside [startEncoder, endEncoder].
    *idxStart = int(std::ceil(double(startEncoder - run.encoderMin) / step));
    *idxEnd = int(std::floor(double(endEncoder - run.encoderMin) / step));
    const int lastIndex = run.setEncoders.size() - 1;
    if (*idxStart < 0) {
        *idxStart = 0;
        qDebug().noquote() << QStringLiteral(
                                  "search range for range maxval start enc adjusted to %1")
                                  .arg(run.setEncoders.value(0));
    }
    if (*idxEnd > lastIndex) {
        *idxEnd = lastIndex;
        qDebug().noquote() << QStringLiteral("search range for range maxval end enc adjusted to %1")
                                  .arg(run.setEncoders.value(lastIndex));
    }
}

PositionFinding findPosition(const SweepRun &run, int position)
{
    const xrf_hal::FilterParams &f = run.table.at(position);
    PositionFinding finding;
    finding.encoder = f.encoder;
    qDebug().noquote() << QStringLiteral("F[%1]: zNum %2, approx enc %3")
                              .arg(position)
                              .arg(f.materialAtomicNumber)
                              .arg(f.encoder);
    if (f.materialAtomicNumber == FilterWheelSetup::kBlockingAtomicNumber)
        return finding;
    int idxStart = 0, idxEnd = 0;
    searchWindow(run, f.encoder, &idxStart, &idxEnd);
    if (idxStart > idxEnd) {
        qWarning().noquote() << QStringLiteral(
                                    "search range for filter %1 idx_start %2 greater than "
                                    "idx_end %3, defaulting filter position encoder ")
                                    .arg(position)
                                    .arg(idxStart)
                                    .arg(idxEnd)
                             << f.encoder;
        return finding;
    }
    const auto begin = run.icr.cbegin();
    const int best = int(std::max_element(begin + idxStart, begin + idxEnd + 1) - begin);
    qDebug().noquote() << QStringLiteral("search range maxval %1 @encMon %2")
                              .arg(run.icr.at(best))
                              .arg(run.monitoredEncoders.at(best));
    qDebug().noquote() << QStringLiteral("Found Max ICR %1 at Index %2 in the range (%3, %4), "
                                         "Encoder:%5")
                              .arg(run.icr.at(best))
                              .arg(best)
                              .arg(idxStart)
                              .arg(idxEnd)
                              .arg(run.monitoredEncoders.at(best));
    finding.stepIndex = best;
    finding.encoder = run.monitoredEncoders.at(best);
    qDebug().noquote() << QStringLiteral("fitted filter enc %1").arg(finding.encoder);
    // The last position is found like the others (it is only left out of the fit): its
    // collimated hole is too narrow to be used off its centre.
    if (position == run.table.size() - 1)
        qDebug().noquote() << QStringLiteral("for last filter, using approx enc %1 at maxval")
                                  .arg(finding.encoder);
    // A hole's rate feature is about as wide as half the examined range.
    const double width = (idxEnd - idxStart + 1) / 2.0;
    FactoryUtils::calculateGaussianAmplitude(best + 0.5, width, run.icr.toList(),
                                             &finding.amplitude);
    qDebug().noquote()
        << QStringLiteral("approx filter Gaussian amplitude %1").arg(finding.amplitude);
    return finding;
}

int nearestStep(const SweepRun &run, int encoder)
{
    const int index = int(std::lround(double(encoder - run.encoderMin) / run.params.encoderStep));
    return qBound(0, index, run.icr.size() - 1);
}

} // namespace

QVector<PositionFinding> findPositions(SweepRun &run)
{
    qDebug() << "filter sweep complete: finding peaks and actual encoder positions.";
    QVector<PositionFinding> findings;
    for (int p = 0; p < run.table.size(); ++p)
        findings.append(findPosition(run, p));
    return findings;
}

// One entry per position: its filter, expected and final encoder, the rate there (as measured
// and as a percentage of the sweep's highest rate) and the Gaussian amplitude of its peak.
void storePositionResults(SweepRun &run, const QVector<PositionFinding> &findings,
                          const QVector<int> &encoders)
{
    const double highest = *std::max_element(run.icr.cbegin(), run.icr.cend());
    QJsonArray entries;
    QStringList encoderTexts;
    for (int p = 0; p < findings.size(); ++p) {
        const xrf_hal::FilterParams &f = run.table.at(p);
        const int step = findings.at(p).stepIndex >= 0 ? findings.at(p).stepIndex
                                                       : nearestStep(run, encoders.at(p));
        const double rate = run.icr.at(step);
        entries.append(QJsonObject{
            {QStringLiteral("position"), p},
            {QStringLiteral("materialAtomicNumber"), f.materialAtomicNumber},
            {QStringLiteral("thicknessInMicrons"), f.thicknessInMicrons},
            {QStringLiteral("diameterInMicrons"), f.diameterInMicrons},
            {QStringLiteral("approxEncoder"), f.encoder},
            {QStringLiteral("encoder"), encoders.at(p)},
            {QStringLiteral("icr"), rate},
            {QStringLiteral("icrPercent"), highest > 0 ? 100.0 * rate / highest : 0.0},
            {QStringLiteral("gaussianAmplitude"), findings.at(p).amplitude},
        });
        encoderTexts.append(QString::number(encoders.at(p)));
    }
    run.results->insert(QStringLiteral("filterScanResults"), entries);
    qInfo().noquote() << QStringLiteral("Filter scan results\n")
                      << QJsonDocument(entries).toJson(QJsonDocument::Compact);
    qInfo().noquote()
        << QStringLiteral("Filter Encoders: [%1]").arg(encoderTexts.join(QLatin1Char(',')));
}
