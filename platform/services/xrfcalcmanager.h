#pragma once

#include "xrfservice.h"

#include <QObject>

#include <atomic>

// The instrument's calculation service. The factory only switches its debug data off when the
// instrument is prepared for shipping.
class XrfCalcManager : public QObject
{
    Q_OBJECT
    XRF_DECLARE_SERVICE(XrfCalcManager)
public:
    explicit XrfCalcManager(QObject *parent = nullptr) : QObject(parent) { }

    // Switches the calculation debug data (per-test files below /media/sdcard/instrumentdata/
    // calcdebug) on or off; with `persist` the choice is kept in the universal settings section
    // "calculation" as "calcDebugEnabled".
    virtual void setCalcDebugEnable(bool enable, bool persist);
    bool calcDebugEnabled() const { return m_enabled; }

private:
    std::atomic<bool> m_enabled{false};
};
