#include "xrfhardwareconfig.h"

#include "xrfutils.h"

#include <QJsonArray>
#include <QRegularExpression>

QJsonObject XrfHardwareConfig::toJsonObject() const
{
    QJsonObject json = XrfJsonHelper::toJsonObject();
    QJsonArray filters;
    for (const XrfFilterProperties &filter : m_filters)
        filters.append(filter.toJsonObject());
    json.insert(QStringLiteral("filters"), filters);
    return json;
}

bool XrfHardwareConfig::fromJsonObject(const QJsonObject &json, QString *errorMsg)
{
    QList<XrfFilterProperties> filters = m_filters;
    const QJsonValue filtersJson = json.value(QStringLiteral("filters"));
    if (filtersJson.isArray()) {
        filters.clear();
        for (const QJsonValue &entry : filtersJson.toArray()) {
            XrfFilterProperties filter;
            if (!entry.isObject() || !filter.fromJsonObject(entry.toObject(), errorMsg)) {
                if (errorMsg && errorMsg->isEmpty())
                    *errorMsg =
                        QStringLiteral("JSON key 'filters' holds an entry that is not a filter");
                return false;
            }
            filters.append(filter);
        }
    }
    if (!XrfJsonHelper::fromJsonObject(json, errorMsg))
        return false;
    m_filters = filters;
    return true;
}

QString XrfHardwareConfig::getProbeTypeFromInstrumentModel(const QString &deviceType)
{
    if (deviceType.trimmed().isEmpty())
        return QStringLiteral("Unknown");
    const bool pin = deviceType.contains(QLatin1String("TARVO-KTR"))
        || deviceType.contains(QLatin1String("PIN"), Qt::CaseInsensitive);
    return pin ? QStringLiteral("PIN") : QStringLiteral("SDD");
}

QString XrfHardwareConfig::tubeAnode() const
{
    static const QRegularExpression trailingLetters(QStringLiteral("([A-Za-z]{1,2})$"));
    const QRegularExpressionMatch match = trailingLetters.match(m_tubeModel.trimmed());
    if (!match.hasMatch())
        return QString();
    QString symbol = match.captured(1).toLower();
    symbol[0] = symbol.at(0).toUpper();
    return XrfUtils::atomicNumber(symbol) > 0 ? symbol : QString();
}
