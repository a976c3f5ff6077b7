#include "simfinalqccheck.h"

#include "simfactorsetfit.h"
#include "simreferencematerials.h"

#include "xrfutils.h"

#include <QJsonArray>

#include <cmath>

namespace {

QJsonObject elementResult(const QJsonObject &factors, const QList<XrfSpectrum> &spectra,
                          const SimReferenceMaterial &material, const SimFinalQcCheck &check)
{
    const QString symbol = factors.value(QStringLiteral("element")).toString();
    const int beam = factors.value(QStringLiteral("beam")).toInt();
    QJsonObject result{{QStringLiteral("element"), symbol}, {QStringLiteral("beam"), beam}};
    double computed = 0;
    QString error;
    if (beam < 1 || beam > spectra.size()) {
        error = QStringLiteral("the method has no beam %1").arg(beam);
    } else if (SimFactorSetFit::measuredConcentration(spectra.at(beam - 1), factors, &computed,
                                                      &error)) {
        const double certified = material.massFraction(XrfUtils::atomicNumber(symbol));
        const double absError = std::abs(computed - certified);
        const double allowed = std::max(check.tolerance * certified, check.minTolerance);
        result.insert(QStringLiteral("computed"), computed);
        result.insert(QStringLiteral("certified"), certified);
        result.insert(QStringLiteral("absError"), absError);
        result.insert(QStringLiteral("allowedError"), allowed);
        result.insert(QStringLiteral("passed"), absError <= allowed);
        return result;
    }
    result.insert(QStringLiteral("error"), error);
    result.insert(QStringLiteral("passed"), false);
    return result;
}

} // namespace

bool SimFinalQcCheck::load(const QString &profilePath, const QString &templateName,
                           SimFinalQcCheck *check, QString *errorMsg, bool requireCalibrated)
{
    if (!XrfUtils::isSafePathComponent(templateName)) {
        *errorMsg = QStringLiteral("No batch template is selected ('%1')").arg(templateName);
        return false;
    }
    const QString path =
        profilePath + QStringLiteral("/templates/batch/") + templateName + QStringLiteral(".json");
    QJsonValue value;
    if (!XrfUtils::readJsonFile(path, &value, errorMsg))
        return false;
    const QJsonObject json = value.toObject();
    SimFinalQcCheck loaded;
    loaded.templateName = templateName;
    loaded.methodId = json.value(QStringLiteral("methodId")).toString();
    loaded.checkSample = json.value(QStringLiteral("checkSample")).toString();
    loaded.tolerance = json.value(QStringLiteral("tolerance")).toDouble();
    loaded.minTolerance = json.value(QStringLiteral("minTolerance")).toDouble();
    for (const QJsonValue &element : json.value(QStringLiteral("elements")).toArray())
        loaded.elements << element.toString();
    if (!SimReferenceMaterials::find(loaded.checkSample) || loaded.tolerance <= 0) {
        *errorMsg =
            QStringLiteral("Batch template %1: \"checkSample\" names no certified reference "
                           "material or \"tolerance\" is not above 0")
                .arg(path);
        return false;
    }
    const QString methodFile = XrfMethod::methodFilePath(profilePath, loaded.methodId);
    if (methodFile.isEmpty() || !loaded.method.setMethodFile(methodFile, errorMsg))
        return false;
    if (requireCalibrated && !loaded.method.isFactorSetted()) {
        *errorMsg = QStringLiteral("Method %1 is not calibrated").arg(loaded.methodId);
        return false;
    }
    *check = loaded;
    return true;
}

QList<XrfExposureSettings> SimFinalQcCheck::exposures() const
{
    const QList<XrfExposureSettings> open = method.exposureSettings(false);
    return open.isEmpty() ? method.exposureSettings(true) : open;
}

QList<QJsonObject> SimFinalQcCheck::calibratedElements() const
{
    QList<QJsonObject> selected;
    const QJsonObject calibration =
        method.toJsonObject().value(QStringLiteral("calibration")).toObject();
    for (const QJsonValue &value : calibration.value(QStringLiteral("elements")).toArray()) {
        const QJsonObject factors = value.toObject();
        if (elements.isEmpty()
            || elements.contains(factors.value(QStringLiteral("element")).toString()))
            selected << factors;
    }
    return selected;
}

QJsonObject SimFinalQcCheck::evaluate(const QList<XrfSpectrum> &spectra) const
{
    const SimReferenceMaterial *material = SimReferenceMaterials::find(checkSample);
    QJsonArray results;
    bool passed = true;
    for (const QJsonObject &factors : material ? calibratedElements() : QList<QJsonObject>()) {
        const QJsonObject result = elementResult(factors, spectra, *material, *this);
        passed = passed && result.value(QStringLiteral("passed")).toBool();
        results.append(result);
    }
    QJsonObject record{{QStringLiteral("methodId"), methodId},
                       {QStringLiteral("template"), templateName},
                       {QStringLiteral("checkSample"), checkSample},
                       {QStringLiteral("tolerance"), tolerance},
                       {QStringLiteral("minTolerance"), minTolerance},
                       {QStringLiteral("elements"), results},
                       {QStringLiteral("passed"), passed && !results.isEmpty()},
                       {QStringLiteral("endTime"), XrfUtils::currentUtcIsoTime()}};
    if (results.isEmpty())
        record.insert(QStringLiteral("error"),
                      QStringLiteral("method %1 has no calibrated element the template checks")
                          .arg(methodId));
    return record;
}

QString SimFinalQcCheck::progressFilePath(const QString &profilePath, const QString &templateName)
{
    return profilePath + QLatin1Char('/') + templateName + QStringLiteral("_progress.json");
}
