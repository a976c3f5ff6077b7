#include "simfilterwheel.h"

#include "simpoisson.h"

#include <QStringList>

#include <cmath>

namespace {

constexpr double kBeamSigmaUm = 268.0;
// The wheel is a thick plate: off-centre, the bore's wall shades part of the divergent beam, so
// even a hole much wider than the beam passes most when centred.
constexpr double kBoreVignettingUm = 1000.0;
constexpr int kOpen = 2718;
constexpr int kCollimated = 482;
constexpr int kPitch = 320;
constexpr int kFirstHole = 250;

SimWheelHole hole(int position, int z, int thicknessUm, int diameterUm)
{
    return {z, thicknessUm, diameterUm, kFirstHole + kPitch * position};
}

// F7 is tungsten on every wheel but ASSY-20772; F3 passes more than F5 on ASSY-20853 and less on
// ASSY-20854 and 10-039443-00; pairs of open and collimated holes share material and thickness.
QVector<SimWheelHole> holesOf(const QString &partNumber)
{
    if (partNumber == QLatin1String("ASSY-20772"))
        return {hole(0, 0, 0, kOpen),          hole(1, 13, 100, kOpen),
                hole(2, 13, 100, kCollimated), hole(3, 22, 25, kOpen),
                hole(4, 13, 2000, kOpen),      hole(5, 29, 250, kOpen),
                hole(6, 22, 25, kCollimated),  hole(7, 13, 500, kOpen),
                hole(8, 74, 1000, kOpen),      hole(9, 13, 2000, kCollimated)};
    if (partNumber == QLatin1String("ASSY-20854"))
        return {hole(0, 0, 0, kOpen),          hole(1, 13, 100, kOpen),
                hole(2, 13, 100, kCollimated), hole(3, 29, 250, kOpen),
                hole(4, 13, 2000, kOpen),      hole(5, 22, 25, kOpen),
                hole(6, 22, 25, kCollimated),  hole(7, 74, 1000, kOpen),
                hole(8, 42, 100, kOpen),       hole(9, 13, 2000, kCollimated)};
    if (partNumber == QLatin1String("10-039443-00"))
        return {hole(0, 0, 0, kOpen),          hole(1, 13, 100, kOpen),
                hole(2, 13, 100, kCollimated), hole(3, 47, 50, kOpen),
                hole(4, 13, 2000, kOpen),      hole(5, 13, 500, kOpen),
                hole(6, 22, 25, kCollimated),  hole(7, 74, 1000, kOpen),
                hole(8, 22, 25, kOpen),        hole(9, 13, 2000, kCollimated)};
    if (partNumber == QLatin1String("ASSY-20815") || partNumber == QLatin1String("10-048392-00"))
        return {hole(0, 13, 100, kOpen)};
    return {hole(0, 0, 0, kOpen),          hole(1, 13, 100, kOpen),  hole(2, 13, 100, kCollimated),
            hole(3, 22, 25, kOpen),        hole(4, 13, 2000, kOpen), hole(5, 29, 250, kOpen),
            hole(6, 22, 25, kCollimated),  hole(7, 74, 1000, kOpen), hole(8, 42, 100, kOpen),
            hole(9, 13, 2000, kCollimated)};
}

double normalCdf(double x)
{
    return 0.5 * std::erfc(-x / std::sqrt(2.0));
}

// The Gaussian beam's fraction inside a disc whose centre is `offset` um off the beam axis.
double discAcceptance(double diameterUm, double offset)
{
    const double radius = diameterUm / 2.0;
    if (radius <= 0)
        return 0;
    if (offset > radius + 6 * kBeamSigmaUm)
        return 0;
    if (offset < 1e-9)
        return 1.0 - std::exp(-radius * radius / (2 * kBeamSigmaUm * kBeamSigmaUm));
    // Integrate the Gaussian over the disc: strips along x, the y extent through the normal CDF.
    const int steps = 96;
    const double dx = 2 * radius / steps;
    double sum = 0;
    for (int i = 0; i < steps; ++i) {
        const double u = -radius + (i + 0.5) * dx;
        const double halfChord = std::sqrt(std::max(0.0, radius * radius - u * u));
        const double x = offset + u;
        const double gx = std::exp(-x * x / (2 * kBeamSigmaUm * kBeamSigmaUm))
            / (std::sqrt(2 * 3.14159265358979323846) * kBeamSigmaUm);
        sum +=
            gx * (normalCdf(halfChord / kBeamSigmaUm) - normalCdf(-halfChord / kBeamSigmaUm)) * dx;
    }
    return sum;
}

} // namespace

QStringList SimWheelAssembly::partNumbers()
{
    return {QStringLiteral("ASSY-20853"), QStringLiteral("ASSY-20854"),
            QStringLiteral("ASSY-20772"), QStringLiteral("10-039443-00"),
            QStringLiteral("ASSY-20815"), QStringLiteral("10-048392-00")};
}

SimWheelAssembly SimWheelAssembly::byPartNumber(const QString &partNumber, int unitShiftTicks)
{
    SimWheelAssembly assembly;
    assembly.partNumber = partNumber;
    assembly.holes = holesOf(partNumber);
    assembly.motorized = assembly.holes.size() > 1;
    assembly.unitShiftTicks = assembly.motorized ? unitShiftTicks : 0;
    return assembly;
}

QVector<xrf_hal::FilterParams> SimWheelAssembly::nominalTable() const
{
    QVector<xrf_hal::FilterParams> table;
    for (const SimWheelHole &h : holes)
        table.append({(unsigned short)h.nominalEncoder, (unsigned short)h.materialAtomicNumber,
                      (unsigned short)h.thicknessUm, (unsigned short)h.diameterUm});
    return table;
}

double apertureAcceptance(double diameterUm, double offsetUm)
{
    const double offset = std::abs(offsetUm);
    return discAcceptance(diameterUm, offset)
        * std::exp(-offset * offset / (2 * kBoreVignettingUm * kBoreVignettingUm));
}

SimFilterWheel::SimFilterWheel(const SimWheelAssembly &assembly) : m_assembly(assembly)
{
    m_encoder = assembly.motorized ? assembly.trueEncoder(0) : 0;
    m_target = (unsigned short)m_encoder;
    m_landing = m_encoder;
    m_lastMoveTimeMs = (unsigned int)kHomeTimeMs;
}

int SimFilterWheel::moveTo(unsigned short target, unsigned short tolerance, double nowMs,
                           SimPoisson &random)
{
    if (!m_assembly.motorized)
        return xrf_hal::EngineNotPresent;
    if (target < m_assembly.encoderMin || target > m_assembly.encoderMax)
        return xrf_hal::EngineOutOfRange;
    update(nowMs);
    // A move across more than half the travel asks the most of the pinion.
    const bool longMove =
        std::abs(int(target) - m_encoder) * 2 > m_assembly.encoderMax - m_assembly.encoderMin;
    if (longMove)
        ++m_longMoves;
    m_slipping = longMove && m_slipEvery > 0 && m_longMoves > m_slipAfterLongMoves
        && (m_longMoves - m_slipAfterLongMoves) % m_slipEvery == 0;
    m_startEncoder = m_encoder;
    m_target = target;
    // The servo stops once inside the tolerance band, a little short or past the set point.
    const double band = m_landingJitter * tolerance;
    const double error = std::clamp(random.normal() * 0.35 * band, -band, band);
    m_landing = target + error;
    m_moveStartMs = nowMs;
    m_oscillations = (unsigned short)(random.uniform() < 0.2 ? 1 : 0);
    m_status = xrf_hal::FilterMoving;
    return xrf_hal::EngineOk;
}

void SimFilterWheel::update(double nowMs)
{
    if (m_status != xrf_hal::FilterMoving)
        return;
    const double elapsed = nowMs - m_moveStartMs;
    if (m_jammed || m_slipping) {
        if (elapsed >= kFailTimeoutMs)
            m_status = xrf_hal::FilterMoveFailed;
        return;
    }
    const double distance = m_landing - m_startEncoder;
    const double travelMs = std::abs(distance) / kTicksPerMs;
    if (elapsed >= travelMs) {
        m_encoder = m_landing;
        m_status = xrf_hal::FilterMoveInPosition;
        m_lastMoveTimeMs = (unsigned int)travelMs;
        return;
    }
    m_encoder = m_startEncoder + distance * elapsed / travelMs;
}
