#include "factorystate.h"

#include "fileproblems.h"

#include "xrffactorymanager.h"
#include "xrffactorystepinfo.h"
#include "xrfsettingsmanager.h"
#include "xrfutils.h"

#include <QJsonArray>
#include <QTextStream>

#include <algorithm>

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
    // What cannot be read is listed, with the file and the key, by FileProblems below.
    XrfSettingsManager::instance()->getUniversalSetting(QStringLiteral("factory.settings"),
                                                        &settings);
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
    QStringList passed;
    for (auto it = results.begin(); it != results.end(); ++it) {
        if (XrfFactoryManager::factoryStepIdFromName(it.key()) != XrfUtils::None) {
            state.steps.insert(it.key(), stepStatusText(it.value()));
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
    for (const QString &problem : problems)
        out << "Problem: " << problem << '\n';
    return text;
}
