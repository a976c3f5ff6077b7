#include "xrfsoftwareversioninfo.h"

#include "xrfutils.h"

bool XrfSoftwareVersionInfo::readVersionInfoFromFile(const QString &devicePath, QString *errorMsg)
{
    *this = XrfSoftwareVersionInfo();
    const QString path = XrfUtils::devicePath(devicePath);
    QJsonValue value;
    QString error;
    if (!XrfUtils::readJsonFile(path, &value, &error) || !value.isObject()) {
        if (errorMsg)
            *errorMsg =
                error.isEmpty() ? QStringLiteral("%1 is not a JSON object").arg(path) : error;
        return false;
    }
    XrfSoftwareVersionInfo read;
    QString parseError;
    // Versions may be written as numbers; they are kept as text.
    QJsonObject json = value.toObject();
    for (const char *key : {"rootFsVersion", "rootFsPatchVersion", "appVersion"}) {
        const QJsonValue version = json.value(QLatin1String(key));
        if (version.isDouble())
            json.insert(QLatin1String(key), QString::number(version.toDouble()));
    }
    if (!read.fromJsonObject(json, &parseError)) {
        if (errorMsg)
            *errorMsg = QStringLiteral("%1: %2").arg(path, parseError);
        return false;
    }
    *this = read;
    return true;
}
