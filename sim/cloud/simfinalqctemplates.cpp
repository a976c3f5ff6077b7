#include "simfinalqctemplates.h"

#include "simreferencematerials.h"
#include "simziparchive.h"

#include "xrfutils.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

namespace {

QJsonObject readObject(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QJsonObject();
    return QJsonDocument::fromJson(file.readAll()).object();
}

// The template of a method, or an empty object when its method template names no known standard.
QJsonObject templateFor(const QString &methodId, const QJsonObject &methodTemplate)
{
    const QJsonArray standards = methodTemplate.value(QStringLiteral("standards")).toArray();
    const QString sample =
        standards.first().toObject().value(QStringLiteral("sampleID")).toString();
    const SimReferenceMaterial *material = SimReferenceMaterials::find(sample);
    if (!material)
        return QJsonObject();
    const QJsonArray analysed = methodTemplate.value(QStringLiteral("method"))
                                    .toObject()
                                    .value(QStringLiteral("elements"))
                                    .toArray();
    QJsonArray elements;
    for (const QString &symbol : SimReferenceMaterials::majorElements(*material)) {
        if (analysed.isEmpty() || analysed.contains(symbol))
            elements.append(symbol);
    }
    const bool noMajorElement = elements.isEmpty();
    for (const QJsonValue &symbol : analysed) {
        const int z = XrfUtils::atomicNumber(symbol.toString());
        if (noMajorElement && material->massFraction(z) >= SimFinalQcTemplates::kTraceFraction)
            elements.append(symbol);
    }
    return QJsonObject{
        {QStringLiteral("version"), QStringLiteral("1.0")},
        {QStringLiteral("methodId"), methodId},
        {QStringLiteral("displayName"),
         methodTemplate.value(QStringLiteral("displayName")).toString()
             + QStringLiteral(" final QC")},
        {QStringLiteral("checkSample"), material->id},
        {QStringLiteral("tolerance"), SimFinalQcTemplates::kTolerance},
        {QStringLiteral("minTolerance"), SimFinalQcTemplates::kMinTolerance},
        {QStringLiteral("elements"), elements},
    };
}

void addTemplate(SimZipArchive &archive, const QJsonObject &batchTemplate)
{
    archive.add(batchTemplate.value(QStringLiteral("methodId")).toString()
                    + QStringLiteral("_fqc.json"),
                QJsonDocument(batchTemplate).toJson(QJsonDocument::Indented));
}

} // namespace

QByteArray SimFinalQcTemplates::forCalibrationDefaults(const QString &folder)
{
    const QDir dir(folder);
    SimZipArchive archive;
    int templates = 0;
    for (const QString &name :
         dir.entryList({QStringLiteral("methodsPartIdMap*.json")}, QDir::Files, QDir::Name)) {
        const QJsonObject map = readObject(dir.filePath(name))
                                    .value(QStringLiteral("methods"))
                                    .toObject()
                                    .value(QStringLiteral("default"))
                                    .toObject();
        for (const QJsonValue &value : map) {
            const QJsonObject entry = value.toObject();
            // A synthetic method's factors come with the model's synthetic package, not from
            // standards shot on this unit: final QC checks the methods calibrated here.
            if (entry.value(QStringLiteral("isSyntheticMethod")).toBool())
                continue;
            const QString templateName = entry.value(QStringLiteral("id")).toString();
            const QJsonObject methodTemplate = readObject(dir.filePath(
                QStringLiteral("methodTemplates/CalcMethodTemplate_%1.json").arg(templateName)));
            QString id = templateName;
            if (entry.value(QStringLiteral("isNativeCalibration")).toBool())
                id += QStringLiteral("-ISC");
            QStringList ids{id};
            if (entry.value(QStringLiteral("hasDualCalibration")).toBool())
                ids << id + QStringLiteral("-Coll");
            for (const QString &methodId : qAsConst(ids)) {
                const QJsonObject batchTemplate = templateFor(methodId, methodTemplate);
                if (templateName.isEmpty() || batchTemplate.isEmpty())
                    continue;
                addTemplate(archive, batchTemplate);
                ++templates;
            }
        }
    }
    const QByteArray bytes = archive.finish();
    return templates > 0 ? bytes : QByteArray();
}

QByteArray SimFinalQcTemplates::hostile(const QString &escapeName)
{
    SimZipArchive archive;
    archive.add(QStringLiteral("alloy_fqc.json"),
                R"({"methodId": "alloy", "checkSample": "SS304", "tolerance": 0.03})");
    archive.add(QStringLiteral("../../") + escapeName, R"({"methodId": "escaped"})");
    return archive.finish();
}
