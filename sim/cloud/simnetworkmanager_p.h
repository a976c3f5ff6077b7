#pragma once

#include "simnetworkmanager.h"

#include <QString>

class XrfAtomicFile;
class QTimer;

// One request in flight.
struct SimNetworkManager::Pending
{
    SimCloudRoute::Kind kind = SimCloudRoute::Fetch;
    int id = 0;
    QString token;
    XrfAtomicFile *target = nullptr;
    QTimer *timeout = nullptr;
    bool timedOut = false;
    bool discarded = false;
    QString abortReason;
    int lastPercent = -1;
};
