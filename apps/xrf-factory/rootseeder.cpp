#include "rootseeder.h"

#include "xrfutils.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

QString RootSeeder::defaultDataDir()
{
    const QString fromEnvironment = qEnvironmentVariable("XRF_DATA_DIR");
    return fromEnvironment.isEmpty() ? QStringLiteral(XRF_DATA_DIR) : fromEnvironment;
}

bool RootSeeder::seed(const QString &dataDir, const QString &model, const QString &homeDir,
                      QString *errorMsg)
{
    // The model names a folder of the data: a name that could reach outside it is refused.
    if (!XrfUtils::isSafePathComponent(model) || model.startsWith(QLatin1Char('.'))) {
        *errorMsg = QStringLiteral("'%1' is not a model name").arg(model);
        return false;
    }
    const QString modelDir = dataDir + QLatin1Char('/') + model;
    if (!QFileInfo(modelDir).isDir()) {
        *errorMsg = QStringLiteral("No default data for model '%1' in %2").arg(model, dataDir);
        return false;
    }
    const QString commonDir = dataDir + QStringLiteral("/common");
    if (QFileInfo(commonDir).isDir() && !copyMissing(commonDir, homeDir, errorMsg))
        return false;
    return copyMissing(modelDir, homeDir, errorMsg);
}

bool RootSeeder::copyMissing(const QString &from, const QString &to, QString *errorMsg)
{
    QDirIterator it(from, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + QLatin1Char('/') + QDir(from).relativeFilePath(source);
        if (QFileInfo::exists(target))
            continue;
        QDir().mkpath(QFileInfo(target).absolutePath());
        if (!QFile::copy(source, target)) {
            *errorMsg = QStringLiteral("Cannot copy %1 to %2").arg(source, target);
            return false;
        }
        QFile::setPermissions(
            target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    }
    return true;
}

QJsonObject RootSeeder::workOrderOf(const QString &homeDir)
{
    QJsonValue info;
    if (!XrfUtils::readJsonFile(homeDir + QStringLiteral("/factoryData/workOrderInfo.json"), &info))
        return QJsonObject();
    return info.toObject().value(QStringLiteral("workOrder")).toObject();
}

QJsonObject RootSeeder::defaultWorkOrder(const QString &model, QString *errorMsg)
{
    QTemporaryDir home;
    if (!seed(defaultDataDir(), model, home.path(), errorMsg))
        return QJsonObject();
    return workOrderOf(home.path());
}
