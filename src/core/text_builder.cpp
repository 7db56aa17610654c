#include "core/text_builder.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace zt::core {
namespace {

// "%0.2f" of the largest double is 309 digits, the sign, the point and the decimals.
constexpr int kNumberScratch = 340;
constexpr int kMaxDecimals = 6;

}  // namespace

TextBuilder StartText(char* out, int capacity) {
  out[0] = '\0';
  return TextBuilder{out, capacity, 0};
}

void Append(TextBuilder& text, std::string_view piece) {
  const int room = text.capacity - 1 - text.length;
  const int count = piece.size() < static_cast<std::size_t>(room) ? static_cast<int>(piece.size()) : room;
  if (count > 0) {
    std::memcpy(text.data + text.length, piece.data(), static_cast<std::size_t>(count));
    text.length += count;
  }
  text.data[text.length] = '\0';
}

void AppendChar(TextBuilder& text, char c) { Append(text, std::string_view(&c, 1)); }

void AppendFixed(TextBuilder& text, double value, int decimals) {
  if (std::isnan(value)) {
    Append(text, "nan");
    return;
  }
  if (std::isinf(value)) {
    Append(text, value < 0 ? "-inf" : "inf");
    return;
  }
  if (decimals < 0) decimals = 0;
  if (decimals > kMaxDecimals) decimals = kMaxDecimals;
  char scratch[kNumberScratch];
  const auto result = std::to_chars(scratch, scratch + sizeof scratch, value,
                                    std::chars_format::fixed, decimals);
  Append(text, std::string_view(scratch, static_cast<std::size_t>(result.ptr - scratch)));
}

void AppendInt(TextBuilder& text, long long value) {
  char scratch[24];
  const auto result = std::to_chars(scratch, scratch + sizeof scratch, value);
  Append(text, std::string_view(scratch, static_cast<std::size_t>(result.ptr - scratch)));
}

void AppendPadded(TextBuilder& text, int value, int width) {
  char scratch[24];
  const auto result = std::to_chars(scratch, scratch + sizeof scratch, value);
  const int digits = static_cast<int>(result.ptr - scratch);
  for (int i = digits; i < width; ++i) AppendChar(text, '0');
  Append(text, std::string_view(scratch, static_cast<std::size_t>(digits)));
}

}  // namespace zt::core
