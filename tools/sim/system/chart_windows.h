// The windows a guard reads its account and chart from. InitZT takes the chart's window and reads
// the titles of its frame ("EURUSD,H1") and of the terminal's main window ("123456: Demo Server -
// Demo Account"). On Linux there are no such windows: the library takes the titles from its
// SetWindowTitles export. On Windows it reads real windows, so the simulator makes them, hidden.
#pragma once

#include <string>

#include "exports.h"

namespace zt::sim::system {

// Gives the guard behind api a chart whose frame and main window carry these titles; returns the
// handle to pass to InitZT for it (chart itself where the titles are named, not made).
int NameChartWindows(const tools::Exports& api, int chart, const std::string& frameTitle,
                     const std::string& mainTitle);

// Binds the engine linked into this program's SetWindowTitles into exports, where the system's
// guard has that export (Linux); elsewhere there is nothing to bind.
void BindWindowTitles(tools::Exports& exports);

}  // namespace zt::sim::system
