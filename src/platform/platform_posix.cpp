// The platform seam on Linux and other POSIX systems. The settings file is kept by our own
// private-profile store (profile_store.cpp); this file gives it the system's calls to read a
// file, replace it safely and lock it (file_system.h). Mirrors platform_win32.cpp: same order,
// same helpers.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>  // rename only
#include <cstring>
#include <ctime>

#include "platform/file_system.h"
#include "platform/fixed_clock.h"
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

// ---- Files ----

// Permissions of a file we create; the process umask applies on top.
constexpr mode_t kNewFileMode = 0666;

// Reads the whole open file into buffer. Fails when it is not a regular file, is larger than the
// buffer (tooLarge) or cannot be read. mode receives its permission bits.
FileProblem ReadWhole(int file, char* buffer, std::size_t capacity, std::size_t& length,
                      std::uint32_t& mode) {
  struct stat status {};
  if (fstat(file, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size < 0) {
    return FileProblem::failed;
  }
  if (static_cast<std::uintmax_t>(status.st_size) > capacity) return FileProblem::tooLarge;
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

// ---- Files the settings store reads and replaces ----

namespace os {

// Nothing here holds a file against readers (our lock is a separate file): waitMs is unused.
FileProblem ReadWholeFile(const char* path, bool forWriting, int /*waitMs*/, char* buffer,
                          std::size_t capacity, std::size_t& length, FileFacts& facts) {
  facts = FileFacts{false, true, 0};
  length = 0;
  // A file we may read but not write can still take a write that changes nothing.
  int file = open(path, (forWriting ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (file < 0 && forWriting && (errno == EACCES || errno == EPERM || errno == EROFS)) {
    facts.writable = false;
    file = open(path, O_RDONLY | O_CLOEXEC);
  }
  // A missing file is created; a missing folder fails when we create the file.
  if (file < 0) return errno == ENOENT ? FileProblem::none : ProblemOf(errno);
  facts.exists = true;
  const FileProblem problem = ReadWhole(file, buffer, capacity, length, facts.mode);
  close(file);
  return problem;
}

FileProblem ReplaceWholeFile(const char* path, const char* temporaryPath, std::string_view text,
                             const FileFacts& facts, int /*waitMs: a rename never waits here*/) {
  // A new file gets kNewFileMode less the umask; an existing file's bits survive exactly.
  const int file =
      open(temporaryPath, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, kNewFileMode);
  if (file < 0) return ProblemOf(errno);
  bool written = (!facts.exists || fchmod(file, static_cast<mode_t>(facts.mode)) == 0) &&
                 WriteAll(file, text) && fsync(file) == 0;
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

LockHandle TakeLock(const char* lockPath, int waitMs, FileProblem& problem) {
  problem = FileProblem::none;
  const int file = open(lockPath, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, kNewFileMode);
  if (file < 0) return kNoLock;
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
  return kNoLock;
}

void ReleaseLock(LockHandle lock) {
  if (lock != kNoLock) close(static_cast<int>(lock));
}

// Asked once: every rewrite names its temporary file by it. A child forked later keeps the
// parent's number, which is harmless: a temporary file is only written under the settings lock.
std::uint32_t ProcessId() {
  static const std::uint32_t id = static_cast<std::uint32_t>(getpid());
  return id;
}

bool HasEnded(std::uint32_t process) {
  // No signal is sent: kill with 0 only asks whether the process exists. An id beyond pid_t
  // would name a process group: taken as running.
  if (process == 0 || process > static_cast<std::uint32_t>(INT32_MAX)) return false;
  return kill(static_cast<pid_t>(process), 0) != 0 && errno == ESRCH;
}

std::string_view PathSeparators() { return "/"; }

void VisitFolder(const char* folderPath, void (*visit)(std::string_view name, void* context),
                 void* context) {
  DIR* const folder = opendir(folderPath);
  if (folder == nullptr) return;
  while (const dirent* entry = readdir(folder)) {
    const std::string_view name(entry->d_name);
    if (name != "." && name != "..") visit(name, context);
  }
  closedir(folder);
}

void RemoveFile(const char* path) { unlink(path); }

}  // namespace os

// ---- Other files ----

bool WriteNewTextFile(const char* path, std::string_view text, FileProblem* problem) {
  FileProblem& result = problem != nullptr ? *problem : unasked;
  result = FileProblem::failed;
  path = ResolvePath(path);
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
