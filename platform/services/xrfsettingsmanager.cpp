#include "xrfsettingsmanager.h"

#include "xrfutils.h"

#include <QFile>
#include <QJsonDocument>

XRF_DEFINE_DEFAULTED_SERVICE(XrfSettingsManager)

namespace {
const QString kSafetySection = QStringLiteral("system.safety");
} // namespace

int XrfSettingsManager::getProfilePath(QString *path) const
{
    if (!path)
        return InvalidArgument;
    QMutexLocker lock(&m_mutex);
    *path = m_profilePath.isEmpty() ? XrfUtils::homeCorvaneAppDirPath() + QStringLiteral("/profile")
                                    : m_profilePath;
    return NoError;
}

void XrfSettingsManager::setProfilePath(const QString &path)
{
    QMutexLocker lock(&m_mutex);
    m_profilePath = path;
}

QString XrfSettingsManager::universalSettingsFilePath() const
{
    QString profile;
    getProfilePath(&profile);
    return profile + QStringLiteral("/instrumentsettings/universalSettings.json");
}

QString XrfSettingsManager::globalSettingsFilePath() const
{
    return XrfUtils::homeCorvaneAppDirPath() + QStringLiteral("/globalSettings.json");
}

int XrfSettingsManager::getUniversalSetting(const QString &section, QJsonObject *value)
{
    return readSection(universalSettingsFilePath(), section, value);
}

int XrfSettingsManager::setUniversalSetting(const QString &section, QJsonObject *value)
{
    if (!value)
        return InvalidArgument;
    return writeSection(universalSettingsFilePath(), section, *value);
}

int XrfSettingsManager::getGlobalSetting(const QString &section, QJsonObject *value)
{
    return readSection(globalSettingsFilePath(), section, value);
}

int XrfSettingsManager::setGlobalSetting(const QString &section, const QJsonObject &value)
{
    return writeSection(globalSettingsFilePath(), section, value);
}

int XrfSettingsManager::getSafetySettings(XrfSafetySettings *settings)
{
    if (!settings)
        return InvalidArgument;
    QJsonObject section;
    if (const int code = getGlobalSetting(kSafetySection, &section))
        return code;
    XrfSafetySettings stored;
    QString error;
    if (!stored.fromJsonObject(section, &error)) {
        qWarning() << "Settings section" << kSafetySection << "holds a bad value:" << error;
        return InvalidValue;
    }
    *settings = stored;
    return NoError;
}

int XrfSettingsManager::setSafetySettings(XrfSafetySettings settings)
{
    return mergeSection(globalSettingsFilePath(), kSafetySection, settings.toJsonObject());
}

int XrfSettingsManager::readDocument(const QString &filePath, QJsonObject *document) const
{
    QFile file(filePath);
    if (!file.exists()) {
        *document = QJsonObject();
        return NoError;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning() << "Failed to open settings file" << filePath << file.errorString();
        return ReadFailed;
    }
    QJsonParseError parseError;
    const QJsonDocument parsed = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !parsed.isObject()) {
        qWarning() << "Settings file" << filePath
                   << "is not a JSON object:" << parseError.errorString();
        return ParseFailed;
    }
    *document = parsed.object();
    return NoError;
}

int XrfSettingsManager::readDocumentToRewrite(const QString &filePath, QJsonObject *document) const
{
    const int code = readDocument(filePath, document);
    if (code != ReadFailed && code != ParseFailed)
        return code;
    // What cannot be read is kept aside, and the write starts from an empty document.
    if (!XrfUtils::setAsideUnreadableJsonFile(filePath))
        return code;
    *document = QJsonObject();
    return NoError;
}

int XrfSettingsManager::sectionOf(const QJsonObject &document, const QString &filePath,
                                  const QString &section, QJsonObject *value)
{
    const QJsonValue stored = document.value(section);
    if (!stored.isUndefined() && !stored.isObject()) {
        qWarning() << "Settings section" << section << "in" << filePath << "is not an object";
        return SectionNotAnObject;
    }
    *value = stored.toObject();
    return NoError;
}

int XrfSettingsManager::storeDocument(const QString &filePath, const QJsonObject &document)
{
    QString error;
    if (!XrfUtils::writeJsonFile(filePath, QJsonDocument(document), &error)) {
        qWarning() << "Failed to write settings file" << filePath << error;
        return WriteFailed;
    }
    return NoError;
}

int XrfSettingsManager::readSection(const QString &filePath, const QString &section,
                                    QJsonObject *value)
{
    if (!value || section.isEmpty())
        return InvalidArgument;
    QMutexLocker lock(&m_mutex);
    QJsonObject document;
    if (const int code = readDocument(filePath, &document))
        return code;
    return sectionOf(document, filePath, section, value);
}

int XrfSettingsManager::writeSection(const QString &filePath, const QString &section,
                                     const QJsonObject &value)
{
    if (section.isEmpty())
        return InvalidArgument;
    QMutexLocker lock(&m_mutex);
    QJsonObject document;
    if (const int code = readDocumentToRewrite(filePath, &document))
        return code;
    document.insert(section, value);
    return storeDocument(filePath, document);
}

int XrfSettingsManager::mergeSection(const QString &filePath, const QString &section,
                                     const QJsonObject &values)
{
    QMutexLocker lock(&m_mutex);
    QJsonObject document;
    QJsonObject merged;
    if (const int code = readDocumentToRewrite(filePath, &document))
        return code;
    if (const int code = sectionOf(document, filePath, section, &merged))
        return code;
    for (auto it = values.begin(); it != values.end(); ++it)
        merged.insert(it.key(), it.value());
    document.insert(section, merged);
    return storeDocument(filePath, document);
}

int XrfSettingsManager::getInstrumentModel(QString *model, QString *probeType)
{
    QJsonObject config;
    if (const int code = getUniversalSetting(QStringLiteral("hardware.config"), &config))
        return code;
    if (model)
        *model = config.value(QStringLiteral("instrumentModel")).toString();
    if (probeType)
        *probeType = config.value(QStringLiteral("probeType")).toString();
    return NoError;
}

bool XrfSettingsManager::instrumentModelContains(std::initializer_list<const char *> parts)
{
    QString model;
    if (getInstrumentModel(&model, nullptr) != NoError)
        return false;
    for (const char *part : parts) {
        if (model.contains(QLatin1String(part)))
            return true;
    }
    return false;
}

bool XrfSettingsManager::isTarvoHD()
{
    return instrumentModelContains({"TARVO-KHP", "TARVO-KHS"});
}

bool XrfSettingsManager::isTarvoMP()
{
    return instrumentModelContains({"TARVO-MCW", "TARVO-MMR"});
}

bool XrfSettingsManager::isHarrier()
{
    return instrumentModelContains({"TARVO2-"});
}

bool XrfSettingsManager::isTarvoLitePinOrSdd()
{
    return instrumentModelContains({"TARVO-KTR", "TARVO-KTS"});
}

bool XrfSettingsManager::isTarvoLitePin()
{
    QString probeType;
    return isTarvoLitePinOrSdd() && getInstrumentModel(nullptr, &probeType) == NoError
        && probeType.contains(QLatin1String("PIN"), Qt::CaseInsensitive);
}

bool XrfSettingsManager::isTarvoLiteSdd()
{
    return isTarvoLitePinOrSdd() && !isTarvoLitePin();
}

QString XrfSettingsManager::errorText(int code)
{
    switch (code) {
    case NoError:
        return QStringLiteral("no error");
    case InvalidArgument:
        return QStringLiteral("invalid argument");
    case ReadFailed:
        return QStringLiteral("settings file cannot be read");
    case ParseFailed:
        return QStringLiteral("settings file is not a JSON object");
    case SectionNotAnObject:
        return QStringLiteral("settings section is not an object");
    case WriteFailed:
        return QStringLiteral("settings file cannot be written");
    case InvalidValue:
        return QStringLiteral("settings value has the wrong type");
    }
    return QStringLiteral("unknown settings error %1").arg(code);
}
