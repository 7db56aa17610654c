#include "market/csv_fields.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "text_helpers.h"

namespace zt::sim {
namespace {

// Plain decimals ("-1234.56", the way histories write money) of up to 15 digits: the digits as a
// whole number and one division by a power of ten, both exact, so the one rounding of that
// division gives the same double as from_chars. Anything else is left to from_chars.
bool ReadPlainDecimal(std::string_view text, double& value) {
  static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  std::size_t at = 0;
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) ++at;
  std::uint64_t whole = 0;
  int digits = 0, decimals = 0;
  bool point = false;
  for (; at < text.size(); ++at) {
    const char c = text[at];
    if (c == '.' && !point) {
      point = true;
    } else if (c >= '0' && c <= '9') {
      whole = whole * 10 + static_cast<std::uint64_t>(c - '0');
      ++digits;
      if (point) ++decimals;
    } else {
      return false;
    }
  }
  if (digits == 0 || digits > 15) return false;
  value = static_cast<double>(whole) / kPowers[decimals];
  if (negative) value = -value;
  return true;
}

}  // namespace

bool ReadNumber(std::string_view text, double& value) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (ReadPlainDecimal(text, value)) return true;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size() &&
         std::isfinite(value);
}

std::string_view Trim(std::string_view text, bool unquote) {
  text = tools::Trimmed(text);
  return unquote ? tools::Unquoted(text) : text;
}

std::string NormalName(std::string_view name) {
  std::string out;
  for (const char c : name) {
    if (c >= 'A' && c <= 'Z')
      out += static_cast<char>(c - 'A' + 'a');
    else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
      out += c;
  }
  return out;
}

void SplitFields(std::string_view line, char delimiter, std::vector<std::string>& fields) {
  std::size_t count = 0;
  const auto open = [&]() -> std::string& {
    if (count == fields.size()) fields.emplace_back();
    std::string& field = fields[count++];
    field.clear();
    return field;
  };
  if (line.find('"') == std::string_view::npos) {
    for (std::size_t start = 0;;) {
      const std::size_t at = line.find(delimiter, start);
      open().assign(Trim(
          line.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start)));
      if (at == std::string_view::npos) break;
      start = at + 1;
    }
    fields.resize(count);
    return;
  }
  std::string* field = &open();
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"') {
      if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
        *field += '"';
        ++i;
      } else {
        quoted = !quoted;
      }
    } else if (c == delimiter && !quoted) {
      field = &open();
    } else {
      *field += c;
    }
  }
  fields.resize(count);
  for (std::string& each : fields) each = std::string(Trim(each));
  if (fields.size() == 1 && line.size() >= 2 && line.front() == '"' && line.back() == '"' &&
      line.find(delimiter) != std::string_view::npos) {
    SplitFields(line.substr(1, line.size() - 2), delimiter, fields);
  }
}

std::vector<std::string> SplitFields(std::string_view line, char delimiter) {
  std::vector<std::string> fields;
  SplitFields(line, delimiter, fields);
  return fields;
}

void FieldViews(std::string_view line, char delimiter, std::vector<std::string_view>& views,
                std::vector<std::string>& store) {
  views.clear();
  if (line.find('"') == std::string_view::npos) {
    for (std::size_t start = 0;;) {
      const std::size_t at = line.find(delimiter, start);
      views.push_back(Trim(
          line.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start)));
      if (at == std::string_view::npos) return;
      start = at + 1;
    }
  }
  SplitFields(line, delimiter, store);
  views.assign(store.begin(), store.end());
}

std::string_view LineContent(std::string_view raw, char delimiter) {
  return delimiter == '\t' ? tools::Trimmed(raw, " \r\n") : Trim(raw, false);
}

char DetectDelimiter(std::string_view header) {
  char best = ',';
  std::ptrdiff_t bestCount = 0;
  for (const char candidate : {',', ';', '\t'}) {
    const std::ptrdiff_t count = std::count(header.begin(), header.end(), candidate);
    if (count > bestCount) {
      best = candidate;
      bestCount = count;
    }
  }
  return best;
}

}  // namespace zt::sim
