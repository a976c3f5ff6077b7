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
    if (!nestedFromJson(json, kMetaInfoKey, &metaInfo, errorMsg)
        || !XrfJsonHelper::fromJsonObject(json, errorMsg))
        return false;
    m_metaInfo = metaInfo;
    return true;
}
