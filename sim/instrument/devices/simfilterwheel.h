#pragma once

#include "xrfengine.h"

#include <QString>
#include <QVector>

class SimPoisson;

// One hole of a filter wheel assembly: the foil over it and where its centre lies on the
// encoder (nominal, as the drawing gives it).
struct SimWheelHole
{
    int materialAtomicNumber = 0; // 0: open
    int thicknessUm = 0;
    int diameterUm = 2718;
    int nominalEncoder = 0;
};

// A filter wheel assembly by part number. The holes of a built wheel sit `unitShiftTicks` away
// from the drawing, which the filter scan measures. A wheel without motor is a fixed filter:
// its hole 0 stays in the beam.
struct SimWheelAssembly
{
    QString partNumber;
    bool motorized = true;
    unsigned short encoderMin = 100;
    unsigned short encoderMax = 3700;
    double micronsPerTick = 20.0;
    int unitShiftTicks = 0;
    QVector<SimWheelHole> holes;

    static QStringList partNumbers();
    static SimWheelAssembly byPartNumber(const QString &partNumber, int unitShiftTicks);
    int trueEncoder(int position) const
    {
        return holes.at(position).nominalEncoder + unitShiftTicks;
    }
    // The default controller table (nominal encoders) of this assembly.
    QVector<xrf_hal::FilterParams> nominalTable() const;
};

// The wheel is not light-tight: this fraction of the primary beam scatters around its rim and
// reaches the sample at any position, so a blocked position still counts a few cps with the tube
// on (a detector that counts nothing there is broken).
constexpr double kWheelRimLeakFraction = 2.0e-5;

// Fraction of the beam (Gaussian profile of kBeamSigmaUm at the wheel, as the detector sees it)
// that a hole of the diameter passes when its centre is offsetUm away from the beam axis. The
// 2718 um and 482 um holes pass about 3:1. Off-centre, the bore of the thick wheel vignettes the
// beam a little more, so the rate peaks with the hole centred.
double apertureAcceptance(double diameterUm, double offsetUm);

// The wheel's motion: a servo that drives the encoder towards its set point at a fixed speed and
// stops within the tolerance. Times are instrument ms.
class SimFilterWheel
{
public:
    static constexpr double kTicksPerMs = 5.0;
    static constexpr double kFailTimeoutMs = 2000.0;
    static constexpr double kHomeTimeMs = 850.0;

    explicit SimFilterWheel(const SimWheelAssembly &assembly);

    const SimWheelAssembly &assembly() const { return m_assembly; }
    int moveTo(unsigned short target, unsigned short tolerance, double nowMs, SimPoisson &random);
    void update(double nowMs);
    void setJammed(bool jammed) { m_jammed = jammed; }
    // A worn servo lands `factor` times farther from its set point.
    void setLandingJitter(double factor) { m_landingJitter = factor; }
    // See SimFaults::setWheelPinionSlip. The wheel counts its long moves itself.
    void setPinionSlip(int afterLongMoves, int every)
    {
        m_slipAfterLongMoves = afterLongMoves;
        m_slipEvery = every;
    }
    // Drills the holes of one diameter out to another, as a wrong collimator insert would; the
    // controller's filter table is not told.
    void reboreHoles(int fromDiameterUm, int toDiameterUm)
    {
        for (SimWheelHole &hole : m_assembly.holes)
            if (hole.diameterUm == fromDiameterUm)
                hole.diameterUm = toDiameterUm;
    }

    unsigned short encoderMonitored() const { return (unsigned short)qRound(m_encoder); }
    unsigned short encoderSetPoint() const { return m_target; }
    unsigned char moveStatus() const { return m_status; }
    unsigned int lastMoveTimeMs() const { return m_lastMoveTimeMs; }
    unsigned short oscillations() const { return m_oscillations; }

private:
    SimWheelAssembly m_assembly;
    double m_encoder = 0;
    double m_startEncoder = 0;
    double m_landing = 0;
    double m_moveStartMs = 0;
    unsigned short m_target = 0;
    unsigned char m_status = xrf_hal::FilterMoveInPosition;
    unsigned int m_lastMoveTimeMs = 0;
    unsigned short m_oscillations = 0;
    bool m_jammed = false;
    double m_landingJitter = 1.0;
    int m_slipAfterLongMoves = 0;
    int m_slipEvery = 0;
    int m_longMoves = 0;
    bool m_slipping = false; // the current move slips
};
