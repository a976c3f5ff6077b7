#include "stabilitydriver.h"

#include "siminstrument.h"

#include "xrffactorymanager.h"
#include "xrfhardwaremanager.h"
#include "xrfnetworkmanager.h"
#include "xrftimescale.h"
#include "xrfutils.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QMetaObject>
#include <QTimer>

namespace {

// An instrument day (of the time scale) is plenty for a stability run with its upload; the line
// gives up after it.
const int kRunTimeoutMs = 24 * 60 * 60 * 1000;
const QString kBrCuTarget = QStringLiteral("BrCu");
const QString kSurveySample = QStringLiteral("SS316");
const int kStoredRecordPollMs = 100;
// How long a line that has just started waits for the cloud to answer.
const int kCloudWaitMs = 30000;

XrfFactoryManager *manager()
{
    return XrfFactoryManager::instance();
}

QJsonObject readLastResult()
{
    QJsonValue value;
    XrfUtils::readJsonFile(
        XrfUtils::homeCorvaneAppDirPath() + QStringLiteral("/factoryData/lastResult.json"), &value);
    return value.toObject();
}

QString status(const QJsonObject &record)
{
    return record.value(QStringLiteral("status")).toString();
}

QString number(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

} // namespace

StabilityDriver::StabilityDriver(const QString &step, const TechnicianPlan &plan, QObject *parent)
    : QObject(parent), m_step(step), m_plan(plan)
{
    connect(manager(), &XrfFactoryManager::stabilityTestComplete, this, &StabilityDriver::onRecord);
    connect(manager(), &XrfFactoryManager::stabilitySpectrumReady, this, &StabilityDriver::onShot);
    connect(manager(), &XrfFactoryManager::factoryStepResultUploadComplete, this,
            &StabilityDriver::onUploadComplete);
}

bool StabilityDriver::collimatedStabilityNotRequired(QString *reason)
{
    QJsonValue info;
    XrfUtils::readJsonFile(XrfUtils::homeCorvaneAppDirPath()
                               + QStringLiteral("/factoryData/workOrderInfo.json"),
                           &info);
    const QJsonObject order = info.toObject().value(QStringLiteral("workOrder")).toObject();
    if (!order.value(QStringLiteral("isUnCollimated")).toBool())
        return false;
    const QJsonArray steps = readLastResult()
                                 .value(QStringLiteral("factoryStepsStatus"))
                                 .toObject()
                                 .value(QStringLiteral("stepStatus"))
                                 .toArray();
    for (const QJsonValue &step : steps) {
        const QJsonObject entry = step.toObject();
        if (entry.value(QStringLiteral("stepId")).toInt() == XrfUtils::CollimatedStability
            && entry.value(QStringLiteral("statusId")).toInt() == 2) {
            *reason = QStringLiteral("no collimator on this instrument; the cloud counts the "
                                     "step as done");
            return true;
        }
    }
    return false;
}

QJsonObject StabilityDriver::storedRecord() const
{
    return readLastResult()
        .value(m_step)
        .toObject()
        .value(QStringLiteral("stabilityTestMetaInfo"))
        .toObject();
}

bool StabilityDriver::isFinal(const QJsonObject &record)
{
    const QString s = status(record);
    return s == QLatin1String("error") || s == QLatin1String("aborted")
        || s == QLatin1String("cloudResponseReceived");
}

StepOutcome StabilityDriver::run()
{
    QStringList lines;
    // Entering the step may have resumed an earlier run's assembly and upload, or found the
    // instrument not ready (an error without a run).
    m_record = storedRecord();
    const QString entered = status(m_record);
    const bool earlierRun = !m_record.value(QStringLiteral("startTimeUTC")).toString().isEmpty();
    if (entered == QLatin1String("error") && !earlierRun)
        return outcome(lines);
    if (entered == QLatin1String("processingResults")
        || entered == QLatin1String("waitingForCloudResponse")
        || entered == QLatin1String("error")) {
        lines << QStringLiteral("  (the data of an earlier run is assembled and uploaded first)");
        if (entered == QLatin1String("waitingForCloudResponse"))
            retryUpload();
        if (!waitForFinalRecord() || !m_uploadError.isEmpty())
            return outcome(lines);
        if (status(m_record) == QLatin1String("cloudResponseReceived")
            && m_record.value(QStringLiteral("hasPassed")).toBool())
            return outcome(lines);
        lines << QStringLiteral("  earlier run: %1; running the step again")
                     .arg(m_record.value(QStringLiteral("errorMsg")).toString().simplified());
    }
    if (m_step == QLatin1String("collimatedStability")) {
        if (!m_plan.instrument || !m_plan.instrument->loadSample(kBrCuTarget)) {
            StepOutcome failed;
            failed.result = StepOutcome::Failed;
            failed.detail = QStringLiteral("the Br/Cu target could not be placed");
            return failed;
        }
        lines << QStringLiteral("  (technician places the Br/Cu target on the window)");
    }
    m_uploadError.clear();
    m_shots = m_retriedShots = 0;
    m_retryCauses.clear();
    m_record = QJsonObject();
    m_started = true;
    QMetaObject::invokeMethod(manager(), "startStabilityTest", Qt::QueuedConnection,
                              Q_ARG(bool, false));
    waitForFinalRecord();
    if (m_step == QLatin1String("collimatedStability") && m_plan.instrument) {
        m_plan.instrument->loadSample(kSurveySample);
        lines << QStringLiteral("  (technician puts the SS316 block back)");
    }
    return outcome(lines);
}

// The upload that entering the step resumed may have ended before this driver listened (a line
// that has just started may not reach the cloud yet): once the cloud answers, the technician asks
// for the upload again. A chain still running refuses the second request and ends on its own.
void StabilityDriver::retryUpload()
{
    QEventLoop wait;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &wait, [&wait] {
        if (XrfNetworkManager::instance()->isCloudConnected())
            wait.quit();
    });
    poll.start(kStoredRecordPollMs);
    QTimer::singleShot(kCloudWaitMs, &wait, &QEventLoop::quit);
    if (!XrfNetworkManager::instance()->isCloudConnected())
        wait.exec();
    QMetaObject::invokeMethod(manager(), "uploadFactoryStepResult", Qt::QueuedConnection,
                              Q_ARG(QString, m_step));
}

// The record may have reached its final status before this driver listened: the stored record
// is looked at as well.
bool StabilityDriver::waitForFinalRecord()
{
    m_finished = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [this] {
        const QJsonObject stored = storedRecord();
        if (!m_started && isFinal(stored)) {
            m_record = stored;
            settle();
        }
    });
    poll.start(kStoredRecordPollMs);
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, &m_loop, &QEventLoop::quit);
    timeout.start(XrfTimeScale::scaledMs(kRunTimeoutMs));
    m_loop.exec();
    return m_finished;
}

void StabilityDriver::onRecord(const QJsonObject &record)
{
    m_record = record;
    if (status(record) == QLatin1String("runAgainInFreezeFilterMode"))
        m_shots = m_retriedShots = 0;
    if (isFinal(record))
        QTimer::singleShot(0, this, &StabilityDriver::settle);
}

// Later records of the same change (a collimated run's Br/Cu verdict, a freeze-filter re-run)
// are sent before the library returns to its event loop: take them before deciding.
void StabilityDriver::settle()
{
    QMetaObject::invokeMethod(
        manager(), [] {}, Qt::BlockingQueuedConnection);
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    if (!isFinal(m_record) || m_finished || !m_loop.isRunning())
        return;
    m_finished = true;
    m_loop.quit();
}

void StabilityDriver::onShot(const QJsonObject &record)
{
    if (!record.contains(QStringLiteral("spectrum")))
        return; // a spectrum update, not a finished shot
    ++m_shots;
    if (record.value(QStringLiteral("exposureRetries")).toInt() == 0)
        return;
    ++m_retriedShots;
    // The first attempt that failed says why the shot was retried.
    int condition = 0;
    for (const QJsonValue &value : record.value(QStringLiteral("exposureEndConditions")).toArray())
        condition = condition ? condition : value.toInt();
    QString cause = XrfHardwareManager::exposureEndConditionToString(
        XrfHardwareManager::XrfExposureEndCondition(condition));
    for (const QJsonValue &fault : record.value(QStringLiteral("faults")).toArray()) {
        if (!fault.toArray().isEmpty()) {
            cause += QStringLiteral(" (%1)").arg(fault.toArray().first().toString());
            break;
        }
    }
    if (!m_retryCauses.contains(cause))
        m_retryCauses << cause;
}

void StabilityDriver::onUploadComplete(bool succeeded, const QString &error)
{
    if (succeeded || m_finished)
        return;
    m_uploadError = error;
    m_finished = true;
    m_loop.quit();
}

QString StabilityDriver::spreadText() const
{
    const QJsonObject &r = m_record;
    if (m_step == QLatin1String("collimatedStability"))
        return QStringLiteral("Br/Cu mean %1, RSD %2%")
            .arg(number(r.value(QStringLiteral("collimatedMeanBrOverCu")).toDouble(), 3),
                 number(r.value(QStringLiteral("collimatedRSDBrOverCu")).toDouble() * 100, 2));
    const double average = r.value(QStringLiteral("averageInputCountRate")).toDouble();
    const double low = r.value(QStringLiteral("minInputCountRate")).toDouble();
    const double high = r.value(QStringLiteral("maxInputCountRate")).toDouble();
    return QStringLiteral("ICR %1-%2 kcps (spread %3%), resolution %4-%5 eV")
        .arg(number(low / 1000, 1), number(high / 1000, 1),
             number(average > 0 ? (high - low) * 100 / average : 0, 2),
             number(r.value(QStringLiteral("minResolution")).toDouble(), 1),
             number(r.value(QStringLiteral("maxResolution")).toDouble(), 1));
}

QString StabilityDriver::retriesText() const
{
    if (m_retriedShots == 0)
        return QString();
    return QStringLiteral("; %1 of %2 shots retried: %3")
        .arg(m_retriedShots)
        .arg(m_shots)
        .arg(m_retryCauses.join(QStringLiteral(", ")));
}

StepOutcome StabilityDriver::outcome(const QStringList &lines) const
{
    StepOutcome result;
    result.subSteps = lines;
    const QJsonObject &r = m_record;
    const int shots = qMax(m_shots, r.value(QStringLiteral("shotsTaken")).toInt());
    const bool passed = status(r) == QLatin1String("cloudResponseReceived")
        && r.value(QStringLiteral("hasPassed")).toBool() && m_uploadError.isEmpty();
    const QString verdict = status(r) == QLatin1String("cloudResponseReceived")
        ? (r.value(QStringLiteral("hasPassed")).toBool() ? QStringLiteral("pass")
                                                         : QStringLiteral("fail"))
        : QStringLiteral("none");
    QString detail = QStringLiteral("%1 shots, verdict %2; %3%4")
                         .arg(shots)
                         .arg(verdict, spreadText(), retriesText());
    const QString error = !m_uploadError.isEmpty()
        ? m_uploadError
        : r.value(QStringLiteral("errorMsg")).toString().simplified();
    if (!m_finished && !isFinal(r))
        detail = QStringLiteral("the stability run did not finish; ") + detail;
    else if (!passed && !error.isEmpty())
        detail = error + QStringLiteral(" (") + detail + QLatin1Char(')');
    result.result = passed ? StepOutcome::Passed : StepOutcome::Failed;
    result.detail = detail;
    return result;
}
