#include "simpoisson.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kInversionLimit = 10.0;

// ln(k!) without std::lgamma, which writes the global signgam and so races between threads.
double logFactorial(double k)
{
    static const double table[] = {0.0,
                                   0.0,
                                   0.6931471805599453,
                                   1.791759469228055,
                                   3.1780538303479458,
                                   4.787491742782046,
                                   6.579251212010101,
                                   8.525161361065415,
                                   10.60460290274525,
                                   12.801827480081469};
    if (k < 10)
        return table[int(k)];
    const double inverse = 1.0 / k;
    return k * std::log(k) - k + 0.5 * std::log(2.0 * 3.14159265358979323846 * k) + inverse / 12.0
        - inverse * inverse * inverse / 360.0;
}
} // namespace

unsigned int SimPoisson::operator()(double mean)
{
    if (!(mean > 0))
        return 0;
    return mean < kInversionLimit ? inversion(mean) : transformedRejection(mean);
}

unsigned int SimPoisson::inversion(double mean)
{
    const double limit = std::exp(-mean);
    double product = uniform();
    unsigned int k = 0;
    while (product > limit) {
        product *= uniform();
        ++k;
    }
    return k;
}

unsigned int SimPoisson::transformedRejection(double mean)
{
    const double logMean = std::log(mean);
    const double b = 0.931 + 2.53 * std::sqrt(mean);
    const double a = -0.059 + 0.02483 * b;
    const double inverseAlpha = 1.1239 + 1.1328 / (b - 3.4);
    const double vr = 0.9277 - 3.6224 / (b - 2.0);
    for (;;) {
        const double u = uniform() - 0.5;
        const double v = uniform();
        const double us = 0.5 - std::abs(u);
        const double k = std::floor((2.0 * a / us + b) * u + mean + 0.43);
        if (us >= 0.07 && v <= vr)
            return (unsigned int)k;
        if (k < 0 || (us < 0.013 && v > us))
            continue;
        if (std::log(v * inverseAlpha / (a / (us * us) + b))
            <= -mean + k * logMean - logFactorial(k))
            return (unsigned int)k;
    }
}

void accumulateCounts(const QVector<double> &perSecond, double seconds, SimPoisson &random,
                      QVector<quint32> *counts)
{
    const int channels = std::min(perSecond.size(), counts->size());
    const double *expected = perSecond.constData();
    quint32 *out = counts->data();
    for (int channel = 0; channel < channels; ++channel)
        out[channel] += random(expected[channel] * seconds);
}
