// Our private-profile (INI) store, the same on every platform: byte for byte what the Windows
// service writes (the text logic is in ini_text.cpp), but replacing a file in one step and keeping
// two writers apart, which the service cannot. This file holds the store's rules: what a read
// gives, how a read-modify-write takes the lock and starts from the file as it is, how long it
// keeps trying. The operating system's part (platform/file_system.h, each call one attempt) is in
// file_system_posix.cpp and file_system_win32.cpp; where a path really lies is the platform's
// ResolvePath.
//
// The library allocates nothing: the file images live in fixed static buffers, which also makes
// the store non-reentrant (the guard runs on one host thread). A file larger than the buffer is
// never touched: reads give the fallback and writes fail, because rewriting only the part we
// could hold would destroy the rest.
#include <charconv>
#include <cstdint>
#include <cstring>

#include "platform/file_system.h"
#include "platform/platform.h"
#include "settings/ini_text.h"
#include "settings/profile_store.h"

namespace zt::settings {
namespace {

namespace os = platform::os;
using platform::kPathCapacity;
using platform::ResolvePath;

// Copies text into out (capacity bytes, > 0), cut to fit, always terminated. Returns the number
// of characters copied: less than text.size() when the text was cut.
std::size_t CopyText(std::string_view text, char* out, std::size_t capacity) {
  const std::size_t length = text.size() < capacity ? text.size() : capacity - 1;
  if (length > 0) std::memcpy(out, text.data(), length);
  out[length] = '\0';
  return length;
}

// Where a caller does not ask why, the answer goes here.
FileProblem unasked = FileProblem::none;

// Largest settings file we read or write. The guard's own file is under 200 bytes; this leaves
// room for hand-edited files with very long lines while keeping the static footprint modest.
constexpr std::size_t kProfileFileCapacity = std::size_t{4} << 20;

// What a temporary file's name adds to the settings file's: ".<process id>-<attempt>.tmp", so
// that two processes never write into the same one, no attempt meets a file an earlier one left
// (which a virus scanner may still hold), and a leftover names the process that left it.
constexpr std::string_view kTemporarySuffix = ".tmp";

// What the lock file's name adds to the settings file's. The lock file stays once made: removing
// it could let a second writer lock a new file while a third still holds the old one.
constexpr std::string_view kLockSuffix = ".lock";

// The attempts of this process so far, which number its temporary files.
std::uint32_t temporaryAttempts = 0;
// A temporary file of ours could not be removed after a failed attempt: the next write that lands
// clears this process's leftovers (and those of ended writers) from the folder, and every later
// one again while one of ours is still there.
bool ownLeftovers = false;

// A moment that many milliseconds from now on the monotonic clock.
struct Deadline {
  std::uint64_t at;
};
Deadline DeadlineIn(int waitMs) {
  return Deadline{os::MonotonicMs() + static_cast<std::uint64_t>(waitMs < 0 ? 0 : waitMs)};
}
bool Passed(Deadline deadline) { return os::MonotonicMs() >= deadline.at; }

// Two file images: the one read from disk, and the rewrite (see ini::ApplyWrites).
char images[2][kProfileFileCapacity];
char temporaryPath[kPathCapacity];
char lockPath[kPathCapacity];

// Reads the whole file at path into images[0], trying again while another program holds it,
// until deadline.
FileProblem ReadWithin(const char* path, bool forWriting, Deadline deadline, std::size_t& length,
                       os::FileFacts& facts) {
  for (;;) {
    const FileProblem problem =
        os::ReadWholeFile(path, forWriting, images[0], kProfileFileCapacity, length, facts);
    if (problem != FileProblem::locked || Passed(deadline)) return problem;
    os::Pause();
  }
}

// Reads the file at path for reading only. False when it is missing (problem none) or cannot be
// read (problem says why), and for a UTF-16 file, whose text the store does not read
// (foreignText).
bool LoadForReading(const char* path, int waitMs, std::string_view& image, FileProblem& problem) {
  problem = FileProblem::none;
  if (path == nullptr || *path == '\0') return false;
  path = ResolvePath(path);
  if (path == nullptr) {
    problem = FileProblem::failed;
    return false;
  }
  std::size_t length = 0;
  os::FileFacts facts{};
  problem = ReadWithin(path, false, DeadlineIn(waitMs), length, facts);
  image = std::string_view(images[0], length);
  if (problem == FileProblem::none && ini::IsUtf16(image)) problem = FileProblem::foreignText;
  return problem == FileProblem::none && facts.exists;
}

// path + suffix into out (kPathCapacity bytes). False when it does not fit.
bool MakeSiblingPath(const char* path, std::string_view suffix, char* out) {
  const std::size_t length = std::strlen(path);
  if (length + suffix.size() >= kPathCapacity) return false;
  std::memcpy(out, path, length);
  std::memcpy(out + length, suffix.data(), suffix.size());
  out[length + suffix.size()] = '\0';
  return true;
}

// A fresh temporary file beside path: path.<process id>-<attempt>.tmp. False when the name does
// not fit.
bool MakeTemporaryPath(const char* path) {
  const std::size_t length = std::strlen(path);
  char* const end = temporaryPath + kPathCapacity;
  if (length + 1 >= kPathCapacity) return false;
  std::memcpy(temporaryPath, path, length);
  char* cursor = temporaryPath + length;
  *cursor++ = '.';
  const std::to_chars_result process = std::to_chars(cursor, end, os::ProcessId());
  if (process.ec != std::errc{} || process.ptr == end) return false;
  *process.ptr = '-';
  const std::to_chars_result attempt = std::to_chars(process.ptr + 1, end, ++temporaryAttempts);
  if (attempt.ec != std::errc{}) return false;
  if (static_cast<std::size_t>(end - attempt.ptr) < kTemporarySuffix.size() + 1) return false;
  std::memcpy(attempt.ptr, kTemporarySuffix.data(), kTemporarySuffix.size());
  attempt.ptr[kTemporarySuffix.size()] = '\0';
  return true;
}

// The process id in a temporary file's name, "<settings file name>.<digits>[-<digits>].tmp"; 0
// when name is not one of ours.
std::uint32_t WriterOf(std::string_view name, std::string_view settingsName) {
  if (!name.starts_with(settingsName) || !name.ends_with(kTemporarySuffix)) return 0;
  name.remove_prefix(settingsName.size());
  name.remove_suffix(kTemporarySuffix.size());
  if (name.size() < 2 || name.front() != '.') return 0;
  name.remove_prefix(1);
  const std::size_t dash = name.find('-');
  if (dash != std::string_view::npos) {
    const std::string_view attempt = name.substr(dash + 1);
    if (attempt.empty() || attempt.find_first_not_of("0123456789") != std::string_view::npos) {
      return 0;
    }
    name = name.substr(0, dash);
  }
  std::uint32_t writer = 0;
  const auto [stop, error] = std::from_chars(name.data(), name.data() + name.size(), writer);
  if (error != std::errc{} || stop != name.data() + name.size() || writer == 0) return 0;
  return writer;
}

// Puts the temporary file in place of the file at path, trying again while another program holds
// it, until deadline; a replace still refused then is asked why.
FileProblem RenameWithin(const char* path, Deadline deadline) {
  for (;;) {
    const FileProblem problem = os::RenameOver(temporaryPath, path);
    if (problem != FileProblem::locked) return problem;
    if (Passed(deadline)) return os::WhyRefused(path);
    os::Pause();
  }
}

// Puts text in place of the file at path through a fresh temporary file, trying the replace again
// while another program holds the file, until deadline. A replace still refused then is told
// apart: a holder (locked, to be tried again later) from a refusal for good (no permission,
// read-only), which no waiting mends.
FileProblem Replace(const char* path, std::string_view text, const os::FileFacts& facts,
                    Deadline deadline) {
  if (!MakeTemporaryPath(path)) return FileProblem::failed;
  FileProblem problem = os::WriteTemporaryFile(temporaryPath, text, facts);
  if (problem == FileProblem::none) problem = RenameWithin(path, deadline);
  if (problem != FileProblem::none && !os::RemoveFile(temporaryPath)) ownLeftovers = true;
  return problem;
}

// One read-modify-write's first two steps: the file at path read, the entries applied.
struct Rewrite {
  FileProblem problem;    // none: text holds the new file, or is empty when nothing changes
  std::string_view text;  // inside images
  os::FileFacts facts;    // of the file as it was read
};

// The entries are either count entries of section, or (writes not null) count writes across
// sections.
Rewrite RewriteOf(const char* path, bool forWriting, std::string_view section,
                  const ProfileEntry* entries, const ProfileWrite* writes, int count,
                  Deadline deadline) {
  Rewrite rewrite{FileProblem::none, {}, {}};
  std::size_t length = 0;
  rewrite.problem = ReadWithin(path, forWriting, deadline, length, rewrite.facts);
  if (rewrite.problem != FileProblem::none) return rewrite;
  const ini::WorkBuffers buffers{images[0], images[1], kProfileFileCapacity};
  const ini::WriteOutcome outcome =
      writes != nullptr
          ? ini::ApplyWritesAcross(buffers, length, writes, count, rewrite.text)
          : ini::ApplyWrites(buffers, length, section, entries, count, rewrite.text);
  switch (outcome) {
    case ini::WriteOutcome::unchanged:
    case ini::WriteOutcome::changed:
      break;
    case ini::WriteOutcome::refused:
      rewrite.problem = ini::IsUtf16(std::string_view(images[0], length)) ? FileProblem::foreignText
                                                                          : FileProblem::failed;
      break;
    case ini::WriteOutcome::tooLarge:
      rewrite.problem = FileProblem::tooLarge;
      break;
  }
  return rewrite;
}

// Whether the file at path, read without the lock and without waiting, already holds what the
// entries would write.
bool AlreadyHolds(const char* path, std::string_view section, const ProfileEntry* entries,
                  const ProfileWrite* writes, int count) {
  const Rewrite look = RewriteOf(path, false, section, entries, writes, count, DeadlineIn(0));
  return look.problem == FileProblem::none && look.facts.exists && look.text.empty();
}

// One read-modify-write of the file at path under the lock: WriteProfileStrings and
// WriteProfile.
bool WriteEntries(const char* path, std::string_view section, const ProfileEntry* entries,
                  const ProfileWrite* writes, int count, WriteManner manner, FileProblem& result) {
  if (path == nullptr || *path == '\0' || count < 0) return false;
  const char* const given = path;
  path = ResolvePath(path);
  if (path == nullptr) return false;
  if (manner.expectUnchanged && AlreadyHolds(path, section, entries, writes, count)) {
    result = FileProblem::none;
    return true;
  }
  const Deadline deadline = DeadlineIn(manner.waitMs);
  // Under the lock, from the file as it is now (another process may have rewritten it since our
  // last look), so that two writers never lose each other's keys. The lock comes first: a second
  // look at the file after taking it would cost a whole read again. There is no write without
  // the lock: a lock file that cannot be opened holds the write back, as a held lock does.
  result = FileProblem::none;
  if (!MakeSiblingPath(path, kLockSuffix, lockPath)) {
    result = FileProblem::failed;
    return false;
  }
  const os::LockHandle lock = os::OpenLockFile(lockPath, result);
  if (lock == os::kNoLock) {
    if (result == FileProblem::none) result = FileProblem::failed;
    return false;
  }
  while (!os::TryLock(lock)) {
    if (Passed(deadline)) {
      os::ReleaseLock(lock);
      result = FileProblem::locked;
      return false;
    }
    os::Pause();
  }
  const Rewrite rewrite = RewriteOf(path, true, section, entries, writes, count, deadline);
  result = rewrite.problem;
  if (result == FileProblem::none && !rewrite.text.empty()) {
    result = rewrite.facts.writable ? Replace(path, rewrite.text, rewrite.facts, deadline)
                                    : FileProblem::readOnly;
  }
  os::ReleaseLock(lock);
  if (result == FileProblem::none && ownLeftovers) {
    ownLeftovers = false;
    RemoveAbandonedWrites(given);
  }
  return result == FileProblem::none;
}

// RemoveAbandonedWrites' walk over the settings file's folder.
struct LeftoverSearch {
  std::string_view settingsName;
  std::string_view folder;  // with its closing separator
};

void RemoveIfAbandoned(std::string_view name, void* context) {
  const LeftoverSearch& search = *static_cast<const LeftoverSearch*>(context);
  const std::uint32_t writer = WriterOf(name, search.settingsName);
  // Our own id cannot be a write in progress, since this runs between calls; it is a leftover of
  // an earlier process that had the same id.
  if (writer == 0 || (writer != os::ProcessId() && !os::HasEnded(writer))) return;
  if (search.folder.size() + name.size() >= kPathCapacity) return;
  std::memcpy(temporaryPath, search.folder.data(), search.folder.size());
  std::memcpy(temporaryPath + search.folder.size(), name.data(), name.size());
  temporaryPath[search.folder.size() + name.size()] = '\0';
  // One of ours that a scanner still holds goes at a later write that lands.
  if (!os::RemoveFile(temporaryPath) && writer == os::ProcessId()) ownLeftovers = true;
}

}  // namespace

int ReadProfileString(const char* path, std::string_view section, std::string_view key,
                      std::string_view fallback, char* out, FileProblem* problem, int waitMs) {
  FileProblem& result = problem != nullptr ? *problem : unasked;
  std::string_view value = ini::TrimEnd(fallback);  // the service trims only the fallback's end
  std::string_view image;
  if (LoadForReading(path, waitMs, image, result)) {
    const ini::Found found = ini::FindValue(image, section, key);
    if (found.found) value = found.value;
  }
  return static_cast<int>(CopyText(value, out, static_cast<std::size_t>(kProfileValueCapacity)));
}

FileProblem ProfileReadable(const char* path) {
  FileProblem problem = FileProblem::none;
  std::string_view image;
  LoadForReading(path, 0, image, problem);
  return problem;
}

int ReadProfileInt(const char* path, std::string_view section, std::string_view key,
                   int fallback, FileProblem* problem) {
  char text[kProfileValueCapacity];
  const int length = ReadProfileString(path, section, key, "", text, problem);
  return ini::IntegerOf(std::string_view(text, static_cast<std::size_t>(length)), fallback);
}

bool WriteProfileStrings(const char* path, std::string_view section, const ProfileEntry* entries,
                         int count, FileProblem* problem) {
  FileProblem& result = problem != nullptr ? *problem : unasked;
  result = FileProblem::failed;
  if (count > 0 && entries == nullptr) return false;
  return WriteEntries(path, section, entries, nullptr, count, WriteManner{}, result);
}

bool WriteProfile(const char* path, const ProfileWrite* writes, int count, FileProblem* problem,
                  WriteManner manner) {
  FileProblem& result = problem != nullptr ? *problem : unasked;
  result = FileProblem::failed;
  if (count > 0 && writes == nullptr) return false;
  return WriteEntries(path, {}, nullptr, writes, count, manner, result);
}

bool CopyProfile(const char* path, const char* copyPath, FileProblem* problem, int waitMs) {
  FileProblem& result = problem != nullptr ? *problem : unasked;
  result = FileProblem::failed;
  if (path == nullptr || *path == '\0' || copyPath == nullptr) return false;
  path = ResolvePath(path);
  if (path == nullptr) return false;
  std::size_t length = 0;
  os::FileFacts facts{};
  result = ReadWithin(path, false, DeadlineIn(waitMs), length, facts);
  if (result != FileProblem::none || !facts.exists) return false;
  copyPath = ResolvePath(copyPath);
  if (copyPath == nullptr) {
    result = FileProblem::failed;
    return false;
  }
  result = os::WriteNewFile(copyPath, std::string_view(images[0], length));
  return result == FileProblem::none;
}

void RemoveAbandonedWrites(const char* path) {
  if (path == nullptr || *path == '\0') return;
  path = ResolvePath(path);
  if (path == nullptr) return;
  const std::string_view whole(path);
  const std::size_t slash = whole.find_last_of(os::PathSeparators());
  if (slash == std::string_view::npos || slash + 1 >= whole.size()) return;
  // The folder's path, through the lock-path buffer that no write is using now ("/" for the root).
  const std::string_view folderPath = whole.substr(0, slash == 0 ? 1 : slash);
  if (CopyText(folderPath, lockPath, kPathCapacity) < folderPath.size()) return;
  LeftoverSearch search{whole.substr(slash + 1), whole.substr(0, slash + 1)};
  os::VisitFolder(lockPath, RemoveIfAbandoned, &search);
}

}  // namespace zt::settings
