// The one-line text form the simulator writes a paused market in: " name=value" fields after a
// tag, numbers in their shortest exact form, so that a state read back is the state written down
// to the last bit and a resumed run continues the very same path.
#pragma once

#include <charconv>
#include <string>
#include <string_view>
#include <system_error>

#include "number_text.h"

namespace zt::sim {

// prefix + name: the name of a field that an account, a strategy or a deal list writes under its
// prefix ("g." for the guarded account's).
inline std::string NameField(std::string_view prefix, std::string_view name) {
  std::string field(prefix);
  field += name;
  return field;
}

// Appends " name=value" to out.
template <typename T>
void PutField(std::string& out, std::string_view name, T value) {
  out += ' ';
  out += name;
  out += '=';
  out += tools::Number(value);
}

// Reads the value of the first " name=" field of text into value; false when there is none or it
// is no number of value's type.
template <typename T>
bool TakeField(std::string_view text, std::string_view name, T& value) {
  // Built by appending: GCC 12 at -O3 misreads `" " + std::string(name)` (an insert at the front of
  // a fresh string) as an overlapping memcpy and warns -Wrestrict from inside libstdc++.
  std::string key;
  key.reserve(name.size() + 2);
  key += ' ';
  key += name;
  key += '=';
  const std::size_t at = text.find(key);
  if (at == std::string_view::npos) return false;
  const char* first = text.data() + at + key.size();
  const char* last = text.data() + text.size();
  return std::from_chars(first, last, value).ec == std::errc();
}

}  // namespace zt::sim
