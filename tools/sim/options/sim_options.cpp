#include "options/sim_options.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>

#include "host/ladder.h"
#include "market/price_history.h"
#include "figures/risk_ranking.h"
#include "market/utc_time.h"
#include "number_text.h"
#include "text_helpers.h"

namespace zt::sim {
namespace {

// Defaults for a lively run of the account model with its default balance of 10000.
constexpr const char* kDefaultTakeProfits = "60,45,30,20;90,60,40,25;120,80,50,30";
constexpr const char* kDefaultDrawdownTargets = "40,80,120;60,110,160;80,140,200";
constexpr const char* kDefaultIncreaseTargets = "10250,10500,10800";
constexpr const char* kDefaultStopLosses = "150,200,250";

constexpr const char* kAbout =
    "zt-sim drives the Zentravo equity guard (zentravo.so) through its exported functions\n"
    "exactly as a trading terminal's expert advisor does: InitZT, SetEquity every tick, the\n"
    "close-all, SetTTC, the alerts, the snapshot roll, e-mails and the dashboard.\n"
    "The figures come from a seeded model of a trading account, or from a CSV history.\n"
    "The library keeps its settings and statistics files in the state folder; run again\n"
    "with the same --state to resume like a restarted terminal.";

constexpr const char* kFooter =
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
    "Many markets: --runs N runs every ladder and no guard (the twin account nothing closes) on the\n"
    "seeds --seed, --seed + 1, ... and ranks them by --rank-by: per ladder the end result and deepest\n"
    "drawdown (median, 5th and 95th percentile, worst), the share of runs stopped out, return over\n"
    "drawdown, days under water, the longest run of stop losses, closes by kind, costs per run and the\n"
    "open result at the end (README.md explains each).\n"
    "The library's exports zt-sim calls, as an expert advisor does: SetWindowTitles, InitZT,\n"
    "SetEmailProp, SetEquity, SetTTC, GetEquitySnap, GetAlert, GetEmailSubject, GetEmailText,\n"
    "GetLabel and GetValue.\n"
    "Recorded histories (--history, --deals): a bar or tick file a terminal exported is the price model's\n"
    "place, told by its first line or named by --format: bars-csv (history centre, no header:\n"
    "2024.01.02,00:00,O,H,L,C,VOL), bars-tab (<DATE> <TIME> <OPEN> <HIGH> <LOW> <CLOSE> <TICKVOL> <VOL>\n"
    "<SPREAD>), ticks-tab (<DATE> <TIME> <BID> <ASK> <LAST> <VOLUME> <FLAGS>, a side left empty keeps its\n"
    "last value) or ticks-csv (2024.01.02 00:00:00,BID,ASK). A bar becomes four ticks a quarter of a bar\n"
    "apart: open, the nearer of high and low (high on a tie), the other, close; ask = bid + the bar's\n"
    "<SPREAD> points, else --spread. The file is read through once (a bad line stops the run with its\n"
    "number) and the run ends with it. --deals replays a closed-trade list (header: open time,close time,\n"
    "symbol,type,lots,open price,close price,profit) over it: each trade opens at its recorded price when\n"
    "its time comes, floats with the prices and books its recorded profit at its close time. A close-all\n"
    "of the guard closes the trades open then at that price; they are not reopened, and later trades\n"
    "happen as recorded (an approximation: the trader might have traded otherwise). --write-bars FILE\n"
    "writes the price model's bars (tools/sim/make-bar-history.sh makes the bundled sample). Every\n"
    "history, deal and CSV file reads in UTF-8 or in UTF-16 (little- or big-endian) with a byte-order\n"
    "mark, as the 64-bit terminal saves its exports; broken UTF-16 is refused with its line.";

// What the command line gives that is no field of SimOptions as typed: the start time as text,
// the ladders before they are read, and the progress bar's flag the other way round.
struct GivenTexts {
  std::string start;
  std::vector<std::string> ladderTexts;
  std::vector<std::string> ladderFiles;
  bool noProgress = false;
  std::string news = "13:30";
  std::string market = "walk";
  std::string strategy = "grid";
  std::string directions = "both";
  std::string martingaleDirection = "follow";
};

std::string Plain(double value) { return tools::Significant(value, 15); }

// The first value outside its range, as one line naming the option; empty while all are inside.
struct RangeCheck {
  std::string mistake;
  void Number(const char* option, double value, double lowest, double highest) {
    if (!mistake.empty() || (std::isfinite(value) && value >= lowest && value <= highest)) return;
    mistake = std::string(option) + " must be a number from " + Plain(lowest) + " to " + Plain(highest) +
              ", not " + Plain(value);
  }
  void Whole(const char* option, std::int64_t value, std::int64_t lowest, std::int64_t highest) {
    if (!mistake.empty() || (value >= lowest && value <= highest)) return;
    mistake = std::string(option) + " must be a whole number from " + std::to_string(lowest) + " to " +
              std::to_string(highest) + ", not " + std::to_string(value);
  }
};

constexpr double kLargest = 1e12;  // no account, balance or tick count beyond this
constexpr double kLargestMove = 1e9;

// The options outside what a trader's account can be, as one line, or empty.
std::string RangeMistake(const SimOptions& o) {
  RangeCheck check;
  check.Whole("--ticks", o.ticks, 1, static_cast<std::int64_t>(kLargest));
  check.Whole("--tick-seconds", o.start.tickSeconds, 1, 365 * 86400);
  check.Number("--balance", o.start.balance, 0.01, kLargest);
  check.Number("--drift", o.model.drift, -kLargestMove, kLargestMove);
  check.Number("--volatility", o.model.volatility, 0.0, kLargestMove);
  check.Number("--margin", o.model.margin, 0.0, kLargest);
  check.Number("--close-cost", o.model.closeCost, 0.0, kLargestMove);
  check.Number("--initial-equity", o.host.initialEquity, 0.0, kLargest);
  check.Number("--email-equity", o.host.email.equityTarget, 0.0, kLargest);
  check.Number("--email-margin", o.host.email.marginPercent, 0.0, kLargest);
  check.Number("--email-drawdown", o.host.email.drawdown, 0.0, kLargest);
  return check.mistake;
}

// The same for the martingale's, the trend follower's and the random entries' rules.
std::string StrategyRulesMistake(const StrategyOptions& s) {
  RangeCheck check;
  const MartingaleOptions& m = s.martingale;
  check.Number("--martingale-stop", m.stopPoints, 1.0, 1e9);
  check.Number("--martingale-take-profit", m.takeProfitPoints, 1.0, 1e9);
  check.Number("--martingale-lots", m.baseLots, 0.01, 1e4);
  check.Number("--martingale-multiplier", m.lotMultiplier, 1.0, 10.0);
  check.Number("--martingale-max-lots", m.maxLots, m.baseLots, 1e4);
  check.Whole("--martingale-doublings", m.maxDoublings, 0, 100);
  const TrendOptions& t = s.trend;
  check.Whole("--trend-bar-minutes", t.barMinutes, 1, 7 * 1440);
  check.Whole("--trend-fast", t.fastBars, 1, 999);
  check.Whole("--trend-slow", t.slowBars, 2, 1000);
  if (check.mistake.empty() && t.slowBars <= t.fastBars) {
    check.mistake = "--trend-slow (" + std::to_string(t.slowBars) + ") must be more bars than --trend-fast (" +
                    std::to_string(t.fastBars) + ")";
  }
  check.Number("--trend-lots", t.lots, 0.01, 1e4);
  check.Number("--trend-stop", t.stopPoints, 1.0, 1e9);
  const RandomOptions& r = s.random;
  check.Number("--random-chance", r.chancePerTick, 0.0, 1.0);
  check.Number("--random-lots", r.lots, 0.01, 1e4);
  check.Number("--random-stop", r.stopPoints, 1.0, 1e9);
  check.Number("--random-take-profit", r.takeProfitPoints, 1.0, 1e9);
  check.Whole("--random-max-open", r.maxOpen, 1, 1000);
  return check.mistake;
}

// The same for the prices, the account of positions and the strategy of --market model.
std::string PositionMarketMistake(const PositionMarketOptions& m) {
  RangeCheck check;
  const PriceModelOptions& p = m.prices;
  check.Number("--price", p.startPrice, 1e-6, 1e9);
  check.Number("--point", p.point, 1e-9, 1e3);
  check.Number("--spread", p.spreadPoints, 0.0, 1e6);
  check.Number("--annual-volatility", p.annualVolatility, 0.0, 10.0);
  check.Number("--vol-of-vol", p.volOfVol, 0.0, 3.0);
  check.Number("--vol-reversion-hours", p.volReversionHours, 0.01, 1e5);
  check.Number("--tail-degrees", p.tailDegrees, 2.1, 1e6);
  check.Number("--weekend-gap", p.weekendGap, 0.0, 1e4);
  check.Number("--news-gap", p.newsGap, 0.0, 1e4);
  check.Number("--news-vol-jump", p.newsVolJump, 0.0, 5.0);
  const AccountTerms& t = m.terms;
  check.Number("--contract-size", t.contractSize, 1e-6, 1e9);
  check.Number("--leverage", t.leverage, 1.0, 1e5);
  check.Number("--commission", t.commissionPerLot, 0.0, 1e6);
  check.Number("--swap-long", t.swapLongPerLot, -1e6, 1e6);
  check.Number("--swap-short", t.swapShortPerLot, -1e6, 1e6);
  check.Number("--stop-out", t.stopOutLevel, 0.0, 1e4);
  const GridOptions& g = m.strategy.grid;
  check.Number("--grid-step", g.stepPoints, 1.0, 1e9);
  check.Number("--grid-lots", g.baseLots, 0.01, 1e4);
  check.Number("--grid-multiplier", g.lotMultiplier, 1.0, 10.0);
  check.Whole("--grid-levels", g.maxLevels, 1, 100);
  check.Number("--grid-take-profit", g.takeProfitPoints, 1.0, 1e9);
  check.Whole("--reentry-delay", m.strategy.reentryDelay, 0, 365 * 86400);
  if (check.mistake.empty()) check.mistake = StrategyRulesMistake(m.strategy);
  return check.mistake;
}

// "13:30": seconds after midnight, or -1 when text is not HH:MM within a day.
std::int64_t DailyTime(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return -1;
  int hours = -1, minutes = -1;
  const char* end = text.data() + text.size();
  if (std::from_chars(text.data(), text.data() + colon, hours).ptr != text.data() + colon ||
      std::from_chars(text.data() + colon + 1, end, minutes).ptr != end || hours < 0 || hours > 23 || minutes < 0 ||
      minutes > 59) {
    return -1;
  }
  return hours * 3600 + minutes * 60;
}

// "13:30,15:00": the daily release times of --news as seconds after midnight UTC; blank text for
// none. False when a time is not HH:MM within a day.
bool ReadNewsTimes(std::string_view text, std::vector<std::int64_t>& times) {
  times.clear();
  if (tools::Trimmed(text).empty()) return true;
  while (true) {
    const std::size_t comma = text.find(',');
    const std::int64_t second = DailyTime(tools::Trimmed(text.substr(0, comma)));
    if (second < 0) return false;
    times.push_back(second);
    if (comma == std::string_view::npos) return true;
    text.remove_prefix(comma + 1);
  }
}

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

// What --runs cannot be taken with, as one line, or empty.
std::string ManyRunsMistake(const CLI::App& app, const SimOptions& o) {
  if (app.count("--rank-by") > 0 && o.runs == 0) return "--rank-by ranks the ladders of --runs: give --runs N";
  if (app.count("--runs") == 0) return {};
  if (o.runs < 1 || o.runs > 100000) return "--runs must be a whole number from 1 to 100000, not " + std::to_string(o.runs);
  // Every seed of a recorded history would replay the same market: the ladders compare on it
  // side by side instead.
  if (!o.csvPath.empty() || !o.positions.history.path.empty()) {
    return "--runs needs seeded markets: a recorded history is one market; compare ladders on it with --ladder";
  }
  for (const char* option : {"--state", "--chart", "--log"}) {
    if (app.count(option) > 0) return std::string(option) + " shows one run, so it is not taken with --runs";
  }
  for (const NamedLadder& ladder : o.ladders) {
    if (ladder.name == "no guard") return "ladder \"no guard\" would be taken for the account without the guard";
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
  if (o.barMinutes < 1 || o.barMinutes > 7 * 1440) return "--bar-minutes must be from 1 to 10080";
  if (!m.dealsPath.empty() && m.history.path.empty()) {
    return "--deals needs the symbol's prices over the same time: --history FILE";
  }
  if (m.history.path.empty()) {
    if (app.count("--format") > 0) return "--format names the shape of a --history file, and none is given";
    return {};
  }
  if (!o.csvPath.empty()) return "--history and --csv are two inputs; give one";
  if (!o.writeBarsPath.empty()) return "--write-bars writes the price model's bars, not a --history";
  if (app.count("--market") > 0 && o.market != MarketKind::Model) {
    return "--history is the prices of --market model, not of --market walk";
  }
  o.market = MarketKind::Model;
  // The history's end is the run's, unless fewer ticks are asked for.
  if (app.count("--ticks") == 0) o.ticks = 1'000'000'000'000;
  return {};
}

// Whatever the parser cannot check alone, as one line naming the option, or empty. Throws
// CLI::ValidationError for a value that is no value of its kind, and std::invalid_argument for a
// column mapping that cannot be read.
std::string CheckedValues(const CLI::App& app, const std::vector<std::string>& arguments, const GivenTexts& given,
                          SimOptions& o) {
  const std::optional<std::int64_t> startTime = ParseTime(given.start);
  if (!startTime) throw CLI::ValidationError("--start", "\"" + given.start + "\" is not a time");
  o.start.startTime = *startTime;
  if (!o.columns.empty()) ParseColumnMapping(o.columns);  // report a bad mapping before running
  if (o.host.hostTag.size() > 19) throw CLI::ValidationError("--host-tag", "longer than 19 characters");
  o.market = given.market == "model" ? MarketKind::Model : MarketKind::Walk;
  for (const StrategyKind kind :
       {StrategyKind::Grid, StrategyKind::Martingale, StrategyKind::Trend, StrategyKind::Random}) {
    if (given.strategy == StrategyName(kind)) o.positions.strategy.kind = kind;
  }
  o.positions.strategy.martingale.direction =
      given.martingaleDirection == "alternate" ? MartingaleDirection::Alternate : MartingaleDirection::Follow;
  GridDirections& directions = o.positions.strategy.grid.directions;
  directions = given.directions == "buy" ? GridDirections::Buys
               : given.directions == "sell" ? GridDirections::Sells : GridDirections::Both;
  if (!ReadNewsTimes(given.news, o.positions.prices.newsTimes)) {
    throw CLI::ValidationError("--news", "\"" + given.news + "\" is not a list of times HH:MM");
  }
  std::string mistake = HistoryMistake(app, o);
  if (mistake.empty()) mistake = RangeMistake(o);
  if (mistake.empty()) mistake = PositionMarketMistake(o.positions);
  if (mistake.empty()) mistake = LadderMistake(o.host.targets);
  if (mistake.empty()) mistake = SideBySideMistake(app, arguments, given.ladderTexts, given.ladderFiles, o);
  if (mistake.empty()) mistake = ManyRunsMistake(app, o);
  return mistake;
}

// ---- The options, group by group, in the order --help and a written settings file show them ----

// An option of group whose default --help shows beside it: most of the model's, the prices', the
// strategies' and the account's options, which a trader tunes from their defaults.
template <typename T>
CLI::Option* Shown(CLI::App& app, const std::string& group, const std::string& name, T& value, const std::string& help) {
  return app.add_option(name, value, help)->group(group)->capture_default_str();
}

void AddInputOptions(CLI::App& app, SimOptions& o) {
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
                 "semicolons or tabs whose figures have no point); a --history or --deals file takes a comma "
                 "only with comma")
      ->group(input)
      ->transform(CLI::CheckedTransformer(std::map<std::string, DecimalMark>{
          {"auto", DecimalMark::Auto}, {"point", DecimalMark::Point}, {"comma", DecimalMark::Comma}}));
}

void AddModelOptions(CLI::App& app, SimOptions& o, GivenTexts& given) {
  const std::string model = "Account model (used without --csv)";
  Shown(app, model, "--seed", o.start.seed, "Seed of the random walk");
  Shown(app, model, "--ticks", o.ticks, "Ticks to run");
  Shown(app, model, "--balance", o.start.balance, "Starting balance");
  Shown(app, model, "--drift", o.model.drift, "Mean change of the open trades' result per tick");
  Shown(app, model, "--volatility", o.model.volatility, "Standard deviation of that change per tick");
  Shown(app, model, "--margin", o.model.margin, "Margin the open trades hold");
  Shown(app, model, "--close-cost", o.model.closeCost, "Spread and slippage paid on every close-all (CSV replays too)");
  Shown(app, model, "--start", given.start, "Time of the first tick, UTC (YYYY.MM.DD HH:MM)");
  Shown(app, model, "--tick-seconds", o.start.tickSeconds, "Seconds between ticks");
}

void AddPriceOptions(CLI::App& app, SimOptions& o, GivenTexts& given) {
  const std::string group = "Prices (--market model)";
  // The choices are kept as typed, so that a settings file written from them names them.
  app.add_option("--market", given.market,
                 "walk: the account model's random walk of the open trades' result; model: a price model "
                 "with a strategy trading positions on it")
      ->group(group)->capture_default_str()->check(CLI::IsMember({"walk", "model"}));
  PriceModelOptions& p = o.positions.prices;
  Shown(app, group, "--price", p.startPrice, "Mid price at the first tick");
  Shown(app, group, "--point", p.point, "The smallest price step");
  Shown(app, group, "--spread", p.spreadPoints, "Ask - bid in calm trading, points (wider when busy)");
  Shown(app, group, "--annual-volatility", p.annualVolatility, "Standard deviation of a trading year's log return");
  Shown(app, group, "--vol-of-vol", p.volOfVol, "Standard deviation of the log volatility (busy and calm spells)");
  Shown(app, group, "--vol-reversion-hours", p.volReversionHours, "Hours a busy or calm spell takes to fade");
  Shown(app, group, "--tail-degrees", p.tailDegrees,
        "Student t degrees of freedom of the moves (fatter tails when low)");
  Shown(app, group, "--weekend-gap", p.weekendGap,
        "Spread of the gap at the weekly open (Sunday 22:00 UTC), in tick moves");
  Shown(app, group, "--news", given.news, "Daily release times HH:MM UTC, comma-separated (\"\": none)");
  Shown(app, group, "--news-gap", p.newsGap, "Spread of the jump at a release, in tick moves");
  Shown(app, group, "--news-vol-jump", p.newsVolJump, "Rise of the log volatility at a release");
}

// The options that put recorded histories in place of the lab's models: a symbol's price history
// (bars or ticks) for the price model, a deal list for the strategy, and --write-bars, which writes
// the price model's prices as a bar history.
void AddHistoryOptions(CLI::App& app, SimOptions& o) {
  const std::string group = "Recorded histories (in place of the price model and the strategy)";
  PriceHistoryOptions& h = o.positions.history;
  app.add_option("--history", h.path,
                 "Prices from a bar or tick file a terminal exported (see below); implies --market model")
      ->group(group)->check(CLI::ExistingFile);
  std::map<std::string, HistoryFormat> formats;
  for (const HistoryFormat format : {HistoryFormat::Auto, HistoryFormat::BarsCsv, HistoryFormat::BarsTab,
                                     HistoryFormat::TicksTab, HistoryFormat::TicksCsv}) {
    formats[HistoryFormatName(format)] = format;
  }
  app.add_option("--format", h.format,
                 "Shape of the --history file: bars-csv, bars-tab, ticks-tab, ticks-csv, or auto (by its first line)")
      ->group(group)->transform(CLI::CheckedTransformer(formats))->option_text("FORMAT");
  app.add_option("--deals", o.positions.dealsPath,
                 "Replay a closed-trade list (see below) over the --history prices in place of the strategy")
      ->group(group)->check(CLI::ExistingFile);
  app.add_option("--write-bars", o.writeBarsPath,
                 "Write --ticks ticks of the price model as history-centre bars (bars-csv) to FILE and stop")
      ->group(group)->configurable(false);
  Shown(app, group, "--bar-minutes", o.barMinutes, "Length of a bar --write-bars writes")->configurable(false);
}

// The martingale's, the trend follower's and the random entries' own options, a group each.
void AddStrategyRuleOptions(CLI::App& app, StrategyOptions& s, GivenTexts& given) {
  const std::string martingale = "Martingale (--strategy martingale)";
  MartingaleOptions& m = s.martingale;
  Shown(app, martingale, "--martingale-stop", m.stopPoints, "Points against its trade at which it closes at a loss");
  Shown(app, martingale, "--martingale-take-profit", m.takeProfitPoints,
        "Points in its favour at which it closes at a gain");
  Shown(app, martingale, "--martingale-lots", m.baseLots, "Lots of the first trade and of the one after a win");
  Shown(app, martingale, "--martingale-multiplier", m.lotMultiplier, "The next trade's lots over a lost one's");
  Shown(app, martingale, "--martingale-max-lots", m.maxLots, "Most lots a trade takes");
  app.add_option("--martingale-doublings", m.maxDoublings,
                 "Most multiplications in a row; a loss past them goes back to the first lots")
      ->group(martingale)->capture_default_str();
  app.add_option("--martingale-direction", given.martingaleDirection,
                 "follow: after a win the same way, after a loss the other way; alternate: buy, sell, buy "
                 "(the first trade is a buy)")
      ->group(martingale)->capture_default_str()->check(CLI::IsMember({"follow", "alternate"}));

  const std::string trend = "Trend follower (--strategy trend)";
  TrendOptions& t = s.trend;
  app.add_option("--trend-bar-minutes", t.barMinutes, "Minutes of a bar; a bar's close is the last mid price in it")
      ->group(trend)->capture_default_str();
  Shown(app, trend, "--trend-fast", t.fastBars, "Bars of the fast average of closes");
  app.add_option("--trend-slow", t.slowBars,
                 "Bars of the slow average; when the fast one crosses it the position turns that way")
      ->group(trend)->capture_default_str();
  Shown(app, trend, "--trend-lots", t.lots, "Lots of each position");
  Shown(app, trend, "--trend-stop", t.stopPoints,
        "Points against the position at which it closes (out until the next cross)");

  const std::string random = "Random entries (--strategy random)";
  RandomOptions& r = s.random;
  Shown(app, random, "--random-chance", r.chancePerTick,
                 "Chance per tick of a new position, buy or sell at even odds (drawn from --seed)");
  Shown(app, random, "--random-lots", r.lots, "Lots of each position");
  Shown(app, random, "--random-stop", r.stopPoints, "Points against a position at which it closes");
  Shown(app, random, "--random-take-profit", r.takeProfitPoints, "Points in a position's favour at which it closes");
  Shown(app, random, "--random-max-open", r.maxOpen, "Most positions open at once");
}

void AddPositionOptions(CLI::App& app, SimOptions& o, GivenTexts& given) {
  const std::string account = "Account of positions (--market model)";
  AccountTerms& t = o.positions.terms;
  Shown(app, account, "--contract-size", t.contractSize, "Units in one lot");
  Shown(app, account, "--leverage", t.leverage, "Margin is a position's value over this");
  Shown(app, account, "--commission", t.commissionPerLot, "Commission per lot and side (open, close)");
  Shown(app, account, "--swap-long", t.swapLongPerLot, "Swap per lot and night of a buy (Wednesday books three)");
  Shown(app, account, "--swap-short", t.swapShortPerLot, "Swap per lot and night of a sell");
  Shown(app, account, "--stop-out", t.stopOutLevel,
        "Margin level %: the broker closes the largest loss at or below it");

  const std::string strategy = "Strategy (--market model)";
  StrategyOptions& s = o.positions.strategy;
  Shown(app, strategy, "--strategy", given.strategy,
                 "What trades the account: grid (levels against the price, basket take profit), martingale "
                 "(one trade at a time, lots multiplied after a loss), trend (moving-average crosses) or "
                 "random (seeded entries). Each starts again from its base state after the guard's close-all")
      ->check(CLI::IsMember({"grid", "martingale", "trend", "random"}));
  GridOptions& g = s.grid;
  Shown(app, strategy, "--grid-step", g.stepPoints, "Points against the newest level before the next");
  Shown(app, strategy, "--grid-lots", g.baseLots, "Lots of the first level");
  Shown(app, strategy, "--grid-multiplier", g.lotMultiplier, "Each level's lots over the one before");
  Shown(app, strategy, "--grid-levels", g.maxLevels, "Most levels a direction holds");
  Shown(app, strategy, "--grid-directions", given.directions, "both, buy or sell")
      ->check(CLI::IsMember({"both", "buy", "sell"}));
  Shown(app, strategy, "--grid-take-profit", g.takeProfitPoints,
                 "Points past a direction's average open price at which its basket closes");
  Shown(app, strategy, "--reentry-delay", s.reentryDelay, "Seconds after the guard's close-all before trading again");
  AddStrategyRuleOptions(app, s, given);
}

void AddTargetOptions(CLI::App& app, SimOptions& o) {
  const std::string targets = "Targets (the texts InitZT takes)";
  app.add_option("--take-profits", o.host.targets.takeProfits, "Take-profit sets, e.g. 50,30;80,60")
      ->group(targets)->capture_default_str();
  app.add_option("--drawdown-targets", o.host.targets.drawdownTargets, "Drawdown-target sets, e.g. 20,40;25,50")
      ->group(targets)->capture_default_str();
  Shown(app, targets, "--increase-targets", o.host.targets.increaseTargets, "Equity-increase targets (equity levels)");
  Shown(app, targets, "--stop-losses", o.host.targets.stopLosses, "Stop-loss amounts, one per target set");
  Shown(app, targets, "--initial-equity", o.host.initialEquity, "Initial equity to pass (0: the guard's stored one)");

  const std::string email = "E-mails (the host's own thresholds; 0 is off)";
  app.add_option("--email-equity", o.host.email.equityTarget, "E-mail when equity - snapshot reaches this")->group(email);
  app.add_option("--email-margin", o.host.email.marginPercent, "E-mail when 100 x margin / free margin reaches this")->group(email);
  app.add_option("--email-drawdown", o.host.email.drawdown, "E-mail when snapshot - equity reaches this")->group(email);
}

void AddTerminalOptions(CLI::App& app, SimOptions& o) {
  const std::string terminal = "Terminal";
  Shown(app, terminal, "--host-tag", o.host.hostTag, "Host tag shown in the dashboard title (up to 19 characters)");
  Shown(app, terminal, "--chart-title", o.host.frameTitle, "Chart window title the guard reads its symbol from");
  Shown(app, terminal, "--terminal-title", o.host.mainTitle, "Terminal title: account number, server");
  Shown(app, terminal, "--chart-handle", o.host.chartHandle, "Chart window handle");
  app.add_option("--library", o.library,
                 "Drive this built zentravo.so through its exports, as a terminal does (default: the same engine "
                 "linked in, its files held in memory and written to the state folder at the end)")
      ->group(terminal);
  app.add_option("--state", o.state,
                 "State folder for the library's files and the input's position; run again with it to continue "
                 "(default: none kept; the run uses memory-backed storage)")->group(terminal);
  app.add_flag("--resume-anyway", o.resumeAnyway,
               "Continue a state folder made from another input, account or ladder, or one whose last run "
               "did not stop cleanly")->group(terminal);
}

void AddSideBySideOptions(CLI::App& app, SimOptions& o, GivenTexts& given) {
  const std::string side = "Ladders side by side (command line only)";
  o.jobs = std::max(1, static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN)));
  app.add_option("--ladder", given.ladderTexts,
                 "A ladder NAME=TP|DD|INC|SL to compare (repeat the option)")
      ->group(side)->configurable(false)->allow_extra_args(false);
  app.add_option("--ladders", given.ladderFiles, "Ladders from a file: NAME=TP|DD|INC|SL a line, # comments")
      ->group(side)->configurable(false)->allow_extra_args(false)->check(CLI::ExistingFile);
  app.add_option("--jobs", o.jobs, "Ladders run at once, a process each (default: the cores)")
      ->group(side)->configurable(false)->capture_default_str();
  app.add_option("--runs", o.runs,
                 "Run every ladder and no guard on N seeded markets (seeds --seed, --seed + 1, ...) and "
                 "rank them by figures over all the runs (not with --csv or --history: a recorded history is one "
                 "market)")
      ->group(side)->configurable(false);
  app.add_option("--rank-by", o.rankBy, "The column --runs ranks by")
      ->group(side)->configurable(false)->capture_default_str()->check(CLI::IsMember(RankKeys()));
}

void AddOutputOptions(CLI::App& app, SimOptions& o, GivenTexts& given) {
  const std::string output = "Output";
  app.add_option("--tail", o.tail, "Print only the last N events of the log (0: all)")->group(output);
  app.add_flag("--quiet", o.quiet, "Print no event log, only the dashboard and the summary")->group(output);
  app.add_option("--log", o.logPath, "Write the whole event log to a file")->group(output);
  app.add_option("--json", o.jsonPath, "Write events, summary and dashboard as JSON ('-': standard output)")->group(output);
  app.add_flag("--json-brief", o.jsonBrief,
               "Leave events and cycles out of the JSON (a long run keeps less)")
      ->group(output)->configurable(false);
  app.add_option("--chart", o.chartPath, "Write the equity chart as SVG")->group(output);
  app.add_option("--report", o.reportPath,
                 "Write the whole answer as one HTML page: what was run, the ladders' figures, their curves "
                 "(one ladder, several, or --runs)")
      ->group(output);
  app.add_flag("--no-progress", given.noProgress, "Never draw the progress bar")->group(output);
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
  app.set_config("--config", "", "Read options from a settings file (lines of option = value)");
  // A misspelt key in a settings file would otherwise leave its option at the default unseen.
  app.allow_config_extras(CLI::config_extras_mode::error);
  app.get_formatter()->column_width(36);
  app.footer(kFooter);
  AddInputOptions(app, o);
  AddModelOptions(app, o, given);
  AddPriceOptions(app, o, given);
  AddHistoryOptions(app, o);
  AddPositionOptions(app, o, given);
  AddTargetOptions(app, o);
  AddTerminalOptions(app, o);
  AddSideBySideOptions(app, o, given);
  AddOutputOptions(app, o, given);

  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend() - (arguments.empty() ? 0 : 1));
  try {
    app.parse(reversed);
    if (const std::string mistake = CheckedValues(app, arguments, given, o); !mistake.empty()) {
      err << "zt-sim: " << mistake << "\n";
      return {std::nullopt, 2};
    }
    o.inputs = app.config_to_str(true, false);
    if (!o.positions.history.path.empty()) {
      // A recorded price history runs the model's account of positions, to the history's end
      // unless --ticks says fewer: the settings say what ran, not the defaults.
      o.inputs = std::regex_replace(o.inputs, std::regex("(^|\n)market=[^\n]*"), "$1market=\"model\"");
      if (app.count("--ticks") == 0) o.inputs = std::regex_replace(o.inputs, std::regex("(^|\n)ticks=[^\n]*\n"), "$1");
    }
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
  o.progress = !given.noProgress;
  if (!arguments.empty()) o.arguments.assign(arguments.begin() + 1, arguments.end());
  return {o, 0};
}

std::string SeededMarketName(const SimOptions& options) {
  if (options.market != MarketKind::Model) return "account model";
  return std::string(StrategyName(options.positions.strategy.kind)) + " strategy on a price model";
}

std::vector<std::pair<std::string, std::string>> SettingsLines(const std::string& text) {
  // Nor is the engine: the linked-in one and a loaded zentravo.so decide alike.
  const std::set<std::string> outputs = {"state", "tail", "quiet", "log", "json", "chart", "report", "no-progress",
                                         "library"};
  // A run's inputs name only the options of the market it ran: the walk's own, or the prices',
  // the positions' and the strategy's.
  const std::set<std::string> walkOnly = {"drift", "volatility", "margin", "close-cost"};
  const std::set<std::string> modelOnly = {
      "market", "price", "point", "spread", "annual-volatility", "vol-of-vol", "vol-reversion-hours",
      "tail-degrees", "weekend-gap", "news", "news-gap", "news-vol-jump", "contract-size", "leverage",
      "commission", "swap-long", "swap-short", "stop-out", "strategy", "grid-step", "grid-lots",
      "grid-multiplier", "grid-levels", "grid-directions", "grid-take-profit", "reentry-delay",
      "martingale-stop", "martingale-take-profit", "martingale-lots", "martingale-multiplier",
      "martingale-max-lots", "martingale-doublings", "martingale-direction", "trend-bar-minutes", "trend-fast",
      "trend-slow", "trend-lots", "trend-stop", "random-chance", "random-lots", "random-stop",
      "random-take-profit", "random-max-open"};
  std::vector<std::pair<std::string, std::string>> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos || line.front() == '#' || outputs.count(line.substr(0, equals)) > 0) continue;
    lines.emplace_back(line.substr(0, equals), tools::Unquoted(std::string_view(line).substr(equals + 1)));
  }
  // A recorded price history is the prices of the model's account of positions, whatever --market says.
  const bool model = std::any_of(lines.begin(), lines.end(), [](const auto& line) {
    return (line.first == "market" && line.second == "model") || (line.first == "history" && !line.second.empty());
  });
  std::erase_if(lines, [&](const auto& line) { return (model ? walkOnly : modelOnly).count(line.first) > 0; });
  return lines;
}

}  // namespace zt::sim
