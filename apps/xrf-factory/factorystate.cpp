#include "factorystate.h"

#include "xrffactorymanager.h"
#include "xrffactorystepinfo.h"
#include "xrfsettingsmanager.h"
#include "xrfutils.h"

#include <QJsonArray>
#include <QTextStream>

namespace {
const int kLastStepId = XrfUtils::FactorSet;

QString stepStatusText(const QJsonValue &record)
{
    XrfFactoryStepInfo info;
    if (record.isObject() && info.fromJsonObject(record.toObject()))
        return info.statusStr();
    return QStringLiteral("stored");
}
} // namespace

FactoryState FactoryState::read()
{
    FactoryState state;
    state.root = XrfUtils::instrumentRoot();

    QJsonObject settings;
    const int code = XrfSettingsManager::instance()->getUniversalSetting(
        QStringLiteral("factory.settings"), &settings);
    if (code != XrfSettingsManager::NoError)
        state.problems
            << QStringLiteral("universal settings: %1").arg(XrfSettingsManager::errorText(code));
    state.factoryStepsCompleted = settings.value(QStringLiteral("factoryStepsCompleted")).toInt();
    const int next = state.factoryStepsCompleted + 1;
    state.currentStep = next > kLastStepId
        ? QStringLiteral("complete")
        : XrfFactoryManager::factoryStepNameFromId(XrfUtils::FactoryStepId(qMax(next, 1)));

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
    for (auto it = results.begin(); it != results.end(); ++it) {
        if (XrfFactoryManager::factoryStepIdFromName(it.key()) != XrfUtils::None)
            state.steps.insert(it.key(), stepStatusText(it.value()));
        else
            state.otherKeys << it.key();
    }
    return state;
}

QJsonObject FactoryState::toJson() const
{
    return {
        {QStringLiteral("root"), root},
        {QStringLiteral("currentStep"), currentStep},
        {QStringLiteral("factoryStepsCompleted"), factoryStepsCompleted},
        {QStringLiteral("steps"), steps},
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
        << "Current step:            " << currentStep << '\n'
        << "Stored step results:     " << (steps.isEmpty() ? QStringLiteral("none") : QString())
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
