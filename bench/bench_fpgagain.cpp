// One FPGA gain setup at time scale 0 (two exposures: the measurement and the verification after
// the gain correction): the CPU time the library spends on the factory thread against the
// simulator's own work for the same exposures (the detector response and one Poisson spectrum
// update per exposure second), measured in the same run. Prints the ratio.
#include "factorytestenv.h"
#include "quietlog.h"
#include "simbeam.h"
#include "siminstrument.h"
#include "simpoisson.h"
#include "simstate.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QThread>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <ctime>
#include <map>

namespace {

constexpr int kExposures = 2;
constexpr int kShotSeconds = 10;

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

QJsonObject gainSetupStep()
{
    return FactoryTestEnv::get().onFactoryThread([] {
        Worker *worker = FactoryTestEnv::get().worker();
        worker->loadFactorySetupParamsFromFile();
        const QJsonArray steps = worker->factorySetupInfo.value("hardwareSetup")
                                     .toObject()
                                     .value("hardwareSetupSteps")
                                     .toArray();
        for (const QJsonValue &step : steps)
            if (step.toObject().value("stepId").toString() == QLatin1String("fpgaGainSetup"))
                return step.toObject();
        return QJsonObject();
    });
}

// One gain setup; answers the factory thread's CPU time it took, in seconds.
double runGainSetup(const QJsonObject &step)
{
    FactoryTestEnv &env = FactoryTestEnv::get();
    QSignalSpy complete(env.manager(), &XrfFactoryManager::hardwareSetupStepComplete);
    const double before = env.onFactoryThread([] { return threadCpuSeconds(); });
    env.onFactoryThread([&] {
        Worker *worker = env.worker();
        XrfHardwareSetupStepsList list;
        list.fromJsonObject(QJsonObject{{"hardwareSetupSteps", QJsonArray{step}}});
        worker->hardwareSetupSteps = list;
        worker->hardwareSetupSteps.regenerateMap();
        worker->currentStepId = XrfUtils::HardwareSetup;
        worker->doFpgaSetup();
    });
    while (complete.isEmpty())
        complete.wait(1000);
    env.drainFactoryThread();
    return env.onFactoryThread([] { return threadCpuSeconds(); }) - before;
}

void gainSetup(benchmark::State &state)
{
    const QJsonObject step = gainSetupStep();
    for (auto _ : state)
        state.SetIterationTime(runGainSetup(step));
}

// What the simulator computes for the same exposures: the response of the detector to the beam
// and a spectrum update per second.
void simulatorSpectra(benchmark::State &state)
{
    SimState &sim = FactoryTestEnv::get().instrument().state();
    SimBeamSnapshot snapshot;
    {
        const auto lock = sim.lock();
        sim.tube().setVoltage(40);
        sim.tube().setCurrent(100);
        snapshot = sim.beamSnapshot();
    }
    snapshot.xraysOn = true;
    SimPoisson random(42);
    for (auto _ : state) {
        const double before = threadCpuSeconds();
        for (int exposure = 0; exposure < kExposures; ++exposure) {
            const SimDetectorResponse response = SimBeam::respond(sim.detector(), snapshot, true);
            QVector<quint32> counts(response.perSecond.size(), 0);
            for (int second = 0; second < kShotSeconds; ++second) {
                accumulateCounts(response.perSecond, 1.0, random, &counts);
                XrfSpectrum spectrum;
                spectrum.setData(counts);
                benchmark::DoNotOptimize(spectrum);
            }
        }
        state.SetIterationTime(threadCpuSeconds() - before);
    }
}

BENCHMARK(gainSetup)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(simulatorSpectra)->UseManualTime()->Unit(benchmark::kMillisecond);

class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs)
            if (run.run_type == Run::RT_Iteration)
                times[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    keepOnlyCriticalLogMessages();
    FactoryTestEnv::Options options;
    options.timeScale = 0;
    FactoryTestEnv::start(options);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double library = reporter.times["gainSetup/manual_time"];
    const double simulator = reporter.times["simulatorSpectra/manual_time"];
    if (library > 0 && simulator > 0)
        std::printf("gain setup: library %.2f ms of factory-thread CPU, %.2f times the "
                    "simulator's %.2f ms for the same two exposures\n",
                    library, library / simulator, simulator);
    benchmark::Shutdown();
    return 0;
}
