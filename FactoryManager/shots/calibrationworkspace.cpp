// Calibration workspaces: what a new beams setup or air shot run makes stale.

#include "xrffactorymanager_p.h"

#include <QDir>

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

// With an empty method id only the stored calibration shots go: an empty id must never name the
// folder that holds every method.
void Worker::cleanupCalibrationWorkspace(const QString &methodId)
{
    qDebug() << "Cleanup Calibration Workspace" << methodId;
    loadFactorySetupLastResult(nullptr);
    if (lastResult.contains(QStringLiteral("calibrationShot"))) {
        lastResult.remove(QStringLiteral("calibrationShot"));
        if (!saveFactorySetupLastResult())
            qWarning() << "Failed to remove the calibration shots from lastResult.json";
    }
    if (methodId.isEmpty() || profilePath.isEmpty())
        return;
    if (!XrfUtils::isSafePathComponent(methodId)) {
        qWarning() << "Calibration workspace cleanup refused, the method id cannot name a folder:"
                   << methodId;
        return;
    }
    const QString workspace =
        profilePath + QStringLiteral("/instrumentsettings/methods/") + methodId;
    if (QDir(workspace).exists() && !QDir(workspace).removeRecursively())
        qWarning() << "Failed to remove the calibration workspace" << workspace;
}
