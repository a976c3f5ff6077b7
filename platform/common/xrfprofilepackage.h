#pragma once

// Profile packages: the archives of the instrument profile (and, for diagnostics, logs and data)
// that the instrument uploads to the cloud, their description and the outcome of an upload.

#include "xrfjsonhelper.h"

// The description of one uploaded archive; its JSON form is the body of the upload request.
class XrfProfileMetaInfo : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(int serial MEMBER m_deviceSerialNumber)
    Q_PROPERTY(QString name MEMBER m_fileName)
    Q_PROPERTY(QString filePath MEMBER m_uploadFilePath)
    Q_PROPERTY(qlonglong size MEMBER m_sizeInBytes)
    Q_PROPERTY(QString checksum MEMBER m_checksum)
    Q_PROPERTY(QString dateCreated MEMBER m_dateCreated)
    Q_PROPERTY(QString version MEMBER m_version)

public:
    int deviceSerialNumber() const { return m_deviceSerialNumber; }
    void setDeviceSerialNumber(int serial) { m_deviceSerialNumber = serial; }
    QString fileName() const { return m_fileName; }
    void setFileName(const QString &name) { m_fileName = name; }
    QString uploadFilePath() const { return m_uploadFilePath; }
    void setUploadFilePath(const QString &path) { m_uploadFilePath = path; }
    long long sizeInBytes() const { return m_sizeInBytes; }
    void setSizeInBytes(long long size) { m_sizeInBytes = size; }
    // MD5 of the archive, in hexadecimal.
    QString checksum() const { return m_checksum; }
    void setChecksum(const QString &checksum) { m_checksum = checksum; }
    // UTC, ISO 8601.
    QString dateCreated() const { return m_dateCreated; }
    void setDateCreated(const QString &date) { m_dateCreated = date; }
    // The application's version text.
    QString version() const { return m_version; }
    void setVersion(const QString &version) { m_version = version; }

private:
    int m_deviceSerialNumber = 0;
    QString m_fileName;
    QString m_uploadFilePath;
    qlonglong m_sizeInBytes = 0;
    QString m_checksum;
    QString m_dateCreated;
    QString m_version;
};

// The outcome of a profile backup, diagnostic or update upload, as the completion signals carry it.
class XrfProfileBackupResult : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(bool status MEMBER m_status)
    Q_PROPERTY(QString errorMsg MEMBER m_errorMsg)

public:
    bool status() const { return m_status; }
    void setStatus(bool status) { m_status = status; }
    QString errorMsg() const { return m_errorMsg; }
    void setErrorMsg(const QString &message) { m_errorMsg = message; }
    const XrfProfileMetaInfo &metaInfo() const { return m_metaInfo; }
    XrfProfileMetaInfo &metaInfo() { return m_metaInfo; }

    // The meta information travels as the nested object "metaInfo".
    QJsonObject toJsonObject() const override;
    bool fromJsonObject(const QJsonObject &json, QString *errorMsg = nullptr) override;

private:
    bool m_status = false;
    QString m_errorMsg;
    XrfProfileMetaInfo m_metaInfo;
};

// What a remote method diagnostic package holds besides the profile and the results database.
class XrfProfileZipOption : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(int daysOfResult MEMBER m_daysOfResult)
    Q_PROPERTY(bool logFiles MEMBER m_logFiles)
    Q_PROPERTY(bool crashLogFiles MEMBER m_crashLogFiles)
    Q_PROPERTY(bool calcDebugFiles MEMBER m_calcDebugFiles)
    Q_PROPERTY(bool exportFiles MEMBER m_exportFiles)
    Q_PROPERTY(bool factoryDataFiles MEMBER m_factoryDataFiles)
    Q_PROPERTY(bool screenShotFiles MEMBER m_screenShotFiles)

public:
    // Results of this many days before today (0: today's) go into the package's database.
    int daysOfResult() const { return m_daysOfResult; }
    void setDaysOfResult(int days) { m_daysOfResult = days; }
    bool logFiles() const { return m_logFiles; }
    void setLogFiles(bool include) { m_logFiles = include; }
    bool crashLogFiles() const { return m_crashLogFiles; }
    void setCrashLogFiles(bool include) { m_crashLogFiles = include; }
    bool calcDebugFiles() const { return m_calcDebugFiles; }
    void setCalcDebugFiles(bool include) { m_calcDebugFiles = include; }
    bool exportFiles() const { return m_exportFiles; }
    void setExportFiles(bool include) { m_exportFiles = include; }
    bool factoryDataFiles() const { return m_factoryDataFiles; }
    void setFactoryDataFiles(bool include) { m_factoryDataFiles = include; }
    bool screenShotFiles() const { return m_screenShotFiles; }
    void setScreenShotFiles(bool include) { m_screenShotFiles = include; }

private:
    int m_daysOfResult = 0;
    bool m_logFiles = false;
    bool m_crashLogFiles = false;
    bool m_calcDebugFiles = false;
    bool m_exportFiles = false;
    bool m_factoryDataFiles = false;
    bool m_screenShotFiles = false;
};

Q_DECLARE_METATYPE(XrfProfileZipOption)
