#pragma once

// A calibration standard as the technician handles it: the steps shot on it, in order, and where
// its shots stand.

#include "xrfcalibrationstep.h"

class XrfCalibrationStandard : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QString name MEMBER m_name)
    Q_PROPERTY(QString sampleName MEMBER m_sampleName)
    Q_PROPERTY(QString sampleType MEMBER m_sampleType)
    Q_PROPERTY(QString sampleLot MEMBER m_sampleLot)
    Q_PROPERTY(bool isDone MEMBER m_isDone)
    Q_PROPERTY(bool hasFailed MEMBER m_hasFailed)
    Q_PROPERTY(bool isOnly50KvRemaining MEMBER m_isOnly50KvRemaining)

public:
    XrfCalibrationStandard() = default;
    // The standard of the steps `first` .. `first + count - 1` of `steps`, named after the first.
    XrfCalibrationStandard(const XrfCalibrationStepList &steps, int first, int count);

    // The standard's display id (the sample ID of its steps).
    QString name() const { return m_name; }
    QString sampleName() const { return m_sampleName; }
    QString sampleType() const { return m_sampleType; }
    QString sampleLot() const { return m_sampleLot; }
    const QList<XrfCalibrationStep> &steps() const { return m_steps; }
    bool isDone() const { return m_isDone; }
    void setIsDone(bool done) { m_isDone = done; }
    bool hasFailed() const { return m_hasFailed; }
    void setHasFailed(bool failed) { m_hasFailed = failed; }
    // Set aside: everything but its 50 kV steps was shot while the test stand was open or absent.
    bool isOnly50KvRemaining() const { return m_isOnly50KvRemaining; }
    void setIsOnly50KvRemaining(bool only50Kv) { m_isOnly50KvRemaining = only50Kv; }

    bool has50KvShots() const;
    // The set times of the steps still to shoot (not done, or failed), in seconds.
    int timeRemainingInSeconds() const;
    // The part of timeRemainingInSeconds() that 50 kV steps take.
    int timeRemainingFor50KvShots() const;
    bool isAllStepsDone() const;
    // Some steps are pending and every one of them is a 50 kV step.
    bool isOnly50kvStepsPending() const;
    // Takes the status of the same step of `step`; false when the standard has no such step.
    bool updateStepStatus(const XrfCalibrationStep &step);
    // "SS304: 2 of 3 steps passed, 1 failed", for the technician.
    QString stepsStatusString() const;

    // "steps" travels as a nested list.
    QJsonObject toJsonObject() const override;
    bool fromJsonObject(const QJsonObject &json, QString *errorMsg = nullptr) override;

private:
    QString m_name;
    QString m_sampleName;
    QString m_sampleType;
    QString m_sampleLot;
    bool m_isDone = false;
    bool m_hasFailed = false;
    bool m_isOnly50KvRemaining = false;
    QList<XrfCalibrationStep> m_steps;
};

// The standards in the order the technician shoots them.
class XrfCalibrationStandardList : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD

public:
    const QList<XrfCalibrationStandard> &list() const { return m_standards; }
    int size() const { return m_standards.size(); }
    bool isEmpty() const { return m_standards.isEmpty(); }
    void clear() { m_standards.clear(); }
    void append(const XrfCalibrationStandard &standard) { m_standards.append(standard); }
    // The standard named `name` into `out`; false when there is none.
    bool getStandard(const QString &name, XrfCalibrationStandard *out) const;
    // Replaces the standard of the same name; false when there is none.
    bool updateStandardStatus(const XrfCalibrationStandard &standard);

    // {"standards": [...]}.
    QJsonObject toJsonObject() const override;
    bool fromJsonObject(const QJsonObject &json, QString *errorMsg = nullptr) override;

private:
    QList<XrfCalibrationStandard> m_standards;
};

Q_DECLARE_METATYPE(XrfCalibrationStandard)
Q_DECLARE_METATYPE(XrfCalibrationStandardList)
