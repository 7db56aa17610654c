// A picture of a run: the equity curve with the guard's levels as step lines and the close-all,
// increase and drawdown-step events marked, and below it a panel of the cycles' drawdowns.
// Plain SVG 1.1 that any browser shows; text placed so that nothing overlaps.
#pragma once

#include <string>

#include "host/host_driver.h"

namespace zt::sim {

// The chart as an SVG document. title is its heading line (escaped here).
std::string RenderChart(const HostRun& run, const std::string& title);
// Writes RenderChart to path; throws std::runtime_error when the file cannot be written.
void WriteChart(const HostRun& run, const std::string& title, const std::string& path);

}  // namespace zt::sim
