#include "simfaults.h"

#include <algorithm>
#include <cmath>

using Lock = std::lock_guard<std::mutex>;

void SimFaults::failOperation(const QString &operation, int code, int times)
{
    Lock lock(m_mutex);
    m_operations.insert(operation, {code, times});
}

void SimFaults::clearOperation(const QString &operation)
{
    Lock lock(m_mutex);
    m_operations.remove(operation);
}

int SimFaults::takeOperationCode(const char *operation)
{
    const QString name = QString::fromLatin1(operation);
    Lock lock(m_mutex);
    ++m_calls[name];
    auto it = m_operations.find(name);
    if (it == m_operations.end())
        return 0;
    const int code = it->code;
    if (it->remaining != kAlways && --it->remaining <= 0)
        m_operations.erase(it);
    return code;
}

int SimFaults::operationCalls(const QString &operation) const
{
    Lock lock(m_mutex);
    return m_calls.value(operation);
}

int SimFaults::totalOperationCalls() const
{
    Lock lock(m_mutex);
    int total = 0;
    for (const int calls : m_calls)
        total += calls;
    return total;
}

void SimFaults::endExposureAfter(double seconds,
                                 XrfHardwareManager::XrfExposureEndCondition condition,
                                 bool tubeStillOn, int times)
{
    ExposureFault fault;
    fault.atSeconds = seconds;
    fault.endCondition = condition;
    fault.tubeStillOn = tubeStillOn;
    Lock lock(m_mutex);
    m_exposureFaults.append({fault, times});
}

void SimFaults::raiseHardwareErrorAfter(double seconds, const XrfErrorInfo &error,
                                        bool endsExposure, int times)
{
    ExposureFault fault;
    fault.atSeconds = seconds;
    fault.raisesError = true;
    fault.endCondition = XrfHardwareManager::EndHardwareError;
    fault.error = error;
    fault.endsExposure = endsExposure;
    Lock lock(m_mutex);
    m_exposureFaults.append({fault, times});
}

void SimFaults::addExposureFault(const ExposureFault &fault, int times)
{
    Lock lock(m_mutex);
    m_exposureFaults.append({fault, times});
}

QVector<SimFaults::ExposureFault> SimFaults::takeExposureFaults(double tubeOnSeconds)
{
    QVector<ExposureFault> faults;
    Lock lock(m_mutex);
    for (CountedExposureFault &counted : m_exposureFaults) {
        if (counted.fault.afterTubeOnSeconds > tubeOnSeconds)
            continue;
        faults.append(counted.fault);
        if (counted.remaining != kAlways)
            --counted.remaining;
    }
    m_exposureFaults.erase(
        std::remove_if(m_exposureFaults.begin(), m_exposureFaults.end(),
                       [](const CountedExposureFault &f) { return f.remaining == 0; }),
        m_exposureFaults.end());
    std::stable_sort(
        faults.begin(), faults.end(),
        [](const ExposureFault &a, const ExposureFault &b) { return a.atSeconds < b.atSeconds; });
    return faults;
}

void SimFaults::overrideSensor(const QString &getter, double value)
{
    overrideSensor(getter, QVector<double>{value});
}

void SimFaults::overrideSensor(const QString &getter, const QVector<double> &values)
{
    Lock lock(m_mutex);
    m_sensors.insert(getter, values);
}

void SimFaults::clearSensorOverride(const QString &getter)
{
    Lock lock(m_mutex);
    m_sensors.remove(getter);
}

std::optional<QVector<double>> SimFaults::sensorOverride(const char *getter) const
{
    Lock lock(m_mutex);
    const auto it = m_sensors.constFind(QString::fromLatin1(getter));
    if (it == m_sensors.constEnd())
        return std::nullopt;
    return it.value();
}

void SimFaults::overrideSpectrum(const QVector<quint32> &countsPerSecond)
{
    Lock lock(m_mutex);
    m_spectrum = countsPerSecond;
}

void SimFaults::clearSpectrumOverride()
{
    Lock lock(m_mutex);
    m_spectrum.reset();
}

std::optional<QVector<quint32>> SimFaults::spectrumOverride() const
{
    Lock lock(m_mutex);
    return m_spectrum;
}

void SimFaults::overrideRegister(quint16 address, quint32 value)
{
    Lock lock(m_mutex);
    m_registers.insert(address, value);
}

void SimFaults::clearRegisterOverride(quint16 address)
{
    Lock lock(m_mutex);
    m_registers.remove(address);
}

std::optional<quint32> SimFaults::registerOverride(quint16 address) const
{
    Lock lock(m_mutex);
    const auto it = m_registers.constFind(address);
    if (it == m_registers.constEnd())
        return std::nullopt;
    return it.value();
}

void SimFaults::setCoolerMaxDeltaC(std::optional<double> maxDeltaC)
{
    Lock lock(m_mutex);
    m_coolerMaxDeltaC = maxDeltaC;
}

std::optional<double> SimFaults::coolerMaxDeltaC() const
{
    Lock lock(m_mutex);
    return m_coolerMaxDeltaC;
}

void SimFaults::setFilterWheelJammed(bool jammed)
{
    Lock lock(m_mutex);
    m_wheelJammed = jammed;
}

bool SimFaults::filterWheelJammed() const
{
    Lock lock(m_mutex);
    return m_wheelJammed;
}

void SimFaults::setExtraDarkRate(double cps)
{
    Lock lock(m_mutex);
    m_extraDarkRate = std::max(0.0, cps);
}

double SimFaults::extraDarkRate() const
{
    Lock lock(m_mutex);
    return m_extraDarkRate;
}

void SimFaults::setFpgaGainWritesLost(bool lost)
{
    Lock lock(m_mutex);
    m_fpgaGainWritesLost = lost;
}

bool SimFaults::fpgaGainWritesLost() const
{
    Lock lock(m_mutex);
    return m_fpgaGainWritesLost;
}

void SimFaults::setTubeEmissionFactor(double factor)
{
    Lock lock(m_mutex);
    m_tubeEmissionFactor = std::max(0.0, factor);
}

double SimFaults::tubeEmissionFactor() const
{
    Lock lock(m_mutex);
    return m_tubeEmissionFactor;
}

void SimFaults::setShieldingGap(double fraction)
{
    Lock lock(m_mutex);
    m_shieldingGap = std::min(1.0, std::max(0.0, fraction));
}

double SimFaults::shieldingGap() const
{
    Lock lock(m_mutex);
    return m_shieldingGap;
}

void SimFaults::setTubeOutputSag(double fraction, double timeConstantSeconds)
{
    Lock lock(m_mutex);
    m_sagFraction = std::clamp(fraction, 0.0, 1.0);
    m_sagTimeConstantSeconds = std::max(1.0, timeConstantSeconds);
}

double SimFaults::tubeOutputSagFactor(double tubeOnSeconds) const
{
    Lock lock(m_mutex);
    return 1.0 - m_sagFraction * (1.0 - std::exp(-tubeOnSeconds / m_sagTimeConstantSeconds));
}

void SimFaults::setFocalSpotDrift(double micronsPerMinute)
{
    Lock lock(m_mutex);
    m_focalSpotDriftPerMinute = micronsPerMinute;
}

double SimFaults::focalSpotDriftMicrons(double tubeOnSeconds) const
{
    Lock lock(m_mutex);
    return m_focalSpotDriftPerMinute * tubeOnSeconds / 60.0;
}

void SimFaults::setFilterWheelLandingJitter(double factor, double afterTubeOnSeconds)
{
    Lock lock(m_mutex);
    m_wheelLandingJitter = std::max(1.0, factor);
    m_wheelJitterAfterSeconds = afterTubeOnSeconds;
}

double SimFaults::filterWheelLandingJitter(double tubeOnSeconds) const
{
    Lock lock(m_mutex);
    return tubeOnSeconds >= m_wheelJitterAfterSeconds ? m_wheelLandingJitter : 1.0;
}

void SimFaults::setWindowResidue(const SimMaterial &film)
{
    Lock lock(m_mutex);
    m_windowResidue = film;
}

std::optional<SimMaterial> SimFaults::windowResidue() const
{
    Lock lock(m_mutex);
    return m_windowResidue;
}

void SimFaults::setTubeVoltageSagKv(double kv)
{
    Lock lock(m_mutex);
    m_tubeVoltageSagKv = std::max(0.0, kv);
}

double SimFaults::tubeVoltageSagKv() const
{
    Lock lock(m_mutex);
    return m_tubeVoltageSagKv;
}

void SimFaults::setWheelPinionSlip(const PinionSlip &slip)
{
    Lock lock(m_mutex);
    m_pinionSlip = slip;
}

SimFaults::PinionSlip SimFaults::wheelPinionSlip() const
{
    Lock lock(m_mutex);
    return m_pinionSlip;
}

void SimFaults::clear()
{
    Lock lock(m_mutex);
    m_operations.clear();
    m_exposureFaults.clear();
    m_sensors.clear();
    m_spectrum.reset();
    m_registers.clear();
    m_coolerMaxDeltaC.reset();
    m_wheelJammed = false;
    m_extraDarkRate = 0;
    m_fpgaGainWritesLost = false;
    m_tubeEmissionFactor = 1.0;
    m_shieldingGap = 0;
    m_sagFraction = 0;
    m_focalSpotDriftPerMinute = 0;
    m_wheelLandingJitter = 1.0;
    m_wheelJitterAfterSeconds = 0;
    m_windowResidue.reset();
    m_tubeVoltageSagKv = 0;
    m_pinionSlip = PinionSlip();
}

QStringList SimFaults::describe() const
{
    QStringList lines;
    Lock lock(m_mutex);
    for (auto it = m_operations.cbegin(); it != m_operations.cend(); ++it)
        lines.append(QStringLiteral("%1 returns %2 (%3)")
                         .arg(it.key())
                         .arg(it->code)
                         .arg(it->remaining == kAlways
                                  ? QStringLiteral("always")
                                  : QStringLiteral("%1 more").arg(it->remaining)));
    for (const CountedExposureFault &counted : m_exposureFaults)
        lines.append(
            counted.fault.silences
                ? QStringLiteral("exposures go silent after %1 s").arg(counted.fault.atSeconds)
                : counted.fault.raisesError
                ? QStringLiteral("exposures raise hardware error %1 after %2 s")
                      .arg(counted.fault.error.errorCode())
                      .arg(counted.fault.atSeconds)
                : QStringLiteral("exposures end with condition %1 after %2 s")
                      .arg(int(counted.fault.endCondition))
                      .arg(counted.fault.atSeconds));
    for (auto it = m_sensors.cbegin(); it != m_sensors.cend(); ++it)
        lines.append(QStringLiteral("%1 reads %2").arg(it.key()).arg(it->value(0)));
    for (auto it = m_registers.cbegin(); it != m_registers.cend(); ++it)
        lines.append(QStringLiteral("register 0x%1 reads %2")
                         .arg(it.key(), 4, 16, QLatin1Char('0'))
                         .arg(it.value()));
    if (m_spectrum)
        lines.append(QStringLiteral("exposures deliver an override spectrum"));
    if (m_coolerMaxDeltaC)
        lines.append(QStringLiteral("detector cooler reaches only %1 C below ambient")
                         .arg(*m_coolerMaxDeltaC));
    if (m_wheelJammed)
        lines.append(QStringLiteral("filter wheel jammed"));
    if (m_extraDarkRate > 0)
        lines.append(QStringLiteral("detector noise adds %1 cps").arg(m_extraDarkRate));
    if (m_fpgaGainWritesLost)
        lines.append(QStringLiteral("FPGA gain writes are not latched"));
    if (m_tubeVoltageSagKv > 0)
        lines.append(QStringLiteral("tube high voltage sags %1 kV below its set point")
                         .arg(m_tubeVoltageSagKv));
    if (m_pinionSlip.every > 0)
        lines.append(QStringLiteral("wheel pinion slips on every %1th long move after %2")
                         .arg(m_pinionSlip.every)
                         .arg(m_pinionSlip.afterLongMoves));
    if (m_tubeEmissionFactor != 1.0)
        lines.append(
            QStringLiteral("tube emits %1 times its current set point").arg(m_tubeEmissionFactor));
    if (m_shieldingGap > 0)
        lines.append(QStringLiteral("a gap lets %1 of the stray radiation past the shielding")
                         .arg(m_shieldingGap));
    if (m_sagFraction > 0)
        lines.append(QStringLiteral("tube output sags by up to %1 as it heats").arg(m_sagFraction));
    if (m_focalSpotDriftPerMinute != 0)
        lines.append(QStringLiteral("focal spot drifts %1 um per minute of tube time")
                         .arg(m_focalSpotDriftPerMinute));
    if (m_wheelLandingJitter > 1.0)
        lines.append(
            QStringLiteral("filter wheel lands %1 times farther off").arg(m_wheelLandingJitter));
    if (m_windowResidue)
        lines.append(QStringLiteral("a film of %1 (%2 um) lies on the window")
                         .arg(m_windowResidue->name)
                         .arg(m_windowResidue->thicknessUm));
    return lines;
}
