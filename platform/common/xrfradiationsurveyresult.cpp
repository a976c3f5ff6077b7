#include "xrfradiationsurveyresult.h"

#include <QJsonArray>

#include <cmath>

namespace {

const QString kExposureKey = QStringLiteral("exposure");
const QString kParamsKey = QStringLiteral("params");

void setError(QString *errorMsg, const QString &text)
{
    if (errorMsg)
        *errorMsg = text;
}

} // namespace

bool XrfRadiationSurveyParam::validate(QString *errorMsg) const
{
    const QList<QPair<const char *, double>> positives = {
        {"blueMeterCorrectionFactor", m_blueMeterCorrectionFactor},
        {"yellowMeterCorrectionFactor", m_yellowMeterCorrectionFactor},
        {"milliRadPerHourThreshold", m_milliRadPerHourThreshold},
        {"exposure.tubeVoltageKv", m_exposure.tubeVoltageKv()},
        {"exposure.tubeCurrentUa", m_exposure.tubeCurrentUa()},
        {"exposure.maxTime", double(m_exposure.maxTime())},
    };
    for (const auto &entry : positives) {
        if (!std::isfinite(entry.second) || entry.second <= 0) {
            setError(errorMsg,
                     QStringLiteral("'%1' must be a positive number, found %2")
                         .arg(QLatin1String(entry.first))
                         .arg(entry.second));
            return false;
        }
    }
    return true;
}

QJsonObject XrfRadiationSurveyParam::toJsonObject() const
{
    QJsonObject json = XrfJsonHelper::toJsonObject();
    json.insert(kExposureKey, m_exposure.toJsonObject());
    return json;
}

bool XrfRadiationSurveyParam::fromJsonObject(const QJsonObject &json, QString *errorMsg)
{
    XrfExposureSettings exposure = m_exposure;
    if (!nestedFromJson(json, kExposureKey, &exposure, errorMsg)
        || !XrfJsonHelper::fromJsonObject(json, errorMsg))
        return false;
    m_exposure = exposure;
    return true;
}

bool XrfRadiationSurveyParams::fromJsonObject(const QJsonObject &json, QString *errorMsg)
{
    const QJsonValue list = json.value(kParamsKey);
    if (!list.isArray()) {
        setError(errorMsg,
                 QStringLiteral("JSON key '%1' is missing or not an array").arg(kParamsKey));
        return false;
    }
    QList<XrfRadiationSurveyParam> params;
    const QJsonArray entries = list.toArray();
    for (int i = 0; i < entries.size(); ++i) {
        const QString where = QStringLiteral("%1[%2]").arg(kParamsKey).arg(i);
        XrfRadiationSurveyParam param;
        QString error;
        if (!entries.at(i).isObject()) {
            setError(errorMsg, QStringLiteral("'%1' is not an object").arg(where));
            return false;
        }
        if (!param.fromJsonObject(entries.at(i).toObject(), &error)) {
            setError(errorMsg, QStringLiteral("'%1': %2").arg(where, error));
            return false;
        }
        if (param.instrumentModel().isEmpty() || param.probeType().isEmpty()) {
            setError(errorMsg,
                     QStringLiteral("'%1' names no 'instrumentModel' or 'probeType'").arg(where));
            return false;
        }
        params.append(param);
    }
    m_params = params;
    return true;
}

QJsonObject XrfRadiationSurveyParams::toJsonObject() const
{
    QJsonArray entries;
    for (const XrfRadiationSurveyParam &param : m_params)
        entries.append(param.toJsonObject());
    return QJsonObject{{kParamsKey, entries}};
}

bool XrfRadiationSurveyParams::contains(const QString &model, const QString &probeType) const
{
    for (const XrfRadiationSurveyParam &param : m_params) {
        if (param.instrumentModel() == model && param.probeType() == probeType)
            return true;
    }
    return false;
}

XrfRadiationSurveyParam XrfRadiationSurveyParams::param(const QString &model,
                                                        const QString &probeType) const
{
    for (const XrfRadiationSurveyParam &param : m_params) {
        if (param.instrumentModel() == model && param.probeType() == probeType)
            return param;
    }
    return XrfRadiationSurveyParam();
}

QJsonObject XrfRadiationSurveyResult::toJsonObject() const
{
    QJsonObject json = XrfJsonHelper::toJsonObject();
    json.insert(kParamsKey, m_params.toJsonObject());
    return json;
}

bool XrfRadiationSurveyResult::fromJsonObject(const QJsonObject &json, QString *errorMsg)
{
    XrfRadiationSurveyParam params = m_params;
    if (!nestedFromJson(json, kParamsKey, &params, errorMsg)
        || !XrfJsonHelper::fromJsonObject(json, errorMsg))
        return false;
    m_params = params;
    return true;
}
