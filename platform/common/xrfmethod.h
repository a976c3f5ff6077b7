#pragma once

// A method file of the instrument: "CalcMethod_<id>.json" in the method's workspace folder
// "<profile>/instrumentsettings/methods/<id>/".

#include "xrfexposuresettings.h"

#include <QList>
#include <QStringList>

// The keys the factory reads and writes are properties; every other key of the file (the
// calibration itself) is kept as it was read and written back unchanged.
class XrfMethod : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QString id MEMBER m_id)
    Q_PROPERTY(QString displayName MEMBER m_displayName)
    Q_PROPERTY(QString templateName MEMBER m_templateName)
    Q_PROPERTY(QString workOrderPartNumber MEMBER m_workOrderPartNumber)
    Q_PROPERTY(bool factoryOnlyMethod MEMBER m_factoryOnlyMethod)
    Q_PROPERTY(QString alternateCalibrationMethodId MEMBER m_alternateCalibrationMethodId)
    Q_PROPERTY(bool collimationSupported MEMBER m_collimationSupported)
    Q_PROPERTY(int coherentZNumberAllBeam MEMBER m_coherentZNumberAllBeam)
    Q_PROPERTY(bool isFactorSet MEMBER m_isFactorSet)
    Q_PROPERTY(bool isSyntheticMethod MEMBER m_isSyntheticMethod)
    Q_PROPERTY(bool isFullDemoMethod MEMBER m_isFullDemoMethod)

public:
    // The one rule for a method id from outside (a method map, a work order, the cloud, a folder
    // name) before it becomes part of a path: 1 to 128 characters, each a letter, a digit, '.',
    // '_' or '-'; not "." and no "..".
    static bool isValidMethodId(const QString &id);
    // "CalcMethod_<id>.json"; empty for an id that breaks the rule.
    static QString methodFileName(const QString &id);
    // "<profile>/instrumentsettings/methods"; the folder of every method workspace.
    static QString methodsFolder(const QString &profilePath);
    // "<profile>/instrumentsettings/methods/<id>"; empty for an id that breaks the rule or an
    // empty profile path.
    static QString methodFolder(const QString &profilePath, const QString &id);
    // The method file inside the method's folder; empty as above.
    static QString methodFilePath(const QString &profilePath, const QString &id);

    // Reads the method file at `path`; false with a message naming the file (and the key) when it
    // is missing, not a JSON object or holds a key of the wrong type. The record is unchanged
    // then. Later saves go to `path`.
    bool setMethodFile(const QString &path, QString *errorMsg = nullptr);
    QString methodFile() const { return m_methodFile; }
    // Writes the record to its method file atomically; false with the message when there is no
    // file or the write fails.
    bool saveMethodFile(QString *errorMsg = nullptr) const;
    // A usable method file: an id that follows the rule and matches the file name, and, when
    // `requireExposures`, at least one enabled exposure. `errors` receives one text per problem.
    bool isValidMethodFile(bool requireExposures, QStringList *errors = nullptr) const;

    QString id() const { return m_id; }
    void setId(const QString &id) { m_id = id; }
    QString displayName() const { return m_displayName; }
    void setDisplayName(const QString &name) { m_displayName = name; }
    QString templateName() const { return m_templateName; }
    void setTemplateName(const QString &name) { m_templateName = name; }
    QString workOrderPartNumber() const { return m_workOrderPartNumber; }
    void setWorkOrderPartNumber(const QString &partNumber) { m_workOrderPartNumber = partNumber; }
    bool factoryOnlyMethod() const { return m_factoryOnlyMethod; }
    void setFactoryOnlyMethod(bool factoryOnly) { m_factoryOnlyMethod = factoryOnly; }
    QString alternateCalibrationMethodId() const { return m_alternateCalibrationMethodId; }
    void setAlternateCalibrationMethodId(const QString &id) { m_alternateCalibrationMethodId = id; }
    bool collimationSupported() const { return m_collimationSupported; }
    void setCollimationSupported(bool supported) { m_collimationSupported = supported; }
    int coherentZNumberAllBeam() const { return m_coherentZNumberAllBeam; }
    void setCoherentZNumberAllBeam(int z) { m_coherentZNumberAllBeam = z; }
    // The cloud has computed the method's factor set and the method is installed with it.
    bool isFactorSetted() const { return m_isFactorSet; }
    void setIsFactorSetted(bool factorSet) { m_isFactorSet = factorSet; }
    bool isSyntheticMethod() const { return m_isSyntheticMethod; }
    void setIsSyntheticMethod(bool synthetic) { m_isSyntheticMethod = synthetic; }
    bool isFullDemoMethod() const { return m_isFullDemoMethod; }
    void setIsFullDemoMethod(bool fullDemo) { m_isFullDemoMethod = fullDemo; }

    // The beams' exposures in beam order (beam 1 first): "exposures" for the open beams,
    // "collimatedExposures" for the collimated ones.
    QList<XrfExposureSettings> exposureSettings(bool collimated) const;
    void setExposureSettings(bool collimated, const QList<XrfExposureSettings> &exposures);
    // Sets the background rate (cps) of one beam (0-based index); false when there is no such
    // beam.
    bool setBeamBackgroundRate(bool collimated, int beamIndex, double cps);

    QJsonObject toJsonObject() const override;
    bool fromJsonObject(const QJsonObject &json, QString *errorMsg = nullptr) override;

private:
    QString m_methodFile;
    QJsonObject m_otherKeys;
    QList<XrfExposureSettings> m_exposures;
    QList<XrfExposureSettings> m_collimatedExposures;
    QString m_id;
    QString m_displayName;
    QString m_templateName;
    QString m_workOrderPartNumber;
    bool m_factoryOnlyMethod = false;
    QString m_alternateCalibrationMethodId;
    bool m_collimationSupported = true;
    int m_coherentZNumberAllBeam = 0;
    bool m_isFactorSet = false;
    bool m_isSyntheticMethod = false;
    bool m_isFullDemoMethod = false;
};

Q_DECLARE_METATYPE(XrfMethod)
