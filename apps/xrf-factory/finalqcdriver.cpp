#include "finalqcdriver.h"

#include "simcheckcalibration.h"
#include "siminstrument.h"

#include "xrffactorymanager.h"
#include "xrfsettingsmanager.h"
#include "xrftestmanager.h"
#include "xrftimescale.h"
#include "xrfutils.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QMetaObject>
#include <QTimer>

namespace {

// An instrument hour is plenty for a download, a batch or the upload; a watchdog on a silent
// library, cloud or instrument, never less than 10 minutes of process time.
const int kWaitMs = 60 * 60 * 1000;
const int kWatchdogFloorMs = 10 * 60 * 1000;
const QString kNoCalibratedMethod = QStringLiteral("no calibrated method installed");
const QString kUploaded = QStringLiteral("Final QC data uploaded.");
const QString kUploadFailed = QStringLiteral("Final QC upload failed");

XrfFactoryManager *manager()
{
    return XrfFactoryManager::instance();
}

// Runs `start` and waits in an event loop until `done` is called; false when it is not in time.
bool waitFor(const std::function<void(const std::function<void()> &done)> &start)
{
    QEventLoop loop;
    bool finished = false;
    QTimer::singleShot(XrfTimeScale::watchdogMs(kWaitMs, kWatchdogFloorMs), &loop,
                       &QEventLoop::quit);
    start([&] {
        finished = true;
        loop.quit();
    });
    if (!finished)
        loop.exec();
    return finished;
}

QString number(double value)
{
    return QString::number(value, 'g', 3);
}

} // namespace

FinalQcDriver::FinalQcDriver(const TechnicianPlan &plan) : m_plan(plan)
{
    XrfSettingsManager::instance()->getProfilePath(&m_profilePath);
}

StepOutcome FinalQcDriver::run()
{
    StepOutcome outcome;
    outcome.result = StepOutcome::Failed;
    QString failure;
    if (!downloadTemplates(&failure)
        || (m_plan.calibratesFromCheckSamples && !calibrateFromCheckSamples(&failure))) {
        outcome.detail = failure;
        outcome.subSteps = m_lines;
        return outcome;
    }
    const QJsonArray entries = manager()->finalQcStatus().value(QStringLiteral("status")).toArray();
    QStringList failures;
    int templated = 0;
    for (const QJsonValue &value : entries) {
        const QJsonObject entry = value.toObject();
        const QString methodId = entry.value(QStringLiteral("methodId")).toString();
        if (!entry.value(QStringLiteral("haveTemplate")).toBool()) {
            m_lines << QStringLiteral("%1: no final QC template").arg(methodId);
            continue;
        }
        ++templated;
        if (!runBatch(methodId, &failure))
            failures << failure;
    }
    const bool complete =
        manager()->finalQcStatus().value(QStringLiteral("finalQcComplete")).toBool();
    if (entries.isEmpty())
        outcome.detail = kNoCalibratedMethod;
    else if (!failures.isEmpty())
        outcome.detail =
            QStringLiteral("Final QC failed: %1").arg(failures.join(QStringLiteral("; ")));
    else if (!complete)
        outcome.detail = QStringLiteral("Final QC is not complete: no installed method has a "
                                        "template");
    else if (upload(&failure))
        outcome.result = StepOutcome::Passed;
    if (outcome.result == StepOutcome::Passed)
        outcome.detail = QStringLiteral("%1 methods passed their check samples; %2")
                             .arg(templated)
                             .arg(kUploaded);
    else if (outcome.detail.isEmpty())
        outcome.detail = failure;
    outcome.subSteps = m_lines;
    return outcome;
}

bool FinalQcDriver::downloadTemplates(QString *failure)
{
    bool downloaded = false;
    QMetaObject::Connection connection;
    const bool answered = waitFor([&](const std::function<void()> &done) {
        connection =
            QObject::connect(manager(), &XrfFactoryManager::finalQcTemplatesDownloadComplete,
                             [&, done](bool status) {
                                 downloaded = status;
                                 done();
                             });
        QMetaObject::invokeMethod(manager(), "downloadFinalQcTemplates", Qt::QueuedConnection);
    });
    QObject::disconnect(connection);
    if (!downloaded)
        *failure = answered ? manager()->currentTaskStatus()
                            : QStringLiteral("the final QC templates download did not finish");
    return downloaded;
}

bool FinalQcDriver::calibrateFromCheckSamples(QString *failure)
{
    QStringList calibrated;
    QString error;
    if (!m_plan.instrument
        || !SimCheckCalibration::calibrateFromCheckSamples(*m_plan.instrument, m_profilePath,
                                                           &calibrated, &error)) {
        *failure = QStringLiteral("the check sample calibration failed: %1").arg(error);
        return false;
    }
    m_lines << QStringLiteral("(stand-in factor set: %1 calibrated from their check samples)")
                   .arg(calibrated.isEmpty() ? QStringLiteral("no method")
                                             : calibrated.join(QStringLiteral(", ")));
    return true;
}

bool FinalQcDriver::runBatch(const QString &methodId, QString *failure)
{
    QJsonObject settings;
    QString error;
    manager()->startFinalQC(methodId, &settings, &error);
    const QJsonObject batchTemplate = readTemplate(settings);
    const QString sample = batchTemplate.value(QStringLiteral("checkSample")).toString();
    const QString placed = m_plan.finalQcCheckSampleSwaps.value(sample, sample);
    if (m_plan.instrument)
        m_plan.instrument->loadSample(placed);
    XrfBatchManager *batch = XrfTestManager::instance()->batchManager();
    bool passed = false;
    QMetaObject::Connection connection;
    const bool finished = waitFor([&](const std::function<void()> &done) {
        connection =
            QObject::connect(batch, &XrfBatchManager::batchComplete, [&, done](bool success) {
                passed = success;
                done();
            });
        if (!batch->startBatch(settings, &error)) {
            // The library records the batch that could not start as failed.
            QMetaObject::invokeMethod(manager(), "onFinalQCBatchComplete", Qt::QueuedConnection,
                                      Q_ARG(bool, false));
            done();
        }
    });
    QObject::disconnect(connection);
    QString line = QStringLiteral("%1: check sample %2").arg(methodId, placed);
    if (placed != sample)
        line += QStringLiteral(" (placed for %1)").arg(sample);
    if (!error.isEmpty())
        *failure = QStringLiteral("%1: the batch did not start: %2").arg(methodId, error);
    else if (!finished)
        *failure = QStringLiteral("%1: the batch did not finish").arg(methodId);
    else if (!passed)
        *failure = QStringLiteral("%1 %2").arg(methodId, progressSummary(batchTemplate));
    m_lines << line + (passed ? QStringLiteral(", pass") : QStringLiteral(", fail"));
    return passed;
}

QJsonObject FinalQcDriver::readTemplate(const QJsonObject &settings) const
{
    const QString name = settings.value(QStringLiteral("batch"))
                             .toObject()
                             .value(QStringLiteral("selectedTemplate"))
                             .toString();
    QJsonValue value;
    if (name.isEmpty()
        || !XrfUtils::readJsonFile(m_profilePath + QStringLiteral("/templates/batch/") + name
                                       + QStringLiteral(".json"),
                                   &value))
        return QJsonObject();
    QJsonObject batchTemplate = value.toObject();
    batchTemplate.insert(QStringLiteral("name"), name);
    return batchTemplate;
}

// The elements out of tolerance, from the batch's progress file.
QString FinalQcDriver::progressSummary(const QJsonObject &batchTemplate) const
{
    QJsonValue value;
    XrfUtils::readJsonFile(m_profilePath + QLatin1Char('/')
                               + batchTemplate.value(QStringLiteral("name")).toString()
                               + QStringLiteral("_progress.json"),
                           &value);
    const QJsonObject progress = value.toObject();
    QStringList out;
    for (const QJsonValue &element : progress.value(QStringLiteral("elements")).toArray()) {
        const QJsonObject e = element.toObject();
        if (!e.value(QStringLiteral("passed")).toBool())
            out << QStringLiteral("%1 %2 against %3 +- %4")
                       .arg(e.value(QStringLiteral("element")).toString(),
                            number(e.value(QStringLiteral("computed")).toDouble()),
                            number(e.value(QStringLiteral("certified")).toDouble()),
                            number(e.value(QStringLiteral("allowedError")).toDouble()));
    }
    const QString error = progress.value(QStringLiteral("error")).toString();
    return QStringLiteral("check sample out of tolerance: %1")
        .arg(out.isEmpty() ? error : out.join(QStringLiteral(", ")));
}

bool FinalQcDriver::upload(QString *failure)
{
    QString status;
    QMetaObject::Connection connection;
    const bool finished = waitFor([&](const std::function<void()> &done) {
        connection = QObject::connect(manager(), &XrfFactoryManager::currentTaskStatusChanged,
                                      [&, done](const QString &text) {
                                          if (text != kUploaded && text != kUploadFailed)
                                              return;
                                          status = text;
                                          done();
                                      });
        QMetaObject::invokeMethod(manager(), "uploadFinalQcResult", Qt::QueuedConnection);
    });
    QObject::disconnect(connection);
    if (status == kUploaded)
        return true;
    *failure = finished ? kUploadFailed : QStringLiteral("the final QC upload did not finish");
    return false;
}
