// The settings-file store on arbitrary file bytes: the file a user edited by hand, a copy cut
// short, another program's binary. Every read must stay inside its 64-byte buffer and terminate
// its text; a write either fails and leaves the file byte for byte as it was, or succeeds, after
// which the written key reads back as it would from a fresh file, every other key reads as before,
// a repeat of the same write leaves the file alone, and no temporary file is left behind.
//
// Input: one byte choosing the written section and key, a short value, then the file's bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "fuzz_folder.h"
#include "platform/platform.h"
#include "settings/profile_store.h"

namespace {

using zt::settings::kProfileValueCapacity;

constexpr std::array<std::string_view, 5> kSections = {"SNAP", "INDEX", "", " snap ", "Other"};
constexpr std::array<std::string_view, 7> kKeys = {"Equity Snap", "Initial Equity", "TPSet", "TP",
                                                   "DDSet",       "DD",             " tp "};
constexpr int kProbes = static_cast<int>(kSections.size() * kKeys.size());
constexpr std::size_t kGuardBytes = 16;
constexpr char kGuardByte = '\x5A';
constexpr std::size_t kLongestValue = 96;  // longer than a read returns, so cuts are exercised

[[noreturn]] void Fail(const char* what, int probe = -1) {
  std::fprintf(stderr, "settings-file invariant broken: %s (probe %d)\n", what, probe);
  std::abort();
}

std::string_view SectionOf(int probe) { return kSections[static_cast<std::size_t>(probe) / kKeys.size()]; }
std::string_view KeyOf(int probe) { return kKeys[static_cast<std::size_t>(probe) % kKeys.size()]; }

// Names as the store matches them: blanks around them ignored, ASCII case ignored.
std::string Folded(std::string_view name) {
  std::string out;
  for (char c : name) {
    if (c != ' ') out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return out;
}

bool SameEntry(int a, int b) {
  return Folded(SectionOf(a)) == Folded(SectionOf(b)) && Folded(KeyOf(a)) == Folded(KeyOf(b));
}

// One read through a buffer with guard bytes behind its 64 bytes.
std::string Read(const std::string& path, int probe) {
  char out[kProfileValueCapacity + kGuardBytes];
  std::memset(out, kGuardByte, sizeof out);
  const int length =
      zt::settings::ReadProfileString(path.c_str(), SectionOf(probe), KeyOf(probe), "fallback", out);
  if (length < 0 || length >= kProfileValueCapacity) Fail("read length outside 0-63", probe);
  if (out[length] != '\0') Fail("read not terminated at its length", probe);
  for (std::size_t i = kProfileValueCapacity; i < sizeof out; ++i) {
    if (out[i] != kGuardByte) Fail("read wrote past its 64 bytes", probe);
  }
  zt::settings::ReadProfileInt(path.c_str(), SectionOf(probe), KeyOf(probe), -1);
  return std::string(out, static_cast<std::size_t>(length));
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void PutFile(const std::string& path, std::string_view bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) Fail("cannot create the test file");
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
    Fail("cannot write the test file");
  }
  std::fclose(file);
}

bool Write(const std::string& path, int probe, std::string_view value) {
  const zt::settings::ProfileEntry entry{KeyOf(probe), value};
  return zt::settings::WriteProfileStrings(path.c_str(), SectionOf(probe), &entry, 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const int written = input.ConsumeIntegralInRange<int>(0, kProbes - 1);
  const std::string value = input.ConsumeRandomLengthString(kLongestValue);
  const std::string bytes = input.ConsumeRemainingBytesAsString();

  const std::string& folder = zt::fuzzing::ScratchFolder();
  zt::fuzzing::ClearScratchFolder();
  const std::string path = folder + "/zentravo.ini";
  const std::string fresh = folder + "/fresh.ini";
  PutFile(path, bytes);

  std::array<std::string, kProbes> before;
  for (int probe = 0; probe < kProbes; ++probe) before[static_cast<std::size_t>(probe)] = Read(path, probe);

  if (!Write(path, written, value)) {
    if (FileBytes(path) != bytes) Fail("a failed write changed the file");
    if (zt::fuzzing::CountFilesOtherThan("zentravo.ini", "fresh.ini") != 0) {
      Fail("a failed write left a file behind");
    }
    return 0;
  }
  if (zt::fuzzing::CountFilesOtherThan("zentravo.ini", "fresh.ini") != 0) {
    Fail("a write left a temporary file behind");
  }

  // What the same write gives in a file that held nothing before.
  if (!Write(fresh, written, value)) Fail("a write into a new file failed where the old took it");
  for (int probe = 0; probe < kProbes; ++probe) {
    const std::string now = Read(path, probe);
    if (SameEntry(probe, written)) {
      if (now != Read(fresh, probe)) Fail("the written key does not read back", probe);
    } else if (now != before[static_cast<std::size_t>(probe)]) {
      Fail("a write changed another key", probe);
    }
  }

  const std::string after = FileBytes(path);
  if (!Write(path, written, value)) Fail("repeating a write failed");
  if (FileBytes(path) != after) Fail("repeating a write changed the file");
  return 0;
}
