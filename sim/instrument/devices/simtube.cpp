#include "simtube.h"

#include "simphysics.h"
#include "xrfengine.h"

#include <xraylib.h>

#include <cmath>

namespace {

constexpr double kContinuumBinKeV = 0.1;
constexpr double kLowestRayKeV = 1.0;
// Photons per second, per uA, per keV and per unit of anode Z at (E0/E - 1) = 1, into the beam.
constexpr double kKramersConstant = 1.0;
// Characteristic photons relative to the Kramers constant (sets the anode K-alpha near three
// times the continuum in a keV around it at 40 kV for rhodium).
constexpr double kCharacteristicConstant = 575.0;
constexpr double kCharacteristicExponent = 1.67;
// Anode self-absorption: mean production depth over the sine of the take-off angle.
constexpr double kAnodePathUm = 0.5 / 0.342;
constexpr int kMinNotReadyAnswers = 2;
constexpr float kPowerMargin = 1.001f;

double leavingAnode(const SimMaterial &anode, const SimMaterial &window, double energyKeV)
{
    const double chi = anode.massAttenuation(energyKeV) * anode.density * kAnodePathUm * 1.0e-4;
    const double selfAbsorption = chi > 1.0e-9 ? (1.0 - std::exp(-2.0 * chi)) / (2.0 * chi) : 1.0;
    return selfAbsorption * window.transmission(energyKeV);
}

void appendContinuum(const SimTubeSpec &tube, double kv, const SimMaterial &anode,
                     const SimMaterial &window, QVector<SimRay> *rays)
{
    const double binSigma = kContinuumBinKeV / std::sqrt(12.0);
    for (double e = kLowestRayKeV + kContinuumBinKeV / 2; e < kv; e += kContinuumBinKeV) {
        const double kramers = kKramersConstant * tube.anodeZ * (kv / e - 1.0) * kContinuumBinKeV;
        rays->append({e, kramers * leavingAnode(anode, window, e), binSigma});
    }
}

void appendCharacteristic(const SimTubeSpec &tube, double kv, const SimMaterial &anode,
                          const SimMaterial &window, QVector<SimRay> *rays)
{
    for (const SimPhysics::EmissionLine &line : SimPhysics::fluorescenceLines(tube.anodeZ)) {
        const double edge = SimPhysics::edgeEnergyKeV(tube.anodeZ, line.shell);
        if (edge <= 0 || kv <= edge)
            continue;
        const double overvoltage = std::pow(kv / edge - 1.0, kCharacteristicExponent);
        const double yield = SimPhysics::fluorescenceYield(tube.anodeZ, line.shell)
            * RadRate(tube.anodeZ, line.line, nullptr);
        rays->append({line.energyKeV,
                      kCharacteristicConstant * overvoltage * yield
                          * leavingAnode(anode, window, line.energyKeV),
                      0.0});
    }
}

} // namespace

QVector<SimRay> tubeEmission(const SimTubeSpec &tube, double kv)
{
    QVector<SimRay> rays;
    if (kv <= kLowestRayKeV)
        return rays;
    const SimMaterial anode = SimMaterial::element(tube.anodeZ);
    const SimMaterial window = SimMaterial::element(4, tube.beWindowUm);
    appendContinuum(tube, kv, anode, window, &rays);
    appendCharacteristic(tube, kv, anode, window, &rays);
    return rays;
}

int SimTube::setVoltage(float kv)
{
    if (!std::isfinite(kv) || kv < 0 || kv > m_spec.maxKv)
        return xrf_hal::EngineOutOfRange;
    m_kv = kv;
    return xrf_hal::EngineOk;
}

int SimTube::setCurrent(float ua)
{
    if (!std::isfinite(ua) || ua < 0 || ua > m_spec.maxUa)
        return xrf_hal::EngineOutOfRange;
    m_ua = ua;
    return xrf_hal::EngineOk;
}

int SimTube::enable(double nowMs)
{
    if (m_faultFlags)
        return xrf_hal::EngineTubeFault;
    if (m_kv < m_spec.minKv || m_kv * m_ua > m_spec.maxPowerW * 1000.0f * kPowerMargin)
        return xrf_hal::EngineOutOfRange;
    if (m_on)
        return xrf_hal::EngineOk;
    if (!m_enableRequested) {
        m_enableRequested = true;
        m_notReadyAnswers = 0;
        m_rampStartMs = nowMs;
    }
    if (m_notReadyAnswers < kMinNotReadyAnswers || nowMs - m_rampStartMs < m_spec.rampMs) {
        ++m_notReadyAnswers;
        return xrf_hal::EngineTubeNotReady;
    }
    m_on = true;
    m_lastReadyTimeMs = (unsigned int)std::min(nowMs - m_rampStartMs, 1.0e9);
    return xrf_hal::EngineOk;
}

void SimTube::disable()
{
    m_enableRequested = false;
    m_on = false;
}

float SimTube::voltageMonitored(double noise, double sagKv) const
{
    return m_on ? float((m_kv - sagKv) * (1.0 + 0.002 * noise)) : float(0.05 * std::abs(noise));
}

float SimTube::currentMonitored(double noise) const
{
    return m_on ? float(m_ua * (1.0 + 0.003 * noise)) : 0.0f;
}

void SimTube::setFaultFlags(unsigned short flags)
{
    m_faultFlags = flags;
    if (flags)
        disable();
}
