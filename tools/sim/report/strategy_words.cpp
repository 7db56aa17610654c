#include "report/strategy_words.h"

#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

#include "number_text.h"

namespace zt::sim {
namespace {

// The units of the options a trader reads on the page, by the option's name or its strategy's
// own part of it ("grid-step": "step"). A unit that leads ("1:") is written before the value.
const std::vector<std::pair<std::string, std::string>>& Units() {
  static const std::vector<std::pair<std::string, std::string>> units = {
      {"step", " points"},
      {"take-profit", " points"},
      {"stop", " points"},
      {"lots", " lots"},
      {"max-lots", " lots"},
      {"multiplier", "x"},
      {"reentry-delay", " s"},
      {"bar-minutes", " min"},
      {"fast", " bars"},
      {"slow", " bars"},
      {"spread", " points"},
      {"commission", " per lot and side"},
      {"swap-long", " per lot and night"},
      {"swap-short", " per lot and night"},
      {"stop-out", " % margin level"},
      {"leverage", "1:"},
      {"contract-size", " units a lot"},
      {"close-cost", " per close-all"},
      {"tick-seconds", " s between ticks"},
      {"bar-ticks", " ticks a bar"},
      {"annual-volatility", " a year"},
      {"chance", " a tick"},
      {"max-open", " positions"},
      {"levels", " levels"},
      {"doublings", " in a row"},
  };
  return units;
}

double NumberOf(const RunRecord& record, const std::string& name) {
  return std::strtod(record.TextOf(name).c_str(), nullptr);
}

std::string Lots(double lots) {
  std::string text = tools::Number(std::round(lots * 100.0) / 100.0);
  return text + (text == "1" ? " lot" : " lots");
}

std::string SayGrid(const RunRecord& r) {
  const double lots = NumberOf(r, "grid-lots"), multiplier = NumberOf(r, "grid-multiplier");
  const long levels = std::lround(NumberOf(r, "grid-levels"));
  double last = lots, all = 0.0;
  for (long i = 0; i < levels; ++i) {
    all += last;
    if (i + 1 < levels) last *= multiplier;
  }
  const std::string growth = multiplier == 2.0   ? "doubled"
                             : multiplier == 1.0 ? "the same"
                                                 : "times " + r.TextOf("grid-multiplier");
  const std::string directions = r.TextOf("grid-directions");
  return std::string(multiplier > 1.0 ? "martingale grid" : "grid") + ": " + Lots(lots) +
         " at the first level, " + growth + " at each level opened every " + r.TextOf("grid-step") +
         " points against the newest, up to " + std::to_string(levels) + " levels " +
         (directions == "both" ? "a direction (buys and sells)" : "of " + directions + "s") +
         " = " + Lots(last) + " at the last, " + Lots(all) +
         " in all; a direction's basket closes " + r.TextOf("grid-take-profit") +
         " points past its average open price";
}

std::string SayMartingale(const RunRecord& r) {
  return "martingale: one trade at a time of " + Lots(NumberOf(r, "martingale-lots")) +
         ", closed " + r.TextOf("martingale-stop") + " points against it or " +
         r.TextOf("martingale-take-profit") + " points in its favour; after a loss the next " +
         "trade's lots times " + r.TextOf("martingale-multiplier") + ", up to " +
         r.TextOf("martingale-doublings") + " times in a row and " +
         Lots(NumberOf(r, "martingale-max-lots")) +
         " (direction: " + r.TextOf("martingale-direction") + ")";
}

std::string SayTrend(const RunRecord& r) {
  return "trend follower: " + Lots(NumberOf(r, "trend-lots")) + " turned at each cross of the " +
         r.TextOf("trend-fast") + "- and " + r.TextOf("trend-slow") + "-bar averages of " +
         r.TextOf("trend-bar-minutes") + "-minute closes, closed " + r.TextOf("trend-stop") +
         " points against it";
}

std::string SayRandom(const RunRecord& r) {
  return "random entries: " + Lots(NumberOf(r, "random-lots")) + " bought or sold at a chance of " +
         r.TextOf("random-chance") + " a tick, closed " + r.TextOf("random-stop") +
         " points against it or " + r.TextOf("random-take-profit") +
         " points in its favour, at most " + r.TextOf("random-max-open") + " open";
}

}  // namespace

std::string SayStrategy(const RunRecord& record, const std::string& strategy) {
  std::string words = strategy == "grid"         ? SayGrid(record)
                      : strategy == "martingale" ? SayMartingale(record)
                      : strategy == "trend"      ? SayTrend(record)
                      : strategy == "random"     ? SayRandom(record)
                                                 : std::string();
  if (words.empty()) return words;
  const std::string delay = record.TextOf("reentry-delay");
  if (!delay.empty() && delay != "0")
    words += "; trading again " + delay + " s after the guard's close-all";
  return words + ".";
}

std::string WithUnit(const std::string& name, const std::string& text) {
  if (name == "bar-ticks" && text == "0") return "0 (each bar's tick volume)";
  for (const auto& [key, unit] : Units()) {
    const bool own = name.size() > key.size() &&
                     name.compare(name.size() - key.size(), key.size(), key) == 0 &&
                     name[name.size() - key.size() - 1] == '-';
    if (name != key && !own) continue;
    if (unit == "1:") return unit + text;
    return text + unit;
  }
  return text;
}

}  // namespace zt::sim
