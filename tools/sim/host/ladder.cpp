#include "host/ladder.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string_view>

#include "core/amount_tokens.h"
#include "number_text.h"
#include "system/paths.h"
#include "text_helpers.h"

namespace zt::sim {
namespace {

using core::IsAmountCharacter;

constexpr std::size_t kLongestName = 40;

bool NameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.';
}

// A ladder's name or text without the spaces, tabs and carriage returns around it (a ladder
// file's lines come without their line feeds).
std::string Blanked(std::string_view text) { return std::string(tools::Trimmed(text, " \t\r")); }

// A letter or sign touching a number, or a number of two points: a token the trader wrote as one
// amount and the library splits or cuts. Empty when there is none.
std::string SplitToken(const std::string& text) {
  const auto glued = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '+' || c == '-' || c == '_';
  };
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (!IsAmountCharacter(text[at])) continue;
    std::size_t start = at, end = at;
    while (end < text.size() && IsAmountCharacter(text[end])) ++end;
    int points = 0;
    for (std::size_t i = start; i < end; ++i) points += text[i] == '.' ? 1 : 0;
    const bool before = start > 0 && glued(text[start - 1]);
    const bool after = end < text.size() && glued(text[end]);
    if (before || after || points > 1 || end - start == static_cast<std::size_t>(points)) {
      while (start > 0 && (glued(text[start - 1]) || IsAmountCharacter(text[start - 1]))) --start;
      while (end < text.size() && (glued(text[end]) || IsAmountCharacter(text[end]))) ++end;
      return text.substr(start, end - start);
    }
    at = end;
  }
  return {};
}

std::size_t WrittenSets(const std::string& text) {
  std::size_t sets = 0;
  bool amount = false;
  for (const char c : text) {
    if (IsAmountCharacter(c)) amount = true;
    if (c == ';') {
      sets += amount ? 1 : 0;
      amount = false;
    }
  }
  return sets + (amount ? 1 : 0);
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The mistake in one text, given what the library keeps of it (reading), how many amounts the
// trader wrote, and what else is wrong. kind names a required ladder ("take profit"), else empty.
std::string Mistake(const std::string& option, const std::string& text, const std::string& kind,
                    const std::string& reading, std::size_t amounts, bool zero,
                    const std::string& tooMany, bool setsMoved) {
  const std::string prefix = option + " " + Quoted(text) + ": ";
  const std::string would =
      "; the library would read " + (amounts == 0 ? std::string("nothing") : reading);
  if (const std::string token = SplitToken(text); !token.empty()) {
    return prefix + Quoted(token) +
           " is not a plain amount (any character but a digit or \".\" separates " + "amounts)" +
           would;
  }
  if (amounts == 0) {
    if (kind.empty() && text.find_first_not_of(" \t") == std::string::npos) return {};
    return prefix + (text.empty() ? "no amount" : "no amount in it") + would +
           (kind.empty() ? "" : " and take a " + kind + " of 0, a close on every tick");
  }
  if (zero) return prefix + "an amount of 0, where the ladder would stop" + would;
  if (!tooMany.empty()) return prefix + tooMany + would;
  if (setsMoved) return prefix + "a ';' after a separator does not open a set" + would;
  return {};
}

// An amount no account reaches: its cents would not be held exactly (a double holds every whole
// count to 2^53, some 9e15 cents), and far above it, past 9.2e16, the library's 64-bit count of
// cents wraps to a large negative amount. Ten trillion leaves every cent exact.
constexpr double kLargestAmount = 1e13;

// What is wrong with the largest of amounts when it is beyond kLargestAmount, else "".
std::string TooLarge(const std::vector<double>& amounts) {
  for (const double amount : amounts) {
    if (amount > kLargestAmount)
      return "an amount of " + tools::Significant(amount, 10) + ", beyond the largest a ladder " +
             "takes (" + tools::Significant(kLargestAmount, 14) + " in the account's currency)";
  }
  return {};
}

std::string SetsMistake(const std::string& option, const std::string& text,
                        const std::string& kind) {
  AmountSets sets = ReadSets(text);
  std::size_t amounts = 0;
  bool zero = false;
  std::string tooMany;
  for (std::vector<double>& set : sets) {
    amounts += set.size();
    for (const double amount : set) zero = zero || amount <= 0.0;
    if (set.size() > kLadderPositions) {
      tooMany = std::to_string(set.size()) + " amounts in a set, of which the library keeps " +
                std::to_string(kLadderPositions);
      set.resize(kLadderPositions);
    }
  }
  for (const std::vector<double>& set : sets) {
    if (tooMany.empty()) tooMany = TooLarge(set);
  }
  const bool moved = WrittenSets(text) != sets.size();
  if (sets.size() > kLadderSets) {
    tooMany = std::to_string(sets.size()) + " sets, of which the library keeps " +
              std::to_string(kLadderSets);
    sets.resize(kLadderSets);
  }
  return Mistake(option, text, kind, "the sets " + FormatSets(sets), amounts, zero, tooMany, moved);
}

std::string ListMistake(const std::string& option, const std::string& text,
                        const std::string& kind) {
  std::vector<double> list = ReadList(text);
  const std::size_t amounts = list.size();
  bool zero = false;
  for (const double amount : list) zero = zero || amount <= 0.0;
  std::string tooMany;
  if (list.size() > kLadderListEntries) {
    tooMany = std::to_string(list.size()) + " amounts, of which the library keeps " +
              std::to_string(kLadderListEntries);
    list.resize(kLadderListEntries);
  }
  if (tooMany.empty()) tooMany = TooLarge(list);
  return Mistake(option, text, kind, FormatList(list), amounts, zero, tooMany, false);
}

}  // namespace

AmountSets ReadSets(const std::string& text) {
  AmountSets sets;
  std::vector<double> set;
  core::ForEachAmount(text, [&](double amount, bool closesSet) {
    set.push_back(amount);
    if (closesSet) {
      sets.push_back(std::move(set));
      set.clear();
    }
  });
  if (!set.empty()) sets.push_back(std::move(set));
  return sets;
}

std::vector<double> ReadList(const std::string& text) {
  std::vector<double> amounts;
  for (const std::vector<double>& set : ReadSets(text))
    amounts.insert(amounts.end(), set.begin(), set.end());
  return amounts;
}

std::string FormatList(const std::vector<double>& amounts) {
  if (amounts.empty()) return "none";
  std::string out;
  // Appended piece by piece: GCC 12 at -O3 warns of an overlap that cannot happen in
  // "literal" + a temporary string.
  for (const double amount : amounts) {
    if (!out.empty()) out += ',';
    out += tools::Significant(amount, 10);
  }
  return out;
}

std::string FormatSets(const AmountSets& sets) {
  if (sets.empty()) return "none";
  std::string out;
  for (const std::vector<double>& set : sets) out += (out.empty() ? "" : " | ") + FormatList(set);
  return out;
}

Ladder ReadLadder(const TargetTexts& texts) {
  return Ladder{ReadSets(texts.takeProfits), ReadSets(texts.drawdownTargets),
                ReadList(texts.increaseTargets), ReadList(texts.stopLosses)};
}

std::string FindLadderMistake(const TargetTexts& texts) {
  std::string mistake = SetsMistake("--take-profits", texts.takeProfits, "take profit");
  if (mistake.empty()) mistake = SetsMistake("--drawdown-targets", texts.drawdownTargets, "");
  if (mistake.empty()) mistake = ListMistake("--increase-targets", texts.increaseTargets, "");
  if (mistake.empty()) mistake = ListMistake("--stop-losses", texts.stopLosses, "stop loss");
  return mistake;
}

// ---- Named ladders ----

std::optional<NamedLadder> ParseNamedLadder(const std::string& text, std::string& mistake) {
  const std::size_t equals = text.find('=');
  const std::string name = Blanked(std::string_view(text).substr(0, equals));
  if (equals == std::string::npos || name.empty()) {
    mistake = "\"" + text + "\" is no ladder: write NAME=TP|DD|INC|SL";
    return std::nullopt;
  }
  if (name.size() > kLongestName || !std::all_of(name.begin(), name.end(), NameCharacter)) {
    mistake = "ladder name \"" + name + "\": up to " + std::to_string(kLongestName) +
              " letters, digits, '-', '_' or '.'";
    return std::nullopt;
  }
  const std::vector<std::string> parts =
      tools::SplitAt(std::string_view(text).substr(equals + 1), '|');
  if (parts.size() != 4) {
    mistake = "ladder " + name + ": \"" + text.substr(equals + 1) + "\" holds " +
              std::to_string(parts.size()) + " target texts, not the four TP|DD|INC|SL";
    return std::nullopt;
  }
  NamedLadder ladder{name,
                     {Blanked(parts[0]), Blanked(parts[1]), Blanked(parts[2]), Blanked(parts[3])}};
  if (const std::string wrong = FindLadderMistake(ladder.texts); !wrong.empty()) {
    mistake = "ladder " + name + ": " + wrong;
    return std::nullopt;
  }
  return ladder;
}

std::string ReadLadderFile(const std::string& path, std::vector<NamedLadder>& ladders) {
  std::ifstream in(system::PathOf(path), std::ios::binary);
  if (!in) return path + ": cannot be read";
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    line = Blanked(line);
    if (line.empty() || line.front() == '#') continue;
    std::string mistake;
    const std::optional<NamedLadder> ladder = ParseNamedLadder(line, mistake);
    if (!ladder) return path + " line " + std::to_string(number) + ": " + mistake;
    ladders.push_back(*ladder);
  }
  return {};
}

}  // namespace zt::sim
