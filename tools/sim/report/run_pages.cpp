#include "report/run_pages.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <set>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "figures/risk_ranking.h"
#include "report/page_findings.h"
#include "report/strategy_words.h"
#include "report/svg_parts.h"

namespace zt::sim {
namespace {

using Json = nlohmann::ordered_json;

#ifndef ZT_SIM_VERSION
#define ZT_SIM_VERSION "unknown"
#endif

constexpr const char* kNoGuard = "no guard";

// The recorded options wanted, as "name value" pairs in one line; those not set left out.
std::string SettingsText(const RunRecord& record,
                         const std::function<bool(const RecordedOption&)>& wanted) {
  std::string text;
  for (const RecordedOption& option : record.options) {
    if (option.text.empty() || !wanted(option)) continue;
    text += (text.empty() ? "" : ", ") + option.name + " " + WithUnit(option.name, option.text);
  }
  return text;
}

Json Parsed(const std::string& text) {
  try {
    return Json::parse(text);
  } catch (const Json::exception& error) {
    throw std::runtime_error("the report cannot read its figures (" + std::string(error.what()) +
                             ")");
  }
}

// The columns that every page's table of one market shares with the text report: the end, the
// deepest fall, the closes.
FigureColumn Column(std::string group, std::string heading, std::string pointer, FigureUnit unit,
                    Better better) {
  return {std::move(group), std::move(heading), std::move(pointer), unit, better};
}

CurveLine Line(std::string name, std::vector<double> values) {
  return CurveLine{std::move(name), std::move(values), {}, {}};
}

// The columns of every page's figure tables, in their order: the guard against no guard on one
// market, the ladders side by side, and the risk figures over many runs (their results and
// drawdowns are the median, 5th, 95th percentile and worst of each, made by RunsTables).
enum class Page { SingleRun, Ladders, ManyRuns };

std::vector<FigureColumn> ColumnsOf(Page page) {
  struct PageColumn {
    Page page;
    FigureColumn column;
  };
  using enum Page;
  using enum FigureUnit;
  using enum Better;
  static const std::vector<PageColumn> all = {
      {SingleRun, {"", "end equity", "/comparison/{row}/endEquity", Cents, Higher}},
      {SingleRun, {"", "end result", "/risk/{row}/endResult", Cents, Higher}},
      {SingleRun, {"", "deepest drawdown", "/comparison/{row}/deepestDrawdown", Cents, Higher}},
      {SingleRun, {"closes", "TP", "/risk/{row}/closes/takeProfit", Count, None}},
      {SingleRun, {"closes", "SL", "/risk/{row}/closes/stopLoss", Count, None}},
      {SingleRun, {"closes", "stop-out", "/risk/{row}/closes/stopOut", Count, Lower}},
      {SingleRun, {"", "realised per cycle", "/comparison/{row}/realisedPerCycle", Cents, None}},
      {SingleRun,
       {"days under water", "longest", "/risk/{row}/underWater/longestDays", Days, Lower}},
      {SingleRun, {"days under water", "total", "/risk/{row}/underWater/totalDays", Days, Lower}},
      {SingleRun, {"", "longest SL run", "/risk/{row}/longestStopLossRun", Count, Lower}},
      {SingleRun, {"costs", "spread", "/risk/{row}/costs/spread", Cents, Lower}},
      {SingleRun, {"costs", "commission", "/risk/{row}/costs/commission", Cents, Lower}},
      {SingleRun, {"costs", "swap", "/risk/{row}/costs/swap", Cents, Lower}},
      {SingleRun, {"costs", "in all", "/risk/{row}/costs/total", Cents, Lower}},
      {SingleRun, {"", "open at end", "/risk/{row}/openResult", Cents, None}},
      {Ladders, {"", "end equity", "/endEquity", Cents, Higher}},
      {Ladders, {"", "deepest drawdown", "/deepestDrawdown", Cents, Higher}},
      {Ladders, {"closes", "TP", "/closes/takeProfit", Count, None}},
      {Ladders, {"closes", "SL", "/closes/stopLoss", Count, None}},
      {Ladders, {"", "stopped out", "/stopOuts", Count, Lower}},
      {Ladders, {"costs", "spread", "/costs/spread", Cents, Lower}},
      {Ladders, {"costs", "commission", "/costs/commission", Cents, Lower}},
      {Ladders, {"costs", "swap", "/costs/swap", Cents, Lower}},
      {Ladders, {"costs", "in all", "/costs/total", Cents, Lower}},
      {Ladders, {"", "cycles", "/cycles", Count, None}},
      {Ladders, {"realised per cycle", "average", "/realisedPerCycle/average", Cents, Higher}},
      {Ladders, {"realised per cycle", "median", "/realisedPerCycle/median", Cents, Higher}},
      {Ladders, {"realised per cycle", "lowest", "/realisedPerCycle/lowest", Cents, Higher}},
      {Ladders, {"realised per cycle", "highest", "/realisedPerCycle/highest", Cents, Higher}},
      {ManyRuns, {"", "stopped out", "/stopOutShare", Share, Lower}},
      {ManyRuns, {"", "recovery factor", "", Ratio, Higher}},
      {ManyRuns, {"days under water", "longest", "/underWater/longestDays/worst", Days, Lower}},
      {ManyRuns, {"days under water", "median total", "/underWater/totalDays/median", Days, Lower}},
      {ManyRuns, {"", "longest SL run", "/longestStopLossRun", Count, Lower}},
      {ManyRuns, {"closes in all runs", "TP", "/closes/takeProfit", Count, None}},
      {ManyRuns, {"closes in all runs", "SL", "/closes/stopLoss", Count, None}},
      {ManyRuns, {"closes in all runs", "stop-out", "/closes/stopOut", Count, Lower}},
      {ManyRuns, {"costs per run", "spread", "/costsPerRun/spread", Cents, Lower}},
      {ManyRuns, {"costs per run", "commission", "/costsPerRun/commission", Cents, Lower}},
      {ManyRuns, {"costs per run", "swap", "/costsPerRun/swap", Cents, Lower}},
      {ManyRuns, {"costs per run", "in all", "/costsPerRun/total", Cents, Lower}},
      {ManyRuns, {"", "open at end", "/openResult/median", Cents, None}},
  };
  std::vector<FigureColumn> columns;
  for (const PageColumn& each : all) {
    if (each.page == page) columns.push_back(each.column);
  }
  return columns;
}

constexpr const char* kOneMarket =
    "One market is one story: a ladder that looks good on it may lose most on the "
    "next. --runs N tries every ladder on N seeded markets.";

// The starting balance the run was given; 0 where the record holds none.
double DepositOf(const RunRecord& record) {
  const std::string text = record.TextOf("balance");
  try {
    return text.empty() ? 0.0 : std::stod(text);
  } catch (const std::exception&) {
    return 0.0;
  }
}

// The run's length in days from its sampled times; 0 for fewer than two.
double DaysOf(const std::vector<std::int64_t>& times) {
  return times.size() < 2 ? 0.0 : static_cast<double>(times.back() - times.front()) / 86400.0;
}

// The verdict and the warnings of a page on one market, from its table.
void FindOnOneMarket(ReportPage& page) {
  const std::vector<Outcome> outcomes = ReadOneMarketOutcomes(page.tables.front(), page.deposit);
  page.verdict = WriteVerdict(outcomes, page.deposit);
  std::vector<EndResults> ends;
  for (const Outcome& o : outcomes) ends.push_back({o.name, {o.median}});
  if (std::string w = WarnOfNegativeBalances(ends, page.deposit); !w.empty())
    page.warnings.push_back(std::move(w));
}

std::string EquityTitle(const std::string& title, const std::string& currency) {
  return title + (currency.empty() ? ", account's currency" : ", " + currency);
}

// The lowest and highest of a line's median and band.
std::pair<double, double> ExtentOf(const CurveLine& line) {
  double low = std::numeric_limits<double>::infinity(), high = -low;
  for (const auto* values : {&line.value, &line.low, &line.high}) {
    for (const double v : *values) {
      if (!std::isfinite(v)) continue;
      low = std::min(low, v);
      high = std::max(high, v);
    }
  }
  return {low, high};
}

// No guard on a chart of its own where its band spans more than twice the ladders' together: on
// one scale the ladders' bands would be squashed flat.
void SplitNoGuard(ReportPage& page) {
  CurveChart& chart = *page.curves;
  if (chart.lines.size() < 2 || chart.lines.front().name != kNoGuard) return;
  double low = std::numeric_limits<double>::infinity(), high = -low;
  for (std::size_t i = 1; i < chart.lines.size(); ++i) {
    const auto [l, h] = ExtentOf(chart.lines[i]);
    low = std::min(low, l);
    high = std::max(high, h);
  }
  const auto [l0, h0] = ExtentOf(chart.lines.front());
  if (!(high > low) || std::max(h0, high) - std::min(l0, low) <= 2.0 * (high - low)) return;
  // Its panel is lower than the ladders' chart: a shorter title fits beside it.
  page.noGuardCurves =
      CurveChart{chart.times, {chart.lines.front()}, EquityTitle("equity", page.currency), 0};
  chart.lines.erase(chart.lines.begin());
  chart.firstSeries = 1;
}

// How every kind of page begins: its heading, what was run, the ladders, and what the input
// cannot say.
ReportPage PageOf(const RunDescription& d) {
  ReportPage page;
  page.title = d.title;
  page.facts = ListRunFacts(d);
  page.ladders = d.ladders;
  page.notes = d.notes;
  page.deposit = DepositOf(d.record);
  page.currency = d.record.TextOf("account-currency");
  return page;
}

}  // namespace

std::vector<PageFact> ListRunFacts(const RunDescription& d) {
  const RunRecord& record = d.record;
  const std::string strategy = d.strategy ? record.TextOf("strategy") : std::string();
  const bool history = !d.history.empty() || record.TextOf("history") != "";
  const auto ofStrategy = [&](const RecordedOption& o) {
    return !strategy.empty() && (o.fact == Fact::StrategyCommon ||
                                 (o.fact == Fact::StrategyOwn && o.strategy == strategy));
  };
  // Only what decided the run: not the terminal's window handle or a state folder's override, and
  // on a recorded price history none of the price model's terms but its point and spread (the
  // bars give the prices and their times).
  const auto applies = [&](const RecordedOption& o) {
    if (o.identityKey.empty() && o.fact == Fact::Other) return false;
    static const std::set<std::string> kOfTheModel = {"market", "start", "tick-seconds", "news"};
    if (!history) return true;
    return (o.identityKey != "--prices" || o.name == "point" || o.name == "spread") &&
           kOfTheModel.count(o.name) == 0;
  };
  const auto is = [&](Fact fact) {
    return [fact, &applies](const RecordedOption& o) { return o.fact == fact && applies(o); };
  };
  std::vector<PageFact> facts = {{"input", d.input}};
  if (!d.history.empty()) facts.push_back({"price history", d.history});
  if (!d.prices.empty()) facts.push_back({"prices", d.prices});
  if (!strategy.empty()) {
    const std::string words = SayStrategy(record, strategy);
    facts.push_back({"strategy", strategy + ": " + (words.empty() ? "" : words + " Settings: ") +
                                     SettingsText(record, ofStrategy)});
  }
  facts.push_back({"account and costs", SettingsText(record, is(Fact::Costs))});
  for (const RecordedOption& option : record.options) {
    if (option.fact == Fact::Seed && !option.text.empty()) facts.push_back({"seed", option.text});
  }
  // The options of a strategy that did not trade, or of none when nothing did, are left out; the
  // ladders stand in a table of their own, with each ladder's name.
  if (std::string other = SettingsText(record, is(Fact::Other)); !other.empty())
    facts.push_back({"other settings", other});
  facts.push_back({"program", std::string("zt-sim ") + ZT_SIM_VERSION});
  return facts;
}

ReportPage BuildSingleRunPage(const RunDescription& d, const std::string& runJson,
                              const HostRun& run, const std::string& runChart) {
  const Json json = Parsed(runJson);
  const std::vector<FigureColumn> columns = ColumnsOf(Page::SingleRun);
  const std::string name = d.ladders.empty() ? "ladder" : d.ladders.front().label;
  ReportPage page = PageOf(d);
  page.tables.push_back(BuildTable("The guard against no guard", json,
                                   {{kNoGuard, 0, "withoutGuard"}, {name, 1, "withGuard"}},
                                   columns));
  const SampledCurves curves = SampleCurves(run, 2 * kSampledMoments);
  // No guard's line stays first even when the market does not know it, so that colours match the
  // table.
  page.curves = CurveChart{curves.times,
                           {Line(kNoGuard, curves.unguarded), Line(name, curves.guarded)},
                           EquityTitle("equity", page.currency),
                           0};
  page.curvesCaption =
      "The account's equity with the guard and, where the market knows it, the same account "
      "with nothing closing it.";
  // The chart's own equity line is the series a reader must find drawn.
  page.runChart = InlineSvg(runChart);
  if (const std::size_t at = page.runChart.find("<path id=\"equity\""); at != std::string::npos) {
    page.runChart.insert(at + 5, " data-series=\"" + svg::Escape(name) + "\"");
  }
  ShowDaysAsShares(page.tables.front(), DaysOf(curves.times));
  FindOnOneMarket(page);
  page.explainAlerts = true;
  page.notes.push_back(kOneMarket);
  return page;
}

ReportPage BuildLaddersPage(const RunDescription& d, const std::string& laddersJson,
                            const std::vector<SampledCurves>& curves) {
  const Json json = Parsed(laddersJson);
  const std::vector<FigureColumn> columns = ColumnsOf(Page::Ladders);
  // An account's figures (the end, the deepest fall, the broker's stop-outs, the costs) a
  // ladder's row reads under "withGuard" there, no guard's under "withoutGuard"; the guard's own
  // counts stand in the ladder's entry itself.
  std::vector<FigureColumn> guarded = columns;
  for (FigureColumn& column : guarded) {
    for (const char* of : {"/endEquity", "/deepestDrawdown", "/stopOuts", "/costs/"}) {
      if (column.pointer.starts_with(of)) column.pointer = "/withGuard" + column.pointer;
    }
  }
  const Json& ladders = json.at("ladders");
  const bool shared = json.contains("withoutGuard");
  // No guard's row reads the same columns under "withoutGuard", where only the account's stand.
  PageTable table{"The ladders on one market", columns, {}};
  const auto add = [&](const FigureRow& row, const std::vector<FigureColumn>& set) {
    table.rows.push_back(BuildTable("", json, {row}, set).rows.front());
  };
  if (shared) add({kNoGuard, 0, "/withoutGuard"}, columns);
  for (std::size_t i = 0; i < ladders.size(); ++i) {
    const std::string at = "/ladders/" + std::to_string(i);
    const std::string name = ladders[i].at("name").get<std::string>();
    add({name, i + 1, at}, guarded);
    if (!shared) add({"no guard beside " + name, 0, at + "/withoutGuard"}, columns);
  }
  ReportPage page = PageOf(d);
  page.tables.push_back(std::move(table));
  CurveChart chart{curves.empty() ? std::vector<std::int64_t>() : curves.front().times,
                   {},
                   EquityTitle("equity", page.currency),
                   0};
  chart.lines.push_back(
      Line(kNoGuard, curves.empty() ? std::vector<double>() : curves.front().unguarded));
  for (std::size_t i = 0; i < curves.size() && i < ladders.size(); ++i) {
    chart.lines.push_back(Line(ladders[i].at("name").get<std::string>(), curves[i].guarded));
  }
  page.curves = std::move(chart);
  page.curvesCaption =
      "Each ladder's account and the same account with no guard, on the same market.";
  FindOnOneMarket(page);
  page.notes.push_back(kOneMarket);
  return page;
}

namespace {

// Every figure of the text tables of many runs, in their order: results and drawdowns, then what
// the broker did, time under water, closes and costs.
std::vector<PageTable> RunsTables(const Json& json, const std::vector<FigureRow>& rows) {
  std::vector<FigureColumn> results;
  for (const auto& [group, key] :
       {std::pair{"end result", "endResult"}, {"deepest drawdown", "deepestDrawdown"}}) {
    for (const auto& [heading, at] :
         {std::pair{"median", "median"}, {"5th %", "p5"}, {"95th %", "p95"}, {"worst", "worst"}}) {
      results.push_back(Column(group, heading, std::string("/") + key + "/" + at, FigureUnit::Cents,
                               Better::Higher));
    }
  }
  const std::vector<FigureColumn> risk = ColumnsOf(Page::ManyRuns);
  return {BuildTable("End results and drawdowns over the runs", json, rows, results),
          BuildTable("Stop-outs, time under water, closes and costs", json, rows, risk)};
}

// One figure of every run of each ladder, in the colours' order.
std::vector<Spread> SpreadsOf(const Json& ladders, const std::vector<std::string>& order,
                              const char* key) {
  std::vector<Spread> rows;
  for (const std::string& name : order) {
    Spread row{name, {}};
    for (const Json& ladder : ladders) {
      if (ladder.at("name") != name) continue;
      for (const Json& run : ladder.at("perRun"))
        row.values.push_back(run.at(key).get<double>() / 100.0);
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

// The verdict, the warnings and the computed figures of a page of many runs.
void FindOverRuns(ReportPage& page, const Json& json, const std::vector<FigureRow>& rows,
                  double runDays) {
  std::vector<std::string> prefixes;
  std::vector<EndResults> ends;
  for (const FigureRow& row : rows) {
    prefixes.push_back(row.prefix);
    const Json& ladder = json.at(Json::json_pointer(row.prefix));
    EndResults each{row.name, {}};
    for (const Json& run : ladder.at("perRun"))
      each.ends.push_back(run.at("endResult").get<double>() / 100.0);
    ends.push_back(std::move(each));
  }
  FillRecoveryFactors(page.tables.back(), json, prefixes);
  ShowDaysAsShares(page.tables.back(), runDays);
  page.verdict = WriteVerdict(ReadRunsOutcomes(json), page.deposit);
  if (std::string w = WarnOfNegativeBalances(ends, page.deposit); !w.empty())
    page.warnings.push_back(std::move(w));
}

}  // namespace

ReportPage BuildRunsPage(const RunDescription& d, const std::string& runsJson,
                         const std::vector<std::string>& order,
                         const std::vector<std::vector<std::vector<double>>>& curves,
                         const std::vector<std::int64_t>& times) {
  const Json json = Parsed(runsJson);
  const Json& ladders = json.at("ladders");
  std::vector<FigureRow> rows;
  for (std::size_t i = 0; i < ladders.size(); ++i) {
    const std::string name = ladders[i].at("name").get<std::string>();
    const std::size_t series =
        static_cast<std::size_t>(std::find(order.begin(), order.end(), name) - order.begin());
    rows.push_back({name, series, "/ladders/" + std::to_string(i)});
  }
  ReportPage page = PageOf(d);
  const std::int64_t first = json.at("seeds").at("first").get<std::int64_t>();
  const std::int64_t count = json.at("seeds").at("count").get<std::int64_t>();
  for (PageFact& fact : page.facts) {
    if (fact.label == "seed")
      fact = {"seeds", std::to_string(first) + " to " + std::to_string(first + count - 1)};
  }
  page.facts.insert(page.facts.begin() + 1,
                    {"runs", std::to_string(count) + " markets of " +
                                 std::to_string(json.at("ticks").get<std::int64_t>()) +
                                 " ticks, every ladder and no guard on each; ranked by " +
                                 NameRanking(json.at("rankBy").get<std::string>())});
  page.tables = RunsTables(json, rows);
  const std::string runsTitle = "median equity";
  FindOverRuns(page, json, rows, DaysOf(times));
  page.curves = CurveChart{times, {}, EquityTitle(runsTitle, page.currency), 0};
  for (std::size_t i = 0; i < order.size() && i < curves.size(); ++i) {
    const CurveBand band = MeasureBand(curves[i]);
    page.curves->lines.push_back(CurveLine{order[i], band.median, band.low, band.high});
  }
  SplitNoGuard(page);
  page.curvesCaption =
      "At each moment, the median equity over the " + std::to_string(count) +
      " runs, and a band from the 5th to the 95th percentile of the runs' equity then.";
  page.endResults = SpreadsOf(ladders, order, "endResult");
  page.drawdowns = SpreadsOf(ladders, order, "deepestDrawdown");
  return page;
}

}  // namespace zt::sim
