// Guard start: InitZT's work on the guard state.
#pragma once

#include <string_view>

namespace zt::engine {

// Establishes a guard history from the settings file and the host's arguments (see InitZT in
// zentravo.h): settles the snapshot and the initial equity, parses the four target texts,
// restores the take-profit and drawdown positions (clamped into their tables), restarts the
// increase targets, the stop losses and the cycle counters, and resets the extremes' times.
// Returns the snapshot, or 0.0 when neither the stored snapshot nor equity is usable; then only
// hostTag has changed and the settings file is untouched. initialEquity may be null: it then reads
// as 0 and receives nothing. The terminal identity is read by the caller afterwards.
double GuardStart(std::string_view hostTag, double* initialEquity, double equity, double margin,
                  double freeMargin, std::string_view takeProfits, std::string_view drawdownTargets,
                  std::string_view increaseTargets, std::string_view stopLosses);

}  // namespace zt::engine
