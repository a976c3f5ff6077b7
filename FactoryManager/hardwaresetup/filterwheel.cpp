// Filter wheel scan and move exercise sub-steps, and the filter wheel test.
#include "filterwheelsetup.h"
#include "xrffactorymanager_p.h"
#include "xrftimescale.h"

#include <QDebug>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

namespace {

const QString kFilterScan = QStringLiteral("filterScan");
const QString kFilterMoveExercise = QStringLiteral("filterMoveExercise");

} // namespace

struct XrfFactoryManager::XrfFactoryManagerPrivate::FilterMoveExercise
{
    FilterMoveExerciseParams params;
    QVector<int> sequence;
    QVector<xrf_hal::FilterParams> table;
    int moveCount = 0;
    int succeedCount = 0; // the current run of clean moves
    int succeedCountMax = 0;
    int faultCount = 0;
    QJsonArray succeedCountSeq;
    XrfInstrumentTimer timer; // since the last fault
    qint64 elapsedMinSucceedMs = -1;
};

void Worker::captureFilterWheelHardwareErrors()
{
    filterWheelHardwareError = XrfErrorInfo();
    takeExposureSignals({{}, {}, {}, [this](const XrfErrorInfo &error) {
                             filterWheelHardwareError = error;
                         }});
}

void Worker::doFilterWheelSetup()
{
    qDebug() << "Starting filter wheel scan";
    setCurrentTaskStatus(XrfFactoryManager::tr("Running filter scan..."));
    setCurrentTaskProgress(-1);
    beginHardwareSetupStep(kFilterScan);
    captureFilterWheelHardwareErrors();
    if (defaultHwParams.isEmpty())
        loadFactorySetupParamsFromFile();
    QJsonObject params = hardwareSetupCurrentStep.setupParams();
    const QJsonObject order = currentWorkOrder();
    QJsonObject results;
    const bool passed =
        FilterWheelSetup::doFilterWheelSweep(xrf_hal::XrfEngine::instance(), &params, &order,
                                             &defaultHwParams, &results, filterWheelHardwareError);
    QString message;
    if (passed) {
        qInfo() << "Filter sweep complete, refreshing hardware config to read new filters from K60";
        emit q->updateHardwareConfig();
    } else {
        message = results.value(QStringLiteral("errorMsg")).toString();
        if (message.isEmpty())
            message = QStringLiteral("Filter scan failed");
        results.insert(QStringLiteral("errorMsg"), message);
        QString error;
        if (!setDetectorShutter(false, &error))
            qWarning() << "Failed to close detector shutter, Err:" << error;
    }
    hardwareSetupCurrentStep.setResults(results);
    releaseExposureSignals();
    onHardwareSetupStepComplete(passed, message);
}

bool Worker::filterMoveExerciseSetupParams(QJsonObject *params)
{
    if (factorySetupInfo.isEmpty())
        loadFactorySetupParamsFromFile();
    XrfHardwareSetupStepsList steps;
    steps.fromJsonObject(factorySetupInfo.value(QStringLiteral("hardwareSetup")).toObject());
    const XrfHardwareSetupStepInfo *step = steps.getHardwareSetupStep(kFilterMoveExercise);
    if (step && params)
        *params = step->setupParams();
    return step != nullptr;
}

void Worker::failFilterMoveExercise(const QString &message, bool recordResults)
{
    const QString prefix = QStringLiteral("Filter move exercise failed - ");
    qWarning().noquote() << (message.startsWith(prefix) ? message : prefix + message);
    if (recordResults) {
        setCurrentTaskStatus(QString());
        onHardwareSetupStepComplete(false, message);
    } else {
        setCurrentTaskStatus(message);
    }
}

bool Worker::prepareFilterMoveExercise(FilterMoveExercise &exercise, bool recordResults)
{
    QJsonObject json;
    if (recordResults)
        json = hardwareSetupCurrentStep.setupParams();
    else
        filterMoveExerciseSetupParams(&json);
    QString error;
    if (!exercise.params.fromJsonObject(json, &error)) {
        failFilterMoveExercise(XrfFactoryManager::tr("Bad move exercise parameters, %1").arg(error),
                               recordResults);
        return false;
    }
    xrf_hal::XrfEngine *engine = xrf_hal::XrfEngine::instance();
    unsigned char maxPosition = 0;
    int code = engine->getMaxFilterPosition(&maxPosition);
    if (code != 0) {
        failFilterMoveExercise(
            XrfFactoryManager::tr("Failed to read filters from K60, err=%1").arg(code),
            recordResults);
        return false;
    }
    exercise.table.resize(maxPosition + 1);
    code = engine->getFilterData(exercise.table.data(), (unsigned char)(maxPosition + 1));
    if (code != 0) {
        failFilterMoveExercise(
            XrfFactoryManager::tr("Failed to read filter positions from K60, err=%1").arg(code),
            recordResults);
        return false;
    }
    for (const QJsonValue &value : qAsConst(exercise.params.filterMovementSequence)) {
        const int position = value.toInt(-1);
        if (!value.isDouble() || position < 0 || position > maxPosition) {
            failFilterMoveExercise(XrfFactoryManager::tr("Invalid position %1 in move sequence")
                                       .arg(value.toVariant().toString()),
                                   recordResults);
            return false;
        }
        exercise.sequence.append(position);
    }
    if (exercise.sequence.isEmpty()) {
        failFilterMoveExercise(QStringLiteral("Filter move exercise failed - Empty move sequence"),
                               recordResults);
        return false;
    }
    return true;
}

void Worker::doFilterMoveExercise(bool recordResults)
{
    qDebug() << "Starting filter move exercise";
    setCurrentTaskStatus(XrfFactoryManager::tr("Starting filter move exercise..."));
    setCurrentTaskProgress(-1);
    if (recordResults)
        beginHardwareSetupStep(kFilterMoveExercise);
    FilterMoveExercise exercise;
    if (!prepareFilterMoveExercise(exercise, recordResults))
        return;
    captureFilterWheelHardwareErrors();
    runFilterMoveExercise(exercise);
    releaseExposureSignals();
    finishFilterMoveExercise(exercise, recordResults);
}

void Worker::runFilterMoveExercise(FilterMoveExercise &exercise)
{
    const FilterMoveExerciseParams &params = exercise.params;
    exercise.timer.start();
    while (exercise.moveCount < params.maxCount && !userAbort) {
        for (int position : qAsConst(exercise.sequence)) {
            if (exercise.moveCount >= params.maxCount || userAbort)
                break;
            countFilterExerciseMove(exercise, doFilterExerciseMove(exercise, position));
            XrfUtils::activeSleep(params.waitTimeBetweenMoveInMs);
        }
    }
}

bool Worker::doFilterExerciseMove(FilterMoveExercise &exercise, int position)
{
    xrf_hal::XrfEngine *engine = xrf_hal::XrfEngine::instance();
    ++exercise.moveCount;
    filterWheelHardwareError = XrfErrorInfo();
    engine->clearFaults();
    QString failure;
    const int code = engine->moveFilterWheelPos((unsigned char)position);
    const bool clean = code == 0 ? pollFilterExerciseMove(exercise, position, &failure) : false;
    if (code != 0)
        failure = QStringLiteral("move command error %1").arg(code);
    if (!clean)
        qWarning().noquote() << QStringLiteral("Filter move exercise failed ")
                + QStringLiteral("on move %1 to position %2: %3")
                      .arg(exercise.moveCount)
                      .arg(position)
                      .arg(failure);
    return clean;
}

// A clean move leaves the moving state without a failure or a hardware error before the
// timeout, and the controller then reports the wheel at the requested position.
bool Worker::pollFilterExerciseMove(FilterMoveExercise &exercise, int position, QString *failure)
{
    xrf_hal::XrfEngine *engine = xrf_hal::XrfEngine::instance();
    XrfPollBound bound(exercise.params.movementTimeoutInMs);
    do {
        XrfUtils::activeSleep(qMax(1, exercise.params.pollIntervalInMs));
        unsigned char status = 0;
        unsigned short positionMonitored = 0xFFFF, setPoint = 0, monitored = 0;
        const int code = engine->getFilterMoveStatus(&status);
        engine->getFilterPositionMonitored(&positionMonitored);
        engine->getFilterEncoderSetPoint(&setPoint);
        engine->getFilterEncoderMonitored(&monitored);
        qDebug().noquote() << QStringLiteral("Filter move exercise check ")
                + QStringLiteral("on move %1, PosSet %2, PosMon %3, EncSet %4, "
                                 "EncSetPoint %5, EncMon %6, status %7, "
                                 "HwErrorCode %8, HwErrorString %9")
                      .arg(exercise.moveCount)
                      .arg(position)
                      .arg(positionMonitored)
                      .arg(exercise.table.at(position).encoder)
                      .arg(setPoint)
                      .arg(monitored)
                      .arg(status)
                      .arg(filterWheelHardwareError.errorCode())
                      .arg(filterWheelHardwareError.errorString());
        if (code != 0 || status == xrf_hal::FilterMoveFailed
            || filterWheelHardwareError.hasError()) {
            *failure = QStringLiteral("status %1, code %2, hardware error %3")
                           .arg(status)
                           .arg(code)
                           .arg(filterWheelHardwareError.errorCode());
            return false;
        }
        if (status != xrf_hal::FilterMoving) {
            *failure = QStringLiteral("stopped at position %1").arg(positionMonitored);
            return positionMonitored == position;
        }
    } while (bound.pollAgain());
    *failure = QStringLiteral("no stop within %1 ms").arg(exercise.params.movementTimeoutInMs);
    return false;
}

void Worker::countFilterExerciseMove(FilterMoveExercise &exercise, bool clean)
{
    if (clean) {
        ++exercise.succeedCount;
        exercise.succeedCountMax = qMax(exercise.succeedCountMax, exercise.succeedCount);
        if (exercise.succeedCount == exercise.params.minSucceedCount
            && exercise.elapsedMinSucceedMs < 0)
            exercise.elapsedMinSucceedMs = exercise.timer.elapsedMs();
    } else {
        exercise.succeedCountSeq.append(exercise.succeedCount);
        ++exercise.faultCount;
        exercise.succeedCount = 0;
        exercise.timer.start();
    }
    qDebug().noquote() << QStringLiteral("Filter move exercise status ")
            + QStringLiteral("Move %1 Succeed %2 Max %3")
                  .arg(exercise.moveCount)
                  .arg(exercise.succeedCount)
                  .arg(exercise.succeedCountMax);
    const int needed = qMax(1, exercise.params.minSucceedCount);
    setCurrentTaskProgress(qMin(100.0, 100.0 * exercise.succeedCount / needed));
}

void Worker::finishFilterMoveExercise(FilterMoveExercise &exercise, bool recordResults)
{
    const bool aborted = userAbort;
    const bool reached = exercise.succeedCountMax >= exercise.params.minSucceedCount;
    QString message = reached ? QStringLiteral("Filter move exercise - Completed Sucessfully")
                              : QStringLiteral("Filter move exercise - Failed");
    if (aborted)
        message = QStringLiteral("User Aborted");
    qInfo() << "Filter move exercise - succeedCount: " << exercise.succeedCount
            << " succeedCountMax: " << exercise.succeedCountMax;
    exercise.succeedCountSeq.append(exercise.succeedCount);
    const QJsonObject results{
        {QStringLiteral("moveCount"), exercise.moveCount},
        {QStringLiteral("succeedCount"), exercise.succeedCount},
        {QStringLiteral("succeedCountMax"), exercise.succeedCountMax},
        {QStringLiteral("succeedCountSeq"), exercise.succeedCountSeq},
        {QStringLiteral("faultCount"), exercise.faultCount},
        {QStringLiteral("elaspedTimeInMs"), exercise.timer.elapsedMs()},
        {QStringLiteral("elaspedMinSucceedInMs"), exercise.elapsedMinSucceedMs},
    };
    qInfo().noquote() << message;
    if (!recordResults) {
        // The test has no record of its own: its outcome stays in the task status.
        setCurrentTaskStatus(message);
        return;
    }
    setCurrentTaskStatus(QString());
    hardwareSetupCurrentStep.setResults(results);
    // An aborted run must not count as passed: the sequencer would go on to the next sub-step.
    onHardwareSetupStepComplete(reached && !aborted, message);
}

bool Worker::populateFilterWheelTestSteps()
{
    return filterMoveExerciseSetupParams(nullptr);
}

void Worker::startFilterWheelTest()
{
    userAbort = false;
    factorySetupInfo = QJsonObject();
    workOrder = QJsonObject();
    defaultHwParams = QJsonObject();
    if (!loadWorkOrderInfoFromFile())
        qWarning() << "Failed to load workorder";
    if (!loadFactorySetupParamsFromFile())
        qWarning() << "Failed to load factory_setup_data.json";
    if (!populateFilterWheelTestSteps()) {
        setCurrentTaskStatus(QStringLiteral("Failed to load setup"));
        return;
    }
    doFilterMoveExercise(false);
}

// May be called from any thread: the flag acts at once, the task texts are set on the factory
// thread.
void Worker::stopFilterWheelTest()
{
    qDebug() << "FactoryManager:: Filter Wheel Test aborted.";
    userAbort = true;
    QMetaObject::invokeMethod(this, [this] {
        setCurrentTaskStatus(XrfFactoryManager::tr("Filter Wheel Test aborted"));
        setCurrentTaskProgress(0);
    });
}

bool XrfFactoryManager::getFilterWheelTestStepsList()
{
    return d->populateFilterWheelTestSteps();
}

void XrfFactoryManager::startFilterWheelTest()
{
    d->startFilterWheelTest();
}

void XrfFactoryManager::stopFilterWheelTest()
{
    d->stopFilterWheelTest();
}
