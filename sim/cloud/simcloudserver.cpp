#include "simcloudserver.h"

#include <httplib.h>

#include <thread>

struct SimCloudServer::Private
{
    httplib::Server server;
    std::thread thread;
    int port = 0;
};

SimCloudServer::SimCloudServer() : d(new Private)
{
    d->server.Get("/health", [](const httplib::Request &, httplib::Response &response) {
        response.set_content("{\"status\":\"ok\"}", "application/json");
    });
}

SimCloudServer::~SimCloudServer()
{
    stop();
}

bool SimCloudServer::start(quint16 port)
{
    if (d->thread.joinable())
        return true;
    d->port = port == 0 ? d->server.bind_to_any_port("127.0.0.1")
                        : (d->server.bind_to_port("127.0.0.1", port) ? port : -1);
    if (d->port <= 0)
        return false;
    d->thread = std::thread([this] { d->server.listen_after_bind(); });
    return true;
}

void SimCloudServer::stop()
{
    if (!d->thread.joinable())
        return;
    d->server.stop();
    d->thread.join();
}

quint16 SimCloudServer::port() const
{
    return quint16(d->port > 0 ? d->port : 0);
}

QString SimCloudServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port());
}
