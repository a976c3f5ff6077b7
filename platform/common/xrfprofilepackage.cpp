#include "xrfprofilepackage.h"

namespace {
const QString kMetaInfoKey = QStringLiteral("metaInfo");
}

QJsonObject XrfProfileBackupResult::toJsonObject() const
{
    QJsonObject json = XrfJsonHelper::toJsonObject();
    json.insert(kMetaInfoKey, m_metaInfo.toJsonObject());
    return json;
}

bool XrfProfileBackupResult::fromJsonObject(const QJsonObject &json, QString *errorMsg)
{
    XrfProfileMetaInfo metaInfo = m_metaInfo;
    const QJsonValue nested = json.value(kMetaInfoKey);
    if (nested.isObject() && !metaInfo.fromJsonObject(nested.toObject(), errorMsg))
        return false;
    if (!XrfJsonHelper::fromJsonObject(json, errorMsg))
        return false;
    m_metaInfo = metaInfo;
    return true;
}
