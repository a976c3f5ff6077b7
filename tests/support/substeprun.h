#pragma once

#include "factorytestenv.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

// Runs one hardware setup sub-step through the dispatcher's handler on the factory thread, as the
// only sub-step of the list of factory step 3, and returns it as the list holds it afterwards
// (done, failed, message, results).
inline XrfHardwareSetupStepInfo runSubStep(const QString &stepId, const QJsonObject &params)
{
    const FactoryTestEnv &env = FactoryTestEnv::get();
    return env.onFactoryThread([&] {
        auto *worker = env.worker();
        const QJsonObject step{{QStringLiteral("stepId"), stepId},
                               {QStringLiteral("displayName"), stepId},
                               {QStringLiteral("setupParams"), params}};
        worker->hardwareSetupSteps.clearItems();
        worker->hardwareSetupSteps.fromJsonObject(
            {{QStringLiteral("hardwareSetupSteps"), QJsonArray{step}}});
        worker->hardwareSetupSteps.regenerateMap();
        worker->currentStepId = XrfUtils::HardwareSetup;
        worker->loadCurrentStepInfo(XrfUtils::HardwareSetup, QStringLiteral("hardwareSetup"));
        worker->runHardwareSetupHandler(stepId);
        const XrfHardwareSetupStepInfo *done =
            worker->hardwareSetupSteps.getHardwareSetupStep(stepId);
        return done ? *done : XrfHardwareSetupStepInfo();
    });
}

// The setup parameters of a sub-step in a factory setup data file.
inline QJsonObject setupParamsFromFile(const QString &path, const QString &stepId)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QJsonObject();
    const QJsonArray steps = QJsonDocument::fromJson(file.readAll())
                                 .object()
                                 .value(QStringLiteral("factorySetupInfo"))
                                 .toObject()
                                 .value(QStringLiteral("hardwareSetup"))
                                 .toObject()
                                 .value(QStringLiteral("hardwareSetupSteps"))
                                 .toArray();
    for (const QJsonValue &step : steps)
        if (step.toObject().value(QStringLiteral("stepId")).toString() == stepId)
            return step.toObject().value(QStringLiteral("setupParams")).toObject();
    return QJsonObject();
}
