#include "xrffactorymanager.h"

#include "xrffactorymanager_p.h"

#include <QThread>

const QMap<XrfUtils::FactoryStepId, QString> XrfFactoryManager::_stepIdNameMap =
    XrfFactoryManager::initFactoryStepIdNameMap();

XrfFactoryManager::XrfFactoryManager(QObject *parent) : QObject(parent)
{
    static const int registered = [] {
        qRegisterMetaType<XrfUtils::FactoryStepId>("XrfUtils::FactoryStepId");
        qRegisterMetaType<XrfHardwareConfig>("XrfHardwareConfig");
        qRegisterMetaType<XrfHardwareSetupStepInfo>("XrfHardwareSetupStepInfo");
        qRegisterMetaType<XrfErrorInfo::XrfError>("XrfErrorInfo::XrfError");
        qRegisterMetaType<XrfBeamInfo>("XrfBeamInfo");
        qRegisterMetaType<XrfAirShot>("XrfAirShot");
        qRegisterMetaType<XrfCalibrationStandard>("XrfCalibrationStandard");
        qRegisterMetaType<XrfFactorSetQCSummaryResults>("XrfFactorSetQCSummaryResults");
        return 0;
    }();
    Q_UNUSED(registered)
}

XrfFactoryManager::~XrfFactoryManager() = default;

XrfFactoryManager *XrfFactoryManager::instance()
{
    static XrfFactoryManager manager;
    return &manager;
}

QMap<XrfUtils::FactoryStepId, QString> XrfFactoryManager::initFactoryStepIdNameMap()
{
    return {
        {XrfUtils::None, QStringLiteral("none")},
        {XrfUtils::SoftwareUpdate, QStringLiteral("softwareUpdate")},
        {XrfUtils::Provisioning, QStringLiteral("provisioning")},
        {XrfUtils::HardwareSetup, QStringLiteral("hardwareSetup")},
        {XrfUtils::CameraSetup, QStringLiteral("cameraSetup")},
        {XrfUtils::Stability, QStringLiteral("stability")},
        {XrfUtils::CollimatedStability, QStringLiteral("collimatedStability")},
        {XrfUtils::BeamsSetup, QStringLiteral("beamsSetup")},
        {XrfUtils::AirShot, QStringLiteral("airShot")},
        {XrfUtils::PrerequisiteShots, QStringLiteral("prerequisiteShots")},
        {XrfUtils::CalibrationShot, QStringLiteral("calibrationShot")},
        {XrfUtils::FactorSet, QStringLiteral("factorSet")},
    };
}

QString XrfFactoryManager::factoryStepNameFromId(XrfUtils::FactoryStepId id)
{
    return _stepIdNameMap.value(id);
}

XrfUtils::FactoryStepId XrfFactoryManager::factoryStepIdFromName(const QString &name)
{
    for (auto it = _stepIdNameMap.cbegin(); it != _stepIdNameMap.cend(); ++it) {
        if (it.value() == name)
            return it.key();
    }
    return XrfUtils::None;
}

bool XrfFactoryManager::onFactoryThread() const
{
    return QThread::currentThread() == d->factoryThread;
}

QThread *XrfFactoryManager::factoryThread() const
{
    return d ? d->factoryThread : nullptr;
}

QString XrfFactoryManager::currentTaskStatus() const
{
    return d->currentTaskStatus;
}

double XrfFactoryManager::currentTaskProgress() const
{
    return d->currentTaskProgress;
}

int XrfFactoryManager::currentTaskTimeRemainingInSeconds() const
{
    return d->currentTaskTimeRemainingInSeconds;
}

bool XrfFactoryManager::isUserAbort() const
{
    return d->userAbort;
}

XrfAirShotList &XrfFactoryManager::airShotList()
{
    if (onFactoryThread())
        d->onGetAirShotList();
    else
        emit d->sigGetAirShotList();
    return d->airShots;
}

XrfFactorSetQCSummaryResults &XrfFactoryManager::factorSetStatus(bool refresh) const
{
    if (onFactoryThread())
        d->onGetFactorSetStatus(refresh);
    else
        emit d->sigGetFactorSetStatus(refresh);
    return d->factorSetResults;
}

XrfFactorSetQCSummaryResults &XrfFactoryManager::qcSummaryStatus() const
{
    if (onFactoryThread())
        d->onGetQcSummaryStatus();
    else
        emit d->sigGetQcSummaryStatus();
    return d->qcSummaryResults;
}

QJsonObject XrfFactoryManager::finalQcStatus() const
{
    if (onFactoryThread())
        d->onGetFinalQcStatus();
    else
        emit d->sigGetFinalQcStatus();
    return d->finalQcStatus;
}

void XrfFactoryManager::startFactorSetMB(QJsonObject request)
{
    if (onFactoryThread())
        d->onStartFactorSetMB(request);
    else
        emit d->sigStartFactorSetMB(request);
}

void XrfFactoryManager::abortCalibrateMethodMB()
{
    if (onFactoryThread())
        d->onAbortCalibrateMethodMB();
    else
        emit d->sigAbortCalibrateMethodMB();
}

XrfRadiationSurveyResult XrfFactoryManager::loadRadiationSurveyParams() const
{
    if (onFactoryThread()) {
        // A blocking-queued call from the factory thread would wait on itself forever.
        qCritical() << "**CRITICAL** loadRadiationSurveyParams called from the factory thread";
        return d->radiationSurveyResult;
    }
    emit d->sigLoadRadiationSurveyParams();
    return d->radiationSurveyResult;
}

// The paths are the worker's, which the factory thread reads: they are set there, and a caller on
// another thread waits until they are.
void XrfFactoryManager::setProfilePath(QString path)
{
    if (!d) {
        qWarning() << "setProfilePath called before init(), ignored:" << path;
        return;
    }
    if (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    const auto setPaths = [this, path] {
        d->profilePath = path;
        d->calibrationOverrideFilePath =
            path + QStringLiteral("/instrumentsettings/calibrationOverride.json");
        d->calibrationShotLibDirPath =
            path + QStringLiteral("/instrumentsettings/calibrationshotlib");
        d->batchTemplatesDirPath = path + QStringLiteral("/templates/batch/");
        qDebug() << "Profile path set to" << path;
    };
    if (onFactoryThread())
        setPaths();
    else
        QMetaObject::invokeMethod(d, setPaths, Qt::BlockingQueuedConnection);
}

void XrfFactoryManager::onHardwareConfigUpdated(XrfHardwareConfig hwConfig)
{
    const QJsonObject json = hwConfig.toJsonObject();
    d->hardwareConfig.clearFilters();
    d->hardwareConfig.fromJsonObject(json);
}
