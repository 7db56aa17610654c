// Numbers as the host programs write them, in one family: the shortest text that reads back as the
// same value (state files, transcripts, settings), a fixed number of decimals (money, chart
// coordinates, figures), a number of significant digits (amounts as the library reads them,
// ranges), and whole cents as money. Every one is locale-proof: the C library's "%f" family and
// std::to_chars both write a point in the "C" locale the programs keep.
#pragma once

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <type_traits>

namespace zt::tools {

// The shortest text that reads back as the same number ("0.1", "10000", "1e+20", "-7"): a value
// written into a transcript or a state file says exactly what was used.
template <typename T>
std::string Number(T value) {
  static_assert(std::is_arithmetic_v<T>, "a number");
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

// value with `decimals` digits after the point, rounded as printf rounds ("12.50", "-3", "0.0").
inline std::string Fixed(double value, int decimals) {
  char buffer[400];  // the widest double, 309 digits, and its decimals
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  return buffer;
}

// Fixed, but a value that rounds to zero is written without a sign: "0.00", never "-0.00", which
// a reader would take for a loss.
inline std::string FixedWithoutMinusZero(double value, int decimals) {
  std::string text = Fixed(value, decimals);
  if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
  return text;
}

// Two decimals, the way the guard writes money ("-12.50").
inline std::string Money(double amount) { return Fixed(amount, 2); }

// Whole cents as money ("-0.05", "1234.50"), exactly: no double stands between the cents and the
// text.
inline std::string CentsText(long long cents) {
  const long long whole = std::llabs(cents / 100);
  const long long rest = std::llabs(cents % 100);
  return std::string(cents < 0 ? "-" : "") + std::to_string(whole) + (rest < 10 ? ".0" : ".") +
         std::to_string(rest);
}

// value in at most `digits` significant digits, the shorter of plain and exponent form as printf's
// "%g" writes it ("1e-06", "0.01", "1000000000").
inline std::string Significant(double value, int digits) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*g", digits, value);
  return buffer;
}

}  // namespace zt::tools
