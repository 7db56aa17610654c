// The fake disk behind the library's file services (platform/file_system.h), for the seam tests.
#include "fake_disk.h"

#include <cstring>

#include "platform/file_system.h"

namespace zt::testing::fake {
namespace {

// Made at its first use: the library looks at its folder while the program's statics are still
// being made.
Disk& OnlyDisk() {
  static Disk disk;
  return disk;
}

bool Before(std::uint64_t until) { return OnlyDisk().now < until; }
bool IsSettingsFile(const std::string& path) { return path.ends_with(".ini"); }
bool IsTemporary(const std::string& path) { return path.ends_with(".tmp"); }

}  // namespace

Disk& TheDisk() { return OnlyDisk(); }
void Reset() { OnlyDisk() = Disk{}; }

std::vector<std::string> FilesEndingWith(const std::string& ending) {
  std::vector<std::string> found;
  for (const auto& [path, text] : OnlyDisk().files) {
    if (path.ends_with(ending)) found.push_back(path);
  }
  return found;
}

}  // namespace zt::testing::fake

namespace zt::platform {
namespace {
testing::fake::Disk& Disk() { return testing::fake::TheDisk(); }
}  // namespace

namespace os {

FileProblem ReadWholeFile(const char* path, bool forWriting, char* buffer, std::size_t capacity,
                          std::size_t& length, FileFacts& facts) {
  (void)forWriting;
  facts = FileFacts{false, true, 0};
  length = 0;
  const std::string name = path;
  if (testing::fake::IsSettingsFile(name) && testing::fake::Before(Disk().readsRefusedUntil)) {
    return FileProblem::locked;
  }
  const auto file = Disk().files.find(name);
  if (file == Disk().files.end()) return FileProblem::none;
  facts.exists = true;
  if (file->second.size() > capacity) return FileProblem::tooLarge;
  std::memcpy(buffer, file->second.data(), file->second.size());
  length = file->second.size();
  return FileProblem::none;
}

FileProblem WriteTemporaryFile(const char* temporaryPath, std::string_view text,
                               const FileFacts& /*facts*/) {
  Disk().files[temporaryPath] = std::string(text);
  Disk().temporaryNames.emplace_back(temporaryPath);
  return FileProblem::none;
}

FileProblem WriteNewFile(const char* path, std::string_view bytes) {
  if (Disk().newFiles != FileProblem::none) return Disk().newFiles;
  return Disk().files.try_emplace(path, bytes).second ? FileProblem::none : FileProblem::exists;
}

FileProblem RenameOver(const char* temporaryPath, const char* path) {
  if (testing::fake::Before(Disk().replaceRefusedUntil)) return FileProblem::locked;
  if (Disk().replacesRefused > 0) {
    --Disk().replacesRefused;
    return FileProblem::locked;
  }
  const auto file = Disk().files.find(temporaryPath);
  if (file == Disk().files.end()) return FileProblem::failed;
  Disk().files[path] = file->second;
  Disk().files.erase(file);
  return FileProblem::none;
}

FileProblem WhyRefused(const char* /*path*/) {
  const bool refused = testing::fake::Before(Disk().replaceRefusedUntil);
  return refused && Disk().deleteDenied ? FileProblem::noPermission : FileProblem::locked;
}

LockHandle OpenLockFile(const char* lockPath, FileProblem& problem) {
  problem = FileProblem::none;
  if (testing::fake::Before(Disk().lockFileRefusedUntil)) {
    problem = FileProblem::locked;
    return kNoLock;
  }
  Disk().files[lockPath];
  return 1;
}

bool TryLock(LockHandle /*lock*/) {
  ++Disk().lockAttempts;
  return !testing::fake::Before(Disk().lockHeldUntil);
}

void ReleaseLock(LockHandle /*lock*/) {}

std::uint32_t ProcessId() { return 4242; }

bool HasEnded(std::uint32_t process) { return process != 4242; }

std::string_view PathSeparators() { return "/"; }

void VisitFolder(const char* folderPath, void (*visit)(std::string_view name, void* context),
                 void* context) {
  const std::string folder = std::string(folderPath) + "/";
  std::vector<std::string> names;
  for (const auto& [path, text] : Disk().files) {
    if (path.starts_with(folder) && path.find('/', folder.size()) == std::string::npos) {
      names.push_back(path.substr(folder.size()));
    }
  }
  for (const std::string& name : names) visit(name, context);
}

bool RemoveFile(const char* path) {
  const std::string name = path;
  if (testing::fake::IsTemporary(name) && testing::fake::Before(Disk().temporaryHeldUntil)) {
    return false;
  }
  Disk().files.erase(name);
  return true;
}

std::uint64_t MonotonicMs() { return Disk().now; }

void Pause() { Disk().now += Disk().pauseMs; }

}  // namespace os

bool WriteNewTextFile(const char* path, std::string_view text, FileProblem* problem) {
  ++Disk().newFileAttempts;
  FileProblem why = Disk().newFiles;
  if (why == FileProblem::none && Disk().files.count(path) != 0) why = FileProblem::exists;
  if (problem != nullptr) *problem = why;
  if (why != FileProblem::none) return false;
  Disk().files[path] = std::string(text);
  return true;
}

}  // namespace zt::platform
