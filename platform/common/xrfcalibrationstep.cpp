#include "xrfcalibrationstep.h"

#include "xrfcalibrationshot.h"

namespace {
const QString kExposure = QStringLiteral("exposure");
const QString kMethodUses = QStringLiteral("methodUses");
const QString kStatus = QStringLiteral("status");
const QString kSteps = QStringLiteral("steps");
// Tube voltages are set in whole kV; half a kV keeps a 49.9 kV monitor reading out of the rule.
constexpr float k50kV = 49.5f;
} // namespace

const QString XrfCalibrationStep::kNotStarted = QStringLiteral("notStarted");
const QString XrfCalibrationStep::kPassed = QStringLiteral("passed");
const QString XrfCalibrationStep::kFailed = QStringLiteral("failed");

void XrfCalibrationStep::addMethodUse(const XrfCalibrationMethodUse &use)
{
    if (!m_methodUses.contains(use))
        m_methodUses.append(use);
}

bool XrfCalibrationStep::is50kvStep() const
{
    return m_exposure.tubeVoltageKv() >= k50kV;
}

QString XrfCalibrationStep::statusText() const
{
    if (!m_isDone)
        return kNotStarted;
    return m_hasFailed ? kFailed : kPassed;
}

void XrfCalibrationStep::resetStatus()
{
    m_isDone = false;
    m_hasFailed = false;
    m_isWrongShot = false;
    m_errorMsg.clear();
    m_shotTime.clear();
}

void XrfCalibrationStep::copyStatusFrom(const XrfCalibrationStep &other)
{
    m_isDone = other.m_isDone;
    m_hasFailed = other.m_hasFailed;
    m_isWrongShot = other.m_isWrongShot;
    m_errorMsg = other.m_errorMsg;
    m_shotTime = other.m_shotTime;
}

bool XrfCalibrationStep::isSameStepAs(const XrfCalibrationStep &other) const
{
    return m_sampleId == other.m_sampleId && m_shootOrder == other.m_shootOrder
        && m_customWindow == other.m_customWindow
        && calibrationShotFileName() == other.calibrationShotFileName();
}

QString XrfCalibrationStep::stepName() const
{
    return QStringLiteral("%1 beam %2 (%3 kV)")
        .arg(m_sampleId)
        .arg(m_beamNumber)
        .arg(double(m_exposure.tubeVoltageKv()));
}

QString XrfCalibrationStep::calibrationShotFileName() const
{
    return XrfCalibrationShot::fromStep(*this).calibrationShotFileName();
}

QJsonObject XrfCalibrationStep::toJsonObject() const
{
    QJsonObject json = XrfJsonHelper::toJsonObject();
    json.insert(kExposure, m_exposure.toJsonObject());
    json.insert(kMethodUses, recordsToJson(m_methodUses));
    json.insert(kStatus, statusText());
    return json;
}

bool XrfCalibrationStep::fromJsonObject(const QJsonObject &json, QString *errorMsg)
{
    XrfExposureSettings exposure = m_exposure;
    if (!XrfJsonHelper::nestedFromJson(json, kExposure, &exposure, errorMsg))
        return false;
    QList<XrfCalibrationMethodUse> uses = m_methodUses;
    if (json.contains(kMethodUses)
        && !recordsFromJson(json.value(kMethodUses), kMethodUses, &uses, errorMsg))
        return false;
    if (!XrfJsonHelper::fromJsonObject(json, errorMsg))
        return false;
    m_exposure = exposure;
    m_methodUses = uses;
    return true;
}

bool XrfCalibrationStepList::isAllStepsDone() const
{
    for (const XrfCalibrationStep &step : m_steps) {
        if (!step.isPassed())
            return false;
    }
    return true;
}

void XrfCalibrationStepList::copyStatusFrom(const XrfCalibrationStepList &stored)
{
    for (XrfCalibrationStep &step : m_steps) {
        for (const XrfCalibrationStep &old : stored.list()) {
            if (step.isSameStepAs(old)) {
                step.copyStatusFrom(old);
                break;
            }
        }
    }
}

QJsonObject XrfCalibrationStepList::toJsonObject() const
{
    return QJsonObject{{kSteps, recordsToJson(m_steps)}};
}

bool XrfCalibrationStepList::fromJsonObject(const QJsonObject &json, QString *errorMsg)
{
    return recordsFromJson(json.value(kSteps), kSteps, &m_steps, errorMsg);
}
