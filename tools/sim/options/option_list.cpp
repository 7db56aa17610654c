#include "options/option_list.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <map>
#include <thread>

#include "figures/risk_ranking.h"
#include "host/ladder.h"
#include "market/csv_fields.h"
#include "market/utc_time.h"
#include "options/bar_walk_options.h"
#include "options/run_input.h"
#include "options/symbol_options.h"
#include "system/paths.h"
#include "text_helpers.h"
#include "trading/strategy_table.h"

namespace zt::sim {
namespace {

constexpr double kLargest = 1e12;  // no account, balance or tick count beyond this
constexpr double kLargestMove = 1e9;
constexpr std::int64_t kYearSeconds = 365 * 86400;

// "13:30": seconds after midnight, or -1 when text is not HH:MM within a day.
std::int64_t DailyTime(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return -1;
  int hours = -1, minutes = -1;
  const char* end = text.data() + text.size();
  if (std::from_chars(text.data(), text.data() + colon, hours).ptr != text.data() + colon ||
      std::from_chars(text.data() + colon + 1, end, minutes).ptr != end || hours < 0 ||
      hours > 23 || minutes < 0 || minutes > 59) {
    return -1;
  }
  return hours * 3600 + minutes * 60;
}

// CLI::ExistingFile, with its words, but asking by the path's UTF-8 name: CLI11's own check asks
// by the narrow name, which on Windows cannot reach C:\Users\Zoë\....
const CLI::Validator kExistingFile(
    [](std::string& path) {
      std::error_code error;
      const std::filesystem::file_status status =
          std::filesystem::status(system::PathOf(path), error);
      if (!std::filesystem::exists(status)) return "File does not exist: " + path;
      if (std::filesystem::is_directory(status)) return "File is actually a directory: " + path;
      return std::string();
    },
    "FILE");

// A check of a text's form: the mistake in words after the option's name, or empty.
CLI::Validator FormCheck(std::function<std::string(const std::string&)> mistake) {
  return CLI::Validator([mistake = std::move(mistake)](std::string& text) { return mistake(text); },
                        "");
}

// What a state folder's identity makes of a number read as text: the number.
std::function<std::optional<std::string>()> Exact(const double& value) {
  return [&value] { return std::optional<std::string>(tools::Number(value)); };
}

// A number of the position market's prices or account, part of the identity's entry key after
// label ("--prices": "1.1 point 1e-05 ...").
OptionRow AddMarketNumber(OptionTable& t, const std::string& group, const std::string& name,
                          double& value, const char* key, const char* label, double lowest,
                          double highest, const std::string& help) {
  return t.Add(group, name, value, help)
      .Shown()
      .Number(lowest, highest)
      .In(Scope::Model)
      .Identity(kModelIdentity, key, label)
      .IdentityText(Exact(value))
      // The value the run used: a symbol's kind settles the ones the command line left.
      .Recorded([&value](const std::string& text) -> std::optional<std::string> {
        double given = 0.0;
        if (ReadNumber(text, given) && given == value) return text;
        return tools::Number(value);
      });
}

void AddInputOptions(OptionTable& t, SimOptions& o) {
  const std::string group = "Input";
  t.Add(group, "--csv", o.csvPath,
        "Replay account figures from a CSV file (header names the columns)")
      .Identity(kCsvIdentity)
      // The file's name, not its folder: a history moved elsewhere is the same history. Its rows
      // are compared by their fingerprint.
      .IdentityText([&o] { return std::optional<std::string>(FileName(o.csvPath)); })
      ->check(kExistingFile);
  t.Add(
       group, "--columns", o.columns,
       "Map CSV columns: date=NAME,time=NAME,equity=NAME,margin=NAME,free=NAME (or #N for the Nth)")
      .Identity(kCsvIdentity);
  const std::map<std::string, DateOrder> orders = {{"auto", DateOrder::Auto},
                                                   {"ymd", DateOrder::YearFirst},
                                                   {"dmy", DateOrder::DayFirst},
                                                   {"mdy", DateOrder::MonthFirst}};
  t.Add(group, "--date-order", o.csvFormat.dateOrder,
        "Dates that end in the year: dmy (02.01.2024) or mdy (01/02/2024); auto tells them apart "
        "by a day past 12")
      .Identity(kCsvIdentity)
      ->transform(CLI::CheckedTransformer(orders));
  const std::map<std::string, DecimalMark> marks = {
      {"auto", DecimalMark::Auto}, {"point", DecimalMark::Point}, {"comma", DecimalMark::Comma}};
  t.Add(group, "--decimal", o.csvFormat.decimal,
        "Decimal mark of the CSV's figures: point, comma, or auto (comma in a file separated by "
        "semicolons or tabs whose figures have no point); a --history or --deals file takes a "
        "comma only with comma")
      .Identity(kCsvIdentity)
      ->transform(CLI::CheckedTransformer(marks));
}

void AddModelOptions(OptionTable& t, SimOptions& o, GivenTexts& given) {
  const std::string group = "Account model (used without --csv)";
  t.Add(group, "--seed", o.start.seed, "Seed of the random walk")
      .Shown()
      .Shows(Fact::Seed)
      .Identity(kSeededIdentity);
  // A recorded history runs to its end unless --ticks says fewer: its settings say what ran.
  t.Add(group, "--ticks", o.ticks, "Ticks to run")
      .Shown()
      .Whole(1, static_cast<std::int64_t>(kLargest))
      .Recorded([&o, &t](const std::string& text) -> std::optional<std::string> {
        if (!o.positions.history.path.empty() && t.app().count("--ticks") == 0) return std::nullopt;
        return text;
      });
  t.Add(group, "--balance", o.start.balance, "Starting balance")
      .Shown()
      .Number(0.01, kLargest)
      .Shows(Fact::Costs)
      .Identity(kSeededIdentity);
  // The walk's own terms: inputs and identity of a run of the walk only.
  const auto walk = [&](const std::string& name, double& value, double lowest, double highest,
                        const std::string& help) {
    return t.Add(group, name, value, help)
        .Shown()
        .Number(lowest, highest)
        .In(Scope::Walk)
        .Identity(kWalkIdentity);
  };
  walk("--drift", o.model.drift, -kLargestMove, kLargestMove,
       "Mean change of the open trades' result per tick");
  walk("--volatility", o.model.volatility, 0.0, kLargestMove,
       "Standard deviation of that change per tick");
  walk("--margin", o.model.margin, 0.0, kLargest, "Margin the open trades hold");
  walk("--close-cost", o.model.closeCost, 0.0, kLargestMove,
       "Spread and slippage paid on every close-all (CSV replays too)")
      .Shows(Fact::Costs);
  t.Add(group, "--start", given.start, "Time of the first tick, UTC (YYYY.MM.DD HH:MM)")
      .Shown()
      .Check(FormCheck([](const std::string& text) {
        return ParseTime(text) ? std::string() : "\"" + text + "\" is not a time";
      }))
      .Identity(kSeededIdentity)
      .IdentityText([&o] { return std::optional<std::string>(FormatTime(o.start.startTime)); });
  t.Add(group, "--tick-seconds", o.start.tickSeconds, "Seconds between ticks")
      .Shown()
      .Whole(1, kYearSeconds)
      .Identity(kSeededIdentity);
}

void AddPriceOptions(OptionTable& t, SimOptions& o, GivenTexts& given) {
  const std::string group = "Prices (--market model)";
  // The choice is kept as typed, so that a settings file written from it names it; a recorded
  // history is the prices of the model's account of positions, whatever --market said.
  t.Add(group, "--market", given.market,
        "walk: the account model's random walk of the open trades' result; model: a price model "
        "with a strategy trading positions on it")
      .Shown()
      .Check(CLI::IsMember({"walk", "model"}))
      .In(Scope::Model)
      .Identity(kModelIdentity)
      .Recorded([](const std::string&) { return std::optional<std::string>("model"); })
      .IdentityText([] { return std::optional<std::string>("model"); });
  PriceModelOptions& p = o.positions.prices;
  // One entry of the identity, "--prices": "1.1 point 1e-05 spread 8 vol 0.08 0.5 12 tails 4 gaps
  // 30 20 1".
  const auto price = [&](const std::string& name, double& value, const char* label, double lowest,
                         double highest, const std::string& help) {
    AddMarketNumber(t, group, name, value, "--prices", label, lowest, highest, help)
        .Shows(name == "--spread" ? Fact::Costs : Fact::Other);
  };
  price("--price", p.startPrice, "", 1e-6, 1e9, "Mid price at the first tick");
  price("--point", p.point, " point ", 1e-9, 1e3, "The smallest price step");
  price("--spread", p.spreadPoints, " spread ", 0.0, 1e6,
        "Ask - bid in calm trading, points (wider when busy)");
  price("--annual-volatility", p.annualVolatility, " vol ", 0.0, 10.0,
        "Standard deviation of a trading year's log return");
  price("--vol-of-vol", p.volOfVol, " ", 0.0, 3.0,
        "Standard deviation of the log volatility (busy and calm spells)");
  price("--vol-reversion-hours", p.volReversionHours, " ", 0.01, 1e5,
        "Hours a busy or calm spell takes to fade");
  price("--tail-degrees", p.tailDegrees, " tails ", 2.1, 1e6,
        "Student t degrees of freedom of the moves (fatter tails when low)");
  price("--weekend-gap", p.weekendGap, " gaps ", 0.0, 1e4,
        "Spread of the gap at the weekly open (Sunday 22:00 UTC), in tick moves");
  t.Add(group, "--news", given.news, "Daily release times HH:MM UTC, comma-separated (\"\": none)")
      .Shown()
      .Check(FormCheck([](const std::string& text) {
        std::vector<std::int64_t> times;
        return ReadNewsTimes(text, times) ? std::string()
                                          : "\"" + text + "\" is not a list of times HH:MM";
      }))
      .In(Scope::Model)
      .Identity(kModelIdentity)
      .IdentityText([&p] { return std::optional<std::string>(FormatNewsTimes(p.newsTimes)); });
  price("--news-gap", p.newsGap, " ", 0.0, 1e4, "Spread of the jump at a release, in tick moves");
  price("--news-vol-jump", p.newsVolJump, " ", 0.0, 5.0, "Rise of the log volatility at a release");
}

// The options that put recorded histories in place of the lab's models: a symbol's price history
// (bars or ticks) for the price model, a deal list for the strategy, and --write-bars, which writes
// the price model's prices as a bar history.
void AddHistoryOptions(OptionTable& t, SimOptions& o) {
  const std::string group = "Recorded histories (in place of the price model and the strategy)";
  PriceHistoryOptions& h = o.positions.history;
  t.Add(group, "--history", h.path,
        "Prices from a bar or tick file a terminal exported (see below); implies --market model")
      .Identity(kModelIdentity)
      .IdentityText([&o]() -> std::optional<std::string> {
        if (o.positions.history.path.empty()) return std::nullopt;
        return DescribeHistories(o);
      })
      ->check(kExistingFile);
  std::map<std::string, HistoryFormat> formats;
  for (const HistoryFormat format :
       {HistoryFormat::Auto, HistoryFormat::BarsCsv, HistoryFormat::BarsTab,
        HistoryFormat::TicksTab, HistoryFormat::TicksCsv}) {
    formats[NameHistoryFormat(format)] = format;
  }
  t.Add(group, "--format", h.format,
        "Shape of the --history file: bars-csv, bars-tab, ticks-tab, ticks-csv, or auto (by its "
        "first line)")
      ->transform(CLI::CheckedTransformer(formats))
      ->option_text("FORMAT");
  AddBarWalkOptions(t, group, h);
  t.Add(group, "--deals", o.positions.dealsPath,
        "Replay a closed-trade list (see below) over the --history prices in place of the strategy")
      ->check(kExistingFile);
  t.Add(group, "--write-bars", o.writeBarsPath,
        "Write --ticks ticks of the price model as history-centre bars (bars-csv) to FILE and stop")
      .CommandLineOnly()
      .In(Scope::Output);
  t.Add(group, "--bar-minutes", o.barMinutes, "Length of a bar --write-bars writes")
      .Shown()
      .Whole(1, 7 * 1440)
      .CommandLineOnly()
      .In(Scope::Output);
}

// The account's terms: one entry of the identity, "--account": "contract 1e+05 leverage 100
// commission 3.5 swaps -7 2 stop-out 50".
void AddAccountOptions(OptionTable& t, SimOptions& o) {
  const std::string group = "Account of positions (--market model)";
  AccountTerms& terms = o.positions.terms;
  const auto term = [&](const std::string& name, double& value, const char* label, double lowest,
                        double highest, const std::string& help) {
    AddMarketNumber(t, group, name, value, "--account", label, lowest, highest, help)
        .Shows(Fact::Costs);
  };
  term("--contract-size", terms.contractSize, "contract ", 1e-6, 1e9, "Units in one lot");
  term("--leverage", terms.leverage, " leverage ", 1.0, 1e5,
       "Margin is a position's value over this");
  term("--commission", terms.commissionPerLot, " commission ", 0.0, 1e6,
       "Commission per lot and side (open, close)");
  term("--swap-long", terms.swapLongPerLot, " swaps ", -1e6, 1e6,
       "Swap per lot and night of a buy (Wednesday books three)");
  term("--swap-short", terms.swapShortPerLot, " ", -1e6, 1e6, "Swap per lot and night of a sell");
  term("--stop-out", terms.stopOutLevel, " stop-out ", 0.0, 1e4,
       "Margin level %: the broker closes the largest loss at or below it");
}

// --strategy and every option of every row of the strategy table: a row's options stand in its
// group, in the row's order; --reentry-delay, which every strategy keeps, after the first row's.
void AddStrategyOptions(OptionTable& t, SimOptions& o) {
  const std::string group = "Strategy (--market model)";
  StrategyOptions& s = o.positions.strategy;
  std::vector<std::string> names;
  std::string kinds;
  const std::vector<StrategyRow>& rows = StrategyTable();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    names.push_back(rows[i].name);
    kinds += (i == 0                 ? ""
              : i + 1 == rows.size() ? " or "
                                     : ", ") +
             rows[i].name + " (" + rows[i].summary + ")";
  }
  t.Add(group, "--strategy", s.name,
        "What trades the account: " + kinds +
            ". Each starts again from its base state after the guard's close-all")
      .Shown()
      .Check(CLI::IsMember(names))
      .In(Scope::Model)
      .Shows(Fact::StrategyChoice)
      .Identity(kModelIdentity)
      .IdentityText([&s] { return std::optional<std::string>(IdentifyStrategy(s)); });
  for (const StrategyRow& row : rows) {
    for (const StrategyOption& option : row.options) {
      const std::string key = row.prefix + option.name;
      const std::string name = "--" + key;
      const auto added = [&]() -> OptionRow {
        if (option.kind == StrategyOption::Kind::Word) {
          return t.Add(row.group, name, s.values.words[key], option.help)
              .Shown()
              .Check(CLI::IsMember(option.words));
        }
        if (option.kind == StrategyOption::Kind::Whole) {
          return t.Add(row.group, name, s.values.wholes[key], option.help)
              .Shown()
              .Whole(static_cast<std::int64_t>(option.lowest),
                     static_cast<std::int64_t>(option.highest));
        }
        OptionRow number = t.Add(row.group, name, s.values.numbers[key], option.help).Shown();
        // A range that starts at another option's value is checked once every option is read.
        return option.lowestFrom.empty() ? number.Number(option.lowest, option.highest) : number;
      }();
      OptionRow(added).In(Scope::Model).OfStrategy(row.name);
    }
  }
  t.Add(group, "--reentry-delay", s.reentryDelay,
        "Seconds after the guard's close-all before trading again")
      .Shown()
      .Whole(0, kYearSeconds)
      .In(Scope::Model)
      .Shows(Fact::StrategyCommon);
}

void AddTargetOptions(OptionTable& t, SimOptions& o) {
  const std::string group = "Targets (the texts InitZT takes)";
  TargetTexts& targets = o.host.targets;
  // The ladder as the library reads it: "50,30" and "50, 30" are the same ladder.
  const auto ladder = [&](const std::string& name, std::string& text, bool sets,
                          const std::string& help) {
    t.Add(group, name, text, help)
        .Shown()
        .Shows(Fact::Ladder)
        .Identity(kEveryIdentity)
        .IdentityText([&text, sets] {
          return std::optional<std::string>(sets ? FormatSets(ReadSets(text))
                                                 : FormatList(ReadList(text)));
        });
  };
  ladder("--take-profits", targets.takeProfits, true, "Take-profit sets, e.g. 50,30;80,60");
  ladder("--drawdown-targets", targets.drawdownTargets, true,
         "Drawdown-target sets, e.g. 20,40;25,50");
  ladder("--increase-targets", targets.increaseTargets, false,
         "Equity-increase targets (equity levels)");
  ladder("--stop-losses", targets.stopLosses, false, "Stop-loss amounts, one per target set");
  t.Add(group, "--initial-equity", o.host.initialEquity,
        "Initial equity to pass (0: the guard's stored one)")
      .Shown()
      .Number(0.0, kLargest);

  const std::string email = "E-mails (the host's own thresholds; 0 is off)";
  t.Add(email, "--email-equity", o.host.email.equityTarget,
        "E-mail when equity - snapshot reaches this")
      .Number(0.0, kLargest);
  t.Add(email, "--email-margin", o.host.email.marginPercent,
        "E-mail when 100 x margin / free margin reaches this")
      .Number(0.0, kLargest);
  t.Add(email, "--email-drawdown", o.host.email.drawdown,
        "E-mail when snapshot - equity reaches this")
      .Number(0.0, kLargest);
}

void AddTerminalOptions(OptionTable& t, SimOptions& o) {
  const std::string group = "Terminal";
  t.Add(group, "--host-tag", o.host.hostTag,
        "Host tag shown in the dashboard title (up to 19 characters)")
      .Shown()
      .Check(FormCheck([](const std::string& text) {
        return text.size() > 19 ? std::string("longer than 19 characters") : std::string();
      }));
  t.Add(group, "--chart-title", o.host.frameTitle,
        "Chart window title the guard reads its symbol from")
      .Shown();
  t.Add(group, "--terminal-title", o.host.mainTitle, "Terminal title: account number, server")
      .Shown()
      .Identity(kEveryIdentity);
  t.Add(group, "--chart-handle", o.host.chartHandle, "Chart window handle").Shown();
  // Nor is the engine an input: the linked-in one and a loaded zentravo.so decide alike.
  t.Add(group, "--library", o.library,
        "Drive this built zentravo.so through its exports, as a terminal does (default: the same "
        "engine linked in, its files held in memory and written to the state folder at the end)")
      .In(Scope::Output);
  t.Add(group, "--state", o.state,
        "State folder for the library's files and the input's position; run again with it to "
        "continue (default: none kept; the run uses memory-backed storage)")
      .In(Scope::Output);
  t.AddFlag(group, "--resume-anyway", o.resumeAnyway,
            "Continue a state folder made from another input, account or ladder, or one whose last "
            "run did not stop cleanly");
}

void AddSideBySideOptions(OptionTable& t, SimOptions& o, GivenTexts& given) {
  const std::string group = "Ladders side by side (command line only)";
  o.jobs = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  t.Add(group, "--ladder", given.ladderTexts,
        "A ladder NAME=TP|DD|INC|SL to compare (repeat the option)")
      .CommandLineOnly()
      .In(Scope::Output)
      ->allow_extra_args(false);
  t.Add(group, "--ladders", given.ladderFiles,
        "Ladders from a file: NAME=TP|DD|INC|SL a line, # comments")
      .CommandLineOnly()
      .In(Scope::Output)
      ->allow_extra_args(false)
      ->check(kExistingFile);
  t.Add(group, "--jobs", o.jobs, "Ladders run at once, a process each (default: the cores)")
      .CommandLineOnly()
      .In(Scope::Output)
      .Shown();
  t.Add(group, "--runs", o.runs,
        "Run every ladder and no guard on N seeded markets (seeds --seed, --seed + 1, ...) and "
        "rank them by figures over all the runs (not with --csv or --history: a recorded history "
        "is one market)")
      .CommandLineOnly()
      .In(Scope::Output)
      .Whole(1, 100000);
  t.Add(group, "--rank-by", o.rankBy, "The column --runs ranks by")
      .CommandLineOnly()
      .In(Scope::Output)
      .Shown()
      .Check(CLI::IsMember(ListRankKeys()));
}

// Where a run's outputs go: no input of it, so the same run written elsewhere gives the same JSON.
void AddOutputOptions(OptionTable& t, SimOptions& o, GivenTexts& given) {
  const std::string group = "Output";
  t.Add(group, "--tail", o.tail, "Print only the last N events of the log (0: all)")
      .In(Scope::Output);
  t.AddFlag(group, "--quiet", o.quiet, "Print no event log, only the dashboard and the summary")
      .In(Scope::Output);
  t.Add(group, "--log", o.logPath, "Write the whole event log to a file").In(Scope::Output);
  t.Add(group, "--json", o.jsonPath,
        "Write events, summary and dashboard as JSON ('-': standard output)")
      .In(Scope::Output);
  t.AddFlag(group, "--json-brief", o.jsonBrief,
            "Leave events and cycles out of the JSON (a long run keeps less)")
      .CommandLineOnly()
      .In(Scope::Output);
  t.Add(group, "--chart", o.chartPath, "Write the equity chart as SVG").In(Scope::Output);
  t.Add(group, "--report", o.reportPath,
        "Write the whole answer as one HTML page: what was run, the ladders' figures, their curves "
        "(one ladder, several, or --runs)")
      .In(Scope::Output);
  t.AddFlag(group, "--open", o.openReport,
            "Open the --report page with the default browser once it is written")
      .In(Scope::Output);
  t.AddFlag(group, "--no-progress", given.noProgress, "Never draw the progress bar")
      .In(Scope::Output);
}

}  // namespace

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

std::string FormatNewsTimes(const std::vector<std::int64_t>& times) {
  std::string text;
  for (const std::int64_t second : times) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%s%02d:%02d", text.empty() ? "" : ",",
                  static_cast<int>(second / 3600), static_cast<int>(second / 60 % 60));
    text += buffer;
  }
  return text;
}

void AddOptions(OptionTable& table, SimOptions& o, GivenTexts& given) {
  AddInputOptions(table, o);
  AddModelOptions(table, o, given);
  AddPriceOptions(table, o, given);
  AddHistoryOptions(table, o);
  AddAccountOptions(table, o);
  AddSymbolOptions(table, o, given);
  AddStrategyOptions(table, o);
  AddTargetOptions(table, o);
  AddTerminalOptions(table, o);
  AddSideBySideOptions(table, o, given);
  AddOutputOptions(table, o, given);
}

}  // namespace zt::sim
