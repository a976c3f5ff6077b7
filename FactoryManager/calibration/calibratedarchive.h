#pragma once

// The archive of a calibrated method (or of its QC summary) that the cloud returns: the method
// folder's files at the archive root. It is unpacked into a temporary folder beside the method
// folder (XrfUtils::unzip: no absolute names, no "..", no links), checked, and only then swapped
// in by renames, so a bad archive leaves the installed method as it was.

#include <QString>

class CalibratedArchive
{
public:
    // The texts of a refused archive, with the method id as %1.
    static const char *const kUnzipFailed;
    static const char *const kNotAMethod;
    static const char *const kInvalidMethod;
    static const char *const kInstallFailed;

    // Installs `archivePath` as the folder of `methodId` in `methodsFolder`. The archive must hold
    // "CalcMethod_<id>.json", a JSON object that is a valid method file of that id, and with
    // `requireFactorSet` it must say "isFactorSet": true. False with one of the texts above; the
    // method folder is then untouched and nothing is left beside it.
    static bool install(const QString &archivePath, const QString &methodsFolder,
                        const QString &methodId, bool requireFactorSet, QString *errorMsg);

private:
    static bool validate(const QString &folder, const QString &methodId, bool requireFactorSet,
                         QString *errorMsg);
    static bool swapIn(const QString &unpacked, const QString &methodFolder, QString *errorMsg);
};
