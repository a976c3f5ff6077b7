// One full filter scan at time scale 0 through the library, against the simulator's own cost of
// the same engine operations (the moves, polls, acquisitions and voltage reads of every sweep
// step) replayed without the library, in the same run. Both are the factory thread's CPU time;
// prints the medians, the library's share and the ratio.

#include "factorytestenv.h"
#include "filterwheelsetup.h"
#include "quietlog.h"
#include "xrfengine.h"
#include "xrftimescale.h"

#include <QCoreApplication>
#include <QDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace {

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// The median CPU time of `work` on the factory thread.
double medianCpuMs(int reps, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < reps; ++i) {
        const double ms = FactoryTestEnv::get().onFactoryThread([&] {
            const double start = threadCpuMs();
            work();
            return threadCpuMs() - start;
        });
        times.push_back(ms);
    }
    std::nth_element(times.begin(), times.begin() + reps / 2, times.end());
    return times[size_t(reps / 2)];
}

QJsonObject scanParams(const QJsonObject &setupInfo)
{
    XrfHardwareSetupStepsList steps;
    steps.fromJsonObject(setupInfo.value("hardwareSetup").toObject());
    return steps.getHardwareSetupStep("filterScan")->setupParams();
}

// The engine operations of one sweep step, without the library around them.
void simulatorStep(xrf_hal::XrfEngine *engine, unsigned short encoder)
{
    unsigned char status = 0;
    unsigned short monitored = 0;
    float kv = 0;
    xrf_hal::AcquisitionStats stats;
    engine->moveFilterWheel(encoder);
    engine->getFilterMoveStatus(&status);
    engine->getFilterEncoderMonitored(&monitored);
    engine->startMCA();
    engine->stopMCA();
    engine->getAcquisitionStats(&stats);
    engine->getTubeVoltageSet(&kv);
    engine->getTubeVoltageMonitored(&kv);
}

// The default model's work order and setup data in the instrument's factory data folder.
void seedDefaultData(FactoryTestEnv &env)
{
    const QDir source(QStringLiteral(XRF_DATA_DIR "/default/factoryData"));
    for (const QString &name : source.entryList({"*.json"}, QDir::Files)) {
        QFile::remove(env.factoryDataPath() + "/" + name);
        QFile::copy(source.filePath(name), env.factoryDataPath() + "/" + name);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    keepOnlyCriticalLogMessages();
    FactoryTestEnv::Options options;
    options.timeScale = 0;
    auto &env = FactoryTestEnv::start(options);
    XrfTimeScale::setScale(0);
    auto *worker = env.worker();
    seedDefaultData(env);
    xrf_hal::XrfEngine *engine = xrf_hal::XrfEngine::instance();
    const QJsonObject workOrder = env.onFactoryThread([&] {
        worker->loadWorkOrderInfoFromFile();
        return worker->currentWorkOrder();
    });
    const QJsonObject hwParams = env.onFactoryThread([&] {
        worker->loadFactorySetupParamsFromFile();
        return worker->defaultHwParams;
    });
    QJsonObject params = scanParams(env.onFactoryThread([&] { return worker->factorySetupInfo; }));

    int steps = 0;
    bool passed = true;
    const double sweep = medianCpuMs(5, [&] {
        QJsonObject results;
        XrfErrorInfo error;
        passed = FilterWheelSetup::doFilterWheelSweep(engine, &params, &workOrder, &hwParams,
                                                      &results, error)
            && passed;
        steps = results.value("setEncoders").toArray().size();
    });
    // The sweep's steps plus the wheel identification and the mini-sweep around the open hole.
    const int extraSteps = 3
        + int(2 * params.value("range2Examine").toDouble() * params.value("approxEncSlope").toInt()
              / params.value("encoderStep").toInt(20))
        + 1;
    const double simulator = medianCpuMs(5, [&] {
        for (int i = 0; i < steps + extraSteps; ++i)
            simulatorStep(engine, (unsigned short)(100 + 20 * (i % steps)));
    });
    std::printf("filter scan (%s, %d sweep steps): %.1f ms CPU; simulator alone: %.1f ms CPU\n",
                passed ? "passed" : "FAILED", steps, sweep, simulator);
    std::printf("library's own CPU time: %.1f ms, %.2f times the simulator's (scan / simulator "
                "ratio %.2f)\n",
                sweep - simulator, (sweep - simulator) / simulator, sweep / simulator);
    return passed ? 0 : 1;
}
