#pragma once

// One shot kept in the calibration shot library: the sample, the exposure and the spectrum.

#include "xrfexposuresettings.h"
#include "xrfspectrum.h"

class XrfCalibrationShot : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QString sampleID MEMBER m_sampleId)
    Q_PROPERTY(QString sampleName MEMBER m_sampleName)
    Q_PROPERTY(QString origin MEMBER m_origin)
    Q_PROPERTY(QString dateCreated MEMBER m_dateCreated)

public:
    QString sampleID() const { return m_sampleId; }
    void setSampleID(const QString &id) { m_sampleId = id; }
    QString sampleName() const { return m_sampleName; }
    void setSampleName(const QString &name) { m_sampleName = name; }
    // Where the shot was taken: the instrument's serial number.
    QString origin() const { return m_origin; }
    void setOrigin(const QString &origin) { m_origin = origin; }
    const XrfExposureSettings &exposure() const { return m_exposure; }
    void setExposure(const XrfExposureSettings &exposure) { m_exposure = exposure; }
    const XrfSpectrum &spectrum() const { return m_spectrum; }
    void setSpectrum(const XrfSpectrum &spectrum) { m_spectrum = spectrum; }

    // "<sampleID>_<kV>kV_<uA>uA_<filter Z>-<thickness>-<diameter>.json": a later shot of the same
    // sample and exposure replaces the earlier one.
    QString calibrationShotFileName() const;
    // Writes the shot into `folder` (created when missing), atomically. False with a message when
    // the sample ID cannot name a file or the write fails.
    bool saveCalibrationShot(const QString &folder, QString *errorMsg = nullptr);

    // "exposure" and "spectrum" travel as nested objects.
    QJsonObject toJsonObject() const override;
    bool fromJsonObject(const QJsonObject &json, QString *errorMsg = nullptr) override;

private:
    QString m_sampleId;
    QString m_sampleName;
    QString m_origin;
    QString m_dateCreated;
    XrfExposureSettings m_exposure;
    XrfSpectrum m_spectrum;
};

Q_DECLARE_METATYPE(XrfCalibrationShot)
