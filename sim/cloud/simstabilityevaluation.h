#pragma once

#include <QJsonObject>
#include <QStringList>

// How the manufacturing cloud judges an uploaded stability summary: the spread of the count rate,
// the peak position and the resolution over the shots, and how many shots needed a retry. A
// collimated run's spread is judged on the instrument (its Br/Cu ratio); the cloud counts its
// retries only.
struct SimStabilityLimits
{
    double countRateRsdMax = 0.01; // fraction
    double peakPositionRsdMax = 0.002; // fraction
    double resolutionSpreadMaxEv = 12;
    double retriedShotFractionMax = 0.1;
};

struct SimStabilityEvaluation
{
    bool passed = false;
    QStringList failures; // one line per criterion missed
    int shots = 0;
    int retriedShots = 0;
    double countRateRsd = 0;
    double peakPositionRsd = 0;
    double resolutionSpreadEv = 0;
    // PIN gain correction: the gain relative to the run's first shot (about 1), its change per
    // degree C of the analog front end, and the front end's mean temperature.
    double gainOffsetCorrection = 1;
    double gainSlopeCorrection = 0;
    double temperatureAtCal = 0;

    QJsonObject toJson() const;
};

SimStabilityEvaluation evaluateStabilitySummary(const QJsonObject &summary,
                                                const SimStabilityLimits &limits);
