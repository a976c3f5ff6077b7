#pragma once

// Prerequisite shots and the synthetic shot selection.

#include "xrfjsonhelper.h"

class XrfPrerequisiteShot : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QString sampleName MEMBER m_sampleName)
    Q_PROPERTY(int status MEMBER m_status)

public:
    QString sampleName() const { return m_sampleName; }
    int status() const { return m_status; }

private:
    QString m_sampleName;
    int m_status = 0;
};

class XrfPrerequisiteShotList : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD

public:
    const QList<XrfPrerequisiteShot> &shots() const { return m_shots; }

private:
    QList<XrfPrerequisiteShot> m_shots;
};

class XrfSyntheticShotSelectionCriteria : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QJsonObject criteria MEMBER m_criteria)

public:
    QJsonObject criteria() const { return m_criteria; }

private:
    QJsonObject m_criteria;
};

Q_DECLARE_METATYPE(XrfPrerequisiteShot)
Q_DECLARE_METATYPE(XrfPrerequisiteShotList)
Q_DECLARE_METATYPE(XrfSyntheticShotSelectionCriteria)
