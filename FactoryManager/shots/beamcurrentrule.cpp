#include "beamcurrentrule.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace {

const QString kAboveAtMax =
    QStringLiteral("ICR above target at max current.  Retrying...  icr:%1 icrTolerance:%2 "
                   "targetICR:%3");
const QString kBelowAtMin =
    QStringLiteral("ICR below target at min current.  Retrying...  icr:%1 icrTolerance:%2 "
                   "targetICR:%3");
const QString kNoDimmerTarget =
    QStringLiteral("%1: ICR %2cps still not within %3cps tolerance of %4cps targetIcr value "
                   "despite current being at %5uA. targetIcrDim is not set.");
const QString kCheckingDimmerTarget =
    QStringLiteral("Tube current: %1uA is at max value and ICR:%2 is still not within tolerance "
                   "+-%3 of targetICR: %4. Checking against targetIcrDim: %5...");
const QString kWithinDimmerTarget =
    QStringLiteral("ICR for beam '%1' is within tolerance of targetIcrDim: %2.");
const QString kReshootForDimmerTarget =
    QStringLiteral("Re-shooting the beam '%1' for targetIcrDim: %2. Original targerIcr:%3");
const QString kDimmerTargetMissed =
    QStringLiteral("%1: ICR %2cps still not within %3cps tolerance of %4cps targetIcrDim value "
                   "despite current being at %5uA.");
const QString kTargetMissedAtMin =
    QStringLiteral("%1:  ICR %2cps still not within %3cps tolerance of %4cps target value "
                   "despite current being at %5uA");
const QString kTargetMissedAfterIterations =
    QStringLiteral("%1:  ICR %2cps still not within %3cps tolerance of %4cps target value after "
                   "%5 iterations");

// Numbers in the texts as QString::arg(double) shows them: six significant digits.
QString shown(double value)
{
    return QString::number(value);
}

// The beam's numbers in the order the failure texts use them.
QString failureText(const QString &text, const XrfBeamInfo &beam, double icr, double target,
                    double last)
{
    return text.arg(beam.beamName(), shown(icr), shown(beam.icrTolerance()), shown(target),
                    shown(last));
}

// The current that scales the count rate to the target, within the limits.
float scaledCurrent(double target, float current, double icr, const BeamCurrentLimits &limits)
{
    double next = icr > 0 ? target * (double(current) / icr) : double(limits.maxUa);
    if (!std::isfinite(next))
        next = limits.maxUa;
    next = std::min(next, double(limits.maxUa));
    next = std::max(next, double(limits.minUa));
    return float(next);
}

BeamShotDecision finished(BeamShotDecision::Action action, float current, const QString &message,
                          QStringList notes = QStringList())
{
    BeamShotDecision decision;
    decision.action = action;
    decision.currentUa = current;
    decision.message = message;
    decision.notes = notes;
    return decision;
}

} // namespace

BeamCurrentLimits BeamCurrentLimits::fromTube(int maxPowerW, int minCurrentUa, int maxCurrentUa,
                                              float kv, int defaultPowerW)
{
    BeamCurrentLimits limits;
    limits.minUa = float(minCurrentUa);
    limits.maxUa = float(maxCurrentUa);
    const int power = maxPowerW == 0 ? defaultPowerW : maxPowerW;
    if (kv > 0) {
        const double powerLimited = double(power) * 1000.0 / double(kv);
        if (powerLimited < limits.maxUa)
            limits.maxUa = float(std::trunc(powerLimited));
    }
    return limits;
}

BeamShotDecision decideBeamCurrent(const XrfBeamInfo &beam, double icr, float currentUa,
                                   const BeamCurrentLimits &limits, int iteration,
                                   int maxIterations)
{
    const double target = beam.targetICR();
    const double tolerance = beam.icrTolerance();
    const double dimmer = beam.targetIcrDim();
    if (std::abs(icr - target) < tolerance)
        return finished(BeamShotDecision::Success, currentUa, QString());

    BeamShotDecision retry;
    if (currentUa == limits.maxUa) {
        if (icr - tolerance > target) {
            retry.notes << kAboveAtMax.arg(shown(icr), shown(tolerance), shown(target));
        } else if (!beam.hasTargetIcrDim()) {
            return finished(BeamShotDecision::CurrentLimitReached, currentUa,
                            failureText(kNoDimmerTarget, beam, icr, target, currentUa));
        } else {
            retry.notes << kCheckingDimmerTarget.arg(shown(currentUa), shown(icr), shown(tolerance),
                                                     shown(target), shown(dimmer));
            if (std::abs(icr - dimmer) < tolerance) {
                retry.notes << kWithinDimmerTarget.arg(beam.beamName(), shown(dimmer));
                BeamShotDecision success =
                    finished(BeamShotDecision::Success, currentUa, QString(), retry.notes);
                success.switchToDimmerTarget = !beam.isUsingDimmerTargetIcr();
                return success;
            }
            if (beam.isUsingDimmerTargetIcr())
                return finished(BeamShotDecision::CurrentLimitReached, currentUa,
                                failureText(kDimmerTargetMissed, beam, icr, target, currentUa),
                                retry.notes);
            retry.notes << kReshootForDimmerTarget.arg(beam.beamName(), shown(dimmer),
                                                       shown(target));
            retry.switchToDimmerTarget = true;
            retry.restartIterations = true;
        }
    } else if (currentUa == limits.minUa) {
        if (!(target > icr + tolerance))
            return finished(BeamShotDecision::CurrentLimitReached, currentUa,
                            failureText(kTargetMissedAtMin, beam, icr, target, currentUa));
        retry.notes << kBelowAtMin.arg(shown(icr), shown(tolerance), shown(target));
    }
    if (!retry.restartIterations && iteration >= maxIterations)
        return finished(BeamShotDecision::MaxAttemptsReached, currentUa,
                        failureText(kTargetMissedAfterIterations, beam, icr, target, maxIterations),
                        retry.notes);
    retry.action = BeamShotDecision::Retry;
    retry.currentUa = scaledCurrent(target, currentUa, icr, limits);
    return retry;
}
