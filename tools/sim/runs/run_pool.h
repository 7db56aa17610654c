// Runs of this program, each in a process of its own, a few at a time: the library keeps its state
// for the whole process, so one process runs one guard. Ladders side by side and many runs both
// start their runs through this pool, read each one's JSON back as it ends, and pass Ctrl-C on.
#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace zt::sim {

struct SimOptions;

// Runs of this program, each in a process of its own, options.jobs at a time: run i starts with
// arguments(i, jsonPath), writes its JSON to jsonPath, and done(i, text) takes it (throwing
// std::exception when it cannot). A run's errors are shown under name(i).
struct RunPool {
  std::size_t count = 0;
  std::function<std::string(std::size_t)> name;
  std::function<std::vector<std::string>(std::size_t, const std::string&)> arguments;
  std::function<void(std::size_t, const std::string&)> done;
  const char* progressNoun = "ladders";  // "3 of 8 ladders done"
};
struct PoolOutcome {
  std::size_t done = 0;      // runs ended or never started
  std::size_t finished = 0;  // runs whose JSON was taken
  bool failed = false;
  std::string failures;  // error lines, each under its run's name
  std::string notes;  // what the first run said on the side (bad CSV rows): the same for every run
};
// Runs the pool until every run has ended or Ctrl-C stopped them (StopRequested() tells).
PoolOutcome RunPooled(const SimOptions& options, const RunPool& pool);

// The pool's results where --json (jsonPath) sends them: json alone to out for "-"; otherwise the
// table to out and, with a path, json into that file. Returns the program's exit code: 1 when the
// file cannot be written.
int ShowPoolResults(const std::string& jsonPath, const std::string& json, const std::string& table,
                    std::ostream& out, std::ostream& err);

}  // namespace zt::sim
