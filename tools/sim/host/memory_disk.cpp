// The platform's file services (platform/file_system.h) over files in memory, for the engine
// zt-sim links in. One process runs one guard, so there is one disk, one writer and no lock to
// wait for.
#include "host/memory_disk.h"

#include <filesystem>
#include <map>
#include <stdexcept>
#include <vector>

#include "platform/file_system.h"
#include "system/output_files.h"
#include "system/paths.h"
#include "text_helpers.h"

namespace zt::sim::memory {
namespace {

namespace fs = std::filesystem;

// Never destroyed: the library's unload notification may still look at its files while the
// program's statics are being torn down.
std::map<std::string, std::string>& Files() {
  static auto* files = new std::map<std::string, std::string>;
  return *files;
}

bool IsGuardFile(const fs::path& path) {
  const std::string name = system::Utf8Of(path.filename());
  return name.starts_with("zentravo") && path.extension() != ".so" && path.extension() != ".dll";
}

}  // namespace

void Clear() { Files().clear(); }

std::string LoadFolder(const std::string& folder) {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(system::PathOf(folder), error)) {
    if (!entry.is_regular_file() || !IsGuardFile(entry.path())) continue;
    std::string text;
    const std::string path = folder + "/" + system::Utf8Of(entry.path().filename());
    if (!tools::ReadWholeFile(entry.path(), text)) return "cannot read " + path;
    Files()[path] = std::move(text);
  }
  return error ? "cannot read the folder " + folder + ": " + error.message() : "";
}

std::string SaveFolder(const std::string& folder) {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(system::PathOf(folder), error)) {
    if (entry.is_regular_file() && IsGuardFile(entry.path()) &&
        Files().count(folder + "/" + system::Utf8Of(entry.path().filename())) == 0) {
      fs::remove(entry.path(), error);
    }
  }
  const std::string prefix = folder + "/";
  try {
    for (const auto& [path, text] : Files()) {
      if (path.starts_with(prefix)) system::WriteWholeFile(path, text);
    }
  } catch (const std::runtime_error& failure) {
    return failure.what();
  }
  return error ? "cannot tidy the folder " + folder + ": " + error.message() : "";
}

}  // namespace zt::sim::memory

namespace zt::platform {
namespace {
std::map<std::string, std::string>& Files() { return sim::memory::Files(); }
}  // namespace

namespace os {

FileProblem ReadWholeFile(const char* path, bool /*forWriting*/, char* buffer, std::size_t capacity,
                          std::size_t& length, FileFacts& facts) {
  facts = FileFacts{false, true, 0};
  length = 0;
  const auto file = Files().find(path);
  if (file == Files().end()) return FileProblem::none;
  facts.exists = true;
  const std::string& text = file->second;
  if (text.size() > capacity) return FileProblem::tooLarge;
  length = text.copy(buffer, text.size());
  return FileProblem::none;
}

FileProblem WriteTemporaryFile(const char* temporaryPath, std::string_view text,
                               const FileFacts& /*facts*/) {
  Files()[temporaryPath] = std::string(text);
  return FileProblem::none;
}

FileProblem WriteNewFile(const char* path, std::string_view bytes) {
  return Files().try_emplace(path, bytes).second ? FileProblem::none : FileProblem::exists;
}

FileProblem RenameOver(const char* temporaryPath, const char* path) {
  const auto file = Files().find(temporaryPath);
  if (file == Files().end()) return FileProblem::failed;
  Files()[path] = std::move(file->second);
  Files().erase(temporaryPath);
  return FileProblem::none;
}

FileProblem WhyRefused(const char* /*path*/) { return FileProblem::failed; }

LockHandle OpenLockFile(const char* /*lockPath*/, FileProblem& problem) {
  problem = FileProblem::none;
  return 1;
}

// The one guard of the process holds the lock whenever it asks.
bool TryLock(LockHandle /*lock*/) { return true; }

void ReleaseLock(LockHandle /*lock*/) {}

// The files of folder, not those of the folders inside it. The map keeps its paths in order, so
// a folder's files stand together from its name on; they are named before any is visited, since a
// visit may remove one.
void VisitFolder(const char* folderPath, void (*visit)(std::string_view name, void* context),
                 void* context) {
  const std::string folder = std::string(folderPath) + "/";
  std::vector<std::string> names;
  for (auto file = Files().lower_bound(folder);
       file != Files().end() && file->first.starts_with(folder); ++file) {
    if (file->first.find('/', folder.size()) == std::string::npos)
      names.push_back(file->first.substr(folder.size()));
  }
  for (const std::string& name : names) visit(name, context);
}

bool RemoveFile(const char* path) {
  Files().erase(path);
  return true;
}

std::string_view PathSeparators() { return "/"; }

// One process, which never ends while it runs, and no time spent on the disk.
std::uint32_t ProcessId() { return 1; }

bool HasEnded(std::uint32_t process) { return process != 1; }

std::uint64_t MonotonicMs() { return 0; }

void Pause() {}

}  // namespace os

bool WriteNewTextFile(const char* path, std::string_view text, FileProblem* problem) {
  const bool exists = Files().count(path) != 0;
  if (problem != nullptr) *problem = exists ? FileProblem::exists : FileProblem::none;
  if (exists) return false;
  Files()[path] = std::string(text);
  return true;
}

}  // namespace zt::platform
