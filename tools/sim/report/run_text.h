// What a run tells the user in text: the ladder as the library reads it, the event log, the
// dashboard as a terminal lays it out, and a summary of the closes and cycle drawdowns, folded to
// the page's width.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "figures/run_summary.h"
#include "host/dashboard.h"
#include "host/host_driver.h"
#include "host/ladder.h"

namespace zt::sim {

struct RunRisk;

// One line of the event log (e-mail bodies follow on indented lines).
std::string FormatEvent(const HostEvent& event);
// The log's heading and its last `tail` events (all of them when tail is 0).
std::string FormatLog(const HostRun& run, std::size_t tail);
// The panel as two columns of label and value, the title line above them.
std::string FormatDashboard(const Dashboard& panel);
// The run's summary; with risk, the broker's stop-outs and what trading cost by kind (the kinds
// the market knows) follow, with the guard and, when the run compared them, without it. A deal
// list's commission and swap are in its deals' recorded profits (costsInDeals): shown as "-".
std::string FormatSummary(const Summary& summary, const Dashboard& panel,
                          const RunRisk* risk = nullptr, bool costsInDeals = false);
// The ladder as the library reads it, one line per table, under a "ladder" heading.
std::string FormatLadder(const Ladder& ladder);
// text broken at spaces into lines of at most width characters (a longer word stands alone).
std::vector<std::string> Wrapped(const std::string& text, std::size_t width);

// text in lines of at most width characters, broken after a space, a comma or a slash (a path or
// a list of amounts too long for a line breaks between its parts), every line but the first
// starting with indent; a text that fits is returned as it is. Lines are joined by line feeds.
std::string Folded(const std::string& text, std::size_t width, const std::string& indent);

const char* EventName(EventKind kind);

}  // namespace zt::sim
