// What a run of the simulator is told: its options from the command line or a settings file,
// read and checked before anything runs, so that a mistyped option stops the program with the
// reason instead of running something the user did not mean.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/host_driver.h"
#include "host/ladder.h"
#include "market/account_model.h"
#include "market/csv_input.h"
#include "options/run_record.h"
#include "system/processes.h"
#include "trading/position_market.h"

namespace zt::sim {

enum class MarketKind { Walk, Model };

struct SimOptions {
  // Input: a CSV history when csvPath is set, the seeded account model otherwise.
  std::string csvPath;
  std::string columns;  // column mapping text for the CSV
  CsvFormat csvFormat;
  MarketStart start;  // seed, first tick, tick length and balance of every market
  AccountModelOptions model;
  std::int64_t ticks = 6000;  // model ticks to run
  std::string writeBarsPath;  // --write-bars: the price model's bars to this file, no run
  int barMinutes = 60;        // the length of those bars
  // Which model makes the figures without --csv: the account model's random walk of the floating
  // result (Walk), or prices with a strategy trading an account of positions on them (Model).
  // The start and the ticks above serve both.
  MarketKind market = MarketKind::Walk;
  PositionMarketOptions positions;

  HostOptions host;

  std::string library;        // the built zentravo.so to load (copied into the state folder)
  std::string state;          // state folder; empty: a throwaway one in memory-backed storage
  bool resumeAnyway = false;  // continue a state folder of another run

  std::size_t tail = 0;    // events of the log to print; 0 all
  bool quiet = false;      // print no log, only dashboard and summary
  std::string jsonPath;    // "-" writes JSON to standard output instead of the report
  bool jsonBrief = false;  // the JSON without its events and cycles (the run keeps none for it)
  std::string chartPath;
  std::string reportPath;   // the HTML page of the run, or of the ladders or runs compared
  bool openReport = false;  // --open: the page shown in the default browser when written
  std::string logPath;      // the whole log, whatever tail says
  bool progress = true;     // a progress bar when standard error is a terminal
  RunRecord record;         // what the run was told: its inputs, as given or by default

  // Several ladders side by side (--ladder, --ladders): each runs in a process of its own.
  std::vector<NamedLadder> ladders;
  int jobs = 1;                                 // runs at a time
  std::vector<std::string> arguments;           // the command line without the program's name
  std::string program = system::ThisProgram();  // what runs each ladder

  // Many seeded markets (--runs): every ladder, and no guard, on seeds seed, seed + 1, ...
  int runs = 0;                // 0: one market
  std::string rankBy = "end";  // the column the ladders are ranked by (ListRankKeys())
};

// Parses the command line (and a --config settings file it names). Returns the options, or an
// exit code when the program should stop at once: 0 after --help, 2 (after printing the
// message to err) for bad options.
struct ParsedCommandLine {
  std::optional<SimOptions> options;
  int exitCode = 0;
};
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments, std::ostream& out,
                                   std::ostream& err);

// What makes the figures without --csv, for titles: "account model", or "grid strategy on a price
// model" with the strategy's name.
std::string NameSeededMarket(const SimOptions& options);

}  // namespace zt::sim
