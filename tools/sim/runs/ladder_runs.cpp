#include "runs/ladder_runs.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <nlohmann/json.hpp>

#include "options/run_input.h"
#include "host/ladder.h"
#include "runs/progress.h"
#include "report/run_report.h"
#include "report/run_description.h"
#include "options/sim_options.h"
#include "runs/stop_signal.h"
#include "number_text.h"
#include "text_helpers.h"

extern char** environ;

namespace zt::sim {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;
using tools::kPageWidth;
using tools::Padded;
using tools::PaddedLeft;
using tools::ReadWholeFile;

constexpr std::size_t kNameColumn = 14;   // longer names stand on a line of their own
constexpr int kInterruptedExit = 130;
constexpr auto kPollInterval = std::chrono::milliseconds(10);

using tools::CentsText;

std::string CentsText(const std::optional<long long>& cents) { return cents ? CentsText(*cents) : "-"; }

// ---- The runs ----

// The runs' JSON and output files, removed with everything in them whatever happens.
class WorkFolder {
 public:
  WorkFolder() {
    std::string pattern = (fs::temp_directory_path() / "zt-sim-ladders-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      throw std::runtime_error("cannot make a temporary folder: " + std::string(std::strerror(errno)));
    }
    path_ = pattern;
  }
  ~WorkFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;
  std::string File(std::size_t ladder, const char* kind) const {
    return (fs::path(path_) / (std::to_string(ladder) + "." + kind)).string();
  }

 private:
  std::string path_;
};

// Starts the program with arguments, its output and errors into the given files.
pid_t Start(const std::string& program, const std::vector<std::string>& arguments, const std::string& outPath,
            const std::string& errPath) {
  std::vector<char*> argv;
  std::string name = program;
  argv.push_back(name.data());
  std::vector<std::string> copies = arguments;
  for (std::string& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  // A process group of its own: Ctrl-C reaches only this program, which passes it on to each run
  // exactly once. A run stops cleanly on the first such signal, but a second one, arriving after
  // it stopped listening, would kill it before it removes its library folder.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  pid_t child = 0;
  const int failed = posix_spawn(&child, program.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) throw std::runtime_error("cannot start " + program + ": " + std::strerror(failed));
  return child;
}

// A run's errors as lines under the ladder's name, without the program's own prefix.
std::string FailureLines(const std::string& name, const std::string& errors, int status) {
  std::string out;
  std::istringstream in(errors);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("zt-sim: ", 0) == 0) line = line.substr(8);
    out += "zt-sim: ladder " + name + ": " + line + "\n";
  }
  if (out.empty()) {
    out = "zt-sim: ladder " + name + ": the run " +
          (WIFSIGNALED(status) ? "was killed by signal " + std::to_string(WTERMSIG(status))
                               : "ended with code " + std::to_string(WEXITSTATUS(status))) +
          " without saying why\n";
  }
  return out;
}

}  // namespace

// ---- One ladder's run ----

std::vector<std::string> WithoutOptions(const std::vector<std::string>& arguments, const std::set<std::string>& valued,
                                        const std::set<std::string>& flags) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const std::string option = argument.substr(0, argument.find('='));
    if (flags.count(argument) > 0) continue;
    if (valued.count(option) > 0) {
      if (option == argument) ++i;  // "--json FILE": the value follows
      continue;
    }
    out.push_back(argument);
  }
  return out;
}

std::vector<std::string> LadderRunArguments(const std::vector<std::string>& arguments, const NamedLadder& ladder,
                                            const std::string& jsonPath) {
  // Options of the side-by-side run and outputs that would clash between runs, with their values.
  std::vector<std::string> out = WithoutOptions(
      arguments,
      {"--ladder", "--ladders", "--jobs", "--json", "--chart", "--report", "--log", "--tail", "--take-profits",
       "--drawdown-targets", "--increase-targets", "--stop-losses"},
      {"--quiet", "--no-progress", "--json-brief"});
  // Given on the command line, these win over a settings file.
  // Each value in an argument of its own: CLI11 reads "--option=" with nothing after the '=' as
  // an option whose value is the next argument.
  out.insert(out.end(), {"--take-profits", ladder.texts.takeProfits, "--drawdown-targets",
                         ladder.texts.drawdownTargets, "--increase-targets", ladder.texts.increaseTargets,
                         "--stop-losses", ladder.texts.stopLosses, "--json", jsonPath, "--json-brief", "--quiet",
                         "--no-progress"});
  return out;
}

// ---- Reading and showing the results ----

namespace {

// Whether every ladder ran beside the same account without the guard: always for a CSV history,
// which the guard's closes do not change.
bool SharedBaseline(const std::vector<LadderFigures>& ladders) {
  return !ladders.empty() && std::all_of(ladders.begin(), ladders.end(), [&](const LadderFigures& f) {
    return f.unguardedEndEquity == ladders.front().unguardedEndEquity &&
           f.unguardedDeepestDrawdown == ladders.front().unguardedDeepestDrawdown;
  });
}

}  // namespace

LadderFigures ReadLadderFigures(const std::string& name, const std::string& text) {
  LadderFigures f;
  f.name = name;
  try {
    const Json json = Json::parse(text);
    const Json& summary = json.at("summary");
    const Json& comparison = json.at("comparison");
    f.ticks = summary.at("ticks").get<long long>();
    f.takeProfitCloses = summary.at("takeProfitCloses").get<long long>();
    f.stopLossCloses = summary.at("stopLossCloses").get<long long>();
    f.drawdownSteps = summary.at("drawdownSteps").get<long long>();
    f.increasesPassed = summary.at("increasesPassed").get<long long>();
    f.cycles = summary.at("cycles").get<long long>();
    f.endEquity = comparison.at("withGuard").at("endEquity").get<long long>();
    f.deepestDrawdown = comparison.at("withGuard").at("deepestDrawdown").get<long long>();
    f.unguardedEndEquity = comparison.at("withoutGuard").at("endEquity").get<long long>();
    f.unguardedDeepestDrawdown = comparison.at("withoutGuard").at("deepestDrawdown").get<long long>();
    const Json& realised = comparison.at("withGuard");
    if (f.cycles > 0) {
      f.realisedAverage = realised.at("realisedPerCycle").get<long long>();
      f.realisedMedian = realised.at("realisedMedian").get<long long>();
      f.realisedLowest = realised.at("realisedLowest").get<long long>();
      f.realisedHighest = realised.at("realisedHighest").get<long long>();
    }
    const Json& ladder = json.at("ladder");
    const auto sets = [](const Json& list) {
      AmountSets out;
      for (const Json& set : list) {
        std::vector<double> amounts;
        for (const Json& cents : set) amounts.push_back(cents.get<double>() / 100.0);
        out.push_back(amounts);
      }
      return out;
    };
    const AmountSets increases = sets(Json::array({ladder.at("increaseTargets")}));
    const AmountSets stops = sets(Json::array({ladder.at("stopLosses")}));
    f.ladderParts = {"TP " + FormatSets(sets(ladder.at("takeProfits"))),
                     "DD " + FormatSets(sets(ladder.at("drawdownTargets"))),
                     "INC " + FormatList(increases.at(0)), "SL " + FormatList(stops.at(0))};
  } catch (const Json::exception& error) {
    throw std::runtime_error("its JSON cannot be read (" + std::string(error.what()) + ")");
  }
  return f;
}

std::string FormatLadderTable(const std::vector<LadderFigures>& ladders) {
  // name, end equity, deepest drawdown, closes TP/SL, cycles, realised per cycle avg/med/low/high
  std::string out;
  const auto row = [&out](const std::string& name, const std::vector<std::string>& cells) {
    static constexpr std::size_t widths[] = {12, 12, 15, 8, 9, 9, 9, 9};
    std::string line = name.size() > kNameColumn ? name + "\n" + std::string(kNameColumn, ' ')
                                                 : Padded(name, kNameColumn);
    // A figure wider than its column still stands apart from the one before it.
    for (std::size_t i = 0; i < cells.size(); ++i) {
      line += ' ';
      line += PaddedLeft(cells[i], widths[i] - 1);
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out += line + "\n";
  };
  out += Padded("", kNameColumn) + PaddedLeft("end", 12) + PaddedLeft("deepest", 12) + PaddedLeft("closes", 15) +
         PaddedLeft("", 8) + PaddedLeft("realised per cycle", 32) + "\n";
  row("ladder", {"equity", "drawdown", "TP / SL", "cycles", "average", "median", "lowest", "highest"});
  const auto baseline = [&row](const std::string& name, const LadderFigures& f) {
    row(name, {CentsText(f.unguardedEndEquity), CentsText(f.unguardedDeepestDrawdown), "-", "-", "-", "-", "-", "-"});
  };
  const bool shared = SharedBaseline(ladders);
  if (shared) baseline("no guard", ladders.front());
  for (const LadderFigures& f : ladders) {
    row(f.name, {CentsText(f.endEquity), CentsText(f.deepestDrawdown),
                 std::to_string(f.takeProfitCloses) + " / " + std::to_string(f.stopLossCloses),
                 std::to_string(f.cycles), CentsText(f.realisedAverage), CentsText(f.realisedMedian),
                 CentsText(f.realisedLowest), CentsText(f.realisedHighest)});
    if (!shared) baseline("  no guard", f);
  }
  if (!shared) {
    // Every ladder meets the same market (closes never change the model's walk); should a run
    // still report another, each is shown beside its own rather than one made up.
    out += "\nThe runs did not meet the same market: each ladder is shown beside its own account\n"
           "without the guard.\n";
  }
  out += "\nladders as the library reads them\n";
  for (const LadderFigures& f : ladders) {
    // The four parts side by side while they fit; a part too long for a line is broken at spaces.
    const std::size_t width = kPageWidth - kNameColumn - 2;
    std::vector<std::string> lines(1);
    for (const std::string& part : f.ladderParts) {
      for (const std::string& piece : Wrapped(part, width)) {
        if (!lines.back().empty() && lines.back().size() + 3 + piece.size() > width) lines.emplace_back();
        lines.back() += (lines.back().empty() ? "" : "   ") + piece;
      }
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const std::string head = i > 0 ? std::string() : f.name;
      out += head.size() > kNameColumn ? head + "\n" + std::string(kNameColumn + 2, ' ') + lines[i] + "\n"
                                       : "  " + Padded(head, kNameColumn) + lines[i] + "\n";
    }
  }
  return out;
}

std::string FormatLadderJson(const std::vector<LadderFigures>& ladders, const std::vector<NamedLadder>& named) {
  Json all;
  all["units"] = {{"amounts", "cents"}};
  // Once when every ladder shares it; otherwise only in each ladder's entry.
  if (SharedBaseline(ladders)) {
    all["withoutGuard"] = {{"endEquity", ladders.front().unguardedEndEquity},
                           {"deepestDrawdown", ladders.front().unguardedDeepestDrawdown}};
  }
  const auto optional = [](const std::optional<long long>& value) { return value ? Json(*value) : Json(nullptr); };
  Json list = Json::array();
  for (std::size_t i = 0; i < ladders.size(); ++i) {
    const LadderFigures& f = ladders[i];
    const TargetTexts& t = named.at(i).texts;
    list.push_back(
        {{"name", f.name},
         {"targets", {{"takeProfits", t.takeProfits}, {"drawdownTargets", t.drawdownTargets},
                      {"increaseTargets", t.increaseTargets}, {"stopLosses", t.stopLosses}}},
         {"ticks", f.ticks},
         {"withGuard", {{"endEquity", f.endEquity}, {"deepestDrawdown", f.deepestDrawdown}}},
         {"withoutGuard", {{"endEquity", f.unguardedEndEquity}, {"deepestDrawdown", f.unguardedDeepestDrawdown}}},
         {"closes", {{"takeProfit", f.takeProfitCloses}, {"stopLoss", f.stopLossCloses}}},
         {"drawdownSteps", f.drawdownSteps},
         {"increasesPassed", f.increasesPassed},
         {"cycles", f.cycles},
         {"realisedPerCycle", {{"average", optional(f.realisedAverage)}, {"median", optional(f.realisedMedian)},
                               {"lowest", optional(f.realisedLowest)}, {"highest", optional(f.realisedHighest)}}}});
  }
  all["ladders"] = std::move(list);
  return all.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

namespace {

struct Running {
  pid_t pid;
  std::size_t run;
};

// Reads back every run that has ended: its JSON handed on, or its errors under its name. True
// when one had ended.
bool ReapEnded(std::vector<Running>& running, const WorkFolder& work, const RunPool& pool, PoolOutcome& outcome) {
  bool reaped = false;
  for (std::size_t i = 0; i < running.size();) {
    int status = 0;
    const pid_t result = waitpid(running[i].pid, &status, WNOHANG);
    if (result == 0 || (result < 0 && errno == EINTR)) {
      ++i;
      continue;
    }
    const std::size_t run = running[i].run;
    running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
    ++outcome.done;
    reaped = true;
    const std::string errors = ReadWholeFile(work.File(run, "err"));
    if (result < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      if (!StopRequested()) {
        outcome.failures += FailureLines(pool.name(run), errors, status);
        outcome.failed = true;
      }
      continue;
    }
    try {
      pool.done(run, ReadWholeFile(work.File(run, "json")));
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
  const StopOnSignal stop;
  std::vector<Running> running;
  std::size_t next = 0;
  const std::size_t jobs = static_cast<std::size_t>(std::max(options.jobs, 1));
  LadderProgress progress(options.progress, pool.count, pool.progressNoun);
  bool stopSent = false;
  while (outcome.done < pool.count) {
    while (!StopRequested() && running.size() < jobs && next < pool.count) {
      try {
        running.push_back({Start(options.program, pool.arguments(next, work.File(next, "json")),
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
    if (StopRequested()) {
      if (!stopSent) {
        for (const Running& run : running) kill(run.pid, SIGINT);
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

int RunLadders(const SimOptions& options, std::ostream& out, std::ostream& err) {
  const std::vector<NamedLadder>& ladders = options.ladders;
  std::vector<LadderFigures> figures(ladders.size());
  std::vector<SampledCurves> curves(ladders.size());
  RunPool pool;
  pool.count = ladders.size();
  pool.name = [&](std::size_t i) { return ladders[i].name; };
  pool.arguments = [&](std::size_t i, const std::string& json) {
    return LadderRunArguments(options.arguments, ladders[i], json);
  };
  pool.done = [&](std::size_t i, const std::string& json) {
    figures[i] = ReadLadderFigures(ladders[i].name, json);
    if (!options.reportPath.empty()) curves[i] = ReadSampledCurves(json);
  };
  const PoolOutcome outcome = RunPooled(options, pool);
  if (!outcome.notes.empty()) err << outcome.notes;
  err << outcome.failures;
  if (StopRequested()) {
    err << "zt-sim: interrupted; " << outcome.finished << " of " << ladders.size() << " ladders had finished\n";
    return kInterruptedExit;
  }
  if (outcome.failed) return 1;
  const bool wantJson = !options.jsonPath.empty() || !options.reportPath.empty();
  const std::string json = wantJson ? FormatLadderJson(figures, ladders) : std::string();
  const std::string input = RunInputName(options, figures.front().ticks, false);
  const std::string heading = std::to_string(ladders.size()) + " ladders on " + input;
  const std::string table = Folded(heading, kPageWidth, "  ") + "\n\n" + FormatLadderTable(figures);
  const int shown = ShowPoolResults(options.jsonPath, options.jsonPath.empty() ? std::string() : json, table, out, err);
  if (shown != 0 || options.reportPath.empty()) return shown;
  return WriteReportAndSay(options.reportPath, [&] {
    return LaddersPage(DescribeRun(options, heading, input, ladders), json, curves);
  }, out, err);
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
      tools::WriteWholeFile(jsonPath, json);
    } catch (const std::exception& error) {
      err << "zt-sim: " << error.what() << "\n";
      return 1;
    }
    out << Folded("JSON written to " + jsonPath, kPageWidth, "  ") << "\n";
  }
  return 0;
}

}  // namespace zt::sim
