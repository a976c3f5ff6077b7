#include "xrfengine.h"

namespace xrf_hal {
XRF_DEFINE_REQUIRED_SERVICE(XrfEngine)
} // namespace xrf_hal
