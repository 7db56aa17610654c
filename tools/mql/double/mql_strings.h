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
std::enable_if_t<std::is_integral_v<V>> append(std::ostringstream& out, V value) { out << value; }

template <class... A>
string joined(const A&... args) {
    std::ostringstream out;
    (append(out, args), ...);
    return out.str();
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
// docs.mql4.com/convert/stringtochararray (copies the terminating zero; grows a dynamic array)
inline int StringToCharArray(string text_string, array<uchar>& a, int start = 0, int count = -1,
                             uint codepage = CP_ACP) {
    (void)codepage;
    const int length = static_cast<int>(text_string.size()) + 1;
    int n = count < 0 ? length : std::min(count, length);
    if (start + n > a.size()) {
        if (a.fixed()) n = std::max(0, a.size() - start);
        else a.values().resize(static_cast<size_t>(start + n));
    }
    for (int i = 0; i < n; ++i)
        a[start + i] = i < length - 1 ? static_cast<uchar>(text_string[static_cast<size_t>(i)]) : 0;
    return n;
}
// docs.mql4.com/convert/chararraytostring (stops at the array's end or a zero)
inline string CharArrayToString(array<uchar>& a, int start = 0, int count = -1, uint codepage = CP_ACP) {
    (void)codepage;
    string s;
    for (int i = start; i < a.size() && (count < 0 || i < start + count) && a[i] != 0; ++i)
        s += static_cast<char>(a[i]);
    return s;
}
// docs.mql4.com/convert/stringtodouble
inline double StringToDouble(string value) { return std::atof(value.c_str()); }
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
    return pos >= 0 && pos < StringLen(string_value) ? static_cast<uchar>(string_value[static_cast<size_t>(pos)]) : 0;
}
// docs.mql4.com/convert/shorttostring
inline string ShortToString(ushort symbol_code) { return string(1, static_cast<char>(symbol_code)); }

}  // namespace shared
}  // namespace mql
