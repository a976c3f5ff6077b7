#pragma once

// Result records of the shot, calibration, survey and provisioning steps that the facade's signals
// and queries carry, one header each; the steps that fill them add their fields there.

#include "xrfairshot.h"
#include "xrfairshotlist.h"
#include "xrfbeaminfo.h"
#include "xrfbeaminfolist.h"
#include "xrfcalibrationstandard.h"
#include "xrffactorsetresults.h"
#include "xrfprerequisiteshot.h"
#include "xrfprofilepackage.h"
#include "xrfprovisioningdata.h"
#include "xrfradiationsurveyresult.h"
