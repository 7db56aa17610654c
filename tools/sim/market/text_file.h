// A text file read a piece at a time and handed out line by line, in whatever the terminal saved it
// as: UTF-8 or ASCII (a UTF-8 byte-order mark skipped), or UTF-16 with its byte-order mark, little-
// or big-endian. The 64-bit terminal writes its bar, tick and deal exports as UTF-16 little-endian
// by default, and a trader should not have to save them again: UTF-16 is turned into UTF-8 as it is
// read, so its lines are those of the same file saved as UTF-8, byte for byte. Every history, deal
// and equity file the lab reads comes through here.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

namespace zt::sim {

// FNV-1a over text: a file's fingerprint, stable across machines, by which a resumed run knows the
// lines it read before. A digest continues from `from`, so Digest(b, Digest(a)) == Digest(a + b).
constexpr std::uint64_t kDigestStart = 0xcbf29ce484222325ULL;
std::uint64_t Digest(std::string_view text, std::uint64_t from = kDigestStart);

class TextFileLines {
 public:
  // Opens path; is_open() says whether that worked (each reader names the file in its own words).
  explicit TextFileLines(const std::string& path);
  bool is_open() const { return in_.is_open(); }
  // The next line with its feed ("\n", "\r\n", or none on a last line without one); false at the
  // end. The view lasts until the next call. A line longer than an export writes (4 KiB) throws
  // std::runtime_error naming the file and the line, once that much of it is read. Broken UTF-16
  // (an odd number of bytes, a surrogate without its pair) throws std::runtime_error naming the
  // file, the line and what was expected.
  bool Next(std::string_view& line);
  // The next line without its feed and a carriage return before it; false at the end.
  bool NextLine(std::string& line);

 private:
  enum class Encoding { Bytes, Utf16Le, Utf16Be };
  bool Fill();
  void DecodeUtf16(std::string_view bytes);
  void Append(char32_t code);
  [[noreturn]] void Refuse(const std::string& expected) const;

  std::string path_;
  std::ifstream in_;
  Encoding encoding_ = Encoding::Bytes;
  std::string buffer_;  // decoded text not yet handed out, from at_
  std::size_t at_ = 0;
  std::string piece_;
  std::string odd_;         // a UTF-16 file's byte waiting for the other byte of its pair
  char32_t high_ = 0;       // a high surrogate waiting for its low one
  std::int64_t lines_ = 0;  // lines handed out so far
  std::int64_t feeds_ = 0;  // line feeds decoded so far: the line a broken unit is on is one more
};

}  // namespace zt::sim
