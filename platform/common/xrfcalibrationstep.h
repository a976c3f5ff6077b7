#pragma once

// The calibration steps of the methods' workspaces: one step is one shot of one standard with one
// beam. A step that several methods need with the same exposure is shot once and serves them all
// (its method uses).

#include "xrfexposuresettings.h"
#include "xrfjsonlist.h"

#include <QList>

// One method that uses a step, with the method's own number of the beam.
class XrfCalibrationMethodUse : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QString methodId MEMBER m_methodId)
    Q_PROPERTY(int beamNumber MEMBER m_beamNumber)

public:
    XrfCalibrationMethodUse() = default;
    XrfCalibrationMethodUse(const QString &methodId, int beamNumber)
        : m_methodId(methodId), m_beamNumber(beamNumber)
    { }
    QString methodId() const { return m_methodId; }
    int beamNumber() const { return m_beamNumber; }
    bool operator==(const XrfCalibrationMethodUse &other) const
    {
        return m_methodId == other.m_methodId && m_beamNumber == other.m_beamNumber;
    }

private:
    QString m_methodId;
    int m_beamNumber = 0;
};

class XrfCalibrationStep : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QString sampleID MEMBER m_sampleId)
    Q_PROPERTY(QString sampleName MEMBER m_sampleName)
    Q_PROPERTY(QString sampleType MEMBER m_sampleType)
    Q_PROPERTY(QString sampleLot MEMBER m_sampleLot)
    Q_PROPERTY(int shootOrder MEMBER m_shootOrder)
    Q_PROPERTY(int beamNumber MEMBER m_beamNumber)
    Q_PROPERTY(bool isDone MEMBER m_isDone)
    Q_PROPERTY(bool hasFailed MEMBER m_hasFailed)
    Q_PROPERTY(bool isWrongShot MEMBER m_isWrongShot)
    Q_PROPERTY(QString errorMsg MEMBER m_errorMsg)
    Q_PROPERTY(QString customWindow MEMBER m_customWindow)
    Q_PROPERTY(QString shotTime MEMBER m_shotTime)

public:
    // The states a step's flags give, as the application and the invalidation name them.
    static const QString kNotStarted; // "notStarted": not done
    static const QString kPassed; // "passed": done, not failed
    static const QString kFailed; // "failed": done and failed

    QString sampleID() const { return m_sampleId; }
    void setSampleID(const QString &id) { m_sampleId = id; }
    QString sampleName() const { return m_sampleName; }
    void setSampleName(const QString &name) { m_sampleName = name; }
    QString sampleType() const { return m_sampleType; }
    void setSampleType(const QString &type) { m_sampleType = type; }
    QString sampleLot() const { return m_sampleLot; }
    void setSampleLot(const QString &lot) { m_sampleLot = lot; }
    int shootOrder() const { return m_shootOrder; }
    void setShootOrder(int order) { m_shootOrder = order; }
    // The beam of the first method use, counted from 1.
    int beamNumber() const { return m_beamNumber; }
    void setBeamNumber(int beam) { m_beamNumber = beam; }
    bool isDone() const { return m_isDone; }
    void setIsDone(bool done) { m_isDone = done; }
    bool hasFailed() const { return m_hasFailed; }
    void setHasFailed(bool failed) { m_hasFailed = failed; }
    // The wrong-shot criteria found another sample than the standard in the spectrum.
    bool isWrongShot() const { return m_isWrongShot; }
    void setIsWrongShot(bool wrong) { m_isWrongShot = wrong; }
    QString errorMsg() const { return m_errorMsg; }
    void setErrorMsg(const QString &message) { m_errorMsg = message; }
    // The custom window an air step measures the background of; empty for other steps.
    QString customWindow() const { return m_customWindow; }
    void setCustomWindow(const QString &window) { m_customWindow = window; }
    bool hasCustomWindow() const { return !m_customWindow.isEmpty(); }
    // When the step was last shot (UTC, ISO 8601); empty before.
    QString shotTime() const { return m_shotTime; }
    void setShotTime(const QString &time) { m_shotTime = time; }

    const XrfExposureSettings &exposure() const { return m_exposure; }
    void setExposure(const XrfExposureSettings &exposure) { m_exposure = exposure; }
    const QList<XrfCalibrationMethodUse> &methodUses() const { return m_methodUses; }
    void setMethodUses(const QList<XrfCalibrationMethodUse> &uses) { m_methodUses = uses; }
    void addMethodUse(const XrfCalibrationMethodUse &use);

    // The standard the step belongs to: its sample ID.
    QString standardDisplayId() const { return m_sampleId; }
    // A shot at 50 kV or more, which the instrument takes only in the closed test stand.
    bool is50kvStep() const;
    // Done and not failed.
    bool isPassed() const { return m_isDone && !m_hasFailed; }
    // Still to be shot: not done, or failed.
    bool isPending() const { return !m_isDone || m_hasFailed; }
    // kNotStarted, kPassed or kFailed.
    QString statusText() const;
    // Back to kNotStarted: not done, not failed, no error, not a wrong shot.
    void resetStatus();
    // Takes the status (flags, error, shot time) of `other`.
    void copyStatusFrom(const XrfCalibrationStep &other);
    // The same standard, order and exposure as `other`, whatever their status.
    bool isSameStepAs(const XrfCalibrationStep &other) const;
    // "SS304 beam 2 (40 kV)", for messages.
    QString stepName() const;
    // The file name of the step's shot in the calibration shot library.
    QString calibrationShotFileName() const;

    // "exposure" and "methodUses" travel as nested JSON; "status" is written for readers.
    QJsonObject toJsonObject() const override;
    bool fromJsonObject(const QJsonObject &json, QString *errorMsg = nullptr) override;

private:
    QString m_sampleId;
    QString m_sampleName;
    QString m_sampleType;
    QString m_sampleLot;
    int m_shootOrder = 0;
    int m_beamNumber = 0;
    bool m_isDone = false;
    bool m_hasFailed = false;
    bool m_isWrongShot = false;
    QString m_errorMsg;
    QString m_customWindow;
    QString m_shotTime;
    XrfExposureSettings m_exposure;
    QList<XrfCalibrationMethodUse> m_methodUses;
};

// The ordered steps of every method: the steps of one standard are next to each other.
class XrfCalibrationStepList : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD

public:
    const QList<XrfCalibrationStep> &list() const { return m_steps; }
    QList<XrfCalibrationStep> &list() { return m_steps; }
    int size() const { return m_steps.size(); }
    bool isEmpty() const { return m_steps.isEmpty(); }
    void clear() { m_steps.clear(); }
    void append(const XrfCalibrationStep &step) { m_steps.append(step); }
    const XrfCalibrationStep &at(int index) const { return m_steps.at(index); }
    XrfCalibrationStep &operator[](int index) { return m_steps[index]; }
    // Every step passed.
    bool isAllStepsDone() const;
    // Takes the status of each step of `stored` that is the same step.
    void copyStatusFrom(const XrfCalibrationStepList &stored);

    // {"steps": [...]}.
    QJsonObject toJsonObject() const override;
    bool fromJsonObject(const QJsonObject &json, QString *errorMsg = nullptr) override;

private:
    QList<XrfCalibrationStep> m_steps;
};

Q_DECLARE_METATYPE(XrfCalibrationStep)
Q_DECLARE_METATYPE(XrfCalibrationStepList)
