#pragma once

#include "simcloudserver.h"
#include "simnetworkmanager.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

// A cloud simulator on a free port and a network manager talking to it.
struct CloudTestBench
{
    CloudTestBench();

    // Waits for the single response to `id` and returns it.
    XrfCloudResponse awaitResponse(QSignalSpy &spy, int id) const;
    QString writeFile(const QString &name, const QByteArray &content) const;

    std::unique_ptr<SimCloudServer> cloud;
    std::unique_ptr<SimNetworkManager> network;
    QTemporaryDir dir;
};

#define SERIAL QStringLiteral("XRF1234")
