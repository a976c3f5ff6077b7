#pragma once

// Prerequisite shots and the synthetic shot selection: the shots of a few samples that tell which
// synthetic shot set fits this instrument's hardware, and the set picked for each method.

#include "xrfexposuresettings.h"
#include "xrfspectrum.h"

#include <QJsonArray>
#include <QList>
#include <QMap>
#include <QStringList>

class ModelMethod;

// One prerequisite shot. From the factory setup data: "id", "targetSample" (the sample placed at
// the window), "beamName" and "isCollimated" (the beam and collimation whose air shot exposure it
// takes), "exposure" (the shot's time and the rest of its settings), "selectionParameters" (the
// synthetic shot selection parameters it measures, e.g. "resolution") and "peakEnergyEv" /
// "referenceEnergyEv" (the peak whose width is measured and the peak that fixes the energy scale).
// Its results: "isDone", "hasFailed", "statusMsg", "spectrum".
class XrfPrerequisiteShot : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QString id MEMBER m_id)
    Q_PROPERTY(QString targetSample MEMBER m_targetSample)
    Q_PROPERTY(QString beamName MEMBER m_beamName)
    Q_PROPERTY(bool isCollimated MEMBER m_isCollimated)
    Q_PROPERTY(QStringList selectionParameters MEMBER m_selectionParameters)
    Q_PROPERTY(double peakEnergyEv MEMBER m_peakEnergyEv)
    Q_PROPERTY(double referenceEnergyEv MEMBER m_referenceEnergyEv)
    Q_PROPERTY(bool isDone MEMBER m_isDone)
    Q_PROPERTY(bool hasFailed MEMBER m_hasFailed)
    Q_PROPERTY(QString statusMsg MEMBER m_statusMsg)

public:
    QString id() const { return m_id; }
    void setId(const QString &id) { m_id = id; }
    QString targetSample() const { return m_targetSample; }
    void setTargetSample(const QString &sample) { m_targetSample = sample; }
    QString beamName() const { return m_beamName; }
    bool isCollimated() const { return m_isCollimated; }
    QStringList selectionParameters() const { return m_selectionParameters; }
    void setSelectionParameters(const QStringList &parameters)
    {
        m_selectionParameters = parameters;
    }
    double peakEnergyEv() const { return m_peakEnergyEv; }
    double referenceEnergyEv() const { return m_referenceEnergyEv; }
    bool isDone() const { return m_isDone; }
    void setIsDone(bool done) { m_isDone = done; }
    bool hasFailed() const { return m_hasFailed; }
    void setHasFailed(bool failed) { m_hasFailed = failed; }
    QString statusMsg() const { return m_statusMsg; }
    void setStatusMsg(const QString &message) { m_statusMsg = message; }
    const XrfExposureSettings &exposure() const { return m_exposure; }
    void setExposure(const XrfExposureSettings &exposure) { m_exposure = exposure; }
    const XrfSpectrum &spectrum() const { return m_spectrum; }
    void setSpectrum(const XrfSpectrum &spectrum) { m_spectrum = spectrum; }
    // Done and not failed.
    bool hasPassed() const { return m_isDone && !m_hasFailed; }
    // Forgets the results (done, failed, message, spectrum).
    void clearResults();
    // Takes the results of `stored`.
    void copyResultsFrom(const XrfPrerequisiteShot &stored);

    // "exposure" and "spectrum" travel as nested objects.
    QJsonObject toJsonObject() const override;
    bool fromJsonObject(const QJsonObject &json, QString *errorMsg = nullptr) override;

private:
    QString m_id;
    QString m_targetSample;
    QString m_beamName;
    bool m_isCollimated = false;
    QStringList m_selectionParameters;
    double m_peakEnergyEv = 0;
    double m_referenceEnergyEv = 0;
    bool m_isDone = false;
    bool m_hasFailed = false;
    QString m_statusMsg;
    XrfExposureSettings m_exposure;
    XrfSpectrum m_spectrum;
};

// The prerequisite shots in the order they are shot: {"shots": [...], "isAllShotsComplete",
// "selectionCriteriaStatus"}.
class XrfPrerequisiteShotList : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(bool isAllShotsComplete MEMBER m_allShotsComplete)
    Q_PROPERTY(bool selectionCriteriaStatus MEMBER m_selectionCriteriaStatus)

public:
    const QList<XrfPrerequisiteShot> &list() const { return m_shots; }
    bool isEmpty() const { return m_shots.isEmpty(); }
    int size() const { return m_shots.size(); }
    void clear();
    // Keeps only the shots that measure a synthetic shot selection parameter (the open or the
    // collimated one) of a synthetic method among `methods`.
    void boilDownToRequiredForMethods(const QList<ModelMethod> &methods);
    // Every shot passed (true for an empty list); stored as "isAllShotsComplete".
    bool isAllShotsCompleteAndUpdateStatus();
    bool isAllShotsComplete() const { return m_allShotsComplete; }
    // The first shot not done or failed; null when every shot passed. Valid until the list
    // changes.
    XrfPrerequisiteShot *findNextIncompleteShot();
    // The shot with that id; null when there is none.
    XrfPrerequisiteShot *prerequisiteShot(const QString &id);
    // Replaces the shot with the same id; false when there is none.
    bool updateShot(const XrfPrerequisiteShot &shot);
    bool selectionCriteriaStatus() const { return m_selectionCriteriaStatus; }
    void setSelectionCriteriaStatus(bool status) { m_selectionCriteriaStatus = status; }

    QJsonObject toJsonObject() const override;
    bool fromJsonObject(const QJsonObject &json, QString *errorMsg = nullptr) override;

private:
    QList<XrfPrerequisiteShot> m_shots;
    bool m_allShotsComplete = false;
    bool m_selectionCriteriaStatus = false;
};

// The selection for one method: the parameter and its measured value, the synthetic shot set
// ("filesPath") it picked and whether processing it worked.
class XrfSyntheticShotSelectionCriteriaPerMethod : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QString methodId MEMBER m_methodId)
    Q_PROPERTY(QString partNumber MEMBER m_partNumber)
    Q_PROPERTY(QString parameter MEMBER m_parameter)
    Q_PROPERTY(double value MEMBER m_value)
    Q_PROPERTY(QString filesPath MEMBER m_filesPath)
    Q_PROPERTY(bool isDone MEMBER m_isDone)
    Q_PROPERTY(bool hasFailed MEMBER m_hasFailed)
    Q_PROPERTY(QString statusMsg MEMBER m_statusMsg)

public:
    QString methodId() const { return m_methodId; }
    void setMethodId(const QString &id) { m_methodId = id; }
    QString partNumber() const { return m_partNumber; }
    void setPartNumber(const QString &partNumber) { m_partNumber = partNumber; }
    QString parameter() const { return m_parameter; }
    void setParameter(const QString &parameter) { m_parameter = parameter; }
    double value() const { return m_value; }
    void setValue(double value) { m_value = value; }
    QString filesPath() const { return m_filesPath; }
    void setFilesPath(const QString &path) { m_filesPath = path; }
    bool isDone() const { return m_isDone; }
    void setIsDone(bool done) { m_isDone = done; }
    bool hasFailed() const { return m_hasFailed; }
    void setHasFailed(bool failed) { m_hasFailed = failed; }
    QString statusMsg() const { return m_statusMsg; }
    void setStatusMsg(const QString &message) { m_statusMsg = message; }

private:
    QString m_methodId;
    QString m_partNumber;
    QString m_parameter;
    double m_value = 0;
    QString m_filesPath;
    bool m_isDone = false;
    bool m_hasFailed = false;
    QString m_statusMsg;
};

// The selection of every synthetic method: {"status", "statusMsg", "criteria": [...]}.
class XrfSyntheticShotSelectionCriteria : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(bool status MEMBER m_status)
    Q_PROPERTY(QString statusMsg MEMBER m_statusMsg)

public:
    bool status() const { return m_status; }
    void setStatus(bool status) { m_status = status; }
    QString statusMsg() const { return m_statusMsg; }
    void setStatusMsg(const QString &message) { m_statusMsg = message; }
    const QList<XrfSyntheticShotSelectionCriteriaPerMethod> &criteria() const { return m_criteria; }
    // Replaces the entry of the same method id, or appends it.
    void setCriteria(const XrfSyntheticShotSelectionCriteriaPerMethod &criteria);
    void clearCriteria() { m_criteria.clear(); }
    // Method id -> synthetic shot folder, for the methods whose selection passed.
    QMap<QString, QString> methodIdSyntheticFilesPathMap() const;

    QJsonObject toJsonObject() const override;
    bool fromJsonObject(const QJsonObject &json, QString *errorMsg = nullptr) override;

private:
    bool m_status = false;
    QString m_statusMsg;
    QList<XrfSyntheticShotSelectionCriteriaPerMethod> m_criteria;
};

// The record of factory step 9, kept in the result map of its lastResult.json entry:
// {"startTime", "endTime", "methods": [...], "shotsList": {...}, "selectionCriteria": {...}};
// "methods" holds the JSON of the work order's methods (ModelMethod) the step worked for.
class XrfPreRequisiteShotStepInfo : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QString startTime MEMBER m_startTime)
    Q_PROPERTY(QString endTime MEMBER m_endTime)
    Q_PROPERTY(QJsonArray methods MEMBER m_methods)

public:
    QString startTime() const { return m_startTime; }
    void setStartTime(const QString &time) { m_startTime = time; }
    QString endTime() const { return m_endTime; }
    void setEndTime(const QString &time) { m_endTime = time; }
    QJsonArray methods() const { return m_methods; }
    void setMethods(const QJsonArray &methods) { m_methods = methods; }
    XrfPrerequisiteShotList &shotsList() { return m_shots; }
    const XrfPrerequisiteShotList &shotsList() const { return m_shots; }
    void setShotsList(const XrfPrerequisiteShotList &shots) { m_shots = shots; }
    XrfSyntheticShotSelectionCriteria &selectionCriteria() { return m_criteria; }
    const XrfSyntheticShotSelectionCriteria &selectionCriteria() const { return m_criteria; }
    // Takes from `previous` the results of every shot that is still the same shot (same id,
    // sample, beam, collimation and exposure), its start time and its selection.
    void mergeWithPreviousResult(const XrfPreRequisiteShotStepInfo &previous);

    QJsonObject toJsonObject() const override;
    bool fromJsonObject(const QJsonObject &json, QString *errorMsg = nullptr) override;

private:
    QString m_startTime;
    QString m_endTime;
    QJsonArray m_methods;
    XrfPrerequisiteShotList m_shots;
    XrfSyntheticShotSelectionCriteria m_criteria;
};

Q_DECLARE_METATYPE(XrfPrerequisiteShot)
Q_DECLARE_METATYPE(XrfPrerequisiteShotList)
Q_DECLARE_METATYPE(XrfSyntheticShotSelectionCriteria)
