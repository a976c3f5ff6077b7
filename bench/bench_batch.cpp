// A batch of 20 units of the default model, 2 at a time, against one simulated cloud, as
// `xrf-factory batch` runs it. The baseline, measured in the same run, is one unit's line alone;
// the figure is the batch's wall time over the time the 20 lines would take 2 at a time
// (20 x one line / 2). The cloud's own request counts show that it answered every unit.
//
// Usage: bench_batch [UNITS] [JOBS]   (defaults 20 and 2; the target is under 2 minutes)

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>

namespace {

const QString kTimeScale = QStringLiteral("0.0001");
const double kTargetSeconds = 120;

struct Timed
{
    bool ok = false;
    double seconds = 0;
    QString output;
};

Timed runXrfFactory(const QStringList &arguments)
{
    Timed timed;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(XRF_FACTORY_BIN), arguments);
    const bool finished = process.waitForFinished(-1);
    timed.seconds = clock.nsecsElapsed() / 1e9;
    timed.output = QString::fromUtf8(process.readAll());
    timed.ok = finished && process.exitStatus() == QProcess::NormalExit;
    return timed;
}

QString lineStarting(const QString &text, const QString &start)
{
    const QRegularExpression line(QStringLiteral("^") + QRegularExpression::escape(start)
                                      + QStringLiteral(".*$"),
                                  QRegularExpression::MultilineOption);
    return line.match(text).captured(0);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int units = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 20;
    const int jobs = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 2;
    QTemporaryDir dir;
    const Timed single = runXrfFactory({QStringLiteral("run"), QStringLiteral("--root"),
                                        dir.path() + QStringLiteral("/single"),
                                        QStringLiteral("--time-scale"), kTimeScale});
    if (!single.ok) {
        std::printf("the baseline line did not run:\n%s\n", qPrintable(single.output));
        return 1;
    }
    const Timed batch = runXrfFactory(
        {QStringLiteral("batch"), QStringLiteral("--units"), QString::number(units),
         QStringLiteral("--jobs"), QString::number(jobs), QStringLiteral("--time-scale"),
         kTimeScale, QStringLiteral("--dir"), dir.path() + QStringLiteral("/batch")});
    if (!batch.ok) {
        std::printf("the batch did not run:\n%s\n", qPrintable(batch.output));
        return 1;
    }
    const double expected = single.seconds * units / jobs;
    std::printf("one unit alone            %8.2f s\n", single.seconds);
    std::printf("%d units, %d at a time    %8.2f s  (%.2f s a unit)\n", units, jobs, batch.seconds,
                batch.seconds / units);
    std::printf("batch / (%d x one / %d)   %8.2f\n", units, jobs, batch.seconds / expected);
    std::printf("%s\n", qPrintable(lineStarting(batch.output, QStringLiteral("Units done:"))));
    std::printf("%s\n",
                qPrintable(lineStarting(batch.output, QStringLiteral("Cloud requests answered:"))));
    const QString lost = lineStarting(batch.output, QStringLiteral("Step statuses lost"));
    std::printf("%s\n", qPrintable(lost));
    std::printf("target: under %.0f s %s; no request lost %s\n", kTargetSeconds,
                batch.seconds < kTargetSeconds ? "met" : "NOT met",
                lost.endsWith(QLatin1String(": 0")) ? "met" : "NOT met");
    return 0;
}
