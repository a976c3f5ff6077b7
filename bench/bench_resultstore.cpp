// lastResult.json save and load through the library against a plain write and read of the same
// bytes, at about 10 KB, 1 MB and 10 MB. Prints the median times and their ratios.

#include "factorytestenv.h"
#include "quietlog.h"
#include "xrffactorymanager_p.h"

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

// The calibration record of a full calibration: `steps` steps of 20 s at two beams.
XrfCalibrationStepList calibrationSteps(int steps)
{
    XrfCalibrationStepList list;
    for (int i = 0; i < steps; ++i) {
        XrfCalibrationStep step;
        step.setSampleID(QStringLiteral("STD-%1").arg(i / 2));
        step.setShootOrder(i % 2 + 1);
        step.setBeamNumber(i % 2 + 1);
        XrfExposureSettings exposure;
        exposure.setTubeVoltageKv(i % 2 ? 50 : 40);
        exposure.setMaxTime(20);
        step.setExposure(exposure);
        step.addMethodUse(XrfCalibrationMethodUse(QStringLiteral("alloy-ISC"), i % 2 + 1));
        list.append(step);
    }
    return list;
}

// The cost of the record's save after the first and after the last shot of a full calibration
// (every shot saves it), against a plain write of the same bytes.
void benchCalibrationShots(FactoryTestEnv &env)
{
    auto *worker = env.worker();
    const QString plainPath = env.factoryDataPath() + "/plain.json";
    constexpr int kSteps = 120;
    constexpr int kReps = 21;
    env.onFactoryThread([&] {
        worker->lastResult = imageOfAbout(200 * 1024);
        worker->saveFactorySetupLastResult();
        worker->calibrationStepList = calibrationSteps(kSteps);
    });
    std::printf("\ncalibration record of %d steps: save per shot\n%-12s %9s %9s %7s\n", kSteps,
                "after shot", "save ms", "write ms", "ratio");
    double first = 0;
    for (const int shot : {1, kSteps / 2, kSteps}) {
        env.onFactoryThread([&] {
            for (int i = 0; i < shot; ++i)
                worker->calibrationStepList[i].setIsDone(true);
        });
        const double save = medianMs(kReps, [&] {
            env.onFactoryThread([&] { worker->saveCalibrationStatusToLastResult(); });
        });
        const QByteArray bytes = env.onFactoryThread(
            [&] { return QJsonDocument(worker->lastResult).toJson(QJsonDocument::Indented); });
        const double write = medianMs(kReps, [&] { plainWrite(plainPath, bytes); });
        first = first > 0 ? first : save;
        std::printf("%-12d %9.3f %9.3f %7.2f   (%.2f of the first shot's save, %d KB)\n", shot,
                    save, write, save / write, save / first, int(bytes.size() / 1024));
    }
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
    benchCalibrationShots(env);
    std::printf(
        "save: the store's atomic replace (serialise, write, sync, rename) against a plain\n"
        "      buffered write of the serialised bytes, and against serialise + plain write;\n"
        "load: read and parse through the store against a plain read and parse.\n");
    return 0;
}
