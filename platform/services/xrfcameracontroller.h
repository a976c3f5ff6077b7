#pragma once

#include "xrfservice.h"

#include <QObject>

// The instrument's cameras.
class XrfCameraController : public QObject
{
    Q_OBJECT
    XRF_DECLARE_SERVICE(XrfCameraController)
public:
    // What installedCamera() reports.
    enum CameraType : int {
        NoCamera = 0,
        AimingCamera = 1, // USB
        SampleCamera = 2, // MIPI
        AimingAndSampleCamera = 3,
    };
    Q_ENUM(CameraType)

    explicit XrfCameraController(QObject *parent = nullptr) : QObject(parent) { }

    // The cameras found on the instrument; the base finds none.
    virtual int installedCamera() const { return NoCamera; }
};
