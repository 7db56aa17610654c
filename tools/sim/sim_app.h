// The simulator as a program: its options (command line or settings file), and one run from
// options to printed report, shared by main and the end-to-end tests.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "account_model.h"
#include "csv_input.h"
#include "dashboard.h"
#include "host_driver.h"
#include "ladder_runs.h"
#include "report.h"

namespace zt::sim {

struct SimOptions {
  // Input: a CSV history when csvPath is set, the seeded account model otherwise.
  std::string csvPath;
  std::string columns;               // column mapping text for the CSV
  CsvFormat csvFormat;
  AccountModelOptions model;
  std::int64_t ticks = 6000;         // model ticks to run

  HostOptions host;

  std::string library;               // the built zentravo.so to load (copied into the state folder)
  std::string state;                 // state folder; empty: a throwaway one in memory-backed storage
  bool resumeAnyway = false;         // continue a state folder of another run

  std::size_t tail = 0;              // events of the log to print; 0 all
  bool quiet = false;                // print no log, only dashboard and summary
  std::string jsonPath;              // "-" writes JSON to standard output instead of the report
  bool jsonBrief = false;            // the JSON without its events and cycles (the run keeps none for it)
  std::string chartPath;
  std::string logPath;               // the whole log, whatever tail says
  bool progress = true;              // a progress bar when standard error is a terminal
  std::string inputs;                // every option's value, as a settings file writes them

  // Several ladders side by side (--ladder, --ladders): each runs in a process of its own.
  std::vector<NamedLadder> ladders;
  int jobs = 1;                      // runs at a time
  std::vector<std::string> arguments;  // the command line without the program's name
  std::string program = "/proc/self/exe";  // what runs each ladder
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

// Everything one run produced.
struct SimResult {
  HostRun run;
  Summary summary;
  Dashboard dashboard;
  std::string stateFolder;
  std::string libraryCopy;           // the library file that was loaded
  std::vector<CsvProblem> csvProblems;
  bool resumed = false;              // the input continued where a run in the state folder stopped
  bool interrupted = false;          // Ctrl-C stopped the run; the state folder holds where
};

// Loads the library into the state folder, runs the host over the input and reads the panel.
// Throws std::exception subclasses with a user-readable message.
SimResult Simulate(const SimOptions& options);
// Simulate, then prints the report (or JSON) to out and notes to err, writes the files the
// options name. Returns the program's exit code.
int RunSimulator(const SimOptions& options, std::ostream& out, std::ostream& err);

// The progress line for done of total ticks after seconds: a bar, the percentage, the counts, the
// rate and the time left, cut to fit columns - 1 characters (the bar goes first, then the counts).
std::string ProgressLine(std::int64_t done, std::int64_t total, double seconds, int columns);

}  // namespace zt::sim
