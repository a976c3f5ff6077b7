#include "cloudcommand.h"

#include "rootseeder.h"
#include "simcloudserver.h"
#include "siminstrument.h"
#include "xrfutils.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>

namespace {

std::atomic<bool> g_stopRequested{false};

void requestStop(int)
{
    g_stopRequested = true;
}

// The work order of a model's default data, as the cloud holds it for that instrument.
void seedWorkOrder(SimCloudServer &cloud, const QString &model, const QString &serial)
{
    QString error;
    const QJsonObject workOrder = RootSeeder::defaultWorkOrder(model, &error);
    if (!error.isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(error));
    if (!workOrder.isEmpty())
        cloud.setWorkOrder(serial, workOrder);
}

} // namespace

int cloudCommand(QCommandLineParser &parser, const QStringList &arguments)
{
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Port on 127.0.0.1 (default: a free one)."),
                                  QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption model(QStringLiteral("model"),
                                   QStringLiteral("Seed the work order of this model's default "
                                                  "data."),
                                   QStringLiteral("MODEL"));
    const QCommandLineOption serial(QStringLiteral("serial"),
                                    QStringLiteral("Instrument serial number of the seeded work "
                                                   "order."),
                                    QStringLiteral("SERIAL"), QStringLiteral("800123"));
    const QCommandLineOption seconds(QStringLiteral("seconds"),
                                     QStringLiteral("Stop after this many seconds (default: run "
                                                    "until interrupted)."),
                                     QStringLiteral("S"), QStringLiteral("0"));
    parser.addOptions({port, model, serial, seconds});
    parser.process(arguments);
    bool portOk = false;
    const uint portNumber = parser.value(port).toUInt(&portOk);
    if (!portOk || portNumber > 65535) {
        std::fprintf(stderr, "--port needs a number from 0 to 65535\n");
        return 2;
    }

    if (parser.isSet(model) && !SimInstrument::models().contains(parser.value(model))) {
        std::fprintf(stderr, "Unknown model '%s'; choose one of: %s\n",
                     qPrintable(parser.value(model)),
                     qPrintable(SimInstrument::models().join(QStringLiteral(", "))));
        return 2;
    }

    SimCloudServer cloud;
    if (!cloud.start(quint16(portNumber))) {
        std::fprintf(stderr, "Cannot listen on 127.0.0.1:%u\n", portNumber);
        return 1;
    }
    if (parser.isSet(model))
        seedWorkOrder(cloud, parser.value(model), parser.value(serial));
    std::printf("Cloud simulator listening on %s (GET /health)\n", qPrintable(cloud.baseUrl()));
    std::fflush(stdout);

    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    // The cloud runs on its own, with no instrument clock: the stop flag is looked at every 100 ms
    // of process time.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [] {
        if (g_stopRequested)
            QCoreApplication::quit();
    });
    poll.start(100);
    if (const int limit = parser.value(seconds).toInt(); limit > 0)
        QTimer::singleShot(limit * 1000, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    cloud.stop();
    return 0;
}
