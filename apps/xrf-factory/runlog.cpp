#include "runlog.h"

#include "xrffactorymanager.h"
#include "xrflogging.h"
#include "xrfutils.h"

#include <QFileInfo>
#include <QJsonDocument>

const QString RunLog::kRunning = QStringLiteral("RUNNING");

namespace {
// What the report plots of a stability shot; the rest of its record stays in the cloud.
const char *const kShotKeys[] = {"iteration",
                                 "exposureType",
                                 "icr",
                                 "ocr",
                                 "spectrumResolution",
                                 "spectrumPeak1Channel",
                                 "spectrumPeak2Channel",
                                 "collimatedBrCounts",
                                 "collimatedCuCounts"};
} // namespace

RunLog::RunLog(const QString &root, const QString &model, const QString &serial, QObject *parent)
    : QObject(parent), m_root(root)
{
    QString error;
    if (!read(root, &m_log, &error)) {
        m_log = QJsonObject();
        m_writable = XrfUtils::setAsideUnreadableJsonFile(path(root), &error);
        if (!m_writable)
            qWarning().noquote() << "The run log is not kept:" << error;
    }
    m_log.insert(QStringLiteral("model"), model);
    if (!serial.isEmpty())
        m_log.insert(QStringLiteral("serial"), serial);
    connect(XrfFactoryManager::instance(), &XrfFactoryManager::stabilitySpectrumReady, this,
            &RunLog::onStabilityShot);
}

QString RunLog::path(const QString &root)
{
    return root + QStringLiteral("/line/runLog.json");
}

bool RunLog::read(const QString &root, QJsonObject *log, QString *errorMsg)
{
    *log = QJsonObject();
    if (!QFileInfo::exists(path(root)))
        return true;
    QJsonValue value;
    if (!XrfUtils::readJsonFile(path(root), &value, errorMsg))
        return false;
    if (!value.isObject() || !value.toObject().value(QStringLiteral("steps")).isArray()) {
        *errorMsg = QStringLiteral("%1: no \"steps\" array").arg(path(root));
        return false;
    }
    *log = value.toObject();
    return true;
}

void RunLog::stepStarted(const QString &step)
{
    m_shots.clear();
    m_current = {{QStringLiteral("step"), step},
                 {QStringLiteral("result"), kRunning},
                 {QStringLiteral("startTime"), XrfUtils::currentUtcIsoTime()}};
    store(m_current);
}

void RunLog::stepFinished(const StepOutcome &outcome)
{
    QJsonObject entry = m_current;
    entry.insert(QStringLiteral("step"), outcome.step);
    entry.insert(QStringLiteral("result"), outcome.resultText());
    entry.insert(QStringLiteral("detail"), outcome.detail);
    entry.insert(QStringLiteral("subSteps"), QJsonArray::fromStringList(outcome.subSteps));
    entry.insert(QStringLiteral("endTime"), XrfUtils::currentUtcIsoTime());
    entry.insert(QStringLiteral("seconds"), outcome.seconds);
    if (!m_shots.isEmpty()) {
        QJsonArray shots;
        for (const QJsonObject &shot : qAsConst(m_shots))
            shots.append(shot);
        entry.insert(QStringLiteral("shots"), shots);
    }
    store(entry);
}

void RunLog::onStabilityShot(const QJsonObject &record)
{
    QJsonObject shot;
    for (const char *key : kShotKeys) {
        // The library shows the readings as text with two decimals; the log keeps numbers.
        const QJsonValue value = record.value(QLatin1String(key));
        bool isNumber = false;
        const double number = value.toString().toDouble(&isNumber);
        if (isNumber)
            shot.insert(QLatin1String(key), number);
        else if (!value.isUndefined())
            shot.insert(QLatin1String(key), value);
    }
    m_shots.insert(record.value(QStringLiteral("iteration")).toInt(), shot);
}

// A step run again replaces its earlier entry and moves to the end.
void RunLog::store(const QJsonObject &entry)
{
    QJsonArray steps = m_log.value(QStringLiteral("steps")).toArray();
    for (int i = steps.size() - 1; i >= 0; --i) {
        if (steps.at(i).toObject().value(QStringLiteral("step"))
            == entry.value(QStringLiteral("step")))
            steps.removeAt(i);
    }
    steps.append(entry);
    m_log.insert(QStringLiteral("steps"), steps);
    save();
}

void RunLog::save()
{
    QString error;
    if (m_writable && !XrfUtils::writeJsonFile(path(m_root), QJsonDocument(m_log), &error))
        qWarning().noquote() << "Cannot write the run log:" << error;
}
