// The one bounded text writer every formatter of the library uses.
//
// A TextBuilder writes into a caller's buffer of a fixed capacity. It never writes past the
// capacity, keeps the text NUL-terminated after every append once started, and cuts a text that
// would be longer. Numbers are written without the C library's printf family, so the bytes never
// depend on the process locale or on which C runtime the build links: fixed-point amounts come
// from std::to_chars, which rounds correctly (as glibc's printf does) and always uses a point.
#pragma once

#include <string_view>

namespace zt::core {

struct TextBuilder {
  char* data;    // destination buffer, owned by the caller
  int capacity;  // bytes available in data, NUL included; > 0
  int length;    // characters written so far, < capacity
};

// Starts an empty text in out: writes the NUL at out[0].
TextBuilder StartText(char* out, int capacity);

// Appends as much of text as fits.
void Append(TextBuilder& text, std::string_view piece);
void AppendChar(TextBuilder& text, char c);

// Appends value as printf's "%0.<decimals>f" would in the "C" locale: a leading '-' for negative
// values (also -0.0 and amounts that round to zero), "inf", "-inf" or "nan" (whatever its sign)
// when not finite.
void AppendFixed(TextBuilder& text, double value, int decimals);

// Appends value as printf's "%d".
void AppendInt(TextBuilder& text, long long value);

// Appends value as "%0<width>d" for a non-negative value (zero-padded to width digits).
void AppendPadded(TextBuilder& text, int value, int width);

// The text written so far.
inline std::string_view View(const TextBuilder& text) {
  return {text.data, static_cast<std::size_t>(text.length)};
}

}  // namespace zt::core
