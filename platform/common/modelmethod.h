#pragma once

// One analysis method of the instrument as the factory calibrates it, built from the method part
// map entry of a work order's method part number.

#include "xrfjsonhelper.h"

#include <QList>
#include <QStringList>

// The JSON keys are those of a method part map entry ("methods"."default"."<part number>"):
// "partId", "id", "family", "hasDualCalibration", "isNativeCalibration", "isSyntheticMethod",
// "syntheticShotSelectionParameter", ...; the keys the factory adds (template name, factory id,
// twin and variant flags, custom-region symbols) travel with it. Absent keys keep their defaults,
// a key of the wrong type is refused.
class ModelMethod : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QString id MEMBER m_id)
    Q_PROPERTY(QString partId MEMBER m_partNumber)
    Q_PROPERTY(QString templateName MEMBER m_templateName)
    Q_PROPERTY(QString family MEMBER m_family)
    Q_PROPERTY(bool isNativeCalibration MEMBER m_isNativeCalibration)
    Q_PROPERTY(bool hasDualCalibration MEMBER m_hasDualCalibration)
    Q_PROPERTY(bool isCollimatedCalibration MEMBER m_isCollimatedCalibration)
    Q_PROPERTY(bool isFactoryMethod MEMBER m_isFactoryMethod)
    Q_PROPERTY(QString factoryMethodID MEMBER m_factoryMethodId)
    Q_PROPERTY(QString alternateCalibrationMethodID MEMBER m_alternateCalibrationMethodId)
    Q_PROPERTY(bool isBigSet MEMBER m_isBigSet)
    Q_PROPERTY(QString bigSetFactorSetProcedure MEMBER m_bigSetFactorSetProcedure)
    Q_PROPERTY(bool isSyntheticMethod MEMBER m_isSyntheticMethod)
    Q_PROPERTY(QString syntheticShotSelectionParameter MEMBER m_syntheticShotSelectionParameter)
    Q_PROPERTY(QStringList customRegionSymbols MEMBER m_customRegionSymbols)
    Q_PROPERTY(bool isFullDemoMethod MEMBER m_isFullDemoMethod)
    Q_PROPERTY(QString cloneDataFolder MEMBER m_cloneDataFolder)

public:
    // The method's identifier: the folder and file names of its workspace (XrfMethod's rule).
    QString id() const { return m_id; }
    void setId(const QString &id) { m_id = id; }
    // The work order's method part number ("__COLL" after it for a collimated twin).
    QString partNumber() const { return m_partNumber; }
    void setPartNumber(const QString &partNumber) { m_partNumber = partNumber; }
    // The method template the workspace is made from: the map entry's "id".
    QString templateName() const { return m_templateName; }
    void setTemplateName(const QString &name) { m_templateName = name; }
    QString family() const { return m_family; }
    void setFamily(const QString &family) { m_family = family; }
    bool isNativeCalibration() const { return m_isNativeCalibration; }
    void setIsNativeCalibration(bool native) { m_isNativeCalibration = native; }
    // Calibrated twice: open and through the collimator (a collimated twin).
    bool hasDualCalibration() const { return m_hasDualCalibration; }
    void setHasDualCalibration(bool dual) { m_hasDualCalibration = dual; }
    bool isCollimatedCalibration() const { return m_isCollimatedCalibration; }
    void setIsCollimatedCalibration(bool collimated) { m_isCollimatedCalibration = collimated; }
    bool isFactoryMethod() const { return m_isFactoryMethod; }
    void setIsFactoryMethod(bool factory) { m_isFactoryMethod = factory; }
    QString factoryMethodID() const { return m_factoryMethodId; }
    void setFactoryMethodID(const QString &id) { m_factoryMethodId = id; }
    // The collimated twin's id, for the open method of a dual calibration.
    QString alternateCalibrationMethodID() const { return m_alternateCalibrationMethodId; }
    void setAlternateCalibrationMethodID(const QString &id) { m_alternateCalibrationMethodId = id; }
    bool isBigSet() const { return m_isBigSet; }
    void setIsBigSet(bool bigSet) { m_isBigSet = bigSet; }
    QString bigSetFactorSetProcedure() const { return m_bigSetFactorSetProcedure; }
    void setBigSetFactorSetProcedure(const QString &procedure)
    {
        m_bigSetFactorSetProcedure = procedure;
    }
    // Calibrated partly from synthetic shots picked by the selection parameter.
    bool isSyntheticMethod() const { return m_isSyntheticMethod; }
    void setIsSyntheticMethod(bool synthetic) { m_isSyntheticMethod = synthetic; }
    QString syntheticShotSelectionParameter() const { return m_syntheticShotSelectionParameter; }
    void setSyntheticShotSelectionParameter(const QString &parameter)
    {
        m_syntheticShotSelectionParameter = parameter;
    }
    // Element symbols of the work order's custom regions for this method.
    QList<QString> customRegionSymbols() const { return m_customRegionSymbols; }
    void setCustomRegionSymbols(const QList<QString> &symbols) { m_customRegionSymbols = symbols; }
    bool isFullDemoMethod() const { return m_isFullDemoMethod; }
    void setIsFullDemoMethod(bool fullDemo) { m_isFullDemoMethod = fullDemo; }
    // For a clone (not a factory method): the folder with the data it is recreated from.
    QString cloneDataFolder() const { return m_cloneDataFolder; }
    void setCloneDataFolder(const QString &folder) { m_cloneDataFolder = folder; }

private:
    QString m_id;
    QString m_partNumber;
    QString m_templateName;
    QString m_family;
    bool m_isNativeCalibration = false;
    bool m_hasDualCalibration = false;
    bool m_isCollimatedCalibration = false;
    bool m_isFactoryMethod = false;
    QString m_factoryMethodId;
    QString m_alternateCalibrationMethodId;
    bool m_isBigSet = false;
    QString m_bigSetFactorSetProcedure;
    bool m_isSyntheticMethod = false;
    QString m_syntheticShotSelectionParameter;
    QStringList m_customRegionSymbols;
    bool m_isFullDemoMethod = false;
    QString m_cloneDataFolder;
};

Q_DECLARE_METATYPE(ModelMethod)
