// Holds our settings store to the Windows private-profile service it replaces: the same writes,
// from the same starting files, must leave the same bytes. Each case seeds two files alike, writes
// the guard's sequence through WritePrivateProfileStringA into one and through the store into the
// other, and compares them. Then two copies of this program write distinct keys into one file at
// once, while this one holds the lock file open for reading and the settings file without delete
// sharing in bursts, and every key of both must be there. (What the guard does with a settings file
// another program holds or marks read-only is shown through the DLL:
// tests/scripts/held_settings.zts and read_only_settings.zts.) Runs under Wine in the tests.
//
//   zt_profile_check.exe <empty folder>
//   zt_profile_check.exe <empty folder> <settings file> <writer letter>    (one of the writers)
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "platform/platform.h"
#include "settings/profile_store.h"
#include "text_helpers.h"

namespace {

struct Write {
  const char* section;
  const char* key;
  const char* value;
};

// The guard's own writes: a first start, a roll and a close-all's positions.
constexpr Write kGuardWrites[] = {
    {"SNAP", "Equity Snap", "1000.00"},
    {"SNAP", "Initial Equity", "1000.00"},
    {"INDEX", "TPSet", "0"},
    {"INDEX", "DDSet", "0"},
    {"INDEX", "TP", "1"},
    {"INDEX", "DD", "2"},
    {"SNAP", "Equity Snap", "1250.50"},
    {"INDEX", "TP", "0"},
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

std::string Contents(const std::string& path) { return zt::tools::ReadWholeFile(path); }

constexpr int kWriterKeys = 60;

std::string KeyOf(char writer, int key) { return std::string(1, writer) + std::to_string(key); }

// One writer: kWriterKeys keys, each tried again while the seam reports the lock held (as the
// guard does at its later calls). Exit status 0 when every key landed.
int RunWriter(const char* path, char writer) {
  for (int key = 0; key < kWriterKeys; ++key) {
    const std::string name = KeyOf(writer, key);
    const std::string value = std::to_string(key);
    const zt::settings::ProfileEntry entry{name, value};
    zt::platform::FileProblem problem = zt::platform::FileProblem::locked;
    for (int attempt = 0; attempt < 1000 && problem == zt::platform::FileProblem::locked;
         ++attempt) {
      zt::settings::WriteProfileStrings(path, key % 2 == 0 ? "SNAP" : "INDEX", &entry, 1, &problem);
    }
    if (problem != zt::platform::FileProblem::none) {
      std::cerr << "writer " << writer << ", key " << key << ": problem "
                << static_cast<int>(problem) << ", error " << GetLastError() << '\n';
      return 1;
    }
  }
  return 0;
}

// What other programs on a trader's machine do to the files while the guard writes: a backup or
// sync tool keeps the lock file open for reading (sharing only reading) the whole time, and a
// virus scanner opens the settings file without delete sharing in bursts of 100 ms, so that
// every replace meanwhile is refused.
struct Interference {
  std::string settings;
  volatile LONG stop = 0;
  int bursts = 0;
};

DWORD WINAPI ScanInBursts(void* context) {
  Interference& interference = *static_cast<Interference*>(context);
  while (InterlockedCompareExchange(&interference.stop, 0, 0) == 0) {
    const HANDLE held =
        CreateFileA(interference.settings.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    Sleep(100);
    if (held != INVALID_HANDLE_VALUE) {
      CloseHandle(held);
      ++interference.bursts;
    }
    Sleep(30);
  }
  return 0;
}

// Every key both writers wrote, and the trader's own line, still in the file at path.
bool KeptEveryKey(const std::string& path) {
  char value[zt::settings::kProfileValueCapacity];
  for (const char writer : {'a', 'b'}) {
    for (int key = 0; key < kWriterKeys; ++key) {
      zt::settings::ReadProfileString(path.c_str(), key % 2 == 0 ? "SNAP" : "INDEX",
                                      KeyOf(writer, key), "lost", value);
      if (std::string(value) != std::to_string(key)) {
        std::cerr << "key " << KeyOf(writer, key) << " lost:\n" << Contents(path) << '\n';
        return false;
      }
    }
  }
  zt::settings::ReadProfileString(path.c_str(), "Mine", "keep", "", value);
  return std::string(value) == "this";
}

// Two writers at once on one file, with the interference above; true when neither lost a key of
// the other's and the trader's own lines survived.
bool TwoWriters(const std::string& folder) {
  const std::string path = folder + "\\shared.ini";
  Seed(path, "[Mine]\r\nkeep=this\r\n");
  const HANDLE backup = CreateFileA((path + ".lock").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (backup == INVALID_HANDLE_VALUE) {
    std::cerr << "cannot hold the lock file open\n";
    return false;
  }
  Interference interference;
  interference.settings = path;
  const HANDLE scanner = CreateThread(nullptr, 0, ScanInBursts, &interference, 0, nullptr);
  PROCESS_INFORMATION writers[2]{};
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  for (int writer = 0; writer < 2; ++writer) {
    std::string command = std::string("\"") + self + "\" \"" + folder + "\" \"" + path + "\" " +
                          static_cast<char>('a' + writer);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &writers[writer]) == FALSE) {
      std::cerr << "cannot start a writer\n";
      return false;
    }
  }
  bool whole = true;
  for (const PROCESS_INFORMATION& writer : writers) {
    WaitForSingleObject(writer.hProcess, INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(writer.hProcess, &status);
    whole = whole && status == 0;
    CloseHandle(writer.hProcess);
    CloseHandle(writer.hThread);
  }
  InterlockedExchange(&interference.stop, 1);
  if (scanner != nullptr) {
    WaitForSingleObject(scanner, INFINITE);
    CloseHandle(scanner);
  }
  CloseHandle(backup);
  if (!whole) std::cerr << "a writer's write failed\n";
  if (interference.bursts == 0) {
    std::cerr << "the scanner never held the file: the check proves nothing\n";
    whole = false;
  }
  std::cout << "the scanner held the settings file " << interference.bursts << " times\n";
  return KeptEveryKey(path) && whole;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4) return RunWriter(argv[2], argv[3][0]);
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
      const zt::settings::ProfileEntry entry{write.key, write.value};
      zt::settings::WriteProfileStrings(ours.c_str(), write.section, &entry, 1);
      if (Contents(service) != Contents(ours)) {
        std::cerr << "case " << seedNumber << ", after " << write.section << "/" << write.key
                  << ":\n--- service\n"
                  << Contents(service) << "\n--- store\n"
                  << Contents(ours) << '\n';
        ++failures;
        break;
      }
    }
  }
  std::cout << (failures == 0 ? "the store wrote what the service wrote in every case\n"
                              : "the store and the service disagree\n");
  const bool shared = TwoWriters(argv[1]);
  std::cout << (shared ? "two writers at once kept every key of both\n"
                       : "two writers at once lost keys\n");
  return failures == 0 && shared ? 0 : 1;
}
