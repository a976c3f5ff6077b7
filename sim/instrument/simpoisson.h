#pragma once

#include <random>

// Poisson variates from a seeded std::mt19937: inversion for small means, Hoermann's
// transformed rejection (PTRS) for large ones. Cheaper than std::poisson_distribution when the
// mean changes with every call, as it does channel by channel.
class SimPoisson
{
public:
    explicit SimPoisson(unsigned int seed = 5489u) : m_engine(seed) {}

    void seed(unsigned int seed) { m_engine.seed(seed); }
    unsigned int operator()(double mean);
    double uniform() { return m_uniform(m_engine); }
    double normal() { return m_normal(m_engine); }

private:
    unsigned int inversion(double mean);
    unsigned int transformedRejection(double mean);

    std::mt19937 m_engine;
    std::uniform_real_distribution<double> m_uniform{0.0, 1.0};
    std::normal_distribution<double> m_normal{0.0, 1.0};
};
