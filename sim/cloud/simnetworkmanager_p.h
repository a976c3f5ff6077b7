#pragma once

#include "simnetworkmanager.h"

#include <QString>

class QSaveFile;
class QTimer;

// One request in flight.
struct SimNetworkManager::Pending
{
    SimCloudRoute::Kind kind = SimCloudRoute::Fetch;
    int id = 0;
    QString token;
    QSaveFile *target = nullptr;
    QTimer *timeout = nullptr;
    bool timedOut = false;
    bool discarded = false;
    QString abortReason;
    int lastPercent = -1;
};
