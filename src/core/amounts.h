// How the guard reads amounts: from the host's arguments, its target texts and the settings file.
#pragma once

#include <cmath>
#include <string_view>

namespace zt::core {

// An equity (or snapshot, or initial equity) the guard can work from: greater than 0 and finite.
// NaN and infinity are never an equity: an infinite one would fire every take profit at once and
// could not be written back to the settings file as a number.
inline bool IsUsableEquity(double amount) { return std::isfinite(amount) && amount > 0.0; }

// Reads a decimal amount at the start of text as the C library's decimal conversion does:
// leading blanks, an optional sign, digits with an optional point and exponent; "inf" and "nan"
// are read as such. Text that does not start with a number gives 0.0. An amount beyond the double
// range gives an infinity of its sign. Unlike the C library, independent of the process locale.
double ParseAmount(std::string_view text);

}  // namespace zt::core
