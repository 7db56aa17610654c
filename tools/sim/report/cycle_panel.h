// The lower panel of a run's chart: one bar per closed cycle, its drawdown (lowest equity less
// the cycle's snapshot) below zero, coloured by how the cycle closed, the average as a dashed
// line; beyond a few hundred cycles, one pair of bars per group of cycles.
#pragma once

#include <string>

#include "host/host_driver.h"
#include "report/svg_parts.h"

namespace zt::sim {

// The panel in box, its heading and legend at titleY from left, the legend wrapping before right.
std::string DrawCyclePanel(const HostRun& run, const svg::Box& box, double titleY, double left,
                           double right);

}  // namespace zt::sim
