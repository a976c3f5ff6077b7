#include "batchcommand.h"

#include "batchanalysis.h"
#include "batchrunner.h"
#include "reportpage.h"
#include "runlog.h"
#include "stepsequence.h"

#include "simcloudserver.h"
#include "simpresets.h"
#include "xrffactorymanager.h"
#include "xrfnetworkmanager.h"
#include "xrfutils.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMetaEnum>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

int usage(const QCommandLineParser &parser, const QString &message)
{
    QTextStream(stderr) << message << "\n\n" << parser.helpText() << Qt::flush;
    return 2;
}

int positiveNumber(const QCommandLineParser &parser, const QCommandLineOption &option)
{
    bool ok = false;
    const int value = parser.value(option).toInt(&ok);
    return ok && value > 0 ? value : 0;
}

BatchAnalysis analyse(const BatchRunner &runner)
{
    BatchAnalysis analysis;
    for (const BatchUnit &unit : runner.units()) {
        BatchAnalysis::Unit data;
        data.serial = unit.serial;
        data.root = runner.unitRoot(unit.serial);
        data.done = unit.state == BatchUnit::Done;
        QString error;
        RunLog::read(data.root, &data.runLog, &error);
        QJsonValue lastResult;
        XrfUtils::readJsonFile(data.root + QStringLiteral("/home/factoryData/lastResult.json"),
                               &lastResult);
        data.lastResult = lastResult.toObject();
        analysis.addUnit(data);
    }
    return analysis;
}

// The cloud's own counts: every request it answered, and every step a unit passed in this run
// whose status the cloud holds as passed. A step missing there was lost on the way.
QString cloudAccount(const BatchRunner &runner, int *lost)
{
    QString text;
    QTextStream stream(&text);
    const QMetaEnum ids = QMetaEnum::fromType<XrfNetworkManager::CloudRequestIds>();
    int total = 0;
    QStringList counts;
    for (int i = 0; i < ids.keyCount(); ++i) {
        const int count = runner.cloud().requestCount(ids.value(i));
        total += count;
        if (count > 0)
            counts << QStringLiteral("%1 %2").arg(QLatin1String(ids.key(i))).arg(count);
    }
    *lost = 0;
    const QString since = runner.startedAt().toString(Qt::ISODate);
    for (const BatchUnit &unit : runner.units()) {
        QJsonObject log;
        QString error;
        RunLog::read(runner.unitRoot(unit.serial), &log, &error);
        const QMap<int, int> statuses = runner.cloud().stepStatuses(QString::number(unit.serial));
        for (const QJsonValue &value : log.value(QStringLiteral("steps")).toArray()) {
            const QJsonObject step = value.toObject();
            const int id = XrfFactoryManager::factoryStepIdFromName(
                step.value(QStringLiteral("step")).toString());
            if (id == XrfUtils::None
                || step.value(QStringLiteral("result")).toString() != QLatin1String("PASSED")
                || step.value(QStringLiteral("startTime")).toString() < since)
                continue;
            if (statuses.value(id) != 2) {
                ++*lost;
                stream << "  LOST: unit " << unit.serial << " passed "
                       << step.value(QStringLiteral("step")).toString()
                       << " but the cloud holds status " << statuses.value(id) << '\n';
            }
        }
    }
    stream << "Cloud requests answered: " << total << " (" << counts.join(QStringLiteral(", "))
           << ")\n"
           << "Step statuses lost on the way to the cloud: " << *lost << '\n';
    return text;
}

} // namespace

int batchCommand(QCommandLineParser &parser, const QStringList &arguments)
{
    const QCommandLineOption model(QStringLiteral("model"),
                                   QStringLiteral("Model family: default, LT, MP, HD or Harrier."),
                                   QStringLiteral("MODEL"), QStringLiteral("default"));
    const QCommandLineOption units(QStringLiteral("units"), QStringLiteral("Units in the batch."),
                                   QStringLiteral("N"), QStringLiteral("10"));
    const QCommandLineOption jobs(QStringLiteral("jobs"), QStringLiteral("Units at a time."),
                                  QStringLiteral("J"), QStringLiteral("2"));
    const QCommandLineOption dir(QStringLiteral("dir"),
                                 QStringLiteral("Batch folder; run again on it to resume "
                                                "(default: a fresh temporary folder)."),
                                 QStringLiteral("DIR"));
    const QCommandLineOption timeScale(QStringLiteral("time-scale"),
                                       QStringLiteral("Real seconds per instrument second."),
                                       QStringLiteral("S"), QStringLiteral("0.0001"));
    const QCommandLineOption report(
        QStringLiteral("report"),
        QStringLiteral("The batch report (default: DIR/batchReport.html)."),
        QStringLiteral("FILE"));
    parser.addOptions({model, units, jobs, dir, timeScale, report});
    parser.process(arguments);

    BatchRunner::Options options;
    options.model = parser.value(model);
    options.units = positiveNumber(parser, units);
    options.jobs = positiveNumber(parser, jobs);
    bool scaleOk = false;
    options.timeScale = parser.value(timeScale).toDouble(&scaleOk);
    if (options.units == 0 || options.jobs == 0)
        return usage(parser, QStringLiteral("--units and --jobs need a positive number"));
    if (!scaleOk || options.timeScale < 0)
        return usage(parser, QStringLiteral("--time-scale needs a number of 0 or more"));
    if (!SimModelPreset::models().contains(options.model))
        return usage(parser,
                     QStringLiteral("Unknown model '%1'; choose one of: %2")
                         .arg(options.model, SimModelPreset::models().join(QStringLiteral(", "))));
    options.program = QCoreApplication::applicationFilePath();
    if (parser.isSet(dir)) {
        options.dir = QFileInfo(parser.value(dir)).absoluteFilePath();
    } else {
        QTemporaryDir temporary(QDir::tempPath() + QStringLiteral("/xrf-batch-XXXXXX"));
        temporary.setAutoRemove(false);
        options.dir = temporary.path();
    }

    BatchRunner runner(options);
    QString error;
    if (!runner.start(&error)) {
        QTextStream(stderr) << error << '\n' << Qt::flush;
        return 1;
    }
    out() << "Batch folder: " << options.dir << "\nCloud: " << runner.cloud().baseUrl() << '\n'
          << Qt::flush;
    QObject::connect(&runner, &BatchRunner::unitFinished,
                     [](const BatchUnit &unit, const QString &summary) {
                         out() << "unit " << unit.serial << "  "
                               << QString::number(unit.seconds, 'f', 1) << " s  " << summary << '\n'
                               << Qt::flush;
                     });
    runner.run();

    const BatchAnalysis analysis = analyse(runner);
    int lost = 0;
    const QString account = cloudAccount(runner, &lost);
    out() << '\n' << analysis.text() << '\n' << account << Qt::flush;
    const QString reportFile = parser.isSet(report)
        ? parser.value(report)
        : options.dir + QStringLiteral("/batchReport.html");
    const QString summary =
        htmlTable(QStringLiteral("summary"), {QStringLiteral("Item"), QStringLiteral("Value")},
                  {{QStringLiteral("Model"), options.model},
                   {QStringLiteral("Units"), QString::number(runner.units().size())},
                   {QStringLiteral("Units done"), QString::number(analysis.unitsDone())},
                   {QStringLiteral("Passed every step"), QString::number(analysis.unitsPassed())}});
    if (!ReportPage::write(reportFile,
                           ReportPage::page(QStringLiteral("Batch report: %1").arg(options.model),
                                            summary, analysis.sections()),
                           &error)) {
        QTextStream(stderr) << error << '\n' << Qt::flush;
        return 1;
    }
    out() << "Batch report: " << QFileInfo(reportFile).absoluteFilePath() << '\n' << Qt::flush;
    return lost == 0 && analysis.unitsDone() == runner.units().size() ? 0 : 1;
}
