#include "xrfcameracontroller.h"

XRF_DEFINE_DEFAULTED_SERVICE(XrfCameraController)
