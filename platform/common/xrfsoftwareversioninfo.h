#pragma once

#include "xrfjsonhelper.h"

// The instrument's software versions as its version file ("/version.json", a JSON object with
// these keys) gives them: root file system, its patch level and the application.
class XrfSoftwareVersionInfo : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(QString rootFsVersion MEMBER m_rootFsVersion)
    Q_PROPERTY(QString rootFsPatchVersion MEMBER m_rootFsPatchVersion)
    Q_PROPERTY(QString appVersion MEMBER m_appVersion)

public:
    QString rootFsVersion() const { return m_rootFsVersion; }
    QString rootFsPatchVersion() const { return m_rootFsPatchVersion; }
    QString appVersion() const { return m_appVersion; }

    // Reads the device path (below the sysroot when one is set). False, with the versions left
    // empty and `errorMsg` naming the file and key, when it is missing or malformed.
    bool readVersionInfoFromFile(const QString &devicePath, QString *errorMsg = nullptr);

private:
    QString m_rootFsVersion;
    QString m_rootFsPatchVersion;
    QString m_appVersion;
};
