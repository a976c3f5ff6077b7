#pragma once

// Runs one hardware setup sub-step alone: a one-step list on a factory step 3 record, the
// handler called on the factory thread, the outcome read back from the list.

#include "factorytestenv.h"

#include <QElapsedTimer>
#include <QtTest>

class SubStepRunner
{
public:
    using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

    static Worker *worker() { return FactoryTestEnv::get().worker(); }

    // Makes a one-step list and a fresh step 3 record; the sub-step is not started.
    static void prepare(const QString &stepId, const QJsonObject &params,
                        const QJsonObject &results = QJsonObject())
    {
        FactoryTestEnv::get().onFactoryThread([&] {
            XrfHardwareSetupStepInfo step;
            step.setStepId(stepId);
            step.setDisplayName(stepId);
            step.setSetupParams(params);
            step.setResults(results);
            Worker *w = worker();
            w->hardwareSetupSteps.clearItems();
            w->hardwareSetupSteps.append(step);
            w->currentStepId = XrfUtils::HardwareSetup;
            w->currentStepInfo = XrfFactoryStepInfo();
            w->currentStepInfo.setStepId(XrfUtils::HardwareSetup);
            w->currentStepInfo.setStepIdStr(QStringLiteral("hardwareSetup"));
            w->currentStepInfo.setSessionId(QStringLiteral("{test-session}"));
            w->userAbort = false;
        });
    }

    static void start(const QString &stepId)
    {
        FactoryTestEnv::get().onFactoryThread(
            [&] { QVERIFY(worker()->runHardwareSetupHandler(stepId)); });
    }

    static XrfHardwareSetupStepInfo step(const QString &stepId)
    {
        return FactoryTestEnv::get().onFactoryThread([&] {
            const XrfHardwareSetupStepInfo *s =
                worker()->hardwareSetupSteps.getHardwareSetupStep(stepId);
            return s ? *s : XrfHardwareSetupStepInfo();
        });
    }

    // Prepares, starts and waits until the sub-step is done.
    static XrfHardwareSetupStepInfo run(const QString &stepId, const QJsonObject &params,
                                        const QJsonObject &results = QJsonObject())
    {
        prepare(stepId, params, results);
        QSignalSpy completions(FactoryTestEnv::get().manager(),
                               &XrfFactoryManager::hardwareSetupStepComplete);
        start(stepId);
        QElapsedTimer timer;
        timer.start();
        while (!step(stepId).isDone() && timer.elapsed() < 60000)
            completions.wait(100);
        return step(stepId);
    }
};
