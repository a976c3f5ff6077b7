#include "xrfmethod.h"

#include "xrfjsonlist.h"
#include "xrfutils.h"

#include <QFileInfo>
#include <QMetaProperty>

namespace {

const QString kExposures = QStringLiteral("exposures");
const QString kCollimatedExposures = QStringLiteral("collimatedExposures");
const int kMaxMethodIdLength = 128;

bool isMethodIdCharacter(QChar c)
{
    return (c.unicode() < 128 && c.isLetterOrNumber()) || c == QLatin1Char('.')
        || c == QLatin1Char('_') || c == QLatin1Char('-');
}

void setError(QString *errorMsg, const QString &text)
{
    if (errorMsg)
        *errorMsg = text;
}

} // namespace

bool XrfMethod::isValidMethodId(const QString &id)
{
    if (id.isEmpty() || id.size() > kMaxMethodIdLength || id == QLatin1String(".")
        || id.contains(QLatin1String("..")))
        return false;
    for (const QChar c : id) {
        if (!isMethodIdCharacter(c))
            return false;
    }
    return true;
}

QString XrfMethod::methodFileName(const QString &id)
{
    return isValidMethodId(id) ? QStringLiteral("CalcMethod_%1.json").arg(id) : QString();
}

QString XrfMethod::methodsFolder(const QString &profilePath)
{
    return profilePath + QStringLiteral("/instrumentsettings/methods");
}

QString XrfMethod::methodFolder(const QString &profilePath, const QString &id)
{
    if (profilePath.isEmpty() || !isValidMethodId(id))
        return QString();
    return methodsFolder(profilePath) + QLatin1Char('/') + id;
}

QString XrfMethod::methodFilePath(const QString &profilePath, const QString &id)
{
    const QString folder = methodFolder(profilePath, id);
    return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + methodFileName(id);
}

bool XrfMethod::setMethodFile(const QString &path, QString *errorMsg)
{
    QJsonValue value;
    QString error;
    if (!XrfUtils::readJsonFile(path, &value, &error)) {
        setError(errorMsg, QStringLiteral("Failed to read method file %1: %2").arg(path, error));
        return false;
    }
    if (!value.isObject()) {
        setError(errorMsg, QStringLiteral("Method file %1 is not a JSON object").arg(path));
        return false;
    }
    XrfMethod loaded;
    if (!loaded.fromJsonObject(value.toObject(), &error)) {
        setError(errorMsg, QStringLiteral("Method file %1: %2").arg(path, error));
        return false;
    }
    *this = loaded;
    m_methodFile = path;
    return true;
}

bool XrfMethod::saveMethodFile(QString *errorMsg) const
{
    if (m_methodFile.isEmpty()) {
        setError(errorMsg, QStringLiteral("Method %1 has no method file to save to").arg(m_id));
        return false;
    }
    return XrfUtils::writeJsonFile(m_methodFile, QJsonDocument(toJsonObject()), errorMsg);
}

bool XrfMethod::isValidMethodFile(bool requireExposures, QStringList *errors) const
{
    QStringList problems;
    if (!isValidMethodId(m_id))
        problems << QStringLiteral("Method id '%1' is not a valid method id").arg(m_id);
    else if (!m_methodFile.isEmpty() && QFileInfo(m_methodFile).fileName() != methodFileName(m_id))
        problems << QStringLiteral("Method file %1 does not belong to method '%2'")
                        .arg(m_methodFile, m_id);
    if (requireExposures) {
        bool anyEnabled = false;
        for (const XrfExposureSettings &exposure : m_exposures + m_collimatedExposures)
            anyEnabled = anyEnabled || exposure.enabled();
        if (!anyEnabled)
            problems << QStringLiteral("Method '%1' has no enabled exposure").arg(m_id);
    }
    if (errors)
        *errors = problems;
    return problems.isEmpty();
}

QList<XrfExposureSettings> XrfMethod::exposureSettings(bool collimated) const
{
    return collimated ? m_collimatedExposures : m_exposures;
}

void XrfMethod::setExposureSettings(bool collimated, const QList<XrfExposureSettings> &exposures)
{
    (collimated ? m_collimatedExposures : m_exposures) = exposures;
}

bool XrfMethod::setBeamBackgroundRate(bool collimated, int beamIndex, double cps)
{
    QList<XrfExposureSettings> &exposures = collimated ? m_collimatedExposures : m_exposures;
    if (beamIndex < 0 || beamIndex >= exposures.size())
        return false;
    exposures[beamIndex].setBackgroundRate(cps);
    return true;
}

QJsonObject XrfMethod::toJsonObject() const
{
    QJsonObject json = m_otherKeys;
    const QJsonObject known = XrfJsonHelper::toJsonObject();
    for (auto it = known.begin(); it != known.end(); ++it)
        json.insert(it.key(), it.value());
    json.insert(kExposures, recordsToJson(m_exposures));
    json.insert(kCollimatedExposures, recordsToJson(m_collimatedExposures));
    return json;
}

bool XrfMethod::fromJsonObject(const QJsonObject &json, QString *errorMsg)
{
    XrfMethod parsed;
    if (!parsed.XrfJsonHelper::fromJsonObject(json, errorMsg)
        || !recordsFromJson(json.value(kExposures), kExposures, &parsed.m_exposures, errorMsg)
        || !recordsFromJson(json.value(kCollimatedExposures), kCollimatedExposures,
                            &parsed.m_collimatedExposures, errorMsg))
        return false;
    parsed.m_otherKeys = json;
    for (int i = 0; i < staticMetaObject.propertyCount(); ++i)
        parsed.m_otherKeys.remove(QString::fromLatin1(staticMetaObject.property(i).name()));
    parsed.m_otherKeys.remove(kExposures);
    parsed.m_otherKeys.remove(kCollimatedExposures);
    parsed.m_methodFile = m_methodFile;
    *this = parsed;
    return true;
}
