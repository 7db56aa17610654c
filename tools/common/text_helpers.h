// The small text habits every host program shares: trimming and splitting what a user typed,
// padding a table's cells, reading and writing a file whole, and the width a printed report keeps
// to (numbers are written by number_text.h). One copy here, so that the simulator's table and
// the call scripts' transcript trim and pad alike.
#pragma once

#include <cerrno>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace zt::tools {

// A printed report fits a terminal this many columns wide (longer lines are folded).
inline constexpr std::size_t kPageWidth = 100;

// What counts as blank around a typed value: spaces, tabs and the ends of lines of either system.
inline constexpr std::string_view kBlanks = " \t\r\n";

// text without the blanks at either end.
inline std::string_view Trimmed(std::string_view text, std::string_view blanks = kBlanks) {
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// text without the double quotes around it, when it has them at both ends.
inline std::string_view Unquoted(std::string_view text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
    return text.substr(1, text.size() - 2);
  return text;
}

// The pieces of text between separators: one more than there are separators, empty ones kept.
inline std::vector<std::string> SplitAt(std::string_view text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t at = text.find(separator, start);
    parts.emplace_back(
        text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
    if (at == std::string_view::npos) return parts;
    start = at + 1;
  }
}

// text filled with spaces on the right (Padded) or the left (PaddedLeft) to width columns; a
// longer text is left whole.
inline std::string Padded(std::string text, std::size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}
inline std::string PaddedLeft(const std::string& text, std::size_t width) {
  if (text.size() >= width) return text;
  std::string out(width - text.size(), ' ');
  out += text;
  return out;
}

// The file's bytes into contents; false when it cannot be opened or read, with the system's reason
// ("Permission denied", "Is a directory": a folder opens, but reads nothing) in *reason when given.
inline bool ReadWholeFile(const std::filesystem::path& path, std::string& contents,
                          std::string* reason = nullptr) {
  std::ifstream file(path, std::ios::binary);
  std::error_code error;
  if (!file) {
    error.assign(errno, std::generic_category());
  } else if (std::filesystem::is_directory(path, error)) {
    error = std::make_error_code(std::errc::is_a_directory);
  }
  if (error) {
    if (reason != nullptr) *reason = error.message();
    return false;
  }
  std::ostringstream text;
  text << file.rdbuf();
  contents = text.str();
  return true;
}
// The file's bytes; empty when it cannot be read.
inline std::string ReadWholeFile(const std::filesystem::path& path) {
  std::string contents;
  ReadWholeFile(path, contents);
  return contents;
}

}  // namespace zt::tools
