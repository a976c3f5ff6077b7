#pragma once

// The count-rate loop of the beams setup: after each shot of a beam, whether its tube current
// is found, the next current to shoot, or why the beam fails.

#include "xrfbeaminfo.h"

#include <QStringList>

// The currents a beam may use: the controller's current limits, lowered to what the tube's
// rated power allows at the beam's voltage.
struct BeamCurrentLimits
{
    float minUa = 0;
    float maxUa = 0;

    // A maximum power of 0 (an unread limit) counts as `defaultPowerW`.
    static BeamCurrentLimits fromTube(int maxPowerW, int minCurrentUa, int maxCurrentUa, float kv,
                                      int defaultPowerW);
};

struct BeamShotDecision
{
    enum Action { Success, Retry, CurrentLimitReached, MaxAttemptsReached };

    Action action = Retry;
    // Success: the current found; retry: the next shot's current; failure: the shot's current.
    float currentUa = 0;
    // The beam aims at its dimmer target from now on.
    bool switchToDimmerTarget = false;
    // The shots count again from 0 (once, when the beam switches to its dimmer target).
    bool restartIterations = false;
    // Why the beam failed.
    QString message;
    // What the loop noticed on the way, for the log.
    QStringList notes;
};

// Decides after shot number `iteration` (counted from 0) of `beam`, which gave `icr` cps at
// `currentUa`. Every retry counts against `maxIterations`, whatever branch it comes from, so the
// loop ends.
BeamShotDecision decideBeamCurrent(const XrfBeamInfo &beam, double icr, float currentUa,
                                   const BeamCurrentLimits &limits, int iteration,
                                   int maxIterations);
