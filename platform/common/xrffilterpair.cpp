#include "xrffilterpair.h"

QString XrfFilterPair::makePairId(int materialAtomicNumber, int thicknessInMicrons)
{
    return QStringLiteral("%1-%2").arg(materialAtomicNumber).arg(thicknessInMicrons);
}

const XrfFilterPair *XrfFilterPairsList::getFilterPair(int materialAtomicNumber,
                                                       int thicknessInMicrons) const
{
    const auto it =
        m_pairs.constFind(XrfFilterPair::makePairId(materialAtomicNumber, thicknessInMicrons));
    return it == m_pairs.constEnd() ? nullptr : &it.value();
}

bool XrfFilterPairsList::fromJsonObject(const QJsonObject &json, QString *errorMsg)
{
    QMap<QString, XrfFilterPair> pairs;
    for (auto it = json.begin(); it != json.end(); ++it) {
        XrfFilterPair pair;
        QString error;
        if (!it.value().isObject() || !pair.fromJsonObject(it.value().toObject(), &error)) {
            if (errorMsg)
                *errorMsg = QStringLiteral("malformed filter pair '%1' %2").arg(it.key(), error);
            return false;
        }
        pairs.insert(pair.pairId(), pair);
    }
    m_pairs = pairs;
    return true;
}

QJsonObject XrfFilterPairsList::toJsonObject() const
{
    QJsonObject json;
    for (auto it = m_pairs.begin(); it != m_pairs.end(); ++it)
        json.insert(it.key(), it.value().toJsonObject());
    return json;
}
