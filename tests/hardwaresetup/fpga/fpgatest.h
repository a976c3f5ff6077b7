#pragma once

// Shared by the FPGA gain setup tests: running the sub-step alone, hand-made spectra and reads of
// the simulated controller.
#include "factorytestenv.h"
#include "simfaults.h"
#include "siminstrument.h"
#include "xrfengine.h"
#include "xrfsettingsmanager.h"

#include <QtTest>

#include <cmath>

namespace fpgatest {

inline XrfFactoryManager::XrfFactoryManagerPrivate *worker()
{
    return FactoryTestEnv::get().worker();
}

inline SimFaults &faults()
{
    return FactoryTestEnv::get().instrument().faults();
}

inline xrf_hal::XrfEngine *engine()
{
    return xrf_hal::XrfEngine::instance();
}

inline quint32 registerValue(xrf_hal::RegisterAddress address)
{
    quint32 value = 0;
    engine()->readValue32(address, &value);
    return value;
}

inline QJsonObject universalSetting(const QString &section)
{
    QJsonObject value;
    XrfSettingsManager::instance()->getUniversalSetting(section, &value);
    return value;
}

// The gain setup parameters of the model's factory setup data.
inline QJsonObject modelGainParams()
{
    return FactoryTestEnv::get().onFactoryThread([] {
        if (worker()->factorySetupInfo.isEmpty())
            worker()->loadFactorySetupParamsFromFile();
        const QJsonArray steps = worker()
                                     ->factorySetupInfo.value("hardwareSetup")
                                     .toObject()
                                     .value("hardwareSetupSteps")
                                     .toArray();
        for (const QJsonValue &step : steps) {
            if (step.toObject().value("stepId").toString() == QLatin1String("fpgaGainSetup"))
                return step.toObject().value("setupParams").toObject();
        }
        return QJsonObject();
    });
}

// Reloads the work order and the factory setup data that a test may have changed.
inline void reloadSetupData()
{
    FactoryTestEnv::get().reloadFactoryData();
}

inline bool seedModelData(const QString &model)
{
    return FactoryTestEnv::get().seedModelData(model);
}

inline void waitForCooledDetector()
{
    QTRY_VERIFY_WITH_TIMEOUT(registerValue(xrf_hal::RegDetectorStatus) & 0x2, 20000);
}

struct GainSetupRun
{
    XrfHardwareSetupStepInfo step;
    int completions = 0;
    QJsonArray iterations() const { return step.results().value("iterations").toArray(); }
};

// Runs the gain setup sub-step alone with `params` and waits until it has completed.
inline GainSetupRun runGainSetup(const QJsonObject &params)
{
    FactoryTestEnv &env = FactoryTestEnv::get();
    GainSetupRun run;
    QSignalSpy complete(env.manager(), &XrfFactoryManager::hardwareSetupStepComplete);
    env.onFactoryThread([&] {
        XrfHardwareSetupStepsList list;
        const QJsonObject step{
            {"stepId", "fpgaGainSetup"}, {"displayName", "FPGA gain"}, {"setupParams", params}};
        list.fromJsonObject(QJsonObject{{"hardwareSetupSteps", QJsonArray{step}}});
        worker()->hardwareSetupSteps = list;
        worker()->hardwareSetupSteps.regenerateMap();
        worker()->currentStepId = XrfUtils::HardwareSetup;
        worker()->userAbort = false;
        worker()->doFpgaSetup();
    });
    [&] {
        QTRY_VERIFY_WITH_TIMEOUT(complete.count() >= 1, 60000);
    }();
    // A second completion would arrive through the same queue, or after an upload's answer.
    env.waitForCloudRequests();
    run.completions = complete.count();
    run.step = env.onFactoryThread(
        [] { return *worker()->hardwareSetupSteps.getHardwareSetupStep("fpgaGainSetup"); });
    return run;
}

// Counts per exposure second: Gaussian peaks (centre channel, height) on a flat background.
inline QVector<quint32> handMadeSpectrum(int channels, const QVector<QPair<double, double>> &peaks,
                                         double sigma = 3, double background = 2)
{
    QVector<quint32> counts(channels);
    for (int c = 0; c < channels; ++c) {
        double value = background;
        for (const auto &peak : peaks)
            value += peak.second * std::exp(-0.5 * std::pow((c - peak.first) / sigma, 2));
        counts[c] = quint32(std::lround(value));
    }
    return counts;
}

} // namespace fpgatest
