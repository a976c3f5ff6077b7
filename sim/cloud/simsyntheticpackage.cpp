#include "simsyntheticpackage.h"

#include "simziparchive.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <sys/stat.h>

namespace {

// Detector resolutions the prepared spectra were made for, in eV at Fe Ka: a detector falls in
// the first set at or above its measured width.
const QList<QPair<QString, double>> kSets = {
    {QStringLiteral("fwhm140"), 140.0},
    {QStringLiteral("fwhm170"), 170.0},
    {QStringLiteral("fwhm220"), 220.0},
    {QStringLiteral("fwhm400"), 400.0},
};

QByteArray json(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

void addMethod(SimZipArchive &archive, const QString &id, const QString &templateName,
               const QString &parameter)
{
    QJsonArray sets;
    for (const auto &set : kSets)
        sets.append(QJsonObject{{QStringLiteral("folder"), set.first},
                                {QStringLiteral("maxValue"), set.second}});
    archive.add(id + QStringLiteral("/selection.json"),
                json({{QStringLiteral("parameter"), parameter}, {QStringLiteral("sets"), sets}}));
    for (const auto &set : kSets) {
        const QJsonObject method{
            {QStringLiteral("id"), id},
            {QStringLiteral("templateName"), templateName},
            {QStringLiteral("displayName"), templateName + QStringLiteral(" (synthetic)")},
            {QStringLiteral("isSyntheticMethod"), true},
            {QStringLiteral("syntheticSet"), set.first},
            {QStringLiteral("preparedForResolutionEv"), set.second},
        };
        archive.add(QStringLiteral("%1/%2/CalcMethod_%1.json").arg(id, set.first), json(method));
    }
}

} // namespace

QByteArray SimSyntheticPackage::forMethodMap(const QJsonObject &methodMap)
{
    SimZipArchive archive;
    int methods = 0;
    const QJsonObject map = methodMap.value(QStringLiteral("methods"))
                                .toObject()
                                .value(QStringLiteral("default"))
                                .toObject();
    for (const QJsonValue &value : map) {
        const QJsonObject entry = value.toObject();
        if (!entry.value(QStringLiteral("isSyntheticMethod")).toBool())
            continue;
        const QString templateName = entry.value(QStringLiteral("id")).toString();
        QString id = templateName;
        if (entry.value(QStringLiteral("isNativeCalibration")).toBool())
            id += QStringLiteral("-ISC");
        addMethod(archive, id, templateName,
                  entry.value(QStringLiteral("syntheticShotSelectionParameter")).toString());
        if (entry.value(QStringLiteral("hasDualCalibration")).toBool())
            addMethod(
                archive, id + QStringLiteral("-Coll"), templateName,
                entry.value(QStringLiteral("syntheticShotSelectionParameterColl")).toString());
        ++methods;
    }
    const QByteArray bytes = archive.finish();
    return methods > 0 ? bytes : QByteArray();
}

QByteArray SimSyntheticPackage::hostile(const QString &escapeName)
{
    SimZipArchive archive;
    addMethod(archive, QStringLiteral("alloy-ISC"), QStringLiteral("alloy"),
              QStringLiteral("resolution"));
    archive.add(QStringLiteral("alloy-ISC/etc"), "/etc", S_IFLNK | 0777);
    archive.add(QStringLiteral("../../") + escapeName, "written outside the unpack folder\n");
    return archive.finish();
}

QByteArray SimSyntheticPackage::forCalibrationDefaults(const QString &folder)
{
    const QDir dir(folder);
    for (const QString &name :
         dir.entryList({QStringLiteral("methodsPartIdMap*.json")}, QDir::Files, QDir::Name)) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray package = forMethodMap(QJsonDocument::fromJson(file.readAll()).object());
        if (!package.isEmpty())
            return package;
    }
    return QByteArray();
}
