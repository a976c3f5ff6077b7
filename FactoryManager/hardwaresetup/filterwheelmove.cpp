// The filter wheel scan's move and count: one wheel move to an encoder value followed by one MCA
// acquisition.
#include "filterwheelsetup.h"
#include "filterwheelsetup_p.h"
#include "xrffactorymanager_p.h"
#include "xrftimescale.h"

#include <QDebug>

namespace {

constexpr int kPollMs = 20;
// A move that is still under way after 2 s of instrument time is reported and counted as it is.
constexpr int kMoveTimeoutMs = 2000;
constexpr int kToleranceReadTries = 5;
constexpr int kSettleMs = 100;

using FilterWheelScan::fail;

// Reads the scan tolerance in force once and checks that it is the one the scan set.
bool confirmTolerance(xrf_hal::XrfEngine *engine, QJsonObject *results, quint16 expected,
                      quint16 *tolerance)
{
    int code = 0;
    unsigned short read = 0;
    for (int attempt = 0; attempt < kToleranceReadTries; ++attempt) {
        code = engine->getFilterTolerance(&read);
        if (code == 0)
            break;
        XrfUtils::activeSleep(kPollMs);
    }
    if (code != 0)
        return fail(results,
                    QStringLiteral("Filter scan Failed.\nFailed to read filter tolerance parameter "
                                   "value from K60, error code%1")
                        .arg(code));
    if (read != expected)
        return fail(results,
                    QStringLiteral("Filter scan Failed.\nEncoder tolerances do not match:  set %1, "
                                   "read %2")
                        .arg(expected)
                        .arg(read));
    qDebug() << "Confirmed sweep encoder tolerances match: " << read;
    *tolerance = read;
    return true;
}

// Polls the move until the wheel stops, reaches the target or the move's time is up.
bool waitForMove(xrf_hal::XrfEngine *engine, QJsonObject *results, quint16 target,
                 quint16 tolerance, quint16 *monitored)
{
    unsigned char status = xrf_hal::FilterMoving;
    XrfPollBound bound(kMoveTimeoutMs);
    do {
        XrfUtils::activeSleep(kPollMs);
        if (FilterWheelScan::userAborted())
            return false;
        int code = engine->getFilterMoveStatus(&status);
        if (code != 0 || status == xrf_hal::FilterMoveFailed)
            return fail(results,
                        QStringLiteral("Filter scan FAILED.\nFailed to move filter wheel, %1")
                            .arg(code != 0 ? code : int(status)));
        code = engine->getFilterEncoderMonitored(monitored);
        if (code != 0)
            return fail(results,
                        QStringLiteral("Filter scan Failed. \nFailed to get monitored "
                                       "encoder value from K60, error code %1")
                            .arg(code));
        if (status != xrf_hal::FilterMoving || qAbs(int(*monitored) - int(target)) <= tolerance)
            return true;
    } while (bound.pollAgain());
    qWarning().noquote() << QStringLiteral(
                                "Filter scan problem.\nMove status %1\nEncoders:  target "
                                "%2, monitored %3, tolerance %4")
                                .arg(status)
                                .arg(target)
                                .arg(*monitored)
                                .arg(tolerance);
    return true;
}

bool countAtPosition(xrf_hal::XrfEngine *engine, QJsonObject *results, quint16 dwellMs,
                     xrf_hal::AcquisitionStats *stats)
{
    XrfUtils::activeSleep(kSettleMs);
    int code = engine->startMCA();
    if (code != 0)
        return fail(results,
                    QStringLiteral("Filter scan FAILED.\nFailed to start MCA, %1").arg(code));
    XrfUtils::activeSleep(dwellMs);
    code = engine->stopMCA();
    if (code != 0)
        return fail(results,
                    QStringLiteral("Filter scan FAILED.\nFailed to stop MCA, %1").arg(code));
    code = engine->getAcquisitionStats(stats);
    // Without a real time there is no rate: the acquisition did not count.
    if (code == 0 && stats->realTimeUs == 0)
        code = xrf_hal::EngineOutOfRange;
    if (code != 0)
        return fail(
            results,
            QStringLiteral("Filter scan FAILED.\nFailed to get acquisition stats, %1").arg(code));
    return true;
}

} // namespace

bool FilterWheelSetup::moveFilterToEncoderValueCheckAndGetCRs(
    xrf_hal::XrfEngine *engine, QJsonObject *results, quint16 target, quint16 *monitored,
    quint16 expectedTolerance, quint16 *tolerance, quint16 dwellMs, double *icr, double *ocr,
    double *realTimeMs, double *liveTimeMs)
{
    const int code = engine->moveFilterWheel(target);
    if (code != 0)
        return fail(
            results,
            QStringLiteral("Filter scan FAILED.\nFailed to move filter wheel, %1").arg(code));
    if (*tolerance == 0 && !confirmTolerance(engine, results, expectedTolerance, tolerance))
        return false;
    if (!waitForMove(engine, results, target, *tolerance, monitored))
        return false;
    xrf_hal::AcquisitionStats stats;
    if (!countAtPosition(engine, results, dwellMs, &stats))
        return false;
    *realTimeMs = stats.realTimeUs / 1000.0;
    *liveTimeMs = stats.liveTimeUs / 1000.0;
    *icr = stats.inputCounts * 1000.0 / *realTimeMs;
    *ocr = stats.outputCounts * 1000.0 / *realTimeMs;
    return true;
}
