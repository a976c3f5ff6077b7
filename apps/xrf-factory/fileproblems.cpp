#include "fileproblems.h"

#include "xrfsettingsmanager.h"
#include "xrfutils.h"

#include <QFileInfo>
#include <QJsonObject>

namespace {

// The object a JSON file holds; a problem when it exists and holds none.
QJsonObject objectOf(const QString &path, QStringList *problems)
{
    QJsonValue value;
    QString error;
    if (!QFileInfo::exists(path))
        return QJsonObject();
    if (!XrfUtils::readJsonFile(path, &value, &error))
        *problems << error;
    else if (!value.isObject())
        *problems << QStringLiteral("%1 does not hold a JSON object").arg(path);
    return value.toObject();
}

void scanUniversalSettings(const QStringList &passedSteps, QStringList *problems)
{
    const QString path = XrfSettingsManager::instance()->universalSettingsFilePath();
    const bool beyondProvisioning = !passedSteps.isEmpty()
        && !(passedSteps.size() == 1 && passedSteps.first() == QLatin1String("provisioning"));
    if (!QFileInfo::exists(path) && beyondProvisioning) {
        *problems << QStringLiteral("%1 is missing, but lastResult.json records passed steps "
                                    "(%2): the values they stored there are gone")
                         .arg(path, passedSteps.join(QStringLiteral(", ")));
        return;
    }
    const QJsonObject settings = objectOf(path, problems);
    const QJsonValue section = settings.value(QStringLiteral("factory.settings"));
    const QJsonValue count = section.toObject().value(QStringLiteral("factoryStepsCompleted"));
    if (!section.isUndefined() && !section.isObject())
        *problems << QStringLiteral("\"factory.settings\" in %1 is not an object").arg(path);
    else if (!count.isUndefined() && !count.isDouble())
        *problems << QStringLiteral("\"factoryStepsCompleted\" in \"factory.settings\" of %1 is "
                                    "not a number")
                         .arg(path);
}

void scanWorkOrder(const QString &homeDir, QStringList *problems)
{
    const QString path = homeDir + QStringLiteral("/factoryData/workOrderInfo.json");
    const int before = problems->size();
    const QJsonObject file = objectOf(path, problems);
    if (QFileInfo::exists(path) && problems->size() == before
        && !file.value(QStringLiteral("workOrder")).isObject())
        *problems << QStringLiteral("%1 has no \"workOrder\" object").arg(path);
}

void scanGlobalSettings(QStringList *problems)
{
    const QString path = XrfSettingsManager::instance()->globalSettingsFilePath();
    const QJsonValue safety = objectOf(path, problems).value(QStringLiteral("system.safety"));
    XrfSafetySettings record;
    QString error;
    if (safety.isObject() && !record.fromJsonObject(safety.toObject(), &error))
        *problems << QStringLiteral("\"system.safety\" in %1: %2").arg(path, error);
}

} // namespace

QStringList FileProblems::scan(const QString &homeDir, const QStringList &passedSteps)
{
    QStringList problems;
    scanUniversalSettings(passedSteps, &problems);
    scanGlobalSettings(&problems);
    scanWorkOrder(homeDir, &problems);
    return problems;
}
