#include "engine/target_parser.h"

#include "core/amount_tokens.h"

namespace zt::engine {

int SetTableParser(std::string_view text, core::TargetTable& table) {
  core::TargetTable work{};
  int set = 0;
  int position = 0;
  int setSeparators = 0;
  core::ForEachAmount(text, [&](double amount, bool closesSet) {
    // Amounts past the last set or the last position of a set have no entry: they are dropped,
    // never stored into the entry beside.
    if (set < core::kTargetSets && position < core::kSetPositions) {
      work[static_cast<unsigned>(set)][static_cast<unsigned>(position)] = amount;
    }
    if (closesSet) {
      ++setSeparators;
      if (set < core::kTargetSets) ++set;  // counts up to one past the last set, where it stays
      position = 0;
    } else if (position < core::kSetPositions) {
      ++position;
    }
  });
  table = work;
  return setSeparators + 1;
}

int PositiveListParser(std::string_view text, core::TargetList& list) {
  core::TargetList work{};
  int count = 0;
  core::ForEachAmount(text, [&](double amount, bool) {
    if (amount > 0.0 && count < core::kListEntries) work[static_cast<unsigned>(count++)] = amount;
  });
  list = work;
  return count;
}

}  // namespace zt::engine
