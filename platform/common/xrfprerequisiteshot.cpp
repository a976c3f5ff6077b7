#include "xrfprerequisiteshot.h"

#include "modelmethod.h"
#include "xrfjsonlist.h"

namespace {
const QString kExposure = QStringLiteral("exposure");
const QString kSpectrum = QStringLiteral("spectrum");
const QString kShots = QStringLiteral("shots");
const QString kCriteria = QStringLiteral("criteria");
const QString kShotsList = QStringLiteral("shotsList");
const QString kSelectionCriteria = QStringLiteral("selectionCriteria");

bool isSameShot(const XrfPrerequisiteShot &a, const XrfPrerequisiteShot &b)
{
    return a.id() == b.id() && a.targetSample() == b.targetSample() && a.beamName() == b.beamName()
        && a.isCollimated() == b.isCollimated()
        && a.exposure().toJsonObject() == b.exposure().toJsonObject();
}
} // namespace

void XrfPrerequisiteShot::clearResults()
{
    m_isDone = false;
    m_hasFailed = false;
    m_statusMsg.clear();
    m_spectrum = XrfSpectrum();
}

void XrfPrerequisiteShot::copyResultsFrom(const XrfPrerequisiteShot &stored)
{
    m_isDone = stored.m_isDone;
    m_hasFailed = stored.m_hasFailed;
    m_statusMsg = stored.m_statusMsg;
    m_spectrum = stored.m_spectrum;
}

QJsonObject XrfPrerequisiteShot::toJsonObject() const
{
    QJsonObject json = XrfJsonHelper::toJsonObject();
    json.insert(kExposure, m_exposure.toJsonObject());
    json.insert(kSpectrum, m_spectrum.toJsonObject());
    return json;
}

bool XrfPrerequisiteShot::fromJsonObject(const QJsonObject &json, QString *errorMsg)
{
    XrfPrerequisiteShot parsed;
    if (!parsed.XrfJsonHelper::fromJsonObject(json, errorMsg)
        || !nestedFromJson(json, kExposure, &parsed.m_exposure, errorMsg)
        || !nestedFromJson(json, kSpectrum, &parsed.m_spectrum, errorMsg))
        return false;
    if (parsed.m_id.isEmpty()) {
        if (errorMsg)
            *errorMsg = QStringLiteral("JSON key 'id' of a prerequisite shot is missing or empty");
        return false;
    }
    *this = parsed;
    return true;
}

void XrfPrerequisiteShotList::clear()
{
    m_shots.clear();
    m_allShotsComplete = false;
    m_selectionCriteriaStatus = false;
}

void XrfPrerequisiteShotList::boilDownToRequiredForMethods(const QList<ModelMethod> &methods)
{
    QStringList parameters;
    for (const ModelMethod &method : methods) {
        if (method.isSyntheticMethod() && !method.syntheticShotSelectionParameter().isEmpty())
            parameters << method.syntheticShotSelectionParameter();
    }
    QList<XrfPrerequisiteShot> required;
    for (const XrfPrerequisiteShot &shot : m_shots) {
        for (const QString &parameter : shot.selectionParameters()) {
            if (parameters.contains(parameter)) {
                required << shot;
                break;
            }
        }
    }
    m_shots = required;
}

bool XrfPrerequisiteShotList::isAllShotsCompleteAndUpdateStatus()
{
    m_allShotsComplete = true;
    for (const XrfPrerequisiteShot &shot : m_shots)
        m_allShotsComplete = m_allShotsComplete && shot.hasPassed();
    return m_allShotsComplete;
}

XrfPrerequisiteShot *XrfPrerequisiteShotList::findNextIncompleteShot()
{
    for (XrfPrerequisiteShot &shot : m_shots) {
        if (!shot.hasPassed())
            return &shot;
    }
    return nullptr;
}

XrfPrerequisiteShot *XrfPrerequisiteShotList::prerequisiteShot(const QString &id)
{
    for (XrfPrerequisiteShot &shot : m_shots) {
        if (shot.id() == id)
            return &shot;
    }
    return nullptr;
}

bool XrfPrerequisiteShotList::updateShot(const XrfPrerequisiteShot &shot)
{
    XrfPrerequisiteShot *own = prerequisiteShot(shot.id());
    if (!own)
        return false;
    *own = shot;
    return true;
}

QJsonObject XrfPrerequisiteShotList::toJsonObject() const
{
    QJsonObject json = XrfJsonHelper::toJsonObject();
    json.insert(kShots, recordsToJson(m_shots));
    return json;
}

bool XrfPrerequisiteShotList::fromJsonObject(const QJsonObject &json, QString *errorMsg)
{
    XrfPrerequisiteShotList parsed;
    if (!parsed.XrfJsonHelper::fromJsonObject(json, errorMsg)
        || !recordsFromJson(json.value(kShots), kShots, &parsed.m_shots, errorMsg))
        return false;
    *this = parsed;
    return true;
}

void XrfSyntheticShotSelectionCriteria::setCriteria(
    const XrfSyntheticShotSelectionCriteriaPerMethod &criteria)
{
    for (XrfSyntheticShotSelectionCriteriaPerMethod &own : m_criteria) {
        if (own.methodId() == criteria.methodId()) {
            own = criteria;
            return;
        }
    }
    m_criteria.append(criteria);
}

QMap<QString, QString> XrfSyntheticShotSelectionCriteria::methodIdSyntheticFilesPathMap() const
{
    QMap<QString, QString> map;
    for (const XrfSyntheticShotSelectionCriteriaPerMethod &criteria : m_criteria) {
        if (!criteria.hasFailed() && !criteria.filesPath().isEmpty())
            map.insert(criteria.methodId(), criteria.filesPath());
    }
    return map;
}

QJsonObject XrfSyntheticShotSelectionCriteria::toJsonObject() const
{
    QJsonObject json = XrfJsonHelper::toJsonObject();
    json.insert(kCriteria, recordsToJson(m_criteria));
    return json;
}

bool XrfSyntheticShotSelectionCriteria::fromJsonObject(const QJsonObject &json, QString *errorMsg)
{
    XrfSyntheticShotSelectionCriteria parsed;
    if (!parsed.XrfJsonHelper::fromJsonObject(json, errorMsg)
        || !recordsFromJson(json.value(kCriteria), kCriteria, &parsed.m_criteria, errorMsg))
        return false;
    *this = parsed;
    return true;
}

void XrfPreRequisiteShotStepInfo::mergeWithPreviousResult(
    const XrfPreRequisiteShotStepInfo &previous)
{
    for (const XrfPrerequisiteShot &stored : previous.shotsList().list()) {
        XrfPrerequisiteShot *shot = m_shots.prerequisiteShot(stored.id());
        if (shot && isSameShot(*shot, stored))
            shot->copyResultsFrom(stored);
    }
    m_shots.setSelectionCriteriaStatus(previous.shotsList().selectionCriteriaStatus());
    if (!previous.startTime().isEmpty())
        m_startTime = previous.startTime();
    m_criteria = previous.selectionCriteria();
}

QJsonObject XrfPreRequisiteShotStepInfo::toJsonObject() const
{
    QJsonObject json = XrfJsonHelper::toJsonObject();
    json.insert(kShotsList, m_shots.toJsonObject());
    json.insert(kSelectionCriteria, m_criteria.toJsonObject());
    return json;
}

bool XrfPreRequisiteShotStepInfo::fromJsonObject(const QJsonObject &json, QString *errorMsg)
{
    XrfPreRequisiteShotStepInfo parsed;
    if (!parsed.XrfJsonHelper::fromJsonObject(json, errorMsg)
        || !nestedFromJson(json, kShotsList, &parsed.m_shots, errorMsg)
        || !nestedFromJson(json, kSelectionCriteria, &parsed.m_criteria, errorMsg))
        return false;
    *this = parsed;
    return true;
}
