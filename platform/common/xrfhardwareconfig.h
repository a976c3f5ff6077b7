#pragma once

#include "xrffilterproperties.h"

#include <QList>

// The installed hardware as the hardware manager detected it at start-up.
class XrfHardwareConfig : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QString insSerialNumber MEMBER m_insSerialNumber)
    Q_PROPERTY(QString tubeModel MEMBER m_tubeModel)
    Q_PROPERTY(QString tubeSerialNumber MEMBER m_tubeSerialNumber)
    Q_PROPERTY(QString detectorModel MEMBER m_detectorModel)
    Q_PROPERTY(QString detectorSerialNumber MEMBER m_detectorSerialNumber)
    Q_PROPERTY(QString detectorPreampSerialNumber MEMBER m_detectorPreampSerialNumber)
    Q_PROPERTY(QString detectorAssemblySerialNumber MEMBER m_detectorAssemblySerialNumber)
    Q_PROPERTY(QString tubeFirmware MEMBER m_tubeFirmware)
    Q_PROPERTY(QString powerPcbSerial MEMBER m_powerPcbSerial)
    Q_PROPERTY(QString xrfEngineSerialNumber MEMBER m_xrfEngineSerialNumber)
    Q_PROPERTY(QString digitalBoardSerialNumber MEMBER m_digitalBoardSerialNumber)
    Q_PROPERTY(QString fpgaFirmwareVersion MEMBER m_fpgaFirmwareVersion)
    Q_PROPERTY(QString k60FirmwareVersion MEMBER m_k60FirmwareVersion)
    Q_PROPERTY(QString fpgaDna MEMBER m_fpgaDna)
    Q_PROPERTY(bool fanPresent MEMBER m_fanPresent)
    Q_PROPERTY(bool filterWheelMotorPresent MEMBER m_filterWheelMotorPresent)
    Q_PROPERTY(bool proximitySensorPresent MEMBER m_proximitySensorPresent)

public:
    QString insSerialNumber() const { return m_insSerialNumber; }
    void setInsSerialNumber(const QString &s) { m_insSerialNumber = s; }
    QString tubeModel() const { return m_tubeModel; }
    void setTubeModel(const QString &s) { m_tubeModel = s; }
    // The element symbol of the tube's anode, from the letters that end the tube model
    // ("XT-50RH": "Rh", "XT-40AG": "Ag"); empty when they name no element.
    QString tubeAnode() const;
    QString tubeSerialNumber() const { return m_tubeSerialNumber; }
    void setTubeSerialNumber(const QString &s) { m_tubeSerialNumber = s; }
    QString detectorModel() const { return m_detectorModel; }
    void setDetectorModel(const QString &s) { m_detectorModel = s; }
    QString detectorSerialNumber() const { return m_detectorSerialNumber; }
    void setDetectorSerialNumber(const QString &s) { m_detectorSerialNumber = s; }
    QString detectorPreampSerialNumber() const { return m_detectorPreampSerialNumber; }
    void setDetectorPreampSerialNumber(const QString &s) { m_detectorPreampSerialNumber = s; }
    QString detectorAssemblySerialNumber() const { return m_detectorAssemblySerialNumber; }
    void setDetectorAssemblySerialNumber(const QString &s) { m_detectorAssemblySerialNumber = s; }
    QString tubeFirmware() const { return m_tubeFirmware; }
    void setTubeFirmware(const QString &s) { m_tubeFirmware = s; }
    QString powerPcbSerial() const { return m_powerPcbSerial; }
    void setPowerPcbSerial(const QString &s) { m_powerPcbSerial = s; }
    QString xrfEngineSerialNumber() const { return m_xrfEngineSerialNumber; }
    void setXrfEngineSerialNumber(const QString &s) { m_xrfEngineSerialNumber = s; }
    QString digitalBoardSerialNumber() const { return m_digitalBoardSerialNumber; }
    void setDigitalBoardSerialNumber(const QString &s) { m_digitalBoardSerialNumber = s; }
    QString fpgaFirmwareVersion() const { return m_fpgaFirmwareVersion; }
    void setFpgaFirmwareVersion(const QString &s) { m_fpgaFirmwareVersion = s; }
    QString k60FirmwareVersion() const { return m_k60FirmwareVersion; }
    void setK60FirmwareVersion(const QString &s) { m_k60FirmwareVersion = s; }
    QString fpgaDna() const { return m_fpgaDna; }
    void setFpgaDna(const QString &s) { m_fpgaDna = s; }
    bool fanPresent() const { return m_fanPresent; }
    void setFanPresent(bool present) { m_fanPresent = present; }
    bool filterWheelMotorPresent() const { return m_filterWheelMotorPresent; }
    void setFilterWheelMotorPresent(bool present) { m_filterWheelMotorPresent = present; }
    bool proximitySensorPresent() const { return m_proximitySensorPresent; }
    void setProximitySensorPresent(bool present) { m_proximitySensorPresent = present; }

    const QList<XrfFilterProperties> &filters() const { return m_filters; }
    void setFilters(const QList<XrfFilterProperties> &filters) { m_filters = filters; }
    void clearFilters() { m_filters.clear(); }

    // The probe type of a work order "deviceType": "PIN" for the PIN-detector models, "SDD"
    // for the others, "Unknown" without a device type.
    static QString getProbeTypeFromInstrumentModel(const QString &deviceType);

    // The filter list travels as the array "filters".
    QJsonObject toJsonObject() const override;
    bool fromJsonObject(const QJsonObject &json, QString *errorMsg = nullptr) override;

private:
    QString m_insSerialNumber;
    QString m_tubeModel;
    QString m_tubeSerialNumber;
    QString m_detectorModel;
    QString m_detectorSerialNumber;
    QString m_detectorPreampSerialNumber;
    QString m_detectorAssemblySerialNumber;
    QString m_tubeFirmware;
    QString m_powerPcbSerial;
    QString m_xrfEngineSerialNumber;
    QString m_digitalBoardSerialNumber;
    QString m_fpgaFirmwareVersion;
    QString m_k60FirmwareVersion;
    QString m_fpgaDna;
    bool m_fanPresent = false;
    bool m_filterWheelMotorPresent = false;
    bool m_proximitySensorPresent = false;
    QList<XrfFilterProperties> m_filters;
};

Q_DECLARE_METATYPE(XrfHardwareConfig)
