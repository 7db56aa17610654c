#include "runs/run_pool.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "options/sim_options.h"
#include "report/run_text.h"
#include "runs/progress.h"
#include "system/output_files.h"
#include "system/paths.h"
#include "system/processes.h"
#include "system/stop_request.h"
#include "text_helpers.h"

namespace zt::sim {
namespace {

namespace fs = std::filesystem;
using system::ChildProcess;
using system::PathOf;
using tools::kPageWidth;
using tools::ReadWholeFile;

constexpr auto kPollInterval = std::chrono::milliseconds(10);

// The runs' JSON and output files, removed with everything in them whatever happens.
class WorkFolder {
 public:
  WorkFolder() : path_(system::MakeScratchFolder("zt-sim-ladders-", false)) {}
  ~WorkFolder() {
    std::error_code ignored;
    fs::remove_all(PathOf(path_), ignored);
  }
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;
  std::string File(std::size_t ladder, const char* kind) const {
    return path_ + "/" + std::to_string(ladder) + "." + kind;
  }

 private:
  std::string path_;
};

// A run's errors as lines under the ladder's name, without the program's own prefix.
std::string FailureLines(const std::string& name, const std::string& errors,
                         const std::string& how) {
  std::string out;
  std::istringstream in(errors);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("zt-sim: ", 0) == 0) line = line.substr(8);
    out += "zt-sim: ladder " + name + ": " + line + "\n";
  }
  if (out.empty()) {
    out = "zt-sim: ladder " + name + ": the run " + how + " without saying why\n";
  }
  return out;
}

struct Running {
  ChildProcess process;
  std::size_t run;
};

// Reads back every run that has ended: its JSON handed on, or its errors under its name. True
// when one had ended.
bool ReapEnded(std::vector<Running>& running, const WorkFolder& work, const RunPool& pool,
               PoolOutcome& outcome) {
  bool reaped = false;
  for (std::size_t i = 0; i < running.size();) {
    const std::optional<system::ChildEnd> end = running[i].process.Ended();
    if (!end) {
      ++i;
      continue;
    }
    const std::size_t run = running[i].run;
    running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
    ++outcome.done;
    reaped = true;
    const std::string errors = ReadWholeFile(PathOf(work.File(run, "err")));
    if (!end->succeeded) {
      if (!system::StopRequested()) {
        outcome.failures += FailureLines(pool.name(run), errors, end->how);
        outcome.failed = true;
      }
      continue;
    }
    try {
      pool.done(run, ReadWholeFile(PathOf(work.File(run, "json"))));
      ++outcome.finished;
      if (outcome.notes.empty()) outcome.notes = errors;
    } catch (const std::exception& error) {
      outcome.failures += "zt-sim: ladder " + pool.name(run) + ": " + error.what() + "\n";
      outcome.failed = true;
    }
  }
  return reaped;
}

}  // namespace

PoolOutcome RunPooled(const SimOptions& options, const RunPool& pool) {
  PoolOutcome outcome;
  const WorkFolder work;
  const system::StopOnRequest stop;
  std::vector<Running> running;
  std::size_t next = 0;
  const std::size_t jobs = static_cast<std::size_t>(std::max(options.jobs, 1));
  LadderProgress progress(options.progress, pool.count, pool.progressNoun);
  bool stopSent = false;
  while (outcome.done < pool.count) {
    while (!system::StopRequested() && running.size() < jobs && next < pool.count) {
      try {
        running.push_back(
            {ChildProcess(options.program, pool.arguments(next, work.File(next, "json")),
                          work.File(next, "out"), work.File(next, "err")),
             next});
      } catch (const std::exception& error) {
        outcome.failures += "zt-sim: ladder " + pool.name(next) + ": " + error.what() + "\n";
        outcome.failed = true;
        ++outcome.done;
      }
      ++next;
      progress.Update(outcome.done, running.size());
    }
    if (system::StopRequested()) {
      if (!stopSent) {
        for (Running& run : running) run.process.AskToStop();
        stopSent = true;
      }
      if (running.empty()) break;
    }
    if (ReapEnded(running, work, pool, outcome)) {
      progress.Update(outcome.done, running.size());
    } else {
      std::this_thread::sleep_for(kPollInterval);
    }
  }
  return outcome;
}

int ShowPoolResults(const std::string& jsonPath, const std::string& json, const std::string& table,
                    std::ostream& out, std::ostream& err) {
  if (jsonPath == "-") {
    out << json;
    return 0;
  }
  out << table;
  if (!json.empty()) {
    try {
      system::WriteWholeFile(jsonPath, json);
    } catch (const std::exception& error) {
      err << "zt-sim: " << error.what() << "\n";
      return 1;
    }
    out << Folded("JSON written to " + jsonPath, kPageWidth, "  ") << "\n";
  }
  return 0;
}

}  // namespace zt::sim
