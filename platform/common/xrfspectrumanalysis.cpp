// Peak finding, resolution, energy scale and background rate of a spectrum.

#include "xrfspectrum.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

// Counts smoothed over five channels, so that counting noise does not end a walk early (three
// are not enough on the flanks of a wide peak of a few hundred counts).
double smoothed(const QVector<quint32> &data, int channel)
{
    const int first = std::max(channel - 2, 0);
    const int last = std::min(channel + 2, int(data.size()) - 1);
    double sum = 0;
    for (int c = first; c <= last; ++c)
        sum += data.at(c);
    return sum / (last - first + 1);
}

// Walks from the peak by `step` down to the valley where the counts stop falling. Above half
// the peak's top the walk is still on its flank, whatever the counting noise says.
int valleyFrom(const QVector<quint32> &data, int peak, int step, int limit)
{
    const double halfTop = smoothed(data, peak) / 2;
    int channel = peak;
    while (channel != limit
           && (smoothed(data, channel + step) <= smoothed(data, channel)
               || smoothed(data, channel) > halfTop))
        channel += step;
    return channel;
}

// Where the counts fall below `level` walking from `peak` by `step` towards `valley`,
// interpolated linearly between channels.
double crossing(int peak, int valley, int step, const std::function<double(int)> &net, double level)
{
    for (int channel = peak; channel != valley; channel += step) {
        const double here = net(channel);
        const double there = net(channel + step);
        if (there < level)
            return channel + step * (here - level) / std::max(here - there, 1e-9);
    }
    return valley;
}

} // namespace

bool XrfSpectrum::findMaxBin(int *index, int *count, int startChannel) const
{
    const int start = std::max(startChannel, 0);
    if (start >= m_data.size())
        return false;
    const auto highest = std::max_element(m_data.cbegin() + start, m_data.cend());
    if (index)
        *index = int(highest - m_data.cbegin());
    if (count)
        *count = int(*highest);
    return true;
}

bool XrfSpectrum::findPeak(int startChannel, int halfWindow, double *centre, double *width,
                           QVector<int> *channels) const
{
    const int last = int(m_data.size()) - 1;
    const int first = std::max(0, startChannel - halfWindow);
    const int end = std::min(last, startChannel + halfWindow);
    if (end - first < 2)
        return false;
    int peak =
        int(std::max_element(m_data.cbegin() + first, m_data.cbegin() + end + 1) - m_data.cbegin());
    // Counting noise can put the highest channel beside the top of the smoothed peak, where the
    // valley walks below would stop at once: climb to that top first.
    while (peak < end && smoothed(m_data, peak + 1) > smoothed(m_data, peak))
        ++peak;
    while (peak > first && smoothed(m_data, peak - 1) > smoothed(m_data, peak))
        --peak;
    // The peak stands on the straight line between the valleys at its two sides.
    const int reach = 4 * std::max(halfWindow, 1);
    const int left = valleyFrom(m_data, peak, -1, std::max(0, peak - reach));
    const int right = valleyFrom(m_data, peak, +1, std::min(last, peak + reach));
    const double leftLevel = smoothed(m_data, left);
    const double rightLevel = smoothed(m_data, right);
    const auto net = [&](int channel) {
        const double base = right == left
            ? leftLevel
            : leftLevel + (rightLevel - leftLevel) * (channel - left) / double(right - left);
        return m_data.at(channel) - base;
    };
    const double height = net(peak);
    if (height <= 0 || left == peak || right == peak)
        return false;
    const double low = crossing(peak, left, -1, net, height / 2);
    const double high = crossing(peak, right, +1, net, height / 2);
    if (centre)
        *centre = (low + high) / 2;
    if (width)
        *width = high - low;
    if (channels) {
        channels->clear();
        for (int channel = int(std::ceil(low)); channel <= int(std::floor(high)); ++channel)
            channels->append(channel);
    }
    return true;
}

double XrfSpectrum::calculateResolution(double e1, double e2, double *ch1, double *ch2) const
{
    const auto guess = [this](double energy, double *given) {
        if (given && *given > 0)
            return *given;
        return m_energySlope > 0 ? (energy - m_energyOffset) / m_energySlope : -1.0;
    };
    const double guess1 = guess(e1, ch1);
    const double guess2 = guess(e2, ch2);
    // A guess outside the spectrum (or not a number) finds no peak.
    const double channels = double(m_data.size());
    if (!(guess1 >= 0 && guess1 < channels && guess2 >= 0 && guess2 < channels))
        return -1;
    // Search a window of about three resolutions around each guess.
    const int window = std::max(10, int(std::lround(std::abs(guess2 - guess1) * 0.05)));
    double centre1 = 0, centre2 = 0, width1 = 0, width2 = 0;
    if (!findPeak(int(std::lround(guess1)), window, &centre1, &width1)
        || !findPeak(int(std::lround(guess2)), window, &centre2, &width2) || centre2 <= centre1)
        return -1;
    if (ch1)
        *ch1 = centre1;
    if (ch2)
        *ch2 = centre2;
    return width1 * (e2 - e1) / (centre2 - centre1);
}

bool XrfSpectrum::calculateSlopeAndOffset(double e1Kev, double e2Kev, double *slope,
                                          double *offset) const
{
    double ch1 = -1;
    double ch2 = -1;
    if (calculateResolution(e1Kev * 1000.0, e2Kev * 1000.0, &ch1, &ch2) < 0)
        return false;
    const double keVPerChannel = (e2Kev - e1Kev) / (ch2 - ch1);
    if (slope)
        *slope = keVPerChannel;
    if (offset)
        *offset = e1Kev - keVPerChannel * ch1;
    return true;
}

double XrfSpectrum::calculateBackgroundRate() const
{
    const double seconds = m_liveTime > 0 ? m_liveTime : m_realTime;
    if (seconds <= 0)
        return 0;
    return double(sumCountsInRegion(0, m_data.size() - 1)) / seconds;
}
