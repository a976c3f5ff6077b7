#include "simengine.h"

SimEngine::SimEngine(unsigned int serialNumber) : m_serialNumber(serialNumber) {}

int SimEngine::getInstrumentSerialNumber(unsigned int *serialNumber)
{
    QMutexLocker lock(&m_mutex);
    *serialNumber = m_serialNumber;
    return 0;
}

int SimEngine::saveToNv()
{
    return 0;
}

int SimEngine::setShutterStatus(xrf_hal::ShutterStatus status)
{
    QMutexLocker lock(&m_mutex);
    m_shutter = status;
    return 0;
}
