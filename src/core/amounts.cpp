#include "core/amounts.h"

#include <charconv>
#include <limits>
#include <system_error>

namespace zt::core {
namespace {

// A number from_chars found out of range is either too large (infinity) or too small (zero):
// its decimal exponent, estimated from the digits and the exponent part, tells which.
double OutOfRangeMagnitude(std::string_view number) {
  std::size_t at = 0;
  long long exponent = -1;
  bool seenDigit = false;
  while (at < number.size() && number[at] >= '0' && number[at] <= '9') {
    if (number[at] != '0') seenDigit = true;
    if (seenDigit) ++exponent;
    ++at;
  }
  if (at < number.size() && number[at] == '.') {
    ++at;
    while (at < number.size() && number[at] >= '0' && number[at] <= '9') {
      if (!seenDigit) {
        if (number[at] != '0') seenDigit = true;
        --exponent;
      }
      ++at;
    }
  }
  if (at < number.size() && (number[at] == 'e' || number[at] == 'E')) {
    ++at;
    bool negative = false;
    if (at < number.size() && (number[at] == '+' || number[at] == '-')) negative = number[at++] == '-';
    long long written = 0;
    while (at < number.size() && number[at] >= '0' && number[at] <= '9') {
      if (written < 100000) written = written * 10 + (number[at] - '0');
      ++at;
    }
    exponent += negative ? -written : written;
  }
  return exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
}

}  // namespace

double ParseAmount(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size() && (text[start] == ' ' || (text[start] >= '\t' && text[start] <= '\r'))) {
    ++start;
  }
  bool negative = false;
  if (start < text.size() && (text[start] == '+' || text[start] == '-')) {
    negative = text[start] == '-';
    ++start;
  }
  // from_chars takes no sign of its own here, so "+-5" and "--5" are not numbers, as in C.
  if (start < text.size() && (text[start] == '+' || text[start] == '-')) return 0.0;
  double value = 0.0;
  const char* first = text.data() + start;
  const auto result = std::from_chars(first, text.data() + text.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    value = OutOfRangeMagnitude(text.substr(start));
  } else if (result.ec != std::errc{}) {
    return 0.0;
  }
  return negative ? -value : value;
}

}  // namespace zt::core
