#include "xrfnetworkmanager.h"

XRF_DEFINE_REQUIRED_SERVICE(XrfNetworkManager)
