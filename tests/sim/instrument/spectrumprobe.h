#pragma once

#include "simbeam.h"
#include "simengine.h"
#include "siminstrument.h"
#include "simstate.h"

#include <QVector>

#include <cmath>

// Helpers of the instrument tests: spectra computed straight from the instrument's physics, and
// a peak centroid that does not depend on the library's peak finder.
namespace SpectrumProbe {

// The expected spectrum (counts per second) of the instrument as it stands, with the tube on at
// the given settings and the wheel centred on the hole of `position` (as after a filter scan).
inline SimDetectorResponse expected(SimInstrument &instrument, float kv, float ua, int position)
{
    SimState &state = instrument.state();
    const auto lock = state.lock();
    state.tube().setVoltage(kv);
    state.tube().setCurrent(ua);
    if (state.wheel().assembly().motorized) {
        const unsigned short encoder =
            (unsigned short)state.wheel().assembly().trueEncoder(position);
        state.wheel().moveTo(encoder, 0, state.nowMs(), state.random());
        state.wheel().update(state.nowMs() + 1.0e7);
    }
    SimBeamSnapshot snapshot = state.beamSnapshot();
    snapshot.xraysOn = true;
    return SimBeam::respond(state.detector(), snapshot, true);
}

// Centroid of the counts within `halfWidth` channels of `guess`, above the straight line that
// joins the window's edges.
inline double centroid(const QVector<double> &counts, double guess, int halfWidth)
{
    const int first = std::max(0, int(guess) - halfWidth);
    const int last = std::min(counts.size() - 1, int(guess) + halfWidth);
    const double left = counts.at(first);
    const double right = counts.at(last);
    double sum = 0;
    double weighted = 0;
    for (int channel = first; channel <= last; ++channel) {
        const double background = left + (right - left) * (channel - first) / double(last - first);
        const double net = std::max(0.0, counts.at(channel) - background);
        sum += net;
        weighted += net * channel;
    }
    return sum > 0 ? weighted / sum : -1;
}

// Full width at half maximum, in channels, of the peak nearest `guess` (linear interpolation).
inline double fwhmChannels(const QVector<double> &counts, double guess, int halfWidth)
{
    int top = int(guess);
    for (int c = int(guess) - halfWidth; c <= int(guess) + halfWidth; ++c)
        if (counts.at(c) > counts.at(top))
            top = c;
    const double half = counts.at(top) / 2.0;
    int low = top;
    while (low > 0 && counts.at(low) > half)
        --low;
    int high = top;
    while (high < counts.size() - 1 && counts.at(high) > half)
        ++high;
    const double lowEdge = low + (half - counts.at(low)) / (counts.at(low + 1) - counts.at(low));
    const double highEdge =
        high - (half - counts.at(high)) / (counts.at(high - 1) - counts.at(high));
    return highEdge - lowEdge;
}

inline QVector<double> toDouble(const QVector<quint32> &counts)
{
    QVector<double> out;
    out.reserve(counts.size());
    for (quint32 c : counts)
        out.append(c);
    return out;
}

} // namespace SpectrumProbe
