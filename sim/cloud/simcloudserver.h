#pragma once

#include <QString>

#include <memory>

// The simulated manufacturing cloud: an HTTP server on 127.0.0.1 serving JSON on its own thread.
class SimCloudServer
{
public:
    SimCloudServer();
    ~SimCloudServer();

    // Listens on `port` (0 picks a free one); false when it cannot bind.
    bool start(quint16 port = 0);
    void stop();
    quint16 port() const;
    QString baseUrl() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
