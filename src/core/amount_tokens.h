// How amounts are picked out of a target text, "50,30;80,60" or "0, 500, 1000": the one grammar
// that the library's target parsers and every host-side reader of the same texts share, so a tool
// that shows a trader what the guard will read cannot read it otherwise. Header-only and free of
// the library's state, so tools use it without linking the library.
//
// An amount is a run of digits and points of any length; every other character separates
// amounts, so "-" and "+" are separators and amounts are never negative. A ';' right after an
// amount closes its set; any other character after an amount closes only the amount; characters
// after a separator are skipped, whatever they are ("100,200 ;300" is one set of three).
#pragma once

#include <charconv>
#include <cstddef>
#include <limits>
#include <string_view>
#include <system_error>

namespace zt::core {

inline bool IsAmountCharacter(char c) { return (c >= '0' && c <= '9') || c == '.'; }

// The value of one amount, read as the C library's decimal conversion reads it: up to a second
// point ("1.2.3" is 1.2), "." alone is 0, and a run of digits beyond the double range is an
// infinity (or 0 for a fraction too small to tell from 0).
inline double AmountTokenValue(std::string_view token) {
  double value = 0.0;
  const auto [end, error] =
      std::from_chars(token.data(), token.data() + token.size(), value, std::chars_format::fixed);
  if (error == std::errc::result_out_of_range) {
    for (const char c : token) {
      if (c == '.') break;
      if (c != '0') return std::numeric_limits<double>::infinity();
    }
    return 0.0;
  }
  return error == std::errc() ? value : 0.0;
}

// Calls visit(value, closesSet) for each amount of text in order: closesSet is true when a ';'
// follows the amount directly. An amount at the very end closes nothing.
template <typename Visit>
void ForEachAmount(std::string_view text, Visit&& visit) {
  std::size_t at = 0;
  while (at < text.size()) {
    if (!IsAmountCharacter(text[at])) {
      ++at;
      continue;
    }
    std::size_t end = at;
    while (end < text.size() && IsAmountCharacter(text[end])) ++end;
    visit(AmountTokenValue(text.substr(at, end - at)), end < text.size() && text[end] == ';');
    at = end + 1;  // the separator that ended the amount is spent
  }
}

}  // namespace zt::core
