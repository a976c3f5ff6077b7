// xrf-factory: the factory line on a simulated instrument.

#include "batchcommand.h"
#include "cloudcommand.h"
#include "factoryline.h"
#include "factorystate.h"
#include "progressview.h"
#include "reportcommand.h"
#include "runlog.h"
#include "stepsequence.h"

#include "simscenarios.h"
#include "xrflogging.h"
#include "xrfutils.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QTextStream>

#include <cmath>

namespace {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

int usageError(const QCommandLineParser &parser, const QString &message)
{
    err() << message << "\n\n" << parser.helpText() << Qt::flush;
    return 2;
}

int runCommand(QCommandLineParser &parser, const QStringList &arguments)
{
    const QCommandLineOption root(QStringLiteral("root"),
                                  QStringLiteral("Instrument root folder "
                                                 "(default: a fresh temporary folder)."),
                                  QStringLiteral("DIR"));
    const QCommandLineOption model(QStringLiteral("model"),
                                   QStringLiteral("Model family: default, LT, MP, HD or Harrier."),
                                   QStringLiteral("MODEL"), QStringLiteral("default"));
    const QCommandLineOption steps(
        QStringLiteral("steps"),
        QStringLiteral("Comma-separated factory steps to run (default: the whole line); besides "
                       "the factory steps the line runs the pseudo-steps finalQc, "
                       "radiationSurvey and profileBackup."),
        QStringLiteral("a,b,..."));
    const QCommandLineOption timeScale(QStringLiteral("time-scale"),
                                       QStringLiteral("Real seconds per instrument second: "
                                                      "0.01 runs a 60 s shot in 0.6 s."),
                                       QStringLiteral("S"), QStringLiteral("0.01"));
    const QCommandLineOption scenario(QStringLiteral("scenario"),
                                      QStringLiteral("Fault scenario to apply (repeatable)."),
                                      QStringLiteral("NAME"));
    const QCommandLineOption abortDuring(
        QStringLiteral("abort-during"),
        QStringLiteral("The technician aborts the hardware setup when this sub-step starts."),
        QStringLiteral("SUBSTEP"));
    const QCommandLineOption serial(
        QStringLiteral("serial"),
        QStringLiteral("The unit's serial number: its own physical variation (default: the "
                       "model's usual unit)."),
        QStringLiteral("N"));
    const QCommandLineOption cloudUrl(QStringLiteral("cloud-url"),
                                      QStringLiteral("Use this running cloud simulator."),
                                      QStringLiteral("URL"));
    const QCommandLineOption resume(
        QStringLiteral("resume"),
        QStringLiteral("Run the steps the root has not passed yet, from the one a killed run "
                       "was in."));
    const QCommandLineOption report(QStringLiteral("report"),
                                    QStringLiteral("Write the HTML report of the root to FILE."),
                                    QStringLiteral("FILE"));
    parser.addOptions(
        {root, model, steps, timeScale, scenario, abortDuring, serial, cloudUrl, resume, report});
    parser.process(arguments);

    FactoryLine::Options options;
    options.root = parser.value(root);
    options.model = parser.value(model);
    options.scenarios = parser.values(scenario);
    bool scaleOk = false;
    options.timeScale = parser.value(timeScale).toDouble(&scaleOk);
    if (!scaleOk || !std::isfinite(options.timeScale) || options.timeScale < 0)
        return usageError(parser,
                          QStringLiteral("--time-scale needs a finite number of 0 or more, not "
                                         "'%1'")
                              .arg(parser.value(timeScale)));
    options.cloudUrl = parser.value(cloudUrl);
    bool serialOk = true;
    if (parser.isSet(serial))
        options.serial = parser.value(serial).toUInt(&serialOk);
    if (!serialOk || (parser.isSet(serial) && options.serial == 0))
        return usageError(parser, QStringLiteral("--serial needs a positive number"));
    QStringList requestedSteps = parser.isSet(steps)
        ? parser.value(steps).split(QLatin1Char(','), Qt::SkipEmptyParts)
        : StepSequence::wholeLine();
    QString error;
    if (!StepSequence::validate(requestedSteps, &error))
        return usageError(parser, error);

    FactoryLine line;
    if (!line.start(options, &error)) {
        err() << error << "\n" << Qt::flush;
        return 1;
    }
    out() << "Instrument root: " << line.root() << "\n" << Qt::flush;
    if (parser.isSet(resume))
        requestedSteps = FactoryState::read().remainingSteps() + StepSequence::pseudoSteps();
    ProgressView progress;
    RunLog runLog(line.root(), options.model, line.serial());
    TechnicianPlan plan = line.technician();
    if (parser.isSet(abortDuring))
        plan.abortDuring = parser.value(abortDuring);
    StepSequence sequence(plan);
    sequence.addObserver(&progress);
    sequence.addObserver(&runLog);
    const QList<StepOutcome> outcomes = sequence.run(requestedSteps);
    const QString logFile = XrfLogger::logFilePath();
    line.stop();
    if (!outcomes.isEmpty())
        out() << "\n" << StepSequence::summaryTable(outcomes) << "\n";
    if (parser.isSet(report) && !writeReport(line.root(), parser.value(report), out(), err()))
        return 1;
    out() << FactoryState::read().toText() << "Log file:                " << logFile << '\n'
          << "Inspect it later with:   xrf-factory status --root " << line.root() << '\n'
          << Qt::flush;
    return StepSequence::allPassed(outcomes) ? 0 : 1;
}

// One scenario a line: the names in a column as wide as the longest, then the stories.
int scenariosCommand()
{
    const QStringList names = SimScenarios::names();
    int width = 0;
    for (const QString &name : names)
        width = qMax(width, name.size());
    for (const QString &name : names)
        out() << qSetFieldWidth(width + 2) << Qt::left << name << qSetFieldWidth(0)
              << SimScenarios::describe(name) << '\n';
    out() << Qt::flush;
    return 0;
}

int statusCommand(QCommandLineParser &parser, const QStringList &arguments)
{
    const QCommandLineOption root(QStringLiteral("root"), QStringLiteral("Instrument root folder."),
                                  QStringLiteral("DIR"));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print JSON."));
    parser.addOptions({root, json});
    parser.process(arguments);
    if (!parser.isSet(root))
        return usageError(parser, QStringLiteral("status needs --root DIR"));
    if (!QDir(parser.value(root)).exists()) {
        err() << "No instrument root at " << parser.value(root) << "\n" << Qt::flush;
        return 1;
    }
    XrfUtils::setInstrumentRoot(parser.value(root));
    const FactoryState state = FactoryState::read();
    if (parser.isSet(json))
        out() << QJsonDocument(state.toJson()).toJson(QJsonDocument::Indented) << Qt::flush;
    else
        out() << state.toText() << Qt::flush;
    return state.problems.isEmpty() ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("xrf-factory"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("The factory line of the XRF analyzer on a simulated instrument.\n\n"
                       "Commands:\n"
                       "  run        prepare an instrument root and run factory steps\n"
                       "  status     print the factory state of an instrument root\n"
                       "  report     write the HTML report of an instrument root\n"
                       "  batch      run a batch of simulated units against one cloud\n"
                       "  scenarios  list the fault scenarios of the simulated instrument\n"
                       "  cloud      run the simulated manufacturing cloud on its own"));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("run, status, report, batch, scenarios or cloud"));
    parser.parse(app.arguments());
    const QStringList positional = parser.positionalArguments();
    const QString command = positional.value(0);

    if (command == QLatin1String("run"))
        return runCommand(parser, app.arguments());
    if (command == QLatin1String("status"))
        return statusCommand(parser, app.arguments());
    if (command == QLatin1String("report"))
        return reportCommand(parser, app.arguments());
    if (command == QLatin1String("batch"))
        return batchCommand(parser, app.arguments());
    if (command == QLatin1String("scenarios"))
        return scenariosCommand();
    if (command == QLatin1String("cloud"))
        return cloudCommand(parser, app.arguments());
    if (parser.isSet(QStringLiteral("help")) || command.isEmpty()) {
        out() << parser.helpText() << Qt::flush;
        return command.isEmpty() && !parser.isSet(QStringLiteral("help")) ? 2 : 0;
    }
    return usageError(parser, QStringLiteral("Unknown command '%1'").arg(command));
}
