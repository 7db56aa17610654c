// A run as one JSON document for programs: its inputs, the ladder, the events and cycles, the
// summary and the comparison with no guard, the risk figures, the guard's statistics and panel.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include "figures/run_summary.h"
#include "host/dashboard.h"
#include "host/host_driver.h"
#include "host/ladder.h"

namespace zt::sim {

struct RunRisk;

// The whole run as one JSON object: the units, every input (option, value), the ladder, events,
// cycles, summary, the guard's statistics, dashboard. Amounts are whole cents.
using Inputs = std::vector<std::pair<std::string, std::string>>;
// How the run's prices were made (options/run_input.h NameModelling) and, for bars, the caution
// that a target smaller than a typical bar cannot be judged on them; a "modelling" member after
// the inputs when prices is set.
struct Modelling {
  std::string prices;
  std::string caution;
};
// The "modelling" member's value.
std::string ModellingJson(const Modelling& modelling);
// A whole JSON lists every event and cycle from lists, when given, else those the run kept: a long
// run keeps its latest ones, and then says how many came before them in "eventsLeftOut" and
// "cyclesLeftOut" (absent when none).
// A brief JSON has no "events" and no "cycles"; the comparison gives the realised result per
// cycle (equity left less the snapshot, in whole cents each) by its median, lowest and highest too.
// It carries the run's equity curves too, at a few hundred moments ("curve", see
// figures/sampled_curves.h), for a page that compares runs. With risk, a "risk" member holds the
// figures a trader decides on (see risk_figures.h).
std::string FormatJson(const HostRun& run, const Summary& summary, const Dashboard& panel,
                       const Ladder& ladder, const Inputs& inputs, bool brief = false,
                       const RunRisk* risk = nullptr, const Modelling& modelling = {});
// A long run's events and cycles, written elsewhere as the run went: each copies the elements of
// its list, as EventJsonText and CycleJsonText give them and separated by commas, to out.
struct RecordLists {
  std::function<void(std::ostream&)> events;
  std::function<void(std::ostream&)> cycles;
};
// The same document written to out as it is made, without holding all of it.
void WriteJson(std::ostream& out, const HostRun& run, const Summary& summary,
               const Dashboard& panel, const Ladder& ladder, const Inputs& inputs,
               bool brief = false, const RunRisk* risk = nullptr, const Modelling& modelling = {},
               const RecordLists* lists = nullptr);
// One event and one cycle as a whole JSON lists them.
std::string EventJsonText(const HostEvent& event);
std::string CycleJsonText(const CycleRecord& cycle);

}  // namespace zt::sim
