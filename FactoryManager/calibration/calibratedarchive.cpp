#include "calibratedarchive.h"

#include "xrfmethod.h"
#include "xrfutils.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

const char *const CalibratedArchive::kUnzipFailed =
    "'%1' validation failed, failed to unzip downloaded method.";
const char *const CalibratedArchive::kNotAMethod =
    "'%1' validation failed, failed to de-serialize method JSON.";
const char *const CalibratedArchive::kInvalidMethod = "'%1' validation failed, see log for details";
const char *const CalibratedArchive::kInstallFailed =
    "Failed to unzip calibrated method zip, unzip utility failed!";

namespace {
QString text(const char *format, const QString &methodId)
{
    return QString::fromLatin1(format).arg(methodId);
}
} // namespace

bool CalibratedArchive::install(const QString &archivePath, const QString &methodsFolder,
                                const QString &methodId, bool requireFactorSet, QString *errorMsg)
{
    if (!XrfMethod::isValidMethodId(methodId) || methodsFolder.isEmpty()) {
        *errorMsg = text(kUnzipFailed, methodId);
        return false;
    }
    const QString methodFolder = methodsFolder + QLatin1Char('/') + methodId;
    const QString unpacked =
        methodsFolder + QStringLiteral("/.") + methodId + QStringLiteral(".calibrated");
    QDir(unpacked).removeRecursively();
    QString error;
    if (!XrfUtils::unzip(archivePath, unpacked, &error)) {
        qWarning().noquote() << "Unzip of" << archivePath << "refused:" << error;
        *errorMsg = text(kUnzipFailed, methodId);
        return false;
    }
    const bool installed = validate(unpacked, methodId, requireFactorSet, errorMsg)
        && swapIn(unpacked, methodFolder, errorMsg);
    QDir(unpacked).removeRecursively();
    return installed;
}

bool CalibratedArchive::validate(const QString &folder, const QString &methodId,
                                 bool requireFactorSet, QString *errorMsg)
{
    const QString file = folder + QLatin1Char('/') + XrfMethod::methodFileName(methodId);
    XrfMethod method;
    QString error;
    if (!QFileInfo(file).isFile() || QFileInfo(file).isSymLink()
        || !method.setMethodFile(file, &error)) {
        qWarning().noquote() << error;
        *errorMsg = text(kNotAMethod, methodId);
        return false;
    }
    QStringList errors;
    if (!method.isValidMethodFile(true, &errors) && errors.isEmpty())
        errors << QStringLiteral("%1 is not a valid method file").arg(file);
    if (errors.isEmpty() && requireFactorSet && !method.isFactorSetted())
        errors << QStringLiteral("\"isFactorSet\" is not true in %1").arg(file);
    if (!errors.isEmpty()) {
        qWarning().noquote() << QStringLiteral("'%1' method validation errors: %2")
                                    .arg(methodId, errors.join(QStringLiteral("; ")));
        *errorMsg = text(kInvalidMethod, methodId);
        return false;
    }
    return true;
}

// The installed folder steps aside, the new one takes its name, then the old one goes; a failed
// rename puts the installed folder back.
bool CalibratedArchive::swapIn(const QString &unpacked, const QString &methodFolder,
                               QString *errorMsg)
{
    const QFileInfo target(methodFolder);
    const QString previous =
        target.path() + QStringLiteral("/.") + target.fileName() + QStringLiteral(".previous");
    QDir(previous).removeRecursively();
    const bool hadFolder = QFileInfo::exists(methodFolder);
    QDir dir;
    if ((hadFolder && !dir.rename(methodFolder, previous)) || !dir.rename(unpacked, methodFolder)) {
        if (hadFolder && !QFileInfo::exists(methodFolder))
            dir.rename(previous, methodFolder);
        qWarning().noquote() << "Cannot move" << unpacked << "to" << methodFolder;
        *errorMsg = QString::fromLatin1(kInstallFailed);
        return false;
    }
    // The unpacked folder was made private; an installed method reads as the others do.
    QFile::setPermissions(methodFolder,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                              | QFileDevice::ReadGroup | QFileDevice::ExeGroup
                              | QFileDevice::ReadOther | QFileDevice::ExeOther);
    QDir(previous).removeRecursively();
    return true;
}
