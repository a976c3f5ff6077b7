#pragma once

#include "xrfjsonhelper.h"

// The filter in the beam path of one exposure.
class XrfFilterProperties : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(int materialAtomicNumber MEMBER m_materialAtomicNumber)
    Q_PROPERTY(double thicknessInMicrons MEMBER m_thicknessInMicrons)
    Q_PROPERTY(double diameterInMicrons MEMBER m_diameterInMicrons)
    Q_PROPERTY(int position MEMBER m_position)
    Q_PROPERTY(QString partNumber MEMBER m_partNumber)
    Q_PROPERTY(bool hasCollimator MEMBER m_hasCollimator)

public:
    XrfFilterProperties() = default;
    XrfFilterProperties(int atomicNumber, double thickness, double diameter)
        : m_materialAtomicNumber(atomicNumber),
          m_thicknessInMicrons(thickness),
          m_diameterInMicrons(diameter)
    { }

    int materialAtomicNumber() const { return m_materialAtomicNumber; }
    void setMaterialAtomicNumber(int z) { m_materialAtomicNumber = z; }
    double thicknessInMicrons() const { return m_thicknessInMicrons; }
    void setThicknessInMicrons(double um) { m_thicknessInMicrons = um; }
    double diameterInMicrons() const { return m_diameterInMicrons; }
    void setDiameterInMicrons(double um) { m_diameterInMicrons = um; }
    int position() const { return m_position; }
    void setPosition(int position) { m_position = position; }
    QString partNumber() const { return m_partNumber; }
    void setPartNumber(const QString &partNumber) { m_partNumber = partNumber; }
    // Set when the hole of this position is the collimator.
    bool hasCollimator() const { return m_hasCollimator; }
    void setHasCollimator(bool hasCollimator) { m_hasCollimator = hasCollimator; }

    // A filter the beam can pass: a hole, a known element (0 for none) and no negative thickness.
    bool isValid() const
    {
        return m_diameterInMicrons > 0 && m_diameterInMicrons <= kMaxMicrons
            && m_thicknessInMicrons >= 0 && m_thicknessInMicrons <= kMaxMicrons
            && m_materialAtomicNumber >= 0 && m_materialAtomicNumber <= kMaxAtomicNumber;
    }

    bool operator==(const XrfFilterProperties &o) const
    {
        return m_materialAtomicNumber == o.m_materialAtomicNumber
            && qFuzzyCompare(1 + m_thicknessInMicrons, 1 + o.m_thicknessInMicrons)
            && qFuzzyCompare(1 + m_diameterInMicrons, 1 + o.m_diameterInMicrons);
    }

private:
    static constexpr int kMaxAtomicNumber = 118;
    static constexpr double kMaxMicrons = 65535; // the controller keeps 16-bit values

    int m_materialAtomicNumber = 0;
    double m_thicknessInMicrons = 0;
    double m_diameterInMicrons = 0;
    int m_position = -1;
    QString m_partNumber;
    bool m_hasCollimator = false;
};

Q_DECLARE_METATYPE(XrfFilterProperties)
