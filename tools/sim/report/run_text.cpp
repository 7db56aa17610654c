#include "report/run_text.h"

#include <algorithm>
#include <cstdint>

#include "core/limits.h"
#include "figures/risk_figures.h"
#include "market/utc_time.h"
#include "number_text.h"
#include "text_helpers.h"

namespace zt::sim {
namespace {

// The guard's statistics start over after this many cycles.
constexpr std::int64_t kCycleRing = core::kCycleSlots;
constexpr std::size_t kTextColumn = 55;  // where an event's alert or e-mail text starts

using tools::kPageWidth;
using tools::Money;
using tools::Padded;
using tools::PaddedLeft;

// The broker's stop-outs and each kind of cost the market knows, as rows of label, the account
// with the guard and (compared) the one without it.
std::string BrokerAndCosts(const RunRisk& risk, bool compared, bool costsInDeals) {
  std::string out;
  const auto row = [&out, compared](const std::string& label, const std::string& with,
                                    const std::string& without) {
    out += "  " + Padded(label, 40) + (compared ? Padded(with, 16) + without : with) + "\n";
  };
  const AccountRisk &g = risk.guarded, &u = risk.unguarded;
  if (g.stopOutCloses || u.stopOutCloses) {
    const auto count = [](const std::optional<std::int64_t>& n) {
      return n ? std::to_string(*n) : std::string("-");
    };
    row("positions the broker stopped out", count(g.stopOutCloses), count(u.stopOutCloses));
  }
  const auto amount = [](const std::optional<double>& a) { return a ? Money(*a) : "-"; };
  for (const auto& [label, kind] : {std::pair{"costs: spread", &CostsPaid::spread},
                                    {"costs: commission", &CostsPaid::commission},
                                    {"costs: swap", &CostsPaid::swap},
                                    {"costs: close-alls", &CostsPaid::closes}}) {
    const bool inDeals = costsInDeals && kind != &CostsPaid::spread && kind != &CostsPaid::closes;
    if (inDeals)
      row(label, "-", "-");
    else if (g.costs.*kind || u.costs.*kind)
      row(label, amount(g.costs.*kind), amount(u.costs.*kind));
  }
  row("costs in all", Money(g.costs.Total()), Money(u.costs.Total()));
  if (costsInDeals) out += "  (a deal list's commission and swap are in its deals' profits)\n";
  return out;
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

std::vector<std::string> Wrapped(const std::string& text, std::size_t width) {
  std::vector<std::string> lines;
  std::string line;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t space = text.find(' ', at);
    const std::string word =
        text.substr(at, space == std::string::npos ? std::string::npos : space - at);
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

std::string FormatEvent(const HostEvent& event) {
  std::string line =
      PaddedLeft(std::to_string(event.tick), 7) + "  " + FormatTime(event.figures.time) + "  " +
      PaddedLeft(Money(event.figures.equity), 10) + "  " + Padded(EventName(event.kind), 14) + "  ";
  const std::string indent(kTextColumn, ' ');
  const std::string text =
      event.kind == EventKind::Start ? "snapshot " + Money(event.snapshot) : event.text;
  const std::vector<std::string> first = Wrapped(text, kPageWidth - kTextColumn);
  for (std::size_t i = 0; i < first.size(); ++i) line += (i == 0 ? "" : "\n" + indent) + first[i];
  for (const std::string& body : event.body) {
    for (const std::string& part : Wrapped(body, kPageWidth - kTextColumn))
      line += "\n" + indent + part;
  }
  return line;
}

std::string FormatLog(const HostRun& run, std::size_t tail) {
  std::string out = PaddedLeft("tick", 7) + "  " + Padded("time (UTC)", 16) + "  " +
                    PaddedLeft("equity", 10) + "  " + Padded("decision", 14) + "  alert / e-mail\n";
  const std::size_t first = tail == 0 || tail >= run.events.size() ? 0 : run.events.size() - tail;
  const std::int64_t earlier = static_cast<std::int64_t>(first) + run.eventsLeftOut;
  if (earlier > 0)
    out += PaddedLeft("...", 7) + "  (" + std::to_string(earlier) + " earlier events)\n";
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
  const bool sideBySide =
      2 + firstLabel + 2 + firstValue + 5 + secondLabel + 2 + secondValue <= kPageWidth;
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
      if (!empty(right))
        below += trimmed("  " + Padded(right->label, secondLabel) + "  " + right->value);
      continue;
    }
    if (empty(&left) && empty(right)) continue;
    std::string line =
        "  " + Padded(left.label, firstLabel) + "  " + Padded(left.value, firstValue);
    if (!empty(right)) line += "  |  " + Padded(right->label, secondLabel) + "  " + right->value;
    out += trimmed(line);
  }
  return below.empty() ? out : out + "\n" + below;
}

std::string FormatSummary(const Summary& s, const Dashboard& panel, const RunRisk* risk,
                          bool costsInDeals) {
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
    row("cycle drawdown avg / med / low", Money(s.averageDrawdown) + " / " +
                                              Money(s.medianDrawdown) + " / " +
                                              Money(s.lowestDrawdown));
  } else {
    row("cycle drawdown avg / med / low", "- / - / -");
  }
  const DashboardCell& statistics = panel.first.at(kStatisticsRow);
  row("guard: " + statistics.label, statistics.hasValue ? statistics.value : "(no value)");
  if (s.cycles >= kCycleRing) {
    row("",
        "(the guard counts since its " + std::to_string(kCycleRing) + "-cycle ring last wrapped)");
  }
  row("equity start / end", Money(s.startEquity) + " / " + Money(s.finalEquity) + " (" +
                                Money(s.finalEquity - s.startEquity) + ")");
  row("snapshot at the end", Money(s.finalSnapshot));
  if (s.compared) {
    out +=
        "\n  " + Padded("guard against no guard", 40) + Padded("with the guard", 16) + "without\n";
    const auto pair = [&row](const std::string& label, const std::string& with,
                             const std::string& without) {
      row(label, Padded(with, 16) + without);
    };
    pair("end equity", Money(s.finalEquity), Money(s.unguardedFinalEquity));
    pair("deepest drawdown from a peak", Money(s.deepestDrawdown),
         Money(s.unguardedDeepestDrawdown));
    pair("closes on take profit / stop loss",
         std::to_string(s.takeProfitCloses) + " / " + std::to_string(s.stopLossCloses), "0 / 0");
    pair("realised per cycle", s.cycles > 0 ? Money(s.realisedPerCycle) : "-", "-");
  }
  if (risk != nullptr)
    out += (s.compared ? "" : "\n") + BrokerAndCosts(*risk, s.compared, costsInDeals);
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
      sets.push_back(
          value.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
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

}  // namespace zt::sim
