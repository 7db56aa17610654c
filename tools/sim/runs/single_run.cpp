#include "runs/single_run.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>

#include "host/guard_api.h"
#include "host/ladder.h"
#include "host/simulated_clock.h"
#include "number_text.h"
#include "options/run_input.h"
#include "report/run_chart.h"
#include "report/run_description.h"
#include "report/run_json.h"
#include "runs/progress.h"
#include "runs/run_state.h"
#include "runs/streamed_log.h"
#include "runs/streamed_records.h"
#include "system/output_files.h"
#include "system/paths.h"
#include "system/processes.h"
#include "system/stop_request.h"
#include "text_helpers.h"
#include "trading/position_market.h"

namespace zt::sim {
namespace {

namespace fs = std::filesystem;
using tools::kPageWidth;
using tools::Number;

constexpr std::size_t kProblemsShown = 5;  // bad CSV rows listed before "and N more"
constexpr int kInterruptedExit = 130;      // as a shell reports a program stopped by Ctrl-C

// A folder for the library's files of a run that keeps none: in memory-backed storage where the
// system has it, since the library flushes its settings file to disk on every close-all and a
// tight ladder would spend the run waiting for the disk.
std::string ThrowawayStateFolder() { return system::MakeScratchFolder("zt-sim-", true); }

// The first few problems, one "line N: ..." per line, and how many more there are.
std::string Problems(const std::vector<CsvProblem>& problems) {
  std::string out;
  for (std::size_t i = 0; i < problems.size() && i < kProblemsShown; ++i) {
    out += "\n  line " + std::to_string(problems[i].line) + ": " + problems[i].message;
  }
  if (problems.size() > kProblemsShown)
    out += "\n  and " + std::to_string(problems.size() - kProblemsShown) + " more";
  return out;
}

// The simulator's state kept in folder, when it may be continued by a run of options. Throws
// with the reason when it may not.
std::optional<SimState> StateToContinue(const std::string& folder, const SimOptions& options) {
  const fs::path path = system::PathOf(folder) / kStateFile;
  const std::string anyway = " (--resume-anyway continues it all the same)";
  std::error_code unlisted;
  const bool there = fs::exists(path, unlisted);
  if (unlisted)
    throw std::runtime_error("cannot read the folder " + folder + ": " + unlisted.message());
  if (!there) {
    if (fs::exists(system::PathOf(folder) / "zentravo.ini") && !options.resumeAnyway) {
      throw std::runtime_error("the state folder " + folder +
                               " holds a guard's files but no simulator state, " +
                               "so its input cannot be continued" + anyway);
    }
    return std::nullopt;
  }
  std::optional<SimState> state = ParseSimState(ReadStateFile(system::Utf8Of(path)));
  if (!state) throw std::runtime_error(system::Utf8Of(path) + " is not a state this program wrote");
  if (options.resumeAnyway) return state;
  if (state->running) {
    throw std::runtime_error("the last run in " + folder +
                             " did not stop cleanly, so the guard's files may be " +
                             "ahead of its input" + anyway);
  }
  const std::string differences = CompareIdentities(state->identity, IdentifyRun(options.record));
  if (!differences.empty()) {
    throw std::runtime_error("the state folder " + folder +
                             " was made from another run: " + differences + anyway);
  }
  return state;
}

SimResult SimulateIn(const std::string& folder, const SimOptions& options, const RunSinks& sinks);

}  // namespace

SimResult Simulate(const SimOptions& options, const RunSinks& sinks) {
  const bool keep = !options.state.empty();
  const std::string folder = keep ? options.state : ThrowawayStateFolder();
  const bool made = !keep || !fs::exists(system::PathOf(folder));
  try {
    SimResult result = SimulateIn(folder, options, sinks);
    if (!keep) fs::remove_all(system::PathOf(folder));
    return result;
  } catch (...) {
    // A run that failed leaves no folder it made behind (nor the library copied into it).
    std::error_code ignored;
    if (made) fs::remove_all(system::PathOf(folder), ignored);
    throw;
  }
}

namespace {

// Where a CSV replay starts: the row after the one a resumed run stopped at, and the ticks left.
struct HistoryStart {
  std::size_t firstRow = 0;
  std::int64_t total = 0;
  bool resumed = false;
};

// Reads the whole history once before the guard sees a row of it: every row is checked (the
// skipped ones noted in problems), and the row where a resumed run stopped is found. The rows
// themselves are read again as they are replayed. Throws with the reason when the history cannot
// be replayed, or not continued from the state folder.
HistoryStart CheckHistory(CsvRows& csv, const SimOptions& options,
                          const std::optional<SimState>& stored, const std::string& stateFolder,
                          std::vector<CsvProblem>& problems) {
  HistoryStart start;
  std::vector<CsvProblem> errors;
  std::size_t rows = 0;
  std::optional<CsvRowSource> stoppedAt;
  {
    AccountFigures figures{};
    CsvRowSource source{};
    while (csv.Next(figures, source, &problems, &errors)) {
      if (stored && stored->csvRow >= 0 && rows == static_cast<std::size_t>(stored->csvRow))
        stoppedAt = source;
      ++rows;
    }
  }
  if (!errors.empty()) {
    throw std::runtime_error(options.csvPath + " cannot be replayed:" + Problems(errors));
  }
  if (rows == 0) {
    throw std::runtime_error(options.csvPath + " holds no usable row" +
                             (problems.empty() ? std::string() : ":" + Problems(problems)));
  }
  if (stored && stored->csvRow >= 0) {
    // The terminal restarts at the row where the last run stopped; the rows after it follow.
    const auto last = static_cast<std::size_t>(stored->csvRow);
    const std::string replayed = "the rows up to line " + std::to_string(stored->csvLine) +
                                 " that were replayed into " + stateFolder;
    if (!stoppedAt || stoppedAt->digest != stored->csvDigest) {
      if (!options.resumeAnyway) {
        throw std::runtime_error(options.csvPath + " does not hold " + replayed +
                                 " (--resume-anyway continues it all the same)");
      }
    }
    start.firstRow = std::min(last, rows - 1);
    if (start.firstRow + 1 >= rows) {
      throw std::runtime_error(options.csvPath + " holds no row after " + replayed +
                               ": nothing to continue");
    }
    start.resumed = true;
  }
  start.total = static_cast<std::int64_t>(rows - start.firstRow) - 1;
  return start;
}

// The guard watches the strategy's account on the price model; the twin account that no guard
// closes trades the same prices beside it.
void Connect(PositionMarket& positions, std::int64_t& ticksLeft, Market& market) {
  market.start = positions.Figures();
  market.nextTick = [&]() -> std::optional<AccountFigures> {
    if (ticksLeft-- <= 0 || system::StopRequested() || positions.Ended()) return std::nullopt;
    return positions.NextTick();
  };
  market.closeAll = [&](const AccountFigures&) { return positions.CloseAll(); };
  market.unguardedEquity = [&] { return positions.UnguardedEquity(); };
}

// The input of one run, connected to the host as its market, and where it stands: a CSV history,
// the price model's accounts or the random-walk account. The market's functions refer to the
// feed's members, so a feed stays where it was connected.
struct Feed {
  std::unique_ptr<AccountModel> account;
  std::unique_ptr<PositionMarket> positions;
  std::unique_ptr<CsvRows> csv;
  AccountFigures recorded{};  // the CSV row replayed last, as the history has it
  CsvRowSource recordedSource{};
  // A CSV run's close durations, drawn one close after another: a resumed run draws the next.
  Prng closePrng{};
  std::size_t firstRow = 0;
  std::size_t row = 0;
  std::int64_t ticksLeft = 0;
  std::int64_t total = 0;
  double unguarded = 0.0;  // the model's account without the guard
  double offset = 0.0;     // the guarded account's equity less the recorded history's
  Market market{};
};

// A CSV history replayed from the row after the one a resumed run stopped at.
void ConnectHistory(Feed& feed, const SimOptions& options, const std::optional<SimState>& stored,
                    SimResult& result) {
  feed.csv = std::make_unique<CsvRows>(options.csvPath, ParseColumnMapping(options.columns),
                                       options.csvFormat);
  const HistoryStart start =
      CheckHistory(*feed.csv, options, stored, result.stateFolder, result.csvProblems);
  feed.firstRow = start.firstRow;
  feed.total = start.total;
  result.resumed = start.resumed;
  // The history is the strategy's running result. After a close-all the strategy opens the
  // same exposure again, so the history's later changes apply to the new, flat account: the
  // guarded account runs the recorded equity less what its closes cost (offset).
  if (stored) feed.offset = stored->csvOffset;
  const auto guarded = [&offset = feed.offset](AccountFigures figures) {
    figures.equity += offset;
    figures.freeMargin += offset;
    return figures;
  };
  feed.csv->Rewind();
  for (std::size_t skipped = 0; skipped <= feed.firstRow; ++skipped)
    feed.csv->Next(feed.recorded, feed.recordedSource);
  feed.market.start = guarded(feed.recorded);
  feed.market.nextTick = [&feed, guarded]() -> std::optional<AccountFigures> {
    if (system::StopRequested() || !feed.csv->Next(feed.recorded, feed.recordedSource))
      return std::nullopt;
    ++feed.row;
    return guarded(feed.recorded);
  };
  const double closeCost = options.model.closeCost;
  feed.market.closeAll = [&feed, closeCost](const AccountFigures& figures) {
    feed.offset -= closeCost;
    // The broker books what is left in whole cents, the amount the guard stores its snapshot in.
    return CloseOutcome{RoundToCents(figures.equity - closeCost), CloseDurationMs(feed.closePrng)};
  };
  feed.market.unguardedEquity = [&feed] { return feed.recorded.equity; };
}

// The price model's accounts, continued from the state folder's market when it holds one.
void ConnectPositionMarket(Feed& feed, const SimOptions& options,
                           const std::optional<SimState>& stored, const std::string& statePath,
                           SimResult& result) {
  // A price history is read through once before the guard sees a quote of it: a bad line stops
  // the run here, and the run ends with the history.
  const PriceHistoryOptions& history = options.positions.history;
  // A bar history's ticks are those its words (the modelling, the caution) measure.
  std::int64_t quotes = 0;
  if (!history.path.empty()) {
    const BarSizes& bars = MeasuredBars(history);
    quotes = bars.bars > 0 ? bars.ticks : CountHistoryQuotes(history);
  }
  feed.positions = std::make_unique<PositionMarket>(options.start, options.positions);
  if (stored && !stored->market.empty()) {
    if (!feed.positions->Parse(stored->market)) {
      throw std::runtime_error(statePath + " holds no market this program wrote");
    }
    result.resumed = true;
  }
  feed.total = options.ticks;
  if (quotes > 0) {
    feed.total = feed.ticksLeft =
        std::min(options.ticks, quotes - 1 - feed.positions->prices().tick());
    // The worst order's bars hold as many ticks as the account makes them (the count above is the
    // walk's, an estimate for the progress bar): the run ends with the history.
    if (history.walk.path == BarPath::Worst) feed.ticksLeft = options.ticks;
  }
  Connect(*feed.positions, feed.ticksLeft, feed.market);
}

// The random walk of the open trades' result, continued from the state folder's account.
void ConnectAccountModel(Feed& feed, const SimOptions& options,
                         const std::optional<SimState>& stored, const std::string& statePath,
                         SimResult& result) {
  feed.account = std::make_unique<AccountModel>(NewAccount(options.start, options.model));
  if (stored && !stored->account.empty()) {
    if (!ParseAccount(stored->account, *feed.account)) {
      throw std::runtime_error(statePath + " holds no account this program wrote");
    }
    result.resumed = true;
  }
  feed.total = options.ticks;
  feed.market.start = CurrentFigures(*feed.account);
  // The same account without the guard sees the same market moves and never closes.
  feed.unguarded = stored && result.resumed ? stored->unguarded : feed.market.start.equity;
  feed.market.nextTick = [&feed]() -> std::optional<AccountFigures> {
    if (feed.ticksLeft-- <= 0 || system::StopRequested()) return std::nullopt;
    const double before = feed.account->floating;
    const AccountFigures figures = NextTick(*feed.account);
    feed.unguarded += feed.account->floating - before;
    return figures;
  };
  feed.market.closeAll = [&feed](const AccountFigures&) { return CloseAll(*feed.account); };
  feed.market.unguardedEquity = [&feed] { return feed.unguarded; };
}

// Where the input stands, with the host's memory of the cycle in hand, into statePath.
void SaveState(SimState& state, const Feed& feed, const HostCarry& carry, bool running,
               const std::string& statePath) {
  state.running = running;
  if (feed.account) state.account = FormatAccount(*feed.account);
  if (feed.positions) state.market = feed.positions->Format();
  state.unguarded = feed.unguarded;
  state.csvOffset = feed.offset;
  state.host = carry;
  if (feed.csv) {
    state.closePrng = feed.closePrng;
    state.csvRow = static_cast<std::int64_t>(feed.firstRow + feed.row);
    state.csvLine = feed.recordedSource.line;
    state.csvDigest = feed.recordedSource.digest;
  }
  ReplaceFile(statePath, FormatSimState(state));
}

// What the accounts held before the start figures' trades, when those cost something the run's
// costs count: a fresh price model's strategy trades at the first tick, from the deposit.
std::optional<double> OpeningEquity(const SimOptions& options, const Feed& feed, bool resumed) {
  if (!feed.positions || resumed) return std::nullopt;
  return RoundToCents(options.start.balance);
}

// The host's run over the feed, with the risk figures watched beside it and the panel read at
// the end; carry becomes the host's memory when the run stopped.
void RunFeed(const LoadedGuard& guard, const SimOptions& options, const RunSinks& sinks, Feed& feed,
             HostCarry& carry, SimResult& result) {
  // The library reads the simulated clock until the panel is read: its title shows the time of
  // the last tick.
  const SimulatedClockScope clock(feed.market.start.time);
  const system::StopOnRequest stop;
  RiskWatch watch;
  watch.Watch(feed.market, OpeningEquity(options, feed, result.resumed));
  {
    ProgressBar bar(options.progress, feed.total);
    result.run = RunHost(guard.api(), HostOptionsFor(options, carry, sinks), feed.market,
                         [&bar](std::int64_t done) { bar.Update(done); });
    carry = result.run.carry;
  }
  result.risk = watch.Figures(result.run, feed.positions.get(), feed.account.get(), feed.unguarded,
                              options.model.closeCost);
  result.interrupted = system::StopRequested();
  result.dashboard = ReadDashboard(guard.api());
}

SimResult SimulateIn(const std::string& folder, const SimOptions& options, const RunSinks& sinks) {
  SimResult result;
  result.stateFolder = folder;
  const LoadedGuard guard(options.library, result.stateFolder);
  result.libraryCopy = guard.path();
  const std::optional<SimState> stored = StateToContinue(result.stateFolder, options);
  const std::string statePath = system::Utf8Of(system::PathOf(result.stateFolder) / kStateFile);

  SimState state;
  state.identity = IdentifyRun(options.record);
  Feed feed;
  feed.closePrng = stored && stored->closePrng ? *stored->closePrng : SeedPrng(options.start.seed);
  // The host's memory of the cycle in hand goes with the guard's files it belongs to.
  HostCarry carry = stored ? stored->host : HostCarry{};
  feed.ticksLeft = options.ticks;
  if (!options.csvPath.empty()) {
    ConnectHistory(feed, options, stored, result);
  } else if (options.market == MarketKind::Model) {
    ConnectPositionMarket(feed, options, stored, statePath, result);
  } else {
    ConnectAccountModel(feed, options, stored, statePath, result);
  }

  // Where the input stands, written before the first tick (a folder that cannot take it stops the
  // run before the guard changes anything) and again when the run stops.
  try {
    SaveState(state, feed, carry, true, statePath);
  } catch (const std::runtime_error& error) {
    throw std::runtime_error("the state folder " + result.stateFolder + " cannot be written (" +
                             error.what() + "), so nothing was run");
  }
  RunFeed(guard, options, sinks, feed, carry, result);
  result.summary = Summarise(result.run);
  // The summary's start and end agree with the end result.
  if (const auto opening = OpeningEquity(options, feed, result.resumed))
    result.summary.startEquity = *opening;
  SaveState(state, feed, carry, false, statePath);
  return result;
}

// The report of a finished run: what ran on what, the log, the panel, the summary and the files
// written.
void PrintReport(const SimOptions& options, const SimResult& result, const std::string& title,
                 const Modelling& modelling, const StreamedLog& log, std::ostream& out) {
  // Paths of any length, folded so that the report fits a terminal kPageWidth columns wide.
  const auto line = [&out](const std::string& text) {
    out << Folded(text, kPageWidth, "  ") << "\n";
  };
  line(title);
  if (!modelling.prices.empty()) line("prices: " + modelling.prices);
  if (!modelling.caution.empty()) line(modelling.caution);
  const std::string engine =
      options.library.empty() ? "engine linked in" : "library " + result.libraryCopy;
  if (options.state.empty()) {
    line(engine + ", no state folder kept (--state DIR keeps one to continue)");
  } else {
    line(engine + ", state folder " + result.stateFolder);
  }
  out << "\n";
  if (log.Printed()) {
    log.CopyTo(out);
    out << "\n";
  } else if (!options.quiet) {
    out << FormatLog(result.run, options.tail) << "\n";
  }
  out << "Dashboard\n" << FormatDashboard(result.dashboard) << "\n";
  out << "Summary\n"
      << FormatSummary(result.summary, result.dashboard, &result.risk,
                       !options.positions.dealsPath.empty());
  if (!options.csvPath.empty() || options.market == MarketKind::Walk) {
    // Here the open trades' result moves the same whatever the guard did: the two columns can
    // differ only by what the closes cost. A trader must not read a ladder's worth from them.
    out << "\n";
    line(std::string(options.csvPath.empty() ? "On the account model"
                                             : "On a recorded equity history") +
         " a guard changes nothing but its closes' cost; try --market model.");
  }
  if (result.interrupted) {
    out << "\n";
    line("interrupted after " + std::to_string(result.run.ticks) + " ticks" +
         (options.state.empty()
              ? std::string()
              : "; run again with --state " + result.stateFolder + " to continue"));
  }
  if (!options.chartPath.empty()) {
    out << "\n";
    line("chart written to " + options.chartPath);
  }
  if (!options.jsonPath.empty()) line("JSON written to " + options.jsonPath);
  if (!options.reportPath.empty()) line("report written to " + options.reportPath);
  if (!options.logPath.empty()) line("full log written to " + options.logPath);
}

}  // namespace

int RunSimulator(const SimOptions& options, std::ostream& out, std::ostream& err) {
  const Ladder ladder = ReadLadder(options.host.targets);
  if (options.jsonPath != "-") out << FormatLadder(ladder) << "\n";
  SimResult result;
  std::optional<StreamedLog> log;
  std::optional<StreamedRecords> records;
  try {
    // The log (printed whole or the --log file) and a whole JSON's lists are written as they come.
    log.emplace(options.logPath, !options.quiet && options.tail == 0 && options.jsonPath != "-");
    records.emplace(!options.jsonPath.empty() && !options.jsonBrief);
    result = Simulate(options, SinksTo(*log, *records));
    log->Commit();
    records->Finish();
  } catch (const std::exception& error) {
    err << "zt-sim: " << error.what() << "\n";
    return 1;
  }
  if (!result.csvProblems.empty()) {
    err << "zt-sim: skipped " << result.csvProblems.size() << " bad row(s) of " << options.csvPath
        << ":" << Problems(result.csvProblems) << "\n";
  }
  const std::string title =
      "Zentravo guard on " + NameRunInput(options, result.run.ticks, result.resumed);
  Modelling modelling;
  try {
    modelling = Modelling{NameModelling(options), CautionOfBars(options, {})};
  } catch (const std::exception&) {
    // The history went since the run read it: the run's figures stand without the words.
  }
  try {
    if (!options.chartPath.empty()) WriteChart(result.run, title, options.chartPath);
    const auto writeJson = [&](std::ostream& stream) {
      WriteJson(stream, result.run, result.summary, result.dashboard, ladder,
                ListInputs(options.record), options.jsonBrief, &result.risk, modelling,
                records->Lists());
    };
    if (options.jsonPath == "-") {
      writeJson(out);
      return result.interrupted ? kInterruptedExit : 0;
    }
    if (!options.jsonPath.empty()) system::WriteWholeFile(options.jsonPath, writeJson);
    if (!options.reportPath.empty()) {
      // The page reads its figures from the brief JSON, which the whole one only adds to.
      const std::string json =
          FormatJson(result.run, result.summary, result.dashboard, ladder,
                     ListInputs(options.record), true, &result.risk, modelling);
      const RunDescription description =
          DescribeRun(options, title, NameRunInput(options, result.run.ticks, result.resumed), {});
      WriteReportPage(
          BuildSingleRunPage(description, json, result.run, RenderChart(result.run, title)),
          options.reportPath);
    }
  } catch (const std::exception& error) {
    err << "zt-sim: " << error.what() << "\n";
    return 1;
  }

  PrintReport(options, result, title, modelling, *log, out);
  return result.interrupted ? kInterruptedExit : 0;
}

}  // namespace zt::sim
