#pragma once

#include "xrfhardwaremanager.h"

#include <QThread>

#include <mutex>

class SimState;
class SimExposureRunner;

// The simulated hardware manager: exposures on its own thread ("SimInstrument Thread"), events as
// signals emitted there, so receivers on other threads get queued calls, as from the middleware.
class SimHardwareManager : public XrfHardwareManager
{
    Q_OBJECT
public:
    explicit SimHardwareManager(SimState &state, QObject *parent = nullptr);
    ~SimHardwareManager() override;

    QSharedPointer<const XrfHardwareConfig> hardwareConfig() const override;
    // Returns at once; 0 when the exposure was accepted, otherwise an xrf_hal::EngineReturnCode
    // (busy, settings outside the tube limits, filter not in the controller's table).
    int startExposure(const XrfExposureSettings &settings, int, int, int, int, int, int) override;
    int stopExposure(bool abort) override;
    XrfVersion firmwareVersion(int component) const override;
    void getDarkRate(unsigned int samples) override;

    // The exposures started so far; seeds each exposure's noise with the instrument seed.
    void setSeed(unsigned int seed);

public slots:
    void onUpdateHardwareConfig() override;

private:
    int acceptExposure(const XrfExposureSettings &settings, int *filterPosition);
    void refreshConfig();

    SimState &m_state;
    QThread m_thread;
    SimExposureRunner *m_runner = nullptr;
    mutable std::mutex m_mutex;
    QSharedPointer<const XrfHardwareConfig> m_config;
    unsigned int m_seed = 1;
    unsigned int m_exposureCount = 0;
};
