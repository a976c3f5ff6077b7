#pragma once

// One shot kept in the calibration shot library: the sample, the exposure and the spectrum.

#include "xrfexposuresettings.h"
#include "xrfspectrum.h"

class XrfCalibrationStep;
class XrfSoftwareVersionInfo;

class XrfCalibrationShot : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QString sampleID MEMBER m_sampleId)
    Q_PROPERTY(QString sampleName MEMBER m_sampleName)
    Q_PROPERTY(QString origin MEMBER m_origin)
    Q_PROPERTY(QString dateCreated MEMBER m_dateCreated)
    Q_PROPERTY(QString sampleType MEMBER m_sampleType)
    Q_PROPERTY(QString sampleLot MEMBER m_sampleLot)
    Q_PROPERTY(QString softwareVersion MEMBER m_softwareVersion)
    Q_PROPERTY(QString checkError MEMBER m_checkError)

public:
    // The shot of a calibration step: its sample and exposure, with the application's and root
    // file system's versions when `versions` is given.
    static XrfCalibrationShot fromStep(const XrfCalibrationStep &step,
                                       const XrfSoftwareVersionInfo *versions = nullptr);

    QString sampleID() const { return m_sampleId; }
    void setSampleID(const QString &id) { m_sampleId = id; }
    QString sampleName() const { return m_sampleName; }
    void setSampleName(const QString &name) { m_sampleName = name; }
    // Where the shot was taken: the instrument's serial number.
    QString origin() const { return m_origin; }
    void setOrigin(const QString &origin) { m_origin = origin; }
    QString sampleType() const { return m_sampleType; }
    QString sampleLot() const { return m_sampleLot; }
    QString softwareVersion() const { return m_softwareVersion; }
    // Why the wrong-shot check could not judge the shot; empty when it did.
    QString checkError() const { return m_checkError; }
    void setCheckError(const QString &error) { m_checkError = error; }
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
    QString m_sampleType;
    QString m_sampleLot;
    QString m_softwareVersion;
    QString m_checkError;
    XrfExposureSettings m_exposure;
    XrfSpectrum m_spectrum;
};

Q_DECLARE_METATYPE(XrfCalibrationShot)
