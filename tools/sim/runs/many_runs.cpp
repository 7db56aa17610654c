#include "runs/many_runs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <ostream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "figures/sampled_curves.h"
#include "number_text.h"
#include "options/run_input.h"
#include "options/sim_options.h"
#include "report/run_description.h"
#include "report/run_json.h"
#include "report/run_text.h"
#include "runs/ladder_runs.h"
#include "system/stop_request.h"
#include "text_helpers.h"

namespace zt::sim {
namespace {

using Json = nlohmann::ordered_json;
using tools::kPageWidth;
using tools::Money;
using tools::Padded;
using tools::PaddedLeft;

constexpr const char* kNoGuard = "no guard";
constexpr int kInterruptedExit = 130;
constexpr std::size_t kRankColumn = 3;   // "12 "
constexpr std::size_t kNameColumn = 12;  // longer names stand on a line of their own

std::string Amount(double value) { return Money(std::round(value * 100.0) / 100.0); }
std::string Amount(const std::optional<double>& value) { return value ? Amount(*value) : "-"; }

std::string Count(const std::optional<std::int64_t>& value) {
  return value ? std::to_string(*value) : "-";
}

// One line: the rank, the name (on a line of its own when too long) and the cells, each right
// aligned in its width and apart from the one before it even when wider.
std::string Row(const std::string& rank, const std::string& name,
                const std::vector<std::string>& cells, const std::vector<std::size_t>& widths) {
  std::string line = PaddedLeft(rank, kRankColumn - 1) + " ";
  line += name.size() > kNameColumn ? name + "\n" + std::string(kRankColumn + kNameColumn, ' ')
                                    : Padded(name, kNameColumn);
  for (std::size_t i = 0; i < cells.size(); ++i) line += " " + PaddedLeft(cells[i], widths[i] - 1);
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line + "\n";
}

// A heading over columns first to last of widths (as Row lays them out), centred among dashes.
struct Span {
  std::size_t first, last;
  std::string text;
};
std::string Spanning(const std::vector<std::size_t>& widths, const std::vector<Span>& spans) {
  std::string line(kRankColumn + kNameColumn, ' ');
  std::size_t column = 0;
  for (const Span& span : spans) {
    for (; column < span.first; ++column) line += std::string(widths[column], ' ');
    std::size_t width = 0;
    for (; column <= span.last; ++column) width += widths[column];
    const std::size_t space = width - 1;  // a space apart from the column before
    const std::string text = " " + span.text + " ";
    if (space < text.size() + 4) {
      line += " " + PaddedLeft(span.text, space);  // too narrow for dashes worth the name
      continue;
    }
    const std::size_t left = (space - text.size()) / 2;
    line += " " + std::string(left, '-') + text + std::string(space - text.size() - left, '-');
  }
  return line + "\n";
}

std::string ResultsTable(const std::vector<LadderRisk>& ranked) {
  const std::vector<std::size_t> widths(8, 10);
  std::string out = Spanning(widths, {{0, 3, "end result"}, {4, 7, "deepest drawdown"}});
  out += Row("", "ladder",
             {"median", "5th %", "95th %", "worst", "median", "5th %", "95th %", "worst"}, widths);
  for (std::size_t i = 0; i < ranked.size(); ++i) {
    const LadderRisk& l = ranked[i];
    const FigureSpread& e = l.endResult;
    const FigureSpread& d = l.deepestDrawdown;
    out += Row(std::to_string(i + 1), l.name,
               {Amount(e.median), Amount(e.p5), Amount(e.p95), Amount(e.worst), Amount(d.median),
                Amount(d.p5), Amount(d.p95), Amount(d.worst)},
               widths);
  }
  return out;
}

std::string RiskTable(const std::vector<LadderRisk>& ranked) {
  const std::vector<std::size_t> widths = {9, 10, 9, 8, 8, 20, 10, 10};
  std::string out = Spanning(widths, {{2, 3, "days under water"}});
  out += Row("", "",
             {"stopped", "return /", "longest", "median", "longest", "closes in all runs", "costs",
              "open"},
             widths);
  out += Row(
      "", "ladder",
      {"out", "drawdown", "spell", "total", "SL run", "TP / SL / stop-out", "per run", "at end"},
      widths);
  for (std::size_t i = 0; i < ranked.size(); ++i) {
    const LadderRisk& l = ranked[i];
    const std::string share =
        l.stopOutShare ? tools::FixedWithoutMinusZero(*l.stopOutShare * 100.0, 0) + "%" : "-";
    const std::string ratio =
        l.returnOverDrawdown ? tools::FixedWithoutMinusZero(*l.returnOverDrawdown, 2) : "-";
    const std::string closes = std::to_string(l.takeProfitCloses) + " / " +
                               std::to_string(l.stopLossCloses) + " / " + Count(l.stopOutCloses);
    out += Row(std::to_string(i + 1), l.name,
               {share, ratio, tools::FixedWithoutMinusZero(l.longestUnderWaterDays.worst, 1),
                tools::FixedWithoutMinusZero(l.totalUnderWaterDays.median, 1),
                std::to_string(l.longestStopLossRun), closes, Amount(l.costsPerRun.Total()),
                Amount(l.openResult ? std::optional(l.openResult->median) : std::nullopt)},
               widths);
  }
  return out;
}

// What the average run cost, by kind: shown where a broker's account knew the spread, the
// commissions and the swaps (the walk and an equity history know only the close-alls' cost,
// which the table above gives in all).
std::string CostsTable(const std::vector<LadderRisk>& ranked) {
  const bool known = std::any_of(ranked.begin(), ranked.end(), [](const LadderRisk& l) {
    const CostsPaid& c = l.costsPerRun;
    return c.spread || c.commission || c.swap;
  });
  if (!known) return "";
  const std::vector<std::size_t> widths(5, 12);
  std::string out = "\n" + Spanning(widths, {{0, 4, "costs of the average run"}});
  out += Row("", "ladder", {"spread", "commission", "swap", "close-alls", "in all"}, widths);
  for (std::size_t i = 0; i < ranked.size(); ++i) {
    const CostsPaid& c = ranked[i].costsPerRun;
    out += Row(std::to_string(i + 1), ranked[i].name,
               {Amount(c.spread), Amount(c.commission), Amount(c.swap), Amount(c.closes),
                Amount(c.Total())},
               widths);
  }
  return out;
}

}  // namespace

std::string FormatRunsTable(const RunsInput& input, const std::vector<LadderRisk>& ranked) {
  const std::size_t ladders = ranked.size() - 1;  // beside no guard
  const std::string seeds = "seeds " + std::to_string(input.firstSeed) + " to " +
                            std::to_string(input.firstSeed + input.runs - 1);
  // A bar history is one market: what the seeds change is only how its bars are walked.
  const std::string on = input.bars ? input.market + ", one market whose bars are walked " +
                                          std::to_string(input.runs) + " ways (" + seeds + ")"
                                    : "a seeded " + input.market + " (" + seeds + ", " +
                                          std::to_string(input.ticks) + " ticks each)";
  const std::string heading = std::to_string(input.runs) + " runs of " + std::to_string(ladders) +
                              (ladders == 1 ? " ladder" : " ladders") + " and no guard on " + on +
                              ", ranked by " + NameRanking(input.rankBy);
  std::string out = Folded(heading, kPageWidth, "  ") + "\n";
  if (!input.prices.empty()) out += Folded("prices: " + input.prices, kPageWidth, "  ") + "\n";
  out += "\n" + ResultsTable(ranked) + "\n" + RiskTable(ranked) + CostsTable(ranked);
  if (input.walk) {
    out +=
        "\n" +
        Folded(
            "On the account model's walk the open trades' result moves the same whether or not the "
            "guard closes them: a ladder changes nothing here but what its closes cost "
            "(--close-cost). --market model lets a close change what follows.",
            kPageWidth, "") +
        "\n";
  }
  return out;
}

namespace {

// Median, 5th and 95th percentile and the worst, in whole cents or as they are.
Json SpreadJson(const FigureSpread& s, bool cents) {
  const auto value = [cents](double v) { return cents ? Json(std::llround(v * 100.0)) : Json(v); };
  return Json{{"median", value(s.median)},
              {"p5", value(s.p5)},
              {"p95", value(s.p95)},
              {"worst", value(s.worst)}};
}

Json CentsJson(const std::optional<double>& v) {
  return v ? Json(std::llround(*v * 100.0)) : Json(nullptr);
}

// One ladder (or no guard) ranked rank, with its runs seed by seed.
Json LadderRiskJson(const LadderRisk& l, std::size_t rank, Json runs) {
  const CostsPaid& c = l.costsPerRun;
  return {
      {"rank", rank},
      {"name", l.name},
      {"noGuard", l.noGuard},
      {"runs", l.runs},
      {"endResult", SpreadJson(l.endResult, true)},
      {"deepestDrawdown", SpreadJson(l.deepestDrawdown, true)},
      {"stopOutShare", l.stopOutShare ? Json(*l.stopOutShare) : Json(nullptr)},
      {"returnOverDrawdown", l.returnOverDrawdown ? Json(*l.returnOverDrawdown) : Json(nullptr)},
      {"underWater",
       {{"longestDays", SpreadJson(l.longestUnderWaterDays, false)},
        {"totalDays", SpreadJson(l.totalUnderWaterDays, false)}}},
      {"longestStopLossRun", l.longestStopLossRun},
      {"closes",
       {{"takeProfit", l.takeProfitCloses},
        {"stopLoss", l.stopLossCloses},
        {"stopOut", l.stopOutCloses ? Json(*l.stopOutCloses) : Json(nullptr)}}},
      {"costsPerRun",
       {{"spread", CentsJson(c.spread)},
        {"commission", CentsJson(c.commission)},
        {"swap", CentsJson(c.swap)},
        {"closes", CentsJson(c.closes)},
        {"total", CentsJson(c.Total())}}},
      {"openResult", l.openResult ? SpreadJson(*l.openResult, true) : Json(nullptr)},
      {"perRun", std::move(runs)}};
}

}  // namespace

std::string FormatRunsJson(const RunsInput& input, const std::vector<LadderRisk>& ranked,
                           const std::vector<std::vector<AccountRisk>>& perRun,
                           const std::vector<std::string>& perRunNames) {
  Json list = Json::array();
  for (std::size_t i = 0; i < ranked.size(); ++i) {
    Json runs = Json::array();
    const std::size_t at = static_cast<std::size_t>(
        std::find(perRunNames.begin(), perRunNames.end(), ranked[i].name) - perRunNames.begin());
    for (std::size_t r = 0; at < perRun.size() && r < perRun[at].size(); ++r) {
      Json run = AccountRiskToJson(perRun[at][r]);
      run["seed"] = input.firstSeed + r;
      runs.push_back(std::move(run));
    }
    list.push_back(LadderRiskJson(ranked[i], i + 1, std::move(runs)));
  }
  Json all = {{"units", {{"amounts", "cents"}, {"times", "days"}}},
              {"market", input.market},
              {"seeds", {{"first", input.firstSeed}, {"count", input.runs}}},
              {"ticks", input.ticks},
              {"rankBy", input.rankBy},
              {"ladders", std::move(list)}};
  if (!input.prices.empty())
    all["modelling"] = Json::parse(ModellingJson(Modelling{input.prices, {}}));
  return all.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

namespace {

// Every run's figures: guarded[ladder][run], and no guard's per run, the same whichever ladder's
// run reported it.
struct ManyOutcome {
  std::vector<std::vector<AccountRisk>> guarded;
  std::vector<std::optional<AccountRisk>> unguarded;
  PoolOutcome pool;
  // For a report page: each run's equity at the same moments, no guard's first, then each ladder's.
  std::vector<std::vector<std::vector<double>>> curves;  // [no guard, ladders...][run]
  std::vector<std::int64_t> times;
};

// A run's sampled curves into the outcome: the ladder's own, and no guard's once per seed.
void TakeCurves(ManyOutcome& outcome, std::size_t ladder, std::size_t run,
                const SampledCurves& curves) {
  outcome.curves[ladder + 1][run] = curves.guarded;
  if (outcome.curves[0][run].empty()) outcome.curves[0][run] = curves.unguarded;
  if (outcome.times.empty()) outcome.times = curves.times;
}

// The twin account never sees a close, so every ladder's run of a seed must report the same one.
void TakeUnguarded(std::optional<AccountRisk>& kept, const AccountRisk& reported,
                   std::uint64_t seed) {
  if (!kept) {
    kept = reported;
    return;
  }
  if (std::llround(kept->endResult * 100.0) != std::llround(reported.endResult * 100.0) ||
      std::llround(kept->deepestDrawdown * 100.0) !=
          std::llround(reported.deepestDrawdown * 100.0)) {
    throw std::runtime_error(
        "its account without the guard differs from another ladder's on seed " +
        std::to_string(seed) + ", so the ladders did not meet the same market");
  }
}

ManyOutcome RunAllSeeds(const SimOptions& options, const std::vector<NamedLadder>& ladders) {
  const std::size_t runs = static_cast<std::size_t>(options.runs);
  ManyOutcome outcome{
      std::vector<std::vector<AccountRisk>>(ladders.size(), std::vector<AccountRisk>(runs)),
      std::vector<std::optional<AccountRisk>>(runs),
      {},
      {},
      {}};
  if (!options.reportPath.empty()) {
    outcome.curves.assign(ladders.size() + 1, std::vector<std::vector<double>>(runs));
  }
  const std::vector<std::string> common =
      DropOptions(options.arguments, {"--runs", "--rank-by", "--seed"}, {});
  // Seed by seed, every ladder of a seed before the next: a run stopped early still compares
  // ladders on the same markets.
  const auto ladderOf = [&](std::size_t job) { return job % ladders.size(); };
  const auto runOf = [&](std::size_t job) { return job / ladders.size(); };
  const auto seedOf = [&](std::size_t job) { return options.start.seed + runOf(job); };
  RunPool pool;
  pool.count = runs * ladders.size();
  pool.progressNoun = "runs";
  pool.name = [&](std::size_t job) {
    return ladders[ladderOf(job)].name + ", seed " + std::to_string(seedOf(job));
  };
  pool.arguments = [&](std::size_t job, const std::string& json) {
    std::vector<std::string> arguments = BuildLadderArguments(common, ladders[ladderOf(job)], json);
    arguments.insert(arguments.end(), {"--seed", std::to_string(seedOf(job))});
    return arguments;
  };
  pool.done = [&](std::size_t job, const std::string& json) {
    const RunRisk risk = ReadRunRisk(json);
    outcome.guarded[ladderOf(job)][runOf(job)] = risk.guarded;
    TakeUnguarded(outcome.unguarded[runOf(job)], risk.unguarded, seedOf(job));
    if (!outcome.curves.empty())
      TakeCurves(outcome, ladderOf(job), runOf(job), ReadSampledCurves(json));
  };
  outcome.pool = RunPooled(options, pool);
  return outcome;
}

}  // namespace

int RunMany(const SimOptions& options, std::ostream& out, std::ostream& err) {
  std::vector<NamedLadder> ladders = options.ladders;
  if (ladders.empty()) ladders.push_back(NamedLadder{"ladder", options.host.targets});
  const ManyOutcome outcome = RunAllSeeds(options, ladders);
  if (!outcome.pool.notes.empty()) err << outcome.pool.notes;
  err << outcome.pool.failures;
  if (system::StopRequested()) {
    err << "zt-sim: interrupted; " << outcome.pool.finished << " of "
        << options.runs * static_cast<int>(ladders.size()) << " runs had finished\n";
    return kInterruptedExit;
  }
  if (outcome.pool.failed) return 1;

  std::vector<LadderRisk> all;
  std::vector<std::string> names;
  std::vector<AccountRisk> unguarded;
  for (const std::optional<AccountRisk>& run : outcome.unguarded) unguarded.push_back(*run);
  all.push_back(SumUpRuns(kNoGuard, true, unguarded));
  // "No guard" first, then the ladders in their order.
  std::vector<std::vector<AccountRisk>> perRun(1, unguarded);
  perRun.insert(perRun.end(), outcome.guarded.begin(), outcome.guarded.end());
  names.emplace_back(kNoGuard);
  for (std::size_t i = 0; i < ladders.size(); ++i) {
    all.push_back(SumUpRuns(ladders[i].name, false, outcome.guarded[i]));
    names.push_back(ladders[i].name);
  }
  const bool bars = !options.positions.history.path.empty();
  const std::string strategy = options.positions.dealsPath.empty()
                                   ? options.positions.strategy.name + " strategy over the "
                                   : "the ";
  const RunsInput input{bars ? strategy + DescribeHistories(options) : NameSeededMarket(options),
                        options.market == MarketKind::Walk,
                        options.start.seed,
                        static_cast<std::size_t>(options.runs),
                        options.ticks,
                        options.rankBy,
                        NameModelling(options),
                        bars};
  const std::vector<LadderRisk> ranked = RankLadders(all, options.rankBy);
  const bool wantJson = !options.jsonPath.empty() || !options.reportPath.empty();
  const std::string json = wantJson ? FormatRunsJson(input, ranked, perRun, names) : std::string();
  const int shown =
      ShowPoolResults(options.jsonPath, options.jsonPath.empty() ? std::string() : json,
                      FormatRunsTable(input, ranked), out, err);
  if (shown != 0 || options.reportPath.empty()) return shown;
  const std::string title =
      std::to_string(options.runs) + " runs of " + std::to_string(ladders.size()) +
      (ladders.size() == 1 ? " ladder" : " ladders") + " and no guard on " +
      (bars ? input.market + ", its bars walked " + std::to_string(options.runs) + " ways"
            : "a seeded " + input.market);
  return WriteReportAndSay(
      options.reportPath,
      [&] {
        return BuildRunsPage(
            DescribeRun(options, title, (bars ? "" : "seeded ") + input.market, ladders), json,
            names, outcome.curves, outcome.times);
      },
      out, err);
}

}  // namespace zt::sim
