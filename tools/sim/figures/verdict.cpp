#include "figures/verdict.h"

#include <algorithm>
#include <cmath>

#include "number_text.h"

namespace zt::sim {
namespace {

// An amount as a trader reads it in a sentence: thousands grouped, two decimals, "-1,234.50".
std::string Amount(double value) {
  std::string digits = tools::Money(std::fabs(value));
  const std::size_t point = digits.find('.');
  for (std::size_t at = point == std::string::npos ? digits.size() : point; at > 3; at -= 3)
    digits.insert(at - 3, ",");
  return (value < 0.0 && digits != "0.00" ? "-" : "") + digits;
}

std::string Percent(double share) { return tools::FixedWithoutMinusZero(share * 100.0, 0) + " %"; }

// "-3,210.50 (32 % of the deposit)".
std::string AmountOfDeposit(double value, double deposit) {
  if (deposit <= 0.0) return Amount(value);
  return Amount(value) + " (" + Percent(value / deposit) + " of the deposit)";
}

// Which ladder ended best, or that the runs do not tell them apart.
std::string RankingSentence(const std::vector<Outcome>& ladders, double deposit, bool many) {
  const char* what = many ? "median end result" : "end result";
  const Outcome& best = ladders.front();
  if (ladders.size() == 1) {
    return best.name + " ended with " + (many ? "a median end result" : "an end result") + " of " +
           AmountOfDeposit(best.median, deposit) +
           (many ? " over " + std::to_string(best.runs) + " runs." : ".");
  }
  const Outcome& second = ladders[1];
  const double margin = MatteringDifference(best, second, deposit);
  if (best.median - second.median <= margin) {
    return "The ladders' " + std::string(what) + "s, " + Amount(ladders.back().median) + " to " +
           Amount(best.median) + ", lie within " + Amount(margin) +
           (many ? " (the runs' spread)" : " (1 % of the deposit)") +
           " of each other: these runs do not tell them apart.";
  }
  return best.name + " ended best, with a " + what + " of " +
         AmountOfDeposit(best.median, deposit) +
         (many ? " over " + std::to_string(best.runs) + " runs" : "") + ", ahead of " +
         second.name + " by " + Amount(best.median - second.median) + ".";
}

// Whether any ladder made money, and why no guard did better where it did.
std::string MoneySentence(const std::vector<Outcome>& ladders, const Outcome* noGuard,
                          double deposit, bool many) {
  const std::size_t gained = static_cast<std::size_t>(std::count_if(
      ladders.begin(), ladders.end(), [](const Outcome& o) { return o.median > 0.0; }));
  const std::string where = many ? " in the median run" : "";
  std::string text =
      gained == 0 ? "No ladder made money" + where
      : gained == ladders.size()
          ? (ladders.size() == 1 ? "It made money" + where : "Every ladder made money" + where)
          : std::to_string(gained) + " of " + std::to_string(ladders.size()) +
                " ladders made money" + where;
  const Outcome& best = ladders.front();
  if (noGuard && noGuard->median - best.median > MatteringDifference(*noGuard, best, deposit)) {
    text += "; no guard ended better than every ladder (" + Amount(noGuard->median) +
            "): its open trades came back from falls at which the ladders' stop losses had "
            "already closed them at a loss, which a guard pays for the falls that do not come "
            "back";
  }
  return text + ".";
}

// How often the broker stepped in, without a guard and with the ladders.
std::string StopOutSentence(const std::vector<Outcome>& ladders, const Outcome& noGuard,
                            bool many) {
  double low = 1.0, high = 0.0;
  for (const Outcome& o : ladders) {
    if (!o.stopOutShare) return {};
    low = std::min(low, *o.stopOutShare);
    high = std::max(high, *o.stopOutShare);
  }
  const double share = *noGuard.stopOutShare;
  if (!many) {
    return std::string("Without a guard the broker ") +
           (share > 0.0 ? "stopped the account out" : "never stopped the account out") +
           (ladders.size() == 1 ? "; with the ladder " : "; with the ladders ") +
           (high > 0.0 ? (low > 0.0 ? "it did every time." : "it did with some.") : "never.");
  }
  const std::string range = low == high ? Percent(low) : Percent(low) + " to " + Percent(high);
  return "Without a guard the broker stopped the account out in " + Percent(share) +
         " of the runs (never in " + Percent(1.0 - share) + "); with the ladders in " + range + ".";
}

}  // namespace

double SmallestMatteringAmount(double deposit) { return 0.01 * std::fabs(deposit); }

double MatteringDifference(const Outcome& a, const Outcome& b, double deposit) {
  double spread = 0.0;
  for (const Outcome* o : {&a, &b}) {
    if (o->runs > 1)
      spread = std::max(spread, (o->p95 - o->p5) / std::sqrt(static_cast<double>(o->runs)));
  }
  return std::max(SmallestMatteringAmount(deposit), spread);
}

std::optional<double> RecoveryFactor(double endResult, double deepestDrawdown) {
  const double depth = std::fabs(deepestDrawdown);
  if (endResult < 0.0 || depth < 0.005) return std::nullopt;
  return endResult / depth;
}

double RankRecovery(double endResult, double deepestDrawdown) {
  if (endResult < 0.0) return -1.0 + endResult;  // below every gain's 0 or more, by its size
  const std::optional<double> factor = RecoveryFactor(endResult, deepestDrawdown);
  return factor ? *factor : 1e300;  // a gain without a fall ranks first
}

std::string WriteVerdict(const std::vector<Outcome>& outcomes, double deposit) {
  std::vector<Outcome> ladders;
  const Outcome* noGuard = nullptr;
  for (const Outcome& o : outcomes) {
    if (o.noGuard) {
      noGuard = noGuard ? noGuard : &o;
    } else {
      ladders.push_back(o);
    }
  }
  if (ladders.empty()) return {};
  std::stable_sort(ladders.begin(), ladders.end(),
                   [](const Outcome& a, const Outcome& b) { return a.median > b.median; });
  const bool many = ladders.front().runs > 1;
  std::string text = RankingSentence(ladders, deposit, many) + " " +
                     MoneySentence(ladders, noGuard, deposit, many);
  if (noGuard && noGuard->stopOutShare) {
    if (const std::string s = StopOutSentence(ladders, *noGuard, many); !s.empty()) text += " " + s;
  }
  return text;
}

}  // namespace zt::sim
