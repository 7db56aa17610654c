#include "options/sim_options.h"

#include <CLI/CLI.hpp>
#include <set>
#include <stdexcept>

#include "host/ladder.h"
#include "market/price_history.h"
#include "market/utc_time.h"
#include "options/option_list.h"
#include "options/option_table.h"
#include "options/piped_inputs.h"
#include "options/settings_file.h"
#include "options/symbol_options.h"
#include "system/output_files.h"
#include "trading/strategy_table.h"

namespace zt::sim {
namespace {

// Defaults for a lively run of the account model with its default balance of 10000.
constexpr const char* kDefaultTakeProfits = "60,45,30,20;90,60,40,25;120,80,50,30";
constexpr const char* kDefaultDrawdownTargets = "40,80,120;60,110,160;80,140,200";
constexpr const char* kDefaultIncreaseTargets = "10250,10500,10800";
constexpr const char* kDefaultStopLosses = "150,200,250";

// What --help says above the options, and below them: raw texts kept to the page's 100 columns,
// each from the line after its opening (the [1] skips that line break).
constexpr const char* kAbout = &R"(
zt-sim drives the Zentravo equity guard (zentravo.so) through its exported functions
exactly as a trading terminal's expert advisor does: InitZT, SetEquity every tick, the
close-all, SetTTC, the alerts, the snapshot roll, e-mails and the dashboard.
The figures come from a seeded model of a trading account, or from a CSV history.
The library keeps its settings and statistics files in the state folder; run again
with the same --state to resume like a restarted terminal.)"[1];

constexpr const char* kFooter = &R"(
Times (--start, the CSV's time column) are read as UTC (a --history's and --deals' times less
--server-offset, for exports in the broker's server time): 2024.01.02 10:30, 2024-01-02 10:30:15,
2024-01-02T10:30:15Z, 2024-01-02T12:30:15+02:00, 2024/01/02, whole seconds since 1970, or
milliseconds (12 digits or more); day-first and month-first dates with --date-order. A date
column and a time column are read together. The guard's own times (title,
snapshots, statistics files) follow the simulated clock, in UTC.
CSV histories as terminals export them: a header line naming the columns (time, date, datetime
or timestamp; equity; margin; free margin), separated by commas, semicolons or tabs, fields or
whole rows quoted, in UTF-8 or UTF-16 with a byte-order mark; --columns maps other names. Rows
must run forward in time with an equity above 0. The history is read as the strategy's running
result: after a close-all its later changes apply to the new, flat account, as if the strategy
reopened the same exposure (less --close-cost). The summary and the chart set the account with
the guard beside the same account without it, for the model and for a CSV history.
Target texts are read as the library reads them: any character but a digit or "." separates
numbers, so 1e2 would be 1 and 2 and -50 would be 50 (such texts stop the run); a ";" right
after a number starts the next set.
Ladders side by side: --ladder NAME=TP|DD|INC|SL (repeated) or --ladders FILE runs each ladder on
the same input in a process of its own (the library keeps one guard per process), --jobs at a
time, and prints one table: each ladder's end equity, deepest drawdown, closes and realised result
per cycle beside the account without the guard (--json writes the same). Every ladder is checked
before any runs; --state, --chart and --log describe one run and are not taken with them.
Many markets: --runs N runs every ladder and no guard (the twin account nothing closes) on the
seeds --seed, --seed + 1, ... and ranks them by --rank-by: per ladder the end result and deepest
drawdown (median, 5th and 95th percentile, worst), the share of runs stopped out, return over
drawdown, days under water, the longest run of stop losses, closes by kind, costs per run and the
open result at the end (README.md explains each).
The library's exports zt-sim calls, as an expert advisor does: SetWindowTitles, InitZT,
SetEmailProp, SetEquity, SetTTC, GetEquitySnap, GetAlert, GetEmailSubject, GetEmailText,
GetLabel and GetValue.
Recorded histories (--history, --deals): a bar or tick file a terminal exported is the price model's
place, told by its first line or named by --format: bars-csv (history centre, no header:
2024.01.02,00:00,O,H,L,C,VOL), bars-tab (<DATE> <TIME> <OPEN> <HIGH> <LOW> <CLOSE> <TICKVOL> <VOL>
<SPREAD>), ticks-tab (<DATE> <TIME> <BID> <ASK> <LAST> <VOLUME> <FLAGS>, a side left empty keeps its
last value) or ticks-csv (2024.01.02 00:00:00,BID,ASK). A bar is walked as ticks: a path seeded by
--seed through its open, high, low and close (the low first more often the higher it closed), in
moves sized by its range, as many ticks as its tick volume (--bar-ticks N: N a bar); --bar-path worst
walks each bar against the positions open at its open instead (a bound, not an estimate); ask =
bid + the bar's <SPREAD> points, else --spread. Lines that start with # are comments. The file is read through once (a bad line stops the run with its
number) and the run ends with it. --deals replays a closed-trade list (header: open time,close time,
symbol,type,lots,open price,close price,profit) over it: each trade opens at its recorded price when
its time comes, floats with the prices and books its recorded profit at its close time. A close-all
of the guard closes the trades open then at that price; they are not reopened, and later trades
happen as recorded (an approximation: the trader might have traded otherwise). Each deal is held to
the prices first: another symbol's, one outside the history's dates, or a price beyond its bar's
bid low and ask high (by more than --deal-tolerance points) is refused with its line (the bundled
list is made over the bundled bars by tools/sim/make-deal-list.sh). --write-bars FILE
writes the price model's bars (tools/sim/make-bar-history.sh makes the bundled sample). Every
history, deal and CSV file reads in UTF-8 or in UTF-16 (little- or big-endian) with a byte-order
mark, as the 64-bit terminal saves its exports; broken UTF-16 is refused with its line.)"[1];

// What the strategy's options' own ranges cannot check: a range that starts at another option's
// value, and the row's own checks of one option against another. One line naming the option, or
// empty.
std::string StrategyMistake(const StrategyOptions& s) {
  for (const StrategyRow& row : StrategyTable()) {
    const OwnOptions own(s.values, row.prefix);
    for (const StrategyOption& option : row.options) {
      if (option.lowestFrom.empty()) continue;
      const std::string outside =
          CheckNumberRange("--" + row.prefix + option.name, own.Number(option.name),
                           own.Number(option.lowestFrom), option.highest);
      if (!outside.empty()) return outside;
    }
    if (row.behaviour.mistake != nullptr) {
      if (std::string mistake = row.behaviour.mistake(own); !mistake.empty()) return mistake;
    }
  }
  return {};
}

// Reads the ladders of --ladder and --ladders into o.ladders. Returns the first mistake as one
// line naming the option or the ladder, or empty. Every ladder is read before any runs.
std::string SideBySideMistake(const CLI::App& app, const std::vector<std::string>& arguments,
                              const std::vector<std::string>& texts,
                              const std::vector<std::string>& files, SimOptions& o) {
  for (const std::string& text : texts) {
    std::string mistake;
    const std::optional<NamedLadder> ladder = ParseNamedLadder(text, mistake);
    if (!ladder) return "--ladder: " + mistake;
    o.ladders.push_back(*ladder);
  }
  for (const std::string& file : files) {
    if (std::string mistake = ReadLadderFile(file, o.ladders); !mistake.empty())
      return "--ladders: " + mistake;
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
  for (const char* option :
       {"--take-profits", "--drawdown-targets", "--increase-targets", "--stop-losses"}) {
    for (const std::string& argument : arguments) {
      if (argument == option || argument.rfind(std::string(option) + "=", 0) == 0) {
        return std::string(option) +
               " cannot be given with --ladder or --ladders: each ladder names its targets";
      }
    }
  }
  // One state folder holds one guard's files; a chart and a log show one run.
  for (const char* option : {"--state", "--chart", "--log"}) {
    if (app.count(option) > 0) {
      return std::string(option) +
             " shows one run, so it is not taken with --ladder or --ladders " +
             "(run that ladder alone for it)";
    }
  }
  return {};
}

// What --runs cannot be taken with, as one line, or empty.
std::string ManyRunsMistake(const CLI::App& app, const SimOptions& o) {
  if (app.count("--rank-by") > 0 && o.runs == 0)
    return "--rank-by ranks the ladders of --runs: give --runs N";
  if (app.count("--runs") == 0) return {};
  // Every seed of a recorded history would replay the same market: the ladders compare on it
  // side by side instead.
  // A bar history is one market walked as many ways as there are seeds; recorded ticks and a
  // recorded equity curve are one path, which every seed would replay the same.
  bool bars = false;
  if (!o.positions.history.path.empty()) {
    try {
      bars = PriceHistoryReader(o.positions.history).bars();
    } catch (const std::runtime_error&) {
      bars = true;  // the run says what is wrong with the file
    }
  }
  if (!o.csvPath.empty() || (!o.positions.history.path.empty() && !bars)) {
    return "--runs needs seeded markets or bars to walk: a recorded tick or equity history is one "
           "path; compare ladders on it with --ladder";
  }
  for (const char* option : {"--state", "--chart", "--log"}) {
    if (app.count(option) > 0)
      return std::string(option) + " shows one run, so it is not taken with --runs";
  }
  for (const NamedLadder& ladder : o.ladders) {
    if (ladder.name == "no guard")
      return "ladder \"no guard\" would be taken for the account without the guard";
  }
  return {};
}

// Checks and completes the recorded histories' options: a history runs the position market
// (--market model), to the history's end unless --ticks says fewer; deals need a price history.
// One line naming the option, or empty.
std::string HistoryMistake(const CLI::App& app, SimOptions& o) {
  PositionMarketOptions& m = o.positions;
  // The CSV's decimal mark is the histories' too.
  m.history.decimal = o.csvFormat.decimal;
  if (!m.dealsPath.empty() && m.history.path.empty()) {
    return "--deals needs the symbol's prices over the same time: --history FILE";
  }
  if (m.history.path.empty()) {
    for (const char* option : {"--format", "--bar-ticks", "--bar-path"}) {
      if (app.count(option) > 0)
        return std::string(option) + " tells how a --history file is read, and none is given";
    }
    return {};
  }
  if (!o.csvPath.empty()) return "--history and --csv are two inputs; give one";
  if (!o.writeBarsPath.empty())
    return "--write-bars writes the price model's bars, not a --history";
  if (app.count("--market") > 0 && o.market != MarketKind::Model) {
    return "--history is the prices of --market model, not of --market walk";
  }
  o.market = MarketKind::Model;
  // The history's end is the run's, unless fewer ticks are asked for.
  if (app.count("--ticks") == 0) o.ticks = 1'000'000'000'000;
  return {};
}

// The first output file the run could not write, asked before anything runs: a run of an hour
// must not end on "cannot write" with nothing kept.
std::string OutputMistake(const SimOptions& o) {
  const std::string json = o.jsonPath == "-" ? std::string() : o.jsonPath;
  for (const std::string* path :
       {&o.writeBarsPath, &o.logPath, &json, &o.chartPath, &o.reportPath}) {
    if (path->empty()) continue;
    if (std::string problem = system::CheckWritable(*path); !problem.empty()) return problem;
  }
  return {};
}

// Whatever the parser cannot check alone, as one line naming the option, or empty; completes the
// options read as text. Throws std::invalid_argument for a column mapping that cannot be read.
std::string CheckedValues(const CLI::App& app, const std::vector<std::string>& arguments,
                          const GivenTexts& given, SimOptions& o) {
  o.start.startTime = *ParseTime(given.start);
  if (!o.columns.empty()) ParseColumnMapping(o.columns);  // report a bad mapping before running
  o.market = given.market == "model" ? MarketKind::Model : MarketKind::Walk;
  ReadNewsTimes(given.news, o.positions.prices.newsTimes);
  // The outputs first: reading a long history (or a pipe) is work a refusal should not wait for.
  if (std::string mistake = OutputMistake(o); !mistake.empty()) return mistake;
  for (std::string* input : {&o.csvPath, &o.positions.history.path, &o.positions.dealsPath}) {
    try {
      *input = ReadOnceIntoFile(*input, o.arguments);
    } catch (const std::runtime_error& failure) {
      return failure.what();
    }
  }
  std::string mistake = HistoryMistake(app, o);
  if (mistake.empty()) mistake = SettleSymbol(app, given, o);
  if (mistake.empty()) mistake = StrategyMistake(o.positions.strategy);
  if (mistake.empty()) mistake = FindLadderMistake(o.host.targets);
  if (mistake.empty())
    mistake = SideBySideMistake(app, arguments, given.ladderTexts, given.ladderFiles, o);
  if (mistake.empty()) mistake = ManyRunsMistake(app, o);
  return mistake;
}

// The run's input as a state folder's identity knows it.
unsigned IdentityInput(const SimOptions& o) {
  if (!o.csvPath.empty()) return kCsvIdentity;
  return o.market == MarketKind::Model ? kModelIdentity : kWalkIdentity;
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments, std::ostream& out,
                                   std::ostream& err) {
  SimOptions o;
  o.host.targets = {kDefaultTakeProfits, kDefaultDrawdownTargets, kDefaultIncreaseTargets,
                    kDefaultStopLosses};
  GivenTexts given;
  given.start = FormatTime(o.start.startTime);

  CLI::App app{kAbout, "zt-sim"};
  SettingsFile settings(app);  // before every option it gives values to
  app.get_formatter()->column_width(36);
  app.footer(kFooter);
  // What a packed zt-sim.exe is asked first: that it starts, and which build it is.
  app.set_version_flag("--version", std::string("zt-sim ") + ZT_SIM_VERSION);
  OptionTable table(app);
  AddOptions(table, o, given);

  std::vector<std::string> reversed(arguments.rbegin(),
                                    arguments.rend() - (arguments.empty() ? 0 : 1));
  if (!arguments.empty()) o.arguments.assign(arguments.begin() + 1, arguments.end());
  try {
    app.parse(reversed);
    settings.ThrowIfUnreadable();
    if (const std::string mistake = CheckedValues(app, arguments, given, o); !mistake.empty()) {
      err << "zt-sim: " << mistake << "\n";
      return {std::nullopt, 2};
    }
    o.record = table.Record(o.market == MarketKind::Model, IdentityInput(o));
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return {std::nullopt, 0};
  } catch (const CLI::CallForVersion& version) {
    out << version.what() << "\n";
    return {std::nullopt, 0};
  } catch (const OutOfRange& outside) {
    err << "zt-sim: " << outside.what() << "\n";
    return {std::nullopt, 2};
  } catch (const CLI::ConfigError& error) {
    // CLI11 says "INI was not able to parse KEY" of a key that names no option.
    std::string what = error.what();
    const std::string cli11 = "INI was not able to parse ";
    if (what.rfind(cli11, 0) == 0)
      what = "\"" + what.substr(cli11.size()) + "\" in the settings file is no option";
    err << "zt-sim: --config: " << what << "\n"
        << "Run with --help for the options.\n";
    return {std::nullopt, 2};
  } catch (const CLI::ParseError& error) {
    err << "zt-sim: " << error.what() << "\n"
        << "Run with --help for the options.\n";
    return {std::nullopt, 2};
  } catch (const std::invalid_argument& error) {
    err << "zt-sim: --columns: " << error.what() << "\n";
    return {std::nullopt, 2};
  }
  o.progress = !given.noProgress;
  return {o, 0};
}

std::string NameSeededMarket(const SimOptions& options) {
  if (options.market != MarketKind::Model) return "account model";
  return options.positions.strategy.name + " strategy on a price model";
}

}  // namespace zt::sim
