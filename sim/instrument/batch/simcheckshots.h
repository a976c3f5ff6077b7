#pragma once

#include "xrfexposuresettings.h"
#include "xrfspectrum.h"

#include <QList>
#include <QObject>

// Shoots the sample at the window with a list of exposures, one after another, through the
// installed hardware manager, as the instrument's test manager does outside the factory pages, and
// keeps each exposure's final spectrum. Lives on the thread that runs its event loop.
class SimCheckShots : public QObject
{
    Q_OBJECT
public:
    explicit SimCheckShots(QObject *parent = nullptr);
    ~SimCheckShots() override;

    // False with the message when a shoot is running or the first exposure is refused.
    bool start(const QList<XrfExposureSettings> &exposures, QString *errorMsg);
    bool isRunning() const { return m_running; }
    // The final spectrum of each exposure, in order, once finished(true).
    const QList<XrfSpectrum> &spectra() const { return m_spectra; }

signals:
    void finished(bool success, const QString &error);

private:
    void startNext();
    void onSpectrum(const XrfSpectrum &spectrum);
    void onStopped(int endCondition);
    void finish(bool success, const QString &error);
    void disconnectHardware();

    QList<XrfExposureSettings> m_exposures;
    QList<XrfSpectrum> m_spectra;
    XrfSpectrum m_last;
    QList<QMetaObject::Connection> m_connections;
    bool m_running = false;
};
