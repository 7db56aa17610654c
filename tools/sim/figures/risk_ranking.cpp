#include "figures/risk_ranking.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <stdexcept>

#include "figures/verdict.h"

namespace zt::sim {
namespace {

// A rank key: what the heading calls it and the ladder's score under it, higher is better; unset
// when the ladder has no such figure.
struct RankKey {
  const char* key;
  const char* title;
  std::function<std::optional<double>(const LadderRisk&)> score;
};

const std::vector<RankKey>& Keys() {
  static const std::vector<RankKey> keys = {
      {"end", "the median end result",
       [](const LadderRisk& l) { return std::optional(l.endResult.median); }},
      {"end-5th", "the 5th percentile of the end result",
       [](const LadderRisk& l) { return std::optional(l.endResult.p5); }},
      {"worst-end", "the worst end result",
       [](const LadderRisk& l) { return std::optional(l.endResult.worst); }},
      {"drawdown", "the median deepest drawdown, shallowest first",
       [](const LadderRisk& l) { return std::optional(l.deepestDrawdown.median); }},
      {"worst-drawdown", "the worst deepest drawdown, shallowest first",
       [](const LadderRisk& l) { return std::optional(l.deepestDrawdown.worst); }},
      {"stopouts", "the share of runs the broker stopped out, fewest first",
       [](const LadderRisk& l) {
         return l.stopOutShare ? std::optional(-*l.stopOutShare) : std::nullopt;
       }},
      // A ratio of two losses would rank the larger loser better: a loss ranks by its size.
      {"return-over-drawdown",
       "the recovery factor, the median end result over the median deepest drawdown (a loss by "
       "its size)",
       [](const LadderRisk& l) {
         return std::optional(RankRecovery(l.endResult.median, l.deepestDrawdown.median));
       }},
      {"under-water", "the median days under water, fewest first",
       [](const LadderRisk& l) { return std::optional(-l.totalUnderWaterDays.median); }},
      {"costs", "the costs of the average run, lowest first",
       [](const LadderRisk& l) { return std::optional(-l.costsPerRun.Total()); }},
  };
  return keys;
}

const RankKey& KeyNamed(const std::string& key) {
  for (const RankKey& k : Keys()) {
    if (key == k.key) return k;
  }
  throw std::invalid_argument("no rank key " + key);
}

}  // namespace

const std::vector<std::string>& ListRankKeys() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> out;
    for (const RankKey& key : Keys()) out.emplace_back(key.key);
    return out;
  }();
  return names;
}

std::vector<LadderRisk> RankLadders(std::vector<LadderRisk> ladders, const std::string& key) {
  const RankKey& rank = KeyNamed(key);
  std::stable_sort(ladders.begin(), ladders.end(),
                   [&rank](const LadderRisk& a, const LadderRisk& b) {
                     const std::optional<double> x = rank.score(a), y = rank.score(b);
                     if (x.has_value() != y.has_value()) return x.has_value();
                     return x && *x > *y;
                   });
  return ladders;
}

std::string NameRanking(const std::string& key) { return KeyNamed(key).title; }

}  // namespace zt::sim
