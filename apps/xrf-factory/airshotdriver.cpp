#include "airshotdriver.h"

#include "siminstrument.h"
#include "xrffactorymanager.h"
#include "xrftimescale.h"
#include "xrfutils.h"

#include <QMetaObject>
#include <QTimer>

namespace {

const int kRunTimeoutMs = 60 * 60 * 1000;
// The run timeout is a watchdog on a silent library: an instrument hour, never less than 10
// minutes of process time so that a loaded machine does not trip it at small time scales.
const int kRunTimeoutFloorMs = 10 * 60 * 1000;
const QString kRecovered =
    QStringLiteral("Air Shot/Beam Setup is missing.  Auto recovery was performed.");
const QString kNotRecovered = QStringLiteral("Air Shot/Beam Setup is missing.  Auto recovery "
                                             "failed.");
const QStringList kLostRecords = {QStringLiteral("beamsSetup"), QStringLiteral("airShot")};

XrfFactoryManager *manager()
{
    return XrfFactoryManager::instance();
}

QString lastResultPath()
{
    return XrfUtils::homeCorvaneAppDirPath() + QStringLiteral("/factoryData/lastResult.json");
}

QJsonObject readLastResult()
{
    QJsonValue value;
    XrfUtils::readJsonFile(lastResultPath(), &value);
    return value.toObject();
}

} // namespace

AirShotDriver::AirShotDriver(const TechnicianPlan &plan, QObject *parent)
    : QObject(parent), m_plan(plan)
{
    connect(manager(), &XrfFactoryManager::airShotSingleComplete, this, &AirShotDriver::onShot);
    connect(manager(), &XrfFactoryManager::airShotAllComplete, this, &AirShotDriver::onAllComplete);
}

StepOutcome AirShotDriver::run()
{
    if (m_plan.instrument)
        m_plan.instrument->loadSample(QStringLiteral("air"));
    m_lines << QStringLiteral("(technician clears the window: air)");
    QTimer::singleShot(XrfTimeScale::watchdogMs(kRunTimeoutMs, kRunTimeoutFloorMs), &m_loop,
                       &QEventLoop::quit);
    QMetaObject::invokeMethod(manager(), "startAirShot", Qt::QueuedConnection);
    m_loop.exec();
    if (m_finished && m_plan.restoresOldLastResult
        && m_results.value(QStringLiteral("status")).toString() == QLatin1String("pass"))
        m_recovered = restoreOldResultsAndRecover();
    return outcome();
}

void AirShotDriver::onShot(const XrfAirShot &shot)
{
    m_lines << shotLine(shot);
    if (shot.hasFailed() && m_failure.isEmpty())
        m_failure = shot.errorMsg().simplified();
}

void AirShotDriver::onAllComplete(bool listBuilt, const QJsonObject &results)
{
    m_results = results;
    if (!listBuilt && m_failure.isEmpty())
        m_failure = QStringLiteral("no air shot list: no beam passed the beams setup");
    m_finished = true;
    m_loop.quit();
}

// On the factory thread, so that no save of the library's comes between the loss and the
// recovery.
bool AirShotDriver::restoreOldResultsAndRecover()
{
    m_lines << QStringLiteral("(technician restores a lastResult.json from before the beams "
                              "setup: the beams setup and air shot records are lost)");
    QMetaObject::invokeMethod(
        manager(),
        [] {
            QJsonObject old = readLastResult();
            for (const QString &key : kLostRecords)
                old.remove(key);
            XrfUtils::writeJsonFile(lastResultPath(), QJsonDocument(old));
            manager()->recoverBeamSetupAirShot();
        },
        Qt::BlockingQueuedConnection);
    const QJsonObject after = readLastResult();
    const bool rebuilt =
        after.value(kLostRecords.at(0)).isObject() && after.value(kLostRecords.at(1)).isObject();
    m_lines << (rebuilt ? QStringLiteral("  %1 Both records rebuilt from the newest passing air "
                                         "shot file.")
                              .arg(kRecovered)
                        : QStringLiteral("  %1").arg(kNotRecovered));
    return rebuilt;
}

QString AirShotDriver::shotLine(const XrfAirShot &shot)
{
    const XrfExposureSettings &exposure = shot.exposure();
    const XrfFilterProperties &filter = exposure.filter();
    QString line = QStringLiteral("%1 %2 %3 kV %4 uA %5-%6-%7: background %8 cps")
                       .arg(shot.beamName(), -14)
                       .arg(shot.isCollimatedAirShot() ? QStringLiteral("collimated  ")
                                                       : QStringLiteral("uncollimated"))
                       .arg(double(exposure.tubeVoltageKv()))
                       .arg(double(exposure.tubeCurrentUa()), 0, 'f', 2)
                       .arg(filter.materialAtomicNumber())
                       .arg(filter.thicknessInMicrons())
                       .arg(filter.diameterInMicrons())
                       .arg(shot.calculatedBackgoundRate(), 0, 'f', 1);
    if (shot.safeBackgroundRateChecked())
        line += QStringLiteral(", safe %1 cps (limit %2)")
                    .arg(shot.safeBackgroundRate())
                    .arg(shot.safeBackgroundRateLimit());
    else
        line += QStringLiteral(", no safe rate to compare");
    line += shot.hasFailed() ? QStringLiteral("  FAILED") : QStringLiteral("  passed");
    return line;
}

StepOutcome AirShotDriver::outcome() const
{
    StepOutcome outcome;
    outcome.subSteps = m_lines;
    const QString safeRateProblem =
        m_results.value(QStringLiteral("safeBackgroundRateCheck")).toString();
    if (!safeRateProblem.isEmpty())
        outcome.subSteps << QStringLiteral("  ") + safeRateProblem;
    const bool passed =
        m_results.value(QStringLiteral("status")).toString() == QLatin1String("pass");
    if (!m_finished) {
        outcome.result = StepOutcome::Failed;
        outcome.detail = QStringLiteral("the air shots did not finish");
    } else if (!passed) {
        outcome.result = StepOutcome::Failed;
        outcome.detail = m_failure.isEmpty() ? QStringLiteral("air shots failed") : m_failure;
    } else if (m_plan.restoresOldLastResult && !m_recovered) {
        outcome.result = StepOutcome::Failed;
        outcome.detail = kNotRecovered;
    } else {
        outcome.result = StepOutcome::Passed;
        outcome.detail = m_plan.restoresOldLastResult
            ? kRecovered
            : QStringLiteral("%1 air shots within their safe background rates")
                  .arg(m_lines.size() - 1);
    }
    return outcome;
}
