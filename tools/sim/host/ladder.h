// The target ladder as the library will read it. InitZT's parsers never reject a text: any
// character but a digit or '.' separates numbers, so "1e2" is the two amounts 1 and 2, "abc" is
// nothing, and a take profit of nothing is 0, a close on every uptick. The simulator reads the
// texts the same way first, so that a text the trader did not mean stops the run with the reason
// instead of running a different ladder.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "core/limits.h"

namespace zt::sim {

// The four target texts, in the syntax InitZT takes: sets of amounts for take profits and
// drawdown targets ("50,30;80,60"), lists of equity levels / amounts for increase targets and
// stop losses ("1100,1200").
struct TargetTexts {
  std::string takeProfits;
  std::string drawdownTargets;
  std::string increaseTargets;
  std::string stopLosses;
};

// How much of a ladder the library keeps: its own named sizes.
constexpr auto kLadderSets = static_cast<std::size_t>(core::kTargetSets);  // of TP and DD sets
constexpr auto kLadderPositions =
    static_cast<std::size_t>(core::kSetPositions);  // amounts in a set
constexpr auto kLadderListEntries =
    static_cast<std::size_t>(core::kListEntries);  // increase targets, stop losses

using AmountSets = std::vector<std::vector<double>>;

// The sets of a take-profit or drawdown-target text exactly as the library reads them, before it
// drops what does not fit: a ';' right after a number opens the next set.
AmountSets ReadSets(const std::string& text);
// The amounts of an increase-target or stop-loss text as the library reads them, values not
// above 0 included (the library drops those).
std::vector<double> ReadList(const std::string& text);

// "60,45,30 | 90,60"; "none" when there are no amounts.
std::string FormatSets(const AmountSets& sets);
std::string FormatList(const std::vector<double>& amounts);

// The ladder the library will run, for the report and the JSON.
struct Ladder {
  AmountSets takeProfits;
  AmountSets drawdownTargets;
  std::vector<double> increaseTargets;
  std::vector<double> stopLosses;
};
Ladder ReadLadder(const TargetTexts& texts);

// Empty when the four texts mean what they say; otherwise one line naming the option, the text
// and what the library would have made of it. Take profits and stop losses must hold an amount;
// drawdown and increase targets may be empty, but not a text that reads as nothing.
std::string FindLadderMistake(const TargetTexts& texts);

// A ladder with the name the table shows it under.
struct NamedLadder {
  std::string name;
  TargetTexts texts;
};

// Reads "NAME=TP|DD|INC|SL" (the four texts as --take-profits, --drawdown-targets,
// --increase-targets and --stop-losses take them). Empty, with the reason in mistake, when the
// text is not such a line or the ladder would not run as written; the reason names the ladder.
std::optional<NamedLadder> ParseNamedLadder(const std::string& text, std::string& mistake);
// The ladders of a file, one NAME=TP|DD|INC|SL per line; blank lines and lines starting with '#'
// are skipped. Appends to ladders; returns the first mistake ("FILE line N: ...") or empty.
std::string ReadLadderFile(const std::string& path, std::vector<NamedLadder>& ladders);

}  // namespace zt::sim
