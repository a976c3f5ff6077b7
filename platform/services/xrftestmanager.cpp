#include "xrftestmanager.h"

XRF_DEFINE_DEFAULTED_SERVICE(XrfTestManager)
