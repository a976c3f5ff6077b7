// The installed analysis methods of the profile.

#include "xrfsettingsmanager.h"

#include "xrfmethod.h"

#include <QDir>
#include <QFileInfo>

int XrfSettingsManager::getMethodList(QJsonArray *methods) const
{
    if (!methods)
        return InvalidArgument;
    *methods = QJsonArray();
    QString profile;
    getProfilePath(&profile);
    const QFileInfoList folders = QDir(XrfMethod::methodsFolder(profile))
                                      .entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &folder : folders) {
        const QString id = folder.fileName();
        if (folder.isSymLink() || !XrfMethod::isValidMethodId(id))
            continue;
        XrfMethod method;
        if (!method.setMethodFile(XrfMethod::methodFilePath(profile, id))
            || !method.isFactorSetted() || method.id() != id)
            continue;
        const QJsonValue enable = method.toJsonObject().value(QStringLiteral("enable"));
        methods->append(
            QJsonObject{{QStringLiteral("id"), id},
                        {QStringLiteral("enable"), enable.toBool(true)},
                        {QStringLiteral("isFullDemoMethod"), method.isFullDemoMethod()}});
    }
    return NoError;
}
