// Holds our settings store to the Windows private-profile service it replaces: the same writes,
// from the same starting files, must leave the same bytes. Each case seeds two files alike, writes
// the guard's sequence through WritePrivateProfileStringA into one and through the store into the
// other, and compares them. Runs under Wine in the tests.
//
//   zt_profile_check.exe <empty folder>
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "platform/platform.h"

namespace {

struct Write {
  const char* section;
  const char* key;
  const char* value;
};

// The guard's own writes: a first start, a roll and a close-all's positions.
constexpr Write kGuardWrites[] = {
    {"SNAP", "Equity Snap", "1000.00"}, {"SNAP", "Initial Equity", "1000.00"},
    {"INDEX", "TPSet", "0"},            {"INDEX", "DDSet", "0"},
    {"INDEX", "TP", "1"},               {"INDEX", "DD", "2"},
    {"SNAP", "Equity Snap", "1250.50"}, {"INDEX", "TP", "0"},
};

// Starting files: none, the guard's own, and hand-edited ones (blanks, comments, other sections,
// names in other cases, a byte order mark, a missing last line end, duplicates).
constexpr const char* kSeeds[] = {
    nullptr,
    "[SNAP]\r\nEquity Snap=900.00\r\nInitial Equity=900.00\r\n[INDEX]\r\nTPSet=1\r\nTP=2\r\n",
    "; my notes\r\n\r\n  [snap]  \r\n equity snap = 5 \r\n\r\n[Mine]\r\nkeep=this\r\n",
    "\xEF\xBB\xBF[INDEX]\nDD=7\n[SNAP]\nInitial Equity=3\nInitial Equity=4",
    "orphan line\r\n[SNAP] trailing\r\nstray text\r\n[INDEX]\r\n\tTP\t=\t9\r\n\x1A",
};

bool Seed(const std::string& path, const char* text) {
  DeleteFileA(path.c_str());
  if (text == nullptr) return true;
  std::ofstream file(path, std::ios::binary);
  file << text;
  return static_cast<bool>(file.flush());
}

std::string Contents(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: zt_profile_check.exe <empty folder>\n";
    return 2;
  }
  const std::string service = std::string(argv[1]) + "\\service.ini";
  const std::string ours = std::string(argv[1]) + "\\store.ini";
  int failures = 0;
  int seedNumber = 0;
  for (const char* seed : kSeeds) {
    ++seedNumber;
    if (!Seed(service, seed) || !Seed(ours, seed)) {
      std::cerr << "cannot seed case " << seedNumber << '\n';
      return 2;
    }
    for (const Write& write : kGuardWrites) {
      WritePrivateProfileStringA(write.section, write.key, write.value, service.c_str());
      const zt::platform::ProfileEntry entry{write.key, write.value};
      zt::platform::WriteProfileStrings(ours.c_str(), write.section, &entry, 1);
      if (Contents(service) != Contents(ours)) {
        std::cerr << "case " << seedNumber << ", after " << write.section << "/" << write.key
                  << ":\n--- service\n" << Contents(service) << "\n--- store\n" << Contents(ours)
                  << '\n';
        ++failures;
        break;
      }
    }
  }
  std::cout << (failures == 0 ? "the store wrote what the service wrote in every case\n"
                              : "the store and the service disagree\n");
  return failures == 0 ? 0 : 1;
}
