#pragma once

#include <QVector>

#include <random>

// Poisson variates from a seeded std::mt19937: inversion for small means, Hoermann's
// transformed rejection (PTRS) for large ones. Cheaper than std::poisson_distribution when the
// mean changes with every call, as it does channel by channel.
class SimPoisson
{
public:
    explicit SimPoisson(unsigned int seed = 5489u) : m_engine(seed) { }

    void seed(unsigned int seed) { m_engine.seed(seed); }
    unsigned int operator()(double mean);
    // One 32-bit draw per variate, in (0, 1): plenty of resolution for counting noise.
    double uniform() { return (double(m_engine()) + 0.5) * (1.0 / 4294967296.0); }
    double normal() { return m_normal(m_engine); }

private:
    unsigned int inversion(double mean);
    unsigned int transformedRejection(double mean);

    std::mt19937 m_engine;
    std::normal_distribution<double> m_normal{0.0, 1.0};
};

// One spectrum update: adds `seconds` of counting to `counts`, a Poisson variate around
// perSecond x seconds in every channel. The exposure runner calls it once per exposure second.
void accumulateCounts(const QVector<double> &perSecond, double seconds, SimPoisson &random,
                      QVector<quint32> *counts);
