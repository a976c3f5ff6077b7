#include "simbatchmanager.h"

#include "xrfsettingsmanager.h"
#include "xrfutils.h"

#include <QDebug>

SimBatchManager::SimBatchManager(QObject *parent) : XrfBatchManager(parent)
{
    connect(&m_shots, &SimCheckShots::finished, this, &SimBatchManager::onShotsFinished);
}

bool SimBatchManager::startBatch(const QJsonObject &multiTestSettings, QString *errorMsg)
{
    QString error;
    const QString templateName = multiTestSettings.value(QStringLiteral("batch"))
                                     .toObject()
                                     .value(QStringLiteral("selectedTemplate"))
                                     .toString();
    XrfSettingsManager::instance()->getProfilePath(&m_profilePath);
    if (m_shots.isRunning())
        error = QStringLiteral("A batch is already running");
    else if (multiTestSettings.value(QStringLiteral("type")).toString()
             != QLatin1String("batchTests"))
        error = QStringLiteral("The settings describe no batch test");
    if (error.isEmpty() && SimFinalQcCheck::load(m_profilePath, templateName, &m_check, &error)
        && m_shots.start(m_check.exposures(), &error))
        return true;
    if (errorMsg)
        *errorMsg = error;
    return false;
}

void SimBatchManager::onShotsFinished(bool success, const QString &error)
{
    QJsonObject progress = success ? m_check.evaluate(m_shots.spectra())
                                   : QJsonObject{{QStringLiteral("methodId"), m_check.methodId},
                                                 {QStringLiteral("template"), m_check.templateName},
                                                 {QStringLiteral("passed"), false},
                                                 {QStringLiteral("error"), error}};
    QString writeError;
    const QString path = SimFinalQcCheck::progressFilePath(m_profilePath, m_check.templateName);
    if (!XrfUtils::writeJsonFile(path, QJsonDocument(progress), &writeError)) {
        qWarning().noquote() << "The batch progress file is not written:" << writeError;
        progress.insert(QStringLiteral("passed"), false);
    }
    emit batchComplete(progress.value(QStringLiteral("passed")).toBool());
}
