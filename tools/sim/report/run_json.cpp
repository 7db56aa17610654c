#include "report/run_json.h"

#include <cmath>
#include <optional>
#include <ostream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "figures/risk_figures.h"
#include "figures/sampled_curves.h"
#include "market/utc_time.h"
#include "report/run_text.h"

namespace zt::sim {
namespace {

using Json = nlohmann::ordered_json;

// Amounts go into the JSON as whole cents, so a program reading it compares them exactly; an
// amount the run does not have (NaN) is null.
Json Cents(double amount) {
  if (!std::isfinite(amount)) return nullptr;
  return static_cast<std::int64_t>(std::llround(amount * 100.0));
}

Json Cents(const std::optional<double>& amount) { return amount ? Cents(*amount) : Json(nullptr); }

Json CentsList(const std::vector<double>& amounts) {
  Json list = Json::array();
  for (const double amount : amounts) list.push_back(Cents(amount));
  return list;
}

Json EventJson(const HostEvent& event) {
  Json e = {{"tick", event.tick},
            {"time", event.figures.time},
            {"timeText", FormatTime(event.figures.time)},
            {"equity", Cents(event.figures.equity)},
            {"margin", Cents(event.figures.margin)},
            {"freeMargin", Cents(event.figures.freeMargin)},
            {"kind", EventName(event.kind)},
            {"snapshot", Cents(event.snapshot)}};
  if (!event.text.empty()) e[event.kind == EventKind::Email ? "subject" : "alert"] = event.text;
  if (event.kind == EventKind::StopLossClose || event.kind == EventKind::TakeProfitClose) {
    e["closeDurationMs"] = event.closeDurationMs;
    e["equityLeft"] = Cents(event.equityLeft);
  }
  if (event.kind == EventKind::Email) {
    e["emailKind"] = event.emailKind;
    e["body"] = event.body;
  }
  return e;
}

Json CycleJson(const CycleRecord& cycle) {
  return {{"snapshot", Cents(cycle.snapshot)},
          {"drawdown", Cents(cycle.drawdown)},
          {"equityLeft", Cents(cycle.equityLeft)},
          {"close", cycle.stopLoss ? "stop loss" : "take profit"},
          {"closeTime", cycle.closeTime}};
}

Json SummaryJson(const Summary& s) {
  const bool cycles = s.cycles > 0;
  return {{"ticks", s.ticks},
          {"takeProfitCloses", s.takeProfitCloses},
          {"stopLossCloses", s.stopLossCloses},
          {"drawdownSteps", s.drawdownSteps},
          {"increasesPassed", s.increasesPassed},
          {"emails", s.emails},
          {"cycles", s.cycles},
          {"averageDrawdown", cycles ? Cents(s.averageDrawdown) : Json(nullptr)},
          {"medianDrawdown", cycles ? Cents(s.medianDrawdown) : Json(nullptr)},
          {"lowestDrawdown", cycles ? Cents(s.lowestDrawdown) : Json(nullptr)},
          {"startEquity", Cents(s.startEquity)},
          {"finalEquity", Cents(s.finalEquity)},
          {"finalSnapshot", Cents(s.finalSnapshot)}};
}

Json DashboardJson(const Dashboard& panel) {
  Json cells = Json::array();
  const auto addCells = [&cells](const auto& column, int number) {
    for (std::size_t row = 0; row < column.size(); ++row) {
      const DashboardCell& cell = column[row];
      cells.push_back({{"column", number},
                       {"row", row},
                       {"label", cell.label},
                       {"value", cell.hasValue ? Json(cell.value) : Json(nullptr)}});
    }
  };
  addCells(panel.first, 0);
  addCells(panel.second, 1);
  return {{"title", panel.title}, {"cells", cells}};
}

// The ladder the library runs, its amounts in cents.
Json LadderJson(const Ladder& ladder) {
  Json takeProfits = Json::array(), drawdownTargets = Json::array();
  for (const std::vector<double>& set : ladder.takeProfits) takeProfits.push_back(CentsList(set));
  for (const std::vector<double>& set : ladder.drawdownTargets)
    drawdownTargets.push_back(CentsList(set));
  return {{"takeProfits", takeProfits},
          {"drawdownTargets", drawdownTargets},
          {"increaseTargets", CentsList(ladder.increaseTargets)},
          {"stopLosses", CentsList(ladder.stopLosses)}};
}

// The account with the guard beside the same account without it.
Json ComparisonJson(const HostRun& run, const Summary& s, bool brief) {
  Json comparison = {
      {"withGuard",
       {{"endEquity", Cents(s.finalEquity)},
        {"deepestDrawdown", Cents(s.deepestDrawdown)},
        {"takeProfitCloses", s.takeProfitCloses},
        {"stopLossCloses", s.stopLossCloses},
        {"realisedPerCycle", s.cycles > 0 ? Cents(s.realisedPerCycle) : Json(nullptr)}}},
      {"withoutGuard",
       {{"endEquity", Cents(s.unguardedFinalEquity)},
        {"deepestDrawdown", Cents(s.unguardedDeepestDrawdown)}}}};
  if (brief) {
    // From the cycles' amounts in cents, as a program would take them from the full JSON.
    const CycleTally& tally = run.tally;
    const bool none = tally.cycles == 0;
    const auto [lower, upper] = FindMiddleCents(tally.realisedCents, tally.cycles);
    Json& with = comparison["withGuard"];
    with["realisedMedian"] = none ? Json(nullptr) : Json((lower + upper) / 2);
    with["realisedLowest"] = none ? Json(nullptr) : Json(tally.realisedCents.begin()->first);
    with["realisedHighest"] = none ? Json(nullptr) : Json(tally.realisedCents.rbegin()->first);
  }
  return comparison;
}

// Texts from a CSV file may hold bytes that are not UTF-8; they are replaced, never a failure.
std::string Text(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// A long run keeps its latest events and cycles: after their list, a member that says how many
// came before them, when any did (never the document's first member): key "events" gives
// "eventsLeftOut".
void WriteLeftOut(std::ostream& out, const char* key, std::int64_t count) {
  if (count > 0) out << ",\"" << key << "LeftOut\":" << count;
}

// The guard's own figures: its statistics as the panel shows them, and how it started.
Json GuardJson(const HostRun& run, const Dashboard& panel) {
  Json guard = Json::object();
  if (const std::optional<GuardStatistics> statistics =
          ParseGuardStatistics(panel.first.at(kStatisticsRow).value)) {
    guard["snaps"] = statistics->snaps;
    guard["averageDrawdown"] = Cents(statistics->averageDrawdown);
    guard["medianDrawdown"] = Cents(statistics->medianDrawdown);
    guard["lowestDrawdown"] = Cents(statistics->lowestDrawdown);
  }
  guard["startSnapshot"] = Cents(run.startSnapshot);
  guard["initialEquity"] = Cents(run.initialEquity);
  return guard;
}

}  // namespace

std::string ModellingJson(const Modelling& modelling) {
  Json json = {{"prices", modelling.prices}};
  if (!modelling.caution.empty()) json["caution"] = modelling.caution;
  return Text(json);
}

std::string EventJsonText(const HostEvent& event) { return Text(EventJson(event)); }
std::string CycleJsonText(const CycleRecord& cycle) { return Text(CycleJson(cycle)); }

void WriteJson(std::ostream& out, const HostRun& run, const Summary& s, const Dashboard& panel,
               const Ladder& ladder, const Inputs& inputs, bool brief, const RunRisk* risk,
               const Modelling& modelling, const RecordLists* lists) {
  // The document is the compact dump of one object, written a member at a time: the events and
  // cycles of a long run, as one tree of library values, took many times the memory of their text.
  bool first = true;
  const auto member = [&](const char* key) {
    out << (first ? "{\"" : ",\"") << key << "\":";
    first = false;
  };
  // An array of records written an element at a time, or copied from where the run wrote every one
  // of them; then none is left out.
  const auto list = [&](const char* key, const auto& records, const auto& text,
                        const std::function<void(std::ostream&)>& written, std::int64_t leftOut) {
    member(key);
    out << '[';
    if (written) written(out);
    for (std::size_t i = 0; i < records.size() && !written; ++i)
      out << (i > 0 ? "," : "") << text(records[i]);
    out << ']';
    WriteLeftOut(out, key, written ? 0 : leftOut);
  };

  member("units");
  out << Text({{"amounts", "cents"}, {"times", "seconds since 1970, UTC"}});
  Json inputsJson = Json::object();
  for (const auto& [option, value] : inputs) inputsJson[option] = value;
  member("inputs");
  out << Text(inputsJson);
  if (!modelling.prices.empty()) {
    member("modelling");
    out << ModellingJson(modelling);
  }
  member("ladder");
  out << Text(LadderJson(ladder));
  if (!brief) {
    const RecordLists whole = lists != nullptr ? *lists : RecordLists{};
    list("events", run.events, EventJsonText, whole.events, run.eventsLeftOut);
    list("cycles", run.cycles, CycleJsonText, whole.cycles, run.cyclesLeftOut);
  }
  member("summary");
  out << Text(SummaryJson(s));
  if (s.compared) {
    member("comparison");
    out << Text(ComparisonJson(run, s, brief));
  }
  if (risk != nullptr) {
    member("risk");
    out << RunRiskToJson(*risk);
  }
  if (brief) {
    // What a page comparing runs draws of this one: its curves at a few hundred moments.
    member("curve");
    out << Text(CurvesToJson(SampleCurves(run)));
  }
  member("guard");
  out << Text(GuardJson(run, panel));
  member("dashboard");
  out << Text(DashboardJson(panel)) << "}\n";
}

std::string FormatJson(const HostRun& run, const Summary& s, const Dashboard& panel,
                       const Ladder& ladder, const Inputs& inputs, bool brief, const RunRisk* risk,
                       const Modelling& modelling) {
  std::ostringstream out;
  WriteJson(out, run, s, panel, ladder, inputs, brief, risk, modelling);
  return out.str();
}

}  // namespace zt::sim
