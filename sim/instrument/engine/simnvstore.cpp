#include "simnvstore.h"

#include "xrfutils.h"

#include <QDebug>
#include <QJsonObject>

#include <cmath>
#include <limits>

namespace {
const QString kWordsKey = QStringLiteral("words");

QString addressKey(quint16 address)
{
    return QStringLiteral("0x%1").arg(address, 4, 16, QLatin1Char('0'));
}
} // namespace

SimNvStore::SimNvStore(const QString &model, const QString &detectorSerial)
    : m_model(model), m_detectorSerial(detectorSerial)
{ }

QString SimNvStore::nvPath()
{
    return XrfUtils::simStatePath() + QStringLiteral("/nv.json");
}

QString SimNvStore::eepromPath()
{
    return XrfUtils::simStatePath() + QStringLiteral("/eeprom.json");
}

SimNvStore::Words SimNvStore::loadNv() const
{
    return load(nvPath(), QStringLiteral("model"), m_model);
}

bool SimNvStore::saveNv(const Words &words, QString *errorMsg) const
{
    return save(nvPath(), QStringLiteral("model"), m_model, words, errorMsg);
}

SimNvStore::Words SimNvStore::loadEeprom() const
{
    return load(eepromPath(), QStringLiteral("detectorSerialNumber"), m_detectorSerial);
}

bool SimNvStore::saveEeprom(const Words &words, QString *errorMsg) const
{
    return save(eepromPath(), QStringLiteral("detectorSerialNumber"), m_detectorSerial, words,
                errorMsg);
}

SimNvStore::Words SimNvStore::load(const QString &path, const QString &ownerKey,
                                   const QString &owner) const
{
    QJsonValue value;
    if (!XrfUtils::readJsonFile(path, &value) || !value.isObject())
        return {};
    const QJsonObject root = value.toObject();
    if (root.value(ownerKey).toString() != owner)
        return {};
    Words words;
    const QJsonObject stored = root.value(kWordsKey).toObject();
    for (auto it = stored.constBegin(); it != stored.constEnd(); ++it) {
        bool ok = false;
        const uint address = it.key().toUInt(&ok, 16);
        const double word = it.value().toDouble(-1);
        // A word is a whole number of 32 bits: anything else is a damaged file, not a word.
        if (!ok || address > 0xffff || !it.value().isDouble() || !(word >= 0)
            || word > double(std::numeric_limits<quint32>::max()) || word != std::floor(word)) {
            qWarning().noquote() << QStringLiteral("%1: \"%2\" in \"%3\" is not a 32-bit word; "
                                                   "it is ignored")
                                        .arg(path, it.key(), kWordsKey);
            continue;
        }
        words.insert(quint16(address), quint32(word));
    }
    return words;
}

bool SimNvStore::save(const QString &path, const QString &ownerKey, const QString &owner,
                      const Words &words, QString *errorMsg) const
{
    QJsonObject stored;
    for (auto it = words.cbegin(); it != words.cend(); ++it)
        stored.insert(addressKey(it.key()), qint64(it.value()));
    QJsonObject root;
    root.insert(ownerKey, owner);
    root.insert(kWordsKey, stored);
    return XrfUtils::writeJsonFile(path, QJsonDocument(root), errorMsg);
}
