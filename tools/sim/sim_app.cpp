#include "sim_app.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <sstream>
#include <stdexcept>

#include "guard_api.h"
#include "sim_clock.h"
#include "svg_chart.h"

#ifndef ZT_SIM_DEFAULT_LIBRARY
#define ZT_SIM_DEFAULT_LIBRARY "zentravo.so"
#endif

namespace zt::sim {
namespace {

namespace fs = std::filesystem;

constexpr double kProgressDelaySeconds = 0.3;  // quicker runs never show a bar
constexpr int kProgressWidth = 40;
constexpr std::size_t kProblemsShown = 5;      // bad CSV rows listed before "and N more"

// Defaults for a lively run of the account model with its default balance of 10000.
constexpr const char* kDefaultTakeProfits = "60,45,30,20;90,60,40,25;120,80,50,30";
constexpr const char* kDefaultDrawdownTargets = "40,80,120;60,110,160;80,140,200";
constexpr const char* kDefaultIncreaseTargets = "10250,10500,10800";
constexpr const char* kDefaultStopLosses = "150,200,250";

std::string FreshStateFolder() {
  for (int n = 1;; ++n) {
    const std::string name = "zt-state-" + std::to_string(n);
    if (!fs::exists(name)) return name;
  }
}

void WriteTextFile(const std::string& path, const std::string& text) {
  if (const fs::path parent = fs::path(path).parent_path(); !parent.empty()) {
    std::error_code ignored;
    fs::create_directories(parent, ignored);
  }
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// A bar on standard error, drawn only when it is a terminal and the run lasts.
class ProgressBar {
 public:
  ProgressBar(bool wanted, std::int64_t total)
      : shown_(wanted && total > 0 && isatty(STDERR_FILENO) == 1), total_(total),
        start_(std::chrono::steady_clock::now()) {}
  ~ProgressBar() {
    if (drawn_) std::fprintf(stderr, "\r%*s\r", kProgressWidth + 40, "");
  }
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  void Update(std::int64_t done) {
    if (!shown_) return;
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
    if (elapsed.count() < kProgressDelaySeconds) return;
    const double fraction = std::min(1.0, static_cast<double>(done) / static_cast<double>(total_));
    const int filled = static_cast<int>(fraction * kProgressWidth);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kProgressWidth - filled), '.');
    std::fprintf(stderr, "\r[%s] %3d%%  %lld / %lld ticks", bar.c_str(), static_cast<int>(fraction * 100),
                 static_cast<long long>(done), static_cast<long long>(total_));
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
    return "CSV " + options.csvPath + " (" + std::to_string(result.run.ticks + 1) + " rows)";
  }
  return std::string(result.resumedAccount ? "resumed" : "seeded") + " account model (seed " +
         std::to_string(options.model.seed) + ", " + std::to_string(result.run.ticks) + " ticks)";
}

}  // namespace

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
  app.get_formatter()->column_width(36);

  const std::string input = "Input";
  app.add_option("--csv", o.csvPath, "Replay account figures from a CSV file (header names the columns)")
      ->group(input)->check(CLI::ExistingFile);
  app.add_option("--columns", o.columns,
                 "Map CSV columns: time=NAME,equity=NAME,margin=NAME,free=NAME (or #N for the Nth)")
      ->group(input);

  const std::string model = "Account model (used without --csv)";
  app.add_option("--seed", o.model.seed, "Seed of the random walk")->group(model)->capture_default_str();
  app.add_option("--ticks", o.ticks, "Ticks to run")->group(model)->capture_default_str()->check(CLI::NonNegativeNumber);
  app.add_option("--balance", o.model.balance, "Starting balance")->group(model)->capture_default_str()->check(CLI::PositiveNumber);
  app.add_option("--drift", o.model.drift, "Mean change of the open trades' result per tick")->group(model)->capture_default_str();
  app.add_option("--volatility", o.model.volatility, "Standard deviation of that change per tick")
      ->group(model)->capture_default_str()->check(CLI::NonNegativeNumber);
  app.add_option("--margin", o.model.margin, "Margin the open trades hold")->group(model)->capture_default_str()->check(CLI::NonNegativeNumber);
  app.add_option("--close-cost", o.model.closeCost, "Spread and slippage paid on every close-all")
      ->group(model)->capture_default_str()->check(CLI::NonNegativeNumber);
  app.add_option("--start", start, "Time of the first tick, UTC (YYYY.MM.DD HH:MM)")->group(model)->capture_default_str();
  app.add_option("--tick-seconds", o.model.tickSeconds, "Seconds between ticks")->group(model)->capture_default_str()->check(CLI::PositiveNumber);

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
  app.add_option("--state", o.state, "State folder for the library's files (default: a new zt-state-N)")->group(terminal);

  const std::string output = "Output";
  app.add_option("--tail", o.tail, "Print only the last N events of the log (0: all)")->group(output);
  app.add_flag("--quiet", o.quiet, "Print no event log, only the dashboard and the summary")->group(output);
  app.add_option("--log", o.logPath, "Write the whole event log to a file")->group(output);
  app.add_option("--json", o.jsonPath, "Write events, summary and dashboard as JSON ('-': standard output)")->group(output);
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
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return {std::nullopt, 0};
  } catch (const CLI::ParseError& error) {
    err << "zt-sim: " << error.what() << "\n" << "Run with --help for the options.\n";
    return {std::nullopt, 2};
  } catch (const std::invalid_argument& error) {
    err << "zt-sim: --columns: " << error.what() << "\n";
    return {std::nullopt, 2};
  }
  o.progress = !noProgress;
  return {o, 0};
}

SimResult Simulate(const SimOptions& options) {
  SimResult result;
  result.stateFolder = options.state.empty() ? FreshStateFolder() : options.state;
  const LoadedGuard guard(options.library, result.stateFolder);
  result.libraryCopy = guard.path();

  const std::string accountPath = (fs::path(result.stateFolder) / kAccountFile).string();
  std::unique_ptr<AccountModel> account;
  std::unique_ptr<CsvTable> table;
  Prng closePrng = SeedPrng(options.model.seed);
  std::size_t row = 0;
  std::int64_t ticksLeft = options.ticks;
  std::int64_t total = 0;
  Market market{};

  if (!options.csvPath.empty()) {
    table = std::make_unique<CsvTable>(ReadAccountCsv(options.csvPath, ParseColumnMapping(options.columns)));
    result.csvProblems = table->problems;
    if (table->rows.empty()) throw std::runtime_error(options.csvPath + " holds no usable row");
    total = static_cast<std::int64_t>(table->rows.size()) - 1;
    market.start = table->rows.front();
    row = 1;
    market.nextTick = [&]() -> std::optional<AccountFigures> {
      if (row >= table->rows.size()) return std::nullopt;
      return table->rows[row++];
    };
    // A recorded history cannot be changed: the close realises the figures of the row, the
    // following rows go on as they were recorded.
    market.closeAll = [&](const AccountFigures& figures) {
      return CloseOutcome{figures.equity, CloseDurationMs(closePrng)};
    };
  } else {
    account = std::make_unique<AccountModel>(NewAccount(options.model));
    if (fs::exists(accountPath)) {
      if (!ParseAccount(ReadFirstLine(accountPath), *account)) {
        throw std::runtime_error(accountPath + " is not an account this program wrote");
      }
      result.resumedAccount = true;
    }
    total = options.ticks;
    market.start = CurrentFigures(*account);
    market.nextTick = [&]() -> std::optional<AccountFigures> {
      if (ticksLeft-- <= 0) return std::nullopt;
      return NextTick(*account);
    };
    market.closeAll = [&](const AccountFigures&) { return CloseAll(*account); };
  }

  {
    // The library reads the simulated clock until the panel is read: its title shows the time of
    // the last tick.
    const SimulatedClockScope clock(market.start.time);
    {
      ProgressBar bar(options.progress, total);
      result.run = RunHost(guard.api(), options.host, market, [&bar](std::int64_t done) { bar.Update(done); });
    }
    result.dashboard = ReadDashboard(guard.api());
  }
  result.summary = Summarise(result.run);
  if (account) WriteTextFile(accountPath, FormatAccount(*account) + "\n");
  return result;
}

int RunSimulator(const SimOptions& options, std::ostream& out, std::ostream& err) {
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
    const std::string json = options.jsonPath.empty() ? std::string()
                                                      : FormatJson(result.run, result.summary, result.dashboard);
    if (options.jsonPath == "-") {
      out << json;
      return 0;
    }
    if (!json.empty()) WriteTextFile(options.jsonPath, json);
  } catch (const std::exception& error) {
    err << "zt-sim: " << error.what() << "\n";
    return 1;
  }

  out << title << "\n";
  out << "library " << result.libraryCopy << ", state folder " << result.stateFolder << "\n\n";
  if (!options.quiet) out << FormatLog(result.run, options.tail) << "\n";
  out << "Dashboard\n" << FormatDashboard(result.dashboard) << "\n";
  out << "Summary\n" << FormatSummary(result.summary, result.dashboard);
  if (!options.chartPath.empty()) out << "\nchart written to " << options.chartPath << "\n";
  if (!options.jsonPath.empty()) out << "JSON written to " << options.jsonPath << "\n";
  if (!options.logPath.empty()) out << "full log written to " << options.logPath << "\n";
  return 0;
}

}  // namespace zt::sim
