#include "runs/ladder_runs.h"

#include <algorithm>
#include <cmath>
#include <ostream>
#include <set>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "host/ladder.h"
#include "number_text.h"
#include "options/run_input.h"
#include "options/sim_options.h"
#include "report/run_description.h"
#include "report/run_text.h"
#include "system/stop_request.h"
#include "text_helpers.h"

namespace zt::sim {
namespace {

using Json = nlohmann::ordered_json;
using tools::kPageWidth;
using tools::Padded;
using tools::PaddedLeft;

constexpr std::size_t kNameColumn = 14;  // longer names stand on a line of their own
constexpr int kInterruptedExit = 130;

using tools::CentsText;

std::string CentsText(const std::optional<long long>& cents) {
  return cents ? CentsText(*cents) : "-";
}

// An amount of money as whole cents, as the runs' JSON holds it.
long long InCents(double amount) { return std::llround(amount * 100.0); }
std::optional<long long> InCents(const std::optional<double>& amount) {
  return amount ? std::optional(InCents(*amount)) : std::nullopt;
}

std::string CountText(const std::optional<long long>& count) {
  return count ? std::to_string(*count) : "-";
}

}  // namespace

// ---- One ladder's run ----

std::vector<std::string> DropOptions(const std::vector<std::string>& arguments,
                                     const std::set<std::string>& valued,
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

std::vector<std::string> BuildLadderArguments(const std::vector<std::string>& arguments,
                                              const NamedLadder& ladder,
                                              const std::string& jsonPath) {
  // Options of the side-by-side run and outputs that would clash between runs, with their values.
  std::vector<std::string> out = DropOptions(
      arguments,
      {"--ladder", "--ladders", "--jobs", "--json", "--chart", "--report", "--log", "--tail",
       "--take-profits", "--drawdown-targets", "--increase-targets", "--stop-losses"},
      {"--quiet", "--no-progress", "--json-brief", "--open"});
  // Given on the command line, these win over a settings file.
  // Each value in an argument of its own: CLI11 reads "--option=" with nothing after the '=' as
  // an option whose value is the next argument.
  out.insert(out.end(), {"--take-profits", ladder.texts.takeProfits, "--drawdown-targets",
                         ladder.texts.drawdownTargets, "--increase-targets",
                         ladder.texts.increaseTargets, "--stop-losses", ladder.texts.stopLosses,
                         "--json", jsonPath, "--json-brief", "--quiet", "--no-progress"});
  return out;
}

// ---- Reading and showing the results ----

namespace {

// Whether every ladder ran beside the same account without the guard: always for a CSV history,
// which the guard's closes do not change.
bool SharedBaseline(const std::vector<LadderFigures>& ladders) {
  return !ladders.empty() &&
         std::all_of(ladders.begin(), ladders.end(), [&](const LadderFigures& f) {
           return f.unguardedEndEquity == ladders.front().unguardedEndEquity &&
                  f.unguardedDeepestDrawdown == ladders.front().unguardedDeepestDrawdown;
         });
}

// Each ladder as the library read it, its four parts side by side while they fit; a part too
// long for a line is broken at spaces.
std::string LadderReadings(const std::vector<LadderFigures>& ladders) {
  std::string out = "\nladders as the library reads them\n";
  const std::size_t width = kPageWidth - kNameColumn - 2;
  for (const LadderFigures& f : ladders) {
    std::vector<std::string> lines(1);
    for (const std::string& part : f.ladderParts) {
      for (const std::string& piece : Wrapped(part, width)) {
        if (!lines.back().empty() && lines.back().size() + 3 + piece.size() > width)
          lines.emplace_back();
        lines.back() += (lines.back().empty() ? "" : "   ") + piece;
      }
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const std::string head = i > 0 ? std::string() : f.name;
      out += head.size() > kNameColumn
                 ? head + "\n" + std::string(kNameColumn + 2, ' ') + lines[i] + "\n"
                 : "  " + Padded(head, kNameColumn) + lines[i] + "\n";
    }
  }
  return out;
}

// The broker's stop-outs and what trading cost by kind, in the rows of the table above: what an
// end equity alone hides (a ladder that ends well because the spread was cheap, or an account the
// broker closed).
std::string BrokerAndCosts(const std::vector<LadderFigures>& ladders, bool shared) {
  std::string out;
  const auto row = [&out](const std::string& name, const std::vector<std::string>& cells) {
    static constexpr std::size_t widths[] = {12, 13, 13, 13, 13, 13};
    std::string line = name.size() > kNameColumn ? name + "\n" + std::string(kNameColumn, ' ')
                                                 : Padded(name, kNameColumn);
    for (std::size_t i = 0; i < cells.size(); ++i)
      line += ' ' + PaddedLeft(cells[i], widths[i] - 1);
    out += line + "\n";
  };
  // "costs" centred among dashes over its five columns, a space apart from "stopped".
  const std::string costs = " costs ", dashes((5 * 13 - 1 - costs.size()) / 2, '-');
  out += "\n" + Padded("", kNameColumn) + PaddedLeft("stopped", 12) + "  " + dashes + costs +
         dashes + "\n";
  row("ladder", {"out", "spread", "commission", "swap", "close-alls", "in all"});
  const auto cells = [](const std::optional<long long>& stopOuts, const CostsPaid& c) {
    return std::vector<std::string>{
        CountText(stopOuts),        CentsText(InCents(c.spread)), CentsText(InCents(c.commission)),
        CentsText(InCents(c.swap)), CentsText(InCents(c.closes)), CentsText(InCents(c.Total()))};
  };
  if (shared)
    row("no guard", cells(ladders.front().unguardedStopOuts, ladders.front().unguardedCosts));
  for (const LadderFigures& f : ladders) {
    row(f.name, cells(f.stopOuts, f.costs));
    if (!shared) row("  no guard", cells(f.unguardedStopOuts, f.unguardedCosts));
  }
  return out;
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
    f.unguardedDeepestDrawdown =
        comparison.at("withoutGuard").at("deepestDrawdown").get<long long>();
    const Json& realised = comparison.at("withGuard");
    if (f.cycles > 0) {
      f.realisedAverage = realised.at("realisedPerCycle").get<long long>();
      f.realisedMedian = realised.at("realisedMedian").get<long long>();
      f.realisedLowest = realised.at("realisedLowest").get<long long>();
      f.realisedHighest = realised.at("realisedHighest").get<long long>();
    }
    if (json.contains("risk")) {
      const RunRisk risk = ReadRunRisk(text);
      f.stopOuts = risk.guarded.stopOutCloses;
      f.unguardedStopOuts = risk.unguarded.stopOutCloses;
      f.costs = risk.guarded.costs;
      f.unguardedCosts = risk.unguarded.costs;
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
  } catch (const std::exception& error) {
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
  out += Padded("", kNameColumn) + PaddedLeft("end", 12) + PaddedLeft("deepest", 12) +
         PaddedLeft("closes", 15) + PaddedLeft("", 8) + PaddedLeft("realised per cycle", 32) + "\n";
  row("ladder",
      {"equity", "drawdown", "TP / SL", "cycles", "average", "median", "lowest", "highest"});
  const auto baseline = [&row](const std::string& name, const LadderFigures& f) {
    row(name, {CentsText(f.unguardedEndEquity), CentsText(f.unguardedDeepestDrawdown), "-", "-",
               "-", "-", "-", "-"});
  };
  const bool shared = SharedBaseline(ladders);
  if (shared) baseline("no guard", ladders.front());
  for (const LadderFigures& f : ladders) {
    row(f.name,
        {CentsText(f.endEquity), CentsText(f.deepestDrawdown),
         std::to_string(f.takeProfitCloses) + " / " + std::to_string(f.stopLossCloses),
         std::to_string(f.cycles), CentsText(f.realisedAverage), CentsText(f.realisedMedian),
         CentsText(f.realisedLowest), CentsText(f.realisedHighest)});
    if (!shared) baseline("  no guard", f);
  }
  if (!shared) {
    // Every ladder meets the same market (closes never change the model's walk); should a run
    // still report another, each is shown beside its own rather than one made up.
    out +=
        "\nThe runs did not meet the same market: each ladder is shown beside its own account\n"
        "without the guard.\n";
  }
  return out + BrokerAndCosts(ladders, shared) + LadderReadings(ladders);
}

std::string FormatLadderJson(const std::vector<LadderFigures>& ladders, const Modelling& modelling,
                             const std::vector<NamedLadder>& named) {
  Json all;
  all["units"] = {{"amounts", "cents"}};
  if (!modelling.prices.empty()) all["modelling"] = Json::parse(ModellingJson(modelling));
  // Once when every ladder shares it; otherwise only in each ladder's entry.
  const auto optional = [](const std::optional<long long>& value) {
    return value ? Json(*value) : Json(nullptr);
  };
  // One account's figures: its end, its deepest fall, the broker's stop-outs and its costs.
  const auto account = [&optional](long long end, long long drawdown,
                                   const std::optional<long long>& stopOuts, const CostsPaid& c) {
    return Json{{"endEquity", end},
                {"deepestDrawdown", drawdown},
                {"stopOuts", optional(stopOuts)},
                {"costs",
                 {{"spread", optional(InCents(c.spread))},
                  {"commission", optional(InCents(c.commission))},
                  {"swap", optional(InCents(c.swap))},
                  {"closes", optional(InCents(c.closes))},
                  {"total", InCents(c.Total())}}}};
  };
  const auto without = [&account](const LadderFigures& f) {
    return account(f.unguardedEndEquity, f.unguardedDeepestDrawdown, f.unguardedStopOuts,
                   f.unguardedCosts);
  };
  if (SharedBaseline(ladders)) all["withoutGuard"] = without(ladders.front());
  Json list = Json::array();
  for (std::size_t i = 0; i < ladders.size(); ++i) {
    const LadderFigures& f = ladders[i];
    const TargetTexts& t = named.at(i).texts;
    list.push_back(
        {{"name", f.name},
         {"targets",
          {{"takeProfits", t.takeProfits},
           {"drawdownTargets", t.drawdownTargets},
           {"increaseTargets", t.increaseTargets},
           {"stopLosses", t.stopLosses}}},
         {"ticks", f.ticks},
         {"withGuard", account(f.endEquity, f.deepestDrawdown, f.stopOuts, f.costs)},
         {"withoutGuard", without(f)},
         {"closes", {{"takeProfit", f.takeProfitCloses}, {"stopLoss", f.stopLossCloses}}},
         {"drawdownSteps", f.drawdownSteps},
         {"increasesPassed", f.increasesPassed},
         {"cycles", f.cycles},
         {"realisedPerCycle",
          {{"average", optional(f.realisedAverage)},
           {"median", optional(f.realisedMedian)},
           {"lowest", optional(f.realisedLowest)},
           {"highest", optional(f.realisedHighest)}}}});
  }
  all["ladders"] = std::move(list);
  return all.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

int RunLadders(const SimOptions& options, std::ostream& out, std::ostream& err) {
  const std::vector<NamedLadder>& ladders = options.ladders;
  std::vector<LadderFigures> figures(ladders.size());
  std::vector<SampledCurves> curves(ladders.size());
  RunPool pool;
  pool.count = ladders.size();
  pool.name = [&](std::size_t i) { return ladders[i].name; };
  pool.arguments = [&](std::size_t i, const std::string& json) {
    return BuildLadderArguments(options.arguments, ladders[i], json);
  };
  pool.done = [&](std::size_t i, const std::string& json) {
    figures[i] = ReadLadderFigures(ladders[i].name, json);
    if (!options.reportPath.empty()) curves[i] = ReadSampledCurves(json);
  };
  const PoolOutcome outcome = RunPooled(options, pool);
  if (!outcome.notes.empty()) err << outcome.notes;
  err << outcome.failures;
  if (system::StopRequested()) {
    err << "zt-sim: interrupted; " << outcome.finished << " of " << ladders.size()
        << " ladders had finished\n";
    return kInterruptedExit;
  }
  if (outcome.failed) return 1;
  const bool wantJson = !options.jsonPath.empty() || !options.reportPath.empty();
  const Modelling modelling{NameModelling(options), CautionOfBars(options, ladders)};
  const std::string json = wantJson ? FormatLadderJson(figures, modelling, ladders) : std::string();
  const std::string input = NameRunInput(options, figures.front().ticks, false);
  const std::string heading = std::to_string(ladders.size()) + " ladders on " + input;
  std::string table = Folded(heading, kPageWidth, "  ") + "\n";
  if (!modelling.prices.empty())
    table += Folded("prices: " + modelling.prices, kPageWidth, "  ") + "\n";
  if (!modelling.caution.empty()) table += Folded(modelling.caution, kPageWidth, "  ") + "\n";
  table += "\n" + FormatLadderTable(figures);
  const int shown = ShowPoolResults(
      options.jsonPath, options.jsonPath.empty() ? std::string() : json, table, out, err);
  if (shown != 0 || options.reportPath.empty()) return shown;
  return WriteReportAndSay(
      options.reportPath,
      [&] { return BuildLaddersPage(DescribeRun(options, heading, input, ladders), json, curves); },
      out, err);
}

}  // namespace zt::sim
