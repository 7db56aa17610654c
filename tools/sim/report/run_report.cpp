#include "report/run_report.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <ostream>
#include <sstream>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/limits.h"
#include "figures/sampled_curves.h"
#include "figures/risk_figures.h"
#include "market/utc_time.h"
#include "number_text.h"
#include "text_helpers.h"

namespace zt::sim {
namespace {

// The guard's statistics start over after this many cycles.
constexpr std::int64_t kCycleRing = core::kCycleSlots;

using tools::kPageWidth;
using tools::Money;
using tools::Padded;
using tools::PaddedLeft;

}  // namespace

const char* EventName(EventKind kind) {
  switch (kind) {
    case EventKind::Start: return "start";
    case EventKind::StopLossClose: return "stop loss";
    case EventKind::TakeProfitClose: return "take profit";
    case EventKind::IncreaseReached: return "increase";
    case EventKind::DrawdownStep: return "drawdown step";
    case EventKind::Email: return "e-mail";
  }
  return "?";
}

Summary Summarise(const HostRun& run) {
  Summary s{};
  s.ticks = run.ticks;
  s.takeProfitCloses = EventsOfKind(run, EventKind::TakeProfitClose);
  s.stopLossCloses = EventsOfKind(run, EventKind::StopLossClose);
  s.drawdownSteps = EventsOfKind(run, EventKind::DrawdownStep);
  s.increasesPassed = EventsOfKind(run, EventKind::IncreaseReached);
  s.emails = EventsOfKind(run, EventKind::Email);
  const CycleTally& tally = run.tally;
  s.cycles = tally.cycles;
  if (tally.cycles > 0) {
    s.averageDrawdown = tally.drawdownSum / static_cast<double>(tally.cycles);
    s.lowestDrawdown = tally.lowestDrawdown;
    const auto [lower, upper] = MiddleCents(tally.drawdownCents, tally.cycles);
    s.medianDrawdown = static_cast<double>(lower + upper) / 200.0;
  }
  s.startEquity = run.equity.empty() ? 0.0 : run.equity.front().equity;
  s.finalEquity = run.equity.empty() ? 0.0 : run.equity.back().equity;
  s.finalSnapshot = run.finalSnapshot     ? *run.finalSnapshot
                    : run.levels.empty() ? run.startSnapshot
                                         : run.levels.back().levels.snapshot;
  s.deepestDrawdown = run.deepestDrawdown ? *run.deepestDrawdown : DeepestDrawdown(run.equity);
  s.compared = !run.unguarded.empty();
  if (s.compared) {
    s.unguardedFinalEquity = run.unguarded.back().equity;
    s.unguardedDeepestDrawdown =
        run.unguardedDeepestDrawdown ? *run.unguardedDeepestDrawdown : DeepestDrawdown(run.unguarded);
  }
  s.realisedPerCycle = tally.cycles == 0 ? 0.0 : tally.realisedSum / static_cast<double>(tally.cycles);
  return s;
}

double DeepestDrawdown(const std::vector<EquityPoint>& curve) {
  double peak = -std::numeric_limits<double>::infinity(), deepest = 0.0;
  for (const EquityPoint& point : curve) {
    peak = std::max(peak, point.equity);
    deepest = std::min(deepest, point.equity - peak);
  }
  return deepest;
}

std::optional<GuardStatistics> ParseGuardStatistics(const std::string& text) {
  // "%d / %0.2f / %0.2f / %0.2f", or "0 / - / - / -" before the first full cycle.
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t at = text.find(" / ", start);
    parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) break;
    start = at + 3;
  }
  if (parts.size() != 4) return std::nullopt;
  GuardStatistics statistics{};
  const auto whole = [](const std::string& part, auto& value) {
    const auto result = std::from_chars(part.data(), part.data() + part.size(), value);
    return result.ec == std::errc() && result.ptr == part.data() + part.size();
  };
  if (!whole(parts[0], statistics.snaps)) return std::nullopt;
  std::optional<double>* fields[] = {&statistics.averageDrawdown, &statistics.medianDrawdown,
                                     &statistics.lowestDrawdown};
  for (std::size_t i = 0; i < 3; ++i) {
    if (parts[i + 1] == "-") continue;
    double value = 0.0;
    if (!whole(parts[i + 1], value)) return std::nullopt;
    *fields[i] = value;
  }
  return statistics;
}

std::vector<std::string> Wrapped(const std::string& text, std::size_t width) {
  std::vector<std::string> lines;
  std::string line;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t space = text.find(' ', at);
    const std::string word = text.substr(at, space == std::string::npos ? std::string::npos : space - at);
    at = space == std::string::npos ? text.size() : space + 1;
    if (!line.empty() && line.size() + 1 + word.size() > width) {
      lines.push_back(line);
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
  }
  if (!line.empty() || lines.empty()) lines.push_back(line);
  return lines;
}

namespace {

constexpr std::size_t kTextColumn = 55;   // where an event's alert or e-mail text starts

}  // namespace

std::string FormatEvent(const HostEvent& event) {
  std::string line = PaddedLeft(std::to_string(event.tick), 7) + "  " + FormatTime(event.figures.time) +
                     "  " + PaddedLeft(Money(event.figures.equity), 10) + "  " +
                     Padded(EventName(event.kind), 14) + "  ";
  const std::string indent(kTextColumn, ' ');
  const std::string text = event.kind == EventKind::Start ? "snapshot " + Money(event.snapshot) : event.text;
  const std::vector<std::string> first = Wrapped(text, kPageWidth - kTextColumn);
  for (std::size_t i = 0; i < first.size(); ++i) line += (i == 0 ? "" : "\n" + indent) + first[i];
  for (const std::string& body : event.body) {
    for (const std::string& part : Wrapped(body, kPageWidth - kTextColumn)) line += "\n" + indent + part;
  }
  return line;
}

std::string FormatLog(const HostRun& run, std::size_t tail) {
  std::string out = PaddedLeft("tick", 7) + "  " + Padded("time (UTC)", 16) + "  " +
                    PaddedLeft("equity", 10) + "  " + Padded("decision", 14) + "  alert / e-mail\n";
  const std::size_t first = tail == 0 || tail >= run.events.size() ? 0 : run.events.size() - tail;
  const std::int64_t earlier = static_cast<std::int64_t>(first) + run.eventsLeftOut;
  if (earlier > 0) out += PaddedLeft("...", 7) + "  (" + std::to_string(earlier) + " earlier events)\n";
  for (std::size_t i = first; i < run.events.size(); ++i) out += FormatEvent(run.events[i]) + "\n";
  return out;
}

std::string FormatDashboard(const Dashboard& panel) {
  // Rows of the terminal's panel that hold neither label nor value stay blank lines there; here
  // only rows with something in either column are printed: side by side as on the chart when
  // they fit the page, else the second column under the first.
  std::size_t firstLabel = 0, firstValue = 0, secondLabel = 0, secondValue = 0;
  for (const DashboardCell& cell : panel.first) {
    firstLabel = std::max(firstLabel, cell.label.size());
    firstValue = std::max(firstValue, cell.value.size());
  }
  for (const DashboardCell& cell : panel.second) {
    secondLabel = std::max(secondLabel, cell.label.size());
    secondValue = std::max(secondValue, cell.value.size());
  }
  const bool sideBySide = 2 + firstLabel + 2 + firstValue + 5 + secondLabel + 2 + secondValue <= kPageWidth;
  const auto empty = [](const DashboardCell* cell) {
    return cell == nullptr || (cell->label.empty() && cell->value.empty());
  };
  const auto trimmed = [](std::string line) {
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line + "\n";
  };
  std::string out = panel.title + "\n", below;
  for (std::size_t row = 1; row < panel.first.size(); ++row) {
    const DashboardCell& left = panel.first[row];
    const DashboardCell* right = row < panel.second.size() ? &panel.second[row] : nullptr;
    if (!sideBySide) {
      if (!empty(&left)) out += trimmed("  " + Padded(left.label, firstLabel) + "  " + left.value);
      if (!empty(right)) below += trimmed("  " + Padded(right->label, secondLabel) + "  " + right->value);
      continue;
    }
    if (empty(&left) && empty(right)) continue;
    std::string line = "  " + Padded(left.label, firstLabel) + "  " + Padded(left.value, firstValue);
    if (!empty(right)) line += "  |  " + Padded(right->label, secondLabel) + "  " + right->value;
    out += trimmed(line);
  }
  return below.empty() ? out : out + "\n" + below;
}

std::string FormatSummary(const Summary& s, const Dashboard& panel) {
  std::string out;
  const auto row = [&out](const std::string& label, const std::string& value) {
    out += "  " + Padded(label, 40) + value + "\n";
  };
  row("ticks", std::to_string(s.ticks));
  row("closes on take profit", std::to_string(s.takeProfitCloses));
  row("closes on stop loss", std::to_string(s.stopLossCloses));
  row("drawdown targets passed", std::to_string(s.drawdownSteps));
  row("increase targets passed", std::to_string(s.increasesPassed));
  row("e-mails", std::to_string(s.emails));
  row("cycles", std::to_string(s.cycles));
  if (s.cycles > 0) {
    row("cycle drawdown avg / med / low",
        Money(s.averageDrawdown) + " / " + Money(s.medianDrawdown) + " / " + Money(s.lowestDrawdown));
  } else {
    row("cycle drawdown avg / med / low", "- / - / -");
  }
  const DashboardCell& statistics = panel.first.at(kStatisticsRow);
  row("guard: " + statistics.label, statistics.hasValue ? statistics.value : "(no value)");
  if (s.cycles >= kCycleRing) {
    row("", "(the guard counts since its " + std::to_string(kCycleRing) + "-cycle ring last wrapped)");
  }
  row("equity start / end", Money(s.startEquity) + " / " + Money(s.finalEquity) + " (" +
                                Money(s.finalEquity - s.startEquity) + ")");
  row("snapshot at the end", Money(s.finalSnapshot));
  if (s.compared) {
    out += "\n  " + Padded("guard against no guard", 40) + Padded("with the guard", 16) + "without\n";
    const auto pair = [&row](const std::string& label, const std::string& with, const std::string& without) {
      row(label, Padded(with, 16) + without);
    };
    pair("end equity", Money(s.finalEquity), Money(s.unguardedFinalEquity));
    pair("deepest drawdown from a peak", Money(s.deepestDrawdown), Money(s.unguardedDeepestDrawdown));
    pair("closes on take profit / stop loss",
         std::to_string(s.takeProfitCloses) + " / " + std::to_string(s.stopLossCloses), "0 / 0");
    pair("realised per cycle", s.cycles > 0 ? Money(s.realisedPerCycle) : "-", "-");
  }
  return out;
}

std::string Folded(const std::string& text, std::size_t width, const std::string& indent) {
  if (text.size() <= width) return text;
  // Pieces that each end just after a break character.
  std::vector<std::string> pieces;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ' ' || text[i] == ',' || text[i] == '/' || i + 1 == text.size()) {
      pieces.push_back(text.substr(start, i + 1 - start));
      start = i + 1;
    }
  }
  const auto withoutTrailingSpaces = [](std::string line) {
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
  };
  std::string out, line;
  bool content = false;  // line holds more than its indent
  for (std::string piece : pieces) {
    if (content && withoutTrailingSpaces(line + piece).size() > width) {
      out += withoutTrailingSpaces(line) + "\n";
      line = indent;
      content = false;
      piece.erase(0, std::min(piece.find_first_not_of(' '), piece.size()));
    }
    // A piece longer than a whole line is cut where the line ends.
    while (line.size() < width && withoutTrailingSpaces(line + piece).size() > width) {
      const std::size_t rest = width - line.size();
      out += line + piece.substr(0, rest) + "\n";
      piece.erase(0, rest);
      line = indent;
    }
    line += piece;
    content = true;
  }
  return out + withoutTrailingSpaces(line);
}

std::string FormatLadder(const Ladder& ladder) {
  std::string out;
  const auto row = [&out](const char* label, const std::string& value) {
    const std::string head = std::string(out.empty() ? "ladder  " : "        ") + Padded(label, 18);
    if (head.size() + value.size() <= kPageWidth) {
      out += head + value + "\n";
      return;
    }
    // Sets side by side while they fit, "|" ending a line that has more after it; a set wider
    // than a line is broken after a comma.
    const std::string indent(head.size(), ' ');
    std::vector<std::string> sets;
    for (std::size_t start = 0;;) {
      const std::size_t bar = value.find(" | ", start);
      sets.push_back(value.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
      if (bar == std::string::npos) break;
      start = bar + 3;
    }
    std::string line = head;
    bool content = false;
    for (std::size_t i = 0; i < sets.size(); ++i) {
      const std::string piece = sets[i] + (i + 1 < sets.size() ? " |" : "");
      if (content && line.size() + 1 + piece.size() > kPageWidth) {
        out += line + "\n";
        line = indent;
        content = false;
      }
      if (!content && line.size() + piece.size() > kPageWidth) {
        const std::string folded = Folded(line + piece, kPageWidth, indent);
        const std::size_t lastBreak = folded.rfind('\n');
        out += folded.substr(0, lastBreak + 1);
        line = folded.substr(lastBreak + 1);
      } else {
        line += (content ? " " : "") + piece;
      }
      content = true;
    }
    out += line + "\n";
  };
  row("take profits", FormatSets(ladder.takeProfits));
  row("drawdown targets", FormatSets(ladder.drawdownTargets));
  row("increase targets", FormatList(ladder.increaseTargets));
  row("stop losses", FormatList(ladder.stopLosses));
  return out;
}

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
  for (const std::vector<double>& set : ladder.drawdownTargets) drawdownTargets.push_back(CentsList(set));
  return {{"takeProfits", takeProfits},
          {"drawdownTargets", drawdownTargets},
          {"increaseTargets", CentsList(ladder.increaseTargets)},
          {"stopLosses", CentsList(ladder.stopLosses)}};
}

// The account with the guard beside the same account without it.
Json ComparisonJson(const HostRun& run, const Summary& s, bool brief) {
  Json comparison = {
      {"withGuard", {{"endEquity", Cents(s.finalEquity)}, {"deepestDrawdown", Cents(s.deepestDrawdown)},
                     {"takeProfitCloses", s.takeProfitCloses}, {"stopLossCloses", s.stopLossCloses},
                     {"realisedPerCycle", s.cycles > 0 ? Cents(s.realisedPerCycle) : Json(nullptr)}}},
      {"withoutGuard", {{"endEquity", Cents(s.unguardedFinalEquity)},
                        {"deepestDrawdown", Cents(s.unguardedDeepestDrawdown)}}}};
  if (brief) {
    // From the cycles' amounts in cents, as a program would take them from the full JSON.
    const CycleTally& tally = run.tally;
    const bool none = tally.cycles == 0;
    const auto [lower, upper] = MiddleCents(tally.realisedCents, tally.cycles);
    Json& with = comparison["withGuard"];
    with["realisedMedian"] = none ? Json(nullptr) : Json((lower + upper) / 2);
    with["realisedLowest"] = none ? Json(nullptr) : Json(tally.realisedCents.begin()->first);
    with["realisedHighest"] = none ? Json(nullptr) : Json(tally.realisedCents.rbegin()->first);
  }
  return comparison;
}

// The guard's own figures: its statistics as the panel shows them, and how it started.
Json GuardJson(const HostRun& run, const Dashboard& panel) {
  Json guard = Json::object();
  if (const std::optional<GuardStatistics> statistics = ParseGuardStatistics(panel.first.at(kStatisticsRow).value)) {
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

void WriteJson(std::ostream& out, const HostRun& run, const Summary& s, const Dashboard& panel, const Ladder& ladder,
               const Inputs& inputs, bool brief, const RunRisk* risk) {
  // Texts from a CSV file may hold bytes that are not UTF-8; they are replaced, never a failure.
  const auto text = [](const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); };
  // The document is the compact dump of one object, written a member at a time: the events and
  // cycles of a long run, as one tree of library values, took many times the memory of their text.
  bool first = true;
  const auto member = [&](const char* key) {
    out << (first ? "{\"" : ",\"") << key << "\":";
    first = false;
  };
  // An array written an element at a time.
  const auto list = [&](const char* key, std::size_t count, const auto& element) {
    member(key);
    out << '[';
    for (std::size_t i = 0; i < count; ++i) out << (i > 0 ? "," : "") << text(element(i));
    out << ']';
  };

  member("units");
  out << text({{"amounts", "cents"}, {"times", "seconds since 1970, UTC"}});
  Json inputsJson = Json::object();
  for (const auto& [option, value] : inputs) inputsJson[option] = value;
  member("inputs");
  out << text(inputsJson);
  member("ladder");
  out << text(LadderJson(ladder));
  if (!brief) {
    list("events", run.events.size(), [&](std::size_t i) { return EventJson(run.events[i]); });
    list("cycles", run.cycles.size(), [&](std::size_t i) {
      const CycleRecord& cycle = run.cycles[i];
      return Json{{"snapshot", Cents(cycle.snapshot)},
                  {"drawdown", Cents(cycle.drawdown)},
                  {"equityLeft", Cents(cycle.equityLeft)},
                  {"close", cycle.stopLoss ? "stop loss" : "take profit"},
                  {"closeTime", cycle.closeTime}};
    });
  }
  member("summary");
  out << text(SummaryJson(s));
  if (s.compared) {
    member("comparison");
    out << text(ComparisonJson(run, s, brief));
  }
  if (risk != nullptr) {
    member("risk");
    out << RunRiskJson(*risk);
  }
  if (brief) {
    // What a page comparing runs draws of this one: its curves at a few hundred moments.
    member("curve");
    out << text(SampledCurvesJson(SampleCurves(run)));
  }
  member("guard");
  out << text(GuardJson(run, panel));
  member("dashboard");
  out << text(DashboardJson(panel)) << "}\n";
}

std::string FormatJson(const HostRun& run, const Summary& s, const Dashboard& panel, const Ladder& ladder,
                       const Inputs& inputs, bool brief, const RunRisk* risk) {
  std::ostringstream out;
  WriteJson(out, run, s, panel, ladder, inputs, brief, risk);
  return out.str();
}

}  // namespace zt::sim
