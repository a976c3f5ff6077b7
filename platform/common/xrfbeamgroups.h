#pragma once

// The parts of a beam condition that come as lists: the methods that use the beam and the shots
// of its count-rate loop.

#include "xrfjsonhelper.h"

#include <QList>

// One method that uses a beam: the beam's number within the method.
class BeamUsageGroup : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(int beamNo MEMBER m_beamNo)
    Q_PROPERTY(QString methodName MEMBER m_methodName)

public:
    BeamUsageGroup() = default;
    BeamUsageGroup(const QString &methodName, int beamNo)
        : m_beamNo(beamNo), m_methodName(methodName)
    { }

    int beamNo() const { return m_beamNo; }
    void setBeamNo(int beamNo) { m_beamNo = beamNo; }
    QString methodName() const { return m_methodName; }
    void setMethodName(const QString &name) { m_methodName = name; }

    bool operator==(const BeamUsageGroup &o) const
    {
        return m_beamNo == o.m_beamNo && m_methodName == o.m_methodName;
    }

    // One text for a set of uses, whatever their order: "alloy~1,soil~2".
    static QString groupsId(const QList<BeamUsageGroup> &groups);

private:
    int m_beamNo = 0;
    QString m_methodName;
};

// One shot of a beam's count-rate loop: its number, the tube current and the count rate it gave.
class BeamIterationGroup : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(uint iterNumber MEMBER m_iterNumber)
    Q_PROPERTY(double iterCurrent MEMBER m_iterCurrent)
    Q_PROPERTY(double iterICR MEMBER m_iterIcr)

public:
    uint iterNumber() const { return m_iterNumber; }
    void setIterNumber(uint number) { m_iterNumber = number; }
    float iterCurrent() const { return float(m_iterCurrent); }
    void setIterCurrent(float ua) { m_iterCurrent = ua; }
    float iterICR() const { return float(m_iterIcr); }
    void setIterICR(float cps) { m_iterIcr = cps; }

private:
    uint m_iterNumber = 0;
    double m_iterCurrent = 0;
    double m_iterIcr = 0;
};

Q_DECLARE_METATYPE(BeamUsageGroup)
Q_DECLARE_METATYPE(BeamIterationGroup)
