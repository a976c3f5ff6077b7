// The whole default factory line (provisioning to the profile hand-over) at time scale 0.0001, run
// as the xrf-factory program does it. At that scale the instrument's waits add up to a fraction of
// a second, so the line should take about as long as its own work: the figure is wall time over the
// CPU time (user + sys) of the line's process, the target at most 1.5. Other work on the machine
// only adds to the wall time, so the best of the runs is the line's own figure; the median and the
// load average show how busy the machine was.
//
// Usage: bench_factoryline [RUNS] [xrf-factory options...]   (RUNS defaults to 3)

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const QStringList kDefaultLine = {QStringLiteral("--time-scale"), QStringLiteral("0.0001")};

struct LineRun
{
    bool passed = false;
    double wallS = 0;
    double cpuS = 0;
    double ratio() const { return cpuS > 0 ? wallS / cpuS : 0; }
};

double seconds(const timeval &time)
{
    return double(time.tv_sec) + double(time.tv_usec) / 1e6;
}

// User + sys seconds of the children this process has waited for.
double childrenCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

LineRun runLine(const QStringList &lineOptions)
{
    LineRun run;
    QTemporaryDir root;
    if (!root.isValid())
        return run;
    QProcess line;
    line.setProgram(QStringLiteral(XRF_FACTORY_BIN));
    line.setArguments(QStringList{QStringLiteral("run"), QStringLiteral("--root"),
                                  root.path() + QStringLiteral("/instrument")}
                      + lineOptions);
    line.setProcessChannelMode(QProcess::MergedChannels);
    const double cpuBefore = childrenCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    line.start();
    const bool finished = line.waitForFinished(-1);
    run.wallS = wall.nsecsElapsed() / 1e9;
    run.cpuS = childrenCpuSeconds() - cpuBefore;
    run.passed = finished && line.exitStatus() == QProcess::NormalExit && line.exitCode() == 0;
    if (!run.passed)
        std::fprintf(stderr, "%s\n", line.readAll().constData());
    return run;
}

// The machine's load average over the last minute: other work only makes wall time longer.
QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    return QString::fromLatin1(file.readLine()).section(QLatin1Char(' '), 0, 0);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    bool runsOk = false;
    const int runs = arguments.isEmpty() ? 3 : arguments.first().toInt(&runsOk);
    if (!arguments.isEmpty() && runsOk)
        arguments.removeFirst();
    const QStringList lineOptions = arguments.isEmpty() ? kDefaultLine : arguments;

    std::printf("load average %s on %d CPUs\n", qPrintable(loadAverage()),
                QThread::idealThreadCount());
    std::printf("%-4s %8s %8s %10s\n", "run", "wall s", "cpu s", "wall/cpu");
    std::vector<double> ratios;
    for (int i = 0; i < std::max(1, runs); ++i) {
        const LineRun run = runLine(lineOptions);
        if (!run.passed) {
            std::printf("%-4d the line did not pass\n", i + 1);
            return 1;
        }
        std::printf("%-4d %8.2f %8.2f %10.2f\n", i + 1, run.wallS, run.cpuS, run.ratio());
        ratios.push_back(run.ratio());
    }
    std::sort(ratios.begin(), ratios.end());
    const double best = ratios.front();
    const double median = ratios[ratios.size() / 2];
    std::printf("wall/cpu best %.2f, median %.2f; target <= 1.50 %s\n", best, median,
                best <= 1.5 ? "met" : "NOT met");
    return 0;
}
