#include "batchrunner.h"

#include "rootseeder.h"
#include "runlog.h"

#include "simcloudserver.h"
#include "simfinalqctemplates.h"
#include "simpresets.h"
#include "simsyntheticpackage.h"
#include "xrfutils.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

namespace {
const char *const kStates[] = {"pending", "running", "done"};

// The step a unit's run log shows it was in when its process ended, or its first failure.
QString unitSummary(const QString &root, const BatchUnit &unit, bool killed)
{
    QJsonObject log;
    QString error;
    RunLog::read(root, &log, &error);
    for (const QJsonValue &value : log.value(QStringLiteral("steps")).toArray()) {
        const QJsonObject step = value.toObject();
        const QString result = step.value(QStringLiteral("result")).toString();
        const QString name = step.value(QStringLiteral("step")).toString();
        if (killed && result == RunLog::kRunning)
            return QStringLiteral("killed during %1").arg(name);
        if (result == QLatin1String("FAILED") || result == QLatin1String("NOT RUN"))
            return QStringLiteral("%1 %2: %3")
                .arg(result, name, step.value(QStringLiteral("detail")).toString());
    }
    if (killed)
        return QStringLiteral("killed");
    return unit.exitCode == 0 ? QStringLiteral("PASSED")
                              : QStringLiteral("FAILED (exit code %1)").arg(unit.exitCode);
}
} // namespace

QJsonObject BatchUnit::toJson() const
{
    return {{QStringLiteral("serial"), qint64(serial)},
            {QStringLiteral("state"), QLatin1String(kStates[state])},
            {QStringLiteral("exitCode"), exitCode},
            {QStringLiteral("resumes"), resumes},
            {QStringLiteral("pid"), pid},
            {QStringLiteral("seconds"), seconds}};
}

BatchUnit BatchUnit::fromJson(const QJsonObject &object)
{
    BatchUnit unit;
    unit.serial = unsigned(object.value(QStringLiteral("serial")).toDouble());
    const QString state = object.value(QStringLiteral("state")).toString();
    // A unit that was running when the batch stopped is resumed.
    unit.state = state == QLatin1String("done") ? Done : Pending;
    unit.exitCode = object.value(QStringLiteral("exitCode")).toInt(-1);
    unit.resumes = object.value(QStringLiteral("resumes")).toInt();
    unit.seconds = object.value(QStringLiteral("seconds")).toDouble();
    return unit;
}

BatchRunner::BatchRunner(const Options &options, QObject *parent)
    : QObject(parent), m_options(options), m_startedAt(QDateTime::currentDateTimeUtc())
{ }

BatchRunner::~BatchRunner()
{
    for (QProcess *process : qAsConst(m_running)) {
        process->kill();
        process->waitForFinished();
    }
    if (m_cloud)
        m_cloud->stop();
}

QString BatchRunner::statePath() const
{
    return m_options.dir + QStringLiteral("/batch.json");
}

QString BatchRunner::unitRoot(unsigned int serial) const
{
    return m_options.dir + QStringLiteral("/units/%1").arg(serial);
}

QString BatchRunner::unitOutput(unsigned int serial) const
{
    return m_options.dir + QStringLiteral("/units/%1.out").arg(serial);
}

bool BatchRunner::loadState(QString *errorMsg)
{
    QJsonValue stored;
    if (QFileInfo::exists(statePath())) {
        if (!XrfUtils::readJsonFile(statePath(), &stored, errorMsg))
            return false;
        const QString model = stored.toObject().value(QStringLiteral("model")).toString();
        if (model != m_options.model) {
            *errorMsg = QStringLiteral("%1 holds a batch of model '%2', not '%3'")
                            .arg(statePath(), model, m_options.model);
            return false;
        }
    }
    for (const QJsonValue &unit : stored.toObject().value(QStringLiteral("units")).toArray())
        m_units << BatchUnit::fromJson(unit.toObject());
    const unsigned int first = SimModelPreset::byModel(m_options.model).serialNumber;
    for (int i = m_units.size(); i < m_options.units; ++i) {
        BatchUnit unit;
        unit.serial = first + unsigned(i);
        m_units << unit;
    }
    return true;
}

void BatchRunner::saveState()
{
    QJsonArray units;
    for (const BatchUnit &unit : qAsConst(m_units))
        units.append(unit.toJson());
    QString error;
    if (!XrfUtils::writeJsonFile(
            statePath(),
            QJsonDocument(QJsonObject{{QStringLiteral("model"), m_options.model},
                                      {QStringLiteral("units"), units}}),
            &error))
        qWarning().noquote() << "Cannot keep the batch state:" << error;
}

bool BatchRunner::start(QString *errorMsg)
{
    if (!QDir().mkpath(m_options.dir + QStringLiteral("/units"))) {
        *errorMsg = QStringLiteral("Cannot create the batch folder %1").arg(m_options.dir);
        return false;
    }
    if (!loadState(errorMsg))
        return false;
    const QJsonObject workOrder = RootSeeder::defaultWorkOrder(m_options.model, errorMsg);
    if (workOrder.isEmpty())
        return false;
    m_cloud.reset(new SimCloudServer);
    if (!m_cloud->start()) {
        *errorMsg = QStringLiteral("Cannot start the cloud simulator on 127.0.0.1");
        return false;
    }
    for (const BatchUnit &unit : qAsConst(m_units))
        m_cloud->setWorkOrder(QString::number(unit.serial), workOrder);
    // Every unit of the model has the same hardware, so one synthetic package serves them all.
    const QByteArray package = SimSyntheticPackage::forCalibrationDefaults(
        QStringLiteral("%1/%2/calibrationdefault")
            .arg(RootSeeder::defaultDataDir(), m_options.model));
    if (!package.isEmpty())
        m_cloud->setPackage(SimCloudPackage::SyntheticShots, QStringLiteral("syntheticShots.zip"),
                            package);
    const QByteArray templates = SimFinalQcTemplates::forCalibrationDefaults(
        QStringLiteral("%1/%2/calibrationdefault")
            .arg(RootSeeder::defaultDataDir(), m_options.model));
    if (!templates.isEmpty())
        m_cloud->setPackage(SimCloudPackage::FinalQcTemplates,
                            QStringLiteral("finalQcTemplates.zip"), templates);
    saveState();
    return true;
}

void BatchRunner::run()
{
    QEventLoop loop;
    m_loop = &loop;
    launchNext();
    if (!m_running.isEmpty())
        loop.exec();
    m_loop = nullptr;
}

void BatchRunner::launchNext()
{
    for (int i = 0; i < m_units.size() && m_running.size() < m_options.jobs; ++i) {
        if (m_units.at(i).state == BatchUnit::Pending)
            launch(i);
    }
    if (m_running.isEmpty() && m_loop)
        m_loop->quit();
}

void BatchRunner::launch(int index)
{
    BatchUnit &unit = m_units[index];
    auto *process = new QProcess(this);
    process->setProgram(m_options.program);
    process->setArguments({QStringLiteral("run"), QStringLiteral("--root"), unitRoot(unit.serial),
                           QStringLiteral("--model"), m_options.model, QStringLiteral("--serial"),
                           QString::number(unit.serial), QStringLiteral("--cloud-url"),
                           m_cloud->baseUrl(), QStringLiteral("--time-scale"),
                           QString::number(m_options.timeScale), QStringLiteral("--resume")});
    process->setStandardOutputFile(unitOutput(unit.serial), QIODevice::Append);
    process->setProcessChannelMode(QProcess::MergedChannels);
    auto *clock = new QElapsedTimer;
    clock->start();
    connect(process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
            [this, index, process, clock](int exitCode, QProcess::ExitStatus status) {
                m_units[index].seconds += clock->elapsed() / 1000.0;
                delete clock;
                m_running.removeAll(process);
                process->deleteLater();
                onFinished(index, exitCode, status);
            });
    connect(process, &QProcess::errorOccurred, this, [process](QProcess::ProcessError error) {
        // A program that does not start never finishes: count it as a crash.
        if (error == QProcess::FailedToStart)
            emit process->finished(-1, QProcess::CrashExit);
    });
    unit.state = BatchUnit::Running;
    m_running << process;
    process->start();
    unit.pid = process->processId();
    saveState();
}

void BatchRunner::onFinished(int index, int exitCode, QProcess::ExitStatus status)
{
    BatchUnit &unit = m_units[index];
    unit.pid = 0;
    const bool killed = status == QProcess::CrashExit;
    unit.exitCode = killed ? -1 : exitCode;
    QString summary = unitSummary(unitRoot(unit.serial), unit, killed);
    if (killed && unit.resumes < kMaxResumes) {
        ++unit.resumes;
        unit.state = BatchUnit::Pending;
        summary += QStringLiteral("; resuming it");
    } else {
        unit.state = BatchUnit::Done;
    }
    saveState();
    emit unitFinished(unit, summary);
    launchNext();
}
