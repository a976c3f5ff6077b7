#pragma once

#include <QString>

// What the simulated technician does beyond answering the prompts as a careful one would.
struct TechnicianPlan
{
    // The hardware setup sub-step during which the technician presses abort; empty: never.
    QString abortDuring;
};
