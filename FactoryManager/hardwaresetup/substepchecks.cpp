// The checks of a hardware setup sub-step's setup data before it runs, and of what a passed
// sub-step left in the universal settings.

#include "substepchecks.h"

#include "xrfsettingsmanager.h"

#include <QJsonArray>
#include <QRegularExpression>

namespace {

// The key of a sub-step's "setupParams" that makes it one the operator confirms.
const QString kOperatorConfirms = QStringLiteral("operatorConfirms");
const char kUnknownSubStep[] = "Unknown hardware setup sub-step '%1' in \"hardwareSetupSteps\" of "
                               "%3: no procedure runs it and \"%2\" is not set";
const char kNumberAsText[] = "Setup parameter \"%1\" of hardware setup sub-step '%2' in %3 is "
                             "the text \"%4\"; it must be a number";

// The first value below `value` that is a number written as text ("900"), which would read as 0;
// `key` receives its path ("limits.min").
bool findNumberAsText(const QJsonValue &value, const QString &path, QString *key, QString *text)
{
    static const QRegularExpression number(
        QStringLiteral("^\\s*[-+]?(\\d+\\.?\\d*|\\.\\d+)([eE][-+]?\\d+)?\\s*$"));
    if (value.isString() && number.match(value.toString()).hasMatch()) {
        *key = path;
        *text = value.toString();
        return true;
    }
    const QString prefix = path.isEmpty() ? QString() : path + QLatin1Char('.');
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (findNumberAsText(it.value(), prefix + it.key(), key, text))
                return true;
        }
    } else if (value.isArray()) {
        const QJsonArray array = value.toArray();
        for (int i = 0; i < array.size(); ++i) {
            if (findNumberAsText(array.at(i), QStringLiteral("%1[%2]").arg(path).arg(i), key, text))
                return true;
        }
    }
    return false;
}

// The universal settings a passed sub-step leaves behind (section and key), which later steps
// read. When the settings file lost them (deleted, or kept aside as unreadable), the sub-step has
// to run again rather than count as passed.
struct StoredSetting
{
    const char *subStep;
    const char *section;
    const char *key;
};
const StoredSetting kStoredSettings[] = {
    {"fpgaGainSetup", "hardware.fpga", "slope"},
    {"collimatorRatioSetup", "hardware.filterPairs", nullptr},
};

} // namespace

QString SubStepChecks::refusal(const XrfHardwareSetupStepInfo &step, bool hasProcedure,
                               const QString &setupDataPath)
{
    QString key;
    QString text;
    if (findNumberAsText(step.setupParams(), QString(), &key, &text))
        return QString::fromLatin1(kNumberAsText).arg(key, step.stepId(), setupDataPath, text);
    if (!hasProcedure && !step.setupParams().value(kOperatorConfirms).toBool())
        return QString::fromLatin1(kUnknownSubStep)
            .arg(step.stepId(), kOperatorConfirms, setupDataPath);
    return QString();
}

QString SubStepChecks::lostSetting(const XrfHardwareSetupStepInfo &step)
{
    if (!step.isDone() || step.hasFailed())
        return QString();
    XrfSettingsManager *settings = XrfSettingsManager::instance();
    for (const StoredSetting &stored : kStoredSettings) {
        if (step.stepId() != QLatin1String(stored.subStep))
            continue;
        QJsonObject section;
        const int code = settings->getUniversalSetting(QLatin1String(stored.section), &section);
        const bool present = code == 0 && !section.isEmpty()
            && (!stored.key || section.contains(QLatin1String(stored.key)));
        if (present)
            return QString();
        return QStringLiteral("Hardware setup sub-step '%1' passed earlier, but \"%2\"%3 is "
                              "missing from %4: what it stored is gone, so it runs again")
            .arg(step.stepId(), QLatin1String(stored.section),
                 stored.key ? QStringLiteral(" key \"%1\"").arg(QLatin1String(stored.key))
                            : QString(),
                 settings->universalSettingsFilePath());
    }
    return QString();
}
