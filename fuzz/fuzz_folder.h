// A scratch folder for the fuzzers that touch files: on a memory file system when there is one,
// since every settings write is flushed to disk and a fuzzer makes thousands a second. Created
// on first use and removed with its contents when the fuzzer exits.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

namespace zt::fuzzing {

inline const std::string& ScratchFolder() {
  // The path also lives in a plain array: the exit handler runs after the string is destroyed.
  static char removeAtExit[4096];
  static const std::string folder = [] {
    std::string pattern = access("/dev/shm", W_OK) == 0
                              ? std::string("/dev/shm/zt-fuzz-XXXXXX")
                              : (std::filesystem::temp_directory_path() / "zt-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr || pattern.size() >= sizeof removeAtExit) {
      std::perror("mkdtemp");
      std::abort();
    }
    std::memcpy(removeAtExit, pattern.c_str(), pattern.size() + 1);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(removeAtExit, ignored);
    });
    return pattern;
  }();
  return folder;
}

// Empties the folder, keeping the folder itself.
inline void ClearScratchFolder() {
  std::error_code ignored;
  for (const auto& item : std::filesystem::directory_iterator(ScratchFolder(), ignored)) {
    std::filesystem::permissions(item.path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(item.path(), ignored);
  }
}

// Names in the folder other than the ones given: files a write left behind.
// Files in the scratch folder other than the settings files a and b and their lock files (a
// settings file's ".lock" stays beside it by design: removing it would race with another writer).
inline int CountFilesOtherThan(const std::string& a, const std::string& b) {
  std::error_code ignored;
  int count = 0;
  for (const auto& item : std::filesystem::directory_iterator(ScratchFolder(), ignored)) {
    const std::string name = item.path().filename().string();
    if (name != a && name != b && name != a + ".lock" && name != b + ".lock") ++count;
  }
  return count;
}

}  // namespace zt::fuzzing
