#pragma once

// What the workspace files of XrfCalibrationUtils share: their keys and whole-file reads and
// writes with messages that name the file.

#include "xrfcalibrationstep.h"
#include "xrfutils.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace CalibrationWorkspace {

const QString kMethodId = QStringLiteral("methodId");
const QString kTemplateName = QStringLiteral("templateName");
const QString kBigSet = QStringLiteral("bigSetFactorSetProcedure");
const QString kCustomSymbols = QStringLiteral("customRegionSymbols");
const QString kBeams = QStringLiteral("beams");
const QString kBeamNumber = QStringLiteral("beamNumber");
const QString kExposure = QStringLiteral("exposure");
const QString kRoiBackground = QStringLiteral("roiBackgroundRate");
const QString kWindowRates = QStringLiteral("customWindowBackgroundRates");
const QString kSteps = QStringLiteral("steps");

inline void setError(QString *errorMsg, const QString &text)
{
    if (errorMsg)
        *errorMsg = text;
}

inline bool readObject(const QString &path, QJsonObject *object, QString *errorMsg)
{
    QJsonValue value;
    QString error;
    if (!XrfUtils::readJsonFile(path, &value, &error)) {
        setError(errorMsg, error);
        return false;
    }
    if (!value.isObject()) {
        setError(errorMsg, QStringLiteral("%1 does not hold a JSON object").arg(path));
        return false;
    }
    *object = value.toObject();
    return true;
}

inline bool writeObject(const QString &path, const QJsonObject &object, QString *errorMsg)
{
    QString error;
    if (XrfUtils::writeJsonFile(path, QJsonDocument(object), &error))
        return true;
    setError(errorMsg, QStringLiteral("Failed to write %1: %2").arg(path, error));
    return false;
}

inline bool readSteps(const QJsonObject &workspace, const QString &file,
                      QList<XrfCalibrationStep> *steps, QString *errorMsg)
{
    QString error;
    if (recordsFromJson(workspace.value(kSteps), kSteps, steps, &error))
        return true;
    setError(errorMsg, QStringLiteral("%1: %2").arg(file, error));
    return false;
}

} // namespace CalibrationWorkspace
