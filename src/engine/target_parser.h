// The parsers of the four target texts a host hands to InitZT. Both are forgiving scanners: they
// pick numbers out of any text rather than reject input. A number is a run of digits and points
// of any length ("10000.50" is read whole); every other character separates numbers, so "-" and
// "+" are separators and amounts are never negative.
#pragma once

#include <string_view>

#include "core/guard_state.h"

namespace zt::engine {

// Reads a table of sets, "100,200,300;150,250": a ';' right after a number opens the next set, any
// other separator after a number moves to the next position; separators after another separator
// are skipped. The whole table is replaced; entries not given are 0.0. Numbers past the 8th set
// or the 32nd position of a set are ignored. Returns the number of sets seen (the ';' that
// followed a number, plus one; it can exceed 8).
int SetTableParser(std::string_view text, core::TargetTable& table);

// Reads a list of positive amounts, "0, 500, 1000" giving 500, 1000: values not greater than 0
// take no position. The whole list is replaced; amounts past the 8th are ignored. Returns the
// number of amounts stored.
int PositiveListParser(std::string_view text, core::TargetList& list);

}  // namespace zt::engine
