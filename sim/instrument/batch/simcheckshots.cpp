#include "simcheckshots.h"

#include "xrfhardwaremanager.h"

SimCheckShots::SimCheckShots(QObject *parent) : QObject(parent) { }

SimCheckShots::~SimCheckShots()
{
    disconnectHardware();
}

bool SimCheckShots::start(const QList<XrfExposureSettings> &exposures, QString *errorMsg)
{
    if (m_running) {
        *errorMsg = QStringLiteral("a check shot is already running");
        return false;
    }
    if (exposures.isEmpty()) {
        *errorMsg = QStringLiteral("no exposure to shoot");
        return false;
    }
    m_exposures = exposures;
    m_spectra.clear();
    XrfHardwareManager *hardware = XrfHardwareManager::instance();
    m_connections
        << connect(hardware, &XrfHardwareManager::spectrum, this, &SimCheckShots::onSpectrum)
        << connect(hardware, &XrfHardwareManager::exposureStopped, this,
                   [this](XrfHardwareManager::XrfExposureEndCondition end, bool) {
                       onStopped(int(end));
                   })
        << connect(hardware, &XrfHardwareManager::hardwareError, this,
                   [this](const XrfErrorInfo &error) {
                       XrfHardwareManager::instance()->stopExposure(true);
                       finish(false, QStringLiteral("hardware error: %1").arg(error.errorString()));
                   });
    m_running = true;
    startNext();
    return true;
}

void SimCheckShots::startNext()
{
    if (m_spectra.size() == m_exposures.size()) {
        finish(true, QString());
        return;
    }
    m_last = XrfSpectrum();
    const XrfExposureSettings &exposure = m_exposures.at(m_spectra.size());
    if (const int code = XrfHardwareManager::instance()->startExposure(exposure, 0, 0, 0, 0, 0, 0))
        finish(false,
               QStringLiteral("exposure %1 (%2) refused, error %3")
                   .arg(m_spectra.size() + 1)
                   .arg(exposure.toString())
                   .arg(code));
}

void SimCheckShots::onSpectrum(const XrfSpectrum &spectrum)
{
    if (m_running)
        m_last = spectrum;
}

void SimCheckShots::onStopped(int endCondition)
{
    if (!m_running)
        return;
    if (endCondition != XrfHardwareManager::EndNormal || m_last.data().isEmpty()) {
        finish(false,
               QStringLiteral("exposure %1 ended early, end condition %2")
                   .arg(m_spectra.size() + 1)
                   .arg(endCondition));
        return;
    }
    m_spectra << m_last;
    startNext();
}

void SimCheckShots::finish(bool success, const QString &error)
{
    if (!m_running)
        return;
    m_running = false;
    disconnectHardware();
    emit finished(success, error);
}

void SimCheckShots::disconnectHardware()
{
    for (const QMetaObject::Connection &connection : qAsConst(m_connections))
        disconnect(connection);
    m_connections.clear();
}
