#pragma once

#include "xrfjsonhelper.h"

// The interlock rules the instrument enforces on exposures. Stored in the global settings section
// "system.safety"; the properties are its keys.
class XrfSafetySettings : public XrfJsonHelper
{
    Q_GADGET
    XRF_JSON_RECORD
    Q_PROPERTY(bool testStandRequired MEMBER m_testStandRequired)
    Q_PROPERTY(bool testStandRequiredFor50kV MEMBER m_testStandRequiredFor50kV)
    Q_PROPERTY(bool autoLogoutEnabled MEMBER m_autoLogoutEnabled)
    Q_PROPERTY(bool frenchMode MEMBER m_frenchMode)
    Q_PROPERTY(bool deadManTrigger MEMBER m_deadManTrigger)
    Q_PROPERTY(bool twoHandTriggerEnabled MEMBER m_twoHandTriggerEnabled)
    Q_PROPERTY(bool proximitySensorEnabled MEMBER m_proximitySensorEnabled)
    Q_PROPERTY(int triggerLock MEMBER m_triggerLock)

public:
    // When the trigger locks itself between tests.
    enum TriggerLockType : int {
        TriggerLockNone = 0,
        TriggerLockAfterIdle = 1,
        TriggerLockAfterEachTest = 2,
    };
    Q_ENUM(TriggerLockType)

    bool testStandRequired() const { return m_testStandRequired; }
    void setTestStandRequired(bool required) { m_testStandRequired = required; }
    bool testStandRequiredFor50kV() const { return m_testStandRequiredFor50kV; }
    void setTestStandRequiredFor50kV(bool required) { m_testStandRequiredFor50kV = required; }
    bool autoLogoutEnabled() const { return m_autoLogoutEnabled; }
    void setAutoLogoutEnabled(bool enabled) { m_autoLogoutEnabled = enabled; }
    bool frenchModeEnabled() const { return m_frenchMode; }
    void setFrenchModeEnabled(bool enabled) { m_frenchMode = enabled; }
    bool deadmanTriggerEnabled() const { return m_deadManTrigger; }
    void setDeadmanTriggerEnabled(bool enabled) { m_deadManTrigger = enabled; }
    bool twoHandTriggerEnabled() const { return m_twoHandTriggerEnabled; }
    void setTwoHandTriggerEnabled(bool enabled) { m_twoHandTriggerEnabled = enabled; }
    bool proximitySensorEnabled() const { return m_proximitySensorEnabled; }
    void setProximitySensorEnabled(bool enabled) { m_proximitySensorEnabled = enabled; }
    TriggerLockType triggerLock() const { return TriggerLockType(m_triggerLock); }
    void setTriggerLock(TriggerLockType type) { m_triggerLock = type; }

private:
    bool m_testStandRequired = false;
    bool m_testStandRequiredFor50kV = false;
    bool m_autoLogoutEnabled = false;
    bool m_frenchMode = false;
    bool m_deadManTrigger = false;
    bool m_twoHandTriggerEnabled = false;
    bool m_proximitySensorEnabled = false;
    int m_triggerLock = TriggerLockNone;
};

Q_DECLARE_METATYPE(XrfSafetySettings)
