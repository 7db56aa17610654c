#include "market/text_file.h"

#include <cstdio>
#include <stdexcept>

#include "system/paths.h"

namespace zt::sim {
namespace {

constexpr std::size_t kPiece = std::size_t{1} << 18;  // bytes read at a time: even, for UTF-16
// The longest line read. A bar or tick export's line is under a hundred characters, a deal list's
// with its comment a few hundred, a header of many columns well under a thousand: a longer line is
// no export (a binary file, one with no line breaks), refused before it is read whole. Counted
// after decoding, so a UTF-16 file has the same limit as its UTF-8 copy.
constexpr std::size_t kLongestLine = 4096;
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

std::string Hex(char32_t unit) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(unit));
  return text;
}

}  // namespace

std::uint64_t Digest(std::string_view text, std::uint64_t from) {
  std::uint64_t hash = from;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

TextFileLines::TextFileLines(const std::string& path)
    : path_(path), in_(system::PathOf(path), std::ios::binary) {
  if (!in_) return;
  char mark[3] = {};
  in_.read(mark, 3);
  const std::string_view start(mark, static_cast<std::size_t>(in_.gcount()));
  std::size_t used = 0;
  if (start.substr(0, 3) == kUtf8Mark) {
    used = 3;
  } else if (start.substr(0, 2) == "\xFF\xFE") {
    encoding_ = Encoding::Utf16Le;
    used = 2;
  } else if (start.substr(0, 2) == "\xFE\xFF") {
    encoding_ = Encoding::Utf16Be;
    used = 2;
  }
  // What was read past the mark belongs to the text.
  if (encoding_ == Encoding::Bytes)
    buffer_.assign(start.substr(used));
  else
    odd_.assign(start.substr(used));
}

void TextFileLines::Refuse(const std::string& expected) const {
  throw std::runtime_error(path_ + " line " + std::to_string(feeds_ + 1) +
                           ": expected UTF-16 text, " + expected);
}

void TextFileLines::Append(char32_t code) {
  if (code == U'\n') ++feeds_;
  if (code < 0x80) {
    buffer_ += static_cast<char>(code);
    return;
  }
  const int tail = code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
  static constexpr unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
  buffer_ += static_cast<char>(kLead[tail] | (code >> (6 * tail)));
  for (int shift = 6 * (tail - 1); shift >= 0; shift -= 6) {
    buffer_ += static_cast<char>(0x80 | ((code >> shift) & 0x3F));
  }
}

// Whole units of bytes into UTF-8; a surrogate pair may span two pieces.
void TextFileLines::DecodeUtf16(std::string_view bytes) {
  const bool little = encoding_ == Encoding::Utf16Le;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const char32_t first = static_cast<unsigned char>(bytes[i]);
    const char32_t second = static_cast<unsigned char>(bytes[i + 1]);
    const char32_t unit = little ? first | (second << 8) : (first << 8) | second;
    const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
    if (high_ != 0) {
      if (!low)
        Refuse("a low surrogate (DC00 to DFFF) after the high surrogate " + Hex(high_) + ", not " +
               Hex(unit));
      Append(0x10000 + ((high_ - 0xD800) << 10) + (unit - 0xDC00));
      high_ = 0;
    } else if (unit >= 0xD800 && unit <= 0xDBFF) {
      high_ = unit;
    } else if (low) {
      Refuse("no low surrogate " + Hex(unit) +
             " without a high surrogate (D800 to DBFF) before it");
    } else {
      Append(unit);
    }
  }
}

// Appends the next piece of the file after what is still unread; false at its end.
bool TextFileLines::Fill() {
  if (!in_) return false;
  buffer_.erase(0, at_);
  at_ = 0;
  piece_.resize(kPiece);
  in_.read(piece_.data(), static_cast<std::streamsize>(piece_.size()));
  const auto got = static_cast<std::size_t>(in_.gcount());
  if (encoding_ == Encoding::Bytes) {
    buffer_.append(piece_.data(), got);
  } else {
    odd_.append(piece_.data(), got);
    DecodeUtf16(odd_);
    odd_.erase(0, odd_.size() - odd_.size() % 2);
    if (!in_ && !odd_.empty()) Refuse("whole pairs of bytes, not a file that ends in half of one");
    if (!in_ && high_ != 0)
      Refuse("a low surrogate after the high surrogate " + Hex(high_) + ", not the file's end");
  }
  return got > 0;
}

bool TextFileLines::Next(std::string_view& line) {
  std::size_t feed = buffer_.find('\n', at_);
  while (feed == std::string::npos && buffer_.size() - at_ <= kLongestLine && Fill())
    feed = buffer_.find('\n', at_);
  if (at_ >= buffer_.size()) return false;
  const std::size_t end = feed == std::string::npos ? buffer_.size() : feed + 1;
  ++lines_;
  if (end - at_ > kLongestLine + 2) {  // the line's own CR LF aside
    throw std::runtime_error(path_ + " line " + std::to_string(lines_) + ": expected a line of " +
                             "at most " + std::to_string(kLongestLine) +
                             " characters, as an export writes, not one longer");
  }
  line = std::string_view(buffer_).substr(at_, end - at_);
  at_ = end;
  return true;
}

bool TextFileLines::NextLine(std::string& line) {
  std::string_view raw;
  if (!Next(raw)) return false;
  if (!raw.empty() && raw.back() == '\n') raw.remove_suffix(1);
  if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
  line.assign(raw);
  return true;
}

}  // namespace zt::sim
