#include "sim_app.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <ostream>
#include <sstream>
#include <stdexcept>

#include "guard_api.h"
#include "ladder.h"
#include "sim_clock.h"
#include "sim_state.h"
#include "svg_chart.h"

#ifndef ZT_SIM_DEFAULT_LIBRARY
#define ZT_SIM_DEFAULT_LIBRARY "zentravo.so"
#endif

namespace zt::sim {
namespace {

namespace fs = std::filesystem;

constexpr double kProgressDelaySeconds = 0.3;  // quicker runs never show a bar
constexpr int kDefaultColumns = 80;
constexpr std::size_t kPageWidth = 100;        // the report fits a terminal this wide
constexpr int kSmallestBar = 10;               // narrower, the bar is left out
constexpr std::size_t kProblemsShown = 5;
constexpr int kInterruptedExit = 130;          // as a shell reports a program stopped by Ctrl-C      // bad CSV rows listed before "and N more"

// Defaults for a lively run of the account model with its default balance of 10000.
constexpr const char* kDefaultTakeProfits = "60,45,30,20;90,60,40,25;120,80,50,30";
constexpr const char* kDefaultDrawdownTargets = "40,80,120;60,110,160;80,140,200";
constexpr const char* kDefaultIncreaseTargets = "10250,10500,10800";
constexpr const char* kDefaultStopLosses = "150,200,250";

// A folder for the library's files of a run that keeps none: in memory-backed storage where the
// system has it, since the library flushes its settings file to disk on every close-all and a
// tight ladder would spend the run waiting for the disk.
std::string ThrowawayStateFolder() {
  const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
  std::string pattern = (base / "zt-sim-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot make a folder in " + base.string() + ": " + std::strerror(errno));
  }
  return pattern;
}

// Writes an output file through write, making its folder first.
void WriteOutputFile(const std::string& path, const std::function<void(std::ostream&)>& write) {
  if (const fs::path parent = fs::path(path).parent_path(); !parent.empty()) {
    std::error_code ignored;
    fs::create_directories(parent, ignored);
  }
  std::ofstream out(path, std::ios::binary);
  write(out);
  if (!out) throw std::runtime_error("cannot write " + path);
}

void WriteTextFile(const std::string& path, const std::string& text) {
  WriteOutputFile(path, [&](std::ostream& out) { out << text; });
}

// Columns of the terminal on standard error; 80 when it does not say.
int TerminalColumns() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return kDefaultColumns;
}

// A line on standard error, drawn only when it is a terminal and the run lasts, redrawn to the
// terminal's width each time (a line that wraps could not be overwritten).
class ProgressBar {
 public:
  ProgressBar(bool wanted, std::int64_t total)
      : shown_(wanted && total > 0 && isatty(STDERR_FILENO) == 1), total_(total),
        start_(std::chrono::steady_clock::now()) {}
  ~ProgressBar() {
    if (drawn_) std::fprintf(stderr, "\r%*s\r", TerminalColumns() - 1, "");
  }
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  void Update(std::int64_t done) {
    if (!shown_) return;
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
    if (elapsed.count() < kProgressDelaySeconds) return;
    std::fprintf(stderr, "\r%s", ProgressLine(done, total_, elapsed.count(), TerminalColumns()).c_str());
    std::fflush(stderr);
    drawn_ = true;
  }

 private:
  bool shown_;
  bool drawn_ = false;
  std::int64_t total_;
  std::chrono::steady_clock::time_point start_;
};

std::string InputDescription(const SimOptions& options, const SimResult& result) {
  if (!options.csvPath.empty()) {
    return "CSV " + options.csvPath + " (" + std::to_string(result.run.ticks + 1) + " rows" +
           (result.resumed ? ", resumed" : "") + ")";
  }
  return std::string(result.resumed ? "resumed" : "seeded") + " account model (seed " +
         std::to_string(options.model.seed) + ", " + std::to_string(result.run.ticks) + " ticks)";
}

}  // namespace

namespace {

std::string Plain(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  return buffer;
}

// The options outside what a trader's account can be, as one line, or empty.
std::string RangeMistake(const SimOptions& o) {
  constexpr double kLargest = 1e12;  // no account, balance or tick count beyond this
  constexpr double kLargestMove = 1e9;
  std::string mistake;
  const auto number = [&](const char* option, double value, double lowest, double highest) {
    if (!mistake.empty() || (std::isfinite(value) && value >= lowest && value <= highest)) return;
    mistake = std::string(option) + " must be a number from " + Plain(lowest) + " to " + Plain(highest) +
              ", not " + Plain(value);
  };
  const auto whole = [&](const char* option, std::int64_t value, std::int64_t lowest, std::int64_t highest) {
    if (!mistake.empty() || (value >= lowest && value <= highest)) return;
    mistake = std::string(option) + " must be a whole number from " + std::to_string(lowest) + " to " +
              std::to_string(highest) + ", not " + std::to_string(value);
  };
  whole("--ticks", o.ticks, 1, static_cast<std::int64_t>(kLargest));
  whole("--tick-seconds", o.model.tickSeconds, 1, 365 * 86400);
  number("--balance", o.model.balance, 0.01, kLargest);
  number("--drift", o.model.drift, -kLargestMove, kLargestMove);
  number("--volatility", o.model.volatility, 0.0, kLargestMove);
  number("--margin", o.model.margin, 0.0, kLargest);
  number("--close-cost", o.model.closeCost, 0.0, kLargestMove);
  number("--initial-equity", o.host.initialEquity, 0.0, kLargest);
  number("--email-equity", o.host.email.equityTarget, 0.0, kLargest);
  number("--email-margin", o.host.email.marginPercent, 0.0, kLargest);
  number("--email-drawdown", o.host.email.drawdown, 0.0, kLargest);
  return mistake;
}

// "name=value" lines of a settings file as pairs, quotes taken off: the run's inputs. Where the
// output goes is no input: the same run written elsewhere gives the same JSON.
std::vector<std::pair<std::string, std::string>> SettingsLines(const std::string& text) {
  const std::set<std::string> outputs = {"state", "tail", "quiet", "log", "json", "chart", "no-progress"};
  std::vector<std::pair<std::string, std::string>> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos || line.front() == '#' || outputs.count(line.substr(0, equals)) > 0) continue;
    std::string value = line.substr(equals + 1);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    lines.emplace_back(line.substr(0, equals), value);
  }
  return lines;
}

}  // namespace

namespace {

// "850 k", "2.1 M": a count in three significant figures.
std::string Count(double count) {
  char buffer[32];
  if (count >= 1e6) std::snprintf(buffer, sizeof buffer, "%.3g M", count / 1e6);
  else if (count >= 1e3) std::snprintf(buffer, sizeof buffer, "%.3g k", count / 1e3);
  else std::snprintf(buffer, sizeof buffer, "%.0f", count);
  return buffer;
}

}  // namespace

namespace {

// Reads the ladders of --ladder and --ladders into o.ladders. Returns the first mistake as one
// line naming the option or the ladder, or empty. Every ladder is read before any runs.
std::string SideBySideMistake(const CLI::App& app, const std::vector<std::string>& arguments,
                              const std::vector<std::string>& texts, const std::vector<std::string>& files,
                              SimOptions& o) {
  for (const std::string& text : texts) {
    std::string mistake;
    const std::optional<NamedLadder> ladder = ParseNamedLadder(text, mistake);
    if (!ladder) return "--ladder: " + mistake;
    o.ladders.push_back(*ladder);
  }
  for (const std::string& file : files) {
    if (std::string mistake = ReadLadderFile(file, o.ladders); !mistake.empty()) return "--ladders: " + mistake;
  }
  if (o.ladders.empty()) {
    if (!files.empty()) return "--ladders: no ladder in " + files.front();
    return {};
  }
  std::set<std::string> names;
  for (const NamedLadder& ladder : o.ladders) {
    if (!names.insert(ladder.name).second) return "ladder " + ladder.name + " is named twice";
  }
  if (o.jobs < 1) return "--jobs must be at least 1, not " + std::to_string(o.jobs);
  // Each ladder names its own four targets; a settings file's targets give way to them, but the
  // same targets typed on the command line would be lost unseen.
  for (const char* option : {"--take-profits", "--drawdown-targets", "--increase-targets", "--stop-losses"}) {
    for (const std::string& argument : arguments) {
      if (argument == option || argument.rfind(std::string(option) + "=", 0) == 0) {
        return std::string(option) + " cannot be given with --ladder or --ladders: each ladder names its targets";
      }
    }
  }
  // One state folder holds one guard's files; a chart and a log show one run.
  for (const char* option : {"--state", "--chart", "--log"}) {
    if (app.count(option) > 0) {
      return std::string(option) + " shows one run, so it is not taken with --ladder or --ladders " +
             "(run that ladder alone for it)";
    }
  }
  return {};
}

}  // namespace

std::string ProgressLine(std::int64_t done, std::int64_t total, double seconds, int columns) {
  const double fraction = total > 0 ? std::clamp(static_cast<double>(done) / static_cast<double>(total), 0.0, 1.0) : 0.0;
  const double rate = seconds > 0.0 ? static_cast<double>(done) / seconds : 0.0;
  const auto left = static_cast<long long>(rate > 0.0 ? static_cast<double>(total - done) / rate + 0.5 : 0.0);
  char leftText[32];
  std::snprintf(leftText, sizeof leftText, "%lld:%02lld left", left / 60, left % 60);
  const std::string percent = std::to_string(static_cast<int>(fraction * 100)) + "%";
  std::string text = percent + "  " + Count(static_cast<double>(done)) + " / " + Count(static_cast<double>(total)) +
                     " ticks  " + Count(rate) + "/s  " + leftText;
  const int room = columns - 1;  // the last column would wrap the cursor in some terminals
  if (static_cast<int>(text.size()) > room) text = percent + " " + leftText;
  const int bar = room - static_cast<int>(text.size()) - 3;
  if (bar >= kSmallestBar) {
    const auto filled = static_cast<std::size_t>(fraction * bar);
    text = "[" + std::string(filled, '#') + std::string(static_cast<std::size_t>(bar) - filled, '.') + "] " + text;
  }
  if (static_cast<int>(text.size()) > room) text.resize(static_cast<std::size_t>(std::max(room, 0)));
  return text;
}

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments, std::ostream& out,
                                   std::ostream& err) {
  SimOptions o;
  o.library = ZT_SIM_DEFAULT_LIBRARY;
  o.host.targets = {kDefaultTakeProfits, kDefaultDrawdownTargets, kDefaultIncreaseTargets,
                    kDefaultStopLosses};
  std::string start = FormatTime(o.model.startTime);
  bool noProgress = false;

  CLI::App app{
      "zt-sim drives the Zentravo equity guard (zentravo.so) through its exported functions\n"
      "exactly as a trading terminal's expert advisor does: InitZT, SetEquity every tick, the\n"
      "close-all, SetTTC, the alerts, the snapshot roll, e-mails and the dashboard.\n"
      "The figures come from a seeded model of a trading account, or from a CSV history.\n"
      "The library keeps its settings and statistics files in the state folder; run again\n"
      "with the same --state to resume like a restarted terminal.",
      "zt-sim"};
  app.set_config("--config", "", "Read options from a settings file (lines of option = value)");
  // A misspelt key in a settings file would otherwise leave its option at the default unseen.
  app.allow_config_extras(CLI::config_extras_mode::error);
  app.get_formatter()->column_width(36);
  app.footer(
      "Times (--start, the CSV's time column) are read as UTC: 2024.01.02 10:30, 2024-01-02 10:30:15,\n"
      "2024-01-02T10:30:15Z, 2024-01-02T12:30:15+02:00, 2024/01/02, whole seconds since 1970, or\n"
      "milliseconds (12 digits or more); day-first and month-first dates with --date-order. A date\n"
      "column and a time column are read together. The guard's own times (title,\n"
      "snapshots, statistics files) follow the simulated clock, in UTC.\n"
      "CSV histories as terminals export them: a header line naming the columns (time, date, datetime\n"
      "or timestamp; equity; margin; free margin), separated by commas, semicolons or tabs, fields or\n"
      "whole rows quoted, in UTF-8 or UTF-16 with a byte-order mark; --columns maps other names. Rows\n"
      "must run forward in time with an equity above 0. The history is read as the strategy's running\n"
      "result: after a close-all its later changes apply to the new, flat account, as if the strategy\n"
      "reopened the same exposure (less --close-cost). The summary and the chart set the account with\n"
      "the guard beside the same account without it, for the model and for a CSV history.\n"
      "Target texts are read as the library reads them: any character but a digit or \".\" separates\n"
      "numbers, so 1e2 would be 1 and 2 and -50 would be 50 (such texts stop the run); a \";\" right\n"
      "after a number starts the next set.\n"
      "Ladders side by side: --ladder NAME=TP|DD|INC|SL (repeated) or --ladders FILE runs each ladder on\n"
      "the same input in a process of its own (the library keeps one guard per process), --jobs at a\n"
      "time, and prints one table: each ladder's end equity, deepest drawdown, closes and realised result\n"
      "per cycle beside the account without the guard (--json writes the same). Every ladder is checked\n"
      "before any runs; --state, --chart and --log describe one run and are not taken with them.\n"
      "The library's exports zt-sim calls, as an expert advisor does: SetWindowTitles, InitZT,\n"
      "SetEmailProp, SetEquity, SetTTC, GetEquitySnap, GetAlert, GetEmailSubject, GetEmailText,\n"
      "GetLabel and GetValue.");

  const std::string input = "Input";
  app.add_option("--csv", o.csvPath, "Replay account figures from a CSV file (header names the columns)")
      ->group(input)->check(CLI::ExistingFile);
  app.add_option("--columns", o.columns,
                 "Map CSV columns: date=NAME,time=NAME,equity=NAME,margin=NAME,free=NAME (or #N for the Nth)")
      ->group(input);
  app.add_option("--date-order", o.csvFormat.dateOrder,
                 "Dates that end in the year: dmy (02.01.2024) or mdy (01/02/2024); auto tells them apart "
                 "by a day past 12")
      ->group(input)
      ->transform(CLI::CheckedTransformer(std::map<std::string, DateOrder>{
          {"auto", DateOrder::Auto}, {"ymd", DateOrder::YearFirst}, {"dmy", DateOrder::DayFirst},
          {"mdy", DateOrder::MonthFirst}}));
  app.add_option("--decimal", o.csvFormat.decimal,
                 "Decimal mark of the CSV's figures: point, comma, or auto (comma in a file separated by "
                 "semicolons or tabs whose figures have no point)")
      ->group(input)
      ->transform(CLI::CheckedTransformer(std::map<std::string, DecimalMark>{
          {"auto", DecimalMark::Auto}, {"point", DecimalMark::Point}, {"comma", DecimalMark::Comma}}));

  const std::string model = "Account model (used without --csv)";
  app.add_option("--seed", o.model.seed, "Seed of the random walk")->group(model)->capture_default_str();
  app.add_option("--ticks", o.ticks, "Ticks to run")->group(model)->capture_default_str();
  app.add_option("--balance", o.model.balance, "Starting balance")->group(model)->capture_default_str();
  app.add_option("--drift", o.model.drift, "Mean change of the open trades' result per tick")->group(model)->capture_default_str();
  app.add_option("--volatility", o.model.volatility, "Standard deviation of that change per tick")
      ->group(model)->capture_default_str();
  app.add_option("--margin", o.model.margin, "Margin the open trades hold")->group(model)->capture_default_str();
  app.add_option("--close-cost", o.model.closeCost, "Spread and slippage paid on every close-all (CSV replays too)")
      ->group(model)->capture_default_str();
  app.add_option("--start", start, "Time of the first tick, UTC (YYYY.MM.DD HH:MM)")->group(model)->capture_default_str();
  app.add_option("--tick-seconds", o.model.tickSeconds, "Seconds between ticks")->group(model)->capture_default_str();

  const std::string targets = "Targets (the texts InitZT takes)";
  app.add_option("--take-profits", o.host.targets.takeProfits, "Take-profit sets, e.g. 50,30;80,60")
      ->group(targets)->capture_default_str();
  app.add_option("--drawdown-targets", o.host.targets.drawdownTargets, "Drawdown-target sets, e.g. 20,40;25,50")
      ->group(targets)->capture_default_str();
  app.add_option("--increase-targets", o.host.targets.increaseTargets, "Equity-increase targets (equity levels)")
      ->group(targets)->capture_default_str();
  app.add_option("--stop-losses", o.host.targets.stopLosses, "Stop-loss amounts, one per target set")
      ->group(targets)->capture_default_str();
  app.add_option("--initial-equity", o.host.initialEquity, "Initial equity to pass (0: the guard's stored one)")
      ->group(targets)->capture_default_str();

  const std::string email = "E-mails (the host's own thresholds; 0 is off)";
  app.add_option("--email-equity", o.host.email.equityTarget, "E-mail when equity - snapshot reaches this")->group(email);
  app.add_option("--email-margin", o.host.email.marginPercent, "E-mail when 100 x margin / free margin reaches this")->group(email);
  app.add_option("--email-drawdown", o.host.email.drawdown, "E-mail when snapshot - equity reaches this")->group(email);

  const std::string terminal = "Terminal";
  app.add_option("--host-tag", o.host.hostTag, "Host tag shown in the dashboard title (up to 19 characters)")
      ->group(terminal)->capture_default_str();
  app.add_option("--chart-title", o.host.frameTitle, "Chart window title the guard reads its symbol from")
      ->group(terminal)->capture_default_str();
  app.add_option("--terminal-title", o.host.mainTitle, "Terminal title: account number, server")
      ->group(terminal)->capture_default_str();
  app.add_option("--chart-handle", o.host.chartHandle, "Chart window handle")->group(terminal)->capture_default_str();
  app.add_option("--library", o.library, "The zentravo.so to load")->group(terminal)->capture_default_str();
  app.add_option("--state", o.state,
                 "State folder for the library's files and the input's position; run again with it to continue "
                 "(default: none kept; the run uses memory-backed storage)")->group(terminal);
  app.add_flag("--resume-anyway", o.resumeAnyway,
               "Continue a state folder made from another input, account or ladder, or one whose last run "
               "did not stop cleanly")->group(terminal);

  const std::string side = "Ladders side by side (command line only)";
  std::vector<std::string> ladderTexts;
  std::vector<std::string> ladderFiles;
  o.jobs = std::max(1, static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN)));
  app.add_option("--ladder", ladderTexts,
                 "A ladder NAME=TP|DD|INC|SL to compare (repeat the option)")
      ->group(side)->configurable(false)->allow_extra_args(false);
  app.add_option("--ladders", ladderFiles, "Ladders from a file: NAME=TP|DD|INC|SL a line, # comments")
      ->group(side)->configurable(false)->allow_extra_args(false)->check(CLI::ExistingFile);
  app.add_option("--jobs", o.jobs, "Ladders run at once, a process each (default: the cores)")
      ->group(side)->configurable(false)->capture_default_str();

  const std::string output = "Output";
  app.add_option("--tail", o.tail, "Print only the last N events of the log (0: all)")->group(output);
  app.add_flag("--quiet", o.quiet, "Print no event log, only the dashboard and the summary")->group(output);
  app.add_option("--log", o.logPath, "Write the whole event log to a file")->group(output);
  app.add_option("--json", o.jsonPath, "Write events, summary and dashboard as JSON ('-': standard output)")->group(output);
  app.add_flag("--json-brief", o.jsonBrief,
               "Leave events and cycles out of the JSON (a long run keeps less)")
      ->group(output)->configurable(false);
  app.add_option("--chart", o.chartPath, "Write the equity chart as SVG")->group(output);
  app.add_flag("--no-progress", noProgress, "Never draw the progress bar")->group(output);

  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend() - (arguments.empty() ? 0 : 1));
  try {
    app.parse(reversed);
    const std::optional<std::int64_t> startTime = ParseTime(start);
    if (!startTime) throw CLI::ValidationError("--start", "\"" + start + "\" is not a time");
    o.model.startTime = *startTime;
    if (!o.columns.empty()) ParseColumnMapping(o.columns);  // report a bad mapping before running
    if (o.host.hostTag.size() > 19) throw CLI::ValidationError("--host-tag", "longer than 19 characters");
    if (std::string mistake = RangeMistake(o); !mistake.empty() ||
                                                !(mistake = LadderMistake(o.host.targets)).empty() ||
                                                !(mistake = SideBySideMistake(app, arguments, ladderTexts,
                                                                              ladderFiles, o)).empty()) {
      err << "zt-sim: " << mistake << "\n";
      return {std::nullopt, 2};
    }
    o.inputs = app.config_to_str(true, false);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return {std::nullopt, 0};
  } catch (const CLI::ConfigError& error) {
    // CLI11 says "INI was not able to parse KEY" of a key that names no option.
    std::string what = error.what();
    const std::string cli11 = "INI was not able to parse ";
    if (what.rfind(cli11, 0) == 0) what = "\"" + what.substr(cli11.size()) + "\" in the settings file is no option";
    err << "zt-sim: --config: " << what << "\n" << "Run with --help for the options.\n";
    return {std::nullopt, 2};
  } catch (const CLI::ParseError& error) {
    err << "zt-sim: " << error.what() << "\n" << "Run with --help for the options.\n";
    return {std::nullopt, 2};
  } catch (const std::invalid_argument& error) {
    err << "zt-sim: --columns: " << error.what() << "\n";
    return {std::nullopt, 2};
  }
  o.progress = !noProgress;
  if (!arguments.empty()) o.arguments.assign(arguments.begin() + 1, arguments.end());
  return {o, 0};
}

namespace {

std::string Number(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

// The first few problems, one "line N: ..." per line, and how many more there are.
std::string Problems(const std::vector<CsvProblem>& problems) {
  std::string out;
  for (std::size_t i = 0; i < problems.size() && i < kProblemsShown; ++i) {
    out += "\n  line " + std::to_string(problems[i].line) + ": " + problems[i].message;
  }
  if (problems.size() > kProblemsShown) out += "\n  and " + std::to_string(problems.size() - kProblemsShown) + " more";
  return out;
}

// What a state folder continues: the same input, the same account and the same ladder.
RunIdentity IdentityOf(const SimOptions& o) {
  RunIdentity identity;
  if (!o.csvPath.empty()) {
    // The file's name, not its folder: a history moved elsewhere is the same history. Its rows
    // are compared by their fingerprint.
    identity = {{"--csv", fs::path(o.csvPath).filename().string()}, {"--columns", o.columns},
                {"--date-order", std::to_string(static_cast<int>(o.csvFormat.dateOrder))},
                {"--decimal", std::to_string(static_cast<int>(o.csvFormat.decimal))}};
  } else {
    const AccountModelOptions& m = o.model;
    identity = {{"--seed", std::to_string(m.seed)},       {"--balance", Number(m.balance)},
                {"--drift", Number(m.drift)},             {"--volatility", Number(m.volatility)},
                {"--margin", Number(m.margin)},           {"--close-cost", Number(m.closeCost)},
                {"--start", FormatTime(m.startTime)},     {"--tick-seconds", std::to_string(m.tickSeconds)}};
  }
  // The ladder as the library reads it: "50,30" and "50, 30" are the same ladder.
  const Ladder ladder = ReadLadder(o.host.targets);
  identity.insert(identity.end(), {{"--terminal-title", o.host.mainTitle},
                                   {"--take-profits", FormatSets(ladder.takeProfits)},
                                   {"--drawdown-targets", FormatSets(ladder.drawdownTargets)},
                                   {"--increase-targets", FormatList(ladder.increaseTargets)},
                                   {"--stop-losses", FormatList(ladder.stopLosses)}});
  return identity;
}

// The simulator's state kept in folder, when it may be continued by a run of options. Throws
// with the reason when it may not.
std::optional<SimState> StateToContinue(const std::string& folder, const SimOptions& options) {
  const fs::path path = fs::path(folder) / kStateFile;
  const std::string anyway = " (--resume-anyway continues it all the same)";
  if (!fs::exists(path)) {
    if (fs::exists(fs::path(folder) / "zentravo.ini") && !options.resumeAnyway) {
      throw std::runtime_error("the state folder " + folder + " holds a guard's files but no simulator state, " +
                               "so its input cannot be continued" + anyway);
    }
    return std::nullopt;
  }
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  std::optional<SimState> state = ParseSimState(text.str());
  if (!state) throw std::runtime_error(path.string() + " is not a state this program wrote");
  if (options.resumeAnyway) return state;
  if (state->running) {
    throw std::runtime_error("the last run in " + folder + " did not stop cleanly, so the guard's files may be " +
                             "ahead of its input" + anyway);
  }
  const std::string differences = IdentityDifferences(state->identity, IdentityOf(options));
  if (!differences.empty()) {
    throw std::runtime_error("the state folder " + folder + " was made from another run: " + differences + anyway);
  }
  return state;
}

// Set by Ctrl-C (and a polite kill): the run stops after the tick in hand, saving everything.
volatile std::sig_atomic_t stopRequested = 0;
extern "C" void RequestStop(int) { stopRequested = 1; }

// Routes SIGINT and SIGTERM to RequestStop for its lifetime.
class StopOnSignal {
 public:
  StopOnSignal() {
    stopRequested = 0;
    previousInterrupt_ = std::signal(SIGINT, RequestStop);
    previousTerminate_ = std::signal(SIGTERM, RequestStop);
  }
  ~StopOnSignal() {
    std::signal(SIGINT, previousInterrupt_);
    std::signal(SIGTERM, previousTerminate_);
  }
  StopOnSignal(const StopOnSignal&) = delete;
  StopOnSignal& operator=(const StopOnSignal&) = delete;

 private:
  void (*previousInterrupt_)(int);
  void (*previousTerminate_)(int);
};

}  // namespace

namespace {
SimResult SimulateIn(const std::string& folder, const SimOptions& options);
}  // namespace

SimResult Simulate(const SimOptions& options) {
  const bool keep = !options.state.empty();
  const std::string folder = keep ? options.state : ThrowawayStateFolder();
  const bool made = !keep || !fs::exists(folder);
  try {
    SimResult result = SimulateIn(folder, options);
    if (!keep) fs::remove_all(folder);
    return result;
  } catch (...) {
    // A run that failed leaves no folder it made behind (nor the library copied into it).
    std::error_code ignored;
    if (made) fs::remove_all(folder, ignored);
    throw;
  }
}

namespace {

SimResult SimulateIn(const std::string& folder, const SimOptions& options) {
  SimResult result;
  result.stateFolder = folder;
  const LoadedGuard guard(options.library, result.stateFolder);
  result.libraryCopy = guard.path();
  const std::optional<SimState> stored = StateToContinue(result.stateFolder, options);
  const std::string statePath = (fs::path(result.stateFolder) / kStateFile).string();

  SimState state;
  state.identity = IdentityOf(options);
  std::unique_ptr<AccountModel> account;
  std::unique_ptr<CsvRows> csv;
  AccountFigures recorded{};       // the CSV row replayed last, as the history has it
  CsvRowSource recordedSource{};
  // A CSV run's close durations, drawn one close after another: a resumed run draws the next.
  Prng closePrng = stored && stored->closePrng ? *stored->closePrng : SeedPrng(options.model.seed);
  // The host's memory of the cycle in hand goes with the guard's files it belongs to.
  HostCarry carry = stored ? stored->host : HostCarry{};
  std::size_t firstRow = 0;
  std::size_t row = 0;
  std::int64_t ticksLeft = options.ticks;
  std::int64_t total = 0;
  double unguarded = 0.0;  // the model's account without the guard
  double offset = 0.0;     // the guarded account's equity less the recorded history's
  Market market{};

  if (!options.csvPath.empty()) {
    csv = std::make_unique<CsvRows>(options.csvPath, ParseColumnMapping(options.columns), options.csvFormat);
    // The whole history is checked before the guard sees a row of it, and the row where a resumed
    // run stopped is found; the rows themselves are read again as they are replayed.
    std::vector<CsvProblem> errors;
    std::size_t rows = 0;
    std::optional<CsvRowSource> stoppedAt;
    {
      AccountFigures figures{};
      CsvRowSource source{};
      while (csv->Next(figures, source, &result.csvProblems, &errors)) {
        if (stored && stored->csvRow >= 0 && rows == static_cast<std::size_t>(stored->csvRow)) stoppedAt = source;
        ++rows;
      }
    }
    if (!errors.empty()) {
      throw std::runtime_error(options.csvPath + " cannot be replayed:" + Problems(errors));
    }
    if (rows == 0) {
      throw std::runtime_error(options.csvPath + " holds no usable row" +
                               (result.csvProblems.empty() ? std::string() : ":" + Problems(result.csvProblems)));
    }
    if (stored && stored->csvRow >= 0) {
      // The terminal restarts at the row where the last run stopped; the rows after it follow.
      const auto last = static_cast<std::size_t>(stored->csvRow);
      const std::string replayed = "the rows up to line " + std::to_string(stored->csvLine) +
                                   " that were replayed into " + result.stateFolder;
      if (!stoppedAt || stoppedAt->digest != stored->csvDigest) {
        if (!options.resumeAnyway) {
          throw std::runtime_error(options.csvPath + " does not hold " + replayed +
                                   " (--resume-anyway continues it all the same)");
        }
      }
      firstRow = std::min(last, rows - 1);
      if (firstRow + 1 >= rows) {
        throw std::runtime_error(options.csvPath + " holds no row after " + replayed + ": nothing to continue");
      }
      result.resumed = true;
    }
    total = static_cast<std::int64_t>(rows - firstRow) - 1;
    // The history is the strategy's running result. After a close-all the strategy opens the
    // same exposure again, so the history's later changes apply to the new, flat account: the
    // guarded account runs the recorded equity less what its closes cost (offset).
    if (stored) offset = stored->csvOffset;
    const auto guarded = [&offset](AccountFigures figures) {
      figures.equity += offset;
      figures.freeMargin += offset;
      return figures;
    };
    csv->Rewind();
    for (std::size_t skipped = 0; skipped <= firstRow; ++skipped) csv->Next(recorded, recordedSource);
    market.start = guarded(recorded);
    market.nextTick = [&, guarded]() -> std::optional<AccountFigures> {
      if (stopRequested || !csv->Next(recorded, recordedSource)) return std::nullopt;
      ++row;
      return guarded(recorded);
    };
    market.closeAll = [&](const AccountFigures& figures) {
      offset -= options.model.closeCost;
      // The broker books what is left in whole cents, the amount the guard stores its snapshot in.
      return CloseOutcome{WholeCents(figures.equity - options.model.closeCost), CloseDurationMs(closePrng)};
    };
    market.unguardedEquity = [&] { return recorded.equity; };
  } else {
    account = std::make_unique<AccountModel>(NewAccount(options.model));
    if (stored && !stored->account.empty()) {
      if (!ParseAccount(stored->account, *account)) {
        throw std::runtime_error(statePath + " holds no account this program wrote");
      }
      result.resumed = true;
    }
    total = options.ticks;
    market.start = CurrentFigures(*account);
    // The same account without the guard sees the same market moves and never closes.
    unguarded = stored && result.resumed ? stored->unguarded : market.start.equity;
    market.nextTick = [&]() -> std::optional<AccountFigures> {
      if (ticksLeft-- <= 0 || stopRequested) return std::nullopt;
      const double before = account->floating;
      const AccountFigures figures = NextTick(*account);
      unguarded += account->floating - before;
      return figures;
    };
    market.closeAll = [&](const AccountFigures&) { return CloseAll(*account); };
    market.unguardedEquity = [&] { return unguarded; };
  }

  // Where the input stands, written before the first tick (a folder that cannot take it stops the
  // run before the guard changes anything) and again when the run stops.
  const auto saveState = [&](bool running) {
    state.running = running;
    if (account) state.account = FormatAccount(*account);
    state.unguarded = unguarded;
    state.csvOffset = offset;
    state.host = carry;
    if (csv) {
      state.closePrng = closePrng;
      state.csvRow = static_cast<std::int64_t>(firstRow + row);
      state.csvLine = recordedSource.line;
      state.csvDigest = recordedSource.digest;
    }
    ReplaceFile(statePath, FormatSimState(state));
  };
  try {
    saveState(true);
  } catch (const std::runtime_error& error) {
    throw std::runtime_error("the state folder " + result.stateFolder + " cannot be written (" + error.what() +
                             "), so nothing was run");
  }
  {
    // The library reads the simulated clock until the panel is read: its title shows the time of
    // the last tick.
    const SimulatedClockScope clock(market.start.time);
    const StopOnSignal stop;
    {
      ProgressBar bar(options.progress, total);
      // The whole log, the JSON and the chart want every event and level; a report of the summary
      // and the log's tail keeps only what it prints, so that a long run's memory stays flat.
      HostOptions host = options.host;
      host.keepEverything = !options.logPath.empty() || !options.chartPath.empty() ||
                            (!options.jsonPath.empty() && !options.jsonBrief) || (!options.quiet && options.tail == 0);
      host.lastEventsKept = options.quiet ? 0 : options.tail;
      host.carry = carry;
      result.run = RunHost(guard.api(), host, market, [&bar](std::int64_t done) { bar.Update(done); });
      carry = result.run.carry;
    }
    result.interrupted = stopRequested != 0;
    result.dashboard = ReadDashboard(guard.api());
  }
  result.summary = Summarise(result.run);
  saveState(false);
  return result;
}

}  // namespace

int RunSimulator(const SimOptions& options, std::ostream& out, std::ostream& err) {
  const Ladder ladder = ReadLadder(options.host.targets);
  if (options.jsonPath != "-") out << FormatLadder(ladder) << "\n";
  SimResult result;
  try {
    result = Simulate(options);
  } catch (const std::exception& error) {
    err << "zt-sim: " << error.what() << "\n";
    return 1;
  }
  if (!result.csvProblems.empty()) {
    err << "zt-sim: skipped " << result.csvProblems.size() << " bad row(s) of " << options.csvPath << ":\n";
    for (std::size_t i = 0; i < result.csvProblems.size() && i < kProblemsShown; ++i) {
      err << "  line " << result.csvProblems[i].line << ": " << result.csvProblems[i].message << "\n";
    }
    if (result.csvProblems.size() > kProblemsShown) {
      err << "  and " << result.csvProblems.size() - kProblemsShown << " more\n";
    }
  }
  const std::string title = "Zentravo guard on a " + InputDescription(options, result);
  try {
    if (!options.logPath.empty()) WriteTextFile(options.logPath, FormatLog(result.run, 0));
    if (!options.chartPath.empty()) WriteChart(result.run, title, options.chartPath);
    const auto writeJson = [&](std::ostream& stream) {
      WriteJson(stream, result.run, result.summary, result.dashboard, ladder, SettingsLines(options.inputs),
                options.jsonBrief);
    };
    if (options.jsonPath == "-") {
      writeJson(out);
      return result.interrupted ? kInterruptedExit : 0;
    }
    if (!options.jsonPath.empty()) WriteOutputFile(options.jsonPath, writeJson);
  } catch (const std::exception& error) {
    err << "zt-sim: " << error.what() << "\n";
    return 1;
  }

  // Paths of any length, folded so that the report fits a terminal kPageWidth columns wide.
  const auto line = [&out](const std::string& text) { out << Folded(text, kPageWidth, "  ") << "\n"; };
  line(title);
  if (options.state.empty()) {
    line("library " + options.library + ", no state folder kept (--state DIR keeps one to continue)");
  } else {
    line("library " + result.libraryCopy + ", state folder " + result.stateFolder);
  }
  out << "\n";
  if (!options.quiet) out << FormatLog(result.run, options.tail) << "\n";
  out << "Dashboard\n" << FormatDashboard(result.dashboard) << "\n";
  out << "Summary\n" << FormatSummary(result.summary, result.dashboard);
  if (result.interrupted) {
    out << "\n";
    line("interrupted after " + std::to_string(result.run.ticks) + " ticks" +
         (options.state.empty() ? std::string() : "; run again with --state " + result.stateFolder + " to continue"));
  }
  if (!options.chartPath.empty()) {
    out << "\n";
    line("chart written to " + options.chartPath);
  }
  if (!options.jsonPath.empty()) line("JSON written to " + options.jsonPath);
  if (!options.logPath.empty()) line("full log written to " + options.logPath);
  return result.interrupted ? kInterruptedExit : 0;
}

}  // namespace zt::sim
