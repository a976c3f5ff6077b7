// The assembly of a stability run of 1000 shots of 4096 channels into its spectra archive: the
// peak memory it needs against a run of 100 shots (it must not grow with the shot count), and its
// time against `gzip -6` over the same bytes, both measured in this run. Then the engine reads
// that one spectrum update costs the library, against the reads of a full shot record.

#include "factorytestenv.h"
#include "simfaults.h"
#include "siminstrument.h"
#include "simnetworkmanager.h"
#include "stabilityassembler.h"
#include "xrfengine.h"
#include "xrfsettingsmanager.h"
#include "xrfspectrum.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>

#include <cstdio>

namespace {

const int kChannels = 4096;

// One spectrum file of a shot: counts of a plausible shape (two peaks on a falling background).
QByteArray spectrumFile(int shot, QRandomGenerator &random)
{
    QVector<quint32> counts(kChannels);
    for (int c = 0; c < kChannels; ++c) {
        const double background = 4000.0 * std::exp(-c / 900.0);
        const double peaks = 90000.0 * std::exp(-std::pow((c - 655) / 7.0, 2))
            + 30000.0 * std::exp(-std::pow((c - 1790) / 9.0, 2));
        counts[c] = quint32(background + peaks + random.bounded(60));
    }
    XrfSpectrum spectrum;
    spectrum.setData(counts);
    spectrum.setRealTime(60);
    spectrum.setLiveTime(42.5 + shot * 1e-3);
    spectrum.setInputCountRate(150000 + shot);
    spectrum.setOutputCountRate(106000 + shot);
    return QJsonDocument(spectrum.toJsonObject()).toJson(QJsonDocument::Compact);
}

void writeShots(const QString &folder, int shots)
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    QRandomGenerator random(7);
    for (int shot = 1; shot <= shots; ++shot) {
        QFile file(QStringLiteral("%1/%2.json").arg(folder).arg(shot));
        if (file.open(QIODevice::WriteOnly))
            file.write(spectrumFile(shot, random));
    }
}

qint64 statusKb(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Resets the peak resident size to the current one (Linux).
void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

struct Assembly
{
    double ms = 0;
    qint64 peakGrowthKb = 0;
    qint64 bytes = 0;
};

Assembly assemble(const QString &root, int shots)
{
    const QString folder = root + QStringLiteral("/spectra%1").arg(shots);
    writeShots(folder, shots);
    const QString zip = root + QStringLiteral("/stabSpectra_%1.zip").arg(shots);
    resetPeakMemory();
    const qint64 before = statusKb("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    int count = 0;
    QString error;
    if (!StabilityAssembler::writeSpectraArchive(folder, zip, QStringLiteral("stabSpectra.json"),
                                                 &count, &error))
        std::printf("assembly failed: %s\n", qPrintable(error));
    Assembly result;
    result.ms = timer.nsecsElapsed() / 1e6;
    result.peakGrowthKb = statusKb("VmHWM:") - before;
    for (const QFileInfo &file : QDir(folder).entryInfoList(QDir::Files))
        result.bytes += file.size();
    return result;
}

// gzip -6 over the JSON that the archive holds, as a process with an argument list.
double gzipMs(const QString &root, int shots)
{
    const QString json = root + QStringLiteral("/spectra.json");
    {
        QFile out(json);
        out.open(QIODevice::WriteOnly);
        out.write("{\"spectrums\":[");
        for (int shot = 1; shot <= shots; ++shot) {
            QFile in(QStringLiteral("%1/spectra%2/%3.json").arg(root).arg(shots).arg(shot));
            in.open(QIODevice::ReadOnly);
            if (shot > 1)
                out.write(",");
            out.write(in.readAll());
        }
        out.write("]}");
    }
    QProcess gzip;
    gzip.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    gzip.start(QStringLiteral("gzip"), {QStringLiteral("-6"), QStringLiteral("-c"), json});
    gzip.waitForFinished(-1);
    return timer.nsecsElapsed() / 1e6;
}

// Engine reads during a run of 60 s shots, per spectrum update.
void readsPerUpdate(FactoryTestEnv &env)
{
    env.seedModelData(QStringLiteral("default"));
    const QString setupPath = env.factoryDataPath() + QStringLiteral("/factory_setup_data.json");
    QJsonValue data;
    XrfUtils::readJsonFile(setupPath, &data);
    QJsonObject root = data.toObject();
    QJsonObject info = root.value(QStringLiteral("factorySetupInfo")).toObject();
    QJsonObject options = info.value(QStringLiteral("stabilityOptions")).toObject();
    QJsonObject exposure = options.value(QStringLiteral("exposureHv")).toObject();
    exposure.insert(QStringLiteral("maxTime"), 60);
    options.insert(QStringLiteral("exposureHv"), exposure);
    options.insert(QStringLiteral("repeats"), 3);
    options.insert(QStringLiteral("minRepeats"), 3);
    options.insert(QStringLiteral("icrMinThreshold"), 0);
    options.insert(QStringLiteral("binsizeTolerance"), 100);
    info.insert(QStringLiteral("stabilityOptions"), options);
    root.insert(QStringLiteral("factorySetupInfo"), info);
    XrfUtils::writeJsonFile(setupPath, QJsonDocument(root));
    env.reloadFactoryData();
    xrf_hal::XrfEngine::instance()->setDetectorDac(xrf_hal::DetectorDacResetWidth, 1584);
    env.network().setForcedOffline(true);

    int updates = 0;
    int shots = 0;
    bool finished = false;
    QObject receiver;
    QObject::connect(env.manager(), &XrfFactoryManager::stabilitySpectrumReady, &receiver,
                     [&](const QJsonObject &record) {
                         ++(record.contains(QStringLiteral("spectrum")) ? shots : updates);
                     });
    QObject::connect(env.manager(), &XrfFactoryManager::stabilityTestComplete, &receiver,
                     [&](const QJsonObject &record) {
                         const QString status = record.value(QStringLiteral("status")).toString();
                         finished |= status == QLatin1String("error")
                             || status == QLatin1String("waitingForCloudResponse");
                     });
    env.onFactoryThread([&] {
        env.worker()->currentStepId = XrfUtils::Provisioning;
        env.manager()->initFactoryStep(QStringLiteral("stability"));
    });
    const int before = env.instrument().faults().totalOperationCalls();
    QMetaObject::invokeMethod(env.manager(), "startStabilityTest", Qt::QueuedConnection,
                              Q_ARG(bool, false));
    QElapsedTimer timeout;
    timeout.start();
    while (!finished && timeout.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const int reads = env.instrument().faults().totalOperationCalls() - before;
    // One full record: the readings, the tube monitors' flag and the monitors.
    const int beforeRecord = env.instrument().faults().totalOperationCalls();
    env.onFactoryThread([&] { env.worker()->readStabilityReadings(); });
    const int recordReads = env.instrument().faults().totalOperationCalls() - beforeRecord;
    std::printf("\nA run of %d shots of 60 s: %d spectrum updates, %d engine calls in all.\n",
                shots, updates, reads);
    if (updates > 0)
        std::printf("engine reads per spectrum update: %.2f; a full record reads %d; ratio %.3f\n",
                    double(reads) / updates, recordReads,
                    double(reads) / updates / std::max(1, recordReads));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    auto &env = FactoryTestEnv::start();
    const QString root = env.root() + QStringLiteral("/bench");
    QDir().mkpath(root);

    const Assembly small = assemble(root, 100);
    const Assembly large = assemble(root, 1000);
    const double gzip = gzipMs(root, 1000);
    std::printf("%-28s %10s %14s %12s\n", "spectra archive", "ms", "peak growth KB", "input MB");
    std::printf("%-28s %10.1f %14lld %12.1f\n", "100 shots x 4096 channels", small.ms,
                small.peakGrowthKb, small.bytes / 1048576.0);
    std::printf("%-28s %10.1f %14lld %12.1f\n", "1000 shots x 4096 channels", large.ms,
                large.peakGrowthKb, large.bytes / 1048576.0);
    std::printf("%-28s %10.1f\n", "gzip -6, same bytes", gzip);
    std::printf("peak memory ratio 1000/100 shots: %.2f (flat: about 1)\n",
                double(large.peakGrowthKb) / std::max<qint64>(1, small.peakGrowthKb));
    std::printf("time ratio assembly/gzip -6: %.2f (target: at most 2)\n", large.ms / gzip);

    readsPerUpdate(env);
    env.settleBeforeExit();
    return 0;
}
