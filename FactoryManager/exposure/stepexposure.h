#pragma once

#include "xrferrorinfo.h"
#include "xrfexposuresettings.h"
#include "xrfspectrum.h"

// The exposure that a step runs: its state, the settings it was started with, its last spectrum
// and the last hardware error. The step's exposure handlers feed it; all on the factory thread.
struct StepExposure
{
    enum State { Idle = 0, Started = 1, Stopped = 2, Faulted = 3 };

    State state = Idle;
    XrfExposureSettings settings;
    XrfSpectrum lastSpectrum;
    XrfErrorInfo lastError;

    // Before each exposure: idle, no spectrum, no error.
    void reset();
    // A started exposure that already faulted is stopped at once.
    void onStarted();
    void onSpectrum(const XrfSpectrum &spectrum) { lastSpectrum = spectrum; }
    // Faults the exposure and stops it when it runs.
    void onError(const XrfErrorInfo &error);
    // False for a second stop of the same exposure, which the step must ignore.
    bool onStopped();
};
