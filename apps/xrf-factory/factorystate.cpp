#include "factorystate.h"

#include "fileproblems.h"
#include "runlog.h"
#include "stepsequence.h"

#include "xrffactorymanager.h"
#include "xrffactorystepinfo.h"
#include "xrfsettingsmanager.h"
#include "xrfutils.h"

#include <QTextStream>

#include <algorithm>

namespace {
const int kLastStepId = XrfUtils::FactorSet;
const QString kPassed = QStringLiteral("Passed");

QString stepName(int id)
{
    return XrfFactoryManager::factoryStepNameFromId(XrfUtils::FactoryStepId(id));
}

// The steps the cloud counts as passed, from the factory status stored beside the records.
QSet<int> cloudPassedSteps(const QJsonObject &results)
{
    QSet<int> passed;
    const QJsonArray steps = results.value(QStringLiteral("factoryStepsStatus"))
                                 .toObject()
                                 .value(QStringLiteral("stepStatus"))
                                 .toArray();
    for (const QJsonValue &step : steps) {
        if (step.toObject().value(QStringLiteral("statusId")).toInt() == 2)
            passed << step.toObject().value(QStringLiteral("stepId")).toInt();
    }
    return passed;
}

// The first step without a passed record: what to run next when the count cannot be read.
QString firstStepNotPassed(const QJsonObject &results)
{
    const QSet<int> cloudPassed = cloudPassedSteps(results);
    for (int id = XrfUtils::Provisioning; id <= kLastStepId; ++id) {
        if (!cloudPassed.contains(id)
            && FactoryState::recordStatus(results.value(stepName(id))) != kPassed)
            return stepName(id);
    }
    return QStringLiteral("complete");
}

void readRunLog(FactoryState *state)
{
    QJsonObject log;
    QString error;
    if (!RunLog::read(state->root, &log, &error)) {
        state->problems << error;
        return;
    }
    for (const QJsonValue &value : log.value(QStringLiteral("steps")).toArray()) {
        const QJsonObject entry = value.toObject();
        QJsonObject step;
        for (const char *key : {"step", "result", "seconds", "detail"})
            step.insert(QLatin1String(key), entry.value(QLatin1String(key)));
        state->lineSteps.append(step);
        if (entry.value(QStringLiteral("result")).toString() == RunLog::kRunning)
            state->interruptedStep = entry.value(QStringLiteral("step")).toString();
    }
}
} // namespace

QString FactoryState::recordStatus(const QJsonValue &record)
{
    // The air shot record is the result object itself, with "pass" or "fail".
    const QJsonValue status = record.toObject().value(QStringLiteral("status"));
    if (status.isString()) {
        const QString text = status.toString();
        if (text == QLatin1String("pass"))
            return kPassed;
        return text == QLatin1String("fail") ? QStringLiteral("Failed") : text;
    }
    XrfFactoryStepInfo info;
    if (record.isObject() && info.fromJsonObject(record.toObject()))
        return info.statusStr();
    return QStringLiteral("stored");
}

FactoryState FactoryState::read()
{
    FactoryState state;
    state.root = XrfUtils::instrumentRoot();

    QJsonObject settings;
    // What cannot be read is listed, with the file and the key, by FileProblems below.
    const int code = XrfSettingsManager::instance()->getUniversalSetting(
        QStringLiteral("factory.settings"), &settings);
    const bool settingsRead = code == XrfSettingsManager::NoError;
    state.factoryStepsCompleted = settings.value(QStringLiteral("factoryStepsCompleted")).toInt();

    const QString lastResultPath =
        XrfUtils::homeCorvaneAppDirPath() + QStringLiteral("/factoryData/lastResult.json");
    QJsonValue lastResult;
    QString error;
    if (!XrfUtils::readJsonFile(lastResultPath, &lastResult, &error)) {
        if (!error.endsWith(QLatin1String("does not exist")))
            state.problems << error;
    } else if (!lastResult.isObject()) {
        state.problems << QStringLiteral("%1 does not hold a JSON object").arg(lastResultPath);
    }
    const QJsonObject results = lastResult.toObject();
    state.methods = results.value(QStringLiteral("prerequisiteShots"))
                        .toObject()
                        .value(QStringLiteral("result"))
                        .toObject()
                        .value(QStringLiteral("methods"))
                        .toArray();
    QStringList passed;
    for (auto it = results.begin(); it != results.end(); ++it) {
        if (XrfFactoryManager::factoryStepIdFromName(it.key()) != XrfUtils::None) {
            state.steps.insert(it.key(), recordStatus(it.value()));
            if (state.steps.value(it.key()).toString() == QLatin1String("Passed"))
                passed << it.key();
        } else {
            state.otherKeys << it.key();
        }
    }
    std::sort(passed.begin(), passed.end(), [](const QString &a, const QString &b) {
        return XrfFactoryManager::factoryStepIdFromName(a)
            < XrfFactoryManager::factoryStepIdFromName(b);
    });
    state.problems << FileProblems::scan(XrfUtils::homeCorvaneAppDirPath(), passed);

    if (settingsRead) {
        const int next = state.factoryStepsCompleted + 1;
        state.currentStep =
            next > kLastStepId ? QStringLiteral("complete") : stepName(qMax(next, 1));
        state.currentStepSource = QStringLiteral("settings");
    } else {
        state.currentStep = firstStepNotPassed(results);
        state.currentStepSource = QStringLiteral("results");
    }
    readRunLog(&state);
    return state;
}

QStringList FactoryState::remainingSteps() const
{
    int from = currentStep == QLatin1String("complete")
        ? kLastStepId + 1
        : XrfFactoryManager::factoryStepIdFromName(currentStep);
    if (!interruptedStep.isEmpty()) {
        const int interrupted = XrfFactoryManager::factoryStepIdFromName(interruptedStep);
        if (interrupted != XrfUtils::None)
            from = qMin(from, interrupted);
    }
    QStringList remaining;
    for (const QString &step : StepSequence::runnableSteps()) {
        if (XrfFactoryManager::factoryStepIdFromName(step) >= from)
            remaining << step;
    }
    return remaining;
}

QJsonObject FactoryState::toJson() const
{
    return {
        {QStringLiteral("root"), root},
        {QStringLiteral("currentStep"), currentStep},
        {QStringLiteral("currentStepSource"), currentStepSource},
        {QStringLiteral("interruptedStep"), interruptedStep},
        {QStringLiteral("remainingSteps"), QJsonArray::fromStringList(remainingSteps())},
        {QStringLiteral("factoryStepsCompleted"), factoryStepsCompleted},
        {QStringLiteral("steps"), steps},
        {QStringLiteral("lineSteps"), lineSteps},
        {QStringLiteral("otherKeys"), QJsonArray::fromStringList(otherKeys)},
        {QStringLiteral("methods"), methods},
        {QStringLiteral("problems"), QJsonArray::fromStringList(problems)},
    };
}

QString FactoryState::toText() const
{
    QString text;
    QTextStream out(&text);
    out << "Instrument root:         " << root << '\n'
        << "Factory steps completed: " << factoryStepsCompleted << '\n'
        << "Current step:            " << currentStep
        << (currentStepSource == QLatin1String("results")
                ? " (from the stored results: the settings cannot be read)"
                : "")
        << '\n';
    if (!interruptedStep.isEmpty())
        out << "Interrupted:             the line stopped during " << interruptedStep
            << "; run it again to resume\n";
    const QStringList remaining = remainingSteps();
    if (!remaining.isEmpty())
        out << "Next step to run:        " << remaining.first() << '\n'
            << "Resume with:             xrf-factory run --root " << root << " --resume\n";
    else if (currentStep != QLatin1String("complete"))
        out << "Next step to run:        " << currentStep << " (this line cannot run it yet)\n";
    out << "Stored step results:     " << (steps.isEmpty() ? QStringLiteral("none") : QString())
        << '\n';
    for (auto it = steps.begin(); it != steps.end(); ++it)
        out << "  " << qSetFieldWidth(22) << Qt::left << it.key() << qSetFieldWidth(0)
            << it.value().toString() << '\n';
    if (!otherKeys.isEmpty())
        out << "Other stored results:    " << otherKeys.join(QStringLiteral(", ")) << '\n';
    if (!methods.isEmpty())
        out << "Methods to calibrate:\n";
    for (const QString &line : methodLines())
        out << "  " << line << '\n';
    if (!lineSteps.isEmpty()) {
        out << "Line runs (line/runLog.json):\n";
        for (const QJsonValue &value : lineSteps) {
            const QJsonObject step = value.toObject();
            out << "  " << qSetFieldWidth(22) << Qt::left
                << step.value(QStringLiteral("step")).toString() << qSetFieldWidth(9)
                << step.value(QStringLiteral("result")).toString() << qSetFieldWidth(0)
                << QString::number(step.value(QStringLiteral("seconds")).toDouble(), 'f', 1)
                << " s  " << step.value(QStringLiteral("detail")).toString() << '\n';
        }
    }
    for (const QString &problem : problems)
        out << "Problem: " << problem << '\n';
    return text;
}

QStringList FactoryState::methodLines() const
{
    QStringList lines;
    for (const QJsonValue &value : methods) {
        const QJsonObject method = value.toObject();
        QStringList kinds;
        if (method.value(QStringLiteral("isBigSet")).toBool())
            kinds << QStringLiteral("BigSet");
        if (method.value(QStringLiteral("isNativeCalibration")).toBool())
            kinds << QStringLiteral("ISC");
        if (method.value(QStringLiteral("isCollimatedCalibration")).toBool())
            kinds << QStringLiteral("collimated twin");
        const QString twin =
            method.value(QStringLiteral("alternateCalibrationMethodID")).toString();
        if (!twin.isEmpty())
            kinds << QStringLiteral("twin %1").arg(twin);
        if (method.value(QStringLiteral("isSyntheticMethod")).toBool())
            kinds << QStringLiteral("synthetic");
        if (method.value(QStringLiteral("isFullDemoMethod")).toBool())
            kinds << QStringLiteral("full demo");
        if (!method.value(QStringLiteral("isFactoryMethod")).toBool(true))
            kinds << QStringLiteral("clone of %1")
                         .arg(method.value(QStringLiteral("factoryMethodID")).toString());
        lines << QStringLiteral("%1 %2 %3")
                     .arg(method.value(QStringLiteral("id")).toString(), -22)
                     .arg(method.value(QStringLiteral("partId")).toString(), -18)
                     .arg(kinds.join(QStringLiteral(", ")));
    }
    return lines;
}
