#include "simcalibratedpassthrough.h"

#include "xrfmethod.h"
#include "xrfutils.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

QByteArray simPassThroughCalibratedMethod(const QByteArray &uploadedZip, const QString &methodId)
{
    const QString fileName = XrfMethod::methodFileName(methodId);
    QTemporaryDir work;
    if (fileName.isEmpty() || !work.isValid())
        return uploadedZip;
    const QString zipPath = work.filePath(QStringLiteral("in.zip"));
    const QString folder = work.filePath(QStringLiteral("method"));
    QFile zip(zipPath);
    if (!zip.open(QIODevice::WriteOnly) || zip.write(uploadedZip) != uploadedZip.size())
        return uploadedZip;
    zip.close();
    QJsonValue method;
    if (!XrfUtils::unzip(zipPath, folder)
        || !XrfUtils::readJsonFile(folder + QLatin1Char('/') + fileName, &method)
        || !method.isObject())
        return uploadedZip;
    QJsonObject object = method.toObject();
    object.insert(QStringLiteral("isFactorSet"), true);
    if (!XrfUtils::writeJsonFile(folder + QLatin1Char('/') + fileName, QJsonDocument(object))
        || !XrfUtils::zip(folder, QStringLiteral("out.zip"), work.path(), true, true, false,
                          QString()))
        return uploadedZip;
    QFile out(work.filePath(QStringLiteral("out.zip")));
    return out.open(QIODevice::ReadOnly) ? out.readAll() : uploadedZip;
}
