// mql_strings.h - strings and conversions: what MQL's string, conversion and Print/Alert
// formatting functions make of text and numbers. Both languages share them; they touch no
// terminal state.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "mql_types.h"

namespace mql {

// How Print and Alert write each of their arguments.
inline void append(std::ostringstream& out, double value) {
  // docs.mql4.com/common/print: doubles are shown with 8 digits after the point
  char text[64];
  std::snprintf(text, sizeof text, "%.8f", value);
  out << text;
}
inline void append(std::ostringstream& out, const string& value) { out << value; }
inline void append(std::ostringstream& out, const char* value) { out << value; }
template <class V>
std::enable_if_t<std::is_integral_v<V>> append(std::ostringstream& out, V value) {
  out << value;
}

template <class... A>
string joined(const A&... args) {
  std::ostringstream out;
  (append(out, args), ...);
  return out.str();
}

// The double's strings hold UTF-8 where a terminal's hold UTF-16: these read and write the
// characters (code points) of one. A byte that starts no valid sequence reads as itself.
inline std::vector<char32_t> characters(const string& text) {
  std::vector<char32_t> out;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80           ? 1
                          : (lead >> 5) == 0x6  ? 2
                          : (lead >> 4) == 0xE  ? 3
                          : (lead >> 3) == 0x1E ? 4
                                                : 0;
    char32_t c = length == 1   ? lead
                 : length == 2 ? lead & 0x1Fu
                 : length == 3 ? lead & 0x0Fu
                               : lead & 0x07u;
    bool valid = length != 0 && i + length <= text.size();
    for (size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      c = (c << 6) | (next & 0x3Fu);
    }
    out.push_back(valid ? c : lead);
    i += valid ? length : 1;
  }
  return out;
}
inline void appendUtf8(string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
    return;
  }
  const int extra = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
  out += static_cast<char>((extra == 1 ? 0xC0 : extra == 2 ? 0xE0 : 0xF0) | (c >> (6 * extra)));
  for (int k = extra - 1; k >= 0; --k) out += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
}
// Windows-1252, the ANSI code page of a western Windows: ASCII and Latin-1 but for 0x80-0x9F,
// where it has the euro sign, typographic quotes and dashes and a few letters. The five bytes
// it leaves undefined stand for the control characters of their own number, as Windows maps them.
inline constexpr char32_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
inline char32_t fromCp1252(uchar byte) {
  return byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : byte;
}
// A character the code page cannot hold becomes '?', as WideCharToMultiByte makes it.
inline uchar toCp1252(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<uchar>(c);
  for (int i = 0; i < 32; ++i)
    if (kCp1252High[i] == c) return static_cast<uchar>(0x80 + i);
  return '?';
}
// A string's bytes in a code page: UTF-8 as it stands, any other as the ANSI page.
inline std::vector<uchar> encoded(const string& text, uint codepage) {
  std::vector<uchar> bytes;
  if (codepage == shared::CP_UTF8)
    bytes.assign(text.begin(), text.end());
  else
    for (const char32_t c : characters(text)) bytes.push_back(toCp1252(c));
  return bytes;
}

namespace shared {

// docs.mql4.com/convert/doubletostring (-1..-16: scientific; outside -16..16: 8 digits)
inline string DoubleToString(double value, int digits = 8) {
  char text[64];
  if (digits < 0 && digits >= -16) {
    std::snprintf(text, sizeof text, "%.*e", -digits, value);
    return text;
  }
  if (digits < 0 || digits > 16) digits = 8;
  std::snprintf(text, sizeof text, "%.*f", digits, value);
  return text;
}
// docs.mql4.com/convert/stringtochararray (copies the terminating zero; grows a dynamic array):
// the text in the code page's bytes, CP_ACP's by default, so a DLL's char texts get ANSI
inline int StringToCharArray(string text_string, array<uchar>& a, int start = 0, int count = -1,
                             uint codepage = CP_ACP) {
  const std::vector<uchar> bytes = encoded(text_string, codepage);
  const int length = static_cast<int>(bytes.size()) + 1;
  int n = count < 0 ? length : std::min(count, length);
  if (start + n > a.size()) {
    if (a.fixed())
      n = std::max(0, a.size() - start);
    else
      a.values().resize(static_cast<size_t>(start + n));
  }
  for (int i = 0; i < n; ++i) a[start + i] = i < length - 1 ? bytes[static_cast<size_t>(i)] : 0;
  return n;
}
// docs.mql4.com/convert/chararraytostring (stops at the array's end or a zero): the bytes read in
// the code page, CP_ACP's by default
inline string CharArrayToString(array<uchar>& a, int start = 0, int count = -1,
                                uint codepage = CP_ACP) {
  string s;
  for (int i = start; i < a.size() && (count < 0 || i < start + count) && a[i] != 0; ++i) {
    if (codepage == CP_UTF8)
      s += static_cast<char>(a[i]);
    else
      appendUtf8(s, fromCp1252(a[i]));
  }
  return s;
}
// docs.mql4.com/convert/stringtodouble
inline double StringToDouble(string value) { return std::atof(value.c_str()); }
// docs.mql4.com/convert/stringtointeger
inline long long StringToInteger(string value) { return std::atoll(value.c_str()); }
// docs.mql4.com/strings/stringsubstr (length -1: to the end)
inline string StringSubstr(string string_value, int start_pos, int length = -1) {
  if (start_pos < 0 || start_pos >= static_cast<int>(string_value.size())) return {};
  return string_value.substr(static_cast<size_t>(start_pos),
                             length < 0 ? string::npos : static_cast<size_t>(length));
}
// docs.mql4.com/convert/integertostring
inline string IntegerToString(long long number, int str_len = 0, ushort fill_symbol = ' ') {
  string s = std::to_string(number);
  while (static_cast<int>(s.size()) < str_len) s.insert(s.begin(), static_cast<char>(fill_symbol));
  return s;
}
// docs.mql4.com/strings/stringfind
inline int StringFind(string string_value, string match_substring, int start_pos = 0) {
  auto at = string_value.find(match_substring, static_cast<size_t>(std::max(start_pos, 0)));
  return at == string::npos ? -1 : static_cast<int>(at);
}
// docs.mql4.com/strings/stringsplit
inline int StringSplit(const string string_value, const ushort separator, array<string>& result) {
  std::vector<string> parts;
  if (!string_value.empty()) {
    size_t from = 0;
    while (true) {
      auto at = string_value.find(static_cast<char>(separator), from);
      parts.push_back(string_value.substr(from, at == string::npos ? string::npos : at - from));
      if (at == string::npos) break;
      from = at + 1;
    }
  }
  result.values() = parts;
  return static_cast<int>(parts.size());
}
// docs.mql4.com/strings/stringlen
inline int StringLen(string string_value) { return static_cast<int>(string_value.size()); }
// docs.mql4.com/strings/stringgetcharacter
inline ushort StringGetCharacter(string string_value, int pos) {
  return pos >= 0 && pos < StringLen(string_value)
             ? static_cast<uchar>(string_value[static_cast<size_t>(pos)])
             : 0;
}
// docs.mql4.com/convert/shorttostring
inline string ShortToString(ushort symbol_code) {
  return string(1, static_cast<char>(symbol_code));
}

}  // namespace shared
}  // namespace mql
