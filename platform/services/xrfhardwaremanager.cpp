#include "xrfhardwaremanager.h"

XRF_DEFINE_REQUIRED_SERVICE(XrfHardwareManager)

QString XrfHardwareManager::exposureEndConditionToString(XrfExposureEndCondition endCondition)
{
    switch (endCondition) {
    case EndNormal:
        return QStringLiteral("Exposure completed normally");
    case EndStoppedByUser:
        return QStringLiteral("Exposure stopped by request");
    case EndHardwareError:
        return QStringLiteral("Exposure ended by a hardware error");
    case EndInterlockOpened:
        return QStringLiteral("Exposure ended: safety interlock opened");
    case EndTubeFault:
        return QStringLiteral("Exposure ended: X-ray tube fault");
    case EndOverTemperature:
        return QStringLiteral("Exposure ended: over temperature");
    case EndCountRateTooHigh:
        return QStringLiteral("Exposure ended: count rate too high");
    case EndCommunicationLost:
        return QStringLiteral("Exposure ended: controller communication lost");
    }
    return QStringLiteral("Exposure ended with unknown end condition %1").arg(int(endCondition));
}
