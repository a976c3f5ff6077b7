#include "simcheckcalibration.h"

#include "simcheckshots.h"
#include "simfactorsetfit.h"
#include "simfinalqccheck.h"
#include "siminstrument.h"
#include "simreferencematerials.h"

#include "xrfutils.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>

namespace {

constexpr double kHighestKAlphaKeV = 26.0;

bool shoot(const SimFinalQcCheck &check, QList<XrfSpectrum> *spectra, QString *errorMsg)
{
    SimCheckShots shots;
    QEventLoop loop;
    bool ok = false;
    QObject::connect(&shots, &SimCheckShots::finished, &loop,
                     [&](bool success, const QString &error) {
                         ok = success;
                         *errorMsg = error;
                         loop.quit();
                     });
    if (!shots.start(check.exposures(), errorMsg))
        return false;
    loop.exec();
    *spectra = shots.spectra();
    return ok;
}

// The factors of one element: the line, and the beam with the most net counts.
QJsonObject elementFactors(const QString &symbol, const SimReferenceMaterial &material,
                           const QList<XrfSpectrum> &spectra)
{
    const int z = XrfUtils::atomicNumber(symbol);
    double energy = XrfUtils::emissionLineEnergy(z, XrfUtils::KAlpha);
    QString line = QStringLiteral("KA");
    if (energy > kHighestKAlphaKeV || energy <= 0) {
        energy = XrfUtils::emissionLineEnergy(z, XrfUtils::LAlpha);
        line = QStringLiteral("LA");
    }
    const SimFactorSetFit::LineWindows windows = SimFactorSetFit::lineWindows(energy);
    double best = 0;
    int beam = 0;
    for (int i = 0; i < spectra.size(); ++i) {
        double cps = 0;
        QString error;
        if (SimFactorSetFit::netLineIntensity(spectra.at(i), windows, &cps, &error) && cps > best) {
            best = cps;
            beam = i + 1;
        }
    }
    const double certified = material.massFraction(z);
    if (beam == 0 || certified <= 0)
        return QJsonObject();
    return QJsonObject{{QStringLiteral("element"), symbol},
                       {QStringLiteral("line"), line},
                       {QStringLiteral("energyKeV"), energy},
                       {QStringLiteral("beam"), beam},
                       {QStringLiteral("windowsEv"), windows.toJson()},
                       {QStringLiteral("slope"), certified / best},
                       {QStringLiteral("intercept"), 0.0},
                       {QStringLiteral("rSquared"), 1.0},
                       {QStringLiteral("standards"), 1},
                       {QStringLiteral("worstStandard"), material.id},
                       {QStringLiteral("worstAbsError"), 0.0},
                       {QStringLiteral("points"),
                        QJsonArray{QJsonObject{{QStringLiteral("standard"), material.id},
                                               {QStringLiteral("intensity"), best},
                                               {QStringLiteral("certified"), certified}}}}};
}

bool calibrate(SimInstrument &instrument, SimFinalQcCheck &check, QString *errorMsg)
{
    instrument.loadSample(check.checkSample);
    QList<XrfSpectrum> spectra;
    if (!shoot(check, &spectra, errorMsg))
        return false;
    const SimReferenceMaterial &material = *SimReferenceMaterials::find(check.checkSample);
    const QStringList symbols =
        check.elements.isEmpty() ? SimReferenceMaterials::majorElements(material) : check.elements;
    QJsonArray elements;
    for (const QString &symbol : symbols) {
        const QJsonObject factors = elementFactors(symbol, material, spectra);
        if (!factors.isEmpty())
            elements.append(factors);
    }
    if (elements.isEmpty()) {
        *errorMsg =
            QStringLiteral("no element of %1 shows in its check sample").arg(check.methodId);
        return false;
    }
    QJsonObject json = check.method.toJsonObject();
    json.insert(QStringLiteral("isFactorSet"), true);
    json.insert(QStringLiteral("calibration"),
                QJsonObject{{QStringLiteral("fittedBy"), QStringLiteral("check sample stand-in")},
                            {QStringLiteral("runId"), 0},
                            {QStringLiteral("elements"), elements}});
    return check.method.fromJsonObject(json, errorMsg) && check.method.saveMethodFile(errorMsg);
}

} // namespace

bool SimCheckCalibration::calibrateFromCheckSamples(SimInstrument &instrument,
                                                    const QString &profilePath,
                                                    QStringList *calibrated, QString *errorMsg)
{
    const QDir templates(profilePath + QStringLiteral("/templates/batch"));
    for (const QFileInfo &file :
         templates.entryInfoList({QStringLiteral("*_fqc.json")}, QDir::Files, QDir::Name)) {
        SimFinalQcCheck check;
        QString error;
        if (!SimFinalQcCheck::load(profilePath, file.completeBaseName(), &check, &error, false))
            continue; // a template of a method this instrument does not have
        if (!calibrate(instrument, check, &error)) {
            *errorMsg = QStringLiteral("%1: %2").arg(check.methodId, error);
            return false;
        }
        *calibrated << check.methodId;
    }
    return true;
}
