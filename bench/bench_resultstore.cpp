// lastResult.json save and load through the library against a plain write and read of the same
// bytes, at about 10 KB, 1 MB and 10 MB. Prints the median times and their ratios.

#include "factorytestenv.h"
#include "quietlog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

QJsonObject imageOfAbout(int bytes)
{
    QJsonArray shots;
    const QJsonObject shot{{"name", "AirShot_50kV_Cu"},
                           {"icr", 123456.5},
                           {"ocr", 98765.25},
                           {"status", 2},
                           {"startTime", "2026-12-06T08:00:00Z"}};
    const int shotBytes = QJsonDocument(shot).toJson(QJsonDocument::Indented).size();
    for (int i = 0; i < std::max(1, bytes / shotBytes); ++i)
        shots.append(shot);
    return {{"airShot", QJsonObject{{"airShots", shots}}}};
}

double medianMs(int reps, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < reps; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::nth_element(times.begin(), times.begin() + reps / 2, times.end());
    return times[size_t(reps / 2)];
}

void plainWrite(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

QByteArray plainRead(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    keepOnlyCriticalLogMessages();
    auto &env = FactoryTestEnv::start();
    auto *worker = env.worker();
    const QString plainPath = env.factoryDataPath() + "/plain.json";

    std::printf("%-8s %9s %9s %7s %12s %7s %9s %9s %7s\n", "size", "save ms", "write ms", "ratio",
                "ser+write ms", "ratio", "load ms", "read ms", "ratio");
    for (const int size : {10 * 1024, 1024 * 1024, 10 * 1024 * 1024}) {
        const QJsonObject image = imageOfAbout(size);
        const QByteArray bytes = QJsonDocument(image).toJson(QJsonDocument::Indented);
        const int reps = size > 1024 * 1024 ? 5 : 21;
        env.onFactoryThread([&] { worker->lastResult = image; });

        const double save = medianMs(
            reps, [&] { env.onFactoryThread([&] { worker->saveFactorySetupLastResult(); }); });
        const double write = medianMs(reps, [&] { plainWrite(plainPath, bytes); });
        const double serialiseAndWrite = medianMs(reps, [&] {
            plainWrite(plainPath, QJsonDocument(image).toJson(QJsonDocument::Indented));
        });
        const double load = medianMs(reps, [&] {
            env.onFactoryThread([&] { worker->loadFactorySetupLastResult(nullptr); });
        });
        const double read = medianMs(reps, [&] { QJsonDocument::fromJson(plainRead(plainPath)); });
        std::printf("%-8s %9.3f %9.3f %7.2f %12.3f %7.2f %9.3f %9.3f %7.2f\n",
                    qPrintable(QStringLiteral("%1 KB").arg(bytes.size() / 1024)), save, write,
                    save / write, serialiseAndWrite, save / serialiseAndWrite, load, read,
                    load / read);
    }
    std::printf(
        "save: the store's atomic replace (serialise, write, sync, rename) against a plain\n"
        "      buffered write of the serialised bytes, and against serialise + plain write;\n"
        "load: read and parse through the store against a plain read and parse.\n");
    return 0;
}
