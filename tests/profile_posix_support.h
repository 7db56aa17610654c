// What the tests of the POSIX private-profile store share: reads into a buffer with a guard byte,
// single writes, the folder's files and a text in which a cut in the wrong place shows.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "settings/profile_store.h"
#include "test_support.h"

namespace zt::settings::profile_testing {

using zt::testing::ReadFile;
using zt::testing::TempFolder;
using zt::testing::WriteFile;

constexpr char kGuard = '#';

// Reads into a 64-byte buffer followed by a guard byte that must survive.
inline std::string Read(const std::string& path, std::string_view section, std::string_view key,
                 std::string_view fallback = "default") {
  char out[kProfileValueCapacity + 1];
  std::memset(out, kGuard, sizeof out);
  int length = ReadProfileString(path.c_str(), section, key, fallback, out);
  EXPECT_EQ(out[kProfileValueCapacity], kGuard) << "wrote past the buffer";
  EXPECT_EQ(static_cast<std::size_t>(length), std::strlen(out));
  return std::string(out, static_cast<std::size_t>(length));
}

inline bool Write(const std::string& path, std::string_view section, std::string_view key,
           std::string_view value) {
  ProfileEntry entry{key, value};
  return WriteProfileStrings(path.c_str(), section, &entry, 1);
}

// Names in the folder, sorted: shows a temporary file left behind or a file created by mistake.
// The folder's files, but for the lock files that changing writes leave (empty, and kept).
inline std::vector<std::string> Names(const TempFolder& folder) {
  std::vector<std::string> names;
  for (const auto& item : std::filesystem::directory_iterator(folder.path)) {
    if (item.path().extension() == ".lock" && std::filesystem::file_size(item.path()) == 0) continue;
    names.push_back(item.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A text where every position differs from its neighbours, so a cut in the wrong place shows.
inline std::string Pattern(std::size_t length) {
  std::string text(length, ' ');
  for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char>('a' + i % 26);
  return text;
}

}  // namespace zt::settings::profile_testing
