// Saves lastResult.json through the library in an endless loop until it is killed. Each image
// carries a sequence number and a payload derived from it, so a reader can tell a complete image
// from a torn one. Prints "ready" once the first save is done.

#include "factorytestenv.h"

#include <QCoreApplication>
#include <QJsonArray>

#include <cstdio>

namespace {

QJsonObject imageFor(int sequence)
{
    QJsonArray shots;
    for (int i = 0; i < 400; ++i)
        shots.append(QJsonObject{{"shot", i}, {"sequence", sequence}});
    return {{"sequence", sequence},
            {"payload", QString(20000, QChar(QLatin1Char('a' + sequence % 26)))},
            {"airShot", QJsonObject{{"airShots", shots}}}};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: lastresult_writer ROOT\n");
        return 2;
    }
    FactoryTestEnv::Options options;
    options.root = QString::fromLocal8Bit(argv[1]);
    auto &env = FactoryTestEnv::start(options);
    auto *worker = env.worker();
    int sequence = worker->lastResult.value("sequence").toInt();
    for (bool first = true;; first = false) {
        ++sequence;
        const bool saved = env.onFactoryThread([&] {
            worker->lastResult = imageFor(sequence);
            return worker->saveFactorySetupLastResult();
        });
        if (!saved)
            return 1;
        if (first) {
            std::printf("ready\n");
            std::fflush(stdout);
        }
    }
}
