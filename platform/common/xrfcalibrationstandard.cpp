#include "xrfcalibrationstandard.h"

namespace {
const QString kSteps = QStringLiteral("steps");
const QString kStandards = QStringLiteral("standards");
} // namespace

XrfCalibrationStandard::XrfCalibrationStandard(const XrfCalibrationStepList &steps, int first,
                                               int count)
{
    for (int i = first; i < first + count && i < steps.size(); ++i)
        m_steps.append(steps.at(i));
    if (m_steps.isEmpty())
        return;
    const XrfCalibrationStep &step = m_steps.first();
    m_name = step.standardDisplayId();
    m_sampleName = step.sampleName();
    m_sampleType = step.sampleType();
    m_sampleLot = step.sampleLot();
    m_isDone = isAllStepsDone();
}

bool XrfCalibrationStandard::has50KvShots() const
{
    for (const XrfCalibrationStep &step : m_steps) {
        if (step.is50kvStep())
            return true;
    }
    return false;
}

int XrfCalibrationStandard::timeRemainingInSeconds() const
{
    int seconds = 0;
    for (const XrfCalibrationStep &step : m_steps) {
        if (step.isPending())
            seconds += step.exposure().maxTime();
    }
    return seconds;
}

int XrfCalibrationStandard::timeRemainingFor50KvShots() const
{
    int seconds = 0;
    for (const XrfCalibrationStep &step : m_steps) {
        if (step.isPending() && step.is50kvStep())
            seconds += step.exposure().maxTime();
    }
    return seconds;
}

bool XrfCalibrationStandard::isAllStepsDone() const
{
    for (const XrfCalibrationStep &step : m_steps) {
        if (step.isPending())
            return false;
    }
    return true;
}

bool XrfCalibrationStandard::isOnly50kvStepsPending() const
{
    bool pending = false;
    for (const XrfCalibrationStep &step : m_steps) {
        if (!step.isPending())
            continue;
        if (!step.is50kvStep())
            return false;
        pending = true;
    }
    return pending;
}

bool XrfCalibrationStandard::updateStepStatus(const XrfCalibrationStep &step)
{
    for (XrfCalibrationStep &own : m_steps) {
        if (own.isSameStepAs(step)) {
            own.copyStatusFrom(step);
            return true;
        }
    }
    return false;
}

QString XrfCalibrationStandard::stepsStatusString() const
{
    int passed = 0;
    int failed = 0;
    for (const XrfCalibrationStep &step : m_steps) {
        passed += step.isPassed() ? 1 : 0;
        failed += step.isDone() && step.hasFailed() ? 1 : 0;
    }
    QString text =
        QStringLiteral("%1: %2 of %3 steps passed").arg(m_name).arg(passed).arg(m_steps.size());
    if (failed > 0)
        text += QStringLiteral(", %1 failed").arg(failed);
    return text;
}

QJsonObject XrfCalibrationStandard::toJsonObject() const
{
    QJsonObject json = XrfJsonHelper::toJsonObject();
    json.insert(kSteps, recordsToJson(m_steps));
    json.insert(QStringLiteral("timeRemainingInSeconds"), timeRemainingInSeconds());
    return json;
}

bool XrfCalibrationStandard::fromJsonObject(const QJsonObject &json, QString *errorMsg)
{
    QList<XrfCalibrationStep> steps = m_steps;
    if (json.contains(kSteps) && !recordsFromJson(json.value(kSteps), kSteps, &steps, errorMsg))
        return false;
    if (!XrfJsonHelper::fromJsonObject(json, errorMsg))
        return false;
    m_steps = steps;
    return true;
}

bool XrfCalibrationStandardList::getStandard(const QString &name, XrfCalibrationStandard *out) const
{
    for (const XrfCalibrationStandard &standard : m_standards) {
        if (standard.name() == name) {
            if (out)
                *out = standard;
            return true;
        }
    }
    return false;
}

bool XrfCalibrationStandardList::updateStandardStatus(const XrfCalibrationStandard &standard)
{
    for (XrfCalibrationStandard &own : m_standards) {
        if (own.name() == standard.name()) {
            own = standard;
            return true;
        }
    }
    return false;
}

QJsonObject XrfCalibrationStandardList::toJsonObject() const
{
    return QJsonObject{{kStandards, recordsToJson(m_standards)}};
}

bool XrfCalibrationStandardList::fromJsonObject(const QJsonObject &json, QString *errorMsg)
{
    return recordsFromJson(json.value(kStandards), kStandards, &m_standards, errorMsg);
}
