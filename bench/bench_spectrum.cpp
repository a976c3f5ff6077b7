// Cost of one simulated spectrum update (one exposure second: a Poisson variate per channel
// around the expected counts, then the XrfSpectrum the hardware manager emits) against the
// baseline of filling the same array with zeros. Prints the ratio per channel count.
#include "quietlog.h"
#include "simbeam.h"
#include "siminstrument.h"
#include "simpoisson.h"
#include "simstate.h"
#include "xrfspectrum.h"
#include "xrftimescale.h"
#include "xrfutils.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>

namespace {

// The expected SS316 spectrum (counts per second) of the model with that many channels:
// "default" has 2048, "HD" 4096.
QVector<double> expectedSpectrum(int channels)
{
    static std::map<int, QVector<double>> cache;
    auto it = cache.find(channels);
    if (it != cache.end())
        return it->second;
    SimInstrument instrument(channels == 4096 ? QStringLiteral("HD") : QStringLiteral("default"));
    instrument.loadSample(QStringLiteral("SS316"));
    SimState &state = instrument.state();
    const auto lock = state.lock();
    state.tube().setVoltage(40);
    state.tube().setCurrent(100);
    SimBeamSnapshot snapshot = state.beamSnapshot();
    snapshot.xraysOn = true;
    snapshot.detectorTemperatureC = state.detector().spec().defaultSetTemperatureC;
    const QVector<double> perSecond = SimBeam::respond(state.detector(), snapshot, true).perSecond;
    cache[channels] = perSecond;
    return perSecond;
}

void spectrumUpdate(benchmark::State &state)
{
    const int channels = int(state.range(0));
    const QVector<double> perSecond = expectedSpectrum(channels);
    SimPoisson random(42);
    QVector<quint32> counts(channels, 0);
    double seconds = 0;
    for (auto _ : state) {
        accumulateCounts(perSecond, 1.0, random, &counts);
        seconds += 1;
        XrfSpectrum spectrum;
        spectrum.setData(counts);
        spectrum.setRealTime(seconds);
        benchmark::DoNotOptimize(spectrum);
    }
    state.SetItemsProcessed(state.iterations() * channels);
}

void zeroFill(benchmark::State &state)
{
    const int channels = int(state.range(0));
    QVector<quint32> counts(channels, 1);
    for (auto _ : state) {
        std::fill(counts.begin(), counts.end(), 0u);
        benchmark::DoNotOptimize(counts.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * channels);
}

BENCHMARK(spectrumUpdate)->Arg(2048)->Arg(4096);
BENCHMARK(zeroFill)->Arg(2048)->Arg(4096);

// Keeps the time per iteration of every run so that the ratios can be printed at the end.
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
    QTemporaryDir root;
    XrfUtils::setInstrumentRoot(root.path());
    XrfTimeScale::setScale(0);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const char *channels : {"2048", "4096"}) {
        const double update = reporter.times[std::string("spectrumUpdate/") + channels];
        const double zeros = reporter.times[std::string("zeroFill/") + channels];
        if (update > 0 && zeros > 0)
            std::printf(
                "spectrum update at %s channels: %.1f us, %.0f times the cost of zero-filling "
                "the array (%.3f us)\n",
                channels, update / 1000.0, update / zeros, zeros / 1000.0);
    }
    benchmark::Shutdown();
    return 0;
}
