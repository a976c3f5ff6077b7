#pragma once

#include "xrfsafetysettings.h"
#include "xrfservice.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QMutex>
#include <QObject>

// The instrument's settings files: the universal settings (profile/instrumentsettings/
// universalSettings.json, one JSON object per section) and the global settings
// (globalSettings.json in the home folder). Each call reads or writes the whole file; writes are
// atomic. A settings file that cannot be read or parsed is never overwritten: a write keeps it
// aside (XrfUtils::setAsideUnreadableJsonFile) and starts a new file.
class XrfSettingsManager : public QObject
{
    Q_OBJECT
    XRF_DECLARE_SERVICE(XrfSettingsManager)
public:
    enum ErrorCode : int {
        NoError = 0,
        InvalidArgument = 1,
        ReadFailed = 2,
        ParseFailed = 3,
        SectionNotAnObject = 4,
        WriteFailed = 5,
        InvalidValue = 6,
    };
    Q_ENUM(ErrorCode)

    explicit XrfSettingsManager(QObject *parent = nullptr) : QObject(parent) { }

    // A section that was never written reads as an empty object.
    int getUniversalSetting(const QString &section, QJsonObject *value);
    int setUniversalSetting(const QString &section, QJsonObject *value);
    int getGlobalSetting(const QString &section, QJsonObject *value);
    int setGlobalSetting(const QString &section, const QJsonObject &value);

    // The interlock rules, kept in the global settings section "system.safety". Keys of the
    // section that the record does not know are kept when it is written.
    int getSafetySettings(XrfSafetySettings *settings);
    int setSafetySettings(XrfSafetySettings settings);

    // The profile folder; home/profile unless set.
    int getProfilePath(QString *path) const;
    void setProfilePath(const QString &path);
    QString universalSettingsFilePath() const;
    // The analysis methods installed in the profile: one object per method folder whose method
    // file is calibrated ("isFactorSet" true), {"id", "enable" (the file's, true when absent),
    // "isFullDemoMethod"}, by id. Folders that are links or hold no readable method file are
    // passed over.
    int getMethodList(QJsonArray *methods) const;
    QString globalSettingsFilePath() const;

    // Model and probe type as provisioning stored them in "hardware.config".
    int getInstrumentModel(QString *model, QString *probeType);
    bool isTarvoHD();
    bool isTarvoMP();
    bool isHarrier();
    bool isTarvoLitePin();
    bool isTarvoLiteSdd();
    bool isTarvoLitePinOrSdd();

    static QString errorText(int code);

private:
    int readSection(const QString &filePath, const QString &section, QJsonObject *value);
    int writeSection(const QString &filePath, const QString &section, const QJsonObject &value);
    // Writes the keys of `values` into the section, keeping its other keys.
    int mergeSection(const QString &filePath, const QString &section, const QJsonObject &values);
    int readDocument(const QString &filePath, QJsonObject *document) const;
    // readDocument for a write: an unreadable file is kept aside and reads as an empty document.
    int readDocumentToRewrite(const QString &filePath, QJsonObject *document) const;
    static int sectionOf(const QJsonObject &document, const QString &filePath,
                         const QString &section, QJsonObject *value);
    static int storeDocument(const QString &filePath, const QJsonObject &document);
    bool instrumentModelContains(std::initializer_list<const char *> parts);

    mutable QMutex m_mutex;
    QString m_profilePath;
};
