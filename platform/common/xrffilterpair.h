#pragma once

#include "xrfjsonhelper.h"

#include <QList>
#include <QMap>

// Two filter wheel positions with the same material and thickness: one with the full opening,
// one with the collimator. The count rates measured through both give the collimator's ratio.
class XrfFilterPair : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(int unCollimatedPos MEMBER m_unCollimatedPos)
    Q_PROPERTY(int collimatedPos MEMBER m_collimatedPos)
    Q_PROPERTY(int unCollimatedEnc MEMBER m_unCollimatedEnc)
    Q_PROPERTY(int collimatedEnc MEMBER m_collimatedEnc)
    Q_PROPERTY(int materialAtomicNumber MEMBER m_materialAtomicNumber)
    Q_PROPERTY(int thickness MEMBER m_thickness)
    Q_PROPERTY(double unCollimatedIcr MEMBER m_unCollimatedIcr)
    Q_PROPERTY(double collimatedIcr MEMBER m_collimatedIcr)
    Q_PROPERTY(double unCollimatedToCollimatedIcrRatio MEMBER m_ratio)

public:
    // "material-thickness", the key of a pair in its list.
    static QString makePairId(int materialAtomicNumber, int thicknessInMicrons);
    QString pairId() const { return makePairId(m_materialAtomicNumber, m_thickness); }

    int unCollimatedPosition() const { return m_unCollimatedPos; }
    void setUnCollimatedPosition(int position) { m_unCollimatedPos = position; }
    int collimatedPosition() const { return m_collimatedPos; }
    void setCollimatedPosition(int position) { m_collimatedPos = position; }
    int unCollimatedEncoder() const { return m_unCollimatedEnc; }
    void setUnCollimatedEncoder(int encoder) { m_unCollimatedEnc = encoder; }
    int collimatedEncoder() const { return m_collimatedEnc; }
    void setCollimatedEncoder(int encoder) { m_collimatedEnc = encoder; }
    int materialAtomicNumber() const { return m_materialAtomicNumber; }
    void setMaterialAtomicNumber(int z) { m_materialAtomicNumber = z; }
    int thickness() const { return m_thickness; }
    void setThickness(int microns) { m_thickness = microns; }
    double unCollimatedIcr() const { return m_unCollimatedIcr; }
    void setUnCollimatedIcr(double cps) { m_unCollimatedIcr = cps; }
    double collimatedIcr() const { return m_collimatedIcr; }
    void setCollimatedIcr(double cps) { m_collimatedIcr = cps; }
    double unCollimatedToCollimatedIcrRatio() const { return m_ratio; }
    void setUnCollimatedToCollimatedIcrRatio(double ratio) { m_ratio = ratio; }

private:
    int m_unCollimatedPos = -1;
    int m_collimatedPos = -1;
    int m_unCollimatedEnc = 0;
    int m_collimatedEnc = 0;
    int m_materialAtomicNumber = 0;
    int m_thickness = 0;
    double m_unCollimatedIcr = 0;
    double m_collimatedIcr = 0;
    double m_ratio = 0;
};

Q_DECLARE_METATYPE(XrfFilterPair)

// The filter pairs of a wheel. Its JSON form is an object keyed by pair id.
class XrfFilterPairsList
{
public:
    int size() const { return m_pairs.size(); }
    bool isEmpty() const { return m_pairs.isEmpty(); }
    // In pair id order.
    QList<XrfFilterPair> list() const { return m_pairs.values(); }
    // Adds the pair, or replaces the one with the same id.
    void setFilterPair(const XrfFilterPair &pair) { m_pairs.insert(pair.pairId(), pair); }
    // The pair of that material and thickness, or null. Valid until the list changes.
    const XrfFilterPair *getFilterPair(int materialAtomicNumber, int thicknessInMicrons) const;
    void clear() { m_pairs.clear(); }

    // A member that is not an object or holds a malformed value fails the whole parse and
    // leaves the list unchanged; `errorMsg` names the pair.
    bool fromJsonObject(const QJsonObject &json, QString *errorMsg = nullptr);
    QJsonObject toJsonObject() const;

private:
    QMap<QString, XrfFilterPair> m_pairs;
};
