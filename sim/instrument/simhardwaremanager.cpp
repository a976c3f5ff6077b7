#include "simhardwaremanager.h"

SimHardwareManager::SimHardwareManager(const XrfHardwareConfig &config, QObject *parent)
    : XrfHardwareManager(parent), m_config(QSharedPointer<const XrfHardwareConfig>::create(config))
{
}

SimHardwareManager::~SimHardwareManager() = default;

QSharedPointer<const XrfHardwareConfig> SimHardwareManager::hardwareConfig() const
{
    QMutexLocker lock(&m_mutex);
    return m_config;
}

int SimHardwareManager::startExposure(const XrfExposureSettings &, int, int, int, int, int, int)
{
    return 1;
}

int SimHardwareManager::stopExposure(bool)
{
    return 0;
}

XrfVersion SimHardwareManager::firmwareVersion(int) const
{
    return XrfVersion(2, 14, 3);
}

void SimHardwareManager::getDarkRate(unsigned int)
{
    emit darkRateUpdated(2);
}

void SimHardwareManager::onUpdateHardwareConfig()
{
    emit hardwareConfigUpdated(*hardwareConfig());
}
