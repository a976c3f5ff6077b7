#pragma once

// The check that the sample at the window is the one a beam asks for: the spectrum must show
// the expected line of the sample's material where the energy scale puts it (or, for a negative
// check, must not show it as the dominant peak there).

#include "xrfspectrum.h"

struct BeamPeakCheck
{
    // The element whose K-alpha line is looked for; empty: the sample has no check.
    QString symbol;
    bool positive = true;

    // What the last run found.
    double expectedChannel = 0;
    int expectedChannelInt = 0;
    double slope = 0; // eV per channel
    double offset = 0; // eV
    double peakPosition = 0;
    double peakWidth = 0;
    int maxIndex = 0;
    int maxCount = 0;
    bool locationOk = false;
    bool heightOk = false;
    bool passed = false;
    double realTime = 0;
    // Set when the spectrum cannot be checked at all (no energy scale).
    QString error;

    // The check for a target sample: names are matched as substrings, case-insensitively, in the
    // order SS316, Al, SiO2.
    static BeamPeakCheck forSample(const QString &targetSample, float beamKv);
    bool isNeeded() const { return !symbol.isEmpty(); }
    // Runs the check on the spectrum; true when it passes.
    bool run(const XrfSpectrum &spectrum);
    // The log text of the last run.
    QString describe() const;
};
