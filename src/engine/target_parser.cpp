#include "engine/target_parser.h"

#include "core/amounts.h"

namespace zt::engine {
namespace {

bool IsNumberCharacter(char c) { return (c >= '0' && c <= '9') || c == '.'; }

// A number token: [start, end) of the text. The conversion stops where the decimal reading does,
// so "1.2.3" reads 1.2 and "." reads 0.
double TokenValue(std::string_view text, std::size_t start, std::size_t end) {
  return core::ParseAmount(text.substr(start, end - start));
}

}  // namespace

int SetTableParser(std::string_view text, core::TargetTable& table) {
  core::TargetTable work{};
  int set = 0;
  int position = 0;
  int setSeparators = 0;
  std::size_t tokenStart = 0;
  bool inToken = false;
  auto store = [&](std::size_t end) {
    if (set < core::kTargetSets && position < core::kSetPositions) {
      work[static_cast<unsigned>(set)][static_cast<unsigned>(position)] = TokenValue(text, tokenStart, end);
    }
  };
  for (std::size_t at = 0; at < text.size(); ++at) {
    const char c = text[at];
    if (IsNumberCharacter(c)) {
      if (!inToken) tokenStart = at;
      inToken = true;
      continue;
    }
    if (!inToken) continue;
    store(at);
    inToken = false;
    if (c == ';') {
      ++setSeparators;
      if (set < core::kTargetSets) ++set;  // counts up to one past the last set, where it stays
      position = 0;
    } else if (position < core::kSetPositions) {
      ++position;
    }
  }
  if (inToken) store(text.size());
  table = work;
  return setSeparators + 1;
}

int PositiveListParser(std::string_view text, core::TargetList& list) {
  core::TargetList work{};
  int count = 0;
  std::size_t tokenStart = 0;
  bool inToken = false;
  auto store = [&](std::size_t end) {
    const double value = TokenValue(text, tokenStart, end);
    if (value > 0.0 && count < core::kListEntries) work[static_cast<unsigned>(count++)] = value;
  };
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (IsNumberCharacter(text[at])) {
      if (!inToken) tokenStart = at;
      inToken = true;
    } else if (inToken) {
      store(at);
      inToken = false;
    }
  }
  if (inToken) store(text.size());
  list = work;
  return count;
}

}  // namespace zt::engine
