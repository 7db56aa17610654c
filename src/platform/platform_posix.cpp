// The platform seam on Linux and other POSIX systems. The settings file is kept by our own
// private-profile store: the INI text logic is in ini_text.cpp, and this file only loads a file
// into memory and replaces it safely. Mirrors platform_win32.cpp: same order, same helpers.
//
// The library allocates nothing: the file images live in fixed static buffers, which also makes
// the store non-reentrant (the guard runs on one host thread). A file larger than the buffer is
// never touched: reads give the fallback and writes fail, because rewriting only the part we
// could hold would destroy the rest.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>  // rename only
#include <cstring>
#include <ctime>

#include "platform/fixed_clock.h"
#include "platform/ini_text.h"
#include "platform/platform.h"

namespace zt::platform {
namespace {

// ---- Module start-up ----

// Runs when the shared library is loaded (and at start of a program linking the static library).
// The C library reads the time-zone rules, into memory it allocates, at the first local-time
// conversion of the process; loading them here keeps that allocation out of the host's calls.
__attribute__((constructor)) void LoadTimeZoneRules() { tzset(); }

// ---- Helpers ----

// Copies text into out (capacity bytes, > 0), cut to fit, always terminated. Returns the number
// of characters copied: less than text.size() when the text was cut.
std::size_t CopyText(std::string_view text, char* out, std::size_t capacity) {
  const std::size_t length = text.size() < capacity ? text.size() : capacity - 1;
  if (length > 0) std::memcpy(out, text.data(), length);
  out[length] = '\0';
  return length;
}

// ---- Paths ----

// The location KeepFullLocation remembers, and the path a file service opens.
char keptShortForm[kPathCapacity];
char keptFullForm[kPathCapacity];
char resolvedPath[kPathCapacity];

// The path a file service opens for path: the kept full location where path starts with its
// short form, else path itself. Null when the result does not fit.
const char* Resolve(const char* path) {
  const std::string_view given(path);
  const std::string_view shortForm(keptShortForm);
  if (shortForm.empty() || !given.starts_with(shortForm)) return path;
  const std::string_view fullForm(keptFullForm);
  const std::string_view rest = given.substr(shortForm.size());
  if (fullForm.size() + rest.size() >= kPathCapacity) return nullptr;
  std::memcpy(resolvedPath, fullForm.data(), fullForm.size());
  std::memcpy(resolvedPath + fullForm.size(), rest.data(), rest.size());
  resolvedPath[fullForm.size() + rest.size()] = '\0';
  return resolvedPath;
}

// Writes all of text to an open file, resuming after signals and short writes.
bool WriteAll(int file, std::string_view text) {
  while (!text.empty()) {
    const ssize_t put = write(file, text.data(), text.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(put));
  }
  return true;
}

// What a failed file call's error means for the guard.
FileProblem ProblemOf(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
      return FileProblem::readOnly;
    case EAGAIN:
    case ETXTBSY:
      return FileProblem::locked;
    default:
      return FileProblem::failed;
  }
}

// Where a caller does not ask why, the answer goes here.
FileProblem unasked = FileProblem::none;

// ---- Private-profile (INI) files ----

// Largest settings file we read or write. The guard's own file is under 200 bytes; this leaves
// room for hand-edited files with very long lines while keeping the static footprint modest.
constexpr std::size_t kProfileFileCapacity = std::size_t{4} << 20;

// Longest path of the temporary file, NUL included.
constexpr std::size_t kProfilePathCapacity = kPathCapacity;

// Permissions of a file we create; the process umask applies on top.
constexpr mode_t kNewFileMode = 0666;

// What a temporary file's name adds to the settings file's: ".<process id>.tmp".
constexpr std::string_view kTemporarySuffix = ".tmp";

// What the lock file's name adds to the settings file's. The lock file stays once made: removing
// it could let a second writer lock a new file while a third still holds the old one.
constexpr std::string_view kLockSuffix = ".lock";

// Longest wait for another process's lock, in milliseconds, polled every millisecond. A write is
// the guard's answer to an event (a close-all, a step), on the host's tick thread: a writer holds
// the lock for one small file's rewrite, well under this.
constexpr int kLockWaitMs = 20;

// Two file images: the one read from disk, and the rewrite (see ini::ApplyWrites).
char images[2][kProfileFileCapacity];
char temporaryPath[kProfilePathCapacity];
char lockPath[kProfilePathCapacity];

// Reads the whole open file into buffer. Fails when it is not a regular file, is larger than the
// buffer (tooLarge) or cannot be read. mode receives its permission bits.
FileProblem ReadWhole(int file, char* buffer, std::size_t& length, mode_t& mode) {
  struct stat status {};
  if (fstat(file, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size < 0) {
    return FileProblem::failed;
  }
  if (static_cast<std::uintmax_t>(status.st_size) > kProfileFileCapacity) {
    return FileProblem::tooLarge;
  }
  mode = status.st_mode & 0777;
  const std::size_t wanted = static_cast<std::size_t>(status.st_size);
  length = 0;
  while (length < wanted) {
    const ssize_t got = read(file, buffer + length, wanted - length);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return ProblemOf(errno);
    if (got == 0) break;  // the file shrank since fstat
    length += static_cast<std::size_t>(got);
  }
  return FileProblem::none;
}

// Opens and reads the file at path for reading only. False when it is missing or unusable.
bool LoadForReading(const char* path, std::string_view& image) {
  if (path == nullptr || *path == '\0') return false;
  path = Resolve(path);
  if (path == nullptr) return false;
  const int file = open(path, O_RDONLY | O_CLOEXEC);
  if (file < 0) return false;
  std::size_t length = 0;
  mode_t mode = 0;
  const bool loaded = ReadWhole(file, images[0], length, mode) == FileProblem::none;
  close(file);
  image = std::string_view(images[0], length);
  return loaded && !ini::IsUtf16(image);
}

// The temporary file beside path: path.<process id>.tmp, so that two processes never write into
// the same one. False when the name does not fit.
bool MakeTemporaryPath(const char* path) {
  const std::size_t length = std::strlen(path);
  char* const end = temporaryPath + kProfilePathCapacity;
  if (length + 1 >= kProfilePathCapacity) return false;
  std::memcpy(temporaryPath, path, length);
  char* cursor = temporaryPath + length;
  *cursor++ = '.';
  const std::to_chars_result digits = std::to_chars(cursor, end, getpid());
  if (digits.ec != std::errc{}) return false;
  if (static_cast<std::size_t>(end - digits.ptr) < kTemporarySuffix.size() + 1) return false;
  std::memcpy(digits.ptr, kTemporarySuffix.data(), kTemporarySuffix.size());
  digits.ptr[kTemporarySuffix.size()] = '\0';
  return true;
}

// Replaces the file at path by text through a flushed temporary file, so a crash leaves either
// the old file or the new one, never a part of one. A new file gets kNewFileMode less the umask;
// an existing file's permission bits (keptMode) survive exactly. On failure the temporary file is
// removed and the old file is unchanged.
FileProblem ReplaceWholeFile(const char* path, std::string_view text, const mode_t* keptMode) {
  if (!MakeTemporaryPath(path)) return FileProblem::failed;
  const int file =
      open(temporaryPath, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, kNewFileMode);
  if (file < 0) return ProblemOf(errno);
  bool written = (keptMode == nullptr || fchmod(file, *keptMode) == 0) && WriteAll(file, text) &&
                 fsync(file) == 0;
  int error = written ? 0 : errno;
  if (close(file) != 0 && written) {
    written = false;
    error = errno;
  }
  if (written && std::rename(temporaryPath, path) == 0) return FileProblem::none;
  if (written) error = errno;
  unlink(temporaryPath);
  return ProblemOf(error);
}

// path + suffix into out (kProfilePathCapacity bytes). False when it does not fit.
bool MakeSiblingPath(const char* path, std::string_view suffix, char* out) {
  const std::size_t length = std::strlen(path);
  if (length + suffix.size() >= kProfilePathCapacity) return false;
  std::memcpy(out, path, length);
  std::memcpy(out + length, suffix.data(), suffix.size());
  out[length + suffix.size()] = '\0';
  return true;
}

// Takes the lock of the settings file at path across processes: an exclusive record lock on its
// lock file, waiting at most waitMs for another holder. Returns the lock file's descriptor
// (closing it lets go), or -1: with problem locked when another process kept it, none when no
// lock file can be made (a folder we may not write, where the rewrite cannot land either).
int TakeLock(const char* path, int waitMs, FileProblem& problem) {
  problem = FileProblem::none;
  if (!MakeSiblingPath(path, kLockSuffix, lockPath)) return -1;
  const int file = open(lockPath, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, kNewFileMode);
  if (file < 0) return -1;
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  for (int waited = 0;; ++waited) {
    if (fcntl(file, F_SETLK, &lock) == 0) return file;
    if (errno == EINTR) continue;
    if ((errno != EACCES && errno != EAGAIN) || waited >= waitMs) break;
    const timespec pause{0, 1000000};
    nanosleep(&pause, nullptr);
  }
  problem = errno == EACCES || errno == EAGAIN ? FileProblem::locked : FileProblem::failed;
  close(file);
  return -1;
}

// The process id in a temporary file's name, "<settings file name>.<digits>.tmp"; 0 when name is
// not one of ours.
pid_t WriterOf(std::string_view name, std::string_view settingsName) {
  if (!name.starts_with(settingsName) || !name.ends_with(kTemporarySuffix)) return 0;
  name.remove_prefix(settingsName.size());
  name.remove_suffix(kTemporarySuffix.size());
  if (name.size() < 2 || name.front() != '.') return 0;
  name.remove_prefix(1);
  pid_t writer = 0;
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), writer);
  if (error != std::errc{} || end != name.data() + name.size() || writer <= 0) return 0;
  return writer;
}

// One read-modify-write's first two steps: the file at path read, the entries applied.
struct Rewrite {
  FileProblem problem;    // none: text holds the new file, or is empty when nothing changes
  std::string_view text;  // inside images
  bool exists;            // the file was there
  bool writable;          // and we may write it
  mode_t mode;            // its permission bits
};

// The entries are either count entries of section, or (writes not null) count writes across
// sections.
Rewrite RewriteOf(const char* path, std::string_view section, const ProfileEntry* entries,
                  const ProfileWrite* writes, int count) {
  Rewrite rewrite{FileProblem::none, {}, false, true, 0};
  // A file we may read but not write can still take a write that changes nothing.
  int file = open(path, O_RDWR | O_CLOEXEC);
  if (file < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
    rewrite.writable = false;
    file = open(path, O_RDONLY | O_CLOEXEC);
  }
  std::size_t length = 0;
  rewrite.exists = file >= 0;
  if (rewrite.exists) {
    rewrite.problem = ReadWhole(file, images[0], length, rewrite.mode);
    close(file);
    if (rewrite.problem != FileProblem::none) return rewrite;
  } else if (errno != ENOENT) {
    rewrite.problem = ProblemOf(errno);
    return rewrite;  // a missing file is created; a missing folder fails when we create the file
  }
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

// One read-modify-write of the file at path under the lock: WriteProfileStrings and
// WriteProfile.
bool WriteEntries(const char* path, std::string_view section, const ProfileEntry* entries,
                  const ProfileWrite* writes, int count, int waitMs, FileProblem& result) {
  if (path == nullptr || *path == '\0' || count < 0) return false;
  path = Resolve(path);
  if (path == nullptr) return false;
  // Most writes change nothing (the guard writes a value whenever it may have changed): those
  // need neither the lock nor write access.
  Rewrite rewrite = RewriteOf(path, section, entries, writes, count);
  if (rewrite.problem != FileProblem::none || rewrite.text.empty()) {
    result = rewrite.problem;
    return result == FileProblem::none;
  }
  if (!rewrite.writable) {
    result = FileProblem::readOnly;
    return false;
  }
  // A change: under the lock, from the file as it is now (another process may have rewritten
  // it since), so that two writers never lose each other's keys.
  const int lock = TakeLock(path, waitMs, result);
  if (result != FileProblem::none) return false;
  rewrite = RewriteOf(path, section, entries, writes, count);
  result = rewrite.problem;
  if (result == FileProblem::none && !rewrite.text.empty()) {
    result = rewrite.writable
                 ? ReplaceWholeFile(path, rewrite.text, rewrite.exists ? &rewrite.mode : nullptr)
                 : FileProblem::readOnly;
  }
  if (lock >= 0) close(lock);
  return result == FileProblem::none;
}

// ---- Terminal windows ----
//
// Linux has no terminal windows, so a host names the two titles InitZT reads for a chart. Each
// chart handle gets a row; its frame and main windows get made-up handles that encode the row:
// frame = kFrameBase + row, main = kMainBase + row.

constexpr int kKnownCharts = 8;         // charts a host may name
constexpr std::size_t kTitleSize = 256; // a terminal's title buffer
constexpr int kFrameBase = 0x7A000000;  // made-up frame handles
constexpr int kMainBase = 0x7B000000;   // made-up main-window handles

struct ChartTitles {
  bool used;
  int chart;
  char frameTitle[kTitleSize];
  char mainTitle[kTitleSize];
};

std::array<ChartTitles, kKnownCharts> charts{};
int nextChartRow = 0;

int RowOf(int window, int base) {
  if (window < base) return -1;  // before the subtraction, which a negative handle would overflow
  const int row = window - base;
  if (row >= kKnownCharts || !charts[static_cast<unsigned>(row)].used) return -1;
  return row;
}

std::string_view TextOf(const char* text) { return text == nullptr ? std::string_view() : text; }

}  // namespace

// ---- Module start-up ----

int ModulePath(char* out, int capacity) {
  Dl_info info{};
  if (capacity <= 0 || dladdr(reinterpret_cast<void*>(&ModulePath), &info) == 0 ||
      info.dli_fname == nullptr) {
    return 0;
  }
  // dli_fname is the name the library was loaded under; make a relative one absolute.
  const std::size_t nameLength = std::strlen(info.dli_fname);
  if (info.dli_fname[0] == '/') {
    if (nameLength >= static_cast<std::size_t>(capacity)) return capacity;
    std::memcpy(out, info.dli_fname, nameLength + 1);
    return static_cast<int>(nameLength);
  }
  if (getcwd(out, static_cast<std::size_t>(capacity)) == nullptr) return errno == ERANGE ? capacity : 0;
  const std::size_t folderLength = std::strlen(out);
  if (folderLength + 1 + nameLength >= static_cast<std::size_t>(capacity)) return capacity;
  out[folderLength] = '/';
  std::memcpy(out + folderLength + 1, info.dli_fname, nameLength + 1);
  return static_cast<int>(folderLength + 1 + nameLength);
}

bool KeepFullLocation(std::string_view shortForm, std::string_view fullForm) {
  keptShortForm[0] = '\0';
  keptFullForm[0] = '\0';
  if (shortForm.empty() || fullForm.size() >= kPathCapacity || shortForm.size() >= kPathCapacity) {
    return shortForm.empty();
  }
  CopyText(fullForm, keptFullForm, kPathCapacity);
  CopyText(shortForm, keptShortForm, kPathCapacity);
  return true;
}

// ---- Private-profile (INI) files ----

int ReadProfileString(const char* path, std::string_view section, std::string_view key,
                      std::string_view fallback, char* out) {
  std::string_view value = ini::TrimEnd(fallback);  // the service trims only the fallback's end
  std::string_view image;
  if (LoadForReading(path, image)) {
    const ini::Found found = ini::FindValue(image, section, key);
    if (found.found) value = found.value;
  }
  return static_cast<int>(CopyText(value, out, static_cast<std::size_t>(kProfileValueCapacity)));
}

int ReadProfileInt(const char* path, std::string_view section, std::string_view key,
                   int fallback) {
  char text[kProfileValueCapacity];
  const int length = ReadProfileString(path, section, key, "", text);
  return ini::IntegerOf(std::string_view(text, static_cast<std::size_t>(length)), fallback);
}

bool WriteProfileStrings(const char* path, std::string_view section, const ProfileEntry* entries,
                         int count, FileProblem* problem) {
  FileProblem& result = problem != nullptr ? *problem : unasked;
  result = FileProblem::failed;
  if (count > 0 && entries == nullptr) return false;
  return WriteEntries(path, section, entries, nullptr, count, kLockWaitMs, result);
}

bool WriteProfile(const char* path, const ProfileWrite* writes, int count, FileProblem* problem,
                  bool wait) {
  FileProblem& result = problem != nullptr ? *problem : unasked;
  result = FileProblem::failed;
  if (count > 0 && writes == nullptr) return false;
  return WriteEntries(path, {}, nullptr, writes, count, wait ? kLockWaitMs : 0, result);
}

void RemoveAbandonedWrites(const char* path) {
  if (path == nullptr || *path == '\0') return;
  path = Resolve(path);
  if (path == nullptr) return;
  const std::string_view whole(path);
  const std::size_t slash = whole.rfind('/');
  if (slash == std::string_view::npos || slash + 1 >= whole.size()) return;
  const std::string_view settingsName = whole.substr(slash + 1);
  // The folder's path, through the temporary-path buffer that no write is using now.
  const std::string_view folderPath = whole.substr(0, slash == 0 ? 1 : slash);
  if (CopyText(folderPath, temporaryPath, kProfilePathCapacity) < folderPath.size()) return;
  DIR* const folder = opendir(temporaryPath);
  if (folder == nullptr) return;
  const int folderFile = dirfd(folder);
  while (const dirent* entry = readdir(folder)) {
    const pid_t writer = WriterOf(entry->d_name, settingsName);
    // No signal is sent: kill with 0 only asks whether the process exists. Our own id cannot be
    // a write in progress, since this runs between calls; it is a leftover of an earlier process.
    if (writer == 0 || (writer != getpid() && (kill(writer, 0) == 0 || errno != ESRCH))) continue;
    unlinkat(folderFile, entry->d_name, 0);
  }
  closedir(folder);
}

// ---- Other files ----

bool WriteNewTextFile(const char* path, std::string_view text, FileProblem* problem) {
  FileProblem& result = problem != nullptr ? *problem : unasked;
  result = FileProblem::failed;
  path = Resolve(path);
  if (path == nullptr) return false;
  const int file = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (file < 0) {
    result = ProblemOf(errno);
    return false;
  }
  bool complete = WriteAll(file, text);
  if (close(file) != 0) complete = false;
  if (complete) result = FileProblem::none;
  return complete;
}

// ---- Terminal windows ----

int ParentWindow(int window) {
  for (int row = 0; row < kKnownCharts; ++row) {
    const ChartTitles& titles = charts[static_cast<unsigned>(row)];
    if (titles.used && titles.chart == window) return kFrameBase + row;
  }
  if (RowOf(window, kFrameBase) >= 0) return kMainBase + RowOf(window, kFrameBase);
  return 0;
}

int RootAncestorWindow(int window) {
  if (RowOf(window, kMainBase) >= 0) return window;
  if (RowOf(window, kFrameBase) >= 0) return kMainBase + RowOf(window, kFrameBase);
  const int frame = ParentWindow(window);
  return frame == 0 ? 0 : RootAncestorWindow(frame);
}

int WindowTitle(int window, char* out, int capacity) {
  if (capacity <= 0) return 0;
  std::string_view title;
  if (const int frameRow = RowOf(window, kFrameBase); frameRow >= 0) {
    title = charts[static_cast<unsigned>(frameRow)].frameTitle;
  } else if (const int mainRow = RowOf(window, kMainBase); mainRow >= 0) {
    title = charts[static_cast<unsigned>(mainRow)].mainTitle;
  }
  return static_cast<int>(CopyText(title, out, static_cast<std::size_t>(capacity)));
}

bool NameWindowTitles(int chart, const char* frameTitle, const char* mainTitle) {
  int row = -1;
  for (int candidate = 0; candidate < kKnownCharts; ++candidate) {
    if (charts[static_cast<unsigned>(candidate)].used &&
        charts[static_cast<unsigned>(candidate)].chart == chart) {
      row = candidate;
    }
  }
  if (row < 0) {
    row = nextChartRow;
    nextChartRow = (nextChartRow + 1) % kKnownCharts;
  }
  ChartTitles& titles = charts[static_cast<unsigned>(row)];
  titles.used = true;
  titles.chart = chart;
  CopyText(TextOf(frameTitle), titles.frameTitle, kTitleSize);
  CopyText(TextOf(mainTitle), titles.mainTitle, kTitleSize);
  return true;
}

// ---- Clock ----

std::int64_t Now() {
  std::int64_t pinned = 0;
  if (FixedNow(&pinned)) return pinned;
  return static_cast<std::int64_t>(std::time(nullptr));
}

bool LocalTime(std::int64_t time, CalendarTime* out) {
  if (time < 0) return false;
  const std::time_t converted = static_cast<std::time_t>(time);
  if (static_cast<std::int64_t>(converted) != time) return false;
  std::tm local{};
  if (localtime_r(&converted, &local) == nullptr) return false;
  *out = CalendarTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                      local.tm_min,         local.tm_sec,     local.tm_wday};
  return true;
}

}  // namespace zt::platform
