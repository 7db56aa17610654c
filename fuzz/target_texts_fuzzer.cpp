// The two target-text parsers on arbitrary bytes. Besides the sanitizers' own checks, every run
// verifies what InitZT relies on: the whole destination is replaced, no amount is negative or NaN,
// a table's amounts lie in the sets it reported, a list's amounts are positive and packed at its
// front, and a separator at either end of the text changes nothing that is stored.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <string_view>

#include "core/guard_state.h"
#include "engine/target_parser.h"

namespace {

using zt::core::kListEntries;
using zt::core::kSetPositions;
using zt::core::kTargetSets;
using zt::core::TargetList;
using zt::core::TargetTable;

// A stale value the parsers must overwrite everywhere.
constexpr double kStale = -7.25;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "target-text invariant broken: %s\n", what);
  std::abort();
}

void Check(bool holds, const char* what) {
  if (!holds) Fail(what);
}

TargetTable StaleTable() {
  TargetTable table;
  for (auto& set : table) set.fill(kStale);
  return table;
}

bool SameBits(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

bool SameTable(const TargetTable& a, const TargetTable& b) {
  for (int s = 0; s < kTargetSets; ++s) {
    for (int p = 0; p < kSetPositions; ++p) {
      if (!SameBits(a[static_cast<unsigned>(s)][static_cast<unsigned>(p)],
                    b[static_cast<unsigned>(s)][static_cast<unsigned>(p)])) {
        return false;
      }
    }
  }
  return true;
}

void CheckTable(std::string_view text) {
  TargetTable table = StaleTable();
  const int sets = zt::engine::SetTableParser(text, table);
  Check(sets >= 1, "a table reports at least one set");
  for (int s = 0; s < kTargetSets; ++s) {
    for (int p = 0; p < kSetPositions; ++p) {
      const double amount = table[static_cast<unsigned>(s)][static_cast<unsigned>(p)];
      Check(!std::isnan(amount), "a table amount is NaN");
      Check(amount >= 0.0, "a table amount is negative or stale");
      Check(amount == 0.0 || s < sets, "an amount lies in a set the parser did not report");
    }
  }

  // Separators around the text move no number: a leading one is skipped, a trailing one only
  // moves on to a position (or a set) that nothing fills.
  const std::string padded = " " + std::string(text) + ",";
  TargetTable other = StaleTable();
  Check(zt::engine::SetTableParser(padded, other) == sets, "padding changed the set count");
  Check(SameTable(table, other), "padding changed the table");
  const std::string opened = std::string(text) + ";";
  other = StaleTable();
  const int openedSets = zt::engine::SetTableParser(opened, other);
  Check(openedSets == sets || openedSets == sets + 1, "a trailing ';' counts at most one set");
  Check(SameTable(table, other), "a trailing ';' changed the table");
}

void CheckList(std::string_view text) {
  TargetList list;
  list.fill(kStale);
  const int count = zt::engine::PositiveListParser(text, list);
  Check(count >= 0 && count <= kListEntries, "list count outside 0-8");
  for (int i = 0; i < kListEntries; ++i) {
    const double amount = list[static_cast<unsigned>(i)];
    if (i < count) {
      Check(amount > 0.0, "a stored list amount is not positive");
    } else {
      Check(amount == 0.0, "a list entry past the count is not 0");
    }
  }
  TargetList other;
  other.fill(kStale);
  Check(zt::engine::PositiveListParser(" " + std::string(text) + ";", other) == count,
        "padding changed the list count");
  for (int i = 0; i < kListEntries; ++i) {
    Check(SameBits(list[static_cast<unsigned>(i)], other[static_cast<unsigned>(i)]),
          "padding changed the list");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckTable(text);
  CheckList(text);
  return 0;
}
