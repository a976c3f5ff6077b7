#include "xrfcalibrationshot.h"

#include "xrfcalibrationstep.h"
#include "xrfsoftwareversioninfo.h"
#include "xrfutils.h"

#include <QJsonDocument>

namespace {
const QString kExposure = QStringLiteral("exposure");
const QString kSpectrum = QStringLiteral("spectrum");
} // namespace

XrfCalibrationShot XrfCalibrationShot::fromStep(const XrfCalibrationStep &step,
                                                const XrfSoftwareVersionInfo *versions)
{
    XrfCalibrationShot shot;
    shot.m_sampleId = step.sampleID();
    shot.m_sampleName = step.sampleName();
    shot.m_sampleType = step.sampleType();
    shot.m_sampleLot = step.sampleLot();
    shot.m_exposure = step.exposure();
    if (versions)
        shot.m_softwareVersion = QStringLiteral("%1 (root fs %2.%3)")
                                     .arg(versions->appVersion(), versions->rootFsVersion(),
                                          versions->rootFsPatchVersion());
    return shot;
}

QString XrfCalibrationShot::calibrationShotFileName() const
{
    const XrfFilterProperties &filter = m_exposure.filter();
    return QStringLiteral("%1_%2kV_%3uA_%4-%5-%6.json")
        .arg(m_sampleId)
        .arg(qRound(m_exposure.tubeVoltageKv()))
        .arg(QString::number(m_exposure.tubeCurrentUa(), 'f', 2))
        .arg(filter.materialAtomicNumber())
        .arg(qRound(filter.thicknessInMicrons()))
        .arg(qRound(filter.diameterInMicrons()));
}

bool XrfCalibrationShot::saveCalibrationShot(const QString &folder, QString *errorMsg)
{
    if (!XrfUtils::isSafePathComponent(m_sampleId)) {
        if (errorMsg)
            *errorMsg = QStringLiteral("Calibration shot sample ID '%1' cannot name a file")
                            .arg(m_sampleId);
        return false;
    }
    if (m_dateCreated.isEmpty())
        m_dateCreated = XrfUtils::currentUtcIsoTime();
    const QString path = folder + QLatin1Char('/') + calibrationShotFileName();
    QString error;
    if (XrfUtils::writeJsonFile(path, QJsonDocument(toJsonObject()), &error))
        return true;
    if (errorMsg)
        *errorMsg = QStringLiteral("Failed to save calibration shot %1: %2").arg(path, error);
    return false;
}

QJsonObject XrfCalibrationShot::toJsonObject() const
{
    QJsonObject json = XrfJsonHelper::toJsonObject();
    json.insert(kExposure, m_exposure.toJsonObject());
    json.insert(kSpectrum, m_spectrum.toJsonObject());
    return json;
}

bool XrfCalibrationShot::fromJsonObject(const QJsonObject &json, QString *errorMsg)
{
    XrfExposureSettings exposure = m_exposure;
    if (json.value(kExposure).isObject()
        && !exposure.fromJsonObject(json.value(kExposure).toObject(), errorMsg))
        return false;
    XrfSpectrum spectrum = m_spectrum;
    if (json.value(kSpectrum).isObject()
        && !spectrum.fromJsonObject(json.value(kSpectrum).toObject(), errorMsg))
        return false;
    if (!XrfJsonHelper::fromJsonObject(json, errorMsg))
        return false;
    m_exposure = exposure;
    m_spectrum = spectrum;
    return true;
}
