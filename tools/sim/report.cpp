#include "report.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

#include "csv_input.h"

namespace zt::sim {
namespace {

constexpr std::int64_t kCycleRing = 512;  // the guard's statistics start over after this many cycles

std::string Padded(std::string text, std::size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

std::string PaddedLeft(const std::string& text, std::size_t width) {
  return text.size() < width ? std::string(width - text.size(), ' ') + text : text;
}

std::string JsonText(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
          out += escape;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

// Shortest text that reads back as the same double; null for NaN and infinities.
std::string JsonNumber(double value) {
  if (!std::isfinite(value)) return "null";
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string JsonNumber(std::int64_t value) { return std::to_string(value); }

std::string JsonOptional(const std::optional<double>& value) {
  return value ? JsonNumber(*value) : "null";
}

// Builds one JSON object member by member.
struct JsonObject {
  std::string text = "{";
  void Add(const std::string& name, const std::string& json) {
    if (text.size() > 1) text += ",";
    text += JsonText(name) + ":" + json;
  }
  std::string Done() { return text + "}"; }
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) * 0.5;
}

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

std::string Money(double amount) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.2f", amount);
  return buffer;
}

Summary Summarise(const HostRun& run) {
  Summary s{};
  s.ticks = run.ticks;
  for (const HostEvent& event : run.events) {
    switch (event.kind) {
      case EventKind::TakeProfitClose: ++s.takeProfitCloses; break;
      case EventKind::StopLossClose: ++s.stopLossCloses; break;
      case EventKind::DrawdownStep: ++s.drawdownSteps; break;
      case EventKind::IncreaseReached: ++s.increasesPassed; break;
      case EventKind::Email: ++s.emails; break;
      case EventKind::Start: break;
    }
  }
  s.cycles = static_cast<std::int64_t>(run.cycles.size());
  if (!run.cycles.empty()) {
    std::vector<double> drawdowns;
    double sum = 0.0;
    for (const CycleRecord& cycle : run.cycles) {
      drawdowns.push_back(cycle.drawdown);
      sum += cycle.drawdown;
    }
    s.averageDrawdown = sum / static_cast<double>(drawdowns.size());
    s.lowestDrawdown = *std::min_element(drawdowns.begin(), drawdowns.end());
    s.medianDrawdown = Median(std::move(drawdowns));
  }
  s.startEquity = run.equity.empty() ? 0.0 : run.equity.front().equity;
  s.finalEquity = run.equity.empty() ? 0.0 : run.equity.back().equity;
  s.finalSnapshot = run.levels.empty() ? run.startSnapshot : run.levels.back().levels.snapshot;
  return s;
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

std::string FormatEvent(const HostEvent& event) {
  std::string line = PaddedLeft(std::to_string(event.tick), 7) + "  " + FormatTime(event.figures.time) +
                     "  " + PaddedLeft(Money(event.figures.equity), 10) + "  " +
                     Padded(EventName(event.kind), 14) + "  ";
  if (event.kind == EventKind::Start) {
    line += "snapshot " + Money(event.snapshot);
  } else {
    line += event.text;
  }
  for (const std::string& body : event.body) line += "\n" + std::string(55, ' ') + body;
  return line;
}

std::string FormatLog(const HostRun& run, std::size_t tail) {
  std::string out = PaddedLeft("tick", 7) + "  " + Padded("time (UTC)", 16) + "  " +
                    PaddedLeft("equity", 10) + "  " + Padded("decision", 14) + "  alert / e-mail\n";
  const std::size_t first = tail == 0 || tail >= run.events.size() ? 0 : run.events.size() - tail;
  if (first > 0) out += PaddedLeft("...", 7) + "  (" + std::to_string(first) + " earlier events)\n";
  for (std::size_t i = first; i < run.events.size(); ++i) out += FormatEvent(run.events[i]) + "\n";
  return out;
}

std::string FormatDashboard(const Dashboard& panel) {
  // Rows of the terminal's panel that hold neither label nor value stay blank lines there; here
  // only rows with something in either column are printed.
  std::size_t firstLabel = 0, firstValue = 0, secondLabel = 0;
  for (const DashboardCell& cell : panel.first) {
    firstLabel = std::max(firstLabel, cell.label.size());
    firstValue = std::max(firstValue, cell.value.size());
  }
  for (const DashboardCell& cell : panel.second) secondLabel = std::max(secondLabel, cell.label.size());
  std::string out = panel.title + "\n";
  for (std::size_t row = 1; row < panel.first.size(); ++row) {
    const DashboardCell& left = panel.first[row];
    const DashboardCell* right = row < panel.second.size() ? &panel.second[row] : nullptr;
    const bool leftEmpty = left.label.empty() && left.value.empty();
    const bool rightEmpty = right == nullptr || (right->label.empty() && right->value.empty());
    if (leftEmpty && rightEmpty) continue;
    std::string line = "  " + Padded(left.label, firstLabel) + "  " + Padded(left.value, firstValue);
    if (!rightEmpty) line += "  |  " + Padded(right->label, secondLabel) + "  " + right->value;
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out += line + "\n";
  }
  return out;
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
    row("", "(the guard counts cycles since its " + std::to_string(kCycleRing) + "-cycle ring last wrapped)");
  }
  row("equity start / end", Money(s.startEquity) + " / " + Money(s.finalEquity) + " (" +
                                Money(s.finalEquity - s.startEquity) + ")");
  row("snapshot at the end", Money(s.finalSnapshot));
  return out;
}

std::string FormatLadder(const Ladder& ladder) {
  std::string out;
  const auto row = [&out](const char* label, const std::string& value) {
    out += std::string(out.empty() ? "ladder  " : "        ") + Padded(label, 18) + value + "\n";
  };
  row("take profits", FormatSets(ladder.takeProfits));
  row("drawdown targets", FormatSets(ladder.drawdownTargets));
  row("increase targets", FormatList(ladder.increaseTargets));
  row("stop losses", FormatList(ladder.stopLosses));
  return out;
}

namespace {

std::string JsonAmounts(const std::vector<double>& amounts) {
  std::string out = "[";
  for (const double amount : amounts) out += (out.size() > 1 ? "," : "") + JsonNumber(amount);
  return out + "]";
}

std::string JsonSets(const AmountSets& sets) {
  std::string out = "[";
  for (const std::vector<double>& set : sets) out += (out.size() > 1 ? "," : "") + JsonAmounts(set);
  return out + "]";
}

}  // namespace

std::string FormatJson(const HostRun& run, const Summary& s, const Dashboard& panel, const Ladder& ladder,
                       const Inputs& inputs) {
  std::string events = "[";
  for (const HostEvent& event : run.events) {
    JsonObject e;
    e.Add("tick", JsonNumber(event.tick));
    e.Add("time", JsonNumber(event.figures.time));
    e.Add("timeText", JsonText(FormatTime(event.figures.time)));
    e.Add("equity", JsonNumber(event.figures.equity));
    e.Add("margin", JsonNumber(event.figures.margin));
    e.Add("freeMargin", JsonNumber(event.figures.freeMargin));
    e.Add("kind", JsonText(EventName(event.kind)));
    e.Add("snapshot", JsonNumber(event.snapshot));
    if (!event.text.empty()) e.Add(event.kind == EventKind::Email ? "subject" : "alert", JsonText(event.text));
    if (event.kind == EventKind::StopLossClose || event.kind == EventKind::TakeProfitClose) {
      e.Add("closeDurationMs", JsonNumber(std::int64_t{event.closeDurationMs}));
      e.Add("equityLeft", JsonNumber(event.equityLeft));
    }
    if (event.kind == EventKind::Email) {
      e.Add("emailKind", JsonNumber(std::int64_t{event.emailKind}));
      std::string body = "[";
      for (const std::string& line : event.body) {
        if (body.size() > 1) body += ',';
        body += JsonText(line);
      }
      e.Add("body", body + "]");
    }
    // Appended piece by piece rather than as `"," + text`: GCC 12 at -O3 warns -Wrestrict about
    // that form from inside libstdc++ (a false positive), which breaks warnings-as-errors builds.
    if (events.size() > 1) events += ',';
    events += e.Done();
  }
  std::string cycles = "[";
  for (const CycleRecord& cycle : run.cycles) {
    JsonObject c;
    c.Add("snapshot", JsonNumber(cycle.snapshot));
    c.Add("drawdown", JsonNumber(cycle.drawdown));
    c.Add("equityLeft", JsonNumber(cycle.equityLeft));
    c.Add("close", JsonText(cycle.stopLoss ? "stop loss" : "take profit"));
    c.Add("closeTime", JsonNumber(cycle.closeTime));
    if (cycles.size() > 1) cycles += ',';
    cycles += c.Done();
  }
  JsonObject summary;
  summary.Add("ticks", JsonNumber(s.ticks));
  summary.Add("takeProfitCloses", JsonNumber(s.takeProfitCloses));
  summary.Add("stopLossCloses", JsonNumber(s.stopLossCloses));
  summary.Add("drawdownSteps", JsonNumber(s.drawdownSteps));
  summary.Add("increasesPassed", JsonNumber(s.increasesPassed));
  summary.Add("emails", JsonNumber(s.emails));
  summary.Add("cycles", JsonNumber(s.cycles));
  summary.Add("averageDrawdown", s.cycles > 0 ? JsonNumber(s.averageDrawdown) : "null");
  summary.Add("medianDrawdown", s.cycles > 0 ? JsonNumber(s.medianDrawdown) : "null");
  summary.Add("lowestDrawdown", s.cycles > 0 ? JsonNumber(s.lowestDrawdown) : "null");
  summary.Add("startEquity", JsonNumber(s.startEquity));
  summary.Add("finalEquity", JsonNumber(s.finalEquity));
  summary.Add("finalSnapshot", JsonNumber(s.finalSnapshot));

  JsonObject guard;
  const DashboardCell& statisticsCell = panel.first.at(kStatisticsRow);
  if (const std::optional<GuardStatistics> statistics = ParseGuardStatistics(statisticsCell.value)) {
    guard.Add("snaps", JsonNumber(std::int64_t{statistics->snaps}));
    guard.Add("averageDrawdown", JsonOptional(statistics->averageDrawdown));
    guard.Add("medianDrawdown", JsonOptional(statistics->medianDrawdown));
    guard.Add("lowestDrawdown", JsonOptional(statistics->lowestDrawdown));
  }
  guard.Add("startSnapshot", JsonNumber(run.startSnapshot));
  guard.Add("initialEquity", JsonNumber(run.initialEquity));

  std::string cells = "[";
  const auto addCells = [&cells](const auto& column, int number) {
    for (std::size_t row = 0; row < column.size(); ++row) {
      const DashboardCell& cell = column[row];
      JsonObject c;
      c.Add("column", JsonNumber(std::int64_t{number}));
      c.Add("row", JsonNumber(static_cast<std::int64_t>(row)));
      c.Add("label", JsonText(cell.label));
      c.Add("value", cell.hasValue ? JsonText(cell.value) : "null");
      if (cells.size() > 1) cells += ',';
      cells += c.Done();
    }
  };
  addCells(panel.first, 0);
  addCells(panel.second, 1);
  JsonObject dashboard;
  dashboard.Add("title", JsonText(panel.title));
  dashboard.Add("cells", cells + "]");

  JsonObject ladderJson;
  ladderJson.Add("takeProfits", JsonSets(ladder.takeProfits));
  ladderJson.Add("drawdownTargets", JsonSets(ladder.drawdownTargets));
  ladderJson.Add("increaseTargets", JsonAmounts(ladder.increaseTargets));
  ladderJson.Add("stopLosses", JsonAmounts(ladder.stopLosses));
  JsonObject inputsJson;
  for (const auto& [option, value] : inputs) inputsJson.Add(option, JsonText(value));

  JsonObject all;
  all.Add("inputs", inputsJson.Done());
  all.Add("ladder", ladderJson.Done());
  all.Add("events", events + "]");
  all.Add("cycles", cycles + "]");
  all.Add("summary", summary.Done());
  all.Add("guard", guard.Done());
  all.Add("dashboard", dashboard.Done());
  return all.Done() + "\n";
}

}  // namespace zt::sim
