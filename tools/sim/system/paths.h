// Paths as the simulator holds them: UTF-8 text inside the program, converted to the system's own
// path only where a file is opened or a folder listed. On Linux the two are the same bytes; on
// Windows a path is UTF-16, and a narrow std::string handed to std::filesystem would be read in the
// machine's ANSI code page, so a history under C:\Users\Zoë\... would not open. Every path from the
// command line, a ladder file or a folder listing goes through these two.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace zt::sim::system {

// The path named by utf8 (any characters the system's paths can hold).
inline std::filesystem::path PathOf(std::string_view utf8) {
  return std::filesystem::path(
      std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

// The path's name as UTF-8, in the system's own separators.
inline std::string Utf8Of(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

// The path's name as UTF-8 with "/" between its parts on every system (Windows takes both), as
// the engine linked into the simulator names its files.
inline std::string GenericUtf8Of(const std::filesystem::path& path) {
  const std::u8string text = path.generic_u8string();
  return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

}  // namespace zt::sim::system
