#pragma once

#include "simtechnician.h"

// What the simulated technician does beyond answering the prompts as a careful one would.
using TechnicianPlan = SimTechnician;
