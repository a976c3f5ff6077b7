// The settings files as the settings manager reads them, and the write that follows a read (which
// keeps an unreadable file aside).

#include "fuzzinput.h"

#include "xrfsettingsmanager.h"

#include <QFileInfo>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput::instrumentHome();
    XrfSettingsManager *settings = XrfSettingsManager::instance();
    const QString universal = settings->universalSettingsFilePath();
    const QString global = settings->globalSettingsFilePath();
    const QByteArray content = FuzzInput::bytes(data, size);
    FuzzInput::writeFile(universal, content);
    FuzzInput::writeFile(global, content);

    QJsonObject section;
    settings->getUniversalSetting(QStringLiteral("factory.settings"), &section);
    settings->getUniversalSetting(QStringLiteral("hardware.config"), &section);
    XrfSafetySettings safety;
    settings->getSafetySettings(&safety);
    QString model, probe;
    settings->getInstrumentModel(&model, &probe);
    settings->isTarvoHD();
    QJsonObject value{{QStringLiteral("factoryStepsCompleted"), 2}};
    settings->setUniversalSetting(QStringLiteral("factory.settings"), &value);
    settings->setSafetySettings(safety);

    FuzzInput::removeKeptAside(QFileInfo(universal).absolutePath());
    FuzzInput::removeKeptAside(QFileInfo(global).absolutePath());
    return 0;
}
