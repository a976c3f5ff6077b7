#pragma once

#include "xrfhardwaremanager.h"

#include <QMutex>

// The simulated hardware manager: exposures on its own thread, events as queued signals.
class SimHardwareManager : public XrfHardwareManager
{
    Q_OBJECT
public:
    explicit SimHardwareManager(const XrfHardwareConfig &config, QObject *parent = nullptr);
    ~SimHardwareManager() override;

    QSharedPointer<const XrfHardwareConfig> hardwareConfig() const override;
    int startExposure(const XrfExposureSettings &settings, int, int, int, int, int, int) override;
    int stopExposure(bool abort) override;
    XrfVersion firmwareVersion(int component) const override;
    void getDarkRate(unsigned int samples) override;

public slots:
    void onUpdateHardwareConfig() override;

private:
    mutable QMutex m_mutex;
    QSharedPointer<const XrfHardwareConfig> m_config;
};
